// korvanith-cli: the window's transform on two picture files, without a display.
#include <QApplication>
#include <QByteArray>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Unit1.h"

namespace {

const char Usage[] =
    "Usage: korvanith-cli [--mode normal|swap] LEFT RIGHT LEFT_RESULT RIGHT_RESULT\n"
    "\n"
    "Transforms the pictures LEFT and RIGHT as the Korvanith window does and writes the\n"
    "two result pictures. Both pictures must have the same size, with sides that are\n"
    "powers of two.\n"
    "\n"
    "  --mode normal   rebuild each picture from its own phase (linear gray; default)\n"
    "  --mode swap     rebuild each from the other's phase (logarithmic gray)\n"
    "  --help          show this text\n"
    "\n"
    "The format of each result is chosen by its extension (.png, .bmp, .pgm, .ppm, ...).\n"
    "Nothing is written unless both results can be written.\n";

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

struct Options {
    int mode = 0;  // the radio group's item: 0 normal, 1 swap
    std::vector<std::string> files;
};

// The toolkit's chatter (warnings about the environment) is not for the
// user of this tool: standard error carries its one line of refusal only.
void QuietToolkit(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "korvanith-cli: %s\n", qPrintable(message));
}

// Decoders such as libpng write their own complaints straight to standard
// error; while pictures load, those go nowhere, since the refusal that
// follows says what is wrong in one line.
class SilencedStderr {
public:
    SilencedStderr() : saved(dup(STDERR_FILENO))
    {
        const int null = open("/dev/null", O_WRONLY);
        if (saved >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
    }
    ~SilencedStderr()
    {
        if (saved >= 0) {
            dup2(saved, STDERR_FILENO);
            close(saved);
        }
    }
    SilencedStderr(const SilencedStderr&) = delete;
    SilencedStderr& operator=(const SilencedStderr&) = delete;

private:
    int saved;
};

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "korvanith-cli: %s\n%s", message.c_str(), Usage);
    return ExitUsage;
}

// The writer's format for a result file, from its extension.
QByteArray FormatOf(const std::string& path)
{
    const QByteArray suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower().toLatin1();
    return QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray();
}

// A result picture as an image to save: 8-bit gray when every pixel is gray,
// which the painted results always are.
QImage ResultImage(TImage* image)
{
    TBitmap* bitmap = image->Picture->GetBitmap();
    const int W = bitmap->GetWidth();
    const int H = bitmap->GetHeight();
    const TCanvas* canvas = bitmap->GetCanvas();
    bool gray = true;
    for (int y = 0; y < H && gray; ++y)
        for (int x = 0; x < W && gray; ++x) {
            const std::uint32_t c = std::uint32_t(canvas->GetPixel(x, y));
            gray = c == (c & 0xff) * 65793u;
        }
    QImage result(W, H, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (result.isNull())
        throw Exception("not enough memory to write the results");
    for (int y = 0; y < H; ++y) {
        uchar* row = result.scanLine(y);
        for (int x = 0; x < W; ++x) {
            const std::uint32_t c = std::uint32_t(canvas->GetPixel(x, y));
            if (gray)
                row[x] = uchar(c & 0xff);
            else
                reinterpret_cast<QRgb*>(row)[x] = qRgb(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff);
        }
    }
    return result;
}

// Writes both results to temporary files beside their targets and renames
// them into place only when both are complete.
void WriteResults(const std::vector<std::pair<std::string, QImage>>& results)
{
    std::vector<std::unique_ptr<QSaveFile>> files;
    for (const auto& [path, image] : results) {
        auto file = std::make_unique<QSaveFile>(QString::fromStdString(path));
        file->setDirectWriteFallback(false);
        if (!file->open(QIODevice::WriteOnly))
            throw Exception("cannot write " + path + ": " + file->errorString().toStdString());
        QImageWriter writer(file.get(), FormatOf(path));
        if (!writer.write(image))
            throw Exception("cannot write " + path + ": " + writer.errorString().toStdString());
        files.push_back(std::move(file));
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!files[i]->commit())
            throw Exception("cannot write " + results[i].first + ": " +
                            files[i]->errorString().toStdString());
}

int Run(const Options& options)
{
    const std::string& left = options.files[0];
    const std::string& right = options.files[1];
    const std::string& leftResult = options.files[2];
    const std::string& rightResult = options.files[3];
    for (const std::string& out : {leftResult, rightResult})
        if (FormatOf(out).isEmpty())
            throw Exception("cannot write " + out +
                            ": unknown picture format (use .png, .bmp, .pgm, .ppm, .jpg, .tif, ...)");
    if (QFileInfo(QString::fromStdString(leftResult)).absoluteFilePath() ==
        QFileInfo(QString::fromStdString(rightResult)).absoluteFilePath())
        throw Exception("LEFT_RESULT and RIGHT_RESULT must be different files");

    TKorvanith window(Application);
    {
        // As the open actions do: each input also fills the result picture below it.
        SilencedStderr quiet;
        window.Image1->Picture->LoadFromFile(left);
        window.Image3->Picture->LoadFromFile(left);
        window.Image2->Picture->LoadFromFile(right);
        window.Image4->Picture->LoadFromFile(right);
    }
    window.RadioGroup1->SetItemIndex(options.mode);
    window.RunTransform();
    WriteResults({{leftResult, ResultImage(window.Image3)},
                  {rightResult, ResultImage(window.Image4)}});
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        std::string mode;
        if (arg == "--mode") {
            if (++i == argc)
                return UsageError("--mode needs a value: normal or swap");
            mode = argv[i];
        } else if (arg.rfind("--mode=", 0) == 0) {
            mode = arg.substr(7);
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
            return UsageError("unknown option " + arg);
        } else {
            if (arg == "--")
                for (++i; i < argc; ++i)
                    options.files.push_back(argv[i]);
            else
                options.files.push_back(arg);
            continue;
        }
        if (mode == "normal")
            options.mode = 0;
        else if (mode == "swap")
            options.mode = 1;
        else
            return UsageError("unknown mode '" + mode + "': use normal or swap");
    }
    if (options.files.size() != 4)
        return UsageError("expected 4 files, got " + std::to_string(options.files.size()));

    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietToolkit);
    int qtArgc = 1;
    char name[] = "korvanith-cli";
    char* qtArgv[] = {name, nullptr};
    QApplication toolkit(qtArgc, qtArgv);
    try {
        return Run(options);
    } catch (const Exception& e) {
        std::fprintf(stderr, "korvanith-cli: %s\n", e.Message.c_str());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "korvanith-cli: not enough memory\n");
    }
    return ExitFailure;
}
