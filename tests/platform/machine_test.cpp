// The machine folder on Unix: which folder is used, what a new one holds, and that failures
// (a damaged hive, a read-only file, a full disk) lose nothing. A running wineserver is met
// with real Wine in wine_interop_test.
#include "ScopedEnv.h"
#include "TempMachine.h"
#include "machine.h"
#include "win32.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

// The machine in use is chosen again once the environment is put back.
class MachineEnv : public ScopedEnv
{
public:
    ~MachineEnv() { win::ResetMachine(); }
};

win::LONG SetDword(const char *path, const char *name, win::DWORD value, win::HKEY root = HKEY_CURRENT_USER)
{
    win::HKEY key = nullptr;
    win::LONG rc = win::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = win::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&value), 4);
        win::RegCloseKey(key);
    }
    return rc;
}

std::optional<win::DWORD> ReadDword(const char *path, const char *name)
{
    win::HKEY key = nullptr;
    win::DWORD value = 0;
    win::DWORD size = 4;
    const bool read = win::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) == ERROR_SUCCESS &&
                      win::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<win::BYTE *>(&value),
                                            &size) == ERROR_SUCCESS;
    win::RegCloseKey(key);
    return read ? std::optional(value) : std::nullopt;
}

// Runs `body` in a child process and gives its exit code.
template <typename Body> int InChild(Body body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> StrayTempFiles(const std::string &folder)
{
    std::vector<std::string> found;
    for (const auto &entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".korvex-") != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

TEST(MachineChoice, FollowsWinePrefixThenDotWineThenOwnFolder)
{
    const std::string home = MakeTempFolder("korvex-home");
    {
        MachineEnv env;
        env.Set("HOME", home);
        env.Unset("XDG_DATA_HOME");
        env.Unset("WINEPREFIX");
        win::ResetMachine();
        const std::string own = home + "/.local/share/korvex/machine";
        EXPECT_EQ(win::MachineFolder(), own);
        EXPECT_TRUE(fs::exists(own + "/system.reg"));

        fs::create_directory(home + "/.wine");
        win::ResetMachine();
        EXPECT_EQ(win::MachineFolder(), home + "/.wine");

        env.Set("WINEPREFIX", home + "/chosen");
        win::ResetMachine();
        EXPECT_EQ(win::MachineFolder(), home + "/chosen");

        env.Unset("WINEPREFIX");
        fs::remove_all(home + "/.wine");
        env.Set("XDG_DATA_HOME", home + "/data");
        win::ResetMachine();
        EXPECT_EQ(win::MachineFolder(), home + "/data/korvex/machine");
    }
    RemoveFolder(home);
}

TEST(MachineChoice, NewMachineHasWinesLayout)
{
    TempMachine machine;
    const std::string root = machine.Folder();
    EXPECT_EQ(fs::read_symlink(root + "/dosdevices/c:"), "../drive_c");
    EXPECT_EQ(fs::read_symlink(root + "/dosdevices/z:"), "/");
    EXPECT_TRUE(fs::is_directory(root + "/drive_c/windows/system32"));
    EXPECT_EQ(machine.ReadFile("user.reg"),
              "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n");
    EXPECT_EQ(machine.ReadFile("userdef.reg"),
              "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\.Default\n");
    EXPECT_NE(machine.ReadFile("system.reg").find("[System\\\\CurrentControlSet]"), std::string::npos);
    EXPECT_TRUE(win::DamagedRegistryFiles().empty());
}

TEST(MachineFailures, DamagedHiveIsNeverOverwritten)
{
    TempMachine machine;
    ASSERT_EQ(SetDword("Software\\Korvex", "before", 1), ERROR_SUCCESS);
    const std::string damaged = "WINE REGISTRY Version 2\n\n[Software\\\\Korvex 0\n\"before\"=dword:00000001\n";
    machine.WriteFile("user.reg", damaged);

    win::HKEY key = nullptr;
    EXPECT_EQ(win::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Korvex", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword("Software\\Korvex", "after", 2), ERROR_BADDB);
    EXPECT_EQ(machine.ReadFile("user.reg"), damaged);
    EXPECT_EQ(win::DamagedRegistryFiles(), std::vector<std::string>{machine.PathOf("user.reg")});

    // The other hives go on working.
    EXPECT_EQ(SetDword("Software\\Korvex", "fine", 3, HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

    // A file that is not a registry file at all is left alone too.
    machine.WriteFile("userdef.reg", "REGEDIT4\n");
    EXPECT_EQ(SetDword(".DEFAULT\\Software", "x", 1, HKEY_USERS), ERROR_BADDB);
    EXPECT_EQ(machine.ReadFile("userdef.reg"), "REGEDIT4\n");
}

TEST(MachineFailures, ReadOnlyFileOrFolderRefusesWrites)
{
    TempMachine machine;
    ASSERT_EQ(SetDword("Software\\Korvex", "v", 1), ERROR_SUCCESS);
    const std::string before = machine.ReadFile("user.reg");

    fs::permissions(machine.PathOf("user.reg"), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(SetDword("Software\\Korvex", "v", 2), ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine.ReadFile("user.reg"), before);
    EXPECT_EQ(ReadDword("Software\\Korvex", "v"), 1u) << "the refused change must not linger in memory";

    fs::permissions(machine.PathOf("user.reg"), fs::perms::owner_write, fs::perm_options::add);
    fs::permissions(machine.Folder(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(SetDword("Software\\Korvex", "v", 3), ERROR_ACCESS_DENIED);
    fs::permissions(machine.Folder(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(SetDword("Software\\Korvex", "v", 4), ERROR_SUCCESS);
}

TEST(MachineFailures, FullDiskLeavesTheOldFileAndNoLitter)
{
    TempMachine machine;
    ASSERT_EQ(SetDword("Software\\Korvex", "v", 1), ERROR_SUCCESS);
    const std::string before = machine.ReadFile("user.reg");

    // A file size limit below the new file's size stands in for a full disk.
    const int rc = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(before.size() / 2), static_cast<rlim_t>(before.size() / 2)};
        setrlimit(RLIMIT_FSIZE, &limit);
        return static_cast<int>(SetDword("Software\\Korvex", "v", 2));
    });
    EXPECT_EQ(rc, ERROR_DISK_FULL);
    EXPECT_EQ(machine.ReadFile("user.reg"), before);
    EXPECT_TRUE(StrayTempFiles(machine.Folder()).empty());
}

TEST(MachineFiles, LinkedHiveIsWrittenThroughWithItsMode)
{
    TempMachine machine;
    const std::string elsewhere = MakeTempFolder("korvex-elsewhere");
    fs::rename(machine.PathOf("user.reg"), elsewhere + "/user.reg");
    fs::create_symlink(elsewhere + "/user.reg", machine.PathOf("user.reg"));
    fs::permissions(elsewhere + "/user.reg", fs::perms::owner_read | fs::perms::owner_write);

    ASSERT_EQ(SetDword("Software\\Korvex", "v", 7), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(machine.PathOf("user.reg")));
    EXPECT_NE(machine.ReadFile("user.reg").find("\"v\"=dword:00000007"), std::string::npos);
    EXPECT_EQ(fs::status(elsewhere + "/user.reg").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    RemoveFolder(elsewhere);
}

TEST(MachineFiles, VolatileKeysAreNeverWritten)
{
    TempMachine machine;
    ASSERT_EQ(SetDword("Software\\Lasting", "v", 1), ERROR_SUCCESS);
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fleeting", 0, nullptr, REG_OPTION_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    win::RegCloseKey(key);
    ASSERT_EQ(SetDword("Software\\Lasting", "v", 2), ERROR_SUCCESS);
    const std::string text = machine.ReadFile("user.reg");
    EXPECT_EQ(text.find("Fleeting"), std::string::npos);
    EXPECT_NE(text.find("Lasting"), std::string::npos);
}

TEST(MachineVersion, NineXMachinesCountStringsUpToTheirFirstNul)
{
    TempMachine machine;
    const auto storedSize = [] {
        win::HKEY key = nullptr;
        win::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Korvex", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr);
        const char data[] = "ab\0cd";
        win::RegSetValueExA(key, "s", 0, REG_SZ, reinterpret_cast<const win::BYTE *>(data), sizeof data);
        win::DWORD size = 0;
        win::RegQueryValueExA(key, "s", nullptr, nullptr, nullptr, &size);
        win::RegCloseKey(key);
        return size;
    };
    EXPECT_FALSE(win::IsWindows9xMachine());
    EXPECT_EQ(storedSize(), 6u);

    win::HKEY wine = nullptr;
    ASSERT_EQ(win::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &wine,
                                   nullptr),
              ERROR_SUCCESS);
    const auto setVersion = [&](const char *name) {
        win::RegSetValueExA(wine, "Version", 0, REG_SZ, reinterpret_cast<const win::BYTE *>(name),
                            static_cast<win::DWORD>(std::strlen(name) + 1));
    };
    setVersion("Win98"); // Wine's names are case-sensitive: this one is ignored
    EXPECT_FALSE(win::IsWindows9xMachine());
    setVersion("win98");
    EXPECT_TRUE(win::IsWindows9xMachine());
    EXPECT_EQ(win::ReportedWindowsVersion(), "win98");
    EXPECT_EQ(storedSize(), 3u);
    win::RegCloseKey(wine);
}

} // namespace
