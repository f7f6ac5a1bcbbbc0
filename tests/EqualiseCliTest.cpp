// korvanith-cli equalise: its files, the same bytes on any number of threads,
// its refusals that write nothing.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Fixtures.h"

namespace {

using fixtures::Folder;
using fixtures::RandomColour;
using fixtures::RandomGray;

using fixtures::Outcome;

Outcome Equalise(const QStringList& arguments)
{
    return fixtures::RunCli(QStringList{"equalise"} + arguments);
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

QJsonObject Report(const QString& folder)
{
    return QJsonDocument::fromJson(Bytes(QDir(folder).filePath("report.json"))).object();
}

// The gray levels of a written picture, row by row.
std::vector<int> Levels(const QString& path)
{
    const QImage image(path);
    std::vector<int> levels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            levels.push_back(qGray(image.pixel(x, y)) == qRed(image.pixel(x, y)) ? qRed(image.pixel(x, y)) : -1);
    return levels;
}

// A picture with a soft gradient and noise: a little like a photograph.
QImage Scene(int W, int H, unsigned seed, int offset)
{
    const QImage noise = RandomGray(W, H, seed);
    return fixtures::GrayPicture(W, H, [&](int x, int y) {
        return std::min(255, offset + (x + 2 * y) % 97 + qRed(noise.pixel(x, y)) / 4);
    });
}

// --- the files ---------------------------------------------------------------

TEST(EqualiseFiles, ResultsReportAndPlotsAndNothingElse)
{
    Folder folder;
    const QStringList pictures = {Saved(folder, Scene(40, 24, 1, 10), "first.png"),
                                  Saved(folder, Scene(40, 24, 2, 90), "second.bmp"),
                                  Saved(folder, RandomColour(40, 24, 3), "third.png")};
    const QString out = folder.Path("made/here");
    const Outcome outcome = Equalise(QStringList{"--match", "lum,hist", "--seed", "7"} + pictures + QStringList{out});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "") << "no progress line without a terminal";
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"first.png", "histograms.png", "report.json", "second.png", "spectra.png", "third.png"}));
    for (const char* plot : {"spectra.png", "histograms.png"}) {
        const QImage image(QDir(out).filePath(plot));
        EXPECT_GE(image.width(), 800) << plot;
        EXPECT_GE(image.height(), 500) << plot;
    }

    const QJsonObject report = Report(out);
    const QJsonObject parameters = report["parameters"].toObject();
    EXPECT_EQ(parameters["match"].toArray(), (QJsonArray{"lum", "hist"}));
    EXPECT_EQ(parameters["iterations"].toInt(), 1);
    EXPECT_EQ(parameters["rescale"].toString(), "set");
    EXPECT_EQ(parameters["seed"].toString(), "7");
    EXPECT_EQ(parameters["width"].toInt(), 40);
    EXPECT_EQ(parameters["height"].toInt(), 24);
    const QJsonArray entries = report["pictures"].toArray();
    ASSERT_EQ(entries.size(), 3);
    // The last step is hist: every result has the same histogram.
    std::vector<std::vector<int>> histograms;
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE("picture " + std::to_string(k));
        const QJsonObject entry = entries[k].toObject();
        EXPECT_EQ(entry["file"].toString(), pictures[k]);
        const std::vector<int> after = Levels(QDir(out).filePath(entry["result"].toString()));
        ASSERT_EQ(after.size(), 40u * 24u);
        // The input as the command reads it: gray, a colour as its luma.
        const QImage input(pictures[k]);
        std::vector<int> before;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x) {
                const QRgb c = input.pixel(x, y);
                before.push_back((299 * qRed(c) + 587 * qGreen(c) + 114 * qBlue(c) + 500) / 1000);
            }
        long double sumBefore = 0, sumAfter = 0, squares = 0;
        std::vector<int> histogram(256, 0);
        for (std::size_t i = 0; i < after.size(); ++i) {
            ASSERT_GE(after[i], 0) << "pixel " << i << " is not gray";
            sumBefore += before[i];
            sumAfter += after[i];
            squares += (after[i] - before[i]) * (after[i] - before[i]);
            ++histogram[std::size_t(after[i])];
        }
        histograms.push_back(histogram);
        // A mean of whole levels is a whole sum over the count: the report's
        // number must read back as exactly that double.
        EXPECT_EQ(entry["before"].toObject()["mean"].toDouble(), double(std::int64_t(sumBefore)) / double(after.size()));
        EXPECT_EQ(entry["after"].toObject()["mean"].toDouble(), double(std::int64_t(sumAfter)) / double(after.size()));
        EXPECT_NEAR(entry["after"].toObject()["rmse"].toDouble(), double(std::sqrt(squares / after.size())), 1e-12);
        EXPECT_EQ(entry["before"].toObject()["rmse"].toDouble(-1), 0.0);
        EXPECT_EQ(entry["before"].toObject()["ssim"].toDouble(), 1.0);
        const double ssim = entry["after"].toObject()["ssim"].toDouble();
        EXPECT_GT(ssim, -1.0);
        EXPECT_LT(ssim, 1.0);
    }
    EXPECT_EQ(histograms[1], histograms[0]);
    EXPECT_EQ(histograms[2], histograms[0]);
    const QJsonObject set = report["set"].toObject();
    EXPECT_EQ(set["after"].toObject()["largest_histogram_difference"].toDouble(), 0.0);
    EXPECT_EQ(set["after"].toObject()["mean_range"].toDouble(), 0.0);
    EXPECT_GT(set["before"].toObject()["mean_range"].toDouble(), 50.0);
}

// A mask: lum changes the pixels inside it only.
TEST(EqualiseFiles, MaskKeepsThePixelsOutside)
{
    Folder folder;
    const QImage a = Scene(32, 20, 4, 0), b = Scene(32, 20, 5, 120);
    const QStringList pictures = {Saved(folder, a, "a.png"), Saved(folder, b, "b.png")};
    const QImage mask = fixtures::GrayPicture(32, 20, [](int x, int y) { return x > 8 && y < 14 ? 255 : 0; });
    const QString out = folder.Path("out");
    const Outcome outcome = Equalise(QStringList{"--match", "lum", "--mask", Saved(folder, mask, "mask.png")} +
                                     pictures + QStringList{out});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    bool changed = false;
    for (const auto& [name, input] : {std::pair{"a.png", a}, {"b.png", b}}) {
        const std::vector<int> after = Levels(QDir(out).filePath(name));
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 32; ++x) {
                const int was = qRed(input.pixel(x, y)), is = after[std::size_t(y * 32 + x)];
                if (qRed(mask.pixel(x, y)) == 0) {
                    ASSERT_EQ(is, was) << name << " at " << x << ", " << y;
                }
                changed = changed || is != was;
            }
    }
    EXPECT_TRUE(changed);
    EXPECT_EQ(Report(out)["parameters"].toObject()["mask"].toString(), folder.Path("mask.png"));
}

// The same arguments give the same bytes on one thread and on two: pictures,
// report and plots.
TEST(EqualiseFiles, SameBytesForOneAndTwoJobs)
{
    Folder folder;
    QStringList pictures;
    for (unsigned k = 0; k < 5; ++k)
        pictures << Saved(folder, Scene(48, 36, 10 + k, int(30 * k)), ("p" + std::to_string(k) + ".png").c_str());
    const QStringList common = QStringList{"--match", "amp,hist,sf,lum", "--iterations", "2", "--rescale", "mean"} + pictures;
    for (const char* jobs : {"1", "2"}) {
        const Outcome outcome = Equalise(QStringList{"--jobs", jobs} + common + QStringList{folder.Path(QString("jobs") + jobs)});
        ASSERT_EQ(outcome.status, 0) << jobs << " jobs: " << outcome.err;
    }
    const QStringList files = QDir(folder.Path("jobs1")).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files.size(), 8);
    EXPECT_EQ(QDir(folder.Path("jobs2")).entryList(QDir::Files, QDir::Name), files);
    for (const QString& name : files)
        EXPECT_EQ(Bytes(folder.Path("jobs1/" + name)), Bytes(folder.Path("jobs2/" + name))) << name.toStdString();
}

TEST(EqualiseUsage, HelpPrintsTheUsage)
{
    const Outcome outcome = Equalise({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.rfind("Usage: korvanith-cli equalise --match STEPS", 0), 0u) << outcome.out;
}

// --- refusals ----------------------------------------------------------------

// A refused run says why in one line (a wrong command line adds the pointer
// to --help) and writes nothing: not even its folder, nor into one that is
// there.
struct Refusal {
    const char* name;
    std::function<QStringList(const Folder&)> arguments;  // OUTDIR is added: folder "out"
    int status;
    const char* said;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class EqualiseRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(EqualiseRefusal, WritesNothing)
{
    const Refusal& c = GetParam();
    Folder folder;
    const Outcome outcome = Equalise(c.arguments(folder) + QStringList{folder.Path("out")});
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.err.rfind("korvanith-cli: ", 0), 0u) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    if (c.status == 2) {
        EXPECT_NE(outcome.err.find("(see korvanith-cli --help)\n"), std::string::npos) << outcome.err;
    }
    EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
    EXPECT_FALSE(QFileInfo::exists(folder.Path("out"))) << "the folder was made or kept";
}

const auto Two = [](const Folder& f) {
    return QStringList{Saved(f, RandomGray(12, 12, 1), "a.png"), Saved(f, RandomGray(12, 12, 2), "b.png")};
};

INSTANTIATE_TEST_SUITE_P(
    Cases, EqualiseRefusal,
    ::testing::Values(
        Refusal{"sizes_differ",
                [](const Folder& f) {
                    return QStringList{"--match", "lum", Saved(f, RandomGray(12, 12, 1), "a.png"),
                                       Saved(f, RandomGray(12, 12, 2), "b.png"),
                                       Saved(f, RandomGray(12, 10, 3), "c.png")};
                },
                1, "a.png is 12\u00d712, " },
        Refusal{"sizes_differ_names_the_other",
                [](const Folder& f) {
                    return QStringList{"--match", "lum", Saved(f, RandomGray(12, 12, 1), "a.png"),
                                       Saved(f, RandomGray(13, 12, 3), "c.png")};
                },
                1, "c.png is 13\u00d712"},
        Refusal{"one_picture",
                [](const Folder& f) { return QStringList{"--match", "lum", Saved(f, RandomGray(12, 12, 1), "a.png")}; },
                2, "at least two pictures"},
        Refusal{"mask_of_another_size",
                [](const Folder& f) {
                    return QStringList{"--match", "hist", "--mask", Saved(f, RandomGray(8, 8, 9), "m.png")} + Two(f);
                },
                1, "m.png is 8\u00d78, the pictures 12\u00d712"},
        Refusal{"mask_without_used_pixels",
                [](const Folder& f) {
                    return QStringList{"--match", "lum", "--mask",
                                       Saved(f, fixtures::GrayPicture(12, 12, [](int, int) { return 0; }), "m.png")} +
                           Two(f);
                },
                1, "has no used"},
        Refusal{"unknown_step", [](const Folder& f) { return QStringList{"--match", "amp,eq"} + Two(f); }, 2,
                "unknown step 'eq'"},
        Refusal{"no_match", [](const Folder& f) { return Two(f); }, 2, "needs --match"},
        Refusal{"zero_iterations",
                [](const Folder& f) { return QStringList{"--match", "lum", "--iterations", "0"} + Two(f); }, 2,
                "--iterations needs a whole number of at least 1"},
        Refusal{"unknown_rescale",
                [](const Folder& f) { return QStringList{"--match", "amp", "--rescale", "max"} + Two(f); }, 2,
                "unknown rescale 'max'"},
        Refusal{"bad_seed", [](const Folder& f) { return QStringList{"--match", "hist", "--seed", "-1"} + Two(f); },
                2, "--seed needs a whole number"},
        Refusal{"zero_jobs", [](const Folder& f) { return QStringList{"--match", "hist", "--jobs", "0"} + Two(f); },
                2, "--jobs needs"},
        Refusal{"unknown_option", [](const Folder& f) { return QStringList{"--match", "hist", "--fast"} + Two(f); },
                2, "unknown option --fast"},
        Refusal{"unreadable_picture",
                [](const Folder& f) {
                    return QStringList{"--match", "lum", Saved(f, RandomGray(12, 12, 1), "a.png"),
                                       QString::fromStdString(f.Write("not a picture", "broken.png"))};
                },
                1, "broken.png"},
        Refusal{"missing_picture",
                [](const Folder& f) { return QStringList{"--match", "lum", f.Path("none.png")} + Two(f); }, 1,
                "none.png"},
        Refusal{"two_results_of_one_name",
                [](const Folder& f) {
                    QDir().mkpath(f.Path("other"));
                    return QStringList{"--match", "lum"} + Two(f) +
                           QStringList{QString::fromStdString(f.Save(RandomGray(12, 12, 4), "other/a.bmp"))};
                },
                1, "would both be written as"}),
    [](const auto& info) { return std::string(info.param.name); });

// Writing into the pictures' own folder would replace them: refused, and the
// pictures keep their bytes.
TEST(EqualiseRefusalInPlace, WouldReplaceAPicture)
{
    Folder folder;
    const QStringList pictures = Two(folder);
    const QByteArray before = Bytes(pictures[0]);
    const Outcome outcome = Equalise(QStringList{"--match", "lum"} + pictures + QStringList{folder.Path("")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("would replace the picture"), std::string::npos) << outcome.err;
    EXPECT_EQ(Bytes(pictures[0]), before);
}

// A folder that is there keeps what it holds when the run is refused.
TEST(EqualiseRefusalInPlace, ExistingFolderKeepsItsFiles)
{
    Folder folder;
    QDir().mkpath(folder.Path("out"));
    folder.Write("old bytes", "out/a.png");
    const Outcome outcome = Equalise(QStringList{"--match", "lum", Saved(folder, RandomGray(12, 12, 1), "a.png"),
                                                 Saved(folder, RandomGray(10, 12, 2), "b.png"), folder.Path("out")});
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_EQ(QDir(folder.Path("out")).entryList(QDir::Files | QDir::Hidden), QStringList{"a.png"});
    EXPECT_EQ(Bytes(folder.Path("out/a.png")), QByteArray("old bytes"));
}

}  // namespace
