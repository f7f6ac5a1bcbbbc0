// korvanith-cli: its pixels are the window's, its refusals leave files alone.
#include <gtest/gtest.h>

#include <QFile>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <sys/mount.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "Lab.h"
#include "lab/PhaseLab.h"
#include "phase/Command.h"
#include "Unit1.h"

namespace {

using fixtures::Folder;
using fixtures::Pixels;
using fixtures::RandomColour;
using fixtures::RandomGray;

using fixtures::Outcome;

Outcome Cli(const QStringList& arguments) { return fixtures::RunCli(arguments); }

std::vector<PackedColour> FilePixels(const QString& path)
{
    TImage image;
    image.Picture->LoadFromFile(path.toStdString());
    return Pixels(&image);
}

struct Written {
    const char* mode;  // nullptr: the default
    const char* extension;
};

void PrintTo(const Written& c, std::ostream* os)
{
    *os << (c.mode ? c.mode : "default") << " ." << c.extension;
}

class CliResults : public ::testing::TestWithParam<Written> {};

TEST_P(CliResults, AreTheWindowsPixels)
{
    const Written& c = GetParam();
    Folder folder;
    const std::string left = folder.Save(RandomColour(16, 8, 1), "left.png");
    const std::string right = folder.Save(RandomColour(16, 8, 2), "right.bmp");
    const QString leftOut = folder.Path(QString("l.") + c.extension);
    const QString rightOut = folder.Path(QString("r.") + c.extension);
    QStringList arguments;
    if (c.mode)
        arguments << "--mode" << c.mode;
    arguments << QString::fromStdString(left) << QString::fromStdString(right) << leftOut
              << rightOut;
    const Outcome outcome = Cli(arguments);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    const auto expected =
        fixtures::EngineResults(left, right, c.mode && std::string(c.mode) == "swap");
    EXPECT_EQ(FilePixels(leftOut), expected.left);
    EXPECT_EQ(FilePixels(rightOut), expected.right);
}

INSTANTIATE_TEST_SUITE_P(Formats, CliResults,
                         ::testing::Values(Written{nullptr, "png"}, Written{"normal", "bmp"},
                                           Written{"swap", "pgm"}, Written{"swap", "ppm"},
                                           Written{"swap", "PNG"}),
                         [](const auto& info) {
                             return std::string(info.param.mode ? info.param.mode : "default") +
                                    "_" + info.param.extension;
                         });

// --crop cuts both to their centre before the transform: its results are,
// bit for bit, those of the same crops prepared as files.
TEST(CliCrop, EqualsTheTransformOfTheCropsPreparedAsFiles)
{
    Folder folder;
    const QImage left = RandomColour(45, 30, 7), right = RandomColour(60, 41, 8);
    const QString leftFile = QString::fromStdString(folder.Save(left, "left.png"));
    const QString rightFile = QString::fromStdString(folder.Save(right, "right.png"));
    const QString leftCrop = QString::fromStdString(folder.Save(left.copy(6, 7, 32, 16), "left-crop.png"));
    const QString rightCrop = QString::fromStdString(folder.Save(right.copy(14, 12, 32, 16), "right-crop.png"));
    for (const char* mode : {"normal", "swap"}) {
        SCOPED_TRACE(mode);
        const Outcome cropped = Cli({"--mode", mode, "--crop", leftFile, rightFile,
                                     folder.Path("a-left.png"), folder.Path("a-right.png")});
        ASSERT_EQ(cropped.status, 0) << cropped.err;
        const Outcome prepared = Cli({"--mode", mode, leftCrop, rightCrop, folder.Path("b-left.png"),
                                      folder.Path("b-right.png")});
        ASSERT_EQ(prepared.status, 0) << prepared.err;
        for (const char* side : {"left", "right"}) {
            SCOPED_TRACE(side);
            QFile a(folder.Path(QString("a-") + side + ".png")), b(folder.Path(QString("b-") + side + ".png"));
            ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            EXPECT_EQ(QImage::fromData(a.readAll()).size(), QSize(32, 16));
            a.seek(0);
            EXPECT_EQ(a.readAll(), b.readAll());
        }
    }
}

TEST(CliCrop, RefusalOfAMisfitPairNamesTheOption)
{
    Folder folder;
    const Outcome outcome = Cli({QString::fromStdString(folder.Save(RandomColour(451, 300, 9), "cat.png")),
                                 QString::fromStdString(folder.Save(RandomColour(600, 400, 10), "cup.png")),
                                 folder.Path("l.png"), folder.Path("r.png")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("451\u00d7300"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("Add --crop to cut both to their centre 256\u00d7256.\n"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(outcome.err.find("right-click"), std::string::npos) << "the window's remedy: " << outcome.err;
}

// --- the lab -----------------------------------------------------------------------

TEST(CliLab, WritesTenPicturesOfTheCroppedSizeAndTheTable)
{
    Folder folder;
    const QString left = QString::fromStdString(folder.Save(RandomColour(45, 30, 11), "left.png"));
    const QString right = QString::fromStdString(folder.Save(RandomColour(60, 41, 12), "right.png"));
    const Outcome outcome = Cli({"lab", "--crop", left, right, folder.Path("made/on/the/way")});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    QStringList expected;
    for (const std::string& name : cli::LabFileNames())
        expected << QString::fromStdString(name);
    expected.sort();
    EXPECT_EQ(QDir(folder.Path("made/on/the/way")).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    for (const QString& name : expected) {
        if (name.endsWith(".png")) {
            EXPECT_EQ(QImage(folder.Path("made/on/the/way/") + name).size(), QSize(45, 30))
                << name.toStdString();
        }
    }
    QFile json(folder.Path("made/on/the/way/resemblance.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QByteArray text = json.readAll();
    const QJsonObject table = QJsonDocument::fromJson(text).object();
    EXPECT_EQ(table["width"].toInt(), 45) << text.toStdString();
    EXPECT_EQ(table["height"].toInt(), 30);
    EXPECT_EQ(table["mix"].toDouble(), 0.5);
    EXPECT_EQ(table["left"]["normal"]["left"].toDouble(), 1.0);
}

// Numbers in the table are the shortest text that reads back to the same
// double, and a mix of -0 is written 0.
TEST(CliLab, WritesNumbersAsTheirShortestText)
{
    Folder folder;
    const QString left = QString::fromStdString(folder.Save(RandomGray(8, 8, 21), "left.png"));
    const QString right = QString::fromStdString(folder.Save(RandomGray(8, 8, 22), "right.png"));
    for (const auto& [mix, written] : {std::pair{"0.3", "\"mix\": 0.3,"}, {"-0", "\"mix\": 0,"}}) {
        SCOPED_TRACE(mix);
        const QString out = folder.Path(QString("lab") + mix);
        const Outcome outcome = Cli({"lab", "--mix", mix, left, right, out});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        QFile json(out + "/resemblance.json");
        ASSERT_TRUE(json.open(QIODevice::ReadOnly));
        const std::string text = json.readAll().toStdString();
        EXPECT_NE(text.find(written), std::string::npos) << text;
        EXPECT_EQ(text.find("-0,"), std::string::npos) << text;
        EXPECT_EQ(text.find("0000000"), std::string::npos) << "a number written longer than it is: " << text;
    }
}

// A refused lab writes nothing: no picture, no table, not even its folder.
struct LabRefusal {
    const char* name;
    std::function<QStringList(const Folder&)> arguments;  // after "lab"
    const char* said;
};

void PrintTo(const LabRefusal& c, std::ostream* os) { *os << c.name; }

class CliLabRefusal : public ::testing::TestWithParam<LabRefusal> {};

TEST_P(CliLabRefusal, WritesNothing)
{
    Folder folder;
    const Outcome outcome = Cli(QStringList{"lab"} + GetParam().arguments(folder));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err.rfind("korvanith-cli: ", 0), 0u) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_NE(outcome.err.find(GetParam().said), std::string::npos) << outcome.err;
    EXPECT_FALSE(QFileInfo::exists(folder.Path("out"))) << "the folder was made or kept";
    EXPECT_EQ(QDir(folder.Path("")).entryList(QDir::Files | QDir::Hidden).filter("left-").size(), 0);
}

QString Saved(const Folder& f, const QImage& picture, const char* name)
{
    return QString::fromStdString(f.Save(picture, name));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliLabRefusal,
    ::testing::Values(
        LabRefusal{"misfit_pair",
                   [](const Folder& f) {
                       return QStringList{Saved(f, RandomColour(12, 8, 1), "a.png"),
                                          Saved(f, RandomColour(8, 8, 2), "b.png"), f.Path("out")};
                   },
                   "Add --crop to cut both to their centre 8\u00d78."},
        LabRefusal{"missing_input",
                   [](const Folder& f) {
                       return QStringList{f.Path("none.png"), Saved(f, RandomColour(8, 8, 2), "b.png"),
                                          f.Path("out")};
                   },
                   "does not exist"},
        LabRefusal{"folder_is_a_file",
                   [](const Folder& f) {
                       f.Write("a file", "out-file");
                       return QStringList{Saved(f, RandomColour(8, 8, 1), "a.png"),
                                          Saved(f, RandomColour(8, 8, 2), "b.png"), f.Path("out-file")};
                   },
                   "it is a file, not a folder"}),
    [](const auto& info) { return std::string(info.param.name); });

// A disk that fills up while the lab writes: nothing of it is left there.
// The folders on the way are made, and on a refusal removed again, all of them.
TEST(CliLabRefusal, FullDiskLeavesNothingHalfWritten)
{
    Folder folder;
    const QByteArray disk = QFile::encodeName(folder.Path("disk"));
    QDir().mkpath(folder.Path("disk"));
    if (mount("korvanith-test", disk.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no small file system can be mounted here";
    const Outcome outcome = Cli({"lab", QString::fromStdString(folder.Save(RandomColour(64, 64, 3), "a.png")),
                                 QString::fromStdString(folder.Save(RandomColour(64, 64, 4), "b.png")),
                                 folder.Path("disk/x/y/lab")});
    const QStringList left = QDir(folder.Path("disk")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    umount(disk.constData());
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("the disk is full"), std::string::npos) << outcome.err;
    EXPECT_TRUE(left.isEmpty()) << left.join(", ").toStdString();
}

TEST(CliUsage, HelpPrintsUsage)
{
    const Outcome outcome = Cli({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out.rfind("Usage: korvanith-cli [--mode normal|swap] [--crop] LEFT RIGHT", 0), 0u);
}

TEST(CliUsage, VersionPrintsTheProgramsVersion)
{
    const Outcome outcome = Cli({"--version"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "korvanith-cli " KORVANITH_VERSION "\n");
}

struct UsageCase {
    const char* name;
    QStringList arguments;
    const char* said;  // part of the one line
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class CliUsageError : public ::testing::TestWithParam<UsageCase> {};

// One line: what is wrong, and where to read more; never the whole help.
TEST_P(CliUsageError, SaysWhatIsWrongInOneLine)
{
    const Outcome outcome = Cli(GetParam().arguments);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err.rfind("korvanith-cli: ", 0), 0u) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_NE(outcome.err.find(GetParam().said), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("(see korvanith-cli --help)\n"), std::string::npos) << outcome.err;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliUsageError,
    ::testing::Values(
        UsageCase{"nothing", {}, "expected 4 files, got 0"},
        UsageCase{"three_files", {"a", "b", "c"}, "expected 4 files, got 3"},
        UsageCase{"lab_two", {"lab", "a", "b"}, "lab expects LEFT RIGHT OUTDIR"},
        UsageCase{"lab_four", {"lab", "a", "b", "c", "d"}, "lab expects LEFT RIGHT OUTDIR"},
        UsageCase{"lab_mode", {"lab", "--mode", "swap", "a", "b", "c"}, "--mode is not an option of lab"},
        UsageCase{"mix_without_lab", {"--mix", "0.5", "a", "b", "c", "d"}, "--mix is an option of lab only"},
        UsageCase{"mix_above_one", {"lab", "--mix", "1.5", "a", "b", "c"}, "from 0 to 1, not '1.5'"},
        UsageCase{"mix_not_a_number", {"lab", "--mix", "half", "a", "b", "c"}, "not 'half'"},
        UsageCase{"mix_without_value", {"lab", "a", "b", "c", "--mix"}, "--mix needs a value"},
        UsageCase{"five_files", {"a", "b", "c", "d", "e"}, "expected 4 files, got 5"},
        UsageCase{"unknown_mode", {"--mode", "sideways", "a", "b", "c", "d"}, "unknown mode 'sideways'"},
        UsageCase{"mode_without_value", {"a", "b", "c", "d", "--mode"}, "--mode needs a value"},
        UsageCase{"unknown_option", {"--fast", "a", "b", "c", "d"}, "unknown option --fast"},
        UsageCase{"file_named_like_an_option", {"-face.png", "b", "c", "d"},
                  "unknown option -face.png; to name a file that starts with '-', write ./-face.png"},
        UsageCase{"empty_outdir", {"lab", "a", "b", ""}, "OUTDIR is empty"}),
    [](const auto& info) { return std::string(info.param.name); });

// Two results that are one file by some route would lose one of them: the
// tool refuses before it reads or writes anything.
struct SameFileCase {
    const char* name;
    std::function<QStringList(const Folder&)> outputs;  // LEFT_RESULT, RIGHT_RESULT
};

void PrintTo(const SameFileCase& c, std::ostream* os) { *os << c.name; }

class CliSameFile : public ::testing::TestWithParam<SameFileCase> {};

TEST_P(CliSameFile, IsRefusedBeforeAnythingIsWritten)
{
    Folder folder;
    QDir().mkpath(folder.Path("d/sub"));
    const QString picture = QString::fromStdString(folder.Save(RandomGray(8, 8, 5), "in.png"));
    const QStringList outputs = GetParam().outputs(folder);
    const QStringList before = QDir(folder.Path("d")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const Outcome outcome = Cli({picture, picture, outputs[0], outputs[1]});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "korvanith-cli: LEFT_RESULT and RIGHT_RESULT must be different files\n");
    EXPECT_EQ(QDir(folder.Path("d")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, CliSameFile,
    ::testing::Values(
        SameFileCase{"same_path", [](const Folder& f) { return QStringList{f.Path("d/out.png"), f.Path("d/out.png")}; }},
        SameFileCase{"dot", [](const Folder& f) { return QStringList{f.Path("d/./out.png"), f.Path("d/out.png")}; }},
        SameFileCase{"dot_dot", [](const Folder& f) { return QStringList{f.Path("d/sub/../out.png"), f.Path("d/out.png")}; }},
        SameFileCase{"link_to_a_file_not_yet_there",
                     [](const Folder& f) {
                         QFile::link(f.Path("d/out.png"), f.Path("d/link.png"));
                         return QStringList{f.Path("d/out.png"), f.Path("d/link.png")};
                     }},
        SameFileCase{"hard_link",
                     [](const Folder& f) {
                         f.Write("old", "d/out.png");
                         ::link(QFile::encodeName(f.Path("d/out.png")).constData(),
                                QFile::encodeName(f.Path("d/hard.png")).constData());
                         return QStringList{f.Path("d/out.png"), f.Path("d/hard.png")};
                     }},
        SameFileCase{"link_to_the_folder",
                     [](const Folder& f) {
                         QFile::link(f.Path("d/sub"), f.Path("d/to-sub"));
                         return QStringList{f.Path("d/sub/out.png"), f.Path("d/to-sub/out.png")};
                     }}),
    [](const auto& info) { return std::string(info.param.name); });

// A name holding control characters is written out on the refusal's line.
TEST(CliRefusal, ControlCharactersInNamesAreShownEscaped)
{
    Folder folder;
    const QString picture = QString::fromStdString(folder.Save(RandomGray(8, 8, 6), "in.png"));
    const Outcome outcome = Cli({folder.Path("bad\nname\x1b.png"), picture, folder.Path("l.png"),
                                 folder.Path("r.png")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_NE(outcome.err.find("bad\\nname\\x1B.png"), std::string::npos) << outcome.err;
}

// A refused run: one line on standard error, and the result files exactly as
// they were (absent or with their old bytes).
struct Refused {
    const char* name;
    QImage left, right;
    const char* leftOut;
    const char* said;
};

void PrintTo(const Refused& c, std::ostream* os) { *os << c.name; }

class CliRefusal : public ::testing::TestWithParam<Refused> {};

TEST_P(CliRefusal, LeavesResultFilesAsTheyWere)
{
    const Refused& c = GetParam();
    Folder folder;
    const QString left = c.left.isNull() ? folder.Path("absent.png")
                                         : QString::fromStdString(folder.Save(c.left, "left.png"));
    const QString right = QString::fromStdString(folder.Save(c.right, "right.png"));
    const QString leftOut = folder.Path(c.leftOut);
    const QString rightOut = folder.Path("r.png");
    folder.Write("old bytes", "r.png");
    const Outcome outcome = Cli({left, right, leftOut, rightOut});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err.rfind("korvanith-cli: ", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_FALSE(QFileInfo::exists(leftOut));
    QFile kept(rightOut);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old bytes"));
    EXPECT_EQ(QDir(folder.Path("")).entryList(QDir::Files).size(), c.left.isNull() ? 2 : 3)
        << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliRefusal,
    ::testing::Values(
        Refused{"missing_input", {}, RandomColour(8, 8, 3), "l.png", "does not exist"},
        Refused{"sizes_differ", RandomColour(8, 8, 3), RandomColour(4, 8, 4), "l.png", "4\u00d78"},
        Refused{"not_power_of_two", RandomColour(6, 6, 3), RandomColour(6, 6, 4), "l.png",
                "power of two"},
        Refused{"unknown_output_format", RandomColour(8, 8, 3), RandomColour(8, 8, 4), "l.xyz",
                "unknown picture format"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliRefusal, UnwritableFolderWritesNothing)
{
    Folder folder;
    const QString left = QString::fromStdString(folder.Save(RandomColour(8, 8, 5), "left.png"));
    const Outcome outcome =
        Cli({left, left, folder.Path("l.png"), folder.Path("no/such/folder/r.png")});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("cannot write"), std::string::npos) << outcome.err;
    EXPECT_FALSE(QFileInfo::exists(folder.Path("l.png")));
}

TEST(CliRefusal, TransformBeyondTheMemoryAtHandSaysHowMuchItNeeds)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    Folder folder;
    const QString picture = QString::fromStdString(
        folder.Save(fixtures::GrayPicture(2048, 2048, [](int x, int y) { return (x ^ y) & 255; }),
                    "big.png"));
    // 400 MB of address space holds the program and its pictures, not the
    // 257 MiB of buffers besides.
    QProcess process;
    const QString program = fixtures::CliProgram();
    process.start("bash", {"-c", "ulimit -v 400000 && exec \"$0\" \"$@\"", program, picture,
                           picture, folder.Path("l.png"), folder.Path("r.png")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), 1) << err;
    EXPECT_EQ(err, "korvanith-cli: Cannot transform: not enough memory for a 2048\u00d72048 "
                   "transform (needs 257 MiB).\n");
    EXPECT_FALSE(QFileInfo::exists(folder.Path("l.png")));
}

// The lab holds more than the command: the same limit leaves the pictures
// room but not the lab's planes and tiles.
TEST(CliRefusal, LabBeyondTheMemoryAtHandSaysHowMuchItNeeds)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    Folder folder;
    const QString picture = QString::fromStdString(
        folder.Save(fixtures::GrayPicture(2048, 2048, [](int x, int y) { return (x ^ y) & 255; }),
                    "big.png"));
    QProcess process;
    process.start("bash", {"-c", "ulimit -v 400000 && exec \"$0\" \"$@\"", fixtures::CliProgram(),
                           "lab", picture, picture, folder.Path("out")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), 1) << err;
    EXPECT_EQ(err, "korvanith-cli: Not enough memory for the lab at 2048\u00d72048 (needs " +
                       std::to_string(phase::Mebibytes(lab::PhaseLab::BytesNeeded(2048, 2048))) +
                       " MiB).\n");
    EXPECT_FALSE(QFileInfo::exists(folder.Path("out")));
}

// The control group's limit is lower than the machine's memory: without the
// check the mapping would meet the group's out-of-memory killer, and the tool
// would vanish without a word.
TEST(CliRefusal, TransformBeyondTheControlGroupsRoomSaysHowMuchItNeeds)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's own memory does not fit in a small control group";
#endif
    const fixtures::ControlGroup group(200 << 20);
    if (group.path.isEmpty())
        GTEST_SKIP() << "no memory control group can be made here";
    Folder folder;
    const QString picture = QString::fromStdString(
        folder.Save(fixtures::GrayPicture(2048, 2048, [](int x, int y) { return (x ^ y) & 255; }),
                    "big.png"));
    QProcess process;
    process.start("bash", {"-c", "echo $$ > \"$0/cgroup.procs\" && exec \"$1\" \"${@:2}\"", group.path,
                           fixtures::CliProgram(), picture, picture, folder.Path("l.png"),
                           folder.Path("r.png")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "killed: " << err;
    EXPECT_EQ(process.exitCode(), 1) << err;
    EXPECT_EQ(err, "korvanith-cli: Cannot transform: not enough memory for a 2048\u00d72048 "
                   "transform (needs 257 MiB).\n");
    EXPECT_FALSE(QFileInfo::exists(folder.Path("l.png")));
}

}  // namespace
