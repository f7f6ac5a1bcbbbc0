// Loading pictures from files and handing out their pixels.
#include "platform/Graphics.h"

#include <QFile>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <QLocale>
#include <QString>
#include <QThreadPool>

#include <algorithm>
#include <string>

#include "platform/Memory.h"
#include "platform/PictureFiles.h"


namespace {

[[noreturn]] void CannotLoad(const AnsiString& fileName, const QString& reason)
{
    throw Exception("Cannot load " + ShownName(fileName) + ": " + reason.toStdString() + ".");
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

constexpr std::uint64_t MiB = std::uint64_t(1) << 20;

QString NotEnoughMemory(QSize size, const TMemoryNeed& need, const TMemoryFigures& figures)
{
    return QStringLiteral("not enough memory to load a %1\u00d7%2 picture (needs %3 MiB)")
        .arg(size.width())
        .arg(size.height())
        .arg(need.ShownMiB(figures));
}

// Decoders may hold up to 8 bytes a pixel (16-bit RGBA) before conversion.
constexpr int DecoderLimitMiB = static_cast<int>(TPicture::MaxPixels * 8 / (1024 * 1024));

// What a decoder holds besides its picture: its tables and row buffers, and
// the library it is loaded from on first use.
constexpr std::uint64_t DecoderReserve = 1 * MiB;

// Decoders that hand over what they decode as it is: the toolkit's helper
// threads are never started by them (tried under address-space limits with
// RGB, gray, indexed, 16-bit, alpha and colour-profile files).
bool DecodesInPlace(const QByteArray& format)
{
    static const QList<QByteArray> known = {"png", "jpeg", "jpg", "bmp", "pbm", "pgm",
                                            "ppm", "tif", "tiff", "webp", "gif"};
    return known.contains(format.toLower());
}

// The memory a load holds at its height: the decoded picture in the format
// the decoder names (8 bytes a pixel when it names none), the packed copy,
// what a progressive JPEG keeps of its coefficients (2 bytes each), and, for
// decoders that may convert what they decode, the stacks of the toolkit's
// threads for that.
TMemoryNeed LoadNeed(QSize size, QImage::Format format, int jpegCoefficientPlanes, bool inPlace)
{
    const std::uint64_t width = std::uint64_t(size.width()), height = std::uint64_t(size.height());
    const std::uint64_t bits =
        format == QImage::Format_Invalid ? 64 : QImage::toPixelFormat(format).bitsPerPixel();
    const std::uint64_t decodedRow = (width * bits + 31) / 32 * 4;
    return {height * (decodedRow + 4 * width + 2 * width * std::uint64_t(jpegCoefficientPlanes)) +
                DecoderReserve,
            inPlace ? 0 : ToolkitThreadStacks(std::int64_t(width * height))};
}

// Where source pixel (x, y) of a width x height picture lands once the
// file's orientation is applied: mirrored (left to right), flipped (top to
// bottom), then turned a quarter clockwise, in that order, as the toolkit
// applies its transformations. Turned, a 4x2 picture becomes 2x4 and its
// pixel (0, 0) lands at (1, 0): the top-left corner goes to the top right.
struct Orientation {
    bool mirror = false, flip = false, turn = false;
    explicit Orientation(QImageIOHandler::Transformations t)
        : mirror(t & QImageIOHandler::TransformationMirror),
          flip(t & QImageIOHandler::TransformationFlip),
          turn(t & QImageIOHandler::TransformationRotate90)
    {
    }
    QSize Upright(QSize size) const { return turn ? size.transposed() : size; }
};

// Alpha is not part of a pixel's colour here: it is dropped, never blended.
// The rows are converted one at a time (a single row never goes to the
// toolkit's thread pool, which waits for ever when a thread cannot start
// under a memory limit) into a packed picture allocated once, in its upright
// orientation. Null when that picture cannot be had.
QImage ToPackedPixels(const QImage& decoded, Orientation o)
{
    const int w = decoded.width(), h = decoded.height();
    const QSize upright = o.Upright(decoded.size());
    QImage packed(upright, QImage::Format_RGBX8888);
    if (packed.isNull())
        return packed;
    uchar* const bits = packed.bits();
    const std::size_t stride = std::size_t(packed.bytesPerLine());
    const QList<QRgb> colours = decoded.colorTable();
    for (int y = 0; y < h; ++y) {
        QImage row(decoded.constScanLine(y), w, 1, decoded.bytesPerLine(), decoded.format());
        if (!colours.isEmpty())
            row.setColorTable(colours);
        const QImage straight = row.convertToFormat(QImage::Format_RGBA8888);
        if (straight.isNull())
            return QImage();
        const auto* from = reinterpret_cast<const std::uint32_t*>(straight.constScanLine(0));
        const int sy = o.flip ? h - 1 - y : y;
        for (int x = 0; x < w; ++x) {
            const int sx = o.mirror ? w - 1 - x : x;
            const int tx = o.turn ? h - 1 - sy : sx;
            const int ty = o.turn ? sx : sy;
            // byte order R, G, B, A: A is the top byte
            reinterpret_cast<std::uint32_t*>(bits + std::size_t(ty) * stride)[tx] =
                from[x] | 0xff000000u;
        }
    }
    return packed;
}

}  // namespace

std::uint64_t ToolkitThreadStacks(std::int64_t pixels)
{
    const std::int64_t segments = pixels >> 16;
    if (segments <= 1)
        return 0;
    const QThreadPool* pool = QThreadPool::globalInstance();
    const std::int64_t threads = std::min<std::int64_t>(segments, std::max(1, pool->maxThreadCount()));
    const std::uint64_t stack = pool->stackSize() > 0 ? std::uint64_t(pool->stackSize()) : ThreadStackBytes();
    return std::uint64_t(threads) * stack;
}

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
    const int coefficientPlanes = picturefiles::JpegProgressivePlanes(file);

    QImageReader::setAllocationLimit(DecoderLimitMiB);
    QImageReader reader(&file);
    reader.setAutoTransform(false);  // applied below, while packing
    if (!reader.canRead())
        CannotLoad(fileName, QStringLiteral("it is not a picture in a known format"));
    // What the file will decode to, which the reader's own word may understate.
    const QSize declared = picturefiles::DeclaredSize(file, reader);
    const Orientation declaredOrientation(reader.transformation());
    const QSize upright = declaredOrientation.Upright(declared);
    if (declared.isValid() && std::int64_t(declared.width()) * declared.height() > MaxPixels)
        CannotLoad(fileName, TooLarge(upright.width(), upright.height()));
    // Checked before decoding: past the memory at hand the system's
    // out-of-memory killer, not a failed allocation, would answer.
    const TMemoryNeed need = declared.isValid()
                                 ? LoadNeed(declared, reader.imageFormat(), coefficientPlanes,
                                            DecodesInPlace(reader.format()))
                                 : TMemoryNeed{};
    if (const TMemoryFigures figures = CurrentMemoryFigures(); !need.Fits(figures))
        CannotLoad(fileName, NotEnoughMemory(upright, need, figures));

    QImage decoded;
    if (!reader.read(&decoded) || decoded.isNull()) {
        if (reader.error() == QImageReader::UnsupportedFormatError)
            CannotLoad(fileName, QStringLiteral("it is not a picture in a known format"));
        const QSize bmp = picturefiles::DeclaredBmpSize(file);
        if (bmp.isValid() && std::int64_t(bmp.width()) * bmp.height() > MaxPixels)
            CannotLoad(fileName, TooLarge(bmp.width(), bmp.height()));
        // A decoder says the same of a picture it could not allocate as of
        // damaged data: memory within twice the need is taken as the cause.
        const TMemoryFigures figures = CurrentMemoryFigures();
        if (need.bytes > 0 && !TMemoryNeed{2 * need.bytes, need.stacks}.Fits(figures))
            CannotLoad(fileName, NotEnoughMemory(upright, need, figures));
        CannotLoad(fileName, QStringLiteral("the picture data is damaged or cut short"));
    }
    if (std::int64_t(decoded.width()) * decoded.height() > MaxPixels)
        CannotLoad(fileName, TooLarge(decoded.width(), decoded.height()));
    if (picturefiles::BmpCutShort(file) || picturefiles::JpegCutShort(file))
        CannotLoad(fileName, QStringLiteral("the picture data is damaged or cut short"));

    const Orientation orientation(reader.transformation());
    QImage packed = ToPackedPixels(decoded, orientation);
    if (packed.isNull())
        CannotLoad(fileName, NotEnoughMemory(orientation.Upright(decoded.size()),
                                             LoadNeed(decoded.size(), decoded.format(), 0, true),
                                             CurrentMemoryFigures()));
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
