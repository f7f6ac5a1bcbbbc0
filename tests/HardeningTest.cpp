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

#include "BadFiles.h"
#include "Fixtures.h"
#include "platform/Graphics.h"

namespace {

using fixtures::Folder;
using namespace badfiles;

// A valid 4x4 PNG whose header is changed to declare width x height; the
// header's checksum is made right again, so only the size is wrong.
// The PNG with bytes inside its compressed pixel data overwritten.
struct BadFile {
    const char* name;
    std::function<QByteArray()> bytes;
    const char* file;    // the name it is saved under
    const char* reason;  // part of the message
};

void PrintTo(const BadFile& c, std::ostream* os) { *os << c.name; }

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
        BadFile{"truncated_jpeg_data",
                [] {
                    const QByteArray whole = Encoded(Pattern(64, 64), "JPEG", 90);
                    return whole.left(whole.size() * 2 / 3);
                },
                "cut.jpeg", "damaged or cut short"},
        BadFile{"png_100000_by_1", [] { return PngDeclaring(100000, 1); }, "wide.png",
                "damaged or cut short"}),
    [](const auto& info) { return std::string(info.param.name); });

// A GIF of two frames, 2x1 pixels each: the first is white then (30, 30, 200),
// the second the other way round. Palette: black, white, (200, 30, 30), (30, 30, 200).
struct OddFile {
    const char* name;
    std::function<QByteArray()> bytes;
    const char* file;
    QImage expected;  // the pixels the picture must hold
};

void PrintTo(const OddFile& c, std::ostream* os) { *os << c.name; }

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

INSTANTIATE_TEST_SUITE_P(
    Files, AcceptedInput,
    ::testing::Values(
        OddFile{"png_1x1", [] { return Encoded(Pattern(1, 1), "PNG"); }, "one.png", Pattern(1, 1)},
        OddFile{"png_1x16", [] { return Encoded(Pattern(1, 16), "PNG"); }, "column.png",
                Pattern(1, 16)},
        OddFile{"bmp_16x1", [] { return Encoded(Pattern(16, 1), "BMP"); }, "row.bmp",
                Pattern(16, 1)},
        OddFile{"animated_gif_first_frame",
                TwoFrameGif, "frames.gif", FirstFrameOfTwoFrameGif()}),
    [](const auto& info) { return std::string(info.param.name); });

// JPEG is lossy: these check the size, not the pixels. Some cameras append a
// video after the picture's end; the picture still loads.
TEST(AcceptedInput, WholeJpegLoads)
{
    Folder folder;
    const QByteArray whole = Encoded(Pattern(64, 32), "JPEG", 90);
    QByteArray progressiveLike = whole;
    static const char appended[] = "\xFF\xDA\x00\x08 trailing video bytes \xFF";
    progressiveLike.append(appended, sizeof appended - 1);
    for (const auto& [name, bytes] : {std::pair{"whole.jpg", whole}, {"appended.jpg", progressiveLike}}) {
        SCOPED_TRACE(name);
        TPicture picture;
        picture.LoadFromFile(folder.Write(bytes, name));
        EXPECT_EQ(picture.GetWidth(), 64);
        EXPECT_EQ(picture.GetHeight(), 32);
    }
}

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
