// Writing pictures and texts through temporary files, over QSaveFile.
#include "platform/SaveFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include "platform/Graphics.h"

EWriteError::EWriteError(AnsiString fileName, AnsiString reason)
    : Exception("cannot write " + fileName + ": " + reason), FileName(std::move(fileName)),
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

// A picture as the image to encode: gray when every pixel is gray.
QImage Encodable(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const std::uint32_t c = row[x] & 0x00ffffffu;  // bytes R, G, B, X
            if (c != (c & 0xff) * 0x010101u)
                return image.convertToFormat(QImage::Format_RGB888);
        }
    }
    return image.convertToFormat(QImage::Format_Grayscale8);
}

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
        return "the folder " + folder.absoluteFilePath().toStdString() + " does not exist";
    if (!folder.isDir())
        return folder.absoluteFilePath().toStdString() + " is not a folder";
    if (target.isDir())
        return "it is a folder";
    // The system's words for a refused write: the folder's permissions, or a
    // file system mounted read-only.
    const QString error = file.errorString();
    for (const int refused : {EACCES, EPERM, EROFS})
        if (error == QString::fromLocal8Bit(std::strerror(refused)))
            return "the folder " + folder.absoluteFilePath().toStdString() + " is not writable (" +
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
    AddImage(fileName, Encodable(picture->Image()));
}

void TSaveGroup::AddPixels(const AnsiString& fileName, int width, int height, int channels,
                           const std::uint8_t* bytes)
{
    CheckPictureName(fileName);
    if (!bytes || width <= 0 || height <= 0 || (channels != 1 && channels != 3))
        throw EWriteError(fileName, "there are no pixels to write");
    const QImage view(bytes, width, height, qsizetype(width) * channels,
                      channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    AddImage(fileName, view);
}

void TSaveGroup::AddImage(const AnsiString& fileName, const QImage& image)
{
    if (image.isNull())
        throw EWriteError(fileName, "not enough memory to write the picture");
    files.push_back(std::make_unique<File>(fileName));
    File& f = *files.back();
    f.file.setDirectWriteFallback(false);
    if (!f.file.open(QIODevice::WriteOnly))
        throw EWriteError(fileName, CannotOpen(fileName, f.file));
    QImageWriter writer(&f.file, FormatOf(fileName));
    const bool written = writer.write(image);
    // Encoders do not all notice a failed write: the file's own error, taken
    // now (committing loses its words), says what went wrong.
    if (!f.file.flush() || f.file.error() != QFileDevice::NoError)
        throw EWriteError(fileName, CannotFinish(f.file.errorString()));
    if (!written)
        throw EWriteError(fileName, writer.errorString().toStdString());
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
