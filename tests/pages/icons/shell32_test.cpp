// The system icons page on the shell32.dll of a real Wine prefix: every icon listed with its
// name, the icon in effect drawn, and a replacement set and removed again.
#include "IconPageTest.h"
#include "Module.h"

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
        const std::filesystem::path dll = WineTemplate() + "/drive_c/windows/system32/shell32.dll";
        if (WineTemplate().empty() || !std::filesystem::exists(dll))
            return false;
        std::filesystem::create_directories(win::HostPathOf("C:\\windows\\system32"));
        std::filesystem::copy_file(dll, win::HostPathOf(kShellFile));
        return true;
    }

    static QListWidget &List() { return Current<QListWidget>("lstSI"); }
    static QLabel &Picture() { return Current<QLabel>("picI"); }
    static bool BackShown() { return !Current<QPushButton>("cmdBack").isHidden(); }

    // The picture that a file's icon at `index` gives.
    static QImage Drawn(const std::string &file, int index)
    {
        QLabel label;
        Module::DrawFileIcon(QString::fromStdString(file), index, &label);
        return label.pixmap().toImage();
    }
    static QImage StandardIcon(int index) { return Drawn(kShellFile, index); }
};

TEST_F(SystemIconsPage, ListsEveryIconOfWinesShell32WithItsNameAndDrawsEveryStoredLocation)
{
    if (!UseWineShell32())
        GTEST_SKIP() << "Wine is not installed: no shell32.dll to list and index";
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

    // Stored locations split at the first comma and read the index as a number: the stored
    // location, and the file and index of the icon drawn for it (none: nothing).
    const std::string icon = WriteIcon("C:\\Icons\\plain.ico", Qt::blue);
    const std::string shell = kShellFile;
    const std::tuple<std::string, std::string, int> cases[] = {
        {shell + ", 12", shell, 12},
        {shell + ",7abc", shell, 7},
        {shell + ",abc", shell, 0},
        {shell + ",2,5", shell, 2},
        {icon, icon, 0},
        {"C:\\Icons\\plain,x.ico,0", "", 0},
        {shell + ",100000", "", 0},
    };
    for (const auto &[location, file, index] : cases) {
        PutString(HKEY_LOCAL_MACHINE, kShellIcons, "1", location);
        Open("sysIco");
        List().setCurrentRow(1);
        EXPECT_TRUE(BackShown()) << location;
        EXPECT_EQ(Picture().pixmap().toImage(), file.empty() ? QImage() : Drawn(file, index)) << location;
    }
    // A value of a type that reads as no text still exists and can be removed.
    Put(HKEY_LOCAL_MACHINE, kShellIcons, "1", REG_EXPAND_SZ, "x\0", 2);
    Open("sysIco");
    List().setCurrentRow(1);
    EXPECT_TRUE(Picture().pixmap().isNull());
    EXPECT_TRUE(BackShown());
}

TEST_F(SystemIconsPage, ReplacementIsSetAndRemovedLeavingOtherIndexesAlone)
{
    Open("sysIco"); // without a shell32.dll: nothing listed, nothing drawn
    EXPECT_EQ(List().count(), 0);
    EXPECT_TRUE(Picture().pixmap().isNull());
    EXPECT_FALSE(BackShown());
    Leave();

    const bool wine = UseWineShell32();
    const std::string icon = WriteIcon("C:\\Icons\\mine.ico", Qt::red);
    PutString(HKEY_LOCAL_MACHINE, kShellIcons, "5", "C:\\other.ico,0");
    Open("sysIco");

    EXPECT_EQ(ClickChoosing("cmdCH", icon, {Yes}).size(), 1u);
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kShellIcons, "0"), icon + ",0");
    EXPECT_EQ(Shown(Picture()), QColor(Qt::red));
    EXPECT_TRUE(BackShown());

    EXPECT_EQ(Texts(Click("cmdBack", {Yes})), QStringList{"Replace current icon to default icon ?"});
    EXPECT_FALSE(Stored(HKEY_LOCAL_MACHINE, kShellIcons, "0"));
    EXPECT_FALSE(BackShown());
    if (wine) {
        EXPECT_EQ(Picture().pixmap().toImage(), StandardIcon(0));
    }
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kShellIcons, "5"), "C:\\other.ico,0");
}

} // namespace
