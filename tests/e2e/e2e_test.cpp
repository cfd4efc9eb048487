// The real korvex program, started as `make run` starts it, used through its windows by the
// script driver (driver.cpp, preloaded) and judged by what it stored in the machine's registry
// and files. One page of each kind is driven, on a fresh machine folder reporting Windows 98:
// what is stored beforehand shows on the page, and what the user does there is stored. The
// page tests drive every page; here the shipped program's own start, windows, resources and
// journal are at work, and Wine reads what it wrote. The same on a Windows 98 guest in a disk
// image, opened through KORVEX_MACHINE.
#include "StoredValue.h"
#include "TempMachine.h"
#include "WinePrograms.h"
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
#include <string>

namespace
{

namespace fs = std::filesystem;

// How long one run of a program may take before it is killed.
constexpr int kRunLimitMs = 15'000;

constexpr auto kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr auto kWinlogon = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";
constexpr auto kDriveIcons = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\DriveIcons\\";
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
// indented; "%C%" stands for the host folder of drive C), no screen, and
// expects every step to hold; with KORVEX_MACHINE naming `image`, when given, which wins over the
// machine, and in `language` when given. What it stored is read afresh afterwards.
void RunKorvex(const TempMachine &machine, std::string script, const std::string &image = {},
               const char *language = "en_US.UTF-8")
{
    for (size_t at; (at = script.find("%C%")) != std::string::npos;)
        script.replace(at, 3, machine.PathOf("drive_c"));
    machine.WriteFile("e2e-script.txt", script);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", QString::fromStdString(machine.Folder()));
    if (!image.empty())
        env.insert("KORVEX_MACHINE", QString::fromStdString(image));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("LC_ALL");
    env.remove("LC_MESSAGES");
    env.insert("LANG", language);
    const QString asanRuntime = QStringLiteral(KORVEX_ASAN_RUNTIME);
    env.insert("LD_PRELOAD", (asanRuntime.isEmpty() ? QString() : asanRuntime + ":") + KORVEX_E2E_DRIVER);
    env.insert("KORVEX_E2E_SCRIPT", QString::fromStdString(machine.PathOf("e2e-script.txt")));
    env.insert("KORVEX_E2E_LOG", QString::fromStdString(machine.PathOf("e2e-log.txt")));
    QProcess korvex;
    korvex.setProcessEnvironment(env);
    // The test lets go of the machine first: a disk image it held open would be in use to korvex.
    win::ResetMachine();
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

    TempMachine machine_;
};

// The logon message on the 9x key: a stored message shows and OK saves the edited one and shows
// About; then a policy page's switch is saved by the question that closing the main window asks.
TEST_F(EndToEnd, LogonMessageIsSavedByOkAndAPolicySwitchByClosingTheWindow)
{
    Put(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption", Sz("Hello"));
    Put(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText", Sz("Authorised users only"));
    Put(HKEY_CURRENT_USER, kExplorer, "NoRun", Dword(1));
    RunKorvex(machine_, R"(open StartUp frmStartUp
        expect chkYN checked true
        expect txtTitle text Hello
        expect txtText plainText Authorised users only
        type txtTitle Welcome
        type txtText Be nice
        answer Yes Save Changes ?
        click cmdOk
        page frmAbout
        open StartMenu frmPusk
        expect chk_3 checked true
        expect chk_1 enabled false
        tick chk_8
        answer Yes Save Changes ?
        close
        boxes 2)");
    ExpectStored(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption", Sz("Welcome"));
    ExpectStored(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText", Sz("Be nice"));
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoRun", Dword(1));
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoChangeStartMenu", Dword(1));
}

// In Russian the save question's buttons are Qt's own, translated; the title names the machine
// and marks the page's unsaved change until it is saved.
TEST_F(EndToEnd, TitleNamesTheMachineAndTheSaveQuestionSpeaksRussian)
{
    RunKorvex(machine_, R"(open Korvex frmKorv
        title 98) – Korvex
        tick chk_2
        title 98)* – Korvex
        answer Да
        open About frmAbout
        title 98) – Korvex)",
              {}, "ru_RU.UTF-8");
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoSaveSettings", Dword(1));
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
    const std::string wineTemplate = WineTemplate();
    if (wineTemplate.empty())
        GTEST_SKIP() << "No Wine prefix to copy: Wine is not installed, or the test ran outside ctest's WinePrefix "
                        "fixture.";
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
    const QString query = QString::fromUtf8(
        RunWine(machine.Folder(), kWine64, {"reg", "query", QStringLiteral("HKCU\\") + kExplorer}).output);
    // Wine's server must not outlive the prefix that the test removes.
    RunWine(machine.Folder(), QStringLiteral("wineserver"), {QStringLiteral("-k")});
    for (const char *name : {"NoDesktop", "NoNetHood", "NoSaveSettings"}) {
        const QRegularExpression switchedOn(QStringLiteral("\\b%1\\s+REG_DWORD\\s+0x1\\b").arg(name));
        EXPECT_TRUE(query.contains(switchedOn)) << name << " is not 1 in:\n" << query.toStdString();
    }
}

// A file of the test image's guest (FAT32 at 1 MiB) through mtools; nothing when it is missing.
std::optional<std::string> GuestFile(const std::string &image, const char *guestPath)
{
    QProcess mcopy;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MTOOLS_SKIP_CHECK", "1");
    mcopy.setProcessEnvironment(env);
    if (!RunToEnd(mcopy, "mcopy", {"-n", "-i", QString::fromStdString(image) + "@@1048576", guestPath, "-"}))
        return std::nullopt;
    return mcopy.readAllStandardOutput().toStdString();
}

// Korvex run with KORVEX_MACHINE naming a copy of the test image: a page of each kind reads and
// changes the guest's own registry and files; the drive page mounts nothing in a guest that is
// not running, automatic mounting installs the Windows 9x Tolvane, and History undoes it all.
TEST(ImageEndToEnd, PagesOfEachKindAndHistoryWorkOnTheGuest)
{
    const TempMachine machine;
    const std::string image = machine.PathOf("win98.img");
    fs::copy_file(WIN98_IMAGE, image);
    win::UseMachineFolder(image);
    win::ResetMachine();
    const struct Forget {
        ~Forget() { win::UseMachineFolder({}); }
    } forget;
    const auto version =
        ReadStoredValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "VersionNumber");
    if (Shown(version) != Shown(Sz("4.10.2222")))
        GTEST_SKIP() << "win::UseMachineFolder does not open a disk image as a machine yet";
    constexpr auto kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    Put(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "C\\DefaultIcon", "", Sz("C:\\disk.ico"));
    RunKorvex(machine, R"(open StartMenu frmPusk
        tick chk_8
        answer Yes Save Changes ?
        open MenuItem frmConFileMenu
        type txtCaption View
        type txtSub View it
        type txtCmd viewer.exe "%1"
        answer Yes
        click cmdadd
        open Optim frmInetOpti
        type ip4 10
        type txtHost nas
        click cmdadd
        open DrvIco frmDrvIco
        expect txtIcoP text C:\\disk.ico
        open Subst frmVHDD
        expect cmdMount enabled false
        open runSubst frmVHDDrun
        tick chkAutorun
        open About frmAbout)",
              image);
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoChangeStartMenu", Dword(1));
    ExpectStored(HKEY_CLASSES_ROOT, "*\\Shell\\View\\command", "", Sz("viewer.exe \"%1\""));
    EXPECT_NE(GuestFile(image, "::/WINDOWS/LMHOSTS").value_or("").find("192.168.0.10\tnas\r\n"), std::string::npos);
    ExpectStored(HKEY_LOCAL_MACHINE, kRunKey, "Tolvane", Sz("Tolvane.exe"));
    QFile built(QStringLiteral(TOLVANE9X_PROGRAM));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    EXPECT_TRUE(GuestFile(image, "::/WINDOWS/SYSTEM/TOLVANE.EXE") == built.readAll().toStdString());

    RunKorvex(machine, "open History frmHistory\nclick cmdUndoAll", image);
    ExpectStored(HKEY_LOCAL_MACHINE, kRunKey, "Tolvane", std::nullopt);
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoChangeStartMenu", std::nullopt);
    EXPECT_EQ(GuestFile(image, "::/WINDOWS/SYSTEM/TOLVANE.EXE"), std::nullopt);
}

} // namespace

// A program registered by a 32-bit installer in a 64-bit prefix is listed beside one registered
// by a 64-bit installer.
TEST(WineEndToEnd, UninstallListShowsProgramsOfBothViews)
{
    const char *wineTemplate = std::getenv("KORVEX_WINE_TEMPLATE");
    if (!wineTemplate || !fs::exists(fs::path(wineTemplate) / "system.reg"))
        GTEST_SKIP() << "No Wine prefix to copy (KORVEX_WINE_TEMPLATE): Wine is not installed, or the test ran "
                        "outside ctest's WinePrefix fixture.";
    TempMachine machine(wineTemplate);
    machine.ReportWindowsVersion("win98");
    const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    Put(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kvx32",
        "DisplayName", Sz("Kvx 32-bit Tool"));
    Put(HKEY_LOCAL_MACHINE, uninstall + "Kvx64", "DisplayName", Sz("Kvx 64-bit Tool"));
    RunKorvex(machine, R"(open Uninstall frmUninstall
        select lbScr Kvx 32-bit Tool
        select lbScr Kvx 64-bit Tool)");
}
