// Fuzz target: arbitrary bytes as two picture files, loaded as the open actions
// load them and put through the main command in both modes.
//
// Input: byte 0 picks the two file extensions (low nibble left, high nibble
// right, indices into Extensions), bytes 1-2 give the left file's length
// (little-endian, clipped to what is there), then the left file, then the
// right. fuzz/make_seeds.py writes inputs in this framing.
//
// Refusals (Exception) are fine. Crashes, sanitizer reports, any other
// exception or a refused load that changed its picture are findings.
#include <QGuiApplication>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Sides.h"
#include "platform/PictureFiles.h"
#include "phase/Command.h"

namespace {

const char* const Extensions[16] = {"",     ".png", ".bmp", ".jpg", ".gif", ".pgm",
                                    ".ppm", ".pbm", ".ico", ".tga", ".tif", ".webp",
                                    ".xpm", ".txt", ".mng", ".wbmp"};

// Larger inputs only slow the search down; the loader's size limits are
// exercised through declared sizes, which cost a few bytes.
constexpr std::size_t MaxInput = 16 * 1024;
// Pictures may declare more pixels than this only when the loader refuses
// them before decoding (above TPicture::MaxPixels); anything in between
// would decode megapixels per input.
constexpr std::int64_t MaxDeclaredPixels = 256 * 256;
// Largest side the transform is run on here.
constexpr int MaxTransformSide = 64;

QTemporaryDir* folder = nullptr;

[[noreturn]] void Finding(const char* what)
{
    std::fprintf(stderr, "fuzz_picture: %s\n", what);
    std::abort();
}

std::string WriteFile(const char* name, const char* extension, const std::uint8_t* data,
                      std::size_t size)
{
    const QString path = folder->filePath(QString::fromLatin1(name) + QLatin1String(extension));
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        Finding("cannot write the input files");
    return path.toStdString();
}

bool Affordable(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return true;
    QImageReader reader(&file);
    const QSize declared = picturefiles::DeclaredSize(file, reader);
    if (!declared.isValid())
        return true;
    const std::int64_t pixels = std::int64_t(declared.width()) * declared.height();
    return pixels <= MaxDeclaredPixels || pixels > TPicture::MaxPixels;
}

// Opens one file on a side. A refused open must leave the result picture as
// it was (empty, fresh): it is loaded last, only after the input.
void Open(TPicture& input, TPicture& result, const std::string& path)
{
    try {
        OpenSide(&input, &result, path);
    } catch (const Exception&) {
        if (result.GetWidth() != 0 || result.GetHeight() != 0)
            Finding("a refused open changed the result picture");
    }
}

bool Small(const TPicture& picture)
{
    return picture.GetWidth() <= MaxTransformSide && picture.GetHeight() <= MaxTransformSide;
}

std::vector<PackedColour> PixelsOf(const TPicture& picture)
{
    std::vector<PackedColour> pixels(std::size_t(picture.GetWidth()) * picture.GetHeight());
    picture.CopyPixels(pixels.data());
    return pixels;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: libFuzzer leaves through exit(), and an application
    // destroyed among the static destructors outlives parts of Qt itself.
    static int argc = 1;
    static char name[] = "fuzz_picture";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    static QTemporaryDir files(QStringLiteral("/tmp/korvanith-fuzz-XXXXXX"));
    folder = &files;
    if (!folder->isValid())
        Finding("no temporary folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3 || size > MaxInput)
        return 0;
    const char* leftExtension = Extensions[data[0] & 0x0f];
    const char* rightExtension = Extensions[data[0] >> 4];
    std::size_t leftSize = std::size_t(data[1]) | std::size_t(data[2]) << 8;
    data += 3;
    size -= 3;
    if (leftSize > size)
        leftSize = size;
    const std::string left = WriteFile("left", leftExtension, data, leftSize);
    const std::string right = WriteFile("right", rightExtension, data + leftSize, size - leftSize);
    if (!Affordable(left) || !Affordable(right))
        return 0;

    // Fresh pictures per input, so that every finding reproduces from its input alone.
    TPicture leftInput, leftResult, rightInput, rightResult;
    Open(leftInput, leftResult, left);
    Open(rightInput, rightResult, right);
    if (!Small(leftInput) || !Small(rightInput))
        return 0;
    try {
        CheckPairFits(&leftInput, &rightInput);
    } catch (const Exception&) {
        return 0;
    }
    const int W = leftInput.GetWidth(), H = leftInput.GetHeight();
    const std::vector<PackedColour> l = PixelsOf(leftInput), r = PixelsOf(rightInput);
    std::vector<std::uint8_t> leftLevels(l.size()), rightLevels(r.size());
    for (const phase::Mode mode : {phase::Mode::Normal, phase::Mode::Swap}) {
        try {
            phase::RunCommand(l.data(), r.data(), W, H, mode, leftLevels.data(), rightLevels.data());
        } catch (const Exception&) {
        }
    }
    return 0;
}
