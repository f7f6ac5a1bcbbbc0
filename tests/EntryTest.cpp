// The program's entry: the loop ends with status 0, and whatever escapes the
// start-up is shown as exactly one message before the program ends with 0.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <ostream>
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

TEST(Entry, WithoutADisplaySaysSoAndEndsWithStatusZero)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(name);
    environment.insert("KORVANITH_PROBE", "close");
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + "/entry_probe");
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(process.readAllStandardOutput().toStdString(), "") << "a window was created";
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
    EXPECT_NE(err.find("xvfb-run"), std::string::npos) << err;
}

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
