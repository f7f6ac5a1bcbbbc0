// Bad and unusual picture files through TPicture::LoadFromFile: damaged data and
// oversized headers are refused with the file and the cause, leaving the picture
// as it was; odd but valid shapes and frames load.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>

#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>

#include "Fixtures.h"
#include "platform/Graphics.h"

namespace {

using fixtures::Folder;

QByteArray Encoded(const QImage& picture, const char* format, int quality = -1)
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

// A valid 4x4 PNG whose header is changed to declare width x height; the
// header's checksum is made right again, so only the size is wrong.
QByteArray PngDeclaring(std::uint32_t width, std::uint32_t height)
{
    QByteArray bytes = Encoded(Pattern(4, 4), "PNG");
    PutBigEndian(bytes, 16, width);  // IHDR data starts at 16: signature 8, length 4, type 4
    PutBigEndian(bytes, 20, height);
    PutBigEndian(bytes, 29, Crc32(bytes.constData() + 12, 17));  // over type and data
    return bytes;
}

// The PNG with bytes inside its compressed pixel data overwritten.
QByteArray GarbledPng()
{
    QByteArray bytes = Encoded(Pattern(16, 16), "PNG");
    const int idat = bytes.indexOf("IDAT");
    for (int i = idat + 8; i < idat + 24; ++i)
        bytes[i] = char(0xA5 ^ i);
    return bytes;
}

PackedColour Packed(const QImage& picture, int x, int y)
{
    const QRgb c = picture.pixel(x, y);
    return PackedColour(qBlue(c) << 16 | qGreen(c) << 8 | qRed(c));
}

struct BadFile {
    const char* name;
    std::function<QByteArray()> bytes;
    const char* file;    // the name it is saved under
    const char* reason;  // part of the message
};

class RefusedInput : public ::testing::TestWithParam<BadFile> {};

TEST_P(RefusedInput, NamesFileAndCauseAndKeepsPicture)
{
    const BadFile& c = GetParam();
    Folder folder;
    TPicture picture;
    picture.LoadFromFile(folder.Save(Pattern(2, 2), "previous.png"));
    const std::string path = folder.Write(c.bytes(), c.file);
    try {
        picture.LoadFromFile(path);
        FAIL() << c.name << " loaded as " << picture.GetWidth() << "x" << picture.GetHeight();
    } catch (const Exception& e) {
        EXPECT_NE(e.Message.find(path), std::string::npos) << e.Message;
        EXPECT_NE(e.Message.find(c.reason), std::string::npos) << e.Message;
    }
    ASSERT_EQ(picture.GetWidth(), 2);
    ASSERT_EQ(picture.GetHeight(), 2);
    EXPECT_EQ(picture.GetBitmap()->GetCanvas()->GetPixel(1, 1), Packed(Pattern(2, 2), 1, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedInput,
    ::testing::Values(
        BadFile{"garbled_png", GarbledPng, "garbled.png", "damaged or cut short"},
        BadFile{"truncated_bmp", [] { return Encoded(Pattern(16, 16), "BMP").left(100); },
                "cut.bmp", "damaged or cut short"},
        BadFile{"bmp_one_byte_short", [] { return Encoded(Pattern(16, 16), "BMP").chopped(1); },
                "short.bmp", "damaged or cut short"},
        BadFile{"bmp_header_only", [] { return Encoded(Pattern(16, 16), "BMP").left(54); },
                "header.bmp", "damaged or cut short"},
        BadFile{"png_60000_square", [] { return PngDeclaring(60000, 60000); }, "huge.png",
                "too large"},
        BadFile{"png_100000_square", [] { return PngDeclaring(100000, 100000); }, "huger.png",
                "too large"},
        BadFile{"truncated_jpeg_header",
                [] { return Encoded(Pattern(64, 64), "JPEG", 90).left(300); }, "cut.jpg",
                "damaged or cut short"},
        BadFile{"png_100000_by_1", [] { return PngDeclaring(100000, 1); }, "wide.png",
                "damaged or cut short"}),
    [](const auto& info) { return std::string(info.param.name); });

// A GIF of two frames, 2x1 pixels each: the first is white then (30, 30, 200),
// the second the other way round. Palette: black, white, (200, 30, 30), (30, 30, 200).
const unsigned char TwoFrameGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x02, 0x00, 0x01, 0x00, 0x81, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xff, 0xff, 0xff, 0xc8, 0x1e, 0x1e, 0x1e, 0x1e, 0xc8, 0x21, 0xff, 0x0b, 0x4e, 0x45,
    0x54, 0x53, 0x43, 0x41, 0x50, 0x45, 0x32, 0x2e, 0x30, 0x03, 0x01, 0x00, 0x00, 0x00, 0x21,
    0xf9, 0x04, 0x00, 0x0a, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01,
    0x00, 0x00, 0x02, 0x02, 0xcc, 0x0a, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x0a, 0x00, 0x00, 0x00,
    0x2c, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x5c, 0x0a, 0x00,
    0x3b};

struct OddFile {
    const char* name;
    std::function<QByteArray()> bytes;
    const char* file;
    QImage expected;  // the pixels the picture must hold
};

class AcceptedInput : public ::testing::TestWithParam<OddFile> {};

TEST_P(AcceptedInput, LoadsEveryPixel)
{
    const OddFile& c = GetParam();
    Folder folder;
    TPicture picture;
    picture.LoadFromFile(folder.Write(c.bytes(), c.file));
    ASSERT_EQ(picture.GetWidth(), c.expected.width());
    ASSERT_EQ(picture.GetHeight(), c.expected.height());
    TCanvas* canvas = picture.GetBitmap()->GetCanvas();
    for (int y = 0; y < c.expected.height(); ++y)
        for (int x = 0; x < c.expected.width(); ++x)
            EXPECT_EQ(canvas->GetPixel(x, y), Packed(c.expected, x, y)) << "pixel " << x << "," << y;
}

QImage FirstFrame()
{
    return fixtures::Picture(2, 1, [](int x, int) { return x == 0 ? 0xffffffu : 0x1e1ec8u; });
}

INSTANTIATE_TEST_SUITE_P(
    Files, AcceptedInput,
    ::testing::Values(
        OddFile{"png_1x1", [] { return Encoded(Pattern(1, 1), "PNG"); }, "one.png", Pattern(1, 1)},
        OddFile{"png_1x16", [] { return Encoded(Pattern(1, 16), "PNG"); }, "column.png",
                Pattern(1, 16)},
        OddFile{"bmp_16x1", [] { return Encoded(Pattern(16, 1), "BMP"); }, "row.bmp",
                Pattern(16, 1)},
        OddFile{"animated_gif_first_frame",
                [] { return QByteArray(reinterpret_cast<const char*>(TwoFrameGif),
                                       sizeof TwoFrameGif); },
                "frames.gif", FirstFrame()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusedInput, UnreadableFileNamesTheCause)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    Folder folder;
    const std::string path = folder.Save(Pattern(2, 2), "locked.png");
    QFile::setPermissions(QString::fromStdString(path), QFileDevice::WriteOwner);
    TPicture picture;
    try {
        picture.LoadFromFile(path);
        FAIL() << "loaded a file without read permission";
    } catch (const Exception& e) {
        EXPECT_NE(e.Message.find(path), std::string::npos) << e.Message;
        EXPECT_NE(e.Message.find("cannot be read"), std::string::npos) << e.Message;
    }
    EXPECT_EQ(picture.GetWidth(), 0);
}

}  // namespace
