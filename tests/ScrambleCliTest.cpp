// korvanith-cli scramble: its files, manifest, threads, refusals, and the README's numpy snippet.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <sys/mount.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "stimuli/Scramble.h"

namespace {

using fixtures::Folder;
using fixtures::RandomColour;
using fixtures::RandomGray;

using fixtures::Outcome;

Outcome Cli(const QStringList& arguments, const QString& program = fixtures::CliProgram())
{
    return fixtures::RunCli(QStringList{"scramble"} + arguments, program);
}

QString Saved(const Folder& f, const QImage& picture, const char* name)
{
    return QString::fromStdString(f.Save(picture, name));
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A picture file's values as the tool reads them: one byte a pixel when every pixel is
// gray, else R, G, B.
struct Values {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> bytes;
};
Values Read(const QString& path)
{
    const QImage image = QImage(path).convertToFormat(QImage::Format_RGB888);
    Values v{image.width(), image.height(), 1, {}};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) != qGreen(p) || qRed(p) != qBlue(p))
                v.channels = 3;
        }
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            v.bytes.push_back(std::uint8_t(qRed(p)));
            if (v.channels == 3) {
                v.bytes.push_back(std::uint8_t(qGreen(p)));
                v.bytes.push_back(std::uint8_t(qBlue(p)));
            }
        }
    return v;
}

// The PNG's colour type from its header: 0 gray, 2 RGB.
int PngColourType(const QString& path) { return int(std::uint8_t(Bytes(path).at(25))); }

QJsonObject Manifest(const QString& folder)
{
    return QJsonDocument::fromJson(Bytes(folder + "/manifest.json")).object();
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// A photograph-like colour picture: soft shapes of different hues on a gradient.
QImage Colourful(int W, int H)
{
    return fixtures::Picture(W, H, [=](int x, int y) {
        const bool disc = (x - W / 3) * (x - W / 3) + (y - H / 2) * (y - H / 2) < W * H / 12;
        const std::uint32_t r = disc ? 210 : 40 + 150 * x / W, g = disc ? 60 : 90 + (x * y) % 50,
                            b = disc ? 40 : 200 - 120 * y / H;
        return (r << 16) | (g << 8) | b;
    });
}

// --- what it writes --------------------------------------------------------------------

// Every picture at every coherence and variant, under its name, of its own size; gray
// stays gray and colour colour; the manifest names them all with their figures.
TEST(ScrambleFiles, EveryPictureCoherenceAndVariantWithItsManifest)
{
    Folder folder;
    const QString gray = Saved(folder, RandomGray(13, 7, 1), "gray.png");
    const QString colour = Saved(folder, Colourful(20, 12), "colour.photo.bmp");
    const Outcome outcome =
        Cli({"--coherence", "0.25,1", "--variants", "2", "--seed", "18446744073709551615", gray, colour,
             folder.Path("out/new")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "") << "no progress line off a terminal";
    const QString out = folder.Path("out/new");
    const QStringList expected = {"colour.photo-c0.25-v01.png", "colour.photo-c0.25-v02.png",
                                  "colour.photo-c1.00-v01.png", "colour.photo-c1.00-v02.png",
                                  "gray-c0.25-v01.png",         "gray-c0.25-v02.png",
                                  "gray-c1.00-v01.png",         "gray-c1.00-v02.png",
                                  "manifest.json"};
    EXPECT_EQ(Entries(out), expected);
    for (const QString& name : expected.mid(0, 8)) {
        SCOPED_TRACE(name.toStdString());
        const bool isGray = name.startsWith("gray");
        EXPECT_EQ(QImage(out + "/" + name).size(), isGray ? QSize(13, 7) : QSize(20, 12));
        EXPECT_EQ(PngColourType(out + "/" + name), isGray ? 0 : 2);
    }

    const QJsonObject m = Manifest(out);
    EXPECT_EQ(m["program"].toString(), "korvanith-cli");
    EXPECT_FALSE(m["version"].toString().isEmpty());
    const QJsonObject p = m["parameters"].toObject();
    EXPECT_EQ(p["coherence"].toArray(), (QJsonArray{0.25, 1}));
    EXPECT_EQ(p["variants"].toInt(), 2);
    EXPECT_EQ(p["seed"].toString(), "18446744073709551615") << "all 64 bits, as text";
    EXPECT_EQ(p["amplitude"].toString(), "own");
    EXPECT_EQ(p["pictures"].toArray(), (QJsonArray{gray, colour}));
    const QJsonArray outputs = m["outputs"].toArray();
    ASSERT_EQ(outputs.size(), 8);
    // in the order of the command line: picture, coherence, variant
    const char* order[] = {"gray-c0.25-v01.png",         "gray-c0.25-v02.png",         "gray-c1.00-v01.png",
                           "gray-c1.00-v02.png",         "colour.photo-c0.25-v01.png", "colour.photo-c0.25-v02.png",
                           "colour.photo-c1.00-v01.png", "colour.photo-c1.00-v02.png"};
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        const QJsonObject o = outputs[i].toObject();
        SCOPED_TRACE("output " + std::to_string(i) + " " + o["file"].toString().toStdString());
        EXPECT_EQ(o["file"].toString(), order[i]);
        EXPECT_EQ(o["input"].toString(), i < 4 ? gray : colour);
        EXPECT_EQ(o["coherence"].toDouble(), (i / 2) % 2 ? 1.0 : 0.25);
        EXPECT_EQ(o["variant"].toInt(), int(i % 2) + 1);
        // the figures, from the files
        const Values in = Read(o["input"].toString()), result = Read(out + "/" + o["file"].toString());
        ASSERT_EQ(in.bytes.size(), result.bytes.size());
        const auto describe = [](const std::vector<std::uint8_t>& v) {
            long double sum = 0, squares = 0;
            for (auto b : v)
                sum += b;
            const long double mean = sum / v.size();
            for (auto b : v)
                squares += (b - mean) * (b - mean);
            return std::pair<double, double>(double(mean), double(std::sqrt(squares / v.size())));
        };
        const auto [inMean, inRms] = describe(in.bytes);
        const auto [outMean, outRms] = describe(result.bytes);
        EXPECT_NEAR(o["input_mean"].toDouble(), inMean, 1e-12);
        EXPECT_NEAR(o["input_rms_contrast"].toDouble(), inRms, 1e-12);
        EXPECT_NEAR(o["output_mean"].toDouble(), outMean, 1e-12);
        EXPECT_NEAR(o["output_rms_contrast"].toDouble(), outRms, 1e-12);
        long double xy = 0;
        for (std::size_t k = 0; k < in.bytes.size(); ++k)
            xy += (in.bytes[k] - inMean) * (result.bytes[k] - outMean);
        EXPECT_NEAR(o["r"].toDouble(), double(xy / in.bytes.size() / (inRms * outRms)), 1e-12);
        if (o["coherence"].toDouble() == 1.0) {
            EXPECT_EQ(result.bytes, in.bytes) << "c = 1 gives the picture back";
            EXPECT_EQ(o["clipped"].toDouble(), 0.0);
            EXPECT_EQ(o["r"].toDouble(), 1.0);
        }
        EXPECT_GE(o["clipped"].toDouble(), 0.0);
        EXPECT_LT(o["clipped"].toDouble(), 0.5);
    }
}

// Defaults: coherence 0, one variant, seed 1, own amplitude.
TEST(ScrambleFiles, DefaultsAreCoherence0OneVariantSeed1)
{
    Folder folder;
    const QString picture = Saved(folder, RandomGray(8, 8, 2), "p.png");
    ASSERT_EQ(Cli({picture, folder.Path("a")}).status, 0);
    ASSERT_EQ(Cli({"--coherence", "0", "--variants", "1", "--seed", "1", "--amplitude", "own", picture,
                   folder.Path("b")})
                  .status,
              0);
    EXPECT_EQ(Entries(folder.Path("a")), (QStringList{"manifest.json", "p-c0.00-v01.png"}));
    EXPECT_EQ(Bytes(folder.Path("a/p-c0.00-v01.png")), Bytes(folder.Path("b/p-c0.00-v01.png")));
    EXPECT_EQ(Bytes(folder.Path("a/manifest.json")), Bytes(folder.Path("b/manifest.json")));
}

// Same arguments, same bytes: on every run and with any number of threads.
TEST(ScrambleFiles, SameBytesWithAnyNumberOfJobs)
{
    Folder folder;
    QStringList pictures;
    for (int i = 0; i < 5; ++i)
        pictures << Saved(folder, i % 2 ? RandomColour(24, 18, 40 + i) : RandomGray(32, 16, 40 + i),
                          QString("p%1.png").arg(i).toLatin1().constData());
    std::map<int, std::map<QString, QByteArray>> runs;
    for (int jobs : {1, 2, 3, 8}) {
        const QString out = folder.Path(QString("jobs%1").arg(jobs));
        const Outcome outcome =
            Cli(QStringList{"--coherence", "0,0.5,0.7", "--variants", "2", "--jobs", QString::number(jobs)} +
                pictures + QStringList{out});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        for (const QString& name : Entries(out))
            runs[jobs][name] = Bytes(out + "/" + name);
        EXPECT_EQ(runs[jobs].size(), 5u * 3 * 2 + 1);
    }
    for (int jobs : {2, 3, 8})
        for (const auto& [name, bytes] : runs[1])
            EXPECT_TRUE(runs[jobs][name] == bytes) << name.toStdString() << " differs with --jobs " << jobs;
}

// Alpha is ignored: a picture with varying alpha scrambles as its colours alone.
TEST(ScrambleFiles, AlphaIsIgnored)
{
    Folder folder;
    const QImage opaque = Colourful(16, 16);
    QImage clear = opaque.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            clear.setPixel(x, y, (clear.pixel(x, y) & 0x00ffffffu) | (std::uint32_t(x * 16) << 24));
    const QString a = Saved(folder, opaque, "a.png"), b = Saved(folder, clear, "b.png");
    ASSERT_EQ(Cli({"--coherence", "0.4", a, b, folder.Path("out")}).status, 0);
    EXPECT_EQ(Read(folder.Path("out/a-c0.40-v01.png")).bytes, Read(folder.Path("out/b-c0.40-v01.png")).bytes);
    EXPECT_EQ(PngColourType(folder.Path("out/b-c0.40-v01.png")), 2);
}

// --amplitude mean: the files are the engine's scrambles with the set's mean amplitude
// (whose maths scramble_test checks), in the set's order.
TEST(ScrambleFiles, MeanAmplitudeIsTheSetsMean)
{
    Folder folder;
    const QImage pictures[] = {RandomColour(12, 10, 61), Colourful(12, 10), RandomColour(12, 10, 62)};
    QStringList files;
    for (int i = 0; i < 3; ++i)
        files << Saved(folder, pictures[i], QString("m%1.png").arg(i).toLatin1().constData());
    const Outcome outcome =
        Cli(QStringList{"--amplitude", "mean", "--coherence", "0,0.5", "--seed", "5", "--jobs", "3"} + files +
            QStringList{folder.Path("out")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(Manifest(folder.Path("out"))["parameters"].toObject()["amplitude"].toString(), "mean");

    std::vector<Values> inputs;
    for (const QString& f : files)
        inputs.push_back(Read(f));
    stimuli::AmplitudeMean mean(12, 10, 3);
    for (const Values& v : inputs)
        mean.Add(stimuli::Scrambler(v.bytes.data(), 12, 10, 3));
    const double* const* planes = mean.Planes();
    std::vector<double> noise(2 * 120 + 1), work(2 * 120 + 1);
    stimuli::NoisePhase(5, 1, 12, 10, noise.data());
    for (int i = 0; i < 3; ++i)
        for (double c : {0.0, 0.5}) {
            const stimuli::Scrambler picture(inputs[std::size_t(i)].bytes.data(), 12, 10, 3);
            std::vector<std::uint8_t> expected(360);
            picture.Scramble(noise.data(), c, planes, work.data(), expected.data());
            const QString name = QString("out/m%1-c%2-v01.png").arg(i).arg(c == 0 ? "0.00" : "0.50");
            EXPECT_EQ(Read(folder.Path(name)).bytes, expected) << name.toStdString();
        }
}

// On a terminal a progress line counts the pictures, and is wiped at the end.
TEST(ScrambleFiles, ProgressOnATerminalOnly)
{
    Folder folder;
    const QString picture = Saved(folder, RandomGray(8, 8, 3), "p.png");
    QProcess process;
    const QString command = "'" + fixtures::CliProgram() + "' scramble '" + picture + "' '" + folder.Path("out") + "'";
    process.start("script", {"-qec", command, "/dev/null"});
    if (!process.waitForStarted() || !process.waitForFinished(60000) || process.exitCode() == 127)
        GTEST_SKIP() << "no script(1) to give the tool a terminal";
    const std::string shown = process.readAllStandardOutput().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << shown;
    EXPECT_NE(shown.find("korvanith-cli: scramble: pictures 1/1"), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K") << "the line is wiped at the end";
}

// --- refusals ----------------------------------------------------------------------------

// A refusal: one line, status 1, and OUTDIR as it was: absent (even the folders on the
// way), or with its old files and bytes.
struct Refusal {
    const char* name;
    std::function<QStringList(const Folder&)> arguments;  // the last is OUTDIR
    const char* said;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class ScrambleRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ScrambleRefusal, WritesNothing)
{
    const Refusal& c = GetParam();
    Folder folder;
    QDir().mkpath(folder.Path("kept"));
    folder.Write("old manifest", "kept/manifest.json");
    folder.Write("old picture", "kept/a-c0.00-v01.png");
    const QStringList arguments = c.arguments(folder);
    const QStringList before = Entries(folder.Path(""));
    const Outcome outcome = Cli(arguments);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err.rfind("korvanith-cli: ", 0), 0u) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
    EXPECT_EQ(Entries(folder.Path("")), before) << "a file or folder was made";
    EXPECT_EQ(Entries(folder.Path("kept")), (QStringList{"a-c0.00-v01.png", "manifest.json"}));
    EXPECT_EQ(Bytes(folder.Path("kept/manifest.json")), "old manifest");
    EXPECT_EQ(Bytes(folder.Path("kept/a-c0.00-v01.png")), "old picture");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScrambleRefusal,
    ::testing::Values(
        Refusal{"missing_picture_is_named",
                [](const Folder& f) {
                    return QStringList{Saved(f, RandomGray(8, 8, 1), "a.png"), f.Path("none.png"),
                                       f.Path("made/on/the/way")};
                },
                "none.png: the file does not exist"},
        Refusal{"unreadable_picture_is_named",
                [](const Folder& f) {
                    return QStringList{QString::fromStdString(f.Write("not a picture", "junk.png")),
                                       Saved(f, RandomGray(8, 8, 1), "a.png"), f.Path("kept")};
                },
                "junk.png: it is not a picture in a known format"},
        Refusal{"first_unreadable_of_several_is_named",
                [](const Folder& f) {
                    QStringList arguments{"--jobs", "4"};
                    for (int i = 0; i < 6; ++i)
                        arguments << Saved(f, RandomGray(16, 16, 9), QString("p%1.png").arg(i).toLatin1().constData());
                    arguments << QString::fromStdString(f.Write("x", "bad1.png"))
                              << QString::fromStdString(f.Write("y", "bad2.png")) << f.Path("made");
                    return arguments;
                },
                "bad1.png"},
        Refusal{"mean_amplitude_of_two_sizes_names_both",
                [](const Folder& f) {
                    return QStringList{"--amplitude", "mean", Saved(f, RandomGray(8, 8, 1), "small.png"),
                                       Saved(f, RandomGray(8, 8, 2), "same.png"),
                                       Saved(f, RandomGray(10, 8, 3), "wide.png"), f.Path("made")};
                },
                "small.png is 8\u00d78, "},
        Refusal{"mean_amplitude_of_gray_and_colour",
                [](const Folder& f) {
                    return QStringList{"--amplitude", "mean", Saved(f, RandomGray(8, 8, 1), "g.png"),
                                       Saved(f, RandomColour(8, 8, 2), "c.png"), f.Path("made")};
                },
                "all gray or all in colour"},
        Refusal{"outdir_is_a_file",
                [](const Folder& f) {
                    f.Write("a file", "file");
                    return QStringList{Saved(f, RandomGray(8, 8, 1), "a.png"), f.Path("file")};
                },
                "it is a file, not a folder"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScrambleRefusalNames, TheSecondSizeToo)
{
    Folder folder;
    const Outcome outcome = Cli({"--amplitude", "mean", Saved(folder, RandomGray(8, 8, 1), "small.png"),
                                 Saved(folder, RandomGray(10, 8, 3), "wide.png"), folder.Path("made")});
    EXPECT_NE(outcome.err.find("wide.png 10\u00d78"), std::string::npos) << outcome.err;
}

// A small file system: full while the outputs are written, then read-only. Neither
// leaves anything of the run, and an OUTDIR there keeps its old files.
TEST(ScrambleRefusalDisk, FullOrReadOnlyLeavesNothing)
{
    Folder folder;
    const QByteArray disk = QFile::encodeName(folder.Path("disk"));
    QDir().mkpath(folder.Path("disk"));
    if (mount("korvanith-test", disk.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no small file system can be mounted here";
    const QString picture = Saved(folder, RandomColour(64, 64, 3), "a.png");
    const Outcome full = Cli({"--variants", "12", picture, folder.Path("disk/out")});
    const QStringList afterFull = Entries(folder.Path("disk"));
    QDir().mkpath(folder.Path("disk/old"));
    folder.Write("old", "disk/old/manifest.json");
    const bool readOnly = mount("korvanith-test", disk.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    const Outcome locked = Cli({picture, folder.Path("disk/old")});
    const QStringList afterLocked = Entries(folder.Path("disk/old"));
    const QByteArray old = Bytes(folder.Path("disk/old/manifest.json"));
    umount(disk.constData());
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("the disk is full"), std::string::npos) << full.err;
    EXPECT_TRUE(afterFull.isEmpty()) << afterFull.join(", ").toStdString();
    if (!readOnly)
        GTEST_SKIP() << "the file system could not be made read-only";
    EXPECT_EQ(locked.status, 1);
    EXPECT_NE(locked.err.find("is not writable"), std::string::npos) << locked.err;
    EXPECT_EQ(afterLocked, QStringList{"manifest.json"});
    EXPECT_EQ(old, "old");
}

// A picture whose scramble does not fit in the memory at hand is refused before its
// spectra are taken, with what it needs; nothing is written.
TEST(ScrambleRefusalMemory, BeyondTheMemoryAtHandSaysHowMuchItNeeds)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    Folder folder;
    const QString picture = Saved(folder, Colourful(2048, 2048), "big.png");
    // 400 MB of address space holds the program and the picture, not the 344 MiB besides.
    QProcess process;
    process.start("bash", {"-c", "ulimit -v 400000 && exec \"$0\" \"$@\"", fixtures::CliProgram(), "scramble",
                           picture, folder.Path("out")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), 1) << err;
    EXPECT_EQ(err, "korvanith-cli: not enough memory to scramble " + picture.toStdString() +
                       " (2048\u00d72048 needs 344 MiB now)\n");
    EXPECT_FALSE(QFileInfo::exists(folder.Path("out")));
}

// Every output stays open until all are renamed into place: more than the process may hold
// open is refused at once, with the limit.
TEST(ScrambleRefusalOpenFiles, MoreOutputsThanOpenFilesAreRefused)
{
    Folder folder;
    const QString picture = Saved(folder, RandomGray(8, 8, 1), "p.png");
    QProcess process;
    process.start("bash", {"-c", "ulimit -n 100 && exec \"$0\" \"$@\"", fixtures::CliProgram(), "scramble",
                           "--coherence", "0,0.25,0.5,0.75,1", "--variants", "10", picture, folder.Path("out")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), 1) << err;
    EXPECT_EQ(err, "korvanith-cli: 51 files would be open at once, more than this system's limit of 36 "
                   "(ulimit -n): ask for fewer pictures, coherences or variants at a time\n");
    EXPECT_FALSE(QFileInfo::exists(folder.Path("out")));
}

// --- the command line ----------------------------------------------------------------------

struct Wrong {
    const char* name;
    QStringList arguments;
    const char* said;
};

void PrintTo(const Wrong& c, std::ostream* os) { *os << c.name; }

class ScrambleUsage : public ::testing::TestWithParam<Wrong> {};

TEST_P(ScrambleUsage, SaysWhatIsWrongAndWritesNothing)
{
    const Wrong& c = GetParam();
    Folder folder;
    const QString picture = Saved(folder, RandomGray(8, 8, 1), "a.png");
    QStringList arguments;
    for (const QString& a : c.arguments)
        arguments << (a == "PICTURE" ? picture : a == "OUTDIR" ? folder.Path("out") : a);
    const Outcome outcome = Cli(arguments);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err.rfind("korvanith-cli: ", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_NE(outcome.err.find("(see korvanith-cli --help)\n"), std::string::npos) << outcome.err;
    EXPECT_FALSE(QFileInfo::exists(folder.Path("out")));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ScrambleUsage,
    ::testing::Values(
        Wrong{"coherence_above_1", {"--coherence", "1.5", "PICTURE", "OUTDIR"}, "not '1.5'"},
        Wrong{"coherence_below_0", {"--coherence", "0,-0.1", "PICTURE", "OUTDIR"}, "not '-0.1'"},
        Wrong{"coherence_not_a_number", {"--coherence", "half", "PICTURE", "OUTDIR"}, "not 'half'"},
        Wrong{"coherence_nan", {"--coherence", "nan", "PICTURE", "OUTDIR"}, "not 'nan'"},
        Wrong{"coherence_empty_item", {"--coherence", "0.5,", "PICTURE", "OUTDIR"}, "not ''"},
        Wrong{"coherences_with_one_file_name", {"--coherence", "0.501,0.5", "PICTURE", "OUTDIR"}, "c0.50"},
        Wrong{"variants_0", {"--variants", "0", "PICTURE", "OUTDIR"}, "--variants"},
        Wrong{"variants_not_whole", {"--variants", "2.5", "PICTURE", "OUTDIR"}, "--variants"},
        Wrong{"seed_negative", {"--seed", "-1", "PICTURE", "OUTDIR"}, "unsigned 64-bit"},
        Wrong{"seed_beyond_64_bits", {"--seed", "18446744073709551616", "PICTURE", "OUTDIR"}, "unsigned 64-bit"},
        Wrong{"seed_not_a_number", {"--seed", "0x10", "PICTURE", "OUTDIR"}, "unsigned 64-bit"},
        Wrong{"amplitude_unknown", {"--amplitude", "median", "PICTURE", "OUTDIR"}, "own or mean"},
        Wrong{"jobs_0", {"--jobs", "0", "PICTURE", "OUTDIR"}, "--jobs"},
        Wrong{"unknown_option", {"--fast", "PICTURE", "OUTDIR"}, "--fast"},
        Wrong{"no_outdir", {"PICTURE"}, "PICTURE... OUTDIR"},
        Wrong{"option_without_value", {"PICTURE", "OUTDIR", "--seed"}, "seed"},
        Wrong{"two_pictures_one_name", {"PICTURE", "PICTURE", "OUTDIR"}, "would both write"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScrambleUsage, HelpPrintsUsage)
{
    const Outcome outcome = Cli({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.rfind("Usage: korvanith-cli scramble [--coherence C[,C...]]", 0), 0u) << outcome.out;
}

// --- the README's numpy snippet ----------------------------------------------------------------

// The snippet as the README prints it: the indented block that starts with its import line.
QString Snippet()
{
    QFile readme(KORVANITH_README);
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromUtf8(readme.readAll()).split('\n');
    QStringList code;
    for (const QString& line : lines) {
        if (code.isEmpty() && !line.startsWith("    import json, sys, numpy as np"))
            continue;
        if (!line.startsWith("    "))
            break;
        code << line.mid(4);
    }
    return code.join('\n') + '\n';
}

// The snippet reproduces outputs from the manifest, byte for byte: gray and colour, a size
// that is a power of two and one that is not, at c = 0, 1/2 (where opposite phases meet)
// and 0.8.
TEST(ScrambleNumpy, ReadmeSnippetReproducesTheOutputs)
{
    QProcess probe;
    probe.start("/usr/bin/python3", {"-c", "import numpy"});
    if (!probe.waitForFinished(60000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "/usr/bin/python3 with numpy (Debian's python3-numpy) is not installed";
    const QString snippet = Snippet();
    ASSERT_GT(snippet.count('\n'), 5) << "no snippet found in " << KORVANITH_README;
    EXPECT_LE(snippet.count('\n'), 10) << "the snippet is ten lines at most";
    Folder folder;
    folder.Write(snippet.toUtf8(), "scramble.py");
    const QString gray = Saved(folder, RandomGray(32, 16, 71), "gray.pgm");
    const QString colour = Saved(folder, Colourful(21, 15), "colour.ppm");
    const Outcome outcome = Cli({"--coherence", "0,0.5,0.8", "--seed", "12345678901234567890", "--variants", "2",
                                 gray, colour, folder.Path("out")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const QJsonArray outputs = Manifest(folder.Path("out"))["outputs"].toArray();
    ASSERT_EQ(outputs.size(), 12);
    for (qsizetype k = 0; k < outputs.size(); ++k) {
        const QString file = outputs[k].toObject()["file"].toString();
        SCOPED_TRACE("output " + std::to_string(k) + " " + file.toStdString());
        const QString made = folder.Path(QString("numpy%1.%2").arg(k).arg(k < 6 ? "pgm" : "ppm"));
        QProcess python;
        python.setWorkingDirectory(folder.Path(""));
        python.start("/usr/bin/python3",
                     {folder.Path("scramble.py"), folder.Path("out/manifest.json"), QString::number(k), made});
        ASSERT_TRUE(python.waitForFinished(60000));
        ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
        const Values expected = Read(made), written = Read(folder.Path("out/" + file));
        ASSERT_EQ(written.bytes.size(), expected.bytes.size());
        std::size_t differ = 0, first = 0;
        for (std::size_t i = written.bytes.size(); i-- > 0;)
            if (written.bytes[i] != expected.bytes[i]) {
                ++differ;
                first = i;
            }
        EXPECT_EQ(differ, 0u) << "first at value " << first << ": " << int(written.bytes[first]) << " written, "
                              << int(expected.bytes[first]) << " from numpy";
    }
}

}  // namespace
