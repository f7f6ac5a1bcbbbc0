// GoogleTest's main for tests that need the toolkit: one QApplication, offscreen.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // File dialogs remember their folder and the toolkit wants a runtime
    // folder: a private home for each test program keeps all of it out of the
    // user's.
    QTemporaryDir home;
    const QByteArray path = home.path().toLocal8Bit();
    QDir(home.path()).mkpath("config");
    QDir(home.path()).mkpath("runtime");
    QFile::setPermissions(home.path() + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/config");
    qputenv("XDG_RUNTIME_DIR", path + "/runtime");
    ::testing::InitGoogleTest(&argc, argv);
    int qtArgc = 1;
    char name[] = "korvanith-test";
    char* qtArgv[] = {name, nullptr};
    QApplication application(qtArgc, qtArgv);
    return RUN_ALL_TESTS();
}
