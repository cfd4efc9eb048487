// The real korvex program, started as `make run` starts it, used through its windows by the
// script driver (driver.cpp, preloaded) and judged by what it stored in the machine's registry
// and files. Each kind of page is driven, on a fresh machine folder or Wine prefix reporting
// Windows 98 and on a Windows 98 guest in a disk image opened through KORVEX_MACHINE: what is
// stored beforehand shows on the page, and what the user does there is stored. The page tests
// drive every page; here the shipped program's own start, windows, resources and journal are at
// work, and Wine reads what it wrote.
#include "Shell.h"
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

// Runs korvex on the machine with the driver working through `script` (its lines may be
// indented; "%C%" stands for the host folder of drive C), no screen, and
// expects every step to hold, and korvex to end by itself with 0 within the limit (else it is
// killed); with KORVEX_MACHINE naming `image`, when given, which wins over the machine, and in
// `language` when given. What it stored is read afresh afterwards.
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
    korvex.start(QStringLiteral(KORVEX_PROGRAM));
    const bool ended = korvex.waitForFinished(kRunLimitMs);
    EXPECT_TRUE(ended && korvex.exitStatus() == QProcess::NormalExit && korvex.exitCode() == 0)
        << "korvex did not end by itself with 0 within " << kRunLimitMs / 1000 << " s (exit code " << korvex.exitCode()
        << ")\n"
        << machine.ReadFile("e2e-log.txt") << "\n--- korvex's error output:\n"
        << korvex.readAllStandardError().toStdString();
    if (!ended) {
        korvex.kill();
        korvex.waitForFinished();
    }
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

// The value as stored now; std::nullopt for one that must be missing.
void ExpectStored(win::HKEY root, const std::string &key, const char *name, const std::optional<StoredValue> &value)
{
    EXPECT_EQ(ReadStoredValue(root, QString::fromStdString(key), name), value) << key << "\\" << name;
}

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override { machine_.ReportWindowsVersion("win98"); }

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
        answer Yes Save Changes ?)");
    ExpectStored(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeCaption", Sz("Welcome"));
    ExpectStored(HKEY_LOCAL_MACHINE, kWinlogon, "LegalNoticeText", Sz("Be nice"));
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoRun", Dword(1));
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoChangeStartMenu", Dword(1));
}

TEST_F(EndToEnd, DriveIconIsAppliedUnderTheDrivesCapitalLetter)
{
    Put(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "C\\DefaultIcon", "", Sz("C:\\disk.ico"));
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    fs::create_directories(machine_.PathOf("drive_c/Icons"));
    ASSERT_TRUE(icon.save(QString::fromStdString(machine_.PathOf("drive_c/Icons/z.ico")), "ico"));
    RunKorvex(machine_, R"(open DrvIco frmDrvIco
        expect Drv currentText c:
        expect txtIcoP text C:\\disk.ico
        select Drv z:
        choose %C%/Icons/z.ico
        click cmdbrowse
        expect txtIcoP text C:\\Icons\\z.ico
        answer Yes Save Changes ?
        click cmdAP)");
    ExpectStored(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "Z\\DefaultIcon", "", Sz("C:\\Icons\\z.ico"));
    ExpectStored(HKEY_LOCAL_MACHINE, std::string(kDriveIcons) + "C\\DefaultIcon", "", Sz("C:\\disk.ico"));
}

TEST_F(EndToEnd, AutoMountShowsTheListAndInstallsTolvane)
{
    constexpr auto kProgram = "drive_c/windows/system32/Tolvane.exe";
    machine_.WriteFile("drive_c/windows/system32/Tolvane.ini", "E:C:\\GAMES\r\n");
    RunKorvex(machine_, R"(open runSubst frmVHDDrun
        expect chkAutorun checked false
        tick chkAutorun
        expect cboD currentText E:
        expect txtP text C:\\GAMES)");
    ExpectStored(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Tolvane", Sz("Tolvane.exe"));
    QFile built(QStringLiteral(TOLVANE_PROGRAM));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    EXPECT_TRUE(machine_.ReadFile(kProgram) == built.readAll().toStdString()) << "Tolvane is written as built";
    EXPECT_NE(fs::status(machine_.PathOf(kProgram)).permissions() & fs::perms::owner_exec, fs::perms::none);
}

// The switches of the System page on a prefix made by Wine itself: what Wine's prefix holds
// shows, and what Korvex saves Wine's own `reg` reads. In Russian the save question's buttons
// are Qt's own, translated; the title names the machine and marks the page's unsaved change
// until it is saved.
TEST(WineEndToEnd, SystemPageOnARealWinePrefixInRussian)
{
    REQUIRE_WINE_PREFIX();
    const WineMachine machine;
    machine.ReportWindowsVersion("win98");
    Put(HKEY_CURRENT_USER, kExplorer, "NoDesktop", Dword(1));
    Put(HKEY_CURRENT_USER, kExplorer, "NoNetHood", Dword(1));
    RunKorvex(machine, R"(open Korvex frmKorv
        title 98) – Korvex
        expect chk_0 checked true
        expect chk_1 checked true
        tick chk_2
        title 98)* – Korvex
        answer Да
        open About frmAbout
        title 98) – Korvex)",
              {}, "ru_RU.UTF-8");
    const QString query =
        QString::fromUtf8(machine.Run(kWine64, {"reg", "query", QStringLiteral("HKCU\\") + kExplorer}).output);
    for (const char *name : {"NoDesktop", "NoNetHood", "NoSaveSettings"}) {
        const QRegularExpression switchedOn(QStringLiteral("\\b%1\\s+REG_DWORD\\s+0x1\\b").arg(name));
        EXPECT_TRUE(query.contains(switchedOn)) << name << " is not 1 in:\n" << query.toStdString();
    }
}

// A file of the test image's guest (FAT32 at 1 MiB) through mtools; empty when it is missing.
std::string GuestFile(const std::string &image, const char *guestPath)
{
    return Shell("MTOOLS_SKIP_CHECK=1 mcopy -n -i '" + image + "@@1048576' " + guestPath + " - 2>/dev/null");
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
    constexpr auto kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
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
        open Subst frmVHDD
        expect cmdMount enabled false
        open runSubst frmVHDDrun
        tick chkAutorun
        open About frmAbout)",
              image);
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoChangeStartMenu", Dword(1));
    ExpectStored(HKEY_CLASSES_ROOT, "*\\Shell\\View\\command", "", Sz("viewer.exe \"%1\""));
    EXPECT_NE(GuestFile(image, "::/WINDOWS/LMHOSTS").find("192.168.0.10\tnas\r\n"), std::string::npos);
    ExpectStored(HKEY_LOCAL_MACHINE, kRunKey, "Tolvane", Sz("Tolvane.exe"));
    QFile built(QStringLiteral(TOLVANE9X_PROGRAM));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    EXPECT_TRUE(GuestFile(image, "::/WINDOWS/SYSTEM/TOLVANE.EXE") == built.readAll().toStdString());

    RunKorvex(machine, "open History frmHistory\nclick cmdUndoAll", image);
    ExpectStored(HKEY_LOCAL_MACHINE, kRunKey, "Tolvane", std::nullopt);
    ExpectStored(HKEY_CURRENT_USER, kExplorer, "NoChangeStartMenu", std::nullopt);
    EXPECT_EQ(GuestFile(image, "::/WINDOWS/SYSTEM/TOLVANE.EXE"), "");
}

} // namespace
