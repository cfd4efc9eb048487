// The uninstall list page: which registrations it lists by which name, that Hide removes the one
// selected and never the whole list, and which command line Uninstall starts.
#include "PageTest.h"
#include "ShellSeams.h"

namespace
{

constexpr auto kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The command lines the page asked to start.
std::vector<std::string> &Started()
{
    static std::vector<std::string> lines;
    return lines;
}
win::UINT RecordStart(const char *commandLine, win::UINT showCommand)
{
    EXPECT_EQ(showCommand, 1u);
    Started().emplace_back(commandLine);
    return 33;
}

class UninstallPage : public PageTest
{
protected:
    void TearDown() override
    {
        PageTest::TearDown();
        UseProgramStarter(nullptr);
        Started().clear();
    }
    static void PutEntry(const char *subkey, const char *name, const char *text)
    {
        PutString(HKEY_LOCAL_MACHINE, std::string(kUninstall) + subkey, name, text);
    }
};

TEST_F(UninstallPage, ListsNamedRegistrationsKeepingTheListsParallel)
{
    PutEntry("D", "UninstallString", "d.exe");
    Page &nameless = Open("Uninstall");
    EXPECT_EQ(Rows("lbScr"), QStringList{"No Programm instalation. Strings Error!"}) << "nothing to list";
    EXPECT_FALSE(Control<QPushButton>(nameless, "cmdDel").isEnabled());
    EXPECT_FALSE(Control<QPushButton>(nameless, "cmdUninst").isEnabled());
    Leave();

    PutEntry("A", "DisplayName", "Alpha");
    PutEntry("B", "QuietDisplayName", "Beta");
    PutEntry("C", "DisplayName", "");
    PutEntry("C", "QuietDisplayName", "not used: the display name was read");
    PutEntry("E", "DisplayName", "Echo");
    Page &page = Open("Uninstall");
    EXPECT_EQ(Rows("lbScr"), (QStringList{"Alpha", "Beta", "Echo"}));
    EXPECT_EQ(Rows("lbN"), (QStringList{"A", "B", "E"}));

    // The row after the dropped ones still hides its own registration.
    Control<QListWidget>(page, "lbScr").setCurrentRow(2);
    EXPECT_EQ(Click("cmdDel", {No}).size(), 1u);
    EXPECT_TRUE(StoredString(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "E", "DisplayName"));
    EXPECT_EQ(Texts(Click("cmdDel", {Yes})), QStringList{"You want delete - Echo ?"});
    EXPECT_FALSE(StoredString(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "E", "DisplayName"));
    EXPECT_TRUE(StoredString(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "D", "UninstallString"));
    EXPECT_EQ(Rows("lbScr"), (QStringList{"Alpha", "Beta"}));
    EXPECT_EQ(Control<QListWidget>(page, "lbScr").currentRow(), 0);

    // With no row selected Hide asks nothing and keeps the key that holds every registration.
    Control<QListWidget>(page, "lbScr").setCurrentRow(-1);
    EXPECT_TRUE(Click("cmdDel", {Yes}).empty());
    EXPECT_EQ(Rows("lbN"), (QStringList{"A", "B"}));
}

// A key name of 128 Cyrillic letters is legal (Windows allows 255 characters) and takes 256
// bytes of UTF-8: it is listed whole, and the registrations after it are listed too, also those
// a 32-bit installer made in a machine with a 32-bit view (a Wow6432Node key).
TEST_F(UninstallPage, ALongKeyNameHidesNoRegistrationAfterIt)
{
    const QString longName(128, QChar(0x0410));
    PutEntry(longName.toUtf8().constData(), "DisplayName", "Long");
    PutEntry(QString(QChar(0x042F)).toUtf8().constData(), "DisplayName", "Last");
    PutString(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kvx32",
              "DisplayName", "32-bit");
    Open("Uninstall");
    EXPECT_EQ(Rows("lbScr"), (QStringList{"Long", "Last", "32-bit"}));
    EXPECT_EQ(Rows("lbN"), (QStringList{longName, QString(QChar(0x042F)), "Kvx32"}));
}

TEST_F(UninstallPage, UninstallStartsTheFirstReadableStringOrSaysItCannot)
{
    UseProgramStarter(&RecordStart);
    const std::pair<const char *, const char *> cases[] = {
        {"UninstallString", "C:\\Program Files\\App\\uninst.exe /x \"a b\""},
        {"QuietUninstallString", "quiet.exe /s"},
        {nullptr, nullptr},
    };
    for (const auto &[name, command] : cases) {
        Started().clear();
        win::RegDeleteKeyA(HKEY_LOCAL_MACHINE, std::string(kUninstall).append("App").c_str());
        PutEntry("App", "DisplayName", "App");
        if (name)
            PutEntry("App", name, command);
        Open("Uninstall");
        const Boxes shown = Click("cmdUninst", {Ok});
        EXPECT_EQ(Started(), command ? std::vector<std::string>{command} : std::vector<std::string>{});
        EXPECT_EQ(shown.size(), command ? 0u : 1u);
        // Still listed: only the uninstaller removes its registration.
        EXPECT_EQ(Rows("lbScr"), QStringList{"App"});
        Leave();
    }

    // The platform's own starter, and a program that does not exist on the machine.
    UseProgramStarter(nullptr);
    PutEntry("App", "UninstallString", "C:\\nowhere\\uninst.exe");
    Open("Uninstall");
    const Boxes shown = Click("cmdUninst", {Ok});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("You cant uninstall this programm. Path Error."));
    EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
}

} // namespace
