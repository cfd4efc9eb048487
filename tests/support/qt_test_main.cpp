// The main of the test programs that use widgets: one QApplication, headless unless told, with
// settings (the window's place, the machine chosen last) in a folder of its own, never the
// developer's.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char *argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const QTemporaryDir settings;
    setenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit().constData(), 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
