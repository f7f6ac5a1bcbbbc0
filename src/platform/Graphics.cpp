// Loading pictures from files and handing out their pixels.
#include "platform/Graphics.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLocale>
#include <QString>

#include <string>

#include "platform/PictureFiles.h"


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

}  // namespace

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "TCanvas reads RGBX words as 0xXXBBGGRR");

TPicture::TPicture() : image(std::make_unique<QImage>()), bitmap(*this) {}
TPicture::~TPicture() = default;

void TPicture::LoadFromFile(const AnsiString& fileName)
{
    if (fileName.empty())
        throw Exception("Cannot load a picture: no file name was given.");
    QFile file;
    const QString unreadable = picturefiles::Open(QString::fromStdString(fileName), file);
    if (!unreadable.isEmpty())
        CannotLoad(fileName, unreadable);

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
        const QSize bmp = picturefiles::DeclaredBmpSize(file);
        if (bmp.isValid() && std::int64_t(bmp.width()) * bmp.height() > MaxPixels)
            CannotLoad(fileName, TooLarge(bmp.width(), bmp.height()));
        CannotLoad(fileName, QStringLiteral("the picture data is damaged or cut short"));
    }
    if (std::int64_t(decoded.width()) * decoded.height() > MaxPixels)
        CannotLoad(fileName, TooLarge(decoded.width(), decoded.height()));
    if (picturefiles::BmpCutShort(file) || picturefiles::JpegCutShort(file))
        CannotLoad(fileName, QStringLiteral("the picture data is damaged or cut short"));

    QImage packed = ToPackedPixels(decoded);
    if (packed.isNull())
        CannotLoad(fileName, QStringLiteral("there is not enough memory to hold the picture"));
    *image = std::move(packed);
    this->fileName = fileName;
    Changed();
}

void TPicture::Crop(int left, int top, int width, int height)
{
    const bool inside = left >= 0 && top >= 0 && width > 0 && height > 0 &&
                        std::int64_t(left) + width <= GetWidth() &&
                        std::int64_t(top) + height <= GetHeight();
    if (!inside)
        throw Exception("Cannot crop a " + std::to_string(GetWidth()) + "\u00d7" +
                        std::to_string(GetHeight()) + " picture to " + std::to_string(width) +
                        "\u00d7" + std::to_string(height) + " at " + std::to_string(left) + ", " +
                        std::to_string(top) + ".");
    QImage part = image->copy(left, top, width, height);
    if (part.isNull())
        throw Exception("There is not enough memory to crop the picture.");
    *image = std::move(part);
    Changed();
}

void TPicture::CopyPixels(PackedColour* target) const
{
    for (int y = 0; y < image->height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image->constScanLine(y));
        for (int x = 0; x < image->width(); ++x)
            *target++ = static_cast<PackedColour>(row[x] & 0x00ffffffu);
    }
}

void TPicture::Assign(const TPicture* source)
{
    if (source == this)
        return;
    *image = *source->image;  // shared until either is drawn on
    fileName = source->fileName;
    Changed();
}

int TPicture::GetWidth() const { return image->width(); }
int TPicture::GetHeight() const { return image->height(); }
TBitmap* TPicture::GetBitmap() { return &bitmap; }
const QImage& TPicture::Image() const { return *image; }

void TPicture::Changed() { OnChange.Notify(); }

int TListeners::Add(std::function<void()> listener)
{
    listeners.emplace_back(next, std::move(listener));
    return next++;
}

void TListeners::Remove(int key)
{
    for (auto i = listeners.begin(); i != listeners.end(); ++i)
        if (i->first == key) {
            listeners.erase(i);
            return;
        }
}

void TListeners::Notify() const
{
    const auto now = listeners;  // as they are when the event happens
    for (const auto& listener : now)
        listener.second();
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

const TCanvas* TBitmap::GetCanvas() const
{
    const QImage& image = *picture.image;
    // Only read through: a const canvas has no SetPixel.
    readCanvas.bits = image.isNull() ? nullptr : const_cast<unsigned char*>(image.constBits());
    readCanvas.stride = static_cast<std::size_t>(image.bytesPerLine());
    readCanvas.width = readCanvas.bits ? image.width() : 0;
    readCanvas.height = readCanvas.bits ? image.height() : 0;
    return &readCanvas;
}
