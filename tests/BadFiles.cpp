// Picture files made in code, good and bad.
#include "BadFiles.h"

#include <QBuffer>
#include <QDataStream>

#include "Fixtures.h"

namespace badfiles {

namespace {

// The CRC-32 of PNG chunks (ISO 3309), bit by bit.
std::uint32_t Crc32(const char* data, int size)
{
    std::uint32_t crc = 0xffffffffu;
    for (int i = 0; i < size; ++i) {
        crc ^= std::uint8_t(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xedb88320u : crc >> 1;
    }
    return ~crc;
}

void PutBigEndian(QByteArray& bytes, int offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char(value >> (24 - 8 * i));
}

}  // namespace

QByteArray Encoded(const QImage& picture, const char* format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, format, quality);
    return bytes;
}

QImage Pattern(int width, int height)
{
    return fixtures::Picture(width, height, [](int x, int y) {
        return std::uint32_t((x * 37 + y * 11) & 0xff) << 16 | std::uint32_t(x * y & 0xff) << 8 |
               std::uint32_t((x + 3 * y) & 0xff);
    });
}

QByteArray PngDeclaring(std::uint32_t width, std::uint32_t height)
{
    QByteArray bytes = Encoded(Pattern(4, 4), "PNG");
    PutBigEndian(bytes, 16, width);  // IHDR data starts at 16: signature 8, length 4, type 4
    PutBigEndian(bytes, 20, height);
    PutBigEndian(bytes, 29, Crc32(bytes.constData() + 12, 17));  // over type and data
    return bytes;
}

QByteArray GarbledPng()
{
    QByteArray bytes = Encoded(Pattern(16, 16), "PNG");
    const int idat = bytes.indexOf("IDAT");
    for (int i = idat + 8; i < idat + 24; ++i)
        bytes[i] = char(0xA5 ^ i);
    return bytes;
}

QByteArray BmpDeclaring(std::int32_t width, std::int32_t height)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("BM", 2);
    out << quint32(54) << quint16(0) << quint16(0) << quint32(54);
    out << quint32(40) << qint32(width) << qint32(height) << quint16(1) << quint16(24)
        << quint32(0) << quint32(0) << qint32(2835) << qint32(2835) << quint32(0) << quint32(0);
    return bytes;
}

QByteArray TopDownBmp(const QImage& picture)
{
    const int width = picture.width(), height = picture.height();
    const int rowBytes = (3 * width + 3) / 4 * 4;
    QByteArray bytes = BmpDeclaring(width, -height);
    bytes.reserve(bytes.size() + rowBytes * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb c = picture.pixel(x, y);
            bytes.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        }
        bytes.append(QByteArray(rowBytes - 3 * width, '\0'));
    }
    return bytes;
}

PackedColour Packed(const QImage& picture, int x, int y)
{
    const QRgb c = picture.pixel(x, y);
    return PackedColour(qBlue(c) << 16 | qGreen(c) << 8 | qRed(c));
}

namespace {
// Palette: black, white, (200, 30, 30), (30, 30, 200); frame two swaps the pixels.
const unsigned char TwoFrames[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x02, 0x00, 0x01, 0x00, 0x81, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xff, 0xff, 0xff, 0xc8, 0x1e, 0x1e, 0x1e, 0x1e, 0xc8, 0x21, 0xff, 0x0b, 0x4e, 0x45,
    0x54, 0x53, 0x43, 0x41, 0x50, 0x45, 0x32, 0x2e, 0x30, 0x03, 0x01, 0x00, 0x00, 0x00, 0x21,
    0xf9, 0x04, 0x00, 0x0a, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01,
    0x00, 0x00, 0x02, 0x02, 0xcc, 0x0a, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x0a, 0x00, 0x00, 0x00,
    0x2c, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x5c, 0x0a, 0x00,
    0x3b};
}  // namespace

QByteArray TwoFrameGif()
{
    return QByteArray(reinterpret_cast<const char*>(TwoFrames), sizeof TwoFrames);
}

QByteArray GifOnScreen(int screenWidth, int screenHeight, int left, int top, int frameWidth,
                       int frameHeight)
{
    QByteArray bytes("GIF89a");
    auto word = [&](int value) {
        bytes.append(char(value & 0xff));
        bytes.append(char(value >> 8 & 0xff));
    };
    word(screenWidth);
    word(screenHeight);
    bytes.append("\x80\x00\x00", 3);                                // a global table of two colours
    bytes.append("\x00\x00\x00\xff\xff\xff", 6);                  // black, white
    bytes.append("\x21\xf9\x04\x00\x0a\x00\x00\x00", 8);          // graphic control extension
    bytes.append('\x2c');
    word(left);
    word(top);
    word(frameWidth);
    word(frameHeight);
    bytes.append('\x00');
    bytes.append("\x02\x02\x44\x01\x00\x3b", 6);  // codes clear, 0, end; the trailer
    return bytes;
}

QByteArray IcoHolding(const QByteArray& png)
{
    QByteArray bytes("\x00\x00\x01\x00\x01\x00", 6);  // an icon directory of one entry
    bytes.append("\x10\x10\x00\x00\x01\x00\x20\x00", 8);  // 16x16, one plane, 32 bits
    for (const std::uint32_t value : {std::uint32_t(png.size()), std::uint32_t(22)})  // size, offset
        for (int i = 0; i < 4; ++i)
            bytes.append(char(value >> (8 * i) & 0xff));
    return bytes + png;
}

QImage FirstFrameOfTwoFrameGif()
{
    return fixtures::Picture(2, 1, [](int x, int) { return x == 0 ? 0xffffffu : 0x1e1ec8u; });
}

}  // namespace badfiles
