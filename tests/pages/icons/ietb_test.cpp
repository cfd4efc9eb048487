// The browser title and toolbar page: which root each box is read from, and Apply writing all
// three under both roots.
#include "IconPageTest.h"

namespace
{

constexpr auto kMain = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr auto kBrowser = "Software\\Microsoft\\Internet Explorer";
constexpr auto kToolbar = "Software\\Microsoft\\Internet Explorer\\Toolbar";

TEST_F(IconPageTest, BrowserValuesAreReadFromTheirRootsAndAppliedUnderBoth)
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

    Open("IETB");
    Current<QLineEdit>("txtDC").setText(QStringLiteral("My Browser"));
    EXPECT_EQ(Texts(Click("cmdAP", {Yes})), QStringList{"Save Changes ?"});
    for (const win::HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        EXPECT_EQ(StoredString(root, kMain, "Window Title"), "My Browser");
        EXPECT_EQ(StoredString(root, kBrowser, "Version"), "5.00");
        EXPECT_EQ(StoredString(root, kToolbar, "BackBitmap"), "C:\\user.bmp");
    }
}

} // namespace
