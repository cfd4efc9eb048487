// The folder icon page: the copies and their counter, Desktop.ini written whole and
// kept around its four keys, the attributes (which Wine's own attrib reads as the platform's
// interop test shows), removal, the preview, and the drive root that never gets an icon.
#include "IconPageTest.h"
#include "IconPictures.h"

namespace
{

constexpr auto kCounterKey = "Software\\Halvorn\\Korvex";
constexpr auto kHiddenSystem = win::DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM};

class FolderIconPage : public IconPageTest
{
protected:
    static QPushButton &Button(const char *name) { return Current<QPushButton>(name); }
    static QLabel &Preview() { return Current<QLabel>("curIco"); }

    // Highlights the row of that folder name, as a click does.
    static void Select(const char *name)
    {
        auto &folders = Current<QListWidget>("Dir1");
        const auto rows = folders.findItems(QLatin1String(name), Qt::MatchExactly);
        ASSERT_EQ(rows.size(), 1) << name;
        folders.setCurrentItem(rows.first());
    }
    void MakeFolder(const char *windowsPath, win::DWORD attributes = 0) const
    {
        std::filesystem::create_directories(win::HostPathOf(windowsPath));
        if (attributes != 0) {
            ASSERT_TRUE(win::SetFileAttributesA(windowsPath, attributes));
        }
    }

    // Chooses the icon and applies it to the highlighted folder, answering Yes.
    Boxes Apply(const std::string &icon, bool copy)
    {
        Current<QCheckBox>("chk").setChecked(copy);
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
    std::string DesktopIni(const char *folder) const
    {
        return machine_.ReadFile("drive_c/" + std::string(folder) + "/Desktop.ini");
    }
};

// The counter is kept as Windows 9x keeps it: the copy after 256 is numbered 1 again.
TEST_F(FolderIconPage, CopiesAreNumberedFromZeroTheCounterWrapsThroughItsLowByteAndTheRootGetsNone)
{
    MakeFolder("C:\\Games");
    const std::string icon = WriteIcon("C:\\Icons\\game.ico");
    Open("FldIco");
    EXPECT_FALSE(Button("cdmApply").isEnabled());
    Select("C:\\");
    ClickChoosing("cmdbrowse", icon);
    EXPECT_FALSE(Button("cdmApply").isEnabled()) << "the drive root never gets an icon";
    Select("Games");
    // Without a counter the first copy is number 0; the question is the only box, as every write
    // succeeded, and the chosen file itself stays as it was.
    EXPECT_EQ(Texts(Apply(icon, true)), QStringList{"Change icon for folder C:\\Games ?"});
    EXPECT_NE(DesktopIni("Games").find("IconFile=KorvFld0.ico\r\n"), std::string::npos);
    EXPECT_EQ(Attributes("C:\\Games\\KorvFld0.ico"), kHiddenSystem);
    EXPECT_EQ(Attributes(icon), 0u);

    for (const auto &[counter, copy] :
         {std::pair{0u, "KorvFld1.ico"}, {255u, "KorvFld256.ico"}, {256u, "KorvFld1.ico"}}) {
        PutDword(HKEY_LOCAL_MACHINE, kCounterKey, "IconCount", counter);
        std::filesystem::remove(win::HostPathOf(std::string("C:\\Games\\") + copy));
        Apply(icon, true);
        EXPECT_TRUE(std::filesystem::exists(win::HostPathOf(std::string("C:\\Games\\") + copy))) << counter;
        EXPECT_NE(DesktopIni("Games").find(std::string("IconFile=") + copy + "\r\n"), std::string::npos) << counter;
    }
    EXPECT_EQ(StoredDword(HKEY_LOCAL_MACHINE, kCounterKey, "IconCount"), 1u);

    ClickChoosing("cmdbrowse", ""); // cancelled: no file, nothing to apply
    EXPECT_EQ(Current<QLineEdit>("txtIco").text(), "");
    EXPECT_FALSE(Button("cdmApply").isEnabled());
    EXPECT_FALSE(std::filesystem::exists(win::HostPathOf("C:\\Desktop.ini")));
}

TEST_F(FolderIconPage, DirectModeKeepsOtherLinesOfDesktopIniAndMarksTheChosenFile)
{
    MakeFolder("C:\\Music");
    // LF endings, another section, a key of its own and no final line end.
    machine_.WriteFile("drive_c/Music/Desktop.ini",
                       "[Other]\nA=1\n[.ShellClassInfo]\nInfoTip=Songs\nIconFile=old.ico\n; note");
    const std::string icon = WriteIcon("C:\\Icons\\note.ico");
    Open("FldIco");
    Select("Music");
    Apply(icon, false);
    const std::string after = DesktopIni("Music");
    for (const std::string &kept :
         std::initializer_list<std::string>{"[Other]\nA=1\n", "InfoTip=Songs\n", "; note", "IconFile=" + icon + "\n",
                                            "IconIndex=0", "OriginalIcon=%", "ConfirmFileOp=0"})
        EXPECT_NE(after.find(kept), std::string::npos) << kept << " in\n" << after;
    EXPECT_EQ(after.find("old.ico"), std::string::npos) << after;
    EXPECT_EQ(Attributes(icon), kHiddenSystem);
    EXPECT_FALSE(Stored(HKEY_LOCAL_MACHINE, kCounterKey, "IconCount"));
}

TEST_F(FolderIconPage, ThePreviewFallsBackToThePlainFolderAndRemovingClearsEveryAttribute)
{
    MakeFolder("C:\\Broken", FILE_ATTRIBUTE_SYSTEM);
    machine_.WriteFile("drive_c/Broken/bad.ico", std::string("\0\0\1\0\1\0", 6)); // truncated
    machine_.WriteFile("drive_c/Broken/Desktop.ini", "[.ShellClassInfo]\r\nIconFile=bad.ico\r\n");
    WriteIcon("C:\\Good\\a.ico", Qt::red);
    MakeFolder("C:\\Good", FILE_ATTRIBUTE_SYSTEM);
    machine_.WriteFile("drive_c/Good/Desktop.ini", "[.ShellClassInfo]\r\nIconFile=a.ico\r\n");
    MakeFolder("C:\\Old", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    machine_.WriteFile("drive_c/Old/Desktop.ini", "[.ShellClassInfo]\r\nInfoTip=x\r\n");
    Open("FldIco");
    Select("Good");
    ASSERT_EQ(Shown(Preview()), QColor(Qt::red));
    Select("Broken");
    EXPECT_EQ(Preview().pixmap().toImage(), Folder()) << "an icon file that cannot be drawn";
    Select("Old");
    // No "IconFile": the plain folder, and still the offer to remove.
    EXPECT_EQ(Preview().pixmap().toImage(), Folder());
    EXPECT_EQ(Texts(Click("cmdNoIco", {Yes})), QStringList{"Save Changes ?"});
    EXPECT_EQ(Attributes("C:\\Old"), 0u);
    EXPECT_FALSE(Button("cmdNoIco").isEnabled());
    EXPECT_EQ(DesktopIni("Old"), "[.ShellClassInfo]\r\nInfoTip=x\r\n");
}

TEST_F(FolderIconPage, AReadOnlyFolderReportsTheFailedWrite)
{
    MakeFolder("C:\\Locked");
    std::filesystem::permissions(win::HostPathOf("C:\\Locked"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    const std::string icon = WriteIcon("C:\\Icons\\a.ico");
    const win::DWORD iconAttributes = Attributes(icon);
    const win::DWORD folderAttributes = Attributes("C:\\Locked");
    Open("FldIco");
    for (const bool copy : {true, false}) {
        Select("Locked");
        const Boxes asked = Apply(icon, copy);
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[1].icon, QMessageBox::Warning);
        EXPECT_FALSE(std::filesystem::exists(win::HostPathOf("C:\\Locked\\Desktop.ini")));
        // Without its Desktop.ini no attribute is changed, not even the chosen file's.
        EXPECT_EQ(Attributes("C:\\Locked"), folderAttributes) << copy;
        EXPECT_EQ(Attributes(icon), iconAttributes) << copy;
        // The page keeps the choice so that the user can try again.
        EXPECT_EQ(Current<QLineEdit>("txtIco").text().toStdString(), icon);
    }
}

} // namespace
