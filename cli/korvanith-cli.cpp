// korvanith-cli: the window's transform on two picture files, without a display.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include "Sides.h"
#include "Unit1.h"
#include "platform/SaveFiles.h"

namespace {

const char Usage[] =
    "Usage: korvanith-cli [--mode normal|swap] [--crop] LEFT RIGHT LEFT_RESULT RIGHT_RESULT\n"
    "\n"
    "Transforms the pictures LEFT and RIGHT as the Korvanith window does and writes the\n"
    "two result pictures. Both pictures must have the same size, with sides that are\n"
    "powers of two.\n"
    "\n"
    "  --mode normal   rebuild each picture from its own phase (linear gray; default)\n"
    "  --mode swap     rebuild each from the other's phase (logarithmic gray)\n"
    "  --crop          first cut both pictures to their centre W x H, the largest powers\n"
    "                  of two within both (a 451x300 and a 600x400 photo: 256x256)\n"
    "  --help          show this text\n"
    "\n"
    "The format of each result is chosen by its extension (.png, .bmp, .pgm, .ppm, ...).\n"
    "Nothing is written unless both results can be written.\n";

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

struct Options {
    bool help = false;
    int mode = 0;  // the radio group's item: 0 normal, 1 swap
    bool crop = false;
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

int Run(const Options& options)
{
    const std::string& left = options.files[0];
    const std::string& right = options.files[1];
    const std::string& leftResult = options.files[2];
    const std::string& rightResult = options.files[3];
    for (const std::string& out : {leftResult, rightResult})
        TSaveGroup::CheckPictureName(out);
    if (QFileInfo(QString::fromStdString(leftResult)).absoluteFilePath() ==
        QFileInfo(QString::fromStdString(rightResult)).absoluteFilePath())
        throw Exception("LEFT_RESULT and RIGHT_RESULT must be different files");

    TKorvanith window(Application);
    {
        SilencedStderr quiet;
        OpenSide(window.Image1, window.Image3, left);
        OpenSide(window.Image2, window.Image4, right);
    }
    if (options.crop)
        CropBoth(window.Image1, window.Image3, window.Image2, window.Image4);
    window.RadioGroup1->SetItemIndex(options.mode);
    try {
        window.RunTransform();
    } catch (const EMisfitPair& misfit) {
        if (!misfit.Crop)
            throw;
        throw Exception(misfit.Sizes + " Add --crop to cut both to their centre " +
                        misfit.Crop->Text() + ".");
    }
    TSaveGroup results;
    results.AddPicture(leftResult, window.Image3->Picture);
    results.AddPicture(rightResult, window.Image4->Picture);
    results.Commit();
    return 0;
}

// The command line, or a message for the user when it is wrong.
std::variant<Options, std::string> Parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "show this text");
    const QCommandLineOption mode("mode", "normal or swap", "mode");
    const QCommandLineOption crop("crop", "cut both to fit");
    parser.addOption(help);
    parser.addOption(mode);
    parser.addOption(crop);
    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().constFirst();
            return "unknown option " + QString(name.size() == 1 ? "-" : "--").toStdString() +
                   name.toStdString();
        }
        return std::string("--mode needs a value: normal or swap");
    }
    Options options;
    options.help = parser.isSet(help);
    options.crop = parser.isSet(crop);
    if (parser.isSet(mode)) {
        const QString value = parser.values(mode).constLast();
        if (value == "normal")
            options.mode = 0;
        else if (value == "swap")
            options.mode = 1;
        else
            return "unknown mode '" + value.toStdString() + "': use normal or swap";
    }
    for (const QString& file : parser.positionalArguments())
        options.files.push_back(file.toStdString());
    if (!options.help && options.files.size() != 4)
        return "expected 4 files, got " + std::to_string(options.files.size());
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const auto parsed = Parse(arguments);
    if (const auto* message = std::get_if<std::string>(&parsed))
        return UsageError(*message);
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }

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
