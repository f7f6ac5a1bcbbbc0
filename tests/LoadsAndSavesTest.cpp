// Loads and saves at their edges: under memory limits (the command-line tool
// and the window's loader and saver), what a written file carries of its
// source, what reaches standard error, the file's orientation through the
// tool, and names holding control characters.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QStringList>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "BadFiles.h"
#include "Fixtures.h"
#include "platform/Controls.h"
#include "platform/Graphics.h"
#include "platform/SaveFiles.h"

namespace {

using fixtures::Folder;
using fixtures::RandomColour;
using fixtures::RandomGray;

constexpr std::uint64_t MiB = 1 << 20;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

bool SaysMemoryIsShort(const std::string& line)
{
    return QString::fromStdString(line).contains("not enough memory", Qt::CaseInsensitive) &&
           line.find("damaged") == std::string::npos;
}

// --- the command-line tool under an address-space limit -------------------------

struct Outcome {
    int status;  // -1: did not end in time; -2: ended by a signal
    std::string err;
};

constexpr int Patience = 30000;  // ms: a run that takes longer is taken to hang

// The tool with the arguments, under an address-space limit of kib KiB
// (none when 0).
Outcome Cli(const QStringList& arguments, std::uint64_t kib = 0)
{
    QProcess process;
    if (kib > 0)
        process.start("bash", QStringList{"-c", QString("ulimit -v %1 && exec \"$0\" \"$@\"").arg(kib),
                                           fixtures::CliProgram()} +
                                  arguments);
    else
        process.start(fixtures::CliProgram(), arguments);
    if (!process.waitForFinished(Patience)) {
        process.kill();
        process.waitForFinished();
        return {-1, "did not end within 30 s"};
    }
    const std::string err = process.readAllStandardError().toStdString();
    if (process.exitStatus() != QProcess::NormalExit)
        return {-2, "ended by a signal: " + err};
    return {process.exitCode(), err};
}

// The least address-space limit (to 1000 KiB) under which the tool starts and
// transforms two 8x8 pictures without a word; 0 when none up to 2 GB does.
// Found once, by halving. Limits are set from it because the memory the
// program and its libraries map differs between machines and builds.
std::uint64_t StartFloor()
{
    static const std::uint64_t floor = [] {
        Folder folder;
        const QString left = QString::fromStdString(folder.Save(RandomGray(8, 8, 1), "l.png"));
        const QString right = QString::fromStdString(folder.Save(RandomGray(8, 8, 2), "r.png"));
        const auto starts = [&](std::uint64_t kib) {
            const Outcome o = Cli({left, right, folder.Path("a.png"), folder.Path("b.png")}, kib);
            return o.status == 0 && o.err.empty();
        };
        std::uint64_t low = 10000, high = 2000000;
        if (!starts(high))
            return std::uint64_t(0);
        while (high - low > 1000) {
            const std::uint64_t middle = (low + high) / 2;
            (starts(middle) ? high : low) = middle;
        }
        return high;
    }();
    return floor;
}

struct Limit {
    const char* name;
    bool lab;                // the lab's pictures rather than the transform's
    int side;                // of the two square photographs
    std::uint64_t aboveMiB;  // the limit: this much above the start floor
    const char* refusal;     // part of the one line that must come; nullptr: it may also succeed
};

void PrintTo(const Limit& c, std::ostream* os) { *os << c.name; }

class ToolUnderLimit : public ::testing::TestWithParam<Limit> {};

// Each run ends within seconds: it succeeds without a word, or it refuses
// with status 1 and one line that says memory is short.
TEST_P(ToolUnderLimit, EndsWithOneLineSayingMemoryIsShortOrSucceeds)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    const Limit& c = GetParam();
    const std::uint64_t floor = StartFloor();
    ASSERT_GT(floor, 0u) << "the tool does not start under any limit";
    Folder folder;
    const QString left = QString::fromStdString(folder.Save(RandomColour(c.side, c.side, 3), "left.png"));
    const QString right = QString::fromStdString(folder.Save(RandomColour(c.side, c.side, 4), "right.png"));
    const QStringList arguments = c.lab ? QStringList{"lab", left, right, folder.Path("out")}
                                        : QStringList{"--mode", "swap", left, right,
                                                      folder.Path("l.png"), folder.Path("r.png")};
    const std::uint64_t kib = floor + c.aboveMiB * 1024;
    const Outcome outcome = Cli(arguments, kib);
    SCOPED_TRACE("ulimit -v " + std::to_string(kib) + " (start floor " + std::to_string(floor) + ")");
    ASSERT_TRUE(outcome.status == 0 || outcome.status == 1) << "status " << outcome.status << ": " << outcome.err;
    const std::vector<std::string> lines = Lines(outcome.err);
    if (outcome.status == 0) {
        EXPECT_EQ(c.refusal, nullptr) << "expected a refusal saying " << c.refusal;
        EXPECT_EQ(outcome.err, "");
        EXPECT_TRUE(QFileInfo::exists(folder.Path(c.lab ? "out/resemblance.json" : "r.png")));
        return;
    }
    ASSERT_EQ(lines.size(), 1u) << outcome.err;
    EXPECT_TRUE(SaysMemoryIsShort(lines[0])) << lines[0];
    if (c.refusal) {
        EXPECT_NE(lines[0].find(c.refusal), std::string::npos) << lines[0];
    }
    EXPECT_FALSE(QFileInfo::exists(folder.Path("l.png")));
    EXPECT_FALSE(QFileInfo::exists(folder.Path("out")));
}

const char Load512[] = "not enough memory to load a 512\u00d7512 picture";
const char Load2048[] = "not enough memory to load a 2048\u00d72048 picture";

INSTANTIATE_TEST_SUITE_P(
    Limits, ToolUnderLimit,
    ::testing::Values(Limit{"swap_512_at_floor", false, 512, 0, Load512},
                      Limit{"swap_512_plus_2MiB", false, 512, 2, nullptr},
                      Limit{"swap_512_plus_4MiB", false, 512, 4, nullptr},
                      Limit{"swap_512_plus_8MiB", false, 512, 8, nullptr},
                      Limit{"swap_512_plus_16MiB", false, 512, 16, nullptr},
                      Limit{"swap_512_plus_32MiB", false, 512, 32, nullptr},
                      Limit{"swap_512_plus_64MiB", false, 512, 64, nullptr},
                      Limit{"swap_2048_at_floor", false, 2048, 0, Load2048},
                      Limit{"swap_2048_plus_16MiB", false, 2048, 16, Load2048},
                      Limit{"swap_2048_plus_40MiB", false, 2048, 40, nullptr},
                      Limit{"swap_2048_plus_64MiB", false, 2048, 64, nullptr},
                      Limit{"swap_2048_plus_128MiB", false, 2048, 128, nullptr},
                      Limit{"swap_2048_plus_256MiB", false, 2048, 256, nullptr},
                      Limit{"swap_2048_plus_320MiB", false, 2048, 320, nullptr},
                      Limit{"swap_2048_plus_352MiB", false, 2048, 352, nullptr},
                      Limit{"swap_2048_plus_384MiB", false, 2048, 384, nullptr},
                      Limit{"lab_512_at_floor", true, 512, 0, Load512},
                      Limit{"lab_512_plus_8MiB", true, 512, 8, nullptr},
                      Limit{"lab_512_plus_16MiB", true, 512, 16, nullptr},
                      Limit{"lab_512_plus_32MiB", true, 512, 32, nullptr},
                      Limit{"lab_512_plus_40MiB", true, 512, 40, nullptr},
                      Limit{"lab_512_plus_48MiB", true, 512, 48, nullptr},
                      Limit{"lab_512_plus_64MiB", true, 512, 64, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the command-line tool in a small control group --------------------------------

struct Group {
    const char* name;
    bool lab;
    int side;
    std::uint64_t limitMiB;
};

void PrintTo(const Group& c, std::ostream* os) { *os << c.name; }

class ToolInControlGroup : public ::testing::TestWithParam<Group> {};

// Past the group's limit its out-of-memory killer would end the tool without
// a word: each run must end by itself, succeeding or saying memory is short.
TEST_P(ToolInControlGroup, EndsByItselfWithOneLineSayingMemoryIsShortOrSucceeds)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's own memory does not fit in a small control group";
#endif
    const Group& c = GetParam();
    const fixtures::ControlGroup group(c.limitMiB * MiB);
    if (group.path.isEmpty())
        GTEST_SKIP() << "no memory control group can be made here";
    Folder folder;
    const QString left = QString::fromStdString(folder.Save(RandomColour(c.side, c.side, 3), "left.png"));
    const QString right = QString::fromStdString(folder.Save(RandomColour(c.side, c.side, 4), "right.png"));
    const QStringList arguments = c.lab ? QStringList{"lab", left, right, folder.Path("out")}
                                        : QStringList{"--mode", "swap", left, right,
                                                      folder.Path("l.png"), folder.Path("r.png")};
    QProcess process;
    process.start("bash", QStringList{"-c", "echo $$ > \"$0/cgroup.procs\" && exec \"$1\" \"${@:2}\"",
                                      group.path, fixtures::CliProgram()} +
                              arguments);
    ASSERT_TRUE(process.waitForFinished(Patience)) << "did not end within 30 s";
    const std::string err = process.readAllStandardError().toStdString();
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << "killed: " << err;
    if (process.exitCode() == 0) {
        EXPECT_EQ(err, "");
        return;
    }
    EXPECT_EQ(process.exitCode(), 1);
    const std::vector<std::string> lines = Lines(err);
    ASSERT_EQ(lines.size(), 1u) << err;
    EXPECT_TRUE(SaysMemoryIsShort(lines[0])) << lines[0];
}

INSTANTIATE_TEST_SUITE_P(Limits, ToolInControlGroup,
                         ::testing::Values(Group{"swap_2048_in_24MiB", false, 2048, 24},
                                           Group{"swap_2048_in_40MiB", false, 2048, 40},
                                           Group{"swap_2048_in_56MiB", false, 2048, 56},
                                           Group{"swap_2048_in_80MiB", false, 2048, 80},
                                           Group{"swap_2048_in_128MiB", false, 2048, 128},
                                           Group{"lab_512_in_40MiB", true, 512, 40},
                                           Group{"lab_512_in_64MiB", true, 512, 64}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the window's loader and saver under an address-space limit -----------------

// Runs the action in a child process whose address space may grow by room
// bytes beyond what it has mapped (no limit when room is negative); gives the
// line the action reports, and what the child wrote to standard error after
// it. A child that does not end within 30 s is killed and reported so.
struct ChildOutcome {
    std::string line, err;
};

ChildOutcome InChild(std::int64_t room, const std::function<std::string()>& action)
{
    int report[2];
    if (pipe(report) != 0)
        return {"no pipe", ""};
    std::FILE* errors = std::tmpfile();
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        dup2(fileno(errors), STDERR_FILENO);
        if (room >= 0) {
            std::uint64_t pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlimit limit{rlim_t(pages * std::uint64_t(sysconf(_SC_PAGESIZE)) + std::uint64_t(room)),
                               RLIM_INFINITY};
            setrlimit(RLIMIT_AS, &limit);
        }
        std::string line;
        try {
            line = action();
        } catch (const Exception& e) {
            line = e.Message;
        } catch (const std::bad_alloc&) {
            line = "std::bad_alloc escaped";
        }
        (void)!write(report[1], line.data(), line.size());
        _exit(0);
    }
    close(report[1]);
    std::string line;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Patience);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd wait{report[0], POLLIN, 0};
        if (poll(&wait, 1, 100) > 0) {
            char buffer[1024];
            const ssize_t n = read(report[0], buffer, sizeof buffer);
            if (n > 0) {
                line.append(buffer, std::size_t(n));
                continue;
            }
            ended = true;  // the child closed its end
            break;
        }
    }
    close(report[0]);
    if (!ended)
        kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    std::string err;
    std::rewind(errors);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, errors)) > 0;)
        err.append(buffer, n);
    std::fclose(errors);
    if (!ended)
        return {"did not end within 30 s", err};
    if (!WIFEXITED(status))
        return {"ended by signal " + std::to_string(WTERMSIG(status)), err};
    return {line, err};
}

struct Room {
    const char* name;
    const char* file;    // "png", "jpg", "progressive.jpg", "gif", "ico" or "top-down.bmp"
    std::int64_t roomMiB;  // negative: no limit
    const char* expected;  // "loaded", "refused", or nullptr for either
};

void PrintTo(const Room& c, std::ostream* os) { *os << c.name; }

// A 2048x2048 photograph of noise in the file format, saved in the folder;
// files whose reader declares another size: a "gif" is one pixel's frame on a
// 2048x2048 screen, an "ico" a 16x16 entry holding a 2048x2048 PNG, a
// "top-down.bmp" declares a negative height.
std::string Photograph(const Folder& folder, const std::string& file)
{
    const QString name = QString::fromStdString("photo." + file);
    if (file == "gif" || file == "ico" || file == "top-down.bmp") {
        QFile written(folder.Path(name));
        const QImage noise = RandomColour(2048, 2048, 5);
        const QByteArray bytes = file == "gif"   ? badfiles::GifOnScreen(2048, 2048, 0, 0, 1, 1)
                                 : file == "ico" ? badfiles::IcoHolding(badfiles::Encoded(noise, "PNG"))
                                                 : badfiles::TopDownBmp(noise);
        if (!written.open(QIODevice::WriteOnly) || written.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write the photograph");
        return folder.Path(name).toStdString();
    }
    QImageWriter writer(folder.Path(name), file == "png" ? "png" : "jpeg");
    if (file != "png") {
        writer.setQuality(90);
        writer.setProgressiveScanWrite(file == "progressive.jpg");
    }
    if (!writer.write(RandomColour(2048, 2048, 5)))
        throw std::runtime_error("cannot write the photograph");
    return folder.Path(name).toStdString();
}

class LoaderUnderLimit : public ::testing::TestWithParam<Room> {};

TEST_P(LoaderUnderLimit, EndsWithOneMessageSayingMemoryIsShortOrLoads)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    const Room& c = GetParam();
    Folder folder;
    const std::string path = Photograph(folder, c.file);
    const ChildOutcome outcome = InChild(c.roomMiB < 0 ? -1 : c.roomMiB * std::int64_t(MiB), [&] {
        TPicture picture;
        picture.LoadFromFile(path);
        return std::string(picture.GetWidth() == 2048 && picture.GetHeight() == 2048 ? "loaded" : "wrong size");
    });
    SCOPED_TRACE(c.roomMiB < 0 ? std::string("no limit") : std::to_string(c.roomMiB) + " MiB of room");
    const std::string refusal = "Cannot load " + path + ": " + Load2048 + " (needs ";
    const bool loaded = outcome.line == "loaded";
    const bool refused = outcome.line.rfind(refusal, 0) == 0 && outcome.line.find('\n') == std::string::npos &&
                         outcome.line.size() > 6 && outcome.line.substr(outcome.line.size() - 6) == " MiB).";
    EXPECT_TRUE(loaded || refused) << outcome.line;
    if (c.expected) {
        EXPECT_EQ(loaded ? "loaded" : "refused", std::string(c.expected)) << outcome.line;
    }
    EXPECT_EQ(outcome.err, "") << "besides: " << outcome.line;
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, LoaderUnderLimit,
    ::testing::Values(Room{"png_no_room", "png", 0, "refused"},
                      Room{"png_8MiB", "png", 8, "refused"},
                      Room{"png_24MiB", "png", 24, "refused"},
                      Room{"png_36MiB", "png", 36, nullptr},
                      Room{"png_48MiB", "png", 48, nullptr},
                      Room{"png_64MiB", "png", 64, nullptr},
                      Room{"png_no_limit", "png", -1, "loaded"},
                      Room{"jpg_no_room", "jpg", 0, "refused"},
                      Room{"jpg_24MiB", "jpg", 24, "refused"},
                      Room{"jpg_36MiB", "jpg", 36, nullptr},
                      Room{"jpg_64MiB", "jpg", 64, nullptr},
                      Room{"jpg_no_limit", "jpg", -1, "loaded"},
                      // a progressive JPEG's decoder keeps every coefficient: 24 MiB more
                      Room{"progressive_jpg_40MiB", "progressive.jpg", 40, "refused"},
                      Room{"progressive_jpg_64MiB", "progressive.jpg", 64, nullptr},
                      Room{"progressive_jpg_96MiB", "progressive.jpg", 96, nullptr},
                      Room{"progressive_jpg_no_limit", "progressive.jpg", -1, "loaded"},
                      // the reader declares the 1x1 frame; the decoder fills the whole screen
                      Room{"gif_8MiB", "gif", 8, "refused"},
                      Room{"gif_no_limit", "gif", -1, "loaded"},
                      // the directory declares 16x16; the decoder reads the PNG inside whole
                      Room{"ico_8MiB", "ico", 8, "refused"},
                      Room{"ico_no_limit", "ico", -1, "loaded"},
                      Room{"top_down_bmp_8MiB", "top-down.bmp", 8, "refused"},
                      Room{"top_down_bmp_no_limit", "top-down.bmp", -1, "loaded"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SaveRoom {
    const char* name;
    const char* extension;
    bool gray;
    std::int64_t roomMiB;  // negative: no limit
    const char* expected;  // "written", "refused", or nullptr for either
};

void PrintTo(const SaveRoom& c, std::ostream* os) { *os << c.name; }

class SaverUnderLimit : public ::testing::TestWithParam<SaveRoom> {};

TEST_P(SaverUnderLimit, EndsWithOneMessageSayingMemoryIsShortOrWrites)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    const SaveRoom& c = GetParam();
    Folder folder;
    TPicture picture;
    picture.LoadFromFile(folder.Save(c.gray ? RandomGray(2048, 2048, 6) : RandomColour(2048, 2048, 6), "in.png"));
    const std::string out = folder.Path(QString("out.") + c.extension).toStdString();
    const ChildOutcome outcome = InChild(c.roomMiB < 0 ? -1 : c.roomMiB * std::int64_t(MiB), [&] {
        TSaveGroup files;
        files.AddPicture(out, &picture);
        files.Commit();
        return std::string("written");
    });
    SCOPED_TRACE(c.roomMiB < 0 ? std::string("no limit") : std::to_string(c.roomMiB) + " MiB of room");
    const std::string refusal = "cannot write " + out + ": not enough memory to write a 2048\u00d72048 picture (needs ";
    const bool written = outcome.line == "written";
    const bool refused = outcome.line.rfind(refusal, 0) == 0 && outcome.line.find('\n') == std::string::npos;
    EXPECT_TRUE(written || refused) << outcome.line;
    if (c.expected) {
        EXPECT_EQ(written ? "written" : "refused", std::string(c.expected)) << outcome.line;
    }
    EXPECT_EQ(written, QFileInfo::exists(QString::fromStdString(out)));
    EXPECT_EQ(QDir(folder.Path("")).entryList(QDir::Files | QDir::Hidden).size(), written ? 2 : 1)
        << "a temporary file was left behind";
    EXPECT_EQ(outcome.err, "") << "besides: " << outcome.line;
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, SaverUnderLimit,
    ::testing::Values(SaveRoom{"png_colour_no_room", "png", false, 0, "refused"},
                      SaveRoom{"png_colour_8MiB", "png", false, 8, "refused"},
                      SaveRoom{"png_colour_16MiB", "png", false, 16, nullptr},
                      SaveRoom{"png_colour_32MiB", "png", false, 32, nullptr},
                      SaveRoom{"png_colour_no_limit", "png", false, -1, "written"},
                      SaveRoom{"png_gray_8MiB", "png", true, 8, "refused"},
                      SaveRoom{"png_gray_16MiB", "png", true, 16, nullptr},
                      SaveRoom{"png_gray_no_limit", "png", true, -1, "written"},
                      SaveRoom{"jpg_colour_8MiB", "jpg", false, 8, "refused"},
                      SaveRoom{"jpg_colour_24MiB", "jpg", false, 24, nullptr},
                      SaveRoom{"bmp_colour_16MiB", "bmp", false, 16, nullptr},
                      SaveRoom{"bmp_colour_no_limit", "bmp", false, -1, "written"},
                      SaveRoom{"tif_colour_24MiB", "tif", false, 24, nullptr},
                      SaveRoom{"tif_colour_no_limit", "tif", false, -1, "written"},
                      // encoders that convert the picture first, on the toolkit's threads
                      SaveRoom{"ppm_gray_28MiB", "ppm", true, 28, nullptr},
                      SaveRoom{"ppm_gray_44MiB", "ppm", true, 44, nullptr},
                      SaveRoom{"pbm_gray_28MiB", "pbm", true, 28, nullptr},
                      SaveRoom{"xpm_gray_28MiB", "xpm", true, 28, nullptr},
                      SaveRoom{"xbm_gray_28MiB", "xbm", true, 28, nullptr},
                      SaveRoom{"wbmp_gray_28MiB", "wbmp", true, 28, nullptr},
                      SaveRoom{"icns_colour_28MiB", "icns", false, 28, nullptr},
                      // encoders that fail, or throw, when their own memory runs out
                      SaveRoom{"webp_colour_68MiB", "webp", false, 68, nullptr},
                      SaveRoom{"webp_gray_68MiB", "webp", true, 68, nullptr},
                      SaveRoom{"xpm_colour_68MiB", "xpm", false, 68, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// A lab tile's view: 2048x2048 gray pixels scaled to fit 700x700. It ends showing
// them scaled within its room, or nothing where even block averages find no
// memory; the toolkit's threaded scaling is used only where its threads can start.
class TileUnderLimit : public ::testing::TestWithParam<int> {};

TEST_P(TileUnderLimit, EndsShowingThePixelsWithinItsRoomOrNothing)
{
#ifdef KORVANITH_ASAN
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    const int roomMiB = GetParam();
    const QImage pixels = RandomGray(2048, 2048, 15);
    TPixelView view;
    view.resize(700, 700);
    const ChildOutcome outcome = InChild(roomMiB < 0 ? -1 : roomMiB * std::int64_t(MiB), [&] {
        view.SetPixels(2048, 2048, 1, pixels.constBits());
        const QSize shown = view.ShownSize();
        return std::to_string(shown.width()) + "x" + std::to_string(shown.height());
    });
    SCOPED_TRACE(roomMiB < 0 ? std::string("no limit") : std::to_string(roomMiB) + " MiB of room");
    const bool nothing = outcome.line == "0x0";
    const auto x = outcome.line.find('x');
    const bool within = x != std::string::npos && x > 0 && outcome.line.find_first_not_of("0123456789x") == std::string::npos &&
                        std::stoi(outcome.line.substr(0, x)) <= 700 && std::stoi(outcome.line.substr(x + 1)) <= 700 &&
                        std::stoi(outcome.line.substr(0, x)) >= 350;
    EXPECT_TRUE(nothing || within) << outcome.line;
    if (roomMiB < 0) {
        EXPECT_EQ(outcome.line, "700x700");
    }
    EXPECT_EQ(outcome.err, "") << "besides: " << outcome.line;
}

INSTANTIATE_TEST_SUITE_P(Rooms, TileUnderLimit, ::testing::Values(0, 1, 2, 4, 8, 12, 16, 20, 24, 32, 40, 48, 64, -1),
                         [](const auto& info) {
                             return info.param < 0 ? std::string("no_limit") : std::to_string(info.param) + "MiB";
                         });

// --- what a written file carries of its source ------------------------------------

const char SourceMark[] = "korvanith-source-mark";

// A photograph as cameras and editors leave it: an XMP packet and a comment
// in text blocks, and a colour profile (sRGB, an RGB profile).
QImage MarkedSource(bool gray)
{
    QImage source = gray ? RandomGray(16, 16, 7).convertToFormat(QImage::Format_RGB32) : RandomColour(16, 16, 7);
    source.setText("XML:com.adobe.xmp", QString("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">%1</x:xmpmeta>").arg(SourceMark));
    source.setText("Comment", SourceMark);
    source.setColorSpace(QColorSpace::SRgb);
    return source;
}

struct Carried {
    const char* name;
    const char* source;  // the source file's extension
    const char* result;  // the written file's extension
    bool gray;
};

void PrintTo(const Carried& c, std::ostream* os) { *os << c.name; }

class WrittenPicture : public ::testing::TestWithParam<Carried> {};

// Nothing of the source's text blocks or colour profile is written, and the
// writing says nothing: no toolkit message, nothing on standard error (libpng
// warns of an RGB profile in a gray PNG).
TEST_P(WrittenPicture, CarriesNothingOfItsSourceAndSaysNothing)
{
    const Carried& c = GetParam();
    Folder folder;
    const std::string source = folder.Save(MarkedSource(c.gray), QString("source.") + c.source);
    {
        QImageReader check(QString::fromStdString(source));
        ASSERT_NE(check.read().text("Comment"), "") << "the source carries no text to leave out";
    }
    const std::string out = folder.Path(QString("result.") + c.result).toStdString();
    TPicture picture;
    picture.LoadFromFile(source);
    fixtures::ErrorCapture capture;
    TSaveGroup files;
    files.AddPicture(out, &picture);
    files.Commit();
    EXPECT_EQ(capture.Finish(), "");

    QFile written(QString::fromStdString(out));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_EQ(bytes.indexOf(SourceMark), -1) << "the source's text is in the file";
    for (const char* chunk : {"iCCP", "sRGB", "gAMA", "tEXt", "iTXt", "zTXt", "ICC_PROFILE", "Exif"})
        EXPECT_EQ(bytes.indexOf(chunk), -1) << chunk << " is in the file";
    const QImage back(QString::fromStdString(out));
    ASSERT_FALSE(back.isNull());
    EXPECT_FALSE(back.colorSpace().isValid()) << "a colour profile is in the file: " << back.colorSpace().description().toStdString();
    EXPECT_EQ(back.isGrayscale(), c.gray);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WrittenPicture,
    ::testing::Values(Carried{"png_to_gray_png", "png", "png", true},
                      Carried{"png_to_colour_png", "png", "png", false},
                      Carried{"jpg_to_gray_png", "jpg", "png", true},
                      Carried{"png_to_gray_jpg", "png", "jpg", true},
                      Carried{"png_to_colour_jpg", "png", "jpg", false},
                      Carried{"png_to_gray_tif", "png", "tif", true},
                      Carried{"png_to_colour_bmp", "png", "bmp", false},
                      Carried{"png_to_gray_pgm", "png", "pgm", true}),
    [](const auto& info) { return std::string(info.param.name); });

// --- a full disk ------------------------------------------------------------------

// A tmpfs of 64 KiB, mounted for the test: a disk that fills up.
class SmallDisk {
public:
    explicit SmallDisk(const QString& path) : path(QFile::encodeName(path))
    {
        QDir().mkpath(path);
        mounted = mount("korvanith-test", this->path.constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            umount(path.constData());
    }
    const QByteArray path;
    bool mounted = false;
};

// A picture larger than the disk: the refusal names the full disk, and
// nothing else (libpng's "Write Error") reaches standard error.
TEST(FullDisk, SaysSoOnceAndLeavesNothing)
{
    Folder folder;
    const SmallDisk disk(folder.Path("disk"));
    if (!disk.mounted)
        GTEST_SKIP() << "no small file system can be mounted here";
    TPicture picture;
    picture.LoadFromFile(folder.Save(RandomColour(512, 512, 8), "noise.png"));  // far beyond 64 KiB in any format
    for (const char* extension : {"png", "bmp", "jpg", "tif"}) {
        SCOPED_TRACE(extension);
        const std::string out = folder.Path(QString("disk/out.") + extension).toStdString();
        fixtures::ErrorCapture capture;
        const std::string message = fixtures::RefusalOf([&] {
            TSaveGroup files;
            files.AddPicture(out, &picture);
            files.Commit();
        });
        EXPECT_EQ(capture.Finish(), "");
        EXPECT_EQ(message.rfind("cannot write " + out + ": the disk is full", 0), 0u) << message;
        EXPECT_TRUE(QDir(folder.Path("disk")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
}

TEST(FullDisk, ToolSaysSoInOneLine)
{
    Folder folder;
    const SmallDisk disk(folder.Path("disk"));
    if (!disk.mounted)
        GTEST_SKIP() << "no small file system can be mounted here";
    const QString left = QString::fromStdString(folder.Save(RandomColour(256, 256, 9), "a.png"));
    const QString right = QString::fromStdString(folder.Save(RandomColour(256, 256, 10), "b.png"));
    for (const QStringList& arguments :
         {QStringList{left, right, folder.Path("disk/l.png"), folder.Path("disk/r.png")},
          QStringList{"lab", left, right, folder.Path("disk/lab")}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Outcome outcome = Cli(arguments);
        EXPECT_EQ(outcome.status, 1);
        ASSERT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_NE(outcome.err.find("the disk is full"), std::string::npos) << outcome.err;
    }
}

// --- names with control characters ------------------------------------------------

struct Control {
    const char* name;
    const char* file;   // under the test's folder
    const char* shown;  // the name as the message shows it
};

void PrintTo(const Control& c, std::ostream* os) { *os << c.name; }

class ControlsInName : public ::testing::TestWithParam<Control> {};

// The tool's refusal of a picture it cannot read, or of a result it cannot
// write, is one line, with the name written out.
TEST_P(ControlsInName, ToolRefusesInOneLine)
{
    const Control& c = GetParam();
    Folder folder;
    const QString good = QString::fromStdString(folder.Save(RandomGray(8, 8, 11), "good.png"));
    const QString named = folder.Path(c.file);
    const std::string shown = folder.Path(c.shown).toStdString();
    for (const bool input : {true, false}) {
        SCOPED_TRACE(input ? "as input" : "as result");
        const QStringList arguments = input ? QStringList{named, good, folder.Path("l.png"), folder.Path("r.png")}
                                            : QStringList{good, good, folder.Path("l.png"), named + "/r.png"};
        const Outcome outcome = Cli(arguments);
        EXPECT_EQ(outcome.status, 1);
        ASSERT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_NE(outcome.err.find(shown), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find('\x1b'), std::string::npos) << outcome.err;
    }
}

// The window's save refuses with the name written out.
TEST_P(ControlsInName, SaveRefusalWritesItOut)
{
    const Control& c = GetParam();
    Folder folder;
    TPicture picture;
    picture.LoadFromFile(folder.Save(RandomGray(8, 8, 12), "good.png"));
    const std::string out = folder.Path(QString(c.file) + "/out.png").toStdString();
    const std::string message = fixtures::RefusalOf([&] {
        TSaveGroup files;
        files.AddPicture(out, &picture);
        files.Commit();
    });
    EXPECT_EQ(message.rfind("cannot write " + ShownName(out) + ": the folder " + folder.Path(c.shown).toStdString() +
                                " does not exist",
                            0),
              0u)
        << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(Names, ControlsInName,
                         ::testing::Values(Control{"newline", "two\nlines", "two\\nlines"},
                                           Control{"escape", "red\x1b[31m", "red\\x1B[31m"},
                                           Control{"tab", "a\tb", "a\\tb"}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the file's orientation through the tool --------------------------------------

// The tool turns a photograph as the window does: its results for two turned
// JPEGs equal its results for the same pixels stored upright.
TEST(TurnedPhotograph, ToolTransformsItAsShown)
{
    Folder folder;
    QStringList turned, upright;
    for (const unsigned seed : {13u, 14u}) {
        const QByteArray jpeg = [&] {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "jpeg");
            writer.setQuality(95);
            writer.write(RandomColour(16, 32, seed));  // 32 high, shown 32 wide
            return bytes;
        }();
        const QString name = QString("seed%1").arg(seed);
        // Stored as read with no orientation, then turned clockwise by hand.
        TPicture stored;
        stored.LoadFromFile(folder.Write(jpeg, name + "-plain.jpg"));
        QImage shown(stored.GetHeight(), stored.GetWidth(), QImage::Format_RGB32);
        for (int y = 0; y < stored.GetHeight(); ++y)
            for (int x = 0; x < stored.GetWidth(); ++x) {
                const PackedColour p = stored.GetBitmap()->GetCanvas()->GetPixel(x, y);
                shown.setPixel(stored.GetHeight() - 1 - y, x, qRgb(p & 0xff, p >> 8 & 0xff, p >> 16 & 0xff));
            }
        upright << QString::fromStdString(folder.Save(shown, name + "-upright.png"));
        turned << QString::fromStdString(folder.Write(fixtures::WithOrientation(jpeg, 6), name + "-turned.jpg"));
    }
    const Outcome a = Cli({turned[0], turned[1], folder.Path("turned-l.png"), folder.Path("turned-r.png")});
    const Outcome b = Cli({upright[0], upright[1], folder.Path("upright-l.png"), folder.Path("upright-r.png")});
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    for (const char* side : {"l", "r"}) {
        SCOPED_TRACE(side);
        const QImage fromTurned(folder.Path(QString("turned-%1.png").arg(side)));
        const QImage fromUpright(folder.Path(QString("upright-%1.png").arg(side)));
        ASSERT_EQ(fromTurned.size(), QSize(32, 16));
        EXPECT_TRUE(fromTurned == fromUpright) << "the results differ";
    }
}

}  // namespace
