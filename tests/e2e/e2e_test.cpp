// The real korvex program, started as `make run` starts it, used through its windows by the
// script driver (driver.cpp, preloaded) and judged by what it stored in the machine's registry.
// Each case works on a fresh machine folder reporting Windows 98.
#include "KorvexRun.h"
#include "TempMachine.h"
#include "win32.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace
{

constexpr auto kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr auto kSystem = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr auto kNetwork = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network";
constexpr auto kActiveDesktop = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\ActiveDesktop";
constexpr auto kRestrictions = "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";
constexpr auto kUpdate = "SYSTEM\\CurrentControlSet\\Control\\Update";
constexpr auto kWinlogon = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";
constexpr auto kShellExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr auto kDefaultShellExplorer = ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// Box `box` of a page, bound to a switch of the current user (or of the machine).
struct Switch {
    int box;
    const char *key;
    const char *name;
    bool machineWide = false;

    win::HKEY Root() const { return machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
};

// A policy page: one switch stored as 1, one stored as 0, one missing that the user ticks, and
// the script lines that check the page's own rules for Windows 98.
struct PolicyCase {
    const char *treeKey;
    const char *page;
    Switch on;
    Switch off;
    Switch ticked;
    const char *rules;
};

constexpr PolicyCase kPolicyCases[] = {
    {"Korvex",
     "frmKorv",
     {1, kExplorer, "NoNetHood"},
     {3, kSystem, "DisableRegistryTools"},
     {4, kUpdate, "UpdateMode", true},
     ""},
    {"StartMenu",
     "frmPusk",
     {3, kExplorer, "NoRun"},
     {13, kExplorer, "NoLogOff"},
     {8, kExplorer, "NoChangeStartMenu"},
     "expect chk_1 enabled false"},
    {"Explorer",
     "frmExplorer",
     {0, kExplorer, "NoFileMenu"},
     {4, kExplorer, "NoFolderOptions"},
     {2, kRestrictions, "NoBrowserClose"},
     "expect chk_1 enabled false"},
    {"ActiveDesktop",
     "frmActDesk",
     {2, kActiveDesktop, "NoComponents"},
     {0, kExplorer, "NoActiveDesktopChanges"},
     {7, kActiveDesktop, "NoMovingBands"},
     "expect chk_3 enabled false"},
    {"IERes",
     "frmIErestrict",
     {13, kRestrictions, "NoHelpMenu"},
     {0, kRestrictions, "NoBrowserClose"},
     {10, kRestrictions, "NoAddressBar"},
     "expect chk_14 enabled false"},
    {"ControlPanel",
     "frmControlPanel",
     {0, kSystem, "NoDispCPL"},
     {10, kNetwork, "NoNetSetup"},
     {14, kSystem, "NoSecCPL"},
     "expect chk_1 enabled false\nexpect chk_5 enabled false"},
};

void PrintTo(const PolicyCase &page, std::ostream *out)
{
    *out << page.page;
}

class PolicyPageEndToEnd : public ::testing::TestWithParam<PolicyCase>
{
};

// A stored 1 shows ticked and a stored 0 unticked; a box the user ticks is stored as 1 when the
// page is left and the save question answered Yes, and every switch is stored as a REG_DWORD.
TEST_P(PolicyPageEndToEnd, ShowsStoredSwitchesAndSavesATickOnLeaving)
{
    const PolicyCase &page = GetParam();
    TempMachine machine;
    machine.ReportWindowsVersion("win98");
    ASSERT_TRUE(Store(page.on.Root(), page.on.key, page.on.name, REG_DWORD, Dword(1)));
    ASSERT_TRUE(Store(page.off.Root(), page.off.key, page.off.name, REG_DWORD, Dword(0)));

    const auto box = [](const Switch &s) { return "chk_" + std::to_string(s.box); };
    const KorvexRun run =
        RunKorvex(machine, std::string("open ") + page.treeKey + " " + page.page + "\n" + "expect " + box(page.on) +
                               " checked true\n" + "expect " + box(page.off) + " checked false\n" + "expect " +
                               box(page.ticked) + " checked false\n" + page.rules + "\n" + "tick " + box(page.ticked) +
                               "\nanswer Yes Save Changes ?\nopen About frmAbout\nboxes 1\n");
    ExpectCleanRun(run);
    ExpectStored(page.on.Root(), page.on.key, page.on.name, REG_DWORD, Dword(1));
    ExpectStored(page.off.Root(), page.off.key, page.off.name, REG_DWORD, Dword(0));
    ExpectStored(page.ticked.Root(), page.ticked.key, page.ticked.name, REG_DWORD, Dword(1));
}

INSTANTIATE_TEST_SUITE_P(EveryPolicyPage, PolicyPageEndToEnd, ::testing::ValuesIn(kPolicyCases),
                         [](const ::testing::TestParamInfo<PolicyCase> &param) {
                             return std::string(param.param.page);
                         });

// The logon message: a stored message shows, the edited one is saved by the OK button's question.
TEST(EndToEnd, LogonMessagePageSavesTheEditedMessageThroughItsOkButton)
{
    TempMachine machine;
    machine.ReportWindowsVersion("win98");
    ASSERT_TRUE(Store(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption", REG_SZ, Sz("Hello")));
    ASSERT_TRUE(Store(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText", REG_SZ, Sz("Authorised users only")));

    const KorvexRun run = RunKorvex(machine, "open StartUp frmStartUp\n"
                                             "expect chkYN checked true\n"
                                             "expect txtTitle enabled true\n"
                                             "expect txtTitle text Hello\n"
                                             "expect txtText plainText Authorised users only\n"
                                             "type txtTitle Welcome\n"
                                             "type txtText Be nice\n"
                                             "answer Yes Save Changes ?\n"
                                             "click cmdOk\n"
                                             "page frmAbout\n"
                                             "boxes 1\n");
    ExpectCleanRun(run);
    ExpectStored(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption", REG_SZ, Sz("Welcome"));
    ExpectStored(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText", REG_SZ, Sz("Be nice"));
}

// The shortcut page: the stored text and arrow show; a new text and no arrow are saved by the
// question that closing the main window asks.
TEST(EndToEnd, ShortcutPageSavesWhenTheMainWindowCloses)
{
    TempMachine machine;
    machine.ReportWindowsVersion("win98");
    ASSERT_TRUE(Store(HKEY_CURRENT_USER, kShellExplorer, "link", REG_BINARY, QByteArray("Link to ")));
    ASSERT_TRUE(Store(HKEY_CLASSES_ROOT, "lnkfile", "IsShortCut", REG_SZ, Sz("")));

    const KorvexRun run = RunKorvex(machine, "open Short frmshortcut\n"
                                             "expect chkns checked false\n"
                                             "expect txtShortCut text Link to\n"
                                             "expect chkni checked false\n"
                                             "type txtShortCut Shortcut to\n"
                                             "tick chkni\n"
                                             "answer Yes Save Changes ?\n"
                                             "close\n"
                                             "boxes 1\n");
    ExpectCleanRun(run);
    ExpectStored(HKEY_CURRENT_USER, kShellExplorer, "link", REG_BINARY, QByteArray("Shortcut to "));
    ExpectStored(HKEY_USERS, kDefaultShellExplorer, "link", REG_BINARY, QByteArray("Shortcut to "));
    ExpectMissing(HKEY_CLASSES_ROOT, "lnkfile", "IsShortCut");
    ExpectMissing(HKEY_CLASSES_ROOT, "piffile", "IsShortCut");
}

// Runs a Wine program for the machine and returns its output, empty when it failed.
QString RunWine(const QString &program, const QStringList &args)
{
    QProcess wine;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEDEBUG", "-all");
    wine.setProcessEnvironment(env);
    wine.start(program, args);
    if (!wine.waitForFinished(kRunLimitMs)) {
        wine.kill();
        wine.waitForFinished();
        return {};
    }
    return QString::fromUtf8(wine.readAllStandardOutput());
}

// The switches of the System page on a prefix made by Wine itself: what Wine's prefix holds
// shows, and what Korvex saves Wine's own `reg` reads.
TEST(EndToEnd, SystemPageOnARealWinePrefix)
{
    const char *wineTemplate = std::getenv("KORVEX_WINE_TEMPLATE");
    if (!wineTemplate || !std::filesystem::exists(std::filesystem::path(wineTemplate) / "system.reg"))
        GTEST_SKIP() << "No Wine prefix to copy (KORVEX_WINE_TEMPLATE): Wine is not installed, or the test ran "
                        "outside ctest's WinePrefix fixture.";
    TempMachine machine(wineTemplate);
    machine.ReportWindowsVersion("win98");
    ASSERT_TRUE(Store(HKEY_CURRENT_USER, kExplorer, "NoDesktop", REG_DWORD, Dword(1)));
    ASSERT_TRUE(Store(HKEY_CURRENT_USER, kExplorer, "NoNetHood", REG_DWORD, Dword(1)));

    const KorvexRun run = RunKorvex(machine, "open Korvex frmKorv\n"
                                             "expect chk_0 checked true\n"
                                             "expect chk_1 checked true\n"
                                             "tick chk_2\n"
                                             "answer Yes Save Changes ?\n"
                                             "open About frmAbout\n");
    ExpectCleanRun(run);
    const QString query = RunWine("wine", {"reg", "query", QStringLiteral("HKCU\\") + kExplorer});
    // Wine's server must not outlive the prefix that the test removes.
    RunWine("wineserver", {"-k"});
    for (const char *name : {"NoDesktop", "NoNetHood", "NoSaveSettings"}) {
        const QRegularExpression switchedOn(QStringLiteral("\\b%1\\s+REG_DWORD\\s+0x1\\b").arg(name));
        EXPECT_TRUE(query.contains(switchedOn)) << name << " is not 1 in:\n" << query.toStdString();
    }
}

} // namespace
