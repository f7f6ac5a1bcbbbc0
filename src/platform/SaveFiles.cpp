// Writing pictures and texts through temporary files, over QSaveFile.
#include "platform/SaveFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "platform/Graphics.h"
#include "platform/Memory.h"

EWriteError::EWriteError(AnsiString fileName, AnsiString reason)
    : Exception("cannot write " + ShownName(fileName) + ": " + reason), FileName(std::move(fileName)),
      Reason(std::move(reason))
{
}

struct TSaveGroup::File {
    AnsiString name;
    QSaveFile file;
    explicit File(const AnsiString& name) : name(name), file(QString::fromStdString(name)) {}
};

namespace {

// The writer's format for a file name, from its extension; empty when none.
QByteArray FormatOf(const AnsiString& fileName)
{
    const QByteArray suffix =
        QFileInfo(QString::fromStdString(fileName)).suffix().toLower().toLatin1();
    return QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray();
}

// The picture's pixels as an image to encode, made afresh so that nothing of
// the file they came from goes with them (text blocks such as XMP, the colour
// space: an RGB profile in a gray PNG is what libpng complains of): 8-bit
// gray when every pixel is gray, else 8-bit RGB. Null when memory is short.
QImage Encodable(const QImage& image)
{
    const int w = image.width(), h = image.height();
    bool gray = true;
    for (int y = 0; y < h && gray; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < w && gray; ++x) {
            const std::uint32_t c = row[x] & 0x00ffffffu;  // bytes R, G, B, X
            gray = c == (c & 0xff) * 0x010101u;
        }
    }
    QImage fresh(w, h, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (fresh.isNull())
        return fresh;
    for (int y = 0; y < h; ++y) {
        const auto* from = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::uint8_t* to = fresh.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = from[x];
            if (gray) {
                to[x] = std::uint8_t(c);
            } else {
                to[3 * x] = std::uint8_t(c);
                to[3 * x + 1] = std::uint8_t(c >> 8);
                to[3 * x + 2] = std::uint8_t(c >> 16);
            }
        }
    }
    return fresh;
}

constexpr std::uint64_t MiB = std::uint64_t(1) << 20;

// What an encoder holds besides the picture: its tables and row buffers.
constexpr std::uint64_t EncoderReserve = 1 * MiB;

// The encoded file's room, taken at once: 4 bytes a pixel, as much as the
// widest format written (32-bit BMP) and more than any compression gives.
std::uint64_t EncodedRoom(int width, int height)
{
    return 4 * std::uint64_t(width) * std::uint64_t(height) + std::uint64_t(height) + 65536;
}

// Encoders that take 8-bit gray and RGB as they are: the toolkit's helper
// threads are never started by them (tried under address-space limits; the
// PPM, WebP, XPM, XBM, WBMP, PBM and ICNS encoders convert first).
bool EncodesInPlace(const QByteArray& format)
{
    static const QList<QByteArray> known = {"png", "jpg", "jpeg", "bmp", "tif", "tiff", "pgm"};
    return known.contains(format);
}

// The memory a picture's encoding takes: the picture to encode at channels
// bytes a pixel, the copy an encoder converts it to first (up to 4 bytes a
// pixel, and the toolkit's helper threads for that where it does), and the
// encoded file, kept whole until it is written out.
TMemoryNeed SaveNeed(const AnsiString& fileName, int width, int height, int channels)
{
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
    return {pixels * std::uint64_t(channels + 4) + EncodedRoom(width, height) + EncoderReserve,
            EncodesInPlace(FormatOf(fileName)) ? 0 : ToolkitThreadStacks(std::int64_t(pixels))};
}

[[noreturn]] void NotEnoughMemory(const AnsiString& fileName, int width, int height,
                                  const TMemoryNeed& need, const TMemoryFigures& figures)
{
    throw EWriteError(fileName, "not enough memory to write a " + std::to_string(width) + "\u00d7" +
                                    std::to_string(height) + " picture (needs " +
                                    std::to_string(need.ShownMiB(figures)) + " MiB)");
}

// Raises EWriteError unless the memory at hand holds the need.
void CheckMemory(const AnsiString& fileName, int width, int height, const TMemoryNeed& need)
{
    if (const TMemoryFigures figures = CurrentMemoryFigures(); !need.Fits(figures))
        NotEnoughMemory(fileName, width, height, need, figures);
}

// While it lives, the toolkit's messages (encoders' complaints, such as
// "failed to encode webp picture") are kept instead of printed: the refusal
// that follows says what went wrong in one line.
class TKeptMessages {
public:
    TKeptMessages() : previous(qInstallMessageHandler(Keep)) { last().clear(); }
    ~TKeptMessages() { qInstallMessageHandler(previous); }
    TKeptMessages(const TKeptMessages&) = delete;
    TKeptMessages& operator=(const TKeptMessages&) = delete;
    QString Last() const { return last(); }

private:
    static QString& last()
    {
        static QString message;
        return message;
    }
    static void Keep(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        last() = message.trimmed();
    }
    QtMessageHandler previous;
};

// The encoded file, kept in memory; random access, as the TIFF encoder goes
// back to fill in offsets. Encoders are never told of a failed write (libpng
// would print its own complaint on standard error): what cannot be kept is
// dropped, and Short() says so afterwards.
class TEncodedFile : public QIODevice {
public:
    explicit TEncodedFile(qsizetype expected)
    {
        try {
            bytes.reserve(expected);
        } catch (const std::bad_alloc&) {
        }
        open(QIODevice::WriteOnly);
    }
    const QByteArray& Bytes() const { return bytes; }
    bool Short() const { return shortOfMemory; }
    qint64 size() const override { return bytes.size(); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override
    {
        const qint64 at = pos();
        if (shortOfMemory || length <= 0)
            return length;
        try {
            if (at + length > bytes.size())
                bytes.resize(qsizetype(at + length));
            std::memcpy(bytes.data() + at, data, std::size_t(length));
        } catch (const std::bad_alloc&) {
            shortOfMemory = true;
        }
        return length;
    }

private:
    QByteArray bytes;
    bool shortOfMemory = false;
};

}  // namespace

bool ForceDirectories(const AnsiString& folder)
{
    const QFileInfo info(QString::fromStdString(folder));
    if (info.isDir())
        return false;
    if (info.exists())
        throw EWriteError(folder, "it is a file, not a folder");
    if (!QDir().mkpath(info.absoluteFilePath()))
        throw EWriteError(folder, "the folder cannot be made");
    return true;
}

TSaveGroup::TSaveGroup() = default;
TSaveGroup::~TSaveGroup() = default;

void TSaveGroup::CheckPictureName(const AnsiString& fileName)
{
    if (FormatOf(fileName).isEmpty())
        throw EWriteError(fileName,
                          "unknown picture format (use .png, .bmp, .pgm, .ppm, .jpg, .tif, ...)");
}

std::vector<AnsiString> TSaveGroup::PictureFilters()
{
    // Formats named twice by the toolkit share a filter.
    const std::vector<std::pair<QByteArray, QByteArray>> twins = {{"jpg", "jpeg"}, {"tif", "tiff"}};
    QList<QByteArray> formats = QImageWriter::supportedImageFormats();
    std::vector<AnsiString> filters;
    auto add = [&](const QByteArray& format) {
        if (!formats.contains(format))
            return;
        QByteArray patterns = "*." + format;
        QByteArray name = format.toUpper();
        for (const auto& [first, second] : twins)
            if (format == first && formats.contains(second)) {
                patterns += " *." + second;
                formats.removeAll(second);
            }
        if (format == "jpg")
            name = "JPEG";
        filters.push_back((name + " picture (" + patterns + ")").toStdString());
        formats.removeAll(format);
    };
    add("png");
    for (const QByteArray& format : QList<QByteArray>(formats))
        add(format);
    return filters;
}

namespace {

// Why a file could not be opened for writing, in words: the folder is
// missing or not writable, or what the system said.
AnsiString CannotOpen(const AnsiString& fileName, const QSaveFile& file)
{
    const QFileInfo target(QString::fromStdString(fileName));
    const QFileInfo folder(target.absolutePath());
    if (!folder.exists())
        return "the folder " + ShownName(folder.absoluteFilePath().toStdString()) + " does not exist";
    if (!folder.isDir())
        return ShownName(folder.absoluteFilePath().toStdString()) + " is not a folder";
    if (target.isDir())
        return "it is a folder";
    // The system's words for a refused write: the folder's permissions, or a
    // file system mounted read-only.
    const QString error = file.errorString();
    for (const int refused : {EACCES, EPERM, EROFS})
        if (error == QString::fromLocal8Bit(std::strerror(refused)))
            return "the folder " + ShownName(folder.absoluteFilePath().toStdString()) + " is not writable (" +
                   error.toStdString() + ")";
    return error.toStdString();
}

// Why writing failed: a full disk says so, else the system's words.
AnsiString CannotFinish(const QString& error)
{
    if (error.contains(QLatin1String("No space left"), Qt::CaseInsensitive))
        return "the disk is full (" + error.toStdString() + ")";
    return error.toStdString();
}

}  // namespace

void TSaveGroup::AddPicture(const AnsiString& fileName, TPicture* picture)
{
    CheckPictureName(fileName);
    const QImage& image = picture->Image();
    if (image.isNull())
        throw EWriteError(fileName, "there are no pixels to write");
    // Gray or not, the check takes the larger of the two.
    const TMemoryNeed need = SaveNeed(fileName, image.width(), image.height(), 3);
    CheckMemory(fileName, image.width(), image.height(), need);
    const QImage encodable = Encodable(image);
    if (encodable.isNull())
        NotEnoughMemory(fileName, image.width(), image.height(), need, CurrentMemoryFigures());
    AddImage(fileName, encodable);
}

void TSaveGroup::AddPixels(const AnsiString& fileName, int width, int height, int channels,
                           const std::uint8_t* bytes)
{
    CheckPictureName(fileName);
    if (!bytes || width <= 0 || height <= 0 || (channels != 1 && channels != 3))
        throw EWriteError(fileName, "there are no pixels to write");
    CheckMemory(fileName, width, height, SaveNeed(fileName, width, height, channels));
    const QImage view(bytes, width, height, qsizetype(width) * channels,
                      channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    AddImage(fileName, view);
}

void TSaveGroup::AddImage(const AnsiString& fileName, const QImage& image)
{
    // Encoded in memory first: the encoder never meets a failing disk, whose
    // error the file reports in its own words below.
    TEncodedFile encoded(qsizetype(EncodedRoom(image.width(), image.height())));
    QImageWriter writer(&encoded, FormatOf(fileName));
    bool written = false, failedAllocation = false;
    QString said;
    {
        const TKeptMessages kept;
        try {
            written = writer.write(image);
        } catch (const std::bad_alloc&) {
            failedAllocation = true;
        }
        said = kept.Last();
    }
    // An encoder short of memory may also just fail: memory within twice the
    // need is then taken as the cause.
    const TMemoryNeed need = SaveNeed(fileName, image.width(), image.height(), image.depth() / 8);
    const TMemoryFigures figures = CurrentMemoryFigures();
    if (failedAllocation || encoded.Short() || (!written && !TMemoryNeed{2 * need.bytes, need.stacks}.Fits(figures)))
        NotEnoughMemory(fileName, image.width(), image.height(), need, figures);
    if (!written)
        throw EWriteError(fileName, (writer.error() == QImageWriter::UnknownError && !said.isEmpty()
                                         ? said
                                         : writer.errorString())
                                        .toStdString());

    files.push_back(std::make_unique<File>(fileName));
    File& f = *files.back();
    f.file.setDirectWriteFallback(false);
    if (!f.file.open(QIODevice::WriteOnly))
        throw EWriteError(fileName, CannotOpen(fileName, f.file));
    // A write that stops short (a disk filling up) is repeated for the rest,
    // so that the file's own error, taken now (committing loses its words),
    // says what went wrong.
    const QByteArray& bytes = encoded.Bytes();
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 step = f.file.write(bytes.constData() + done, bytes.size() - done);
        if (step <= 0)
            break;
        done += step;
    }
    if (done != bytes.size() || !f.file.flush() || f.file.error() != QFileDevice::NoError)
        throw EWriteError(fileName, CannotFinish(f.file.errorString()));
}

void TSaveGroup::AddText(const AnsiString& fileName, const AnsiString& text)
{
    files.push_back(std::make_unique<File>(fileName));
    File& f = *files.back();
    f.file.setDirectWriteFallback(false);
    if (!f.file.open(QIODevice::WriteOnly))
        throw EWriteError(fileName, CannotOpen(fileName, f.file));
    if (f.file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !f.file.flush())
        throw EWriteError(fileName, CannotFinish(f.file.errorString()));
}

void TSaveGroup::Commit()
{
    for (auto& f : files)
        if (!f->file.commit())
            throw EWriteError(f->name, CannotFinish(f->file.errorString()));
    files.clear();
}
