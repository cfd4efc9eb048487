// The drive icon page: the "None" placeholder, and Apply that writes only after the question.
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
};

TEST_F(DriveIconPage, AMissingOrEmptyIconShowsNoneAndCannotBeApplied)
{
    PutString(HKEY_LOCAL_MACHINE, kDriveZ, "", "");
    Open("DrvIco");
    auto &drives = Control<QComboBox>(*MdlStart::CurrentPage, "Drv");
    EXPECT_EQ(drives.currentText(), "c:");
    EXPECT_EQ(Path(), "None");
    EXPECT_FALSE(ApplyEnabled());
    drives.setCurrentIndex(drives.findText("z:"));
    EXPECT_EQ(Path(), "None");
    EXPECT_FALSE(ApplyEnabled());
}

TEST_F(DriveIconPage, NoWritesNothingAndACancelledChoiceShowsNone)
{
    PutString(HKEY_LOCAL_MACHINE, kDriveC, "", "C:\\disk.ico");
    Open("DrvIco");
    EXPECT_TRUE(ApplyEnabled());
    // A location typed by hand is what Apply would write.
    Control<QLineEdit>(*MdlStart::CurrentPage, "txtIcoP").setText("shell32.dll,8");
    const Boxes declined = Click("cmdAP", {No});
    ASSERT_EQ(declined.size(), 1u);
    EXPECT_EQ(declined[0].text, "Save Changes ?");
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kDriveC, ""), "C:\\disk.ico");

    ClickChoosing("cmdbrowse", "");
    EXPECT_EQ(dialogTitle_, "Change icon file:");
    EXPECT_EQ(Path(), "None");
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_TRUE(Leave().empty());
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kDriveC, ""), "C:\\disk.ico");
}

} // namespace
