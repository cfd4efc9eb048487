// System information and starting programs as the machine reports them to programs. The tests
// before the machine folder's own section are contract tests that also run against the real
// functions (see Differences.h).
#include "Differences.h"
#include "RegistryValues.h"
#include "TempMachine.h"
#include "machine.h"
#include "win32.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace
{

win::OSVERSIONINFOA Version()
{
    win::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_TRUE(win::GetVersionExA(&info));
    return info;
}

bool RunsOnAWinePrefix()
{
    return Running() != Implementation::Windows;
}

// Both version records are filled, a record of any other size is refused; a new Wine prefix
// reports Windows 7 with its first service pack.
TEST(SystemInfo, VersionRecordSizeIsCheckedAndANewWinePrefixReportsWindows7)
{
    TempMachine machine;
    win::OSVERSIONINFOA wrongSize{};
    for (const win::DWORD size : {win::DWORD{100}, win::DWORD{sizeof(win::OSVERSIONINFOA) + 1}}) {
        wrongSize.dwOSVersionInfoSize = size;
        EXPECT_FALSE(win::GetVersionExA(&wrongSize)) << size;
    }

    // NT also fills the longer record: the service pack as numbers, the suite and the product
    // type after the short record's fields.
    struct {
        win::OSVERSIONINFOEXA info;
        win::BYTE after[4];
    } record;
    std::memset(&record, 0xCC, sizeof record);
    record.info.dwOSVersionInfoSize = sizeof record.info;
    ASSERT_TRUE(win::GetVersionExA(reinterpret_cast<win::OSVERSIONINFOA *>(&record.info)));
    const win::OSVERSIONINFOA shortRecord = Version();
    const auto fields = [](const auto &info) {
        return std::tuple(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                          std::string(info.szCSDVersion));
    };
    EXPECT_EQ(fields(record.info), fields(shortRecord));
    const char *csd = shortRecord.szCSDVersion;
    EXPECT_EQ(record.info.wServicePackMajor, std::strncmp(csd, "Service Pack ", 13) == 0 ? std::atoi(csd + 13) : 0);
    EXPECT_GE(record.info.wProductType, VER_NT_WORKSTATION);
    EXPECT_LE(record.info.wProductType, VER_NT_SERVER);
    EXPECT_EQ(record.after[0], 0xCC) << "nothing written past the record";
    if (RunsOnAWinePrefix()) {
        EXPECT_EQ(fields(shortRecord),
                  std::tuple(win::DWORD{VER_PLATFORM_WIN32_NT}, 6u, 1u, 7601u, std::string("Service Pack 1")));
        EXPECT_EQ(std::tuple(record.info.wServicePackMinor, record.info.wProductType),
                  std::tuple(win::WORD{0}, win::BYTE{VER_NT_WORKSTATION}));
    }
}

TEST(SystemInfo, NamesAndDirectoriesReportTheirSizesLikeWindows)
{
    TempMachine machine;
    char buffer[64];
    win::DWORD size = sizeof buffer;
    ASSERT_TRUE(win::GetComputerNameA(buffer, &size));
    EXPECT_EQ(size, std::strlen(buffer));
    EXPECT_LE(size, 15u);
    win::DWORD tiny = 1;
    EXPECT_FALSE(win::GetComputerNameA(buffer, &tiny));
    EXPECT_EQ(tiny, size + 1);

    size = sizeof buffer;
    ASSERT_TRUE(win::GetUserNameA(buffer, &size));
    EXPECT_EQ(size, std::strlen(buffer) + 1) << "the user name's size counts its terminator";
    const win::DWORD userSize = size;
    size = userSize - 1;
    EXPECT_FALSE(win::GetUserNameA(buffer, &size));
    EXPECT_EQ(size, userSize);

    char windows[64];
    const win::UINT windowsLength = win::GetWindowsDirectoryA(windows, sizeof windows);
    EXPECT_EQ(windowsLength, std::strlen(windows));
    const win::UINT systemLength = win::GetSystemDirectoryA(buffer, sizeof buffer);
    EXPECT_EQ(systemLength, std::strlen(buffer));
    EXPECT_EQ(std::string(buffer).rfind(std::string(windows) + "\\", 0), 0u) << "the system folder is in Windows'";
    if (RunsOnAWinePrefix()) {
        EXPECT_STREQ(windows, "C:\\windows");
        EXPECT_STREQ(buffer, "C:\\windows\\system32");
    }
    // A buffer without room for the terminator gets the size needed, terminator included.
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(win::GetWindowsDirectoryA(buffer, windowsLength), windowsLength + 1);
    EXPECT_EQ(win::GetWindowsDirectoryA(buffer, windowsLength + 1), windowsLength);
    EXPECT_STREQ(buffer, windows);
}

TEST(SystemInfo, TickCountIsTheLowPartOfTheLongCount)
{
    const std::uint64_t longCount = win::GetTickCount64();
    const win::DWORD shortCount = win::GetTickCount();
    // Read second, the short count is at most a moment later, also across a wrap of 32 bits.
    EXPECT_LT(shortCount - static_cast<win::DWORD>(longCount), 10'000u);
}

TEST(StartingPrograms, MissingProgramsFailWithTheirErrorCodes)
{
    TempMachine machine;
    for (const char *command :
         {"", "korvex-no-such-program.exe", "korvex-no-such-program /x", "C:\\windows\\korvex-no-such-program.exe"})
        EXPECT_EQ(win::WinExec(command, SW_SHOWNORMAL), static_cast<win::UINT>(ERROR_FILE_NOT_FOUND)) << command;
#ifndef _WIN32
    // Windows promises nothing for a null command line (Wine's WinExec crashes); ours fails as for
    // an empty one.
    EXPECT_EQ(win::WinExec(nullptr, SW_SHOWNORMAL), static_cast<win::UINT>(ERROR_FILE_NOT_FOUND));
#endif
}

#ifndef _WIN32
// ---- What only the machine folder does --------------------------------------------------------

// Wine reads the setting when a program starts; Korvex follows it at once.
TEST(SystemInfo, VersionFollowsTheMachinesSetting)
{
    TempMachine machine;
    EXPECT_EQ(Version().dwPlatformId, static_cast<win::DWORD>(VER_PLATFORM_WIN32_NT)) << "Wine's default, Windows 7";
    machine.ReportWindowsVersion("win98");
    const win::OSVERSIONINFOA nine = Version();
    // 9x puts the version in the build number's high word; " A " is Windows 98 Second Edition.
    EXPECT_EQ(std::tuple(nine.dwPlatformId, nine.dwMajorVersion, nine.dwMinorVersion, nine.dwBuildNumber,
                         std::string(nine.szCSDVersion)),
              std::tuple(win::DWORD{VER_PLATFORM_WIN32_WINDOWS}, 4u, 10u, 0x040A08AEu, std::string(" A ")));
    machine.ReportWindowsVersion("win95");
    EXPECT_EQ(Version().dwMinorVersion, 0u);

    // Windows 9x knows only the short record.
    win::OSVERSIONINFOEXA ex{};
    ex.dwOSVersionInfoSize = sizeof ex;
    EXPECT_FALSE(win::GetVersionExA(reinterpret_cast<win::OSVERSIONINFOA *>(&ex)));

    machine.ReportWindowsVersion("win10");
    EXPECT_EQ(std::tuple(Version().dwMajorVersion, Version().dwMinorVersion, Version().dwBuildNumber),
              std::tuple(6u, 2u, 9200u))
        << "told Windows 8, as a program without a manifest naming later Windows";
    machine.ReportWindowsVersion("nt40");
    EXPECT_EQ(Version().dwPlatformId, static_cast<win::DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_STREQ(Version().szCSDVersion, "Service Pack 6a");
    ASSERT_TRUE(win::GetVersionExA(reinterpret_cast<win::OSVERSIONINFOA *>(&ex)));
    EXPECT_EQ(ex.wServicePackMajor, 6);
}

// A machine folder has no start-up that would make the name the active one: the name set for
// the machine is the name it has.
TEST(SystemInfo, ComputerNameComesFromTheMachineFirst)
{
    TempMachine machine;
    ASSERT_EQ(regvalues::SetString(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                                   "ComputerName", "KORVEXBOX"),
              ERROR_SUCCESS);
    char buffer[32];
    win::DWORD size = sizeof buffer;
    ASSERT_TRUE(win::GetComputerNameA(buffer, &size));
    EXPECT_STREQ(buffer, "KORVEXBOX");
}

TEST(MachinePaths, WindowsPathsGoThroughTheDriveLinks)
{
    TempMachine machine;
    EXPECT_EQ(win::HostPathOf("C:\\windows\\system32\\Tolvane.ini"),
              machine.Folder() + "/drive_c/windows/system32/Tolvane.ini");
    EXPECT_EQ(win::HostPathOf("c:/windows"), machine.Folder() + "/drive_c/windows");
    EXPECT_EQ(win::HostPathOf("Z:\\etc"), "/etc");
    EXPECT_EQ(win::HostPathOf("C:\\WINDOWS\\SYSTEM32\\NEW.INI"), machine.Folder() + "/drive_c/windows/system32/NEW.INI")
        << "existing folders are found whatever the case; a new name keeps its spelling";
    EXPECT_EQ(win::HostPathOf("Q:\\nothing"), "") << "a letter without a link";
    EXPECT_EQ(win::HostPathOf("relative\\path"), "");

    EXPECT_EQ(win::WindowsPathOf(machine.Folder() + "/drive_c/windows/system32"), "C:\\windows\\system32")
        << "the drive that holds the path most closely";
    EXPECT_EQ(win::WindowsPathOf(machine.Folder() + "/drive_c"), "C:\\");
    EXPECT_EQ(win::WindowsPathOf("/etc/hosts"), "Z:\\etc\\hosts");
    EXPECT_EQ(win::HostPathOf(win::WindowsPathOf("/usr/share")), "/usr/share");
}
#endif

} // namespace
