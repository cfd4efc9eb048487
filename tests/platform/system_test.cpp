// System information and paths as the machine reports them to programs.
#include "TempMachine.h"
#include "machine.h"
#include "win32.h"

#include <cstring>
#include <gtest/gtest.h>

namespace
{

void SetWineVersion(const char *name)
{
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                   nullptr),
              ERROR_SUCCESS);
    win::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const win::BYTE *>(name),
                        static_cast<win::DWORD>(std::strlen(name) + 1));
    win::RegCloseKey(key);
}

win::OSVERSIONINFOA Version()
{
    win::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_TRUE(win::GetVersionExA(&info));
    return info;
}

TEST(SystemInfo, VersionFollowsTheMachinesSetting)
{
    TempMachine machine;
    EXPECT_EQ(Version().dwPlatformId, static_cast<win::DWORD>(VER_PLATFORM_WIN32_NT)) << "Wine's default, Windows 7";
    SetWineVersion("win98");
    const win::OSVERSIONINFOA nine = Version();
    EXPECT_EQ(nine.dwPlatformId, static_cast<win::DWORD>(VER_PLATFORM_WIN32_WINDOWS));
    EXPECT_EQ(nine.dwMajorVersion, 4u);
    EXPECT_EQ(nine.dwMinorVersion, 10u);
    SetWineVersion("win95");
    EXPECT_EQ(Version().dwMinorVersion, 0u);
    SetWineVersion("nt40");
    EXPECT_EQ(Version().dwPlatformId, static_cast<win::DWORD>(VER_PLATFORM_WIN32_NT));

    win::OSVERSIONINFOA wrongSize{};
    wrongSize.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(win::GetVersionExA(&wrongSize));
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

    EXPECT_EQ(win::GetSystemDirectoryA(buffer, sizeof buffer), std::strlen("C:\\windows\\system32"));
    EXPECT_STREQ(buffer, "C:\\windows\\system32");
    EXPECT_EQ(win::GetWindowsDirectoryA(buffer, 4), std::strlen("C:\\windows") + 1);
}

TEST(SystemInfo, ComputerNameComesFromTheMachineFirst)
{
    TempMachine machine;
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                                   0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    win::RegSetValueExA(key, "ComputerName", 0, REG_SZ, reinterpret_cast<const win::BYTE *>("KORVEXBOX"), 10);
    win::RegCloseKey(key);
    char buffer[32];
    win::DWORD size = sizeof buffer;
    ASSERT_TRUE(win::GetComputerNameA(buffer, &size));
    EXPECT_STREQ(buffer, "KORVEXBOX");
}

TEST(SystemInfo, TickCountIsTheLowPartOfTheLongCount)
{
    const std::uint64_t longCount = win::GetTickCount64();
    const win::DWORD shortCount = win::GetTickCount();
    EXPECT_GE(shortCount - static_cast<win::DWORD>(longCount), 0u);
    EXPECT_LT(shortCount - static_cast<win::DWORD>(longCount), 10'000u);
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

TEST(StartingPrograms, NothingToRunFailsLikeAMissingProgram)
{
    TempMachine machine;
    EXPECT_EQ(win::WinExec("", SW_SHOWNORMAL), static_cast<win::UINT>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(win::WinExec(nullptr, SW_SHOWNORMAL), static_cast<win::UINT>(ERROR_FILE_NOT_FOUND));
}

} // namespace
