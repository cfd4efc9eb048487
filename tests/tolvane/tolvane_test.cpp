// Tolvane: the list rule, the command lines it hands to WinExec, and the real program mounting the
// list that lies beside it on a temporary machine.
#include "MountLine.h"
#include "RegistryValues.h"
#include "TempMachine.h"
#include "WinePrograms.h"
#include "mdlMain.h"
#include "win32.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

std::vector<std::string> &Recorded()
{
    static std::vector<std::string> lines;
    return lines;
}

unsigned Record(const char *commandLine, unsigned showMode)
{
    EXPECT_EQ(showMode, 0u) << "every command runs hidden";
    Recorded().emplace_back(commandLine);
    return 33;
}

class TolvaneTest : public ::testing::Test
{
protected:
    void SetUp() override { Recorded().clear(); }

    // The commands Tolvane hands over for a list file with `content` in the system directory.
    std::vector<std::string> CommandsFor(const std::string &content)
    {
        machine_.WriteFile("drive_c/windows/system32/Tolvane.ini", content);
        mdlMain::MountList("C:\\windows\\system32\\Tolvane.ini", &Record);
        return Recorded();
    }

    TempMachine machine_;
};

// The list rule every reader of the list shares: the command a line becomes, or none.
TEST(MountLineTest, TurnsALineIntoItsSubstCommandOrIntoNothing)
{
    static_assert(MountLine::ParseLine("E:C:\\GAMES"), "the rule works at compile time");
    const std::string longest = "C:\\" + std::string(MountLine::kMaxFolderLength - 3, 'a');
    char command[MountLine::kCommandCapacity];
    for (const std::string &folder : std::initializer_list<std::string>{"C:\\My Games", "c:\\Old,New", "C:\\Игры",
                                                                        "D:", "\\\\server\\share", longest}) {
        const std::string line = "E:" + folder;
        const MountLine::Entry entry = MountLine::ParseLine(line);
        ASSERT_TRUE(entry) << folder;
        EXPECT_EQ(std::string(command, MountLine::WriteCommand(entry, command)), "subst E: \"" + folder + '"');
    }
    // Short, no folder, subst switches in either field, a quote, relative folders, a blank or a
    // control character in front, incomplete shares, no letter, a folder too long.
    for (const std::string &line : std::initializer_list<std::string>{
             "", "x", "G:", "E:/D", "/DE:", "E:C:\\x\" /D", "E:C:\\a/b", "E:GAMES", "E:C:GAMES", "E:\\GAMES",
             "E: C:\\GAMES", "E:\tC:\\GAMES", "E:\\\\server", "E:\\\\\\share", "1:C:\\odd", "E:" + longest + 'a'})
        EXPECT_FALSE(MountLine::ParseLine(line)) << line;
}

TEST_F(TolvaneTest, RunsNothingForAnEmptyMissingOrHiddenList)
{
    mdlMain::MountList("C:\\windows\\system32\\Tolvane.ini", &Record); // no list yet
    EXPECT_TRUE(CommandsFor("").empty());
    ASSERT_TRUE(win::SetFileAttributesA("C:\\windows\\system32\\Tolvane.ini", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(CommandsFor("E:C:\\GAMES\r\n").empty()) << "a hidden list";
}

// The real program, copied into a machine that the environment does not name: it finds its
// machine from its own location and mounts the list beside it, also from a drive root.
TEST(TolvaneProgramTest, MountsTheListBesideItself)
{
    for (const std::string folder : {"drive_c/windows/system32", "drive_c"}) {
        SCOPED_TRACE(folder);
        TempMachine machine;
        fs::create_directories(machine.PathOf("drive_c/My Games"));
        machine.WriteFile(folder + "/Tolvane.ini", "E:C:\\My Games\r\nC:C:\\windows\r\n");
        const std::string program = machine.PathOf(folder + "/Tolvane.exe");
        fs::copy_file(TOLVANE_PROGRAM, program);
        {
            TempMachine elsewhere; // WINEPREFIX names another machine while the program runs
            ASSERT_EQ(std::system(("'" + program + "'").c_str()), 0);
        }
        const fs::path link = machine.PathOf("dosdevices/e:");
        ASSERT_TRUE(fs::is_symlink(link)) << "E: was not mounted";
        EXPECT_TRUE(fs::equivalent(link, machine.PathOf("drive_c/My Games")));
        EXPECT_TRUE(fs::equivalent(machine.PathOf("dosdevices/c:"), machine.PathOf("drive_c"))) << "C: stays";
    }
}

// Log-on on a real Wine prefix: `wineboot` starts the Run entries, Tolvane among them, a
// native program named Tolvane.exe in the system directory; the drive it makes is one that
// Wine's own programs see.
class TolvaneAtLogOnTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string folder = WineTemplate();
        if (folder.empty())
            GTEST_SKIP() << "No Wine prefix to copy: Wine is not installed, or the test ran outside ctest.";
        machine_ = std::make_unique<TempMachine>(folder);
    }
    void TearDown() override
    {
        if (machine_)
            Wine(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    }

    // Runs a Wine program for the test's prefix; returns what it printed.
    std::string Wine(const QString &program, const QStringList &args) const
    {
        return RunWine(machine_->Folder(), program, args).output.toStdString();
    }

    std::unique_ptr<TempMachine> machine_;
};

TEST_F(TolvaneAtLogOnTest, WinebootMountsTheList)
{
    const TempMachine &machine = *machine_;
    const std::string program = machine.PathOf("drive_c/windows/system32/Tolvane.exe");
    fs::copy_file(TOLVANE_PROGRAM, program);
    fs::create_directories(machine.PathOf("drive_c/My Games"));
    machine.WriteFile("drive_c/My Games/tetris.txt", "blocks");
    machine.WriteFile("drive_c/windows/system32/Tolvane.ini", "E:C:\\My Games\r\n");
    ASSERT_EQ(regvalues::SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tolvane",
                                   "Tolvane.exe"),
              ERROR_SUCCESS);

    Wine(kWine64, {QStringLiteral("wineboot")});
    Wine(QStringLiteral("wineserver"), {QStringLiteral("-w")});

    const fs::path link = machine.PathOf("dosdevices/e:");
    ASSERT_TRUE(fs::is_symlink(link)) << "Tolvane did not mount E: at log-on";
    EXPECT_TRUE(fs::equivalent(link, machine.PathOf("drive_c/My Games")));
    EXPECT_NE(Wine(kWine64, {"cmd", "/c", "dir", "E:\\"}).find("tetris.txt"), std::string::npos);
}

} // namespace
