// A Windows 98 inside a disk image as the machine of the `win` functions: registry and files
// read and written through the same calls the pages make, every registry file written passing
// the shared strict checker and cregexport, and every refusal leaving the image as it was.
#include "ScopedEnv.h"
#include "Shell.h"
#include "TempMachine.h"
#include "change_bracket.h"
#include "creg_file.h"
#include "files.h"
#include "icons.h"
#include "machine.h"
#include "win32.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <sys/stat.h>

namespace
{

namespace fs = std::filesystem;
using namespace win;

constexpr std::uint64_t kPartitionOffset = std::uint64_t{63} * 512; // the fat16 layout of make_disk_image.py
constexpr const char *kMtools = "MTOOLS_SKIP_CHECK=1 mcopy -n -i ";

std::string ReadHostFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteRegistryFile(const std::string &path, const std::function<void(creg::Hive &)> &fill)
{
    creg::Hive hive = creg::Hive::Empty();
    fill(hive);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(hive.Serialize(bytes));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), std::ssize(bytes));
}

void SetString(creg::Hive &hive, const char *path, const char *name, const std::string &text)
{
    creg::Key *key = nullptr;
    ASSERT_TRUE(hive.CreateKey(path, &key));
    ASSERT_TRUE(hive.SetValue(*key, name, REG_SZ, std::vector<std::uint8_t>(text.begin(), text.end() + 1)));
}

class ImageMachine : public ::testing::Test
{
protected:
    ImageMachine() { env_.Set("XDG_CACHE_HOME", folder_ + "/cache"); }
    ~ImageMachine() override
    {
        UseMachineFolder({});
        ResetMachine();
        RemoveFolder(folder_);
    }

    // A Windows 98 image; `corruptSystem` breaks SYSTEM.DAT's tree checksum, which readers
    // accept but the strict check does not.
    std::string Build(const std::vector<std::string> &extra = {}, bool corruptSystem = false,
                      const std::function<void(creg::Hive &)> &moreSystem = {})
    {
        const std::string system = folder_ + "/SYSTEM.DAT";
        WriteRegistryFile(system, [&](creg::Hive &hive) {
            if (moreSystem)
                moreSystem(hive);
            SetString(hive, "System\\CurrentControlSet\\Control\\Nls\\CodePage", "ACP", "1252");
            SetString(hive, "Software\\Microsoft\\Windows\\CurrentVersion", "VersionNumber", "4.10.2222");
            SetString(hive, "Software\\Classes\\.txt", "", "txtfile");
        });
        if (corruptSystem) {
            std::fstream file(system, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(0x20 + 0x14);
            file.put('\x5A');
        }
        WriteRegistryFile(folder_ + "/USER.DAT", [](creg::Hive &hive) {
            SetString(hive, ".DEFAULT\\Control Panel\\Desktop", "Wallpaper", "(None)");
        });
        const std::string image = folder_ + "/win98-" + std::to_string(++built_) + ".img";
        std::string command = "/usr/bin/python3 " MAKE_DISK_IMAGE " " + image + " --layout fat16 --system-dat " +
                              system + " --user-dat " + folder_ + "/USER.DAT";
        for (const std::string &word : extra)
            command += " " + word;
        EXPECT_EQ(Shell(command + " >/dev/null 2>&1; echo $?"), "0\n");
        return image;
    }

    void Use(const std::string &image)
    {
        UseMachineFolder(image);
        ResetMachine();
    }

    // A file inside the image, read with mtools.
    std::string Inside(const std::string &image, const std::string &path)
    {
        const std::string out = folder_ + "/extracted";
        fs::remove(out);
        Shell(kMtools + image + "@@" + std::to_string(kPartitionOffset) + " ::" + path + " " + out + " 2>&1");
        return ReadHostFile(out);
    }

    // What the shared strict checker and cregexport say of a registry file inside the image.
    std::string OracleProblems(const std::string &image, const std::string &path)
    {
        const std::string bytes = Inside(image, path);
        const std::string file = folder_ + "/checked.dat";
        std::ofstream(file, std::ios::binary) << bytes;
        std::string problems;
        if (Shell("/usr/bin/python3 " CREG_CHECKER " --check " + file + " >/dev/null; echo $?") != "0\n")
            problems += Shell("/usr/bin/python3 " CREG_CHECKER " --check " + file);
        if (Shell("cregexport " + file + " >/dev/null 2>&1; echo $?") != "0\n")
            problems += "cregexport cannot read " + path;
        return problems;
    }

    // Fills the file system until `room` bytes are free.
    void FillUpTo(const std::string &image, std::uint64_t room)
    {
        const std::string at = " -i " + image + "@@" + std::to_string(kPartitionOffset) + " ";
        std::string free = Shell("MTOOLS_SKIP_CHECK=1 mdir" + at + ":: | grep 'bytes free'");
        std::erase_if(free, [](char c) { return c < '0' || c > '9'; });
        std::ofstream(folder_ + "/filler", std::ios::binary) << std::string(std::stoull(free) - room, 'f');
        Shell("MTOOLS_SKIP_CHECK=1 mcopy" + at + folder_ + "/filler ::FILLER.BIN");
    }

    std::string folder_ = MakeTempFolder("korvex-image-machine");
    ScopedEnv env_;
    int built_ = 0;
};

std::string QueryString(HKEY root, const char *path, const char *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<no key>";
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    const LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buffer) : "<" + std::to_string(rc) + ">";
}

LONG SetString(HKEY root, const char *path, const char *name, const std::string &text)
{
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return rc;
}

TEST_F(ImageMachine, RegistryRootsReadTheGuestsFilesAndWritesSurviveReopening)
{
    if (!Shell("command -v cregexport mcopy").size())
        GTEST_SKIP() << "mtools or libcreg-utils is missing (make deps installs them)";
    const std::string image = Build();
    Use(image);
    ASSERT_TRUE(IsImageMachine());
    EXPECT_EQ(MachineReadOnlyMessage(), "");
    EXPECT_EQ(GuestAnsiCodePage(), 1252u);
    EXPECT_EQ(ReportedWindowsVersion(), "win98");
    EXPECT_EQ(QueryString(HKEY_CLASSES_ROOT, ".txt", ""), "txtfile");
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper"), "(None)");
    EXPECT_EQ(QueryString(HKEY_USERS, ".DEFAULT\\Control Panel\\Desktop", "Wallpaper"), "(None)");

    struct Write {
        HKEY root;
        const char *path, *name, *text;
        const char *file;
    };
    const Write writes[] = {
        {HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper", "C:\\WINDOWS\\Café.bmp", "WINDOWS/USER.DAT"},
        {HKEY_LOCAL_MACHINE, "Software\\Korvex\\Neu", "Größe", "übergroß", "WINDOWS/SYSTEM.DAT"},
        {HKEY_CLASSES_ROOT, ".kvx", "", "kvxfile", "WINDOWS/SYSTEM.DAT"},
    };
    const std::string untouchedUser = Inside(image, "WINDOWS/USER.DAT");
    for (const Write &write : writes)
        EXPECT_EQ(SetString(write.root, write.path, write.name, write.text), ERROR_SUCCESS) << write.path;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, ".txt"), ERROR_SUCCESS);
    RegCloseKey(key);

    Use(image); // everything read again from the image
    for (const Write &write : writes) {
        EXPECT_EQ(QueryString(write.root, write.path, write.name), write.text) << write.path;
        EXPECT_EQ(OracleProblems(image, write.file), "");
    }
    EXPECT_EQ(QueryString(HKEY_CLASSES_ROOT, ".txt", ""), "<no key>");
    EXPECT_EQ(Inside(image, "WINDOWS/USER.KVX"), untouchedUser) << "the first original is kept";
    EXPECT_EQ(Inside(image, "WINDOWS/SYSTEM.DAT").find("übergroß"), std::string::npos) << "stored in code page 1252";
    EXPECT_NE(Inside(image, "WINDOWS/SYSTEM.DAT")
                  .find("\xFC"
                        "bergro\xDF"),
              std::string::npos);
}

TEST_F(ImageMachine, FilesOfDriveCAreTheGuestsFileSystem)
{
    const std::string image = Build();
    Use(image);
    EXPECT_EQ(LogicalDrives(), std::vector<std::string>{"c:"});
    EXPECT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_TRUE(WriteWholeFile("C:\\WINDOWS\\LMHOSTS", "10.0.0.1 server\r\n", false));
    ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\LMHOSTS", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(WriteTextLines("C:\\WINDOWS\\LMHOSTS", {"10.0.0.2 other"}));
    EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\LMHOSTS"), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN})
        << "a replaced file keeps its attributes";
    EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\LMHOSTS")) << "read-only";
    EXPECT_TRUE(WritePrivateProfileStringA("Paths", "Mount", "X:", "C:\\TOLVANE.INI"));
    char value[32] = {};
    GetPrivateProfileStringA("Paths", "Mount", "", value, sizeof value, "C:\\TOLVANE.INI");
    EXPECT_STREQ(value, "X:");
    EXPECT_TRUE(CopyFileA("C:\\TOLVANE.INI", "C:\\WINDOWS\\COPY.INI", 1));
    std::vector<std::string> lines;
    EXPECT_TRUE(ReadTextLines("C:\\WINDOWS\\COPY.INI", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"[Paths]", "Mount=X:"}));
    EXPECT_TRUE(DeleteFileA("C:\\WINDOWS\\COPY.INI"));
    EXPECT_FALSE(FileExists("C:\\WINDOWS\\COPY.INI"));
    const std::vector<std::string> folders = SubfoldersOf("C:\\");
    EXPECT_NE(std::find(folders.begin(), folders.end(), "WINDOWS"), folders.end());
    EXPECT_EQ(Inside(image, "WINDOWS/LMHOSTS"), "10.0.0.2 other\r\n");
    // The icon pages read their pictures out of the image too.
    std::ifstream ico(fs::path(MAKE_DISK_IMAGE).parent_path().parent_path() / "icons/FOLDER.ico", std::ios::binary);
    std::stringstream icon;
    icon << ico.rdbuf();
    ASSERT_TRUE(WriteWholeFile("C:\\WINDOWS\\TEST.ICO", icon.str(), false));
    EXPECT_EQ(ExtractIconCount("C:\\WINDOWS\\TEST.ICO"), 1);
}

// With user profiles on, HKEY_CURRENT_USER is the last user's own USER.DAT; on ME,
// HKEY_CLASSES_ROOT is CLASSES.DAT.
TEST_F(ImageMachine, ProfileUserAndClassesFileAreTheirRoots)
{
    const std::string image = Build({}, false, [](creg::Hive &hive) {
        creg::Key *logon = nullptr;
        ASSERT_TRUE(hive.CreateKey("Network\\Logon", &logon));
        ASSERT_TRUE(hive.SetValue(*logon, "UserProfiles", REG_DWORD, {1, 0, 0, 0}));
        SetString(hive, "System\\CurrentControlSet\\Control", "Current User", "ANNA");
    });
    WriteRegistryFile(folder_ + "/PROFILE.DAT",
                      [](creg::Hive &hive) { SetString(hive, "Control Panel\\Desktop", "Wallpaper", "anna.bmp"); });
    WriteRegistryFile(folder_ + "/CLASSES.DAT", [](creg::Hive &hive) { SetString(hive, ".doc", "", "docfile"); });
    const auto mtools = [&](const char *command, const std::string &arguments) {
        Shell("MTOOLS_SKIP_CHECK=1 " + std::string(command) + " -i " + image + "@@" + std::to_string(kPartitionOffset) +
              " " + arguments);
    };
    mtools("mmd", "::WINDOWS/Profiles ::WINDOWS/Profiles/ANNA");
    mtools("mcopy", folder_ + "/PROFILE.DAT ::WINDOWS/Profiles/ANNA/USER.DAT");
    mtools("mcopy", folder_ + "/CLASSES.DAT ::WINDOWS/CLASSES.DAT");
    Use(image);
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper"), "anna.bmp");
    EXPECT_EQ(QueryString(HKEY_USERS, ".DEFAULT\\Control Panel\\Desktop", "Wallpaper"), "(None)");
    EXPECT_EQ(QueryString(HKEY_CLASSES_ROOT, ".doc", ""), "docfile");
    EXPECT_EQ(QueryString(HKEY_CLASSES_ROOT, ".txt", ""), "<no key>") << "SYSTEM.DAT's classes are not shown";
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper", "new.bmp"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_CLASSES_ROOT, ".kvx", "", "kvxfile"), ERROR_SUCCESS);
    Use(image);
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper"), "new.bmp");
    EXPECT_EQ(QueryString(HKEY_CLASSES_ROOT, ".kvx", ""), "kvxfile");
    for (const char *file : {"WINDOWS/Profiles/ANNA/USER.DAT", "WINDOWS/CLASSES.DAT"})
        EXPECT_EQ(OracleProblems(image, file), "") << file;
    EXPECT_EQ(Inside(image, "WINDOWS/SYSTEM.DAT").find("kvxfile"), std::string::npos);
}

// A save is one bracket: the image is written once at its outermost end, and when one registry
// file cannot be written, none is.
TEST_F(ImageMachine, ABracketWritesEveryFileAtItsEndOrNone)
{
    const std::string image = Build();
    Use(image);
    const std::string before = ReadHostFile(image);
    BeginChanges();
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Korvex", "A", "1"), ERROR_SUCCESS);
    BeginChanges(); // an undo of a group inside a save
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper", "a.bmp"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Korvex", "B", "2"), ERROR_SUCCESS);
    EXPECT_EQ(EndChanges(), ERROR_SUCCESS);
    EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, "Software\\Korvex", "B"), "2");
    EXPECT_TRUE(ReadHostFile(image) == before) << "written before the outermost end";
    EXPECT_EQ(EndChanges(), ERROR_SUCCESS);
    Use(image);
    EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, "Software\\Korvex", "A") +
                  QueryString(HKEY_LOCAL_MACHINE, "Software\\Korvex", "B"),
              "12");
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper"), "a.bmp");
    for (const char *file : {"WINDOWS/SYSTEM.DAT", "WINDOWS/USER.DAT"})
        EXPECT_EQ(OracleProblems(image, file), "") << file;

    // Room for the new SYSTEM.DAT, which is written first, but not for the new USER.DAT.
    const std::string system = Inside(image, "WINDOWS/SYSTEM.DAT");
    const std::string user = Inside(image, "WINDOWS/USER.DAT");
    ResetMachine();
    FillUpTo(image, std::uint64_t{64} * 1024);
    BeginChanges();
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Korvex", "A", "changed"), ERROR_SUCCESS);
    for (const char *key : {"Big\\1", "Big\\2", "Big\\3", "Big\\4", "Big\\5", "Big\\6"})
        EXPECT_EQ(SetString(HKEY_CURRENT_USER, key, "", std::string(16000, 'x')), ERROR_SUCCESS);
    EXPECT_EQ(EndChanges(), ERROR_DISK_FULL);
    EXPECT_NE(LastMachineProblem().find("USER.DAT"), std::string::npos) << LastMachineProblem();
    EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, "Software\\Korvex", "A"), "1") << "the bracket is forgotten";
    ResetMachine();
    EXPECT_TRUE(Inside(image, "WINDOWS/SYSTEM.DAT") == system);
    EXPECT_TRUE(Inside(image, "WINDOWS/USER.DAT") == user);
    EXPECT_EQ(Inside(image, "WINDOWS/SYSTEM.NEW"), "");
}

// The image layer's own refusals (an image in use, a read-only file, a full file system) are
// tested on the layer; here one of them, and the registry's own, as the pages meet them.
TEST_F(ImageMachine, RefusedChangesSayWhyAndLeaveTheImageAsItWas)
{
    struct Case {
        const char *what;
        std::vector<std::string> build;
        bool corruptSystem;
        std::function<LONG()> change;
        LONG expected;
        const char *message; // part of MachineReadOnlyMessage() or LastMachineProblem()
    };
    const auto wallpaper = [] { return SetString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper", "x"); };
    const Case cases[] = {
        {"a SYSTEM.DAT the strict check refuses",
         {},
         true,
         [] { return SetString(HKEY_LOCAL_MACHINE, "Software\\Korvex", "A", "b"); },
         ERROR_ACCESS_DENIED,
         "SYSTEM.DAT does not follow"},
        {"a FAT marked dirty", {"--dirty"}, false, wallpaper, ERROR_ACCESS_DENIED, "ScanDisk"},
        {"a name outside code page 1252",
         {},
         false,
         [] { return SetString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Обои", "x"); },
         ERROR_NO_UNICODE_TRANSLATION,
         "code page 1252"},
        {"a value too large for Windows 9x",
         {},
         false,
         [] { return SetString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Big", std::string(20000, 'x')); },
         ERROR_INVALID_PARAMETER,
         "at most 16300 bytes"},
    };
    for (const Case &refusal : cases) {
        SCOPED_TRACE(refusal.what);
        const std::string image = Build(refusal.build, refusal.corruptSystem);
        const std::string before = ReadHostFile(image);
        Use(image);
        EXPECT_EQ(refusal.change(), refusal.expected);
        const std::string why = MachineReadOnlyMessage() + LastMachineProblem();
        EXPECT_NE(why.find(refusal.message), std::string::npos) << why;
        EXPECT_EQ(QueryString(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper"), "(None)");
        UseMachineFolder({});
        ResetMachine(); // lets go of the image
        EXPECT_TRUE(ReadHostFile(image) == before) << "the image changed";
    }
}

} // namespace
