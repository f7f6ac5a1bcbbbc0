// Picture services: what a loaded file gives as PackedColour, how a file that
// cannot load is refused, the canvas, and the busy cursor.
#include <gtest/gtest.h>

#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QImage>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "BadFiles.h"
#include "Fixtures.h"
#include "platform/Application.h"
#include "platform/Controls.h"
#include "platform/Graphics.h"

namespace {

using fixtures::Folder;
using namespace badfiles;

// Two pixels with known colours, (10, 20, 30) and (250, 0, 128), in a format.
QImage TwoPixels(QImage::Format format)
{
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(10, 20, 30, 255));
    image.setPixel(1, 0, qRgba(250, 0, 128, 255));
    return image.convertToFormat(format);
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

// A file to load, made in a folder; gives its path.
using MakeFile = std::function<std::string(const Folder&)>;

MakeFile Saved(const QImage& picture, const char* name)
{
    return [=](const Folder& f) { return f.Save(picture, name); };
}

MakeFile Written(const std::function<QByteArray()>& bytes, const char* name)
{
    return [=](const Folder& f) { return f.Write(bytes(), name); };
}

// --- what loads ----------------------------------------------------------------

struct Loadable {
    const char* name;
    MakeFile file;
    QImage expected;  // the pixels the picture must hold
};

void PrintTo(const Loadable& c, std::ostream* os) { *os << c.name; }

class LoadedPixels : public ::testing::TestWithParam<Loadable> {};

TEST_P(LoadedPixels, ArePackedColoursWithTopByteZero)
{
    const Loadable& c = GetParam();
    Folder folder;
    TPicture picture;
    picture.LoadFromFile(c.file(folder));
    ASSERT_EQ(picture.GetWidth(), c.expected.width());
    ASSERT_EQ(picture.GetHeight(), c.expected.height());
    TCanvas* canvas = picture.GetBitmap()->GetCanvas();
    for (int y = 0; y < c.expected.height(); ++y)
        for (int x = 0; x < c.expected.width(); ++x)
            EXPECT_EQ(canvas->GetPixel(x, y), Packed(c.expected, x, y)) << "pixel " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadedPixels,
    ::testing::Values(
        Loadable{"rgb_png", Saved(TwoPixels(QImage::Format_RGB32), "rgb.png"), TwoPixels(QImage::Format_RGB32)},
        Loadable{"rgb_bmp", Saved(TwoPixels(QImage::Format_RGB32), "rgb.bmp"), TwoPixels(QImage::Format_RGB32)},
        Loadable{"rgb_ppm", Saved(TwoPixels(QImage::Format_RGB32), "rgb.ppm"), TwoPixels(QImage::Format_RGB32)},
        Loadable{"rgb_tif", Saved(TwoPixels(QImage::Format_RGB32), "rgb.tif"), TwoPixels(QImage::Format_RGB32)},
        Loadable{"alpha_png", Saved(WithAlpha(), "alpha.png"), TwoPixels(QImage::Format_RGB32)},
        Loadable{"indexed_png", Saved(Indexed(), "indexed.png"), TwoPixels(QImage::Format_RGB32)},
        Loadable{"gray_png", Saved(Gray(QImage::Format_Grayscale8, 77, 255), "gray.png"),
                 Gray(QImage::Format_RGB32, 77, 255)},
        Loadable{"gray_pgm", Saved(Gray(QImage::Format_Grayscale8, 0, 1), "gray.pgm"),
                 Gray(QImage::Format_RGB32, 0, 1)},
        Loadable{"gray16_png", Saved(Gray(QImage::Format_Grayscale16, 77, 200), "gray16.png"),
                 Gray(QImage::Format_RGB32, 77, 200)},
        Loadable{"rgb16_png", Saved(SixteenBit(), "rgb16.png"), TwoPixels(QImage::Format_RGB32)},
        Loadable{"png_1x1", Written([] { return Encoded(Pattern(1, 1), "PNG"); }, "one.png"),
                 Pattern(1, 1)},
        Loadable{"png_1x16", Written([] { return Encoded(Pattern(1, 16), "PNG"); }, "column.png"),
                 Pattern(1, 16)},
        Loadable{"bmp_16x1", Written([] { return Encoded(Pattern(16, 1), "BMP"); }, "row.bmp"),
                 Pattern(16, 1)},
        Loadable{"animated_gif_first_frame", Written(TwoFrameGif, "frames.gif"),
                 FirstFrameOfTwoFrameGif()},
        // the content decides the format, not the extension
        Loadable{"png_named_bmp", Written([] { return Encoded(TwoPixels(QImage::Format_RGB32), "PNG"); }, "named.bmp"),
                 TwoPixels(QImage::Format_RGB32)}),
    [](const auto& info) { return std::string(info.param.name); });

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

// JPEG is lossy: these check the size, not the pixels. Some cameras append a
// video after the picture's end; the picture still loads.
TEST(LoadedPixels, WholeJpegLoads)
{
    Folder folder;
    const QByteArray whole = Encoded(Pattern(64, 32), "JPEG", 90);
    QByteArray withVideo = whole;
    static const char appended[] = "\xFF\xDA\x00\x08 trailing video bytes \xFF";
    withVideo.append(appended, sizeof appended - 1);
    for (const auto& [name, bytes] : {std::pair{"whole.jpg", whole}, {"appended.jpg", withVideo}}) {
        SCOPED_TRACE(name);
        TPicture picture;
        picture.LoadFromFile(folder.Write(bytes, name));
        EXPECT_EQ(picture.GetWidth(), 64);
        EXPECT_EQ(picture.GetHeight(), 32);
    }
}

// --- the file's orientation ------------------------------------------------------

// Six blocks of 16x16 pixels, three across and two down, each of one colour
// far from the others: a JPEG keeps each block's middle within a few levels.
constexpr int Block = 16;
const QRgb BlockColours[2][3] = {{qRgb(230, 20, 20), qRgb(20, 230, 20), qRgb(20, 20, 230)},
                                 {qRgb(240, 240, 240), qRgb(15, 15, 15), qRgb(230, 230, 20)}};

QImage SixBlocks()
{
    return fixtures::Picture(3 * Block, 2 * Block, [](int x, int y) {
        return BlockColours[y / Block][x / Block] & 0xffffffu;
    });
}

struct Turn {
    const char* name;
    int orientation;  // the EXIF tag's value
};

void PrintTo(const Turn& c, std::ostream* os) { *os << c.name; }

// Where the shown pixel (X, Y) lies in the stored W x H picture, from the
// EXIF definition of each orientation (row 0 and column 0 of the stored
// picture are its "top" and "left" sides).
QPoint StoredAt(int orientation, int X, int Y, int W, int H)
{
    switch (orientation) {
    case 2: return {W - 1 - X, Y};          // top-right: mirrored
    case 3: return {W - 1 - X, H - 1 - Y};  // bottom-right: half a turn
    case 4: return {X, H - 1 - Y};          // bottom-left: flipped
    case 5: return {Y, X};                  // left-top: transposed
    case 6: return {Y, H - 1 - X};          // right-top: turned clockwise to show
    case 7: return {W - 1 - Y, H - 1 - X};  // right-bottom: transversed
    case 8: return {W - 1 - Y, X};          // left-bottom: turned anticlockwise to show
    default: return {X, Y};                 // top-left: as stored
    }
}

class TurnedPhotograph : public ::testing::TestWithParam<Turn> {};

TEST_P(TurnedPhotograph, LoadsAsItIsMeantToBeShown)
{
    const int orientation = GetParam().orientation;
    Folder folder;
    const QImage stored = SixBlocks();
    TPicture picture;
    picture.LoadFromFile(folder.Write(fixtures::WithOrientation(Encoded(stored, "JPEG", 100), orientation),
                                      "turned.jpg"));
    const bool across = orientation >= 5;  // shown with width and height exchanged
    ASSERT_EQ(picture.GetWidth(), across ? stored.height() : stored.width());
    ASSERT_EQ(picture.GetHeight(), across ? stored.width() : stored.height());
    // The middle of every block as shown.
    for (int Y = Block / 2; Y < picture.GetHeight(); Y += Block)
        for (int X = Block / 2; X < picture.GetWidth(); X += Block) {
            const QPoint at = StoredAt(orientation, X, Y, stored.width(), stored.height());
            const QRgb expected = BlockColours[at.y() / Block][at.x() / Block];
            const PackedColour got = picture.GetBitmap()->GetCanvas()->GetPixel(X, Y);
            const int channel[3] = {got & 0xff, got >> 8 & 0xff, got >> 16 & 0xff};
            const int wanted[3] = {qRed(expected), qGreen(expected), qBlue(expected)};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(channel[c], wanted[c], 12)
                    << "shown pixel " << X << "," << Y << " (stored " << at.x() << "," << at.y()
                    << "), channel " << c;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Orientations, TurnedPhotograph,
    ::testing::Values(Turn{"upright", 1}, Turn{"mirrored", 2}, Turn{"half_turn", 3},
                      Turn{"flipped", 4}, Turn{"transposed", 5}, Turn{"turned_clockwise", 6},
                      Turn{"transversed", 7}, Turn{"turned_anticlockwise", 8}),
    [](const auto& info) { return std::string(info.param.name); });

// A JPEG whose frame header declares width x height (the data stays that of
// a small picture), turned clockwise to show.
QByteArray TurnedJpegDeclaring(std::uint16_t width, std::uint16_t height)
{
    QByteArray bytes = Encoded(Pattern(16, 16), "JPEG", 90);
    const int frame = bytes.indexOf("\xFF\xC0");
    if (frame < 0)
        return {};
    bytes[frame + 5] = char(height >> 8), bytes[frame + 6] = char(height & 0xff);
    bytes[frame + 7] = char(width >> 8), bytes[frame + 8] = char(width & 0xff);
    return fixtures::WithOrientation(bytes, 6);
}

// --- refusals ------------------------------------------------------------------

QByteArray HalfAPng()
{
    const QByteArray whole = Encoded(
        fixtures::GrayPicture(64, 64, [](int x, int y) { return (x * 7 + y * 13) % 256; }), "PNG");
    return whole.left(whole.size() / 2);
}

struct Refusal {
    const char* name;
    MakeFile file;
    const char* reason;  // part of the message
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class RefusedFile : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedFile, NamesFileAndReasonAndKeepsPicture)
{
    const Refusal& c = GetParam();
    Folder folder;
    TPicture picture;
    picture.LoadFromFile(folder.Save(Pattern(2, 2), "previous.png"));
    const std::string path = c.file(folder);
    const std::string message = fixtures::RefusalOf([&] { picture.LoadFromFile(path); });
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    ASSERT_EQ(picture.GetWidth(), 2);
    ASSERT_EQ(picture.GetHeight(), 2);
    EXPECT_EQ(picture.GetBitmap()->GetCanvas()->GetPixel(1, 1), Packed(Pattern(2, 2), 1, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFile,
    ::testing::Values(
        Refusal{"missing", [](const Folder& f) { return f.Path("none.png").toStdString(); },
                "does not exist"},
        Refusal{"folder", [](const Folder& f) { return f.Path("").toStdString(); }, "folder"},
        Refusal{"empty", Written([] { return QByteArray(); }, "empty.png"), "empty"},
        Refusal{"text_named_png", Written([] { return QByteArray("just some words\n"); }, "words.png"),
                "not a picture in a known format"},
        Refusal{"truncated_png", Written(HalfAPng, "cut.png"), "damaged or cut short"},
        Refusal{"garbled_png", Written(GarbledPng, "garbled.png"), "damaged or cut short"},
        Refusal{"truncated_bmp", Written([] { return Encoded(Pattern(16, 16), "BMP").left(100); }, "cut.bmp"),
                "damaged or cut short"},
        Refusal{"bmp_one_byte_short",
                Written([] { return Encoded(Pattern(16, 16), "BMP").chopped(1); }, "short.bmp"),
                "damaged or cut short"},
        Refusal{"bmp_header_only", Written([] { return Encoded(Pattern(16, 16), "BMP").left(54); }, "header.bmp"),
                "damaged or cut short"},
        Refusal{"truncated_jpeg_header",
                Written([] { return Encoded(Pattern(64, 64), "JPEG", 90).left(300); }, "cut.jpg"),
                "damaged or cut short"},
        Refusal{"truncated_jpeg_data",
                Written(
                    [] {
                        const QByteArray whole = Encoded(Pattern(64, 64), "JPEG", 90);
                        return whole.left(whole.size() * 2 / 3);
                    },
                    "cut.jpeg"),
                "damaged or cut short"},
        Refusal{"png_100000_by_1", Written([] { return PngDeclaring(100000, 1); }, "wide.png"),
                "damaged or cut short"},
        Refusal{"png_60000_square", Written([] { return PngDeclaring(60000, 60000); }, "huge.png"),
                "too large"},
        Refusal{"png_100000_square", Written([] { return PngDeclaring(100000, 100000); }, "huger.png"),
                "too large"},
        Refusal{"bmp_60000_square", Written([] { return BmpDeclaring(60000, 60000); }, "huge.bmp"),
                "too large"},
        Refusal{"bmp_100000_square", Written([] { return BmpDeclaring(100000, 100000); }, "huger.bmp"),
                "too large"},
        // the reader declares a GIF's frame; the decoder paints it on the canvas
        Refusal{"gif_frame_taller_than_its_screen",
                Written([] { return GifOnScreen(20000, 0, 0, 0, 1, 20000); }, "tall.gif"),
                "too large (20000\u00d720000 pixels"},
        Refusal{"gif_frame_below_its_screen",
                Written([] { return GifOnScreen(20000, 1, 0, 19999, 1, 1); }, "low.gif"),
                "too large (20000\u00d720000 pixels"},
        // an icon file's directory says 16x16; the decoder reads the PNG inside
        Refusal{"ico_holding_a_60000_square_png",
                Written([] { return IcoHolding(PngDeclaring(60000, 60000)); }, "huge.ico"),
                "too large (60000\u00d760000 pixels"},
        // the size as the picture is shown: turned, 20000 wide becomes 20000 high
        Refusal{"turned_jpeg_20000_by_14000",
                Written([] { return TurnedJpegDeclaring(20000, 14000); }, "turned.jpg"),
                "too large (14000\u00d720000 pixels"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusedFile, EmptyNameIsRefused)
{
    TPicture picture;
    EXPECT_NE(fixtures::RefusalOf([&] { picture.LoadFromFile(""); }).find("no file name"),
              std::string::npos);
}

// A file its reader may not read, also when the tests run as root: the
// capabilities that override permissions are dropped for the load.
TEST(RefusedFile, UnreadableFileNamesTheCause)
{
    Folder folder;
    const std::string path = folder.Save(Pattern(2, 2), "locked.png");
    ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(path), QFileDevice::WriteOwner));
    TPicture picture;
    std::string message;
    {
        fixtures::ObeyFilePermissions obey;
        message = fixtures::RefusalOf([&] { picture.LoadFromFile(path); });
    }
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find("cannot be read (Permission denied)"), std::string::npos) << message;
    EXPECT_EQ(picture.GetWidth(), 0);
}

// --- names with control characters ----------------------------------------------

struct Name {
    const char* name;
    std::string given;  // the file's name
    std::string shown;  // as messages show it
};

void PrintTo(const Name& c, std::ostream* os) { *os << c.name; }

class ShownFileName : public ::testing::TestWithParam<Name> {};

TEST_P(ShownFileName, WritesOutControlCharacters)
{
    EXPECT_EQ(ShownName(GetParam().given), GetParam().shown);
}

// A missing file's refusal shows the name as ShownName does, on one line.
TEST_P(ShownFileName, InTheRefusalOfALoad)
{
    const Name& c = GetParam();
    Folder folder;
    const std::string path = folder.Path(QString::fromStdString(c.given)).toStdString();
    TPicture picture;
    const std::string message = fixtures::RefusalOf([&] { picture.LoadFromFile(path); });
    EXPECT_EQ(message, "Cannot load " + ShownName(path) + ": the file does not exist.");
    EXPECT_NE(message.find(c.shown), std::string::npos) << message;
    for (const char control : {'\n', '\r', '\t', '\x1b', '\x7f'})
        EXPECT_EQ(message.find(control), std::string::npos) << "control " << int(control) << " in " << message;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ShownFileName,
    ::testing::Values(Name{"plain", "face.png", "face.png"},
                      Name{"unicode_kept", "gr\u00fc\u00dfe \u2014 \u00e9t\u00e9.png",
                           "gr\u00fc\u00dfe \u2014 \u00e9t\u00e9.png"},
                      Name{"newline", "two\nlines.png", "two\\nlines.png"},
                      Name{"carriage_return_and_tab", "a\rb\tc.png", "a\\rb\\tc.png"},
                      Name{"escape_sequence", "red\x1b[31m.png", "red\\x1B[31m.png"},
                      Name{"bell_and_delete", std::string("a\x07\x7f", 3) + ".png",
                           "a\\x07\\x7F.png"},
                      Name{"c1_control", "csi\u009b31m.png", "csi\\u009B31m.png"},
                      Name{"backslash_kept", "back\\slash.png", "back\\slash.png"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- canvas --------------------------------------------------------------------

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
    EXPECT_EQ(canvas->GetPixel(0, 0), Packed(TwoPixels(QImage::Format_RGB32), 0, 0));
    EXPECT_EQ(canvas->GetPixel(1, 0), Packed(TwoPixels(QImage::Format_RGB32), 1, 0));

    TPicture empty;
    TCanvas* nothing = empty.GetBitmap()->GetCanvas();
    EXPECT_EQ(nothing->GetPixel(0, 0), 0);
    nothing->SetPixel(0, 0, 1);
    EXPECT_EQ(nothing->GetPixel(0, 0), 0);
    EXPECT_EQ(empty.GetWidth(), 0);
    EXPECT_EQ(empty.GetHeight(), 0);
}

// --- a view of pixels -------------------------------------------------------------

struct Viewed {
    const char* name;
    int W, H, channels;
    QSize room, shown;
};

void PrintTo(const Viewed& c, std::ostream* os) { *os << c.name; }

class PixelView : public ::testing::TestWithParam<Viewed> {};

// Small pixels are shown as they are; large ones scaled down in proportion to
// fit, their halves (dark left, light right) kept apart.
TEST_P(PixelView, ShowsPixelsAtTheirSizeOrScaledDownToFit)
{
    const Viewed& c = GetParam();
    std::vector<std::uint8_t> bytes(std::size_t(c.W) * c.H * c.channels);
    for (int y = 0; y < c.H; ++y)
        for (int x = 0; x < c.W; ++x)
            for (int k = 0; k < c.channels; ++k)
                bytes[(std::size_t(y) * c.W + x) * c.channels + k] = x < c.W / 2 ? 20 : 220;
    TPixelView view;
    view.resize(c.room);
    view.SetPixels(c.W, c.H, c.channels, bytes.data());
    EXPECT_EQ(view.GetPixelWidth(), c.W);
    EXPECT_EQ(view.GetPixelHeight(), c.H);
    ASSERT_EQ(view.ShownSize(), c.shown);
    const QImage shown = view.grab().toImage();
    EXPECT_EQ(qGray(shown.pixel(1, c.shown.height() / 2)), 20);
    EXPECT_EQ(qGray(shown.pixel(c.shown.width() - 2, c.shown.height() / 2)), 220);
    view.SetPixels(0, 0, 1, nullptr);
    EXPECT_EQ(view.ShownSize(), QSize(0, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PixelView,
    ::testing::Values(Viewed{"small_gray_as_it_is", 100, 50, 1, {192, 192}, {100, 50}},
                      Viewed{"large_gray_scaled", 1024, 1024, 1, {192, 192}, {192, 192}},
                      Viewed{"large_wide_rgb_in_proportion", 2048, 512, 3, {192, 192}, {192, 48}},
                      Viewed{"exactly_the_room", 192, 192, 3, {192, 192}, {192, 192}}),
    [](const auto& info) { return std::string(info.param.name); });

// A small picture is enlarged by whole pixels, each a sharp square, and a
// view follows its control's size.
TEST(PixelView, EnlargesSmallPixelsSharplyAndFollowsItsSize)
{
    const std::uint8_t bytes[] = {20, 220, 220, 20};  // 2 x 2, a checkerboard
    TPixelView view;
    view.resize(200, 150);
    view.SetPixels(2, 2, 1, bytes);
    ASSERT_EQ(view.ShownSize(), QSize(150, 150));  // 75 screen pixels a pixel
    const QImage shown = view.grab().toImage();
    for (const auto& [x, y, level] : {std::tuple{0, 0, 20}, {74, 74, 20}, {75, 74, 220}, {74, 75, 220},
                                      {75, 75, 20}, {149, 0, 220}, {0, 149, 220}})
        EXPECT_EQ(qGray(shown.pixel(x, y)), level) << "at (" << x << ", " << y << ")";
    view.show();  // a hidden control is told of its new size only once shown
    view.resize(400, 300);
    EXPECT_EQ(view.ShownSize(), QSize(300, 300));
    view.resize(100, 300);
    EXPECT_EQ(view.ShownSize(), QSize(100, 100));
}

// Marks under a scale: the first flush left, the last flush right, the
// middle one centred, whatever the width.
TEST(ScaleCaption, PutsTheMarksAtTheEndsAndTheMiddle)
{
    TScaleCaption caption;
    caption.SetMarks({"\u2212\u03c0", "0", "\u03c0"});
    for (const int width : {96, 192, 333}) {
        caption.resize(width, 20);
        const QFontMetrics metrics = caption.fontMetrics();
        EXPECT_EQ(caption.MarkLeft(0), 0) << width;
        EXPECT_EQ(caption.MarkLeft(1) + metrics.horizontalAdvance("0") / 2, int(std::lround(width / 2.0)))
            << width;
        EXPECT_EQ(caption.MarkLeft(2) + metrics.horizontalAdvance(QString::fromUtf8("\u03c0")), width)
            << width;
    }
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
