// korvanith-cli equalise: reads the set, runs the steps, writes the results,
// report.json, spectra.png and histograms.png as one.
#include "Equalise.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "Common.h"
#include "Plots.h"
#include "platform/Graphics.h"
#include "platform/Memory.h"
#include "platform/SaveFiles.h"
#include "stimuli/Equalise.h"
#include "stimuli/EqualiseMeasures.h"
#include "stimuli/EqualiseWorkers.h"
#include "stimuli/Ssim.h"
#include "stimuli/SplitMix64.h"

namespace {

const char Usage[] =
    "Usage: korvanith-cli equalise --match STEPS [--iterations N] [--mask FILE]\n"
    "                              [--rescale set|mean] [--seed S] [--jobs N] PICTURE... OUTDIR\n"
    "\n"
    "Equalises a set of two or more pictures of one size, used as gray levels 0..255\n"
    "(a colour pixel as 0.299 R + 0.587 G + 0.114 B, rounded), and writes into OUTDIR\n"
    "(made when missing) each result as <name>.png (gray), report.json, spectra.png\n"
    "and histograms.png. Nothing is written unless all of it can be.\n"
    "\n"
    "  --match STEPS       one step or several separated by commas, run in order:\n"
    "                        lum        the set's mean luminance and contrast\n"
    "                        hist       the set's mean histogram, exactly\n"
    "                        amplitude  the set's mean amplitude spectrum, own phases\n"
    "                        sf         the set's rotational (ring) spectrum, own\n"
    "                                   phases\n"
    "  --iterations N      run the steps N times (1 by default)\n"
    "  --mask FILE         a picture of the same size: lum and hist use and change\n"
    "                      only its non-zero pixels\n"
    "  --rescale set       after amplitude or sf, map the set's minimum and maximum to 0\n"
    "                      and 255 (the default)\n"
    "  --rescale mean      map the mean of the pictures' minima and of their maxima\n"
    "  --seed S            breaks the ties of hist, an unsigned 64-bit integer (1 by\n"
    "                      default)\n"
    "  --jobs N            threads (the processors by default); the results are the\n"
    "                      same bytes for any N\n"
    "  --help              show this text\n";

struct Options {
    std::vector<stimuli::Step> steps;
    QString match;
    int iterations = 1;
    stimuli::Rescale rescale = stimuli::Rescale::Set;
    std::uint64_t seed = 1;
    int jobs = 1;
    QString mask;
    QStringList pictures;
    QString folder;
};

// One line on standard error that rewrites itself, on a terminal only.
class Progress {
public:
    Progress() : shown(isatty(STDERR_FILENO)) {}
    ~Progress() { Clear(); }
    void Say(const std::string& what)
    {
        if (!shown || what == last)
            return;
        last = what;
        std::fprintf(stderr, "\r\033[Kkorvanith-cli: %s", what.c_str());
        std::fflush(stderr);
    }
    void Clear()
    {
        if (shown && !last.empty())
            std::fprintf(stderr, "\r\033[K");
        last.clear();
    }

private:
    bool shown;
    std::string last;
};

std::string Text(const QString& s) { return s.toStdString(); }

// The command line, or the message for a wrong one.
std::variant<Options, std::string> Parse(const QStringList& arguments, bool& help)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption({"h", "help"}, "show this text");
    const QCommandLineOption match("match", "steps", "STEPS");
    const QCommandLineOption iterations("iterations", "runs", "N");
    const QCommandLineOption mask("mask", "mask", "FILE");
    const QCommandLineOption rescale("rescale", "rescale", "set|mean");
    const QCommandLineOption seed("seed", "seed", "S");
    const QCommandLineOption jobs("jobs", "threads", "N");
    for (const auto* o : {&helpOption, &match, &iterations, &mask, &rescale, &seed, &jobs})
        parser.addOption(*o);
    if (!parser.parse(QStringList{"equalise"} + arguments)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().constFirst();
            return "unknown option " + Text(QString(name.size() == 1 ? "-" : "--") + name) + " of equalise";
        }
        return Text(parser.errorText());
    }
    help = parser.isSet(helpOption);
    Options options;
    if (help)
        return options;
    if (!parser.isSet(match))
        return std::string("equalise needs --match STEPS (lum, hist, amplitude, sf, e.g. --match amplitude,hist)");
    options.match = parser.values(match).constLast();
    try {
        options.steps = stimuli::ParseSteps(Text(options.match));
    } catch (const stimuli::EqualiseError& e) {
        return std::string(e.what());
    }
    if (parser.isSet(iterations)) {
        bool number = false;
        const QString value = parser.values(iterations).constLast();
        options.iterations = value.toInt(&number);
        if (!number || options.iterations < 1)
            return "--iterations needs a whole number of at least 1, not '" + Text(value) + "'";
    }
    if (parser.isSet(rescale)) {
        const QString value = parser.values(rescale).constLast();
        if (value == "set")
            options.rescale = stimuli::Rescale::Set;
        else if (value == "mean")
            options.rescale = stimuli::Rescale::Mean;
        else
            return "unknown rescale '" + Text(value) + "': use set or mean";
    }
    if (parser.isSet(seed)) {
        const QString value = parser.values(seed).constLast();
        const std::optional<std::uint64_t> parsed = stimuli::ParseUnsigned(value.toStdString());
        options.seed = parsed.value_or(0);
        if (!parsed)
            return "--seed needs a whole number from 0 to 18446744073709551615, not '" + Text(value) + "'";
    }
    options.jobs = int(std::min(std::max(1u, std::thread::hardware_concurrency()), 256u));
    if (parser.isSet(jobs)) {
        bool number = false;
        const QString value = parser.values(jobs).constLast();
        options.jobs = value.toInt(&number);
        if (!number || options.jobs < 1 || options.jobs > 256)
            return "--jobs needs a whole number from 1 to 256, not '" + Text(value) + "'";
    }
    if (parser.isSet(mask))
        options.mask = parser.values(mask).constLast();
    options.pictures = parser.positionalArguments();
    if (options.pictures.size() < 3)
        return "equalise needs at least two pictures and OUTDIR, got " +
               std::to_string(options.pictures.size()) + " arguments";
    options.folder = options.pictures.takeLast();
    return options;
}

// The names of the results: each picture's name without its extension, .png;
// two pictures of one name, or a name of the report's own files, refused.
QStringList ResultNames(const Options& options)
{
    QStringList names;
    std::map<QString, QString> taken = {{"spectra.png", "the plot of the spectra"},
                                        {"histograms.png", "the plot of the histograms"}};
    for (const QString& picture : options.pictures) {
        const QString name = QFileInfo(picture).completeBaseName() + ".png";
        const auto [at, fresh] = taken.emplace(name, picture);
        if (!fresh)
            throw Exception(Text(picture) + " and " + Text(at->second) + " would both be written as " +
                            Text(QDir(options.folder).filePath(name)) + ": rename one");
        // Writing into the pictures' own folder must not replace one of them.
        const QFileInfo result(QDir(options.folder).filePath(name));
        for (const QString& input : options.pictures + QStringList{options.mask})
            if (!input.isEmpty() && QFileInfo(input).exists() &&
                QFileInfo(input).canonicalFilePath() == QFileInfo(result.absolutePath(), result.fileName()).canonicalFilePath())
                throw Exception("the result " + Text(result.filePath()) + " would replace the picture " + Text(input) +
                                ": choose another OUTDIR");
        names << name;
    }
    return names;
}

// The picture's gray levels into levels (W x H); a colour pixel as its luma.
// packed is the scratch for its packed colours, kept from picture to picture.
void GrayLevels(const TPicture& picture, std::vector<PackedColour>& packed, std::uint8_t* levels)
{
    packed.resize(std::size_t(picture.GetWidth()) * std::size_t(picture.GetHeight()));
    picture.CopyPixels(packed.data());
    for (std::size_t i = 0; i < packed.size(); ++i) {
        const std::uint32_t c = std::uint32_t(packed[i]);
        levels[i] = stimuli::Luma(int(c & 0xff), int((c >> 8) & 0xff), int((c >> 16) & 0xff));
    }
}

QString Size(int W, int H) { return QString::number(W) + QChar(0x00d7) + QString::number(H); }

QJsonValue Number(double value) { return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null); }

QJsonObject SetFigures(const std::vector<stimuli::PictureMeasures>& measures, int W, int H)
{
    const stimuli::SetSpread s = stimuli::Spread(measures, W, H);
    return QJsonObject{{"mean_range", Number(s.meanRange)},
                       {"sd_range", Number(s.deviationRange)},
                       {"largest_histogram_difference", Number(s.histogramDifference)},
                       {"rotational_spectrum_spread", Number(s.spectrumSpread)},
                       {"fitted_slope", Number(stimuli::FittedSlope(measures, W, H))}};
}

// The rotational spectra over the full rings, for the plot: entry r is ring r.
std::vector<std::vector<double>> Spectra(const std::vector<stimuli::PictureMeasures>& measures, int W, int H)
{
    const std::size_t rings = std::size_t(stimuli::FullRings(W, H)) + 1;
    std::vector<std::vector<double>> spectra;
    for (const auto& m : measures)
        spectra.emplace_back(m.rotational.begin(), m.rotational.begin() + std::ptrdiff_t(std::min(rings, m.rotational.size())));
    return spectra;
}

std::vector<std::array<std::uint32_t, 256>> Histograms(const std::vector<stimuli::PictureMeasures>& measures)
{
    std::vector<std::array<std::uint32_t, 256>> histograms;
    for (const auto& m : measures)
        histograms.push_back(m.histogram);
    return histograms;
}

// A gray picture encoded as PNG on a worker thread, so that the writing
// only copies bytes. Quality 70 (zlib level 2) takes a fifth of the default's
// time on equalised photographs, for files a sixth larger.
std::string GrayPng(const std::uint8_t* levels, int W, int H, const QString& fileName)
{
    const QImage view(levels, W, H, qsizetype(W), QImage::Format_Grayscale8);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(70);
    if (!writer.write(view))
        throw EWriteError(Text(fileName), writer.errorString().toStdString());
    return bytes.toStdString();
}

// Every result is an open temporary file until the group commits: the
// process takes as many open files as the system lets it, and a set with more
// results than that is refused before anything is read.
void AllowOpenFiles(std::size_t results)
{
    const std::size_t needed = results + 64;  // the reports, the toolkit, the pictures being read
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed)
        return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed)
        throw Exception(std::to_string(results) + " results need " + std::to_string(needed) +
                        " open files at once, and this process may open " + std::to_string(limit.rlim_cur) +
                        ": equalise fewer pictures, or raise the limit (ulimit -n)");
}

int Run(const Options& options)
{
    const QStringList names = ResultNames(options);
    AllowOpenFiles(std::size_t(names.size()));
    Progress progress;
    const std::size_t K = std::size_t(options.pictures.size());

    // The set, read picture by picture into bytes.
    std::optional<stimuli::PictureSet> set;
    std::vector<PackedColour> packed;
    int W = 0, H = 0;
    for (std::size_t k = 0; k < K; ++k) {
        progress.Say("reading " + std::to_string(k + 1) + "/" + std::to_string(K));
        TPicture picture;
        {
            cli::SilencedStderr quiet;
            picture.LoadFromFile(Text(options.pictures[int(k)]));
        }
        if (k == 0) {
            W = picture.GetWidth();
            H = picture.GetHeight();
            const std::uint64_t needed = stimuli::BytesNeeded(W, H, K, options.jobs);
            if (needed > AvailableMemory())
                throw Exception("not enough memory to equalise " + std::to_string(K) + " pictures of " +
                                Text(Size(W, H)) + " (needs " + std::to_string((needed + (1u << 20) - 1) >> 20) +
                                " MiB)");
            set.emplace(W, H, K);
        } else if (picture.GetWidth() != W || picture.GetHeight() != H) {
            throw Exception("the pictures differ in size: " + Text(options.pictures[0]) + " is " +
                            Text(Size(W, H)) + ", " + Text(options.pictures[int(k)]) + " is " +
                            Text(Size(picture.GetWidth(), picture.GetHeight())));
        }
        GrayLevels(picture, packed, set->Levels(k));
    }
    std::vector<std::uint8_t> mask;
    if (!options.mask.isEmpty()) {
        TPicture picture;
        {
            cli::SilencedStderr quiet;
            picture.LoadFromFile(Text(options.mask));
        }
        if (picture.GetWidth() != W || picture.GetHeight() != H)
            throw Exception("the mask " + Text(options.mask) + " is " +
                            Text(Size(picture.GetWidth(), picture.GetHeight())) + ", the pictures " +
                            Text(Size(W, H)));
        std::vector<PackedColour> packed(set->Pixels());
        picture.CopyPixels(packed.data());
        mask.resize(packed.size());
        bool any = false;
        for (std::size_t i = 0; i < packed.size(); ++i) {
            mask[i] = packed[i] != 0 ? 1 : 0;
            any = any || mask[i];
        }
        if (!any)
            throw Exception("the mask " + Text(options.mask) + " has no used (non-black) pixel");
    }
    const std::uint8_t* maskBytes = mask.empty() ? nullptr : mask.data();

    progress.Say("measuring the pictures");
    const stimuli::PictureSet originals = *set;
    const std::vector<stimuli::PictureMeasures> before = stimuli::Measure(originals, maskBytes, options.jobs);

    stimuli::EqualiseOptions how;
    how.steps = options.steps;
    how.iterations = options.iterations;
    how.rescale = options.rescale;
    how.seed = options.seed;
    how.mask = maskBytes;
    how.jobs = options.jobs;
    int shownPercent = -1;
    how.progress = [&](std::size_t done, std::size_t total) {
        const int percent = int(done * 100 / std::max<std::size_t>(total, 1));
        if (percent != shownPercent) {
            shownPercent = percent;
            progress.Say("equalising " + std::to_string(percent) + "%");
        }
    };
    stimuli::Equalise(*set, how);

    progress.Say("measuring the results");
    const std::vector<stimuli::PictureMeasures> after = stimuli::Measure(*set, maskBytes, options.jobs);
    std::vector<double> rmse(K), ssim(K);
    stimuli::ForEachPicture(K, options.jobs, [&](std::size_t k, int) {
        rmse[k] = stimuli::Rmse(originals.Levels(k), set->Levels(k), set->Pixels());
        ssim[k] = stimuli::Ssim(originals.Levels(k), set->Levels(k), W, H);
    });

    QJsonArray steps;
    for (const stimuli::Step step : options.steps)
        steps.append(stimuli::StepName(step));
    QJsonObject parameters{
        {"match", steps},
        {"iterations", options.iterations},
        {"rescale", options.rescale == stimuli::Rescale::Set ? "set" : "mean"},
        {"seed", QString::number(options.seed)},
        {"mask", options.mask.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(options.mask)},
        {"width", W},
        {"height", H},
        {"count", int(K)}};
    QJsonArray pictures;
    for (std::size_t k = 0; k < K; ++k)
        pictures.append(QJsonObject{
            {"file", options.pictures[int(k)]},
            {"result", names[int(k)]},
            // The original against itself: RMSE 0, SSIM 1 (none below 11 x 11).
            {"before", QJsonObject{{"mean", before[k].mean},
                                   {"sd", before[k].deviation},
                                   {"rmse", 0.0},
                                   {"ssim", W >= 11 && H >= 11 ? QJsonValue(1.0) : QJsonValue(QJsonValue::Null)}}},
            {"after", QJsonObject{{"mean", after[k].mean},
                                  {"sd", after[k].deviation},
                                  {"rmse", rmse[k]},
                                  {"ssim", Number(ssim[k])}}}});
    const QJsonObject report{
        {"program", "korvanith-cli equalise " KORVANITH_VERSION},
        {"parameters", parameters},
        {"pictures", pictures},
        {"set", QJsonObject{{"before", SetFigures(before, W, H)}, {"after", SetFigures(after, W, H)}}}};

    QStringList plain;
    for (const QString& name : names)
        plain << QFileInfo(name).completeBaseName();
    progress.Say("drawing the plots");
    const QImage spectra = SpectraPlot(Spectra(before, W, H), Spectra(after, W, H),
                                       stimuli::FittedSlope(before, W, H), stimuli::FittedSlope(after, W, H), plain);
    const QImage histograms = HistogramPlot(Histograms(before), Histograms(after), plain, maskBytes != nullptr);

    const QDir folder(options.folder);
    const bool made = ForceDirectories(Text(options.folder));
    try {
        TSaveGroup files;
        // Encoded a batch at a time on the workers: memory for a few dozen
        // encoded pictures, whatever the size of the set.
        const std::size_t batch = 8 * std::size_t(options.jobs);
        std::vector<std::string> encoded;
        for (std::size_t first = 0; first < K; first += batch) {
            progress.Say("writing " + std::to_string(first + 1) + "/" + std::to_string(K));
            const std::size_t count = std::min(batch, K - first);
            encoded.assign(count, std::string());
            stimuli::ForEachPicture(count, options.jobs, [&](std::size_t j, int) {
                encoded[j] = GrayPng(set->Levels(first + j), W, H, folder.filePath(names[int(first + j)]));
            });
            for (std::size_t j = 0; j < count; ++j)
                files.AddText(Text(folder.filePath(names[int(first + j)])), encoded[j]);
        }
        files.AddText(Text(folder.filePath("report.json")), QJsonDocument(report).toJson().toStdString());
        files.AddPixels(Text(folder.filePath("spectra.png")), spectra.width(), spectra.height(), 3,
                        RgbBytes(spectra).data());
        files.AddPixels(Text(folder.filePath("histograms.png")), histograms.width(), histograms.height(), 3,
                        RgbBytes(histograms).data());
        files.Commit();
    } catch (...) {
        if (made)
            QDir().rmdir(options.folder);  // only when nothing is in it
        throw;
    }
    return 0;
}

}  // namespace

int Equalise(const QStringList& arguments)
{
    bool help = false;
    const auto parsed = Parse(arguments, help);
    if (const auto* message = std::get_if<std::string>(&parsed))
        return cli::UsageError(*message);
    if (help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    try {
        return Run(std::get<Options>(parsed));
    } catch (const Exception& e) {
        cli::Say(e.Message);
    } catch (const stimuli::EqualiseError& e) {
        cli::Say(e.what());
    } catch (const std::bad_alloc&) {
        cli::Say("not enough memory to equalise these pictures");
    }
    return cli::ExitFailure;
}
