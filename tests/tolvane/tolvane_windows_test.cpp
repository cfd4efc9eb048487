// Tolvane built for Windows, run under Wine: the command lines it hands to the real WinExec for
// a list file read with the real file functions.
#include "mdlMain.h"
#include "win32.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
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
    EXPECT_EQ(showMode, 0u);
    Recorded().emplace_back(commandLine);
    return 33;
}

TEST(TolvaneOnWindows, HandsOneQuotedSubstLinePerEntryToWinExecAlsoFromADriveRoot)
{
    const fs::path folder = fs::temp_directory_path() / "korvex-tolvane-test";
    fs::create_directories(folder);
    const fs::path list = folder / "Tolvane.ini";
    std::ofstream(list, std::ios::binary) << "E:C:\\GAMES\r\nF:D:\\My Work,2\r\n\r\nx\nG:\r\n";
    Recorded().clear();

    mdlMain::MountList(mdlMain::AddBackslash(folder.string()) + "Tolvane.ini", &Record);

    EXPECT_EQ(Recorded(),
              (std::vector<std::string>{"subst E: \"C:\\GAMES\"", "subst F: \"D:\\My Work,2\"", "subst G: \"\""}));
    fs::remove_all(folder);
    EXPECT_EQ(mdlMain::AddBackslash("C:\\") + "Tolvane.ini", "C:\\Tolvane.ini") << "the list in a drive root";
}

} // namespace
