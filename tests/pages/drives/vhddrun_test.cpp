// The auto-mount list page used as a user uses it: the list file it writes and reads, the
// letters it offers, and switching Tolvane's start at log-on on and off.
#include "PageTest.h"
#include "Strings.h"

#include <QGroupBox>
#include <QStringList>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{

constexpr auto kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr auto kListFile = "drive_c/windows/system32/Tolvane.ini";
constexpr auto kProgramFile = "drive_c/windows/system32/Tolvane.exe";

class VhddRunTest : public PageTest
{
protected:
    // Opens the page with start-up mounting on (the list panel shown) and `list` as the file.
    Page &OpenWithList(const std::string &list)
    {
        PutString(HKEY_LOCAL_MACHINE, kRunKey, "Tolvane", "Tolvane.exe");
        machine_.WriteFile(kListFile, list);
        return Open("runSubst");
    }

    QString Text(const char *name) const { return Current<QLineEdit>(name).text(); }

    // Adds or edits an entry through the editor panel; returns the boxes Save showed.
    Boxes Enter(const char *opener, const char *drive, const QString &folder,
                std::vector<MessageBoxAnswerer::Answer> answers = {})
    {
        Click(opener);
        auto &letters = Current<QComboBox>("cbodN");
        letters.setCurrentIndex(letters.findText(QLatin1String(drive)));
        Current<QLineEdit>("txtpN").setText(folder);
        return Click("btnsN", std::move(answers));
    }

    std::string ListFile() const { return machine_.ReadFile(kListFile); }
};

TEST_F(VhddRunTest, SavesEveryEntryAsOneLineEditingMovesItToTheEndAndDeletingEmptiesTheFile)
{
    OpenWithList("");
    EXPECT_TRUE(Enter("btnN", "E:", "C:\\GAMES").empty());
    EXPECT_TRUE(Enter("btnN", "F:", "D:\\WORK").empty());
    EXPECT_EQ(ListFile(), "E:C:\\GAMES\r\nF:D:\\WORK\r\n");
    EXPECT_EQ(Text("txtP"), "C:\\GAMES");

    Enter("btnS", "H:", "C:\\GAMES2");
    EXPECT_EQ(ListFile(), "F:D:\\WORK\r\nH:C:\\GAMES2\r\n");
    EXPECT_EQ(Rows("cboD"), (QStringList{"F:", "H:"}));
    EXPECT_EQ(Text("txtP"), "D:\\WORK");

    Click("btnD");
    Click("btnD");
    EXPECT_EQ(ListFile(), "") << "deleting the last entry leaves an empty file";
    EXPECT_EQ(Text("txtP"), "");
    EXPECT_FALSE(Current<QPushButton>("btnS").isEnabled()) << "nothing left to edit";
}

TEST_F(VhddRunTest, ShowsTheEntriesTolvaneMountsAndKeepsEveryLineItWasNotToldToChange)
{
    // Lines that are no entry by Tolvane's rule (a blank, a short line, a letter out of range,
    // subst switches) are not shown; every line not edited is written back as it was.
    const std::string kept = "E:C:\\Old,New\r\n\r\nx\r\n1:C:\\odd\r\nE:/D\r\n/DE:\r\nG:C:\\Caf\xe9\r\n";
    OpenWithList(kept + "F:C:\\Игры");
    EXPECT_EQ(Rows("cboD"), (QStringList{"E:", "G:", "F:"}));
    EXPECT_EQ(Text("txtP"), "C:\\Old,New");
    Enter("btnN", "H:", "C:\\My Games");
    EXPECT_EQ(ListFile(), kept + "F:C:\\Игры\r\nH:C:\\My Games\r\n");
    Current<QComboBox>("cboD").setCurrentIndex(1);
    Enter("btnS", "G:", Text("txtP"));
    EXPECT_TRUE(ListFile().ends_with("\r\nH:C:\\My Games\r\nG:C:\\Caf\xe9\r\n"))
        << "saved unchanged, it keeps its bytes";
}

TEST_F(VhddRunTest, OffersOnlyFreeLettersWithTheEditedEntrysOwnFirst)
{
    fs::create_directory_symlink("../drive_c/windows", machine_.PathOf("dosdevices/d:"));
    OpenWithList("F:C:\\GAMES\r\nE:C:\\WORK\r\n");
    Click("btnN");
    const QStringList offered = Rows("cbodN");
    EXPECT_EQ(offered.first(), "G:");
    for (const char *taken : {"C:", "D:", "E:", "F:", "Z:"})
        EXPECT_FALSE(offered.contains(QLatin1String(taken))) << taken;
    Click("btnC");

    Click("btnS");
    EXPECT_EQ(Rows("cbodN").first(), "F:");
    EXPECT_EQ(Rows("cbodN").mid(1), offered);
    EXPECT_EQ(Text("txtpN"), "C:\\GAMES");
}

TEST_F(VhddRunTest, AnEntryTolvaneWouldNotMountIsNotSavedAndSwitchingOffKeepsTheList)
{
    Page &page = OpenWithList("E:C:\\GAMES\r\n");
    Click("btnN");
    Control<QLineEdit>(page, "txtpN").clear();
    Click("btnsN");
    EXPECT_TRUE(Control<QGroupBox>(page, "FrameN").isVisible());
    EXPECT_FALSE(Control<QCheckBox>(page, "chkAutorun").isEnabled());
    Control<QComboBox>(page, "cbodN").clear();
    Control<QLineEdit>(page, "txtpN").setText("C:\\GAMES");
    Click("btnsN");
    EXPECT_TRUE(Control<QGroupBox>(page, "FrameN").isVisible());
    Click("btnC");
    // A folder Tolvane would skip is refused with a message, the editor still open.
    for (const char *folder : {"/D", "GAMES", "C:GAMES", "C:\\a\"b", "C:\\a/b", "\\\\server", "C:\\a|b"}) {
        const Boxes boxes = Enter("btnN", "F:", QString::fromUtf8(folder), {Ok});
        EXPECT_EQ(boxes.size() == 1 ? boxes[0].text : QString(), LoadResString(378)) << folder;
        EXPECT_TRUE(Control<QGroupBox>(page, "FrameN").isVisible()) << folder;
        Click("btnC");
    }
    EXPECT_TRUE(Control<QGroupBox>(page, "frameO").isVisible());
    EXPECT_TRUE(Control<QCheckBox>(page, "chkAutorun").isEnabled());
    EXPECT_EQ(ListFile(), "E:C:\\GAMES\r\n") << "nothing was saved";

    // Switching off removes only the Run value; switching on again keeps an existing program.
    // (Switching on is also driven through the real program, end to end.)
    machine_.WriteFile(kProgramFile, "an older Tolvane");
    auto &autorun = Control<QCheckBox>(page, "chkAutorun");
    ASSERT_TRUE(autorun.isChecked());
    autorun.click();
    EXPECT_FALSE(Stored(HKEY_LOCAL_MACHINE, kRunKey, "Tolvane").has_value());
    EXPECT_FALSE(Control<QGroupBox>(page, "frameO").isVisible());
    EXPECT_EQ(ListFile(), "E:C:\\GAMES\r\n") << "the list stays";
    autorun.click();
    EXPECT_EQ(machine_.ReadFile(kProgramFile), "an older Tolvane");
    EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, kRunKey, "Tolvane"), "Tolvane.exe");
}

TEST_F(VhddRunTest, AListThatCannotBeWrittenIsToldOnceAndThePageShowsWhatIsStored)
{
    OpenWithList("E:C:\\GAMES\r\n");
    fs::permissions(machine_.PathOf("drive_c/windows/system32"), fs::perms::owner_write, fs::perm_options::remove);
    const Boxes boxes = Enter("btnN", "F:", "D:\\WORK", {Ok});
    Click("btnD", {Ok});
    fs::permissions(machine_.PathOf("drive_c/windows/system32"), fs::perms::owner_write, fs::perm_options::add);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains("Tolvane.ini")) << boxes[0].text.toStdString();
    EXPECT_EQ(ListFile(), "E:C:\\GAMES\r\n");
    EXPECT_EQ(Rows("cboD"), (QStringList{"E:"})) << "the page shows what the file holds";
    Enter("btnN", "F:", "D:\\WORK");
    EXPECT_EQ(ListFile(), "E:C:\\GAMES\r\nF:D:\\WORK\r\n") << "the next save writes again";
}

} // namespace
