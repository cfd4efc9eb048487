// Choosing the machine: the prefixes a user's tools made are found and nothing of them is
// changed by looking; switching sends every later write to the new machine; WINEPREFIX wins
// over the choice remembered from last time.
#include "Controls.h"
#include "MachineChoice.h"
#include "MdlStart.h"
#include "MessageBoxes.h"
#include "Page.h"
#include "PageMap.h"
#include "ScopedEnv.h"
#include "TempMachine.h"
#include "frmMachines.h"
#include "frmStart.h"
#include "frmTR.h"
#include "machine.h"
#include "prefixes.h"

#include <QCheckBox>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <tuple>

namespace
{

namespace fs = std::filesystem;

const char *const kUserHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n#arch=win64\n";
const char *const kSystemHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";

std::string ReadText(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const fs::path &file, const std::string &text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// The ways a prefix tells its Windows version.
std::string WineSetting(const char *version)
{
    return std::string("\n[Software\\\\Wine] 1700000000\n\"Version\"=\"") + version + "\"\n";
}
std::string NtKeys(const char *version, const char *build)
{
    return std::string("\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1700000000\n\"CurrentBuild\"=\"") +
           build + "\"\n\"CurrentVersion\"=\"" + version + "\"\n";
}
const char *const kNineXKeys = "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] 1700000000\n"
                               "\"VersionNumber\"=\"4.10.2222\"\n";

void MakePrefix(const fs::path &folder, const std::string &userKeys = {}, const std::string &systemKeys = {})
{
    Write(folder / "user.reg", kUserHeader + userKeys);
    Write(folder / "system.reg", kSystemHeader + systemKeys);
    Write(folder / "userdef.reg", "WINE REGISTRY Version 2\n");
    fs::create_directories(folder / "drive_c" / "windows" / "system32");
    fs::create_directories(folder / "dosdevices");
    fs::create_symlink("../drive_c", folder / "dosdevices" / "c:");
    fs::create_symlink("/", folder / "dosdevices" / "z:");
}

// Every entry under the folder with what identifies its content, symlinks not followed.
std::map<std::string, std::string> Snapshot(const fs::path &folder)
{
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path &path = it->path();
        std::string identity;
        if (it->is_symlink()) {
            identity = "link " + fs::read_symlink(path).string();
        } else if (it->is_regular_file()) {
            identity = ReadText(path) + "@" + std::to_string(fs::last_write_time(path).time_since_epoch().count());
        } else {
            identity = "folder";
        }
        entries[path.string()] = identity;
    }
    return entries;
}

class Prefixes : public ::testing::Test
{
protected:
    void SetUp() override
    {
        env_.SetLanguage("en_US.UTF-8");
        home_ = MakeTempFolder("korvex-home");
        env_.Set("HOME", home_);
        env_.Set("XDG_CONFIG_HOME", home_ + "/.config");
        env_.Unset("XDG_DATA_HOME");
        env_.Unset("WINEPREFIX");
        win::UseMachineFolder({});
        win::ResetMachine();
    }
    void TearDown() override
    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::No)});
        MdlStart::Shutdown();
        win::UseMachineFolder({});
        win::ResetMachine();
        RemoveFolder(home_);
    }

    fs::path Home() const { return home_; }

    ScopedEnv env_;
    std::string home_;
};

TEST_F(Prefixes, EveryToolsPrefixIsFoundOnceInAStableOrderAndNothingIsWritten)
{
    const fs::path home = Home();
    const fs::path elsewhere = home / "elsewhere" / "custom";
    MakePrefix(elsewhere);
    env_.Set("WINEPREFIX", elsewhere.string());
    MakePrefix(home / ".wine", WineSetting("winme"));
    MakePrefix(home / ".local/share/korvex/machine", {}, kNineXKeys);
    MakePrefix(home / ".local/share/wineprefixes/ie6", WineSetting("winxp"));
    MakePrefix(home / ".var/app/com.usebottles.bottles/data/bottles/bottles/Gaming", WineSetting("win10"));
    Write(home / ".var/app/com.usebottles.bottles/data/bottles/bottles/Gaming/bottle.yml",
          "Arch: win64\nName: Gaming Bottle\nRunner: wine\n");
    MakePrefix(home / "Games/diablo");
    MakePrefix(home / "lutris/witcher");
    Write(home / ".config/lutris/games/witcher-1700000000.yml",
          "game:\n  exe: drive_c/witcher.exe\n  prefix: ~/lutris/witcher\n");
    MakePrefix(home / "Games/Heroic/Prefixes/default/Hades");
    const fs::path steam = home / ".local/share/Steam";
    Write(steam / "steamapps/libraryfolders.vdf", "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" +
                                                      steam.string() + "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" +
                                                      (home / "no-such-library").string() + "\"\n\t}\n}\n");
    // Older Steam lists a library by number only.
    Write(home / ".steam/root/steamapps/libraryfolders.vdf",
          "\"LibraryFolders\"\n{\n\t\"1\"\t\t\"" + (home / "SteamLibrary").string() + "\"\n}\n");
    MakePrefix(home / "SteamLibrary/steamapps/compatdata/400/pfx");
    fs::create_directories(home / ".steam");
    fs::create_directory_symlink(steam, home / ".steam/steam");
    MakePrefix(steam / "steamapps/compatdata/1091500/pfx", {}, NtKeys("10.0", "19045"));
    Write(steam / "steamapps/appmanifest_1091500.acf", "\"AppState\"\n{\n\t\"appid\"\t\t\"1091500\"\n\t\"name\"\t\t"
                                                       "\"Cyberpunk 2077\"\n}\n");
    MakePrefix(steam / "steamapps/compatdata/22380/pfx", {}, NtKeys("6.1", "7601"));
    fs::create_directories(steam / "steamapps/compatdata/228980"); // a tool's folder without a prefix
    MakePrefix(home / ".PlayOnLinux/wineprefix/Office", WineSetting("win2k"));
    // Not prefixes: a folder without user.reg and drive_c, a link to itself, a link to its folder.
    Write(home / ".local/share/wineprefixes/broken/system.reg", kSystemHeader);
    fs::create_symlink("loop", home / ".local/share/wineprefixes/loop");
    fs::create_directory_symlink("..", home / ".PlayOnLinux/wineprefix/cycle");

    using Row = std::tuple<win::PrefixSource, std::string, std::string, bool>;
    const std::vector<Row> expected = {
        {win::PrefixSource::WinePrefixVariable, "custom", "win7", true},
        {win::PrefixSource::DefaultWine, ".wine", "winme", false},
        {win::PrefixSource::Korvex, "Korvex", "win98", false},
        {win::PrefixSource::Winetricks, "ie6", "winxp", true},
        {win::PrefixSource::Bottles, "Gaming Bottle", "win10", true},
        {win::PrefixSource::Lutris, "diablo", "win7", true},
        {win::PrefixSource::Lutris, "witcher", "win7", true},
        {win::PrefixSource::Heroic, "Hades", "win7", true},
        {win::PrefixSource::Steam, "22380", "win7", true},
        {win::PrefixSource::Steam, "400", "win7", true},
        {win::PrefixSource::Steam, "Cyberpunk 2077", "win10", true},
        {win::PrefixSource::PlayOnLinux, "Office", "win2k", true},
    };
    const auto before = Snapshot(home);
    for (int run = 0; run < 2; ++run) {
        std::vector<Row> found;
        for (const win::WinePrefix &prefix : win::FindWinePrefixes()) {
            found.emplace_back(prefix.source, prefix.name, prefix.windowsVersion, prefix.windowsNT);
            EXPECT_TRUE(win::IsWinePrefix(prefix.folder)) << prefix.folder;
            EXPECT_FALSE(prefix.serverRunning) << prefix.folder;
            EXPECT_GT(prefix.lastChange, 0) << prefix.folder;
        }
        EXPECT_EQ(found, expected) << "run " << run;
    }
    EXPECT_EQ(Snapshot(home), before) << "finding prefixes changed something";
}

TEST_F(Prefixes, SwitchingAsksTheSaveQuestionAndThenWritesOnlyToTheNewMachine)
{
    const fs::path first = Home() / "first";
    const fs::path second = Home() / "second";
    MakePrefix(first, WineSetting("win98"));
    MakePrefix(second, WineSetting("win10"));
    env_.Set("WINEPREFIX", first.string());
    MdlStart::Main(&CreatePage);
    EXPECT_TRUE(MdlStart::TreeWindow()->ItemOf(QStringLiteral("Optim"))) << "a 9x machine has its tuning page";

    MdlStart::TreeWindow()->TR_NodeClick(MdlStart::TreeWindow()->ItemOf(QStringLiteral("StartMenu")));
    ASSERT_TRUE(MdlStart::CurrentPage);
    Control<QCheckBox>(*MdlStart::CurrentPage, "chk_3").click();
    const auto secondBefore = Snapshot(second);
    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Yes)});
        SwitchToMachine(QString::fromStdString(second.string()), QStringLiteral("second"));
        ASSERT_EQ(boxes.Seen().size(), 1u) << "the save question, and nothing about the new machine";
        // Switching off Run also names the way back, History, after the question.
        EXPECT_TRUE(boxes.Seen()[0].text.startsWith(QStringLiteral("Save Changes ?")));
    }
    EXPECT_NE(ReadText(first / "user.reg").find("\"NoRun\"=dword:00000001"), std::string::npos)
        << "the page saves where it was loaded";
    EXPECT_EQ(Snapshot(second), secondBefore);

    // The new machine is NT: the platform is decided again and the tree rebuilt for it.
    EXPECT_EQ(win::MachineFolder(), second.string());
    EXPECT_TRUE(MdlStart::IsWindowsNT());
    EXPECT_EQ(MdlStart::CurrentVersionKey, QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion"));
    EXPECT_FALSE(MdlStart::TreeWindow()->ItemOf(QStringLiteral("Optim")));
    EXPECT_EQ(MdlStart::CurrentPage->objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(MdlStart::MainWindow()->Status()->MachineButton()->text(), QStringLiteral("second (Windows 10)"));

    const auto firstAfterSwitch = Snapshot(first);
    MdlStart::TreeWindow()->TR_NodeClick(MdlStart::TreeWindow()->ItemOf(QStringLiteral("StartMenu")));
    Control<QCheckBox>(*MdlStart::CurrentPage, "chk_3").click();
    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Yes)});
        MdlStart::UnloadCurrentPage();
    }
    EXPECT_NE(ReadText(second / "user.reg").find("\"NoRun\"=dword:00000001"), std::string::npos);
    EXPECT_EQ(Snapshot(first), firstAfterSwitch) << "the old machine is left alone after the switch";
}

TEST_F(Prefixes, WinePrefixWinsOverTheRememberedChoice)
{
    const fs::path remembered = Home() / "remembered";
    const fs::path variable = Home() / "variable";
    MakePrefix(remembered);
    MakePrefix(variable);
    RememberMachine(QString::fromStdString(remembered.string()), QStringLiteral("remembered"));

    env_.Set("WINEPREFIX", variable.string());
    EXPECT_FALSE(UseRememberedMachine());
    EXPECT_EQ(win::ChosenMachineFolder(), variable.string());

    env_.Unset("WINEPREFIX");
    EXPECT_TRUE(UseRememberedMachine());
    EXPECT_EQ(win::ChosenMachineFolder(), remembered.string());
    EXPECT_EQ(MachineLabel(), QStringLiteral("remembered (Windows 7)"));

    // A remembered folder that is gone leaves the usual choice.
    win::UseMachineFolder({});
    fs::remove_all(remembered);
    EXPECT_FALSE(UseRememberedMachine());
    EXPECT_EQ(win::ChosenMachineFolder(), home_ + "/.local/share/korvex/machine");
}

TEST_F(Prefixes, TheChooserIsUsedFromTheKeyboardAndRefusesAFolderThatIsNoPrefix)
{
    MakePrefix(Home() / ".wine", WineSetting("win98"));
    MakePrefix(Home() / ".local/share/wineprefixes/office", WineSetting("winxp"));
    frmMachines chooser;
    auto &list = Control<QTreeWidget>(chooser, "lstMachines");
    ASSERT_EQ(list.topLevelItemCount(), 2);
    EXPECT_EQ(list.currentItem()->text(0), QStringLiteral(".wine")) << "the machine in use is selected";
    EXPECT_EQ(list.currentItem()->text(2), QStringLiteral("Windows 98"));

    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Enter()});
        chooser.ChooseOtherFolder(QString::fromStdString(home_));
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_TRUE(chooser.ChosenFolder().isEmpty());
    }

    chooser.show();
    list.setFocus();
    Press(list, Qt::Key_Down);
    Press(list, Qt::Key_Return);
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.ChosenFolder().toStdString(), home_ + "/.local/share/wineprefixes/office");
    EXPECT_EQ(chooser.ChosenName(), QStringLiteral("office"));
}

} // namespace
