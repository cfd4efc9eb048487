// The file type icon page: the extension looked up as it is typed, the previews with their
// "DEFAULT" fallback, and Apply registering a type of its own or changing a shared one.
#include "IconPageTest.h"
#include "IconPictures.h"
#include "frmFIcon.h"

namespace
{

constexpr auto kNoPicture = "C:\\Icons\\not-an-icon.ico";

class FileTypePage : public IconPageTest
{
protected:
    static QLineEdit &Box(const char *name) { return Control<QLineEdit>(*MdlStart::CurrentPage, name); }
    static QLabel &Picture(const char *name) { return Control<QLabel>(*MdlStart::CurrentPage, name); }

    static QImage Fallback()
    {
        QLabel label;
        IconPictures::ShowResourceIcon(label, "DEFAULT");
        return label.pixmap().toImage();
    }
    void WriteNoPicture() const
    {
        std::filesystem::create_directories(HostOf("C:\\Icons"));
        std::ofstream(HostOf(kNoPicture)) << "MZ this is no picture";
    }
};

TEST(GetFIP, TakesThePartBeforeTheLastComma)
{
    EXPECT_EQ(frmFIcon::GetFIP("%1"), "Error");
    EXPECT_EQ(frmFIcon::GetFIP("a,b"), "Error");
    EXPECT_EQ(frmFIcon::GetFIP("C:\\Windows\\moricons.dll,5"), "C:\\Windows\\moricons.dll");
    EXPECT_EQ(frmFIcon::GetFIP("C:\\a,b\\c.ico,0"), "C:\\a,b\\c.ico");
    EXPECT_EQ(frmFIcon::GetFIP("\"C:\\x.ico\""), "\"C:\\x.ico\"");
}

TEST_F(FileTypePage, PreviewShowsTheIconFileOrDefault)
{
    const std::string icon = WriteIcon("C:\\Icons\\red.ico", Qt::red);
    WriteNoPicture();
    PutString(HKEY_CLASSES_ROOT, ".txt", "", "txtfile");
    struct Case {
        std::string location;
        bool red;
    };
    const Case cases[] = {
        {icon + ",5", true},
        {icon, true},
        {"%1", false},
        {"", false},
        {"C:\\missing.ico,0", false},
        {std::string(kNoPicture) + ",0", false},
    };
    for (const Case &c : cases) {
        PutString(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", "", c.location);
        Open("FIcon");
        EXPECT_EQ(Box("TxtRas").text(), "txt");
        EXPECT_EQ(Box("TxtFileInf").text(), "txtfile");
        EXPECT_EQ(Box("TxtCurIco").text().toStdString(), c.location);
        if (c.red) {
            EXPECT_EQ(Shown(Picture("img")), QColor(Qt::red)) << c.location;
        } else {
            EXPECT_EQ(Picture("img").pixmap().toImage(), Fallback()) << c.location;
        }
    }
}

TEST_F(FileTypePage, NewExtensionGetsATypeOfItsOwn)
{
    const std::string icon = WriteIcon("C:\\Icons\\abc.ico", Qt::green);
    Open("FIcon");
    Box("TxtRas").clear();
    Type(Box("TxtRas"), "abc");
    EXPECT_EQ(Box("TxtFileInf").text(), "");
    ClickChoosing("cmdbrowse", icon);
    EXPECT_EQ(dialogTitle_, "Please select icon file...");
    EXPECT_EQ(Box("TxtSelIco").text().toStdString(), icon);
    EXPECT_EQ(Shown(Picture("img2")), QColor(Qt::green));

    EXPECT_TRUE(Click("cmdNewIco").empty()); // no question, and nothing failed
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, ".abc", ""), "abc_pellador_file");
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, "abc_pellador_file\\DefaultIcon", ""), icon + ",0");
    EXPECT_EQ(Box("TxtFileInf").text(), "abc_pellador_file");
    EXPECT_EQ(Box("TxtCurIco").text().toStdString(), icon + ",0");
    EXPECT_EQ(Shown(Picture("img")), QColor(Qt::green));
}

TEST_F(FileTypePage, SharedTypeChangesForEveryExtensionOfIt)
{
    const std::string icon = WriteIcon("C:\\Icons\\text.ico");
    PutString(HKEY_CLASSES_ROOT, ".txt", "", "txtfile");
    PutString(HKEY_CLASSES_ROOT, ".log", "", "txtfile");
    PutString(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", "", "C:\\old.ico,1");
    Open("FIcon");
    Box("TxtRas").setText("LOG");
    EXPECT_EQ(Box("TxtFileInf").text(), "txtfile");
    ClickChoosing("cmdbrowse", icon);
    Click("cmdNewIco");
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, ".log", ""), "txtfile");
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", ""), icon + ",0");
    Box("TxtRas").setText("txt");
    EXPECT_EQ(Box("TxtCurIco").text().toStdString(), icon + ",0");
}

TEST_F(FileTypePage, ApplyWithoutAnIconFileSaysSoAndWritesNothing)
{
    const std::string icon = WriteIcon("C:\\Icons\\a.ico");
    WriteNoPicture();
    Open("FIcon");
    Box("TxtRas").setText("new");
    ClickChoosing("cmdbrowse", icon);
    // A chosen file that is no picture shows "DEFAULT", not the previous choice.
    ClickChoosing("cmdbrowse", kNoPicture);
    EXPECT_EQ(Picture("img2").pixmap().toImage(), Fallback());
    ClickChoosing("cmdbrowse", "");
    EXPECT_EQ(Box("TxtSelIco").text(), "");

    const Boxes shown = Click("cmdNewIco", {Ok});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Please Select icon file...");
    EXPECT_EQ(shown[0].title, "File Not Found");
    EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
    EXPECT_FALSE(Stored(HKEY_CLASSES_ROOT, ".new", ""));
}

} // namespace

namespace
{

TEST_F(FileTypePage, NewMachineShowsItsFileTypes)
{
    UseSeed();
    Open("FIcon");
    EXPECT_EQ(Box("TxtFileInf").text(), "txtfile");
    Box("TxtRas").setText("log");
    EXPECT_EQ(Box("TxtFileInf").text(), "txtfile");
    Box("TxtRas").setText("ini");
    EXPECT_EQ(Box("TxtFileInf").text(), "inifile");
    EXPECT_EQ(Box("TxtCurIco").text(), "C:\\windows\\system32\\shell32.dll,-151");
    EXPECT_EQ(Picture("img").pixmap().toImage(), Fallback()); // a library is no picture
}

} // namespace
