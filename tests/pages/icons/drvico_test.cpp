// The drive icon page: the "None" placeholder of a missing, empty or cancelled icon, which
// leaves nothing to apply. (Apply after the question is driven end to end.)
#include "IconPageTest.h"

namespace
{

constexpr auto kDriveC = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\DriveIcons\\C\\DefaultIcon";
constexpr auto kDriveZ = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\DriveIcons\\Z\\DefaultIcon";

TEST_F(IconPageTest, DriveIconsMissingEmptyOrCancelledShowNoneAndWriteNothing)
{
    PutString(HKEY_LOCAL_MACHINE, kDriveZ, "", "");
    Open("DrvIco");
    auto &path = Current<QLineEdit>("txtIcoP");
    auto &apply = Current<QPushButton>("cmdAP");
    auto &drives = Current<QComboBox>("Drv");
    for (const char *drive : {"c:", "z:"}) { // missing, then empty
        drives.setCurrentIndex(drives.findText(drive));
        EXPECT_EQ(path.text(), "None") << drive;
        EXPECT_FALSE(apply.isEnabled()) << drive;
    }
    PutString(HKEY_LOCAL_MACHINE, kDriveC, "", "C:\\disk.ico");
    const std::string before = Hives();
    drives.setCurrentIndex(drives.findText("c:"));
    EXPECT_TRUE(apply.isEnabled());
    ClickChoosing("cmdbrowse", "");
    EXPECT_EQ(path.text(), "None");
    EXPECT_FALSE(apply.isEnabled());
    EXPECT_TRUE(Leave().empty());
    EXPECT_EQ(Hives(), before);
}

} // namespace
