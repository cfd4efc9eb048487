// The uninstall list page used as a user uses it: which registrations it lists by which name,
// that Hide removes the one selected, and which command line Uninstall starts.
#include "PageTest.h"
#include "ShellSeams.h"

#include <QListWidget>
#include <QPushButton>

namespace
{

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The command lines the page asked to start, answered with a fixed result.
std::vector<std::string> started;
win::UINT startResult = 33;
win::UINT RecordStart(const char *commandLine, win::UINT showCommand)
{
    EXPECT_EQ(showCommand, 1u);
    started.emplace_back(commandLine);
    return startResult;
}

class UninstallPage : public PageTest
{
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        started.clear();
        startResult = 33;
    }
    void TearDown() override
    {
        PageTest::TearDown();
        UseProgramStarter(nullptr);
    }
    static void PutEntry(const char *subkey, const char *name, const char *text)
    {
        PutString(HKEY_LOCAL_MACHINE, kUninstall + "\\" + subkey, name, text);
    }
    static QStringList Rows(Page &page, const char *list)
    {
        QStringList rows;
        auto &widget = Control<QListWidget>(page, list);
        for (int row = 0; row < widget.count(); ++row)
            rows << widget.item(row)->text();
        return rows;
    }
};

TEST_F(UninstallPage, ListsNamedRegistrationsKeepingTheListsParallel)
{
    PutEntry("A", "DisplayName", "Alpha");
    PutEntry("B", "QuietDisplayName", "Beta");
    PutEntry("C", "DisplayName", "");
    PutEntry("C", "QuietDisplayName", "not used: the display name was read");
    PutEntry("D", "UninstallString", "d.exe");
    PutEntry("E", "DisplayName", "Echo");
    Page &page = Open("Uninstall");
    EXPECT_EQ(Rows(page, "lbScr"), (QStringList{"Alpha", "Beta", "Echo"}));
    EXPECT_EQ(Rows(page, "lbN"), (QStringList{"A", "B", "E"}));
    EXPECT_EQ(Control<QListWidget>(page, "lbScr").currentRow(), 0);

    // The row after the dropped ones still hides its own registration.
    Control<QListWidget>(page, "lbScr").setCurrentRow(2);
    EXPECT_EQ(Click("cmdDel", {No}).size(), 1u);
    EXPECT_TRUE(StoredString(HKEY_LOCAL_MACHINE, kUninstall + "\\E", "DisplayName"));
    const Boxes shown = Click("cmdDel", {Yes});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("You want delete - Echo ?"));
    EXPECT_EQ(shown[0].title, QStringLiteral("Saving..."));
    EXPECT_FALSE(StoredString(HKEY_LOCAL_MACHINE, kUninstall + "\\E", "DisplayName"));
    EXPECT_TRUE(StoredString(HKEY_LOCAL_MACHINE, kUninstall + "\\D", "UninstallString"));
    EXPECT_EQ(Rows(page, "lbScr"), (QStringList{"Alpha", "Beta"}));
    EXPECT_EQ(Control<QListWidget>(page, "lbScr").currentRow(), 0);
}

TEST_F(UninstallPage, NothingToListShowsTheErrorRowWithTheButtonsDisabled)
{
    for (bool keyExists : {false, true}) {
        if (keyExists)
            PutEntry("Nameless", "UninstallString", "x.exe");
        Page &page = Open("Uninstall");
        EXPECT_EQ(Rows(page, "lbScr"), QStringList{"No Programm instalation. Strings Error!"}) << keyExists;
        EXPECT_FALSE(Control<QPushButton>(page, "cmdDel").isEnabled());
        EXPECT_FALSE(Control<QPushButton>(page, "cmdUninst").isEnabled());
        Leave();
    }
}

struct StartCase {
    const char *uninstallString;      // null: missing
    const char *quietUninstallString; // null: missing
    const char *expectedStart;        // null: nothing started
};

TEST_F(UninstallPage, UninstallStartsTheFirstReadableStringOrSaysItCannot)
{
    UseProgramStarter(&RecordStart);
    const StartCase cases[] = {
        {"C:\\Program Files\\App\\uninst.exe /x \"a b\"", "quiet.exe", "C:\\Program Files\\App\\uninst.exe /x \"a b\""},
        {nullptr, "quiet.exe /s", "quiet.exe /s"},
        {nullptr, nullptr, nullptr},
    };
    for (const StartCase &c : cases) {
        started.clear();
        win::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstall.c_str());
        PutEntry("App", "DisplayName", "App");
        if (c.uninstallString)
            PutEntry("App", "UninstallString", c.uninstallString);
        if (c.quietUninstallString)
            PutEntry("App", "QuietUninstallString", c.quietUninstallString);
        Page &page = Open("Uninstall");
        const Boxes shown = Click("cmdUninst", {Ok});
        if (c.expectedStart) {
            EXPECT_EQ(started, std::vector<std::string>{c.expectedStart});
            EXPECT_TRUE(shown.empty());
        } else {
            EXPECT_TRUE(started.empty());
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].text, QStringLiteral("You cant uninstall this programm. Path Error."));
            EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
        }
        // Still listed: only the uninstaller removes its registration.
        EXPECT_EQ(Rows(page, "lbScr"), QStringList{"App"});
        Leave();
    }
}

TEST_F(UninstallPage, AnUninstallerThatCannotStartIsReported)
{
    // The platform's own starter: the program does not exist on the machine.
    PutEntry("App", "DisplayName", "App");
    PutEntry("App", "UninstallString", "C:\\nowhere\\uninst.exe");
    Open("Uninstall");
    const Boxes shown = Click("cmdUninst", {Ok});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Korvex"));
    EXPECT_EQ(shown[0].text, QStringLiteral("You cant uninstall this programm. Path Error."));
}

} // namespace
