// The real korvex program, started as `make run` starts it, used through its windows by the
// script driver (driver.cpp, preloaded) and judged by what it stored in the machine's registry
// and files. Every page of the tree is driven once, on a fresh machine folder reporting Windows
// 98: what is stored beforehand shows on the page, and what the user does there is stored.
#include "StoredValue.h"
#include "TempMachine.h"
#include "machine.h"
#include "win32.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>

namespace
{

namespace fs = std::filesystem;

// How long one run of a program may take before it is killed.
constexpr int kRunLimitMs = 60'000;

constexpr auto kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr auto kSystem = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr auto kNetwork = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network";
constexpr auto kActiveDesktop = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\ActiveDesktop";
constexpr auto kRestrictions = "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";
constexpr auto kUpdate = "SYSTEM\\CurrentControlSet\\Control\\Update";
constexpr auto kWinlogon = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";
constexpr auto kShellExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr auto kDriveIcons = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\DriveIcons\\";
constexpr auto kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr auto kNetTrans = "System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000";
constexpr auto kMstcp = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";

// Starts `program` and waits for its end; one that does not end within the limit is killed.
// True when it ended by itself with 0.
bool RunToEnd(QProcess &process, const QString &program, const QStringList &args = {})
{
    process.start(program, args);
    if (process.waitForFinished(kRunLimitMs))
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    process.kill();
    process.waitForFinished();
    return false;
}

// Runs korvex on the machine with the driver working through `script` (its lines may be
// indented; "%C%" stands for the host folder of drive C), English interface, no screen, and
// expects every step to hold. What it stored is read afresh afterwards.
void RunKorvex(const TempMachine &machine, std::string script)
{
    for (size_t at; (at = script.find("%C%")) != std::string::npos;)
        script.replace(at, 3, machine.PathOf("drive_c"));
    machine.WriteFile("e2e-script.txt", script);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", QString::fromStdString(machine.Folder()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("LC_ALL");
    env.remove("LC_MESSAGES");
    env.insert("LANG", "en_US.UTF-8");
    const QString asanRuntime = QStringLiteral(KORVEX_ASAN_RUNTIME);
    env.insert("LD_PRELOAD", (asanRuntime.isEmpty() ? QString() : asanRuntime + ":") + KORVEX_E2E_DRIVER);
    env.insert("KORVEX_E2E_SCRIPT", QString::fromStdString(machine.PathOf("e2e-script.txt")));
    env.insert("KORVEX_E2E_LOG", QString::fromStdString(machine.PathOf("e2e-log.txt")));
    QProcess korvex;
    korvex.setProcessEnvironment(env);
    const bool clean = RunToEnd(korvex, KORVEX_PROGRAM);
    EXPECT_TRUE(clean) << "korvex did not end by itself with 0 within " << kRunLimitMs / 1000 << " s (exit code "
                       << korvex.exitCode() << ")\n"
                       << machine.ReadFile("e2e-log.txt") << "\n--- korvex's error output:\n"
                       << korvex.readAllStandardError().toStdString();
    win::ResetMachine();
}

// A value as the registry stores it: a DWORD, a text with its terminator, or bytes.
StoredValue Dword(win::DWORD value)
{
    return {REG_DWORD, QByteArray(reinterpret_cast<const char *>(&value), sizeof value)};
}
StoredValue Sz(const char *text)
{
    return {REG_SZ, QByteArray(text, static_cast<qsizetype>(std::strlen(text) + 1))};
}

void Put(win::HKEY root, const std::string &key, const char *name, const StoredValue &value)
{
    ASSERT_EQ(WriteStoredValue(root, QString::fromStdString(key), name, value.type, value.data), ERROR_SUCCESS)
        << key << "\\" << name;
}

std::string Shown(const std::optional<StoredValue> &value)
{
    return value ? "type " + std::to_string(value->type) + ": " + value->data.toHex(' ').toStdString() : "missing";
}

// The value as stored now; std::nullopt for one that must be missing.
void ExpectStored(win::HKEY root, const std::string &key, const char *name, const std::optional<StoredValue> &value)
{
    EXPECT_EQ(Shown(ReadStoredValue(root, QString::fromStdString(key), name)), Shown(value)) << key << "\\" << name;
}

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override { machine_.ReportWindowsVersion("win98"); }

    // A file below the machine folder, with its folders.
    void Write(const std::string &path, const std::string &content) const
    {
        fs::create_directories(fs::path(machine_.PathOf(path)).parent_path());
        machine_.WriteFile(path, content);
    }
    // A one-colour 32x32 .ico file below the machine folder.
    void WriteIcon(const std::string &path) const
    {
        fs::create_directories(fs::path(machine_.PathOf(path)).parent_path());
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::red);
        ASSERT_TRUE(image.save(QString::fromStdString(machine_.PathOf(path)), "ico")) << path;
    }
    static win::DWORD Attributes(const char *windowsPath)
    {
        return win::GetFileAttributesA(windowsPath) & ~(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY);
    }

    TempMachine machine_;
};

// Box `box` of a page, bound to a switch of the current user (or of the machine).
struct Switch {
    int box;
    const char *key;
    const char *name;
    bool machineWide = false;

    win::HKEY Root() const { return machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
    std::string Box() const { return " chk_" + std::to_string(box); }
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

class PolicyPageEndToEnd : public EndToEnd, public ::testing::WithParamInterface<PolicyCase>
{
};

// A stored 1 shows ticked and a stored 0 unticked; a box the user ticks is stored as 1 when the
// page is left and the save question answered Yes, and every switch is stored as a REG_DWORD.
TEST_P(PolicyPageEndToEnd, ShowsStoredSwitchesAndSavesATickOnLeaving)
{
    const PolicyCase &page = GetParam();
    Put(page.on.Root(), page.on.key, page.on.name, Dword(1));
    Put(page.off.Root(), page.off.key, page.off.name, Dword(0));
    RunKorvex(machine_, std::string("open ") + page.treeKey + " " + page.page + "\nexpect" + page.on.Box() +
                            " checked true\nexpect" + page.off.Box() + " checked false\nexpect" + page.ticked.Box() +
                            " checked false\n" + page.rules + "\ntick" + page.ticked.Box() +
                            "\nanswer Yes Save Changes ?\nopen About frmAbout\nboxes 1\n");
    ExpectStored(page.on.Root(), page.on.key, page.on.name, Dword(1));
    ExpectStored(page.off.Root(), page.off.key, page.off.name, Dword(0));
    ExpectStored(page.ticked.Root(), page.ticked.key, page.ticked.name, Dword(1));
}

INSTANTIATE_TEST_SUITE_P(EveryPolicyPage, PolicyPageEndToEnd, ::testing::ValuesIn(kPolicyCases),
                         [](const ::testing::TestParamInfo<PolicyCase> &param) {
                             return std::string(param.param.page);
                         });

// The logon message: a stored message shows, the edited one is saved by the OK button's question.
TEST_F(EndToEnd, LogonMessagePageSavesTheEditedMessageThroughItsOkButton)
{
    Put(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption", Sz("Hello"));
    Put(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText", Sz("Authorised users only"));
    RunKorvex(machine_, R"(open StartUp frmStartUp
        expect chkYN checked true
        expect txtTitle enabled true
        expect txtTitle text Hello
        expect txtText plainText Authorised users only
        type txtTitle Welcome
        type txtText Be nice
        answer Yes Save Changes ?
        click cmdOk
        page frmAbout
        boxes 1)");
    ExpectStored(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption", Sz("Welcome"));
    ExpectStored(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText", Sz("Be nice"));
}

// The shortcut page: the stored text and arrow show; a new text and no arrow are saved by the
// question that closing the main window asks.
TEST_F(EndToEnd, ShortcutPageSavesWhenTheMainWindowCloses)
{
    Put(HKEY_CURRENT_USER, kShellExplorer, "link", {REG_BINARY, "Link to "});
    Put(HKEY_CLASSES_ROOT, "lnkfile", "IsShortCut", Sz(""));
    RunKorvex(machine_, R"(open Short frmshortcut
        expect chkns checked false
        expect txtShortCut text Link to
        expect chkni checked false
        type txtShortCut Shortcut to
        tick chkni
        answer Yes Save Changes ?
        close
        boxes 1)");
    ExpectStored(HKEY_CURRENT_USER, kShellExplorer, "link", StoredValue{REG_BINARY, "Shortcut to "});
    ExpectStored(HKEY_USERS, std::string(".DEFAULT\\") + kShellExplorer, "link",
                 StoredValue{REG_BINARY, "Shortcut to "});
    ExpectStored(HKEY_CLASSES_ROOT, "lnkfile", "IsShortCut", std::nullopt);
    ExpectStored(HKEY_CLASSES_ROOT, "piffile", "IsShortCut", std::nullopt);
}

// The History page reads from the journal what an earlier run saved, and undoes it.
TEST_F(EndToEnd, HistoryPageUndoesWhatAnEarlierRunSaved)
{
    RunKorvex(machine_, R"(open Korvex frmKorv
        tick chk_2
        answer Yes Save Changes ?
        open About frmAbout)");
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoSaveSettings", Dword(1));
    RunKorvex(machine_, R"(open History frmHistory
        click cmdUndoAll)");
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoSaveSettings", std::nullopt);
}

TEST_F(EndToEnd, FolderIconIsCopiedIntoTheFolderAndNamedInDesktopIni)
{
    Put(HKEY_LOCAL_MACHINE, "Software\\Halvorn\\Korvex", "IconCount", Dword(4));
    Write("drive_c/Old/Desktop.ini", "[.ShellClassInfo]\r\nIconFile=gone.ico\r\n");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Old", FILE_ATTRIBUTE_SYSTEM)); // what makes Windows read it
    Write("drive_c/Games/game.exe", "MZ");
    WriteIcon("drive_c/Icons/game.ico");
    RunKorvex(machine_, R"(open FldIco frmFldIco
        expect cdmApply enabled false
        select Dir1 Old
        expect cmdNoIco enabled true
        select Dir1 Games
        expect cmdNoIco enabled false
        tick chk
        choose %C%/Icons/game.ico
        click cmdbrowse
        expect txtIco text C:\\Icons\\game.ico
        answer Yes Change icon for folder C:\\Games ?
        click cdmApply
        boxes 1)");
    EXPECT_EQ(machine_.ReadFile("drive_c/Games/Desktop.ini"),
              "[.ShellClassInfo]\r\nIconFile=KorvFld5.ico\r\nIconIndex=0\r\nOriginalIcon=%\r\nConfirmFileOp=0\r\n");
    ExpectStored(HKEY_LOCAL_MACHINE, "Software\\Halvorn\\Korvex", "IconCount", Dword(5));
    EXPECT_EQ(Attributes("C:\\Games\\KorvFld5.ico"), win::DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
    EXPECT_EQ(Attributes("C:\\Games"), win::DWORD{FILE_ATTRIBUTE_SYSTEM});
}

TEST_F(EndToEnd, DriveIconIsAppliedUnderTheDrivesCapitalLetter)
{
    Put(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "C\\DefaultIcon", "", Sz("C:\\disk.ico"));
    WriteIcon("drive_c/Icons/z.ico");
    RunKorvex(machine_, R"(open DrvIco frmDrvIco
        expect Drv currentText c:
        expect txtIcoP text C:\\disk.ico
        select Drv z:
        expect txtIcoP text None
        expect cmdAP enabled false
        choose %C%/Icons/z.ico
        click cmdbrowse
        expect txtIcoP text C:\\Icons\\z.ico
        answer Yes Save Changes ?
        click cmdAP)");
    ExpectStored(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "Z\\DefaultIcon", "", Sz("C:\\Icons\\z.ico"));
    ExpectStored(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "C\\DefaultIcon", "", Sz("C:\\disk.ico"));
}

TEST_F(EndToEnd, FileTypeIconRegistersATypeForANewExtension)
{
    Put(HKEY_CLASSES_ROOT, ".txt", "", Sz("txtfile"));
    Put(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", "", Sz("C:\\Icons\\text.ico,1"));
    WriteIcon("drive_c/Icons/abc.ico");
    RunKorvex(machine_, R"(open FIcon frmFIcon
        expect TxtRas text txt
        expect TxtFileInf text txtfile
        expect TxtCurIco text C:\\Icons\\text.ico,1
        type TxtRas abc
        expect TxtFileInf text
        choose %C%/Icons/abc.ico
        click cmdbrowse
        expect TxtSelIco text C:\\Icons\\abc.ico
        click cmdNewIco
        expect TxtFileInf text abc_pellador_file)");
    ExpectStored(HKEY_CLASSES_ROOT, ".abc", "", Sz("abc_pellador_file"));
    ExpectStored(HKEY_CLASSES_ROOT, "abc_pellador_file\\DefaultIcon", "", Sz("C:\\Icons\\abc.ico,0"));
    ExpectStored(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", "", Sz("C:\\Icons\\text.ico,1"));
}

TEST_F(EndToEnd, SystemIconIsReplacedForTheListedIndex)
{
    constexpr auto kShellIcons = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Icons";
    Put(HKEY_LOCAL_MACHINE, kShellIcons, "0", Sz("C:\\Icons\\old.ico,0"));
    WriteIcon("drive_c/windows/system32/shell32.dll"); // an icon library with one icon
    WriteIcon("drive_c/Icons/new.ico");
    RunKorvex(machine_, R"(open sysIco frmShell32
        expect lstSI count 1
        expect lstSI row 0 0\tStandart Icon
        select lstSI 0\tStandart Icon
        expect cmdBack visible true
        choose %C%/Icons/new.ico
        answer Yes Replace Icon ?
        click cmdCH)");
    ExpectStored(HKEY_LOCAL_MACHINE, kShellIcons, "0", Sz("C:\\Icons\\new.ico,0"));
}

TEST_F(EndToEnd, BrowserTitleIsWrittenUnderBothRoots)
{
    Put(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\Main", "Window Title", Sz("Old title"));
    Put(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "Version", Sz("5.00"));
    RunKorvex(machine_, R"(open IETB frmIETB
        expect txtDC text Old title
        expect txtVer text 5.00
        type txtDC My Browser
        answer Yes Save Changes ?
        click cmdAP)");
    for (win::HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        ExpectStored(root, "Software\\Microsoft\\Internet Explorer\\Main", "Window Title", Sz("My Browser"));
        ExpectStored(root, "Software\\Microsoft\\Internet Explorer", "Version", Sz("5.00"));
        ExpectStored(root, "Software\\Microsoft\\Internet Explorer\\Toolbar", "BackBitmap", Sz(""));
    }
}

TEST_F(EndToEnd, ContextMenuItemIsAddedForAllFiles)
{
    Put(HKEY_CLASSES_ROOT, "*\\Shell\\open", "", Sz("Open"));
    Put(HKEY_CLASSES_ROOT, "*\\Shell\\open\\command", "", Sz("notepad.exe \"%1\""));
    RunKorvex(machine_, R"(open MenuItem frmConFileMenu
        expect lstMenu count 1
        select lstMenu open
        expect txtSub text Open
        expect txtCmd text notepad.exe "%1"
        type txtCaption Öffne & "sieh"
        type txtSub View & print
        type txtCmd viewer.exe "%1"
        answer Yes
        click cmdadd
        expect lstMenu row 1 Öffne & "sieh")");
    ExpectStored(HKEY_CLASSES_ROOT, "*\\Shell\\Öffne & \"sieh\"", "", Sz("View & print"));
    ExpectStored(HKEY_CLASSES_ROOT, "*\\Shell\\Öffne & \"sieh\"\\command", "", Sz("viewer.exe \"%1\""));
    ExpectStored(HKEY_CLASSES_ROOT, "*\\Shell\\open\\command", "", Sz("notepad.exe \"%1\""));
}

TEST_F(EndToEnd, ClockTextsAndPositionAreApplied)
{
    for (const auto &[name, text] : {std::pair{"s1159", "AM"}, {"s2359", "PM"}, {"sTimeFormat", "tt h:mm:ss"}})
        Put(HKEY_CURRENT_USER, "Control Panel\\International", name, Sz(text));
    RunKorvex(machine_, R"(open Clock frmClockText
        expect optL checked true
        expect chkOne checked false
        expect lbl2 text PM 14:26
        type txtPM evening
        tick optR
        answer Yes Save Changes ?
        click cmdAP)");
    ExpectStored(HKEY_CURRENT_USER, "Control Panel\\International", "s1159", Sz("AM"));
    ExpectStored(HKEY_CURRENT_USER, "Control Panel\\International", "s2359", Sz("evening"));
    ExpectStored(HKEY_CURRENT_USER, "Control Panel\\International", "sTimeFormat", Sz("HH:mm:ss tt"));
}

TEST_F(EndToEnd, UninstallEntryIsHiddenByItsQuietName)
{
    Put(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "App", "DisplayName", Sz("App"));
    Put(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Tool", "QuietDisplayName", Sz("Quiet Tool"));
    RunKorvex(machine_, R"(open Uninstall frmUninstall
        expect lbScr count 2
        select lbScr Quiet Tool
        answer Yes You want delete - Quiet Tool ?
        click cmdDel
        expect lbScr count 1
        expect lbScr row 0 App)");
    ExpectStored(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Tool", "QuietDisplayName", std::nullopt);
    ExpectStored(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "App", "DisplayName", Sz("App"));
}

// There is no shell window to find on this platform: the page shows zeros and its buttons do
// nothing, without a message (the driver fails the run on any box).
TEST_F(EndToEnd, TaskbarElementsShowZerosWithoutAShell)
{
    RunKorvex(machine_, R"(open SysEl frmSysBtn
        expect cboSE count 4
        select cboSE System Tray
        tick optPos
        expect TxtX text 0
        expect TxtY text 0
        click btnSH
        click btnED)");
}

TEST_F(EndToEnd, SiteTemplatesAreSavedRenumberedOnLeaving)
{
    constexpr auto kTemplates = "Software\\Microsoft\\Internet Explorer\\Main\\UrlTemplate";
    Put(HKEY_LOCAL_MACHINE, kTemplates, "1", Sz("www.%s.com"));
    Put(HKEY_LOCAL_MACHINE, kTemplates, "2", Sz("%s.org"));
    RunKorvex(machine_, R"(open ieSF frmSiteFind
        expect slst count 2
        expect slst row 1 %s.org
        select slst %s.org
        click cmdDel
        tick chkwww
        type txtDomen ru
        click cmdadd
        answer Yes Save Changes ?
        open About frmAbout
        boxes 1)");
    ExpectStored(HKEY_LOCAL_MACHINE, kTemplates, "1", Sz("www.%s.com"));
    ExpectStored(HKEY_LOCAL_MACHINE, kTemplates, "2", Sz("www.%s.ru"));
    ExpectStored(HKEY_LOCAL_MACHINE, kTemplates, "3", std::nullopt);
}

TEST_F(EndToEnd, NetworkTuningAndAHostAreStored)
{
    Put(HKEY_LOCAL_MACHINE, "Enum\\Root\\Net\\0000", "DeviceDesc", Sz("Dial-Up Adapter"));
    Put(HKEY_LOCAL_MACHINE, kNetTrans, "MaxMTU", Sz("1500"));
    Put(HKEY_LOCAL_MACHINE, kMstcp, "DefaultTTL", Sz("32"));
    Write("drive_c/windows/lmhosts", "# hosts, #PRE kept\r\n127.0.0.1\tlocalhost\r\n");
    RunKorvex(machine_, R"(open Optim frmInetOpti
        expect cbAdap currentText 0000 - Dial-Up Adapter
        expect txtMTU text 1500
        expect txtTTL text 32
        expect lslHosts row 1 127.0.0.1\tlocalhost
        type txtMTU 1400
        expect txtMSS text 1360
        answer Yes Save Changes ?
        click cmdAP
        type ip4 10
        type txtHost nas
        click cmdadd
        expect lslHosts count 3
        boxes 1)");
    ExpectStored(HKEY_LOCAL_MACHINE, kNetTrans, "MaxMTU", Sz("1400"));
    ExpectStored(HKEY_LOCAL_MACHINE, kNetTrans, "MaxMSS", Sz("1360"));
    ExpectStored(HKEY_LOCAL_MACHINE, kMstcp, "DefaultTTL", Sz("32"));
    ExpectStored(HKEY_LOCAL_MACHINE, kMstcp, "DefaultRcvWindow", Sz("4288"));
    EXPECT_EQ(machine_.ReadFile("drive_c/windows/lmhosts"),
              "# hosts, #PRE kept\r\n127.0.0.1\tlocalhost\r\n192.168.0.10\tnas\r\n");
}

TEST_F(EndToEnd, VirtualDriveIsMountedOnAFolderWithBlanks)
{
    Write("drive_c/My Games/game.exe", "MZ");
    fs::create_directory_symlink("../drive_c", machine_.PathOf("dosdevices/d:"));
    RunKorvex(machine_, R"(open Subst frmVHDD
        expect cbDrive row 0 E:
        select DirTH My Games
        select cbDrive F:
        click cmdMount
        expect cmdMount enabled false
        wait 1500
        expect cmdMount enabled true
        expect cbDrive row 0 E:
        expect cbDrive row 1 G:)");
    ASSERT_TRUE(fs::is_symlink(machine_.PathOf("dosdevices/f:")));
    EXPECT_TRUE(fs::equivalent(machine_.PathOf("dosdevices/f:"), machine_.PathOf("drive_c/My Games")));
}

TEST_F(EndToEnd, AutoMountListIsExtendedAndTolvaneInstalled)
{
    constexpr auto kList = "drive_c/windows/system32/Tolvane.ini";
    constexpr auto kProgram = "drive_c/windows/system32/Tolvane.exe";
    Write(kList, "E:C:\\GAMES\r\n");
    RunKorvex(machine_, R"(open runSubst frmVHDDrun
        expect chkAutorun checked false
        tick chkAutorun
        expect cboD currentText E:
        expect txtP text C:\\GAMES
        click btnN
        select cbodN F:
        type txtpN D:\\My Work
        click btnsN
        expect cboD count 2)");
    EXPECT_EQ(machine_.ReadFile(kList), "E:C:\\GAMES\r\nF:D:\\My Work\r\n");
    ExpectStored(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Tolvane", Sz("Tolvane.exe"));
    QFile built(QStringLiteral(TOLVANE_PROGRAM));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    EXPECT_TRUE(machine_.ReadFile(kProgram) == built.readAll().toStdString()) << "Tolvane is written as built";
    EXPECT_NE(fs::status(machine_.PathOf(kProgram)).permissions() & fs::perms::owner_exec, fs::perms::none);
}

// The switches of the System page on a prefix made by Wine itself: what Wine's prefix holds
// shows, and what Korvex saves Wine's own `reg` reads.
TEST(WineEndToEnd, SystemPageOnARealWinePrefix)
{
    const char *wineTemplate = std::getenv("KORVEX_WINE_TEMPLATE");
    if (!wineTemplate || !fs::exists(fs::path(wineTemplate) / "system.reg"))
        GTEST_SKIP() << "No Wine prefix to copy (KORVEX_WINE_TEMPLATE): Wine is not installed, or the test ran "
                        "outside ctest's WinePrefix fixture.";
    TempMachine machine(wineTemplate);
    machine.ReportWindowsVersion("win98");
    Put(HKEY_CURRENT_USER, kExplorer, "NoDesktop", Dword(1));
    Put(HKEY_CURRENT_USER, kExplorer, "NoNetHood", Dword(1));
    RunKorvex(machine, R"(open Korvex frmKorv
        expect chk_0 checked true
        expect chk_1 checked true
        tick chk_2
        answer Yes Save Changes ?
        open About frmAbout)");
    QProcess wine;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEDEBUG", "-all");
    wine.setProcessEnvironment(env);
    RunToEnd(wine, "/usr/lib/wine/wine64", {"reg", "query", QStringLiteral("HKCU\\") + kExplorer});
    const QString query = QString::fromUtf8(wine.readAllStandardOutput());
    // Wine's server must not outlive the prefix that the test removes.
    RunToEnd(wine, "wineserver", {"-k"});
    for (const char *name : {"NoDesktop", "NoNetHood", "NoSaveSettings"}) {
        const QRegularExpression switchedOn(QStringLiteral("\\b%1\\s+REG_DWORD\\s+0x1\\b").arg(name));
        EXPECT_TRUE(query.contains(switchedOn)) << name << " is not 1 in:\n" << query.toStdString();
    }
}

} // namespace
