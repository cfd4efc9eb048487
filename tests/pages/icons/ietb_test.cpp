// The browser title and toolbar page: which root each box is read from. (Apply writing all three
// values under both roots is driven end to end.)
#include "IconPageTest.h"

namespace
{

constexpr auto kMain = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr auto kBrowser = "Software\\Microsoft\\Internet Explorer";
constexpr auto kToolbar = "Software\\Microsoft\\Internet Explorer\\Toolbar";

TEST_F(IconPageTest, BrowserValuesAreReadFromTheirRoots)
{
    // Title and version come from the machine, the toolbar picture from the user.
    PutString(HKEY_CURRENT_USER, kMain, "Window Title", "user title");
    PutString(HKEY_LOCAL_MACHINE, kBrowser, "Version", "5.00");
    PutString(HKEY_CURRENT_USER, kBrowser, "Version", "user version");
    PutString(HKEY_LOCAL_MACHINE, kToolbar, "BackBitmap", "C:\\machine.bmp");
    PutString(HKEY_CURRENT_USER, kToolbar, "BackBitmap", "C:\\user.bmp");
    Open("IETB");
    EXPECT_EQ(Current<QLineEdit>("txtDC").text(), "");
    EXPECT_EQ(Current<QLineEdit>("txtVer").text(), "5.00");
    EXPECT_EQ(Current<QLineEdit>("txtTBI").text(), "C:\\user.bmp");
    EXPECT_TRUE(Leave().empty()); // nothing is asked on closing
}

} // namespace
