// The system icons page on the shell32.dll of a real Wine prefix: every icon listed with its
// name, the icon in effect drawn, and a replacement set and removed again.
#include "IconPageTest.h"
#include "Module.h"
#include "Strings.h"

#include <QListWidget>
#include <cstdlib>

namespace
{

constexpr auto kShellIcons = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Icons";
constexpr auto kShellFile = "C:\\windows\\system32\\shell32.dll";

class SystemIconsPage : public IconPageTest
{
protected:
    // Puts the shell32.dll of the Wine prefix made for this test run into the machine.
    bool UseWineShell32()
    {
        const char *prefix = std::getenv("KORVEX_WINE_TEMPLATE");
        const std::filesystem::path dll =
            std::filesystem::path(prefix ? prefix : "") / "drive_c/windows/system32/shell32.dll";
        if (!prefix || !std::filesystem::exists(dll))
            return false;
        std::filesystem::create_directories(HostOf("C:\\windows\\system32"));
        std::filesystem::copy_file(dll, HostOf(kShellFile));
        return true;
    }

    static QListWidget &List() { return Control<QListWidget>(*MdlStart::CurrentPage, "lstSI"); }
    static QLabel &Picture() { return Control<QLabel>(*MdlStart::CurrentPage, "picI"); }
    static bool BackShown() { return !Control<QPushButton>(*MdlStart::CurrentPage, "cmdBack").isHidden(); }

    // The picture the shell file's own icon at `index` gives.
    static QImage StandardIcon(int index)
    {
        QLabel label;
        Module::DrawFileIcon(QLatin1String(kShellFile), index, &label);
        return label.pixmap().toImage();
    }
};

TEST_F(SystemIconsPage, ListsEveryIconOfWinesShell32WithItsName)
{
    if (!UseWineShell32())
        GTEST_SKIP() << "Wine is not installed: no shell32.dll to list";
    Open("sysIco");
    // Wine's shell32.dll holds a couple of hundred icons; every one is listed.
    ASSERT_GT(List().count(), 100);
    EXPECT_EQ(List().count(), Module::DrawFileIcon(QLatin1String(kShellFile), -1, nullptr));
    EXPECT_EQ(List().item(3)->text(), "3\tClosed Folder");
    EXPECT_EQ(List().item(46)->text(), "46\tWindows Update (Start Menu)");
    EXPECT_EQ(List().item(List().count() - 1)->text(), QString::number(List().count() - 1) + "\tOther");
    // Index 0 is shown at once, with no entry highlighted.
    EXPECT_EQ(List().currentRow(), -1);
    EXPECT_EQ(Picture().pixmap().toImage(), StandardIcon(0));
    EXPECT_FALSE(BackShown());
    List().setCurrentRow(150);
    EXPECT_EQ(Picture().pixmap().toImage(), StandardIcon(150));

    Leave();
    UseRussian();
    Open("sysIco");
    EXPECT_EQ(List().item(47)->text(), "47\t" + LoadResString(447));
    EXPECT_NE(LoadResString(447), "Other");
}

TEST_F(SystemIconsPage, AMachineWithoutShell32ListsNothingAndDrawsNothing)
{
    Open("sysIco");
    EXPECT_EQ(List().count(), 0);
    EXPECT_TRUE(Picture().pixmap().isNull());
    EXPECT_FALSE(BackShown());
}

TEST_F(SystemIconsPage, ReplacementIsSetAndRemovedLeavingOtherIndexesAlone)
{
    const bool wine = UseWineShell32();
    const std::string icon = WriteIcon("C:\\Icons\\mine.ico", Qt::red);
    PutString(HKEY_LOCAL_MACHINE, kShellIcons, "5", "C:\\other.ico,0");
    Open("sysIco");

    const Boxes declined = ClickChoosing("cmdCH", icon, {No});
    ASSERT_EQ(declined.size(), 1u);
    EXPECT_EQ(declined[0].text, "Replace Icon ?");
    EXPECT_FALSE(Stored(HKEY_LOCAL_MACHINE, kShellIcons, "0"));

    EXPECT_EQ(ClickChoosing("cmdCH", icon, {Yes}).size(), 1u);
    EXPECT_EQ(dialogTitle_, "Select Icon File...");
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kShellIcons, "0"), icon + ",0");
    EXPECT_EQ(Shown(Picture()), QColor(Qt::red));
    EXPECT_TRUE(BackShown());

    const Boxes restored = Click("cmdBack", {Yes});
    ASSERT_EQ(restored.size(), 1u);
    EXPECT_EQ(restored[0].text, "Replace current icon to default icon ?");
    EXPECT_FALSE(Stored(HKEY_LOCAL_MACHINE, kShellIcons, "0"));
    EXPECT_FALSE(BackShown());
    if (wine) {
        EXPECT_EQ(Picture().pixmap().toImage(), StandardIcon(0));
    }
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kShellIcons, "5"), "C:\\other.ico,0");
}

TEST_F(SystemIconsPage, StoredLocationsSplitAtTheFirstCommaAndReadTheIndexAsANumber)
{
    if (!UseWineShell32())
        GTEST_SKIP() << "Wine is not installed: no icon library to index";
    const std::string icon = WriteIcon("C:\\Icons\\plain.ico", Qt::blue);
    struct Case {
        std::string location;
        int drawnIndex; // of shell32.dll; -1: the blue .ico; -2: nothing
    };
    const Case cases[] = {
        {std::string(kShellFile) + ", 12", 12},
        {std::string(kShellFile) + ",7abc", 7},
        {std::string(kShellFile) + ",abc", 0},
        {std::string(kShellFile) + ",2,5", 2},
        {icon, -1},
        {"C:\\Icons\\plain,x.ico,0", -2},
        {std::string(kShellFile) + ",100000", -2},
    };
    for (const Case &c : cases) {
        PutString(HKEY_LOCAL_MACHINE, kShellIcons, "1", c.location);
        Open("sysIco");
        List().setCurrentRow(1);
        EXPECT_TRUE(BackShown()) << c.location;
        if (c.drawnIndex >= 0) {
            EXPECT_EQ(Picture().pixmap().toImage(), StandardIcon(c.drawnIndex)) << c.location;
        } else if (c.drawnIndex == -1) {
            EXPECT_EQ(Shown(Picture()), QColor(Qt::blue)) << c.location;
        } else {
            EXPECT_TRUE(Picture().pixmap().isNull()) << c.location;
        }
    }
    // A value of a type that reads as no text still exists and can be removed.
    Put(HKEY_LOCAL_MACHINE, kShellIcons, "1", REG_EXPAND_SZ, "x\0", 2);
    Open("sysIco");
    List().setCurrentRow(1);
    EXPECT_TRUE(Picture().pixmap().isNull());
    EXPECT_TRUE(BackShown());
}

} // namespace
