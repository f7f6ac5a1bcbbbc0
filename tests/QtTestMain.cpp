// GoogleTest's main for tests that need the toolkit: one QApplication, offscreen.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    int qtArgc = 1;
    char name[] = "korvanith-test";
    char* qtArgv[] = {name, nullptr};
    QApplication application(qtArgc, qtArgv);
    return RUN_ALL_TESTS();
}
