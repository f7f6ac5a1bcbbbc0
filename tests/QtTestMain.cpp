// GoogleTest's main for tests that need the toolkit: one QApplication, offscreen.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // File dialogs remember their folder; keep that out of the user's settings.
    QTemporaryDir settings;
    if (!qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
        qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    ::testing::InitGoogleTest(&argc, argv);
    int qtArgc = 1;
    char name[] = "korvanith-test";
    char* qtArgv[] = {name, nullptr};
    QApplication application(qtArgc, qtArgv);
    return RUN_ALL_TESTS();
}
