// Tolvane for Windows 95/98/ME under Wine, started as Windows starts it: from a folder that holds
// its Tolvane.ini and a recording subst.exe (WinExec looks in the program's own folder first), told
// by the prefix that it runs on Windows 98. The i386 program needs 32-bit Wine; where that cannot
// run (run_under_wine.sh says why in KORVEX_NO_WINE32), its run is skipped and the same source
// built for x86-64 is what runs.
#include "TempMachine.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

struct Program {
    const char *file; // in the folder tolvane9x beside this test program
    bool needs32BitWine;
};

void PrintTo(const Program &program, std::ostream *out)
{
    *out << program.file;
}

constexpr Program kPrograms[] = {{"tolvane9x.exe", true}, {"tolvane9x_x64.exe", false}};
constexpr auto kVersionKey = "Software\\Wine\\AppDefaults\\Tolvane.exe";
constexpr DWORD kPatience = 60000;

fs::path BuiltFolder()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return fs::path(std::string(path, length)).parent_path() / "tolvane9x";
}

bool AnySubstRunning()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        found = _stricmp(entry.szExeFile, "subst.exe") == 0;
    CloseHandle(snapshot);
    return found;
}

class Tolvane9xTest : public ::testing::TestWithParam<Program>
{
protected:
    void SetUp() override
    {
        const char *no32 = std::getenv("KORVEX_NO_WINE32");
        if (GetParam().needs32BitWine && no32 && *no32)
            GTEST_SKIP() << "The i386 Tolvane was not run: 32-bit Wine cannot run here (" << no32 << ").";
        folder_ = MakeTempFolder("korvex-tolvane9x");
        fs::copy_file(BuiltFolder() / GetParam().file, fs::path(folder_) / "Tolvane.exe");
        fs::copy_file(BuiltFolder() / "subst_recorder.exe", fs::path(folder_) / "subst.exe");
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kVersionKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>("win98"), 6);
        RegCloseKey(key);
    }
    void TearDown() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kVersionKey);
        if (!folder_.empty())
            RemoveFolder(folder_);
    }

    void WriteList(const std::string &text, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const
    {
        const fs::path list = fs::path(folder_) / "Tolvane.ini";
        std::ofstream(list, std::ios::binary) << text;
        SetFileAttributesA(list.string().c_str(), attributes);
    }

    // Starts Tolvane, waits for it and for every subst it started; the command lines those were
    // started with, in the order Tolvane started them.
    std::vector<std::string> RunTolvane() const
    {
        std::string program = (fs::path(folder_) / "Tolvane.exe").string();
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        EXPECT_TRUE(CreateProcessA(program.c_str(), program.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder_.c_str(), &startup, &process))
            << "Tolvane did not start: error " << GetLastError();
        if (!process.hProcess)
            return {};
        EXPECT_EQ(WaitForSingleObject(process.hProcess, kPatience), WAIT_OBJECT_0) << "Tolvane did not end";
        DWORD exitCode = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (DWORD waited = 0; AnySubstRunning() && waited < kPatience; waited += 50)
            Sleep(50);

        std::vector<std::string> records;
        std::ifstream log(fs::path(folder_) / "subst.log", std::ios::binary);
        for (std::string line; std::getline(log, line);)
            records.push_back(line);
        std::sort(records.begin(), records.end());
        for (std::string &record : records)
            record.erase(0, record.find(' ') + 1);
        return records;
    }

    std::string folder_;
};

TEST_P(Tolvane9xTest, MountsEveryEntryInFileOrderAndPassesOverLinesThatHoldNone)
{
    // A comma inside a folder, LF and CR LF endings, a last line without an end; short and
    // drive-only lines, subst switches in either field, a relative folder and a quote in one.
    WriteList("E:C:\\GAMES\r\nF:D:\\My Work,2\nx\r\n\r\nG:\r\nE:/D\r\n/DE:\r\nH:GAMES\r\nJ:C:\\a\" /D\r\n"
              "I:\\\\server\\share\\games");
    EXPECT_EQ(RunTolvane(), (std::vector<std::string>{"subst E: \"C:\\GAMES\"", "subst F: \"D:\\My Work,2\"",
                                                      "subst I: \"\\\\server\\share\\games\""}));
}

TEST_P(Tolvane9xTest, WithoutAListOrWithAHiddenOneDoesNothingAndEnds)
{
    EXPECT_TRUE(RunTolvane().empty());
    WriteList("E:C:\\GAMES\r\n", FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(RunTolvane().empty());
}

INSTANTIATE_TEST_SUITE_P(Builds, Tolvane9xTest, ::testing::ValuesIn(kPrograms),
                         [](const ::testing::TestParamInfo<Program> &run) {
                             return run.param.needs32BitWine ? "i386" : "x86_64";
                         });

} // namespace
