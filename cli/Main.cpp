// korvanith-cli: the window's transform and the phase lab on picture files,
// without a display: the command line, and the subcommand it names.
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include "Common.h"
#include "Equalise.h"
#include "Lab.h"
#include "Scramble.h"
#include "Transform.h"
#include "platform/Exception.h"

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
    "  --version       show the program's version\n"
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
    "  --crop          cut both pictures to their common centre: the smaller width by\n"
    "                  the smaller height\n"
    "\n"
    "Usage: korvanith-cli scramble [options] PICTURE... OUTDIR\n"
    "\n"
    "Phase-scrambled stimuli of each picture; korvanith-cli scramble --help tells more.\n"
    "\n"
    "Usage: korvanith-cli equalise --match STEPS [options] PICTURE... OUTDIR\n"
    "\n"
    "A stimulus set equalised in luminance, histogram or spectrum; korvanith-cli\n"
    "equalise --help tells more.\n";

struct Options {
    bool help = false;
    bool version = false;
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
        cli::Say(message.toStdString());
}

// What the user wrote for an option the parser did not know ("-face.png"),
// and a hint when it may have been meant as a file.
std::string UnknownOption(const QStringList& arguments, const QString& name)
{
    QString written = (name.size() == 1 ? "-" : "--") + name;
    for (const QString& argument : arguments.mid(1))
        if (argument == "-" + name || argument == "--" + name ||
            argument.startsWith("--" + name + "=") || argument.startsWith("-" + name + "=")) {
            written = argument;
            break;
        }
    std::string message = "unknown option " + written.toStdString();
    if (name.contains('.') || name.contains('/'))
        message += "; to name a file that starts with '-', write ./" + written.toStdString() +
                   " or put -- before the names";
    return message;
}

int Run(const Options& options)
{
    if (options.lab)
        return cli::Lab({options.crop, options.mix, options.files[1], options.files[2],
                         options.files[3]});
    return cli::Transform({options.mode, options.crop, options.files[0], options.files[1],
                           options.files[2], options.files[3]});
}

// The command line, or a message for the user when it is wrong.
std::variant<Options, std::string> Parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "show this text");
    const QCommandLineOption version("version", "show the version");
    const QCommandLineOption mode("mode", "normal or swap", "mode");
    const QCommandLineOption crop("crop", "cut both to fit");
    const QCommandLineOption mix("mix", "the lab's phase mix", "A");
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(mode);
    parser.addOption(crop);
    parser.addOption(mix);
    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            return UnknownOption(arguments, parser.unknownOptionNames().constFirst());
        return parser.errorText().contains("mix") ? std::string("--mix needs a value from 0 to 1")
                                                  : std::string("--mode needs a value: normal or swap");
    }
    Options options;
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
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
    if (options.help || options.version)
        return options;
    if (options.lab && options.files.size() != 4)
        return "lab expects LEFT RIGHT OUTDIR, got " + std::to_string(options.files.size() - 1) +
               " arguments";
    if (options.lab && options.files[3].empty())
        return std::string("OUTDIR is empty: name the folder to write into");
    if (!options.lab && options.files.size() != 4)
        return "expected 4 files, got " + std::to_string(options.files.size());
    return options;
}

// The application object every subcommand reads and writes pictures under:
// no display, and the toolkit's chatter kept off standard error.
class Toolkit {
public:
    Toolkit()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(QuietToolkit);
        // Libraries the toolkit starts (fontconfig) complain on standard
        // error where memory is short; the refusal that follows says so.
        cli::SilencedStderr quiet;
        application = std::make_unique<QGuiApplication>(argc, argv);
    }

private:
    int argc = 1;
    char name[16] = "korvanith-cli";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QGuiApplication> application;
};

}  // namespace

int main(int argc, char** argv)
{
    // Subcommands with command lines of their own.
    const std::pair<const char*, int (*)(const QStringList&)> subcommands[] = {
        {"scramble", Scramble}, {"equalise", Equalise}};
    for (const auto& [word, run] : subcommands)
        if (argc > 1 && std::string(argv[1]) == word) {
            const Toolkit toolkit;
            QStringList rest;
            for (int i = 2; i < argc; ++i)
                rest << QString::fromLocal8Bit(argv[i]);
            return run(rest);
        }

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const auto parsed = Parse(arguments);
    if (const auto* message = std::get_if<std::string>(&parsed))
        return cli::UsageError(*message);
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", cli::Name, KORVANITH_VERSION);
        return 0;
    }

    const Toolkit toolkit;
    try {
        return Run(options);
    } catch (const Exception& e) {
        cli::Say(e.Message);
    } catch (const std::bad_alloc&) {
        cli::Say("not enough memory");
    }
    return cli::ExitFailure;
}
