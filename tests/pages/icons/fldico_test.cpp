// The folder icon page: the copies and their counter, Desktop.ini written line for line and
// kept around its four keys, the attributes (also as Wine's own attrib shows them), removal,
// the preview, and the drive root that never gets an icon.
#include "IconPageTest.h"
#include "IconPictures.h"
#include "frmFldIco.h"

#include <QCheckBox>
#include <QListWidget>
#include <QProcess>

namespace
{

constexpr auto kCounterKey = "Software\\Halvorn\\Korvex";

class FolderIconPage : public IconPageTest
{
protected:
    static QListWidget &Folders() { return Control<QListWidget>(*MdlStart::CurrentPage, "Dir1"); }
    static QPushButton &Button(const char *name) { return Control<QPushButton>(*MdlStart::CurrentPage, name); }

    // Highlights the row of that folder name, as a click does.
    static void Select(const char *name)
    {
        const auto rows = Folders().findItems(QLatin1String(name), Qt::MatchExactly);
        ASSERT_EQ(rows.size(), 1) << name;
        Folders().setCurrentItem(rows.first());
    }
    void MakeFolder(const char *windowsPath) const { std::filesystem::create_directories(HostOf(windowsPath)); }

    // Chooses the icon and applies it to the highlighted folder, answering Yes.
    Boxes Apply(const std::string &icon, bool copy)
    {
        Control<QCheckBox>(*MdlStart::CurrentPage, "chk").setChecked(copy);
        ClickChoosing("cmdbrowse", icon);
        return Click("cdmApply", {Yes});
    }
    static win::DWORD Attributes(const std::string &windowsPath)
    {
        return win::GetFileAttributesA(windowsPath.c_str()) & ~(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY);
    }
    static QImage Folder()
    {
        QLabel label;
        IconPictures::ShowResourceIcon(label, "FOLDER");
        return label.pixmap().toImage();
    }
};

TEST(IsFullPath, IsTheColonInSecondPlace)
{
    EXPECT_TRUE(frmFldIco::IsFullPath("C:\\Icons\\a.ico"));
    EXPECT_TRUE(frmFldIco::IsFullPath("c:"));
    EXPECT_FALSE(frmFldIco::IsFullPath("KorvFld0.ico"));
    EXPECT_FALSE(frmFldIco::IsFullPath("C"));
    EXPECT_FALSE(frmFldIco::IsFullPath(""));
}

TEST_F(FolderIconPage, CopiesAreNumberedFromZeroAndDesktopIniHasExactlyFiveLines)
{
    MakeFolder("C:\\Games");
    const std::string icon = WriteIcon("C:\\Icons\\game.ico", Qt::red);
    Open("FldIco");
    Select("Games");
    const Boxes asked = Apply(icon, true);
    ASSERT_EQ(asked.size(), 1u); // the question only: every write succeeded
    EXPECT_EQ(asked[0].text, "Change icon for folder C:\\Games ?");
    EXPECT_EQ(machine_.ReadFile("drive_c/Games/Desktop.ini"),
              "[.ShellClassInfo]\r\nIconFile=KorvFld0.ico\r\nIconIndex=0\r\nOriginalIcon=%\r\nConfirmFileOp=0\r\n");
    EXPECT_EQ(StoredDword(HKEY_LOCAL_MACHINE, kCounterKey, "IconCount"), 0u);
    EXPECT_EQ(Attributes("C:\\Games"), static_cast<win::DWORD>(FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(Attributes("C:\\Games\\KorvFld0.ico"),
              static_cast<win::DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(Attributes(icon), 0u); // the chosen file itself stays as it was

    Apply(icon, true);
    EXPECT_TRUE(std::filesystem::exists(HostOf("C:\\Games\\KorvFld0.ico")));
    EXPECT_TRUE(std::filesystem::exists(HostOf("C:\\Games\\KorvFld1.ico")));
    EXPECT_NE(machine_.ReadFile("drive_c/Games/Desktop.ini").find("IconFile=KorvFld1.ico\r\n"), std::string::npos);
    EXPECT_EQ(StoredDword(HKEY_LOCAL_MACHINE, kCounterKey, "IconCount"), 1u);

    // The preview follows on the next click of the folder.
    Select("C:\\");
    Select("Games");
    EXPECT_EQ(Shown(Control<QLabel>(*MdlStart::CurrentPage, "curIco")), QColor(Qt::red));
    EXPECT_TRUE(Button("cmdNoIco").isEnabled());
}

TEST_F(FolderIconPage, CounterWrapsThroughItsLowByte)
{
    MakeFolder("C:\\Games");
    const std::string icon = WriteIcon("C:\\Icons\\game.ico");
    PutDword(HKEY_LOCAL_MACHINE, kCounterKey, "IconCount", 255);
    Open("FldIco");
    Select("Games");
    Apply(icon, true);
    EXPECT_TRUE(std::filesystem::exists(HostOf("C:\\Games\\KorvFld256.ico")));
    EXPECT_EQ(StoredDword(HKEY_LOCAL_MACHINE, kCounterKey, "IconCount"), 256u);
    Apply(icon, true);
    EXPECT_TRUE(std::filesystem::exists(HostOf("C:\\Games\\KorvFld1.ico")));
    EXPECT_EQ(StoredDword(HKEY_LOCAL_MACHINE, kCounterKey, "IconCount"), 1u);
}

TEST_F(FolderIconPage, DirectModeKeepsOtherLinesOfDesktopIniAndMarksTheChosenFile)
{
    MakeFolder("C:\\Music");
    // LF endings, another section, a key of its own and no final line end.
    const std::string before = "[Other]\nA=1\n[.ShellClassInfo]\nInfoTip=Songs\nIconFile=old.ico\n; note";
    machine_.WriteFile("drive_c/Music/Desktop.ini", before);
    const std::string icon = WriteIcon("C:\\Icons\\note.ico");
    Open("FldIco");
    Select("Music");
    Apply(icon, false);
    const std::string after = machine_.ReadFile("drive_c/Music/Desktop.ini");
    for (const char *kept : {"[Other]\nA=1\n", "InfoTip=Songs\n", "; note"})
        EXPECT_NE(after.find(kept), std::string::npos) << kept << " in\n" << after;
    EXPECT_NE(after.find("IconFile=" + icon + "\n"), std::string::npos) << after;
    EXPECT_EQ(after.find("old.ico"), std::string::npos) << after;
    for (const char *added : {"IconIndex=0", "OriginalIcon=%", "ConfirmFileOp=0"})
        EXPECT_NE(after.find(added), std::string::npos) << added;
    EXPECT_EQ(Attributes(icon), static_cast<win::DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_FALSE(Stored(HKEY_LOCAL_MACHINE, kCounterKey, "IconCount"));
}

TEST_F(FolderIconPage, DriveRootNeverGetsAnIconAndCancelClearsTheFile)
{
    const std::string icon = WriteIcon("C:\\Icons\\a.ico");
    Open("FldIco");
    EXPECT_FALSE(Button("cdmApply").isEnabled());
    Select("C:\\");
    ClickChoosing("cmdbrowse", icon);
    EXPECT_EQ(dialogTitle_, "Select Icon File...");
    EXPECT_EQ(Control<QLineEdit>(*MdlStart::CurrentPage, "txtIco").text().toStdString(), icon);
    EXPECT_FALSE(Button("cdmApply").isEnabled());
    EXPECT_FALSE(std::filesystem::exists(HostOf("C:\\Desktop.ini")));

    Select("Icons");
    EXPECT_TRUE(Button("cdmApply").isEnabled());
    ClickChoosing("cmdbrowse", "");
    EXPECT_EQ(Control<QLineEdit>(*MdlStart::CurrentPage, "txtIco").text(), "");
    EXPECT_FALSE(Button("cdmApply").isEnabled());
}

TEST_F(FolderIconPage, RemovingClearsEveryAttributeAndLeavesDesktopIni)
{
    MakeFolder("C:\\Old");
    machine_.WriteFile("drive_c/Old/Desktop.ini", "[.ShellClassInfo]\r\nInfoTip=x\r\n");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Old", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN));
    Open("FldIco");
    Select("Old");
    // No "IconFile": the plain folder, and still the offer to remove.
    EXPECT_EQ(Control<QLabel>(*MdlStart::CurrentPage, "curIco").pixmap().toImage(), Folder());
    ASSERT_TRUE(Button("cmdNoIco").isEnabled());
    const Boxes asked = Click("cmdNoIco", {Yes});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Save Changes ?");
    EXPECT_EQ(Attributes("C:\\Old"), 0u);
    EXPECT_FALSE(Button("cmdNoIco").isEnabled());
    EXPECT_EQ(machine_.ReadFile("drive_c/Old/Desktop.ini"), "[.ShellClassInfo]\r\nInfoTip=x\r\n");
}

TEST_F(FolderIconPage, AnIconFileThatCannotBeDrawnShowsThePlainFolder)
{
    MakeFolder("C:\\Broken");
    machine_.WriteFile("drive_c/Broken/bad.ico", std::string("\0\0\1\0\1\0", 6)); // truncated
    machine_.WriteFile("drive_c/Broken/Desktop.ini", "[.ShellClassInfo]\r\nIconFile=bad.ico\r\n");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Broken", FILE_ATTRIBUTE_SYSTEM));
    const std::string icon = WriteIcon("C:\\Good\\a.ico", Qt::red);
    machine_.WriteFile("drive_c/Good/Desktop.ini", "[.ShellClassInfo]\r\nIconFile=a.ico\r\n");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Good", FILE_ATTRIBUTE_SYSTEM));
    Open("FldIco");
    Select("Good");
    ASSERT_EQ(Shown(Control<QLabel>(*MdlStart::CurrentPage, "curIco")), QColor(Qt::red));
    Select("Broken");
    EXPECT_EQ(Control<QLabel>(*MdlStart::CurrentPage, "curIco").pixmap().toImage(), Folder());
}

TEST_F(FolderIconPage, AReadOnlyFolderReportsTheFailedWriteOnce)
{
    MakeFolder("C:\\Locked");
    std::filesystem::permissions(HostOf("C:\\Locked"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    const std::string icon = WriteIcon("C:\\Icons\\a.ico");
    Open("FldIco");
    Select("Locked");
    const Boxes asked = Apply(icon, true);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].icon, QMessageBox::Warning);
    EXPECT_FALSE(std::filesystem::exists(HostOf("C:\\Locked\\Desktop.ini")));
    // The page keeps the choice so that the user can try again.
    EXPECT_EQ(Control<QLineEdit>(*MdlStart::CurrentPage, "txtIco").text().toStdString(), icon);
}

// What Wine's own attrib says about a file of the machine: its letters, or empty.
QString WineAttrib(const std::string &prefix, const char *windowsPath)
{
    QProcess wine;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", QString::fromStdString(prefix));
    env.insert("WINEDEBUG", "-all");
    wine.setProcessEnvironment(env);
    wine.start("wine", {"cmd", "/c", "attrib", windowsPath});
    if (!wine.waitForFinished(60000))
        return {};
    QProcess::execute("wineserver", {"-k"});
    return QString::fromLocal8Bit(wine.readAllStandardOutput());
}

TEST_F(FolderIconPage, WinesAttribSeesTheAttributes)
{
    const char *folder = std::getenv("KORVEX_WINE_TEMPLATE");
    if (!folder || !std::filesystem::exists(std::filesystem::path(folder) / "system.reg"))
        GTEST_SKIP() << "Wine is not installed";
    TempMachine prefix(folder);
    std::filesystem::create_directories(prefix.PathOf("drive_c/Games"));
    std::filesystem::create_directories(prefix.PathOf("drive_c/Icons"));
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(prefix.PathOf("drive_c/Icons/g.ico")), "ico"));
    Open("FldIco");
    Select("Games");
    Control<QCheckBox>(*MdlStart::CurrentPage, "chk").setChecked(true);
    {
        const ModalWatcher chooser([&prefix](QWidget *modal) {
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
                    ->setText(QString::fromStdString(prefix.PathOf("drive_c/Icons/g.ico")));
                dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open)->click();
            }
        });
        Click("cmdbrowse");
    }
    ASSERT_EQ(Click("cdmApply", {Yes}).size(), 1u);
    const QString copy = WineAttrib(prefix.Folder(), "C:\\Games\\KorvFld0.ico");
    // "A  SH        C:\Games\KorvFld0.ico": the letters stand before the name.
    ASSERT_GT(copy.indexOf("C:\\"), 0) << copy.toStdString();
    const QString letters = copy.left(copy.indexOf("C:\\"));
    EXPECT_TRUE(letters.contains('S') && letters.contains('H')) << copy.toStdString();
}

} // namespace
