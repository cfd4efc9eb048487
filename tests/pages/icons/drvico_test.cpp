// The drive icon page: the "None" placeholder, Apply after the question, and the letter in
// capitals in the key.
#include "IconPageTest.h"

#include <QComboBox>

namespace
{

constexpr auto kDriveC = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\DriveIcons\\C\\DefaultIcon";
constexpr auto kDriveZ = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\DriveIcons\\Z\\DefaultIcon";

class DriveIconPage : public IconPageTest
{
protected:
    static QString Path() { return Control<QLineEdit>(*MdlStart::CurrentPage, "txtIcoP").text(); }
    static bool ApplyEnabled() { return Control<QPushButton>(*MdlStart::CurrentPage, "cmdAP").isEnabled(); }
    static void ChooseDrive(const char *drive)
    {
        auto &list = Control<QComboBox>(*MdlStart::CurrentPage, "Drv");
        list.setCurrentIndex(list.findText(drive));
    }
};

TEST_F(DriveIconPage, ShowsNoneForADriveWithoutAnIcon)
{
    PutString(HKEY_LOCAL_MACHINE, kDriveZ, "", "");
    Open("DrvIco");
    EXPECT_EQ(Control<QComboBox>(*MdlStart::CurrentPage, "Drv").currentText(), "c:");
    EXPECT_EQ(Path(), "None");
    EXPECT_FALSE(ApplyEnabled());
    ChooseDrive("z:"); // an empty value is no icon either
    EXPECT_EQ(Path(), "None");
    EXPECT_FALSE(ApplyEnabled());
}

TEST_F(DriveIconPage, AppliesUnderTheCapitalLetterOnYesOnly)
{
    PutString(HKEY_LOCAL_MACHINE, kDriveC, "", "C:\\disk.ico");
    Open("DrvIco");
    EXPECT_EQ(Path(), "C:\\disk.ico");
    EXPECT_TRUE(ApplyEnabled());

    const std::string icon = WriteIcon("C:\\Icons\\drive.ico");
    ChooseDrive("z:");
    ClickChoosing("cmdbrowse", icon);
    // A location typed by hand is written as it stands.
    Control<QLineEdit>(*MdlStart::CurrentPage, "txtIcoP").setText("shell32.dll,8");
    const Boxes declined = Click("cmdAP", {No});
    ASSERT_EQ(declined.size(), 1u);
    EXPECT_EQ(declined[0].text, "Save Changes ?");
    EXPECT_FALSE(Stored(HKEY_LOCAL_MACHINE, kDriveZ, ""));
    EXPECT_EQ(Click("cmdAP", {Yes}).size(), 1u);
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kDriveZ, ""), "shell32.dll,8");
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kDriveC, ""), "C:\\disk.ico");
    EXPECT_TRUE(Leave().empty());
}

TEST_F(DriveIconPage, BrowsingFillsThePathAndCancellingShowsNone)
{
    PutString(HKEY_LOCAL_MACHINE, kDriveC, "", "C:\\disk.ico");
    const std::string icon = WriteIcon("C:\\Icons\\drive.ico");
    Open("DrvIco");
    ClickChoosing("cmdbrowse", icon);
    EXPECT_EQ(dialogTitle_, "Change icon file:");
    EXPECT_EQ(Path().toStdString(), icon);
    EXPECT_TRUE(ApplyEnabled());
    ClickChoosing("cmdbrowse", "");
    EXPECT_EQ(Path(), "None");
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kDriveC, ""), "C:\\disk.ico");
}

} // namespace
