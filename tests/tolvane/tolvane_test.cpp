// Tolvane: the list rule, and the real program mounting the list that lies beside it on a
// temporary machine and, started at log-on, on a real Wine prefix.
#include "MountLine.h"
#include "RegistryValues.h"
#include "TempMachine.h"
#include "WinePrograms.h"
#include "win32.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace fs = std::filesystem;

namespace
{

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

// The real program, copied into a machine that the environment does not name: it finds its
// machine from its own location and mounts the list beside it, also from a drive root; an empty,
// a hidden or no list mounts nothing.
TEST(TolvaneProgramTest, MountsTheListBesideItself)
{
    const struct {
        const char *folder;
        const char *list; // nullptr: none
        bool hidden;
    } cases[] = {
        {"drive_c/windows/system32", "E:C:\\My Games\r\nC:C:\\windows\r\n", false},
        {"drive_c", "E:C:\\My Games\r\nC:C:\\windows\r\n", false},
        {"drive_c", "", false},
        {"drive_c", "E:C:\\My Games\r\n", true},
        {"drive_c", nullptr, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.folder) + ": " + (c.list ? c.list : "no list") + (c.hidden ? " hidden" : ""));
        TempMachine machine;
        fs::create_directories(machine.PathOf("drive_c/My Games"));
        if (c.list)
            machine.WriteFile(std::string(c.folder) + "/Tolvane.ini", c.list);
        if (c.hidden) {
            ASSERT_TRUE(win::SetFileAttributesA("C:\\Tolvane.ini", FILE_ATTRIBUTE_HIDDEN));
        }
        const std::string program = machine.PathOf(std::string(c.folder) + "/Tolvane.exe");
        fs::copy_file(TOLVANE_PROGRAM, program);
        {
            TempMachine elsewhere; // WINEPREFIX names another machine while the program runs
            ASSERT_EQ(std::system(("'" + program + "'").c_str()), 0);
        }
        const fs::path link = machine.PathOf("dosdevices/e:");
        ASSERT_EQ(fs::is_symlink(link), c.list && *c.list && !c.hidden);
        EXPECT_TRUE(!fs::is_symlink(link) || fs::equivalent(link, machine.PathOf("drive_c/My Games")));
        EXPECT_TRUE(fs::equivalent(machine.PathOf("dosdevices/c:"), machine.PathOf("drive_c"))) << "C: stays";
    }
}

// Log-on on a real Wine prefix: `wineboot` starts the Run entries, Tolvane among them, a
// native program named Tolvane.exe in the system directory; the drive it makes is one that
// Wine's own programs see.
TEST(TolvaneAtLogOnTest, WinebootMountsTheList)
{
    REQUIRE_WINE_PREFIX();
    const WineMachine machine;
    fs::copy_file(TOLVANE_PROGRAM, machine.PathOf("drive_c/windows/system32/Tolvane.exe"));
    machine.WriteFile("drive_c/My Games/tetris.txt", "blocks");
    machine.WriteFile("drive_c/windows/system32/Tolvane.ini", "E:C:\\My Games\r\n");
    ASSERT_EQ(regvalues::SetString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tolvane",
                                   "Tolvane.exe"),
              ERROR_SUCCESS);

    machine.Run(kWine64, {QStringLiteral("wineboot")});
    machine.Run(QStringLiteral("wineserver"), {QStringLiteral("-w")});

    const fs::path link = machine.PathOf("dosdevices/e:");
    ASSERT_TRUE(fs::is_symlink(link)) << "Tolvane did not mount E: at log-on";
    EXPECT_TRUE(fs::equivalent(link, machine.PathOf("drive_c/My Games")));
    EXPECT_TRUE(machine.Run(kWine64, {"cmd", "/c", "dir", "E:\\"}).output.contains("tetris.txt"));
}

} // namespace
