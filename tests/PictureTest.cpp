// Picture services: what a loaded file gives as PackedColour, how a file that
// cannot load is refused, the canvas, and the busy cursor.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCursor>
#include <QDataStream>
#include <QGuiApplication>
#include <QImage>

#include <string>

#include "BadFiles.h"
#include "Fixtures.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"

namespace {

using fixtures::Folder;

// Two pixels with known colours, (10, 20, 30) and (250, 0, 128), in a format.
QImage TwoPixels(QImage::Format format)
{
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(10, 20, 30, 255));
    image.setPixel(1, 0, qRgba(250, 0, 128, 255));
    return image.convertToFormat(format);
}

constexpr PackedColour First = 30 << 16 | 20 << 8 | 10;
constexpr PackedColour Second = 128 << 16 | 0 << 8 | 250;

struct FormatCase {
    const char* name;
    QImage picture;
    PackedColour first;
    PackedColour second;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class LoadedPixels : public ::testing::TestWithParam<FormatCase> {};

TEST_P(LoadedPixels, ArePackedColoursWithTopByteZero)
{
    const FormatCase& c = GetParam();
    Folder folder;
    const std::string path = folder.Save(c.picture, c.name);
    TPicture picture;
    picture.LoadFromFile(path);
    ASSERT_EQ(picture.GetWidth(), c.picture.width());
    ASSERT_EQ(picture.GetHeight(), c.picture.height());
    TCanvas* canvas = picture.GetBitmap()->GetCanvas();
    EXPECT_EQ(canvas->GetPixel(0, 0), c.first);
    EXPECT_EQ(canvas->GetPixel(1, 0), c.second);
}

QImage WithAlpha()
{
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(10, 20, 30, 0));  // fully transparent keeps its colour
    image.setPixel(1, 0, qRgba(250, 0, 128, 100));
    return image;
}

QImage Indexed()
{
    QImage image(2, 1, QImage::Format_Indexed8);
    image.setColorTable({qRgb(250, 0, 128), qRgb(10, 20, 30)});
    image.setPixel(0, 0, 1);
    image.setPixel(1, 0, 0);
    return image;
}

QImage Gray(QImage::Format format, int first, int second)
{
    QImage image(2, 1, format);
    image.setPixelColor(0, 0, QColor(first, first, first));
    image.setPixelColor(1, 0, QColor(second, second, second));
    return image;
}

QImage SixteenBit()
{
    QImage image(2, 1, QImage::Format_RGBA64);
    // channels that are exact multiples of 257 map to one 8-bit value
    image.setPixelColor(0, 0, QColor::fromRgba64(10 * 257, 20 * 257, 30 * 257, 65535));
    image.setPixelColor(1, 0, QColor::fromRgba64(250 * 257, 0, 128 * 257, 65535));
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LoadedPixels,
    ::testing::Values(
        FormatCase{"rgb.png", TwoPixels(QImage::Format_RGB32), First, Second},
        FormatCase{"rgb.bmp", TwoPixels(QImage::Format_RGB32), First, Second},
        FormatCase{"rgb.ppm", TwoPixels(QImage::Format_RGB32), First, Second},
        FormatCase{"rgb.tif", TwoPixels(QImage::Format_RGB32), First, Second},
        FormatCase{"alpha.png", WithAlpha(), First, Second},
        FormatCase{"indexed.png", Indexed(), First, Second},
        FormatCase{"gray.png", Gray(QImage::Format_Grayscale8, 77, 255), 77 * 65793,
                   255 * 65793},
        FormatCase{"gray.pgm", Gray(QImage::Format_Grayscale8, 0, 1), 0, 65793},
        FormatCase{"gray16.png", Gray(QImage::Format_Grayscale16, 77, 200), 77 * 65793,
                   200 * 65793},
        FormatCase{"rgb16.png", SixteenBit(), First, Second}),
    [](const auto& info) {
        std::string name = info.param.name;
        name[name.find('.')] = '_';
        return name;
    });

TEST(LoadedPixels, ContentDecidesTheFormatNotTheExtension)
{
    Folder folder;
    const std::string png = folder.Save(TwoPixels(QImage::Format_RGB32), "real.png");
    QFile::rename(QString::fromStdString(png), folder.Path("named.bmp"));
    TPicture picture;
    picture.LoadFromFile(folder.Path("named.bmp").toStdString());
    EXPECT_EQ(picture.GetBitmap()->GetCanvas()->GetPixel(0, 0), First);
}

TEST(LoadedPixels, PictureAboveQtsDefaultLimitLoads)
{
    // 6000 x 6000 RGB is 137 MB decoded, above the toolkit's default 128 MB.
    Folder folder;
    QImage big(6000, 6000, QImage::Format_RGB32);
    big.fill(qRgb(1, 2, 3));
    const std::string path = folder.Save(big, "big.png");
    TPicture picture;
    picture.LoadFromFile(path);
    EXPECT_EQ(picture.GetWidth(), 6000);
    EXPECT_EQ(picture.GetBitmap()->GetCanvas()->GetPixel(5999, 5999), 3 << 16 | 2 << 8 | 1);
}

// --- refusals ----------------------------------------------------------------

QByteArray PngBytes()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    fixtures::GrayPicture(64, 64, [](int x, int y) { return (x * 7 + y * 13) % 256; })
        .save(&buffer, "PNG");
    return bytes;
}

struct Refusal {
    const char* name;
    std::function<std::string(const Folder&)> make;  // the path to load
    const char* reason;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class RefusedFile : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedFile, NamesFileAndReasonAndKeepsPicture)
{
    Folder folder;
    const std::string previous = folder.Save(TwoPixels(QImage::Format_RGB32), "previous.png");
    TPicture picture;
    picture.LoadFromFile(previous);
    const std::string path = GetParam().make(folder);
    try {
        picture.LoadFromFile(path);
        FAIL() << "loaded " << path;
    } catch (const Exception& e) {
        EXPECT_NE(e.Message.find(path), std::string::npos) << e.Message;
        EXPECT_NE(e.Message.find(GetParam().reason), std::string::npos) << e.Message;
    }
    ASSERT_EQ(picture.GetWidth(), 2);
    EXPECT_EQ(picture.GetBitmap()->GetCanvas()->GetPixel(1, 0), Second);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFile,
    ::testing::Values(
        Refusal{"missing", [](const Folder& f) { return f.Path("none.png").toStdString(); },
                "does not exist"},
        Refusal{"folder", [](const Folder& f) { return f.Path("").toStdString(); }, "folder"},
        Refusal{"empty", [](const Folder& f) { return f.Write({}, "empty.png"); }, "empty"},
        Refusal{"text_named_png",
                [](const Folder& f) { return f.Write("just some words\n", "words.png"); },
                "not a picture in a known format"},
        Refusal{"truncated_png",
                [](const Folder& f) { return f.Write(PngBytes().left(PngBytes().size() / 2), "cut.png"); },
                "damaged or cut short"},
        Refusal{"bmp_60000_square",
                [](const Folder& f) { return f.Write(badfiles::BmpDeclaring(60000, 60000), "huge.bmp"); },
                "too large"},
        Refusal{"bmp_100000_square",
                [](const Folder& f) { return f.Write(badfiles::BmpDeclaring(100000, 100000), "huger.bmp"); },
                "too large"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusedFile, EmptyNameIsRefused)
{
    TPicture picture;
    EXPECT_THROW(picture.LoadFromFile(""), Exception);
}

// --- canvas ------------------------------------------------------------------

TEST(Canvas, WritesAndReadsPackedColours)
{
    Folder folder;
    TPicture picture;
    picture.LoadFromFile(folder.Save(TwoPixels(QImage::Format_RGB32), "p.png"));
    TCanvas* canvas = picture.GetBitmap()->GetCanvas();
    canvas->SetPixel(1, 0, 0x00123456);
    EXPECT_EQ(canvas->GetPixel(1, 0), 0x00123456);
    canvas->SetPixel(0, 0, -1);  // the top byte is not part of the colour
    EXPECT_EQ(canvas->GetPixel(0, 0), 0x00ffffff);
}

TEST(Canvas, IgnoresPixelsOutsideThePicture)
{
    Folder folder;
    TPicture picture;
    picture.LoadFromFile(folder.Save(TwoPixels(QImage::Format_RGB32), "p.png"));
    TCanvas* canvas = picture.GetBitmap()->GetCanvas();
    for (auto [x, y] : {std::pair{-1, 0}, {2, 0}, {0, 1}, {0, -1}, {1 << 30, 1 << 30}}) {
        canvas->SetPixel(x, y, 0x00777777);
        EXPECT_EQ(canvas->GetPixel(x, y), 0);
    }
    EXPECT_EQ(canvas->GetPixel(0, 0), First);
    EXPECT_EQ(canvas->GetPixel(1, 0), Second);

    TPicture empty;
    EXPECT_EQ(empty.GetWidth(), 0);
    EXPECT_EQ(empty.GetBitmap()->GetCanvas()->GetPixel(0, 0), 0);
    empty.GetBitmap()->GetCanvas()->SetPixel(0, 0, 1);
}

TEST(ScreenCursor, BusyAndBackToDefault)
{
    Screen->SetCursor(crHourGlass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(Screen->GetCursor(), crHourGlass);
    Screen->SetCursor(crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Screen->GetCursor(), crDefault);
}

}  // namespace
