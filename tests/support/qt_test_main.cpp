// The main of the test programs that use widgets: one QApplication, headless unless told.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char *argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
