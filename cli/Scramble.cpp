// korvanith-cli scramble: each picture at each coherence and variant, written as one with its
// manifest; pictures are read in order here and scrambled on worker threads.
#include "Scramble.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

#include "Common.h"
#include "platform/Graphics.h"
#include "platform/Memory.h"
#include "platform/SaveFiles.h"
#include "stimuli/Scramble.h"
#include "stimuli/SplitMix64.h"
#include "stimuli/Statistics.h"


namespace {

const char Usage[] =
    "Usage: korvanith-cli scramble [--coherence C[,C...]] [--variants N] [--seed S]\n"
    "                              [--amplitude own|mean] [--jobs N] PICTURE... OUTDIR\n"
    "\n"
    "Writes phase-scrambled versions of each PICTURE into OUTDIR (made when missing):\n"
    "for each coherence C and variant N, OUTDIR/<name>-c<C as 0.00>-v<N as 01>.png, of the\n"
    "picture's own size, gray for a gray picture and colour for a colour one (alpha is\n"
    "ignored), and OUTDIR/manifest.json with the parameters and, for each output, its input,\n"
    "the fraction of values clipped, mean and RMS contrast of input and output, and Pearson's\n"
    "r of output with input. Each channel keeps its amplitude spectrum; its phase becomes the\n"
    "weighted mean of its own (weight C) and a seeded random phase (weight 1 - C), the same\n"
    "random phase for all channels. Nothing is written unless all of it can be.\n"
    "\n"
    "  --coherence C[,C...]  phase coherences from 0 (random phase) to 1 (the picture\n"
    "                        itself); 0 by default\n"
    "  --variants N          random phases per picture and coherence, 1 by default\n"
    "  --seed S              the random phases' seed, an unsigned 64-bit integer; 1 by default\n"
    "  --amplitude own       each picture keeps its own amplitude spectrum (default)\n"
    "  --amplitude mean      every picture takes the mean amplitude spectrum of the set\n"
    "                        (pictures of one size, all gray or all colour)\n"
    "  --jobs N              pictures scrambled at once, all cores by default; the files do\n"
    "                        not depend on it\n"
    "  --help                show this text\n";

// Variants past this would repeat the noise: the state moves by v * 2^40 modulo 2^64.
constexpr unsigned long long MostVariants = 1ull << 24;

struct Options {
    bool help = false;
    std::vector<double> coherences{0.0};
    unsigned long long variants = 1;
    unsigned long long seed = 1;
    bool meanAmplitude = false;
    int jobs = 1;
    std::vector<std::string> pictures;
    std::string folder;
};

// "0.50": a coherence as its files name it.
std::string Label(double c)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", c);
    return text;
}

// The name a picture's outputs start with: its file name without the last extension.
std::string NameOf(const std::string& picture)
{
    return QFileInfo(QString::fromStdString(picture)).completeBaseName().toStdString();
}

std::string OutputName(const std::string& name, double c, unsigned long long variant)
{
    char v[32];
    std::snprintf(v, sizeof v, "%02llu", variant);
    return name + "-c" + Label(c) + "-v" + v + ".png";
}

// Decimal digits only: a value the command line means as an unsigned integer.
std::optional<unsigned long long> Unsigned(const QString& text)
{
    return stimuli::ParseUnsigned(text.toStdString());
}

// The command line, or a message for the user when it is wrong.
std::variant<Options, std::string> Parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "show this text");
    const QCommandLineOption coherence("coherence", "coherences", "C");
    const QCommandLineOption variants("variants", "variants", "N");
    const QCommandLineOption seed("seed", "seed", "S");
    const QCommandLineOption amplitude("amplitude", "own or mean", "A");
    const QCommandLineOption jobs("jobs", "threads", "N");
    for (const auto* option : {&help, &coherence, &variants, &seed, &amplitude, &jobs})
        parser.addOption(*option);
    if (!parser.parse(QStringList{"scramble"} + arguments)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().constFirst();
            return "unknown option " + QString(name.size() == 1 ? "-" : "--").toStdString() +
                   name.toStdString() + " of scramble";
        }
        return parser.errorText().toStdString();
    }
    Options options;
    options.help = parser.isSet(help);
    if (options.help)
        return options;
    if (parser.isSet(coherence)) {
        options.coherences.clear();
        const QString value = parser.values(coherence).constLast();
        std::map<std::string, QString> labels;
        for (const QString& item : value.split(QLatin1Char(','))) {
            bool number = false;
            const double c = item.trimmed().toDouble(&number) + 0.0;  // -0 names its files c0.00
            if (!number || !(c >= 0.0 && c <= 1.0))
                return "--coherence needs numbers from 0 to 1, not '" + item.toStdString() + "'";
            const auto [at, fresh] = labels.emplace(Label(c), item);
            if (!fresh)
                return "--coherence " + at->second.toStdString() + " and " + item.toStdString() +
                       " would both write files named c" + Label(c);
            options.coherences.push_back(c);
        }
    }
    if (parser.isSet(variants)) {
        const auto value = Unsigned(parser.values(variants).constLast());
        if (!value || *value < 1 || *value > MostVariants)
            return "--variants needs a whole number from 1 to " + std::to_string(MostVariants) + ", not '" +
                   parser.values(variants).constLast().toStdString() + "'";
        options.variants = *value;
    }
    if (parser.isSet(seed)) {
        const auto value = Unsigned(parser.values(seed).constLast());
        if (!value)
            return "--seed needs an unsigned 64-bit integer (0 to 18446744073709551615), not '" +
                   parser.values(seed).constLast().toStdString() + "'";
        options.seed = *value;
    }
    if (parser.isSet(amplitude)) {
        const QString value = parser.values(amplitude).constLast();
        if (value != "own" && value != "mean")
            return "--amplitude needs own or mean, not '" + value.toStdString() + "'";
        options.meanAmplitude = value == "mean";
    }
    const unsigned cores = std::thread::hardware_concurrency();
    options.jobs = int(cores == 0 ? 1 : std::min(cores, 256u));
    if (parser.isSet(jobs)) {
        const auto value = Unsigned(parser.values(jobs).constLast());
        if (!value || *value < 1 || *value > 256)
            return "--jobs needs a whole number from 1 to 256, not '" +
                   parser.values(jobs).constLast().toStdString() + "'";
        options.jobs = int(*value);
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() < 2)
        return "scramble expects PICTURE... OUTDIR, got " + std::to_string(files.size()) +
               (files.size() == 1 ? " argument" : " arguments");
    for (qsizetype i = 0; i + 1 < files.size(); ++i)
        options.pictures.push_back(files[i].toStdString());
    options.folder = files.constLast().toStdString();
    std::map<std::string, std::string> names;
    for (const std::string& picture : options.pictures) {
        const auto [at, fresh] = names.emplace(NameOf(picture), picture);
        if (!fresh)
            return "pictures " + at->second + " and " + picture + " would both write files named " + at->first +
                   "-c...";
    }
    return options;
}

// A picture's values: gray (every pixel has R = G = B) as one channel, else R, G, B.
struct Input {
    int width = 0, height = 0, channels = 1;
    std::vector<std::uint8_t> bytes;
    std::size_t Values() const { return bytes.size(); }
};

Input Load(const std::string& file)
{
    TPicture picture;
    {
        cli::SilencedStderr quiet;
        picture.LoadFromFile(file);
    }
    Input input;
    input.width = picture.GetWidth();
    input.height = picture.GetHeight();
    const std::size_t N = std::size_t(input.width) * std::size_t(input.height);
    std::vector<PackedColour> pixels(N);
    picture.CopyPixels(pixels.data());
    bool gray = true;
    for (std::size_t k = 0; k < N && gray; ++k) {
        const std::uint32_t p = std::uint32_t(pixels[k]);
        gray = p == (p & 0xffu) * 0x010101u;
    }
    input.channels = gray ? 1 : 3;
    input.bytes.resize(N * std::size_t(input.channels));
    for (std::size_t k = 0; k < N; ++k)
        for (int ch = 0; ch < input.channels; ++ch)
            input.bytes[k * std::size_t(input.channels) + std::size_t(ch)] =
                std::uint8_t(std::uint32_t(pixels[k]) >> (8 * ch));
    return input;
}

// "3/200 pictures" on one line of a terminal, rewritten in place; nothing elsewhere.
class Progress {
public:
    Progress() : fd(isatty(STDERR_FILENO) ? dup(STDERR_FILENO) : -1) {}
    ~Progress()
    {
        Clear();
        if (fd >= 0)
            close(fd);
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Start(const char* what, std::size_t count)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stage = what;
        total = count;
        done = 0;
        Show();
    }
    void Step()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ++done;
        Show();
    }
    void Clear()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        Write("\r\033[K");
    }

private:
    void Show()
    {
        char line[128];
        std::snprintf(line, sizeof line, "\r\033[Kkorvanith-cli: scramble: %s %zu/%zu", stage, done, total);
        Write(line);
    }
    void Write(const char* text)
    {
        if (fd < 0)
            return;
        for (std::size_t n = std::char_traits<char>::length(text); n > 0;) {
            const ssize_t w = write(fd, text, n);
            if (w <= 0)
                return;
            text += w;
            n -= std::size_t(w);
        }
    }

    int fd;
    std::mutex mutex;
    const char* stage = "";
    std::size_t total = 0, done = 0;
};

// Raised in a worker that stops because another picture failed.
struct Stopped {};

// Pictures loaded in the order given, on the calling thread (so that the first unreadable
// one is the one named), and worked on by `jobs` threads, at most `jobs` of them loaded and
// waiting. The failure of the earliest picture that failed stops the others and is raised
// by Run.
class Pipeline {
public:
    using Work = std::function<void(int worker, std::size_t index, Input& input)>;
    using Check = std::function<void(std::size_t index, const Input& input)>;

    Pipeline(const std::vector<std::string>& files, int jobs) : files(files), jobs(jobs) {}

    // check runs on the calling thread as each picture is loaded, work on a worker.
    void Run(const Check& check, const Work& work, Progress& progress)
    {
        failed = false;
        closed = false;
        turn = 0;
        error = nullptr;
        errorIndex = files.size();
        std::vector<std::thread> threads;
        try {
            for (int w = 0; w < jobs; ++w)
                threads.emplace_back([this, w, &work, &progress] { Worker(w, work, progress); });
        } catch (...) {
            Fail(0, std::current_exception());  // no thread to be had: the ones made stop
        }
        for (std::size_t i = 0; i < files.size() && !threads.empty(); ++i) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return failed || queue.size() < std::size_t(jobs); });
                if (failed)
                    break;
            }
            try {
                Input input = Load(files[i]);
                check(i, input);
                const std::lock_guard<std::mutex> lock(mutex);
                queue.emplace_back(i, std::move(input));
                changed.notify_all();
            } catch (...) {
                Fail(i, std::current_exception());
                break;
            }
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            closed = true;
            changed.notify_all();
        }
        for (auto& t : threads)
            t.join();
        queue.clear();
        if (error)
            std::rethrow_exception(error);
    }

    // Runs step once every earlier picture has run its own: sums taken in this order do
    // not depend on the threads. Raises Stopped after a failure.
    void InOrder(std::size_t index, const std::function<void()>& step)
    {
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return failed || turn == index; });
            if (failed)
                throw Stopped{};
        }
        step();
        const std::lock_guard<std::mutex> lock(mutex);
        ++turn;
        changed.notify_all();
    }

private:
    void Worker(int w, const Work& work, Progress& progress)
    {
        for (;;) {
            std::pair<std::size_t, Input> job;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return failed || closed || !queue.empty(); });
                if (failed || queue.empty())
                    return;
                job = std::move(queue.front());
                queue.pop_front();
                changed.notify_all();
            }
            try {
                work(w, job.first, job.second);
                progress.Step();
            } catch (const Stopped&) {
                return;
            } catch (...) {
                Fail(job.first, std::current_exception());
                return;
            }
        }
    }

    void Fail(std::size_t index, std::exception_ptr e)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (index < errorIndex) {
            errorIndex = index;
            error = e;
        }
        failed = true;
        changed.notify_all();
    }

    const std::vector<std::string>& files;
    int jobs;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<std::size_t, Input>> queue;
    bool failed = false, closed = false;
    std::size_t turn = 0;
    std::exception_ptr error;
    std::size_t errorIndex = 0;
};

// The noise phases of one size, kept across pictures while they fit in Budget bytes.
class NoiseCache {
public:
    static constexpr std::size_t Budget = std::size_t(64) << 20;

    const double* Get(std::uint64_t seed, std::uint64_t variant, int W, int H, std::uint64_t variants)
    {
        const std::size_t length = 2 * std::size_t(W) * std::size_t(H) + 1;
        if (W != width || H != height) {
            grids.clear();
            width = W;
            height = H;
        }
        const bool keep = variants <= Budget / (length * sizeof(double));
        auto& grid = grids[keep ? variant : 0];
        if (grid.size() == length && keep)
            return grid.data();
        grid.resize(length);
        stimuli::NoisePhase(seed, variant, W, H, grid.data());
        return grid.data();
    }

private:
    int width = 0, height = 0;
    std::map<std::uint64_t, std::vector<double>> grids;
};

// The outputs' files, spread over several save groups so that workers can add to them at
// once and the groups can be committed side by side: renaming a file into place waits for
// the disk (the file is synced first), and those waits overlap.
class Outputs {
public:
    static constexpr std::size_t Count = 16;

    Outputs() : locks(Count)
    {
        for (std::size_t g = 0; g < Count; ++g)
            groups.push_back(std::make_unique<TSaveGroup>());
    }

    // Output `slot` goes to group slot mod Count.
    void Add(std::size_t slot, const std::string& file, int W, int H, int channels, const std::uint8_t* bytes)
    {
        const std::lock_guard<std::mutex> lock(locks[slot % Count]);
        groups[slot % Count]->AddPixels(file, W, H, channels, bytes);
    }

    // Commits every group, each on a thread of its own; raises the first group's failure.
    void Commit()
    {
        std::vector<std::exception_ptr> errors(Count);
        const auto commit = [this, &errors](std::size_t g) {
            try {
                groups[g]->Commit();
            } catch (...) {
                errors[g] = std::current_exception();
            }
        };
        std::vector<std::thread> threads;
        for (std::size_t g = 0; g < Count; ++g) {
            try {
                threads.emplace_back(commit, g);
            } catch (const std::system_error&) {
                commit(g);  // no thread to be had: on this one
            }
        }
        for (auto& t : threads)
            t.join();
        for (const auto& e : errors)
            if (e)
                std::rethrow_exception(e);
    }

private:
    std::vector<std::unique_ptr<TSaveGroup>> groups;
    std::vector<std::mutex> locks;
};

// One output's line of the manifest.
struct Entry {
    std::string file, input;
    int width = 0, height = 0, channels = 0;
    double coherence = 0.0;
    unsigned long long variant = 0;
    double clipped = 0.0;
    stimuli::Levels in, out;
    std::optional<double> r;
};

QJsonObject Describe(const Entry& e)
{
    QJsonObject o;
    o["file"] = QString::fromStdString(e.file);
    o["input"] = QString::fromStdString(e.input);
    o["width"] = e.width;
    o["height"] = e.height;
    o["channels"] = e.channels;
    o["coherence"] = e.coherence;
    o["variant"] = double(e.variant);
    o["clipped"] = e.clipped;
    o["input_mean"] = e.in.mean;
    o["input_rms_contrast"] = e.in.rmsContrast;
    o["output_mean"] = e.out.mean;
    o["output_rms_contrast"] = e.out.rmsContrast;
    o["r"] = e.r ? QJsonValue(*e.r) : QJsonValue(QJsonValue::Null);
    return o;
}

std::string Manifest(const Options& options, const std::vector<Entry>& entries)
{
    QJsonObject parameters;
    QJsonArray coherences, pictures;
    for (double c : options.coherences)
        coherences.append(c);
    for (const std::string& p : options.pictures)
        pictures.append(QString::fromStdString(p));
    parameters["coherence"] = coherences;
    parameters["variants"] = double(options.variants);
    // A string: JSON readers keep 53 bits of a number, a seed has 64.
    parameters["seed"] = QString::number(options.seed);
    parameters["amplitude"] = options.meanAmplitude ? "mean" : "own";
    parameters["pictures"] = pictures;
    QJsonArray outputs;
    for (const Entry& e : entries)
        outputs.append(Describe(e));
    QJsonObject root;
    root["program"] = "korvanith-cli";
    root["version"] = KORVANITH_VERSION;
    root["command"] = "scramble";
    root["parameters"] = parameters;
    root["outputs"] = outputs;
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

// The folders that making `folder` would add (it and its missing parents), deepest first.
QStringList MissingFolders(const std::string& folder)
{
    QStringList missing;
    QFileInfo info(QFileInfo(QString::fromStdString(folder)).absoluteFilePath());
    while (!info.exists() && !info.isRoot() && !missing.contains(info.absoluteFilePath())) {
        missing << info.absoluteFilePath();
        info = QFileInfo(info.absolutePath());
    }
    return missing;
}

// Every file is held open until the end, when all are renamed into place: they must fit
// under the limit of open files, which is first raised as far as the system lets it.
void CheckOpenFiles(std::size_t files)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    constexpr std::size_t Reserve = 64;  // the program's own files
    if (limit.rlim_cur != RLIM_INFINITY && files + Reserve > limit.rlim_cur)
        throw Exception(std::to_string(files) + " files would be open at once, more than this system's limit of " +
                        std::to_string(limit.rlim_cur - std::min<rlim_t>(limit.rlim_cur, Reserve)) +
                        " (ulimit -n): ask for fewer pictures, coherences or variants at a time");
}

// What scrambling a picture holds at once: the channels' spectra, the noise phase and the
// work grid (16 bytes a pixel each), the input's and the output's bytes.
std::uint64_t BytesNeeded(const Input& input)
{
    const std::uint64_t N = std::uint64_t(input.width) * std::uint64_t(input.height);
    return N * (16 * std::uint64_t(input.channels) + 32 + 2 * std::uint64_t(input.channels));
}

// Refuses a picture whose scramble needs more memory than the process can take now, with
// the pictures already in work holding theirs: past it lies the out-of-memory killer.
void CheckMemory(const std::string& file, const Input& input)
{
    const std::uint64_t need = BytesNeeded(input);
    if (need > AvailableMemory())
        throw Exception("not enough memory to scramble " + file + " (" + std::to_string(input.width) + "\u00d7" +
                        std::to_string(input.height) + " needs " + std::to_string((need + (1 << 20) - 1) >> 20) +
                        " MiB now)");
}

int Run(const Options& options)
{
    const std::size_t P = options.pictures.size(), C = options.coherences.size();
    const std::uint64_t V = options.variants;
    const std::size_t outputs = P * C * std::size_t(V);
    CheckOpenFiles(outputs + 1);
    const int jobs = int(std::min<std::size_t>(std::size_t(options.jobs), P));
    Pipeline pipeline(options.pictures, jobs);
    Progress progress;

    // --amplitude mean: the set's mean |F|, summed in the order given.
    std::unique_ptr<stimuli::AmplitudeMean> mean;
    const double* const* amplitudes = nullptr;
    if (options.meanAmplitude) {
        Input first;
        progress.Start("amplitudes", P);
        pipeline.Run(
            [&](std::size_t index, const Input& input) {
                CheckMemory(options.pictures[index], input);
                if (index == 0) {
                    first.width = input.width;
                    first.height = input.height;
                    first.channels = input.channels;
                    mean = std::make_unique<stimuli::AmplitudeMean>(input.width, input.height, input.channels);
                    return;
                }
                const auto size = [](const Input& i) {
                    return std::to_string(i.width) + "\u00d7" + std::to_string(i.height);
                };
                if (input.width != first.width || input.height != first.height)
                    throw Exception("--amplitude mean needs pictures of one size: " + options.pictures[0] + " is " +
                                    size(first) + ", " + options.pictures[index] + " " + size(input));
                if (input.channels != first.channels)
                    throw Exception("--amplitude mean needs pictures all gray or all in colour: " +
                                    options.pictures[0] + " is " + (first.channels == 1 ? "gray" : "in colour") +
                                    ", " + options.pictures[index] + " " +
                                    (input.channels == 1 ? "gray" : "in colour"));
            },
            [&](int, std::size_t index, Input& input) {
                const stimuli::Scrambler picture(input.bytes.data(), input.width, input.height, input.channels);
                pipeline.InOrder(index, [&] { mean->Add(picture); });
            },
            progress);
        amplitudes = mean->Planes();
    }

    const QStringList made = MissingFolders(options.folder);
    ForceDirectories(options.folder);
    try {
        const QDir folder(QString::fromStdString(options.folder));
        Outputs files;
        std::vector<NoiseCache> noise(static_cast<std::size_t>(jobs));
        std::vector<Entry> entries(outputs);
        progress.Start("pictures", P);
        pipeline.Run([&](std::size_t index, const Input& input) { CheckMemory(options.pictures[index], input); },
                     [&](int w, std::size_t index, Input& input) {
                         const int W = input.width, H = input.height;
                         const std::size_t N = std::size_t(W) * std::size_t(H);
                         const stimuli::Scrambler picture(input.bytes.data(), W, H, input.channels);
                         const stimuli::Levels in = stimuli::Describe(input.bytes.data(), input.Values());
                         std::vector<double> work(2 * N + 1);
                         std::vector<std::uint8_t> out(input.Values());
                         const std::string name = NameOf(options.pictures[index]);
                         for (std::uint64_t v = 1; v <= V; ++v) {
                             const double* theta = noise[std::size_t(w)].Get(options.seed, v, W, H, V);
                             for (std::size_t ci = 0; ci < C; ++ci) {
                                 const double c = options.coherences[ci];
                                 const std::size_t clipped =
                                     picture.Scramble(theta, c, amplitudes, work.data(), out.data());
                                 const std::size_t slot = (index * C + ci) * std::size_t(V) + std::size_t(v - 1);
                                 Entry& e = entries[slot];
                                 e.file = OutputName(name, c, v);
                                 e.input = options.pictures[index];
                                 e.width = W;
                                 e.height = H;
                                 e.channels = input.channels;
                                 e.coherence = c;
                                 e.variant = v;
                                 e.clipped = double(clipped) / double(out.size());
                                 e.in = in;
                                 e.out = stimuli::Describe(out.data(), out.size());
                                 e.r = stimuli::Correlation(input.bytes.data(), out.data(), out.size());
                                 files.Add(slot, folder.filePath(QString::fromStdString(e.file)).toStdString(), W, H,
                                           input.channels, out.data());
                             }
                         }
                     },
                     progress);
        TSaveGroup manifest;
        manifest.AddText(folder.filePath("manifest.json").toStdString(), Manifest(options, entries));
        files.Commit();
        manifest.Commit();
    } catch (...) {
        for (const QString& path : made)
            QDir().rmdir(path);  // only when nothing is in it
        throw;
    }
    return 0;
}

}  // namespace

int Scramble(const QStringList& arguments)
{
    const auto parsed = Parse(arguments);
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        return cli::UsageError(*message);
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    try {
        return Run(options);
    } catch (const Exception& e) {
        cli::Say(e.Message);
    } catch (const std::bad_alloc&) {
        cli::Say("not enough memory");
    } catch (const std::exception& e) {
        cli::Say(e.what());
    }
    return cli::ExitFailure;
}
