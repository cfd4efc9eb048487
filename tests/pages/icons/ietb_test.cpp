// The browser title and toolbar page: which root each box is read from, and Apply writing all
// three values under both roots only after the question.
#include "IconPageTest.h"

namespace
{

constexpr auto kMain = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr auto kBrowser = "Software\\Microsoft\\Internet Explorer";
constexpr auto kToolbar = "Software\\Microsoft\\Internet Explorer\\Toolbar";

QString Box(const char *name)
{
    return Control<QLineEdit>(*MdlStart::CurrentPage, name).text();
}

TEST_F(IconPageTest, BrowserTitleAndVersionComeFromTheMachineAndThePictureFromTheUser)
{
    PutString(HKEY_CURRENT_USER, kMain, "Window Title", "user title");
    PutString(HKEY_LOCAL_MACHINE, kBrowser, "Version", "5.00");
    PutString(HKEY_CURRENT_USER, kBrowser, "Version", "user version");
    PutString(HKEY_LOCAL_MACHINE, kToolbar, "BackBitmap", "C:\\machine.bmp");
    Open("IETB");
    EXPECT_EQ(Box("txtDC"), "");
    EXPECT_EQ(Box("txtVer"), "5.00");
    EXPECT_EQ(Box("txtTBI"), "");
    EXPECT_TRUE(Leave().empty()); // nothing is asked on closing
}

TEST_F(IconPageTest, BrowserValuesAreWrittenOnYesOnlyAndACancelledPictureIsEmpty)
{
    PutString(HKEY_LOCAL_MACHINE, kMain, "Window Title", "Old");
    PutString(HKEY_CURRENT_USER, kToolbar, "BackBitmap", "C:\\old.bmp");
    Open("IETB");
    Control<QLineEdit>(*MdlStart::CurrentPage, "txtDC").setText("My Browser");
    const Boxes declined = Click("cmdAP", {No});
    ASSERT_EQ(declined.size(), 1u);
    EXPECT_EQ(declined[0].title, "Saving...");
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kMain, "Window Title"), "Old");
    EXPECT_FALSE(Stored(HKEY_CURRENT_USER, kMain, "Window Title"));

    ClickChoosing("cmdbrowse", "");
    EXPECT_EQ(dialogTitle_, "Select Picture file...");
    EXPECT_EQ(Click("cmdAP", {Yes}).size(), 1u); // a save that worked says nothing more
    for (win::HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        EXPECT_EQ(StoredString(root, kMain, "Window Title"), "My Browser");
        EXPECT_EQ(StoredString(root, kBrowser, "Version"), "");
        EXPECT_EQ(StoredString(root, kToolbar, "BackBitmap"), "");
    }
}

} // namespace
