// The machine folder on Unix: that failures (a damaged hive, a read-only file, a full disk) lose
// nothing, and how it keeps what the file
// functions change: attributes as Wine keeps them, profile writes that would corrupt a file
// refused, drives as dosdevices links, and the subst command. A running wineserver is met
// with real Wine in wine_interop_test.
#include "RegistryValues.h"
#include "ScopedEnv.h"
#include "TempMachine.h"
#include "files.h"
#include "machine.h"
#include "prefixes.h"
#include "win32.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using namespace std::string_literals;
using regvalues::SetString;

win::LONG SetDword(const char *path, const char *name, win::DWORD value, win::HKEY root = HKEY_CURRENT_USER)
{
    return regvalues::SetDword(root, path, name, value);
}

class MachineFiles : public ::testing::Test
{
protected:
    std::string Host(const std::string &name) const { return machine_.PathOf("drive_c/" + name); }
    void Put(const std::string &name, const std::string &bytes) const { machine_.WriteFile("drive_c/" + name, bytes); }
    std::string Get(const std::string &name) const { return machine_.ReadFile("drive_c/" + name); }

    std::string DosAttribute(const std::string &name) const
    {
        char value[64] = {};
        const ssize_t n = getxattr(Host(name).c_str(), "user.DOSATTRIB", value, sizeof value);
        return n < 0 ? "(none)" : std::string(value, static_cast<size_t>(n));
    }

    static unsigned Subst(const std::string &command)
    {
        EXPECT_GT(win::WinExec(command.c_str(), SW_HIDE), 31u) << command;
        return win::GetLastError();
    }

    std::string Link(const char *letter) const
    {
        std::error_code ec;
        return fs::read_symlink(machine_.PathOf("dosdevices/"s + letter), ec).string();
    }

    TempMachine machine_;
};

TEST_F(MachineFiles, DamagedHiveIsNeverOverwritten)
{
    ASSERT_EQ(SetDword("Software\\Korvex", "before", 1), ERROR_SUCCESS);
    const std::string damaged = "WINE REGISTRY Version 2\n\n[Software\\\\Korvex 0\n\"before\"=dword:00000001\n";
    machine_.WriteFile("user.reg", damaged);

    win::HKEY key = nullptr;
    EXPECT_EQ(win::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Korvex", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword("Software\\Korvex", "after", 2), ERROR_BADDB);
    EXPECT_EQ(machine_.ReadFile("user.reg"), damaged);
    EXPECT_EQ(win::DamagedRegistryFiles(), std::vector<std::string>{machine_.PathOf("user.reg")});

    // The other hives go on working.
    EXPECT_EQ(SetDword("Software\\Korvex", "fine", 3, HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

    // A file that is not a registry file at all is left alone too.
    machine_.WriteFile("userdef.reg", "REGEDIT4\n");
    EXPECT_EQ(SetDword(".DEFAULT\\Software", "x", 1, HKEY_USERS), ERROR_BADDB);
    EXPECT_EQ(machine_.ReadFile("userdef.reg"), "REGEDIT4\n");
}

TEST_F(MachineFiles, NamesInAFileAreFoundInAnySpellingAndTheirBytesKept)
{
    // Plain names, escaped ones, names above ASCII and an escape that stands for a backslash;
    // then values out of order with a repeat, which keeps the last data.
    const std::string block = "[Software\\\\Caf\xc3\xa9\\x5cIn\\]er] 1700000000\n"
                              "\"plain\"=dword:00000001\n\"Esc\\\"aped\"=dword:00000002\n"
                              "\"\xc3\x89t\xc3\xa9\"=dword:00000003\n";
    machine_.WriteFile("user.reg", "WINE REGISTRY Version 2\n\n" + block +
                                       "\n[Software\\\\Order] 0\n\"b\"=dword:4\n\"a\"=dword:5\n\"B\"=dword:6\n");
    const std::tuple<const char *, const char *, win::DWORD> reads[] = {
        {"SOFTWARE\\caf\xc3\x89\\in]ER", "plain", 1},
        {"Software\\Caf\xc3\xa9\\In]er", "esc\"APED", 2},
        {"Software\\Caf\xc3\xa9\\In]er", "\xc3\xa9T\xc3\x89", 3},
        {"Software\\Order", "b", 6},
        {"Software\\Order", "A", 5},
    };
    for (const auto &[path, name, number] : reads)
        EXPECT_EQ(regvalues::QueryDword(HKEY_CURRENT_USER, path, name), number) << path << " " << name;
    ASSERT_EQ(SetDword("Software\\Other", "x", 1), ERROR_SUCCESS);
    EXPECT_NE(machine_.ReadFile("user.reg").find(block), std::string::npos) << "the block was rewritten";
}

TEST_F(MachineFiles, ReadOnlyFileOrFolderRefusesWrites)
{
    ASSERT_EQ(SetDword("Software\\Korvex", "v", 1), ERROR_SUCCESS);
    const std::string before = machine_.ReadFile("user.reg");

    fs::permissions(machine_.PathOf("user.reg"), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(SetDword("Software\\Korvex", "v", 2), ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine_.ReadFile("user.reg"), before);
    EXPECT_EQ(regvalues::QueryDword(HKEY_CURRENT_USER, "Software\\Korvex", "v"), 1u)
        << "the refused change must not linger in memory";

    fs::permissions(machine_.PathOf("user.reg"), fs::perms::owner_write, fs::perm_options::add);
    fs::permissions(machine_.Folder(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(SetDword("Software\\Korvex", "v", 3), ERROR_ACCESS_DENIED);
    fs::permissions(machine_.Folder(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(SetDword("Software\\Korvex", "v", 4), ERROR_SUCCESS);
}

TEST_F(MachineFiles, FullDiskLeavesTheOldFileAndNoLitter)
{
    ASSERT_EQ(SetDword("Software\\Korvex", "v", 1), ERROR_SUCCESS);
    const std::string before = machine_.ReadFile("user.reg");

    // A file size limit below the new file's size stands in for a full disk.
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(before.size() / 2), static_cast<rlim_t>(before.size() / 2)};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(static_cast<int>(SetDword("Software\\Korvex", "v", 2)));
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == ERROR_DISK_FULL) << status;
    EXPECT_EQ(machine_.ReadFile("user.reg"), before);
    for (const auto &entry : fs::directory_iterator(machine_.Folder()))
        EXPECT_EQ(entry.path().filename().string().find(".korvex-"), std::string::npos) << entry.path();
}

TEST_F(MachineFiles, LinkedHiveIsWrittenThroughWithItsMode)
{
    const std::string elsewhere = MakeTempFolder("korvex-elsewhere");
    fs::rename(machine_.PathOf("user.reg"), elsewhere + "/user.reg");
    fs::create_symlink(elsewhere + "/user.reg", machine_.PathOf("user.reg"));
    fs::permissions(elsewhere + "/user.reg", fs::perms::owner_read | fs::perms::owner_write);

    ASSERT_EQ(SetDword("Software\\Korvex", "v", 7), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(machine_.PathOf("user.reg")));
    EXPECT_NE(machine_.ReadFile("user.reg").find("\"v\"=dword:00000007"), std::string::npos);
    EXPECT_EQ(fs::status(elsewhere + "/user.reg").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    RemoveFolder(elsewhere);
}

TEST_F(MachineFiles, VolatileKeysAreNeverWritten)
{
    ASSERT_EQ(SetDword("Software\\Lasting", "v", 1), ERROR_SUCCESS);
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fleeting", 0, nullptr, REG_OPTION_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    win::RegCloseKey(key);
    ASSERT_EQ(SetDword("Software\\Lasting", "v", 2), ERROR_SUCCESS);
    const std::string text = machine_.ReadFile("user.reg");
    EXPECT_EQ(text.find("Fleeting"), std::string::npos);
    EXPECT_NE(text.find("Lasting"), std::string::npos);
}

TEST_F(MachineFiles, NineXMachinesCountStringsUpToTheirFirstNul)
{
    const auto storedSize = [] {
        EXPECT_EQ(regvalues::SetValue(HKEY_CURRENT_USER, "Software\\Korvex", "s", REG_SZ, std::string("ab\0cd\0", 6)),
                  ERROR_SUCCESS);
        return regvalues::QueryValue(HKEY_CURRENT_USER, "Software\\Korvex", "s").value().second.size();
    };
    EXPECT_EQ(storedSize(), 6u);
    machine_.ReportWindowsVersion("win98");
    EXPECT_EQ(storedSize(), 3u);
}

// Which Windows a machine is, by the rule Wine 8.0 follows when a program starts (each row was
// checked against what Wine's own GetVersionExA answers), the same for the machine's programs
// and for the list of prefixes, which reads the files without loading them.
TEST(ReportedVersion, ProgramsAndThePrefixListGetTheSameAnswer)
{
    constexpr auto kWine = "Software\\Wine";
    constexpr auto kNt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
    constexpr auto kNineX = "Software\\Microsoft\\Windows\\CurrentVersion";
    constexpr win::DWORD kNine = VER_PLATFORM_WIN32_WINDOWS;
    constexpr win::DWORD kNT = VER_PLATFORM_WIN32_NT;
    struct Setting {
        bool user;
        const char *key, *name, *text;
    };
    struct Reported {
        std::string name;
        win::DWORD platform, major, minor, build;
        std::string csd;
    };
    const Reported win7 = {"win7", kNT, 6, 1, 7601, "Service Pack 1"};
    // 9x puts the version in the build number's high word; " A " is Windows 98 SE.
    const Reported win98 = {"win98", kNine, 4, 10, 0x040A08AE, " A "};
    const Reported winMe = {"winme", kNine, 4, 90, 0x045A0BB8, ""};
    const std::pair<std::vector<Setting>, Reported> rows[] = {
        {{}, win7},
        {{{true, kWine, "Version", "win98"}}, win98},
        {{{true, kWine, "Version", "win95"}}, {"win95", kNine, 4, 0, 0x040003B6, ""}},
        {{{true, kWine, "Version", "Win98"}}, win7}, // names are exact
        {{{true, kWine, "Version", "nt40"}}, {"nt40", kNT, 4, 0, 1381, "Service Pack 6a"}},
        // A program whose manifest names no Windows after 8 is told Windows 8.
        {{{true, kWine, "Version", "win10"}}, {"win10", kNT, 6, 2, 9200, ""}},
        {{{true, kWine, "Version", "win98"}, {false, kNt, "CurrentVersion", "5.1"}}, win98},
        {{{false, kNineX, "VersionNumber", "4.90.3000"}}, winMe},
        {{{false, kNineX, "VersionNumber", "4.10.1998"}, {false, kNineX, "SubVersionNumber", " A "}},
         {"win98", kNine, 4, 10, 0x040A07CE, " A "}},
        {{{false, kNineX, "VersionNumber", "4.50.1"}}, {"4.50", kNine, 4, 50, 0x04320001, ""}},
        // An NT key without its version value names no version.
        {{{false, kNt, "CurrentType", "Uniprocessor Free"}, {false, kNineX, "VersionNumber", "4.90.3000"}}, winMe},
        // The NT keys win over the 9x key; the build is "CurrentBuildNumber", not "CurrentBuild".
        {{{false, kNt, "CurrentVersion", "5.1"},
          {false, kNt, "CurrentBuild", "1234"},
          {false, kNt, "CurrentBuildNumber", "2600"},
          {false, kNt, "CSDVersion", "Service Pack 3"},
          {false, kNineX, "VersionNumber", "4.90.3000"}},
         {"winxp", kNT, 5, 1, 2600, "Service Pack 3"}},
        {{{false, kNt, "CurrentVersion", "10.0"}, {false, kNt, "CurrentBuildNumber", "22000"}},
         {"win11", kNT, 6, 2, 9200, ""}},
    };
    for (const auto &[settings, expected] : rows) {
        TempMachine machine;
        for (const Setting &s : settings)
            ASSERT_EQ(SetString(s.user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, s.key, s.name, s.text), ERROR_SUCCESS);
        win::OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(win::GetVersionExA(&info));
        EXPECT_EQ(std::tuple(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                             std::string(info.szCSDVersion)),
                  std::tuple(expected.platform, expected.major, expected.minor, expected.build, expected.csd))
            << expected.name;
        EXPECT_EQ(win::IsWindows9xMachine(), expected.platform == kNine) << expected.name;
        const win::WinePrefix listed = win::DescribeWinePrefix(machine.Folder(), win::PrefixSource::DefaultWine, "p");
        EXPECT_EQ(std::pair(listed.windowsVersion, listed.windowsNT),
                  std::pair(expected.name, expected.platform == kNT));
    }
}

TEST_F(MachineFiles, AttributesAreKeptAsWineKeepsThem)
{
    Put("file", "x");
    const struct {
        win::DWORD set;
        const char *xattr;
        bool ownerWrite;
    } rows[] = {
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, "0x6", true},
        {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, "0x4", false},
        {FILE_ATTRIBUTE_NORMAL, "(none)", true},
    };
    for (const auto &row : rows) {
        ASSERT_TRUE(win::SetFileAttributesA("C:\\file", row.set));
        EXPECT_EQ(DosAttribute("file"), row.xattr) << row.set;
        struct stat st {
        };
        stat(Host("file").c_str(), &st);
        EXPECT_EQ((st.st_mode & S_IWUSR) != 0, row.ownerWrite) << row.set;
        EXPECT_EQ(st.st_mode & 0022, 0u) << "write access comes back only to the owner";
    }
}

TEST_F(MachineFiles, AttributesWrittenByOthersAreReadAsWineReadsThem)
{
    Put("file", "x");
    Put(".dotfile", "x");
    const struct {
        std::string xattr;
        win::DWORD got;
    } rows[] = {{"0x2", 0x22}, {"0x22\0samba data"s, 0x22}, {"0x7", 0x26}, {"2", 0x20}, {"0xz", 0x20}};
    for (const auto &row : rows) {
        setxattr(Host("file").c_str(), "user.DOSATTRIB", row.xattr.data(), row.xattr.size(), 0);
        EXPECT_EQ(win::GetFileAttributesA("C:\\file"), row.got) << row.xattr;
    }
    EXPECT_EQ(win::GetFileAttributesA("C:\\.dotfile"), 0x22u) << "a dot file is hidden";
    SetString(HKEY_CURRENT_USER, "Software\\Wine", "ShowDotFiles", "Y");
    EXPECT_EQ(win::GetFileAttributesA("C:\\.dotfile"), 0x20u);
}

TEST_F(MachineFiles, ProfileWritesThatWouldCorruptTheFileAreRefused)
{
    const std::string broken = "\xFF\xFE[\0s\0]\0\r\0\n\0\x00\xD8\r\0\n\0"s; // an unpaired surrogate
    Put("x.ini", broken);
    EXPECT_FALSE(win::WritePrivateProfileStringA("s", "k", "v", "C:\\x.ini"));
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(Get("x.ini"), broken);
    Put("x.ini", "[s]\r\n");
    for (const char *value : {"a\r\nk2=injected", "a\nb"})
        EXPECT_FALSE(win::WritePrivateProfileStringA("s", "k", value, "C:\\x.ini"));
    EXPECT_EQ(Get("x.ini"), "[s]\r\n");
    ASSERT_TRUE(win::WritePrivateProfileStringA("s", "k", "v", "win.ini"));
    EXPECT_EQ(Get("windows/win.ini"), "[s]\r\nk=v\r\n") << "a bare name is in the Windows directory";
}

TEST_F(MachineFiles, DrivesAreTheDosdevicesLinks)
{
    fs::create_directories(Host("cd"));
    fs::create_symlink("../drive_c/cd", machine_.PathOf("dosdevices/d:"));
    fs::create_symlink("/dev/null", machine_.PathOf("dosdevices/d::"));
    fs::create_symlink("/dev/ttyS0", machine_.PathOf("dosdevices/com1"));
    fs::create_symlink("/no/such/folder", machine_.PathOf("dosdevices/m:"));
    EXPECT_EQ(win::LogicalDrives(), (std::vector<std::string>{"c:", "d:", "z:"}));
    EXPECT_EQ(win::GetDriveTypeA("D:\\"), static_cast<win::UINT>(DRIVE_FIXED));
    EXPECT_EQ(win::GetDriveTypeA("M:\\"), static_cast<win::UINT>(DRIVE_NO_ROOT_DIR)) << "a link to nothing";
    EXPECT_EQ(win::GetDriveTypeA("D:\\cd"), static_cast<win::UINT>(DRIVE_NO_ROOT_DIR)) << "not a root";
    SetString(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", "d:", "cdrom");
    SetString(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", "q:", "cdrom");
    EXPECT_EQ(win::GetDriveTypeA("d:"), static_cast<win::UINT>(DRIVE_CDROM));
    EXPECT_EQ(win::GetDriveTypeA("Q:\\"), static_cast<win::UINT>(DRIVE_NO_ROOT_DIR)) << "a value without a link";
}

TEST_F(MachineFiles, SubstMakesAndRemovesOnlyItsOwnDrives)
{
    fs::create_directories(Host("My Games"));
    // What a subst that died half-way leaves: a link under a dot name, which is no drive.
    fs::create_symlink("/elsewhere", machine_.PathOf("dosdevices/.e:.korvex-subst"));
    EXPECT_EQ(Subst("Subst E: \"C:\\My Games\""), 0u);
    EXPECT_FALSE(fs::is_symlink(machine_.PathOf("dosdevices/.e:.korvex-subst")));
    EXPECT_EQ(Link("e:"), "../drive_c/My Games");
    EXPECT_EQ(win::HostPathOf("E:\\x"), Host("My Games/x"));
    EXPECT_EQ(Subst("subst f: c:\\my games\\"), static_cast<unsigned>(ERROR_INVALID_PARAMETER)) << "blanks unquoted";
    EXPECT_EQ(Subst("SUBST.EXE F: C:\\"), 0u);
    EXPECT_EQ(Link("f:"), "../drive_c");
    EXPECT_EQ(Subst("subst E: C:\\"), static_cast<unsigned>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Subst("subst G: \"C:\\Missing\""), static_cast<unsigned>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Subst("subst GG: C:\\"), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(fs::exists(machine_.PathOf("dosdevices/g:")));

    for (const char *never : {"Subst /D C:", "subst /D Q:"})
        EXPECT_EQ(Subst(never), static_cast<unsigned>(ERROR_INVALID_PARAMETER)) << never;
    EXPECT_EQ(Link("c:"), "../drive_c");
    EXPECT_EQ(Subst("Subst /D E:"), 0u);
    EXPECT_EQ(Subst("subst f: /d"), 0u);
    EXPECT_EQ(win::LogicalDrives(), (std::vector<std::string>{"c:", "z:"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(machine_.PathOf("dosdevices")), fs::directory_iterator()), 2);
}

TEST_F(MachineFiles, SubstLeavesDrivesItDidNotMake)
{
    fs::create_directories(Host("a"));
    fs::create_directories(Host("b"));
    fs::create_symlink("../drive_c/a", machine_.PathOf("dosdevices/h:")); // made by winecfg
    EXPECT_EQ(Subst("subst /D H:"), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    ASSERT_EQ(Subst("subst K: C:\\a"), 0u);
    fs::remove(machine_.PathOf("dosdevices/k:"));
    fs::create_symlink("../drive_c/b", machine_.PathOf("dosdevices/k:")); // changed since
    EXPECT_EQ(Subst("subst /D K:"), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Link("h:"), "../drive_c/a");
    EXPECT_EQ(Link("k:"), "../drive_c/b");
    EXPECT_EQ(Subst("subst /D K:"), static_cast<unsigned>(ERROR_INVALID_PARAMETER)) << "not subst's any more";

    // A copy of the machine that keeps the links' times keeps subst's drives removable.
    ASSERT_EQ(Subst("subst L: C:\\a"), 0u);
    fs::rename(machine_.PathOf("dosdevices/l:"), machine_.PathOf("l:"));
    ASSERT_EQ(std::system(("cp -a '" + machine_.PathOf("l:") + "' '" + machine_.PathOf("dosdevices/") + "'").c_str()),
              0);
    EXPECT_EQ(Subst("subst /D L:"), 0u);
}

// What a writer that died a while ago left beside a file goes with the next write; what one is
// writing now stays.
TEST_F(MachineFiles, WritesRemoveWhatDeadWritersLeftBesideTheFile)
{
    Put(".x.ini.korvex-AAAAAA", "dead");
    Put(".x.ini.korvex-BBBBBB", "writing");
    fs::last_write_time(Host(".x.ini.korvex-AAAAAA"), fs::file_time_type::clock::now() - std::chrono::minutes(2));
    ASSERT_TRUE(win::WritePrivateProfileStringA("s", "k", "v", "C:\\x.ini"));
    EXPECT_FALSE(fs::exists(Host(".x.ini.korvex-AAAAAA")));
    EXPECT_TRUE(fs::exists(Host(".x.ini.korvex-BBBBBB")));
}

// Other programs run in the machine's Wine, found as Windows finds the program of a command line:
// an unquoted path may hold blanks. A `wine` of the test's own notes what it was asked to start.
TEST_F(MachineFiles, ProgramsWhosePathHasBlanksAreFound)
{
    const std::string bin = MakeTempFolder("korvex-bin");
    const std::string started = bin + "/started";
    std::ofstream(bin + "/wine") << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << started << ".new'\nmv '" << started
                                 << ".new' '" << started << "'\n";
    fs::permissions(bin + "/wine", fs::perms::owner_all);
    ScopedEnv env;
    env.Set("PATH", bin + ":" + std::getenv("PATH"));
    fs::create_directories(Host("Program Files/Kx Tool"));
    Put("Program Files/Kx Tool/tool.exe", "MZ");
    const struct {
        const char *command;
        std::string wineArguments; // empty: the program is not found
    } rows[] = {
        {"C:\\Program Files\\Kx Tool\\tool.exe /x", "C:\\Program Files\\Kx Tool\\tool.exe\n/x\n"},
        {"C:\\Program Files\\Kx Tool\\tool /x \"a b\"", "C:\\Program Files\\Kx Tool\\tool\n/x\na b\n"},
        {"\"C:\\Program Files\\Kx Tool\\tool.exe\" /x", "C:\\Program Files\\Kx Tool\\tool.exe\n/x\n"},
        {"C:\\Program Files\\Kx Tool\\other.exe /x", ""},
    };
    for (const auto &row : rows) {
        fs::remove(started);
        const win::UINT result = win::WinExec(row.command, SW_SHOWNORMAL);
        if (row.wineArguments.empty()) {
            EXPECT_EQ(result, static_cast<win::UINT>(ERROR_FILE_NOT_FOUND)) << row.command;
            continue;
        }
        EXPECT_EQ(result, 33u) << row.command;
        if (result != 33)
            continue;
        // The program runs on its own; its note is there once it has ended.
        for (int wait = 0; wait < 1000 && !fs::exists(started); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(FileBytes(started), row.wineArguments) << row.command;
    }
    RemoveFolder(bin);
}

} // namespace
