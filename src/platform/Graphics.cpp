// Loading pictures from files and handing out their pixels.
#include "platform/Graphics.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLocale>
#include <QString>

#include <cstdlib>

namespace {

[[noreturn]] void CannotLoad(const AnsiString& fileName, const QString& reason)
{
    throw Exception("Cannot load " + fileName + ": " + reason.toStdString() + ".");
}

QString TooLarge(std::int64_t width, std::int64_t height)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);  // 268,435,456
    return QStringLiteral("the picture is too large (%1\u00d7%2 pixels; at most %3 pixels, "
                          "such as 16384\u00d716384)")
        .arg(width)
        .arg(height)
        .arg(english.toString(static_cast<qlonglong>(TPicture::MaxPixels)));
}

// Decoders may hold up to 8 bytes a pixel (16-bit RGBA) before conversion.
constexpr int DecoderLimitMiB = static_cast<int>(TPicture::MaxPixels * 8 / (1024 * 1024));

// Alpha is not part of a pixel's colour here: it is dropped, never blended.
QImage ToPackedPixels(const QImage& decoded)
{
    if (!decoded.hasAlphaChannel())
        return decoded.convertToFormat(QImage::Format_RGBX8888);
    QImage straight = decoded.convertToFormat(QImage::Format_RGBA8888);
    if (straight.isNull())
        return straight;
    for (int y = 0; y < straight.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(straight.scanLine(y));
        for (int x = 0; x < straight.width(); ++x)
            row[x] |= 0xff000000u;  // byte order R, G, B, A: A is the top byte
    }
    return straight.convertToFormat(QImage::Format_RGBX8888);
}

// The size a BMP header declares. Qt's BMP reader refuses sides whose product
// exceeds its own limit without saying so; reading the header here lets the
// user hear that the picture is too large rather than damaged.
QSize DeclaredBmpSize(QFile& file)
{
    if (!file.seek(0))
        return {};
    const QByteArray header = file.read(26);
    if (header.size() < 26 || !header.startsWith("BM"))
        return {};
    auto int32At = [&](int offset) {
        return std::int32_t(std::uint32_t(std::uint8_t(header[offset])) |
                            std::uint32_t(std::uint8_t(header[offset + 1])) << 8 |
                            std::uint32_t(std::uint8_t(header[offset + 2])) << 16 |
                            std::uint32_t(std::uint8_t(header[offset + 3])) << 24);
    };
    const std::int64_t width = int32At(18);
    const std::int64_t height = int32At(22);
    if (width <= 0 || height == 0 || height == INT32_MIN)
        return {};
    return QSize(int(width), int(std::abs(height)));
}

// Whether an uncompressed BMP ends before the rows its header declares. Qt's
// BMP reader stops at the end of the file without an error and hands back a
// picture whose missing rows were never written.
bool BmpCutShort(QFile& file)
{
    if (!file.seek(0))
        return false;
    const QByteArray header = file.read(34);
    if (header.size() < 34 || !header.startsWith("BM"))
        return false;
    auto uintAt = [&](int offset, int bytes) {
        std::uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = value << 8 | std::uint8_t(header[offset + i]);
        return value;
    };
    const std::uint32_t infoSize = uintAt(14, 4);
    const std::uint32_t compression = uintAt(30, 4);
    // BI_RGB, BI_BITFIELDS and BI_ALPHABITFIELDS store whole rows; the
    // run-length encodings have no fixed size.
    if (infoSize < 40 || (compression != 0 && compression != 3 && compression != 6))
        return false;
    const std::int64_t width = std::int32_t(uintAt(18, 4));
    const std::int64_t height = std::int32_t(uintAt(22, 4));
    const std::int64_t bits = uintAt(28, 2);
    const std::int64_t rowBytes = (width * bits + 31) / 32 * 4;  // rows are padded to 4 bytes
    const std::int64_t rows = height < 0 ? -height : height;
    const std::int64_t end = std::int64_t(uintAt(10, 4)) + rowBytes * rows;
    return width > 0 && end > file.size();
}

// Whether a JPEG file ends before its end-of-image marker. The decoder fills
// what is missing with gray and reports success, so the file's markers are
// walked here: segments by their lengths, entropy-coded data up to the next
// marker (0xFF is stuffed as FF 00 there, and FF D0..D7 are restart markers).
// Whatever follows the end-of-image marker (some cameras append a video) is
// not looked at.
bool JpegCutShort(QFile& file)
{
    if (!file.seek(0))
        return false;
    const QByteArray bytes = file.readAll();
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 2 || b[0] != 0xFF || b[1] != 0xD8)
        return false;
    qsizetype i = 2;
    while (i + 1 < n) {
        if (b[i] != 0xFF) {
            ++i;  // entropy-coded data
            continue;
        }
        const std::uint8_t marker = b[i + 1];
        if (marker == 0xD9)
            return false;  // end of image
        if (marker == 0x00 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD7) ||
            marker == 0x01) {
            i += marker == 0xFF ? 1 : 2;  // stuffing, fill bytes, restarts
            continue;
        }
        if (i + 3 >= n)
            return true;
        const qsizetype length = qsizetype(b[i + 2]) << 8 | b[i + 3];
        if (length < 2)
            return true;
        i += 2 + length;
    }
    return true;
}

}  // namespace

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "TCanvas reads RGBX words as 0xXXBBGGRR");

TPicture::TPicture() : image(std::make_unique<QImage>()), bitmap(*this) {}
TPicture::~TPicture() = default;

void TPicture::LoadFromFile(const AnsiString& fileName)
{
    if (fileName.empty())
        throw Exception("Cannot load a picture: no file name was given.");
    const QString path = QString::fromStdString(fileName);
    const QFileInfo info(path);
    if (!info.exists())
        CannotLoad(fileName, QStringLiteral("the file does not exist"));
    if (info.isDir())
        CannotLoad(fileName, QStringLiteral("it is a folder, not a picture file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        CannotLoad(fileName, QStringLiteral("the file cannot be read (%1)").arg(file.errorString()));
    if (file.size() == 0)
        CannotLoad(fileName, QStringLiteral("the file is empty"));

    QImageReader::setAllocationLimit(DecoderLimitMiB);
    QImageReader reader(&file);
    if (!reader.canRead())
        CannotLoad(fileName, QStringLiteral("it is not a picture in a known format"));
    const QSize declared = reader.size();
    if (declared.isValid() && std::int64_t(declared.width()) * declared.height() > MaxPixels)
        CannotLoad(fileName, TooLarge(declared.width(), declared.height()));

    QImage decoded;
    if (!reader.read(&decoded) || decoded.isNull()) {
        if (reader.error() == QImageReader::UnsupportedFormatError)
            CannotLoad(fileName, QStringLiteral("it is not a picture in a known format"));
        const QSize bmp = DeclaredBmpSize(file);
        if (bmp.isValid() && std::int64_t(bmp.width()) * bmp.height() > MaxPixels)
            CannotLoad(fileName, TooLarge(bmp.width(), bmp.height()));
        CannotLoad(fileName, QStringLiteral("the picture data is damaged or cut short"));
    }
    if (std::int64_t(decoded.width()) * decoded.height() > MaxPixels)
        CannotLoad(fileName, TooLarge(decoded.width(), decoded.height()));
    if (BmpCutShort(file) || JpegCutShort(file))
        CannotLoad(fileName, QStringLiteral("the picture data is damaged or cut short"));

    QImage packed = ToPackedPixels(decoded);
    if (packed.isNull())
        CannotLoad(fileName, QStringLiteral("there is not enough memory to hold the picture"));
    *image = std::move(packed);
    Changed();
}

int TPicture::GetWidth() const { return image->width(); }
int TPicture::GetHeight() const { return image->height(); }
TBitmap* TPicture::GetBitmap() { return &bitmap; }
const QImage& TPicture::Image() const { return *image; }

void TPicture::Changed()
{
    if (OnChange)
        OnChange();
}

int TBitmap::GetWidth() const { return picture.GetWidth(); }
int TBitmap::GetHeight() const { return picture.GetHeight(); }

TCanvas* TBitmap::GetCanvas()
{
    QImage& image = *picture.image;
    canvas.bits = image.isNull() ? nullptr : image.bits();  // bits() detaches a shared copy
    canvas.stride = static_cast<std::size_t>(image.bytesPerLine());
    canvas.width = canvas.bits ? image.width() : 0;
    canvas.height = canvas.bits ? image.height() : 0;
    picture.Changed();
    return &canvas;
}
