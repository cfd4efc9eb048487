// The icon, shell, internet and drive pages of the real korvex program, each driven once through
// its windows on a fresh Windows 98 machine: what is stored beforehand shows on the page, and
// what the user does there is stored in the registry and in the machine's files.
#include "KorvexRun.h"
#include "TempMachine.h"
#include "win32.h"

#include <QFile>
#include <QImage>
#include <QString>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace
{

namespace fs = std::filesystem;

constexpr auto kDriveIcons = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\DriveIcons\\";
constexpr auto kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr auto kNetTrans = "System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000";
constexpr auto kMstcp = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";

class PageEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override { machine_.ReportWindowsVersion("win98"); }

    // Runs korvex through the script (its lines may be indented), in which "%C%" stands for the
    // host folder of drive C.
    void Run(std::string script)
    {
        for (size_t at; (at = script.find("%C%")) != std::string::npos;)
            script.replace(at, 3, machine_.PathOf("drive_c"));
        ExpectCleanRun(RunKorvex(machine_, script));
    }

    static void PutText(win::HKEY root, const std::string &key, const char *name, const char *text)
    {
        ASSERT_TRUE(Store(root, key.c_str(), name, REG_SZ, Sz(text))) << key;
    }
    static void ExpectText(win::HKEY root, const std::string &key, const char *name, const char *text)
    {
        ExpectStored(root, key.c_str(), name, REG_SZ, Sz(text));
    }

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

TEST_F(PageEndToEnd, FolderIconIsCopiedIntoTheFolderAndNamedInDesktopIni)
{
    ASSERT_TRUE(Store(HKEY_LOCAL_MACHINE, "Software\\Halvorn\\Korvex", "IconCount", REG_DWORD, Dword(4)));
    Write("drive_c/Old/Desktop.ini", "[.ShellClassInfo]\r\nIconFile=gone.ico\r\n");
    ASSERT_TRUE(win::SetFileAttributesA("C:\\Old", FILE_ATTRIBUTE_SYSTEM)); // what makes Windows read it
    Write("drive_c/Games/game.exe", "MZ");
    WriteIcon("drive_c/Icons/game.ico");
    Run(R"(open FldIco frmFldIco
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
    ExpectStored(HKEY_LOCAL_MACHINE, "Software\\Halvorn\\Korvex", "IconCount", REG_DWORD, Dword(5));
    EXPECT_EQ(Attributes("C:\\Games\\KorvFld5.ico"), win::DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
    EXPECT_EQ(Attributes("C:\\Games"), win::DWORD{FILE_ATTRIBUTE_SYSTEM});
}

TEST_F(PageEndToEnd, DriveIconIsAppliedUnderTheDrivesCapitalLetter)
{
    PutText(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "C\\DefaultIcon", "", "C:\\disk.ico");
    WriteIcon("drive_c/Icons/z.ico");
    Run(R"(open DrvIco frmDrvIco
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
    ExpectText(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "Z\\DefaultIcon", "", "C:\\Icons\\z.ico");
    ExpectText(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "C\\DefaultIcon", "", "C:\\disk.ico");
}

TEST_F(PageEndToEnd, FileTypeIconRegistersATypeForANewExtension)
{
    PutText(HKEY_CLASSES_ROOT, ".txt", "", "txtfile");
    PutText(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", "", "C:\\Icons\\text.ico,1");
    WriteIcon("drive_c/Icons/abc.ico");
    Run(R"(open FIcon frmFIcon
        expect TxtRas text txt
        expect TxtFileInf text txtfile
        expect TxtCurIco text C:\\Icons\\text.ico,1
        type TxtRas abc
        expect TxtFileInf text 
        choose %C%/Icons/abc.ico
        click cmdbrowse
        expect TxtSelIco text C:\\Icons\\abc.ico
        click cmdNewIco
        expect TxtFileInf text abc_pellador_file
        boxes 0)");
    ExpectText(HKEY_CLASSES_ROOT, ".abc", "", "abc_pellador_file");
    ExpectText(HKEY_CLASSES_ROOT, "abc_pellador_file\\DefaultIcon", "", "C:\\Icons\\abc.ico,0");
    ExpectText(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", "", "C:\\Icons\\text.ico,1");
}

TEST_F(PageEndToEnd, SystemIconIsReplacedForTheListedIndex)
{
    constexpr auto kShellIcons = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Icons";
    PutText(HKEY_LOCAL_MACHINE, kShellIcons, "0", "C:\\Icons\\old.ico,0");
    WriteIcon("drive_c/windows/system32/shell32.dll"); // an icon library with one icon
    WriteIcon("drive_c/Icons/new.ico");
    Run(R"(open sysIco frmShell32
        expect lstSI count 1
        expect lstSI row 0 0\tStandart Icon
        select lstSI 0\tStandart Icon
        expect cmdBack visible true
        choose %C%/Icons/new.ico
        answer Yes Replace Icon ?
        click cmdCH)");
    ExpectText(HKEY_LOCAL_MACHINE, kShellIcons, "0", "C:\\Icons\\new.ico,0");
}

TEST_F(PageEndToEnd, BrowserTitleIsWrittenUnderBothRoots)
{
    PutText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\Main", "Window Title", "Old title");
    PutText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "Version", "5.00");
    Run(R"(open IETB frmIETB
        expect txtDC text Old title
        expect txtVer text 5.00
        type txtDC My Browser
        answer Yes Save Changes ?
        click cmdAP)");
    for (win::HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        ExpectText(root, "Software\\Microsoft\\Internet Explorer\\Main", "Window Title", "My Browser");
        ExpectText(root, "Software\\Microsoft\\Internet Explorer", "Version", "5.00");
        ExpectText(root, "Software\\Microsoft\\Internet Explorer\\Toolbar", "BackBitmap", "");
    }
}

TEST_F(PageEndToEnd, ContextMenuItemIsAddedForAllFiles)
{
    PutText(HKEY_CLASSES_ROOT, "*\\Shell\\open", "", "Open");
    PutText(HKEY_CLASSES_ROOT, "*\\Shell\\open\\command", "", "notepad.exe \"%1\"");
    Run(R"(open MenuItem frmConFileMenu
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
    ExpectText(HKEY_CLASSES_ROOT, "*\\Shell\\Öffne & \"sieh\"", "", "View & print");
    ExpectText(HKEY_CLASSES_ROOT, "*\\Shell\\Öffne & \"sieh\"\\command", "", "viewer.exe \"%1\"");
    ExpectText(HKEY_CLASSES_ROOT, "*\\Shell\\open\\command", "", "notepad.exe \"%1\"");
}

TEST_F(PageEndToEnd, ClockTextsAndPositionAreApplied)
{
    for (const auto &[name, text] : {std::pair{"s1159", "AM"}, {"s2359", "PM"}, {"sTimeFormat", "tt h:mm:ss"}})
        PutText(HKEY_CURRENT_USER, "Control Panel\\International", name, text);
    Run(R"(open Clock frmClockText
        expect optL checked true
        expect chkOne checked false
        expect lbl2 text PM 14:26
        type txtPM evening
        tick optR
        answer Yes Save Changes ?
        click cmdAP)");
    ExpectText(HKEY_CURRENT_USER, "Control Panel\\International", "s1159", "AM");
    ExpectText(HKEY_CURRENT_USER, "Control Panel\\International", "s2359", "evening");
    ExpectText(HKEY_CURRENT_USER, "Control Panel\\International", "sTimeFormat", "HH:mm:ss tt");
}

TEST_F(PageEndToEnd, UninstallEntryIsHiddenByItsQuietName)
{
    PutText(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "App", "DisplayName", "App");
    PutText(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Tool", "QuietDisplayName", "Quiet Tool");
    Run(R"(open Uninstall frmUninstall
        expect lbScr count 2
        select lbScr Quiet Tool
        answer Yes You want delete - Quiet Tool ?
        click cmdDel
        expect lbScr count 1
        expect lbScr row 0 App)");
    ExpectMissing(HKEY_LOCAL_MACHINE, (std::string(kUninstall) + "Tool").c_str(), "QuietDisplayName");
    ExpectText(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "App", "DisplayName", "App");
}

// There is no shell window to find on this platform: the page shows zeros and its buttons do
// nothing, without a message.
TEST_F(PageEndToEnd, TaskbarElementsShowZerosWithoutAShell)
{
    Run(R"(open SysEl frmSysBtn
        expect cboSE count 4
        select cboSE System Tray
        tick optPos
        expect TxtX text 0
        expect TxtY text 0
        click btnSH
        click btnED
        boxes 0)");
}

TEST_F(PageEndToEnd, SiteTemplatesAreSavedRenumberedOnLeaving)
{
    constexpr auto kTemplates = "Software\\Microsoft\\Internet Explorer\\Main\\UrlTemplate";
    PutText(HKEY_LOCAL_MACHINE, kTemplates, "1", "www.%s.com");
    PutText(HKEY_LOCAL_MACHINE, kTemplates, "2", "%s.org");
    Run(R"(open ieSF frmSiteFind
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
    ExpectText(HKEY_LOCAL_MACHINE, kTemplates, "1", "www.%s.com");
    ExpectText(HKEY_LOCAL_MACHINE, kTemplates, "2", "www.%s.ru");
    ExpectMissing(HKEY_LOCAL_MACHINE, kTemplates, "3");
}

TEST_F(PageEndToEnd, NetworkTuningAndAHostAreStored)
{
    PutText(HKEY_LOCAL_MACHINE, "Enum\\Root\\Net\\0000", "DeviceDesc", "Dial-Up Adapter");
    PutText(HKEY_LOCAL_MACHINE, kNetTrans, "MaxMTU", "1500");
    PutText(HKEY_LOCAL_MACHINE, kMstcp, "DefaultTTL", "32");
    Write("drive_c/windows/lmhosts", "# hosts, #PRE kept\r\n127.0.0.1\tlocalhost\r\n");
    Run(R"(open Optim frmInetOpti
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
    ExpectText(HKEY_LOCAL_MACHINE, kNetTrans, "MaxMTU", "1400");
    ExpectText(HKEY_LOCAL_MACHINE, kNetTrans, "MaxMSS", "1360");
    ExpectText(HKEY_LOCAL_MACHINE, kMstcp, "DefaultTTL", "32");
    ExpectText(HKEY_LOCAL_MACHINE, kMstcp, "DefaultRcvWindow", "4288");
    EXPECT_EQ(machine_.ReadFile("drive_c/windows/lmhosts"),
              "# hosts, #PRE kept\r\n127.0.0.1\tlocalhost\r\n192.168.0.10\tnas\r\n");
}

TEST_F(PageEndToEnd, VirtualDriveIsMountedOnAFolderWithBlanks)
{
    Write("drive_c/My Games/game.exe", "MZ");
    fs::create_directory_symlink("../drive_c", machine_.PathOf("dosdevices/d:"));
    Run(R"(open Subst frmVHDD
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

TEST_F(PageEndToEnd, AutoMountListIsExtendedAndTolvaneInstalled)
{
    constexpr auto kList = "drive_c/windows/system32/Tolvane.ini";
    constexpr auto kProgram = "drive_c/windows/system32/Tolvane.exe";
    Write(kList, "E:C:\\GAMES\r\n");
    Run(R"(open runSubst frmVHDDrun
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
    ExpectText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Tolvane", "Tolvane.exe");
    QFile built(QStringLiteral(TOLVANE_PROGRAM));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    EXPECT_TRUE(machine_.ReadFile(kProgram) == built.readAll().toStdString()) << "Tolvane is written as built";
    EXPECT_NE(fs::status(machine_.PathOf(kProgram)).permissions() & fs::perms::owner_exec, fs::perms::none);
}

} // namespace
