// korvanith-cli: the window's transform on two picture files, without a display.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <utility>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include "Equalise.h"
#include "Sides.h"
#include "Unit1.h"
#include "Unit2.h"
#include "lab/PhaseLab.h"
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
    "Nothing is written unless both results can be written.\n"
    "\n"
    "Usage: korvanith-cli lab [--crop] [--mix A] LEFT RIGHT OUTDIR\n"
    "\n"
    "Writes the phase lab's pictures of the pair to OUTDIR (made when missing):\n"
    "left-magnitude.png, left-phase.png, left-magnitude-only.png, left-phase-only.png,\n"
    "left-mix.png, the same five right-..., and resemblance.json, the Pearson\n"
    "correlation of each rebuild with each picture (null where undefined).\n"
    "\n"
    "  --mix A         the phase mix, from 0 (own phase) to 1 (the other's); 0.5 by default\n"
    "  --crop          as above\n";

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

struct Options {
    bool help = false;
    bool lab = false;  // the phase lab's pictures rather than the transform's results
    int mode = 0;      // the radio group's item: 0 normal, 1 swap
    bool crop = false;
    double mix = 0.5;
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

// Opens both sides as the window's open actions do, and crops when asked.
void Open(TKorvanith& window, const std::string& left, const std::string& right, bool crop)
{
    {
        SilencedStderr quiet;
        OpenSide(window.Image1, window.Image3, left);
        OpenSide(window.Image2, window.Image4, right);
    }
    if (crop)
        CropBoth(window.Image1, window.Image3, window.Image2, window.Image4);
}

// A misfit pair's refusal, with the remedy this tool offers.
[[noreturn]] void ThrowMisfit(const EMisfitPair& misfit)
{
    if (!misfit.Crop)
        throw misfit;
    throw Exception(misfit.Sizes + " Add --crop to cut both to their centre " +
                    misfit.Crop->Text() + ".");
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The lab's resemblance table as JSON: for each side's magnitude, each
// rebuild's correlation with the left and the right picture.
std::string ResemblanceJson(const lab::PhaseLab& engine, int W, int H, double mix)
{
    const struct {
        const char* key;
        lab::Rebuild rebuild;
    } rows[] = {{"normal", lab::Rebuild::Normal},
                {"swap", lab::Rebuild::Swap},
                {"mix", lab::Rebuild::Mix},
                {"magnitude_only", lab::Rebuild::MagnitudeOnly},
                {"phase_only", lab::Rebuild::PhaseOnly}};
    const auto r = [](const std::optional<double>& value) {
        return value ? Number(*value) : std::string("null");
    };
    std::string json = "{\"width\": " + std::to_string(W) + ", \"height\": " + std::to_string(H) +
                       ", \"mix\": " + Number(mix);
    for (const auto& [sideKey, side] : {std::pair{"left", lab::Side::Left}, {"right", lab::Side::Right}}) {
        json += std::string(", \"") + sideKey + "\": {";
        const char* separator = "";
        for (const auto& row : rows) {
            json += std::string(separator) + "\"" + row.key + "\": {\"left\": " +
                    r(engine.Resemblance(side, row.rebuild, lab::Side::Left)) + ", \"right\": " +
                    r(engine.Resemblance(side, row.rebuild, lab::Side::Right)) + "}";
            separator = ", ";
        }
        json += "}";
    }
    return json + "}\n";
}

int RunLab(const Options& options)
{
    const std::string& left = options.files[1];
    const std::string& right = options.files[2];
    const QString folder = QString::fromStdString(options.files[3]);

    TKorvanith window(Application);
    Open(window, left, right, options.crop);
    const TPicture* leftPicture = window.Image1->Picture;
    const TPicture* rightPicture = window.Image2->Picture;
    try {
        CheckPairFits(leftPicture, rightPicture);
    } catch (const EMisfitPair& misfit) {
        ThrowMisfit(misfit);
    }
    const int W = leftPicture->GetWidth(), H = leftPicture->GetHeight();
    if (const AnsiString refusal = LabMemoryRefusal(W, H); !refusal.empty())
        throw Exception(refusal);
    std::vector<PackedColour> leftSamples(std::size_t(W) * H), rightSamples(std::size_t(W) * H);
    leftPicture->CopyPixels(leftSamples.data());
    rightPicture->CopyPixels(rightSamples.data());
    const lab::PhaseLab engine(leftSamples.data(), rightSamples.data(), W, H, options.mix);

    const struct {
        const char* name;
        lab::Tile tile;
    } tiles[] = {{"magnitude", lab::Tile::Magnitude},
                 {"phase", lab::Tile::Phase},
                 {"magnitude-only", lab::Tile::MagnitudeOnly},
                 {"phase-only", lab::Tile::PhaseOnly},
                 {"mix", lab::Tile::Mix}};
    const bool made = ForceDirectories(options.files[3]);
    try {
        TSaveGroup files;
        for (const auto& [sideName, side] : {std::pair{"left", lab::Side::Left}, {"right", lab::Side::Right}})
            for (const auto& t : tiles) {
                const lab::Picture picture = engine.Image(side, t.tile);
                files.AddPixels(QDir(folder).filePath(QString(sideName) + "-" + t.name + ".png").toStdString(),
                                picture.width, picture.height, picture.channels, picture.bytes);
            }
        files.AddText(QDir(folder).filePath("resemblance.json").toStdString(),
                      ResemblanceJson(engine, W, H, engine.Mix()));
        files.Commit();
    } catch (...) {
        if (made)
            QDir().rmdir(folder);  // only when nothing is in it
        throw;
    }
    return 0;
}

int Run(const Options& options)
{
    if (options.lab)
        return RunLab(options);
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
    Open(window, left, right, options.crop);
    window.RadioGroup1->SetItemIndex(options.mode);
    try {
        window.RunTransform();
    } catch (const EMisfitPair& misfit) {
        ThrowMisfit(misfit);
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
    const QCommandLineOption mix("mix", "the lab's phase mix", "A");
    parser.addOption(help);
    parser.addOption(mode);
    parser.addOption(crop);
    parser.addOption(mix);
    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().constFirst();
            return "unknown option " + QString(name.size() == 1 ? "-" : "--").toStdString() +
                   name.toStdString();
        }
        return parser.errorText().contains("mix") ? std::string("--mix needs a value from 0 to 1")
                                                  : std::string("--mode needs a value: normal or swap");
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
    // "lab" first, with three more: the lab (a picture named lab: ./lab).
    options.lab = !options.files.empty() && options.files[0] == "lab";
    if (options.lab && parser.isSet(mode))
        return std::string("--mode is not an option of lab");
    if (!options.lab && parser.isSet(mix))
        return std::string("--mix is an option of lab only");
    if (parser.isSet(mix)) {
        bool number = false;
        options.mix = parser.values(mix).constLast().toDouble(&number);
        if (!number || !(options.mix >= 0.0 && options.mix <= 1.0))
            return "--mix needs a number from 0 to 1, not '" +
                   parser.values(mix).constLast().toStdString() + "'";
    }
    if (options.help)
        return options;
    if (options.lab && options.files.size() != 4)
        return "lab expects LEFT RIGHT OUTDIR, got " + std::to_string(options.files.size() - 1) +
               " arguments";
    if (!options.lab && options.files.size() != 4)
        return "expected 4 files, got " + std::to_string(options.files.size());
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.size() > 1 && arguments[1] == "equalise") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(QuietToolkit);
        int qtArgc = 1;
        char name[] = "korvanith-cli";
        char* qtArgv[] = {name, nullptr};
        QApplication toolkit(qtArgc, qtArgv);
        return Equalise(arguments.mid(2));
    }
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
