// The file type icon page: the extension looked up as it is typed, the previews with their
// "DEFAULT" fallback, and Apply changing a type that several extensions share or registering a
// type for a new extension.
#include "IconPageTest.h"
#include "IconPictures.h"

namespace
{

constexpr auto kNoPicture = "C:\\Icons\\not-an-icon.ico";

class FileTypePage : public IconPageTest
{
protected:
    void SetUp() override
    {
        IconPageTest::SetUp();
        WriteFileBytes(win::HostPathOf(kNoPicture), "MZ this is no picture");
    }
    static QLineEdit &Box(const char *name) { return Current<QLineEdit>(name); }
    static QImage Picture(const char *name) { return Current<QLabel>(name).pixmap().toImage(); }
    static QImage Fallback()
    {
        QLabel label;
        IconPictures::ShowResourceIcon(label, "DEFAULT");
        return label.pixmap().toImage();
    }
};

TEST_F(FileTypePage, PreviewsFallBackToDefaultAndApplyChangesASharedTypeOrMakesANewOne)
{
    const std::string icon = WriteIcon("C:\\Icons\\red.ico", Qt::red);
    PutString(HKEY_CLASSES_ROOT, ".txt", "", "txtfile");
    // The file is the part before the last comma.
    const std::pair<std::string, bool> cases[] = {
        {icon + ",5", true},
        {icon, true},
        {WriteIcon("C:\\Icons\\a,b.ico") + ",0", true},
        {"%1", false},
        {"", false},
        {"C:\\missing.ico,0", false},
        {std::string(kNoPicture) + ",0", false},
    };
    for (const auto &[location, red] : cases) {
        PutString(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", "", location);
        Open("FIcon");
        EXPECT_EQ(Box("TxtFileInf").text(), "txtfile");
        EXPECT_EQ(Box("TxtCurIco").text().toStdString(), location);
        if (red)
            EXPECT_EQ(Shown(Current<QLabel>("img")), QColor(Qt::red)) << location;
        else
            EXPECT_EQ(Picture("img"), Fallback()) << location;
    }

    // A type that several extensions share changes for every one of them.
    PutString(HKEY_CLASSES_ROOT, ".log", "", "txtfile");
    Box("TxtRas").setText("LOG");
    EXPECT_EQ(Box("TxtFileInf").text(), "txtfile");
    ClickChoosing("cmdbrowse", icon);
    EXPECT_TRUE(Click("cmdNewIco").empty()); // no question, and nothing failed
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, ".log", ""), "txtfile");
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", ""), icon + ",0");
    Box("TxtRas").setText("txt");
    EXPECT_EQ(Box("TxtCurIco").text().toStdString(), icon + ",0");

    // Apply without an icon file says so and writes nothing.
    const std::string green = WriteIcon("C:\\Icons\\a.ico", Qt::green);
    Box("TxtRas").setText("new");
    ClickChoosing("cmdbrowse", green);
    EXPECT_EQ(Shown(Current<QLabel>("img2")), QColor(Qt::green));
    // A chosen file that is no picture shows "DEFAULT", not the previous choice.
    ClickChoosing("cmdbrowse", kNoPicture);
    EXPECT_EQ(Picture("img2"), Fallback());
    ClickChoosing("cmdbrowse", "");
    EXPECT_EQ(Box("TxtSelIco").text(), "");

    EXPECT_EQ(Texts(Click("cmdNewIco", {Ok})), QStringList{"Please Select icon file..."});
    EXPECT_FALSE(Stored(HKEY_CLASSES_ROOT, ".new", ""));

    // An extension without a type gets one of its own.
    ClickChoosing("cmdbrowse", green);
    EXPECT_TRUE(Click("cmdNewIco").empty());
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, ".new", ""), "new_pellador_file");
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, "new_pellador_file\\DefaultIcon", ""), green + ",0");
    EXPECT_EQ(Box("TxtFileInf").text(), "new_pellador_file");
}

} // namespace
