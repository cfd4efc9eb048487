// The browser title and toolbar page: which root each box is read from, and Apply writing all
// three values under both roots after the question.
#include "IconPageTest.h"

namespace
{

constexpr auto kMain = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr auto kBrowser = "Software\\Microsoft\\Internet Explorer";
constexpr auto kToolbar = "Software\\Microsoft\\Internet Explorer\\Toolbar";

using BrowserPage = IconPageTest;

QString Box(const char *name)
{
    return Control<QLineEdit>(*MdlStart::CurrentPage, name).text();
}

TEST_F(BrowserPage, ReadsTitleAndVersionFromTheMachineAndThePictureFromTheUser)
{
    PutString(HKEY_CURRENT_USER, kMain, "Window Title", "user title");
    PutString(HKEY_LOCAL_MACHINE, kBrowser, "Version", "5.00");
    PutString(HKEY_CURRENT_USER, kBrowser, "Version", "user version");
    PutString(HKEY_LOCAL_MACHINE, kToolbar, "BackBitmap", "C:\\machine.bmp");
    Open("IETB");
    EXPECT_EQ(Box("txtDC"), "");
    EXPECT_EQ(Box("txtVer"), "5.00");
    EXPECT_EQ(Box("txtTBI"), "");
    EXPECT_EQ(Control<QPushButton>(*MdlStart::CurrentPage, "cmdAP").text(), "Apply");
    EXPECT_TRUE(Leave().empty()); // nothing is asked on closing
}

TEST_F(BrowserPage, ApplyWritesAllSixValuesOnYesOnly)
{
    PutString(HKEY_LOCAL_MACHINE, kMain, "Window Title", "Old");
    Open("IETB");
    Control<QLineEdit>(*MdlStart::CurrentPage, "txtDC").setText("My Browser");
    Control<QLineEdit>(*MdlStart::CurrentPage, "txtVer").setText("6.0 Korvex");
    Control<QLineEdit>(*MdlStart::CurrentPage, "txtTBI").setText("C:\\back.bmp");

    const Boxes declined = Click("cmdAP", {No});
    ASSERT_EQ(declined.size(), 1u);
    EXPECT_EQ(declined[0].text, "Save Changes ?");
    EXPECT_EQ(declined[0].title, "Saving...");
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kMain, "Window Title"), "Old");
    EXPECT_FALSE(Stored(HKEY_CURRENT_USER, kMain, "Window Title"));

    EXPECT_EQ(Click("cmdAP", {Yes}).size(), 1u); // a save that worked says nothing more
    for (win::HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        EXPECT_EQ(StoredString(root, kMain, "Window Title"), "My Browser");
        EXPECT_EQ(StoredString(root, kBrowser, "Version"), "6.0 Korvex");
        EXPECT_EQ(StoredString(root, kToolbar, "BackBitmap"), "C:\\back.bmp");
    }
}

TEST_F(BrowserPage, CancelledPictureDialogStoresAnEmptyPictureUnderBothRoots)
{
    PutString(HKEY_CURRENT_USER, kToolbar, "BackBitmap", "C:\\old.bmp");
    Open("IETB");
    ASSERT_EQ(Box("txtTBI"), "C:\\old.bmp");
    ClickChoosing("cmdbrowse", "");
    EXPECT_EQ(dialogTitle_, "Select Picture file...");
    EXPECT_EQ(Box("txtTBI"), "");
    Click("cmdAP", {Yes});
    EXPECT_EQ(StoredString(HKEY_CURRENT_USER, kToolbar, "BackBitmap"), "");
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kToolbar, "BackBitmap"), "");
}

} // namespace
