// The program's entry: the loop ends with status 0, and whatever escapes the
// start-up is shown as exactly one message before the program ends with 0.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <ostream>
#include <utility>
#include <vector>
#include <string>

namespace {

struct Probe {
    const char* name;
    const char* behaviour;  // what the stand-in window's construction does
    QStringList arguments;
    std::string stdout;  // everything the run prints
};

void PrintTo(const Probe& c, std::ostream* os) { *os << c.name; }

class Entry : public ::testing::TestWithParam<Probe> {};

TEST_P(Entry, EndsWithStatusZeroAndAtMostOneMessage)
{
    const Probe& c = GetParam();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KORVANITH_PROBE", c.behaviour);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + "/entry_probe", c.arguments);
    ASSERT_TRUE(process.waitForFinished(30000)) << "the program did not end";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(process.readAllStandardOutput().toStdString(), c.stdout);
}

// Where the window cannot be shown: no display at all, a display nothing
// listens on, a platform the toolkit does not have. One message on standard
// error that names what could not be opened and how to run it elsewhere; no
// window, no abort, status 0.
struct NoWindow {
    const char* name;
    std::vector<std::pair<const char*, const char*>> environment;  // set; the rest of these unset
    std::vector<std::string> said;
};

void PrintTo(const NoWindow& c, std::ostream* os) { *os << c.name; }

class Unshowable : public ::testing::TestWithParam<NoWindow> {};

TEST_P(Unshowable, SaysWhatCannotBeOpenedAndEndsWithStatusZero)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(name);
    for (const auto& [name, value] : GetParam().environment)
        environment.insert(name, value);
    environment.insert("KORVANITH_PROBE", "close");
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + "/entry_probe");
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "the program crashed or aborted";
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(process.readAllStandardOutput().toStdString(), "") << "a window was created";
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("korvanith: Cannot start: ", 0), 0u) << err;
    for (const std::string& part : GetParam().said)
        EXPECT_NE(err.find(part), std::string::npos) << err;
    EXPECT_NE(err.find("xvfb-run -a korvanith"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Displays, Unshowable,
    ::testing::Values(
        NoWindow{"no_display", {}, {"no display"}},
        NoWindow{"display_nothing_listens_on", {{"DISPLAY", ":987"}}, {"the display :987"}},
        NoWindow{"unknown_platform", {{"QT_QPA_PLATFORM", "nosuchplatform"}},
                 {"\"nosuchplatform\""}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Runs, Entry,
    ::testing::Values(
        Probe{"window_closed", "close", {}, "SHOWN:1 DIRECTION:0\n"},
        Probe{"arguments_change_nothing", "close",
              {"-reverse", "-platform", "xcb", "--style=windows", "left.png"},
              "SHOWN:1 DIRECTION:0\n"},
        Probe{"window_fails_to_build", "raise", {}, "MESSAGE:the window could not be built\n"},
        Probe{"derived_exception_keeps_its_message", "derived", {}, "MESSAGE:a derived failure\n"},
        Probe{"thrown_value_not_an_exception", "other", {}, "MESSAGE:\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
