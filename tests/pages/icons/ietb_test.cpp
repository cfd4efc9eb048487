// The browser title and toolbar page: which root each box is read from, and Apply writing all
// three values under both roots only after the question.
#include "IconPageTest.h"

namespace
{

constexpr auto kMain = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr auto kBrowser = "Software\\Microsoft\\Internet Explorer";
constexpr auto kToolbar = "Software\\Microsoft\\Internet Explorer\\Toolbar";

TEST_F(IconPageTest, BrowserValuesAreReadFromTheirRootsAndWrittenUnderBothOnYesOnly)
{
    // Title and version come from the machine, the toolbar picture from the user.
    PutString(HKEY_CURRENT_USER, kMain, "Window Title", "user title");
    PutString(HKEY_LOCAL_MACHINE, kBrowser, "Version", "5.00");
    PutString(HKEY_CURRENT_USER, kBrowser, "Version", "user version");
    PutString(HKEY_LOCAL_MACHINE, kToolbar, "BackBitmap", "C:\\machine.bmp");
    Open("IETB");
    EXPECT_EQ(Current<QLineEdit>("txtDC").text(), "");
    EXPECT_EQ(Current<QLineEdit>("txtVer").text(), "5.00");
    EXPECT_EQ(Current<QLineEdit>("txtTBI").text(), "");
    EXPECT_TRUE(Leave().empty()); // nothing is asked on closing

    PutString(HKEY_LOCAL_MACHINE, kMain, "Window Title", "Old");
    PutString(HKEY_CURRENT_USER, kToolbar, "BackBitmap", "C:\\old.bmp");
    const std::string before = Hives();
    Open("IETB");
    EXPECT_EQ(Current<QLineEdit>("txtTBI").text(), "C:\\old.bmp");
    Current<QLineEdit>("txtDC").setText("My Browser");
    EXPECT_EQ(Texts(Click("cmdAP", {No})), QStringList{"Save Changes ?"});
    EXPECT_EQ(Hives(), before);

    ClickChoosing("cmdbrowse", "");
    EXPECT_EQ(Click("cmdAP", {Yes}).size(), 1u); // a save that worked says nothing more
    for (win::HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        EXPECT_EQ(StoredString(root, kMain, "Window Title"), "My Browser");
        EXPECT_EQ(StoredString(root, kBrowser, "Version"), "5.00");
        EXPECT_EQ(StoredString(root, kToolbar, "BackBitmap"), "");
    }
}

} // namespace
