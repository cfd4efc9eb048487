// The contract of the profile strings, file attributes, CopyFileA, Korvex's file helpers, system
// information and WinExec, through the `win` functions only, so the same rows run against the
// machine folder, Wine and Windows (see Differences.h); the last section is what only the machine
// folder does. Buffers are filled with junk first, so that a row sees every byte a function wrote.
#include "Differences.h"
#include "TempMachine.h"
#include "files.h"
#include "machine.h"
#include "win32.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace
{

using namespace std::string_literals;

constexpr char kJunk = '\xCC';

class FilesContract : public ::testing::Test
{
protected:
    std::string PathOf(const std::string &name) const { return folder_ + "\\" + name; }

    void Put(const std::string &name, const std::string &bytes) const
    {
        std::ofstream(win::HostPathOf(PathOf(name)), std::ios::binary | std::ios::trunc) << bytes;
    }

    void MakeFolder(const std::string &name) const { std::filesystem::create_directory(win::HostPathOf(PathOf(name))); }
    void Remove(const std::string &name) const
    {
        std::error_code ec;
        std::filesystem::remove(win::HostPathOf(PathOf(name)), ec);
    }

    std::string Get(const std::string &name) const { return FileBytes(win::HostPathOf(PathOf(name))); }

    // What GetPrivateProfileStringA wrote: every byte up to the junk it left.
    struct Read {
        win::DWORD returned = 0;
        std::string written;
    };

    Read ReadProfile(const char *section, const char *key, const char *fallback, win::DWORD size,
                     const std::string &file)
    {
        std::array<char, 128> buffer{};
        buffer.fill(kJunk);
        Read read;
        read.returned = win::GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file.c_str());
        read.written.assign(buffer.data(), std::string_view(buffer.data(), buffer.size()).find(kJunk));
        return read;
    }

    TempMachine machine_;
    std::string folder_ = machine_.FilesFolder();
};

// ---- Profile strings -------------------------------------------------------------------------

constexpr const char *kProfile = "[Section]\r\n"
                                 "Key=value\r\n"
                                 "; note=a comment\r\n"
                                 "  Spaced  =  padded value  \r\n"
                                 "Quoted=\"in quotes\"\r\n"
                                 "Empty=\r\n"
                                 "\r\n"
                                 "[Other]\r\n"
                                 "Key=other"; // the last line has no end

struct ProfileRead {
    const char *section;
    const char *key;
    const char *fallback;
    win::DWORD size;
    std::string written; // with the terminating NUL(s)
    win::DWORD returned;
};

TEST_F(FilesContract, ProfileStringsReadAsWindowsReadsThem)
{
    Put("read.ini", kProfile);
    const ProfileRead rows[] = {
        {"Section", "Key", "d", 64, "value\0"s, 5},
        {"sECTION", "kEY", "d", 64, "value\0"s, 5},
        {" Section ", " Spaced ", "d", 64, "padded value\0"s, 12},
        {"Section", "Quoted", "d", 64, "in quotes\0"s, 9},
        {"Section", "Empty", "d", 64, "\0"s, 0},
        {"Section", "Missing", "fallback  ", 64, "fallback\0"s, 8},
        {"Nowhere", "Key", nullptr, 64, "\0"s, 0},
        {"Other", "Key", "d", 64, "other\0"s, 5},
        {"Section", "Key", "d", 4, "val\0"s, 3},
        {"Section", nullptr, "d", 64, "Key\0Spaced\0Quoted\0Empty\0\0"s, 24},
        {nullptr, nullptr, "d", 64, "Section\0Other\0\0"s, 14},
    };
    for (const ProfileRead &row : rows) {
        const Read read = ReadProfile(row.section, row.key, row.fallback, row.size, PathOf("read.ini"));
        EXPECT_EQ(read.written, row.written) << row.section << "/" << (row.key ? row.key : "(keys)");
        EXPECT_EQ(read.returned, row.returned) << row.section << "/" << (row.key ? row.key : "(keys)");
    }
    win::SetLastError(0);
    const Read missing = ReadProfile(".ShellClassInfo", "IconFile", "0", 127, PathOf("Desktop.ini"));
    EXPECT_EQ(std::tuple(missing.written, missing.returned), std::tuple("0\0"s, 1u)) << "a missing file";
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_FILE_NOT_FOUND));
}

struct ProfileWrite {
    const char *name;
    const char *before; // null: no file
    const char *section;
    const char *key;
    const char *value;
    const char *after;
};

TEST_F(FilesContract, ProfileStringsAreWrittenInPlace)
{
    const ProfileWrite rows[] = {
        {"new file", nullptr, ".ShellClassInfo", "IconFile", "KorvFld0.ico",
         "[.ShellClassInfo]\r\nIconFile=KorvFld0.ico\r\n"},
        {"value replaced", "[s]\r\nk=old\r\nz=1\r\n", "s", "k", "new", "[s]\r\nk=new\r\nz=1\r\n"},
        {"names match without case", "[S]\r\nK=old\r\n", "s", "k", "new", "[S]\r\nK=new\r\n"},
        {"key added to its section", "[s]\r\nk=v\r\n[t]\r\nx=1\r\n", "s", "n", "x",
         "[s]\r\nk=v\r\nn=x\r\n[t]\r\nx=1\r\n"},
        {"leading blanks of a value dropped", "[s]\r\n", "s", "k", "  v", "[s]\r\nk=v\r\n"},
        {"key deleted", "[s]\r\nk=v\r\nz=1\r\n", "s", "k", nullptr, "[s]\r\nz=1\r\n"},
        {"section deleted", "[s]\r\nk=v\r\n[t]\r\nz=1\r\n", "s", nullptr, nullptr, "[t]\r\nz=1\r\n"},
    };
    for (const ProfileWrite &row : rows) {
        if (row.before)
            Put("write.ini", row.before);
        EXPECT_TRUE(win::WritePrivateProfileStringA(row.section, row.key, row.value, PathOf("write.ini").c_str()))
            << row.name;
        EXPECT_EQ(Get("write.ini"), row.after) << row.name;
        Remove("write.ini");
    }
}

// A read-only file is never written: a profile string, a copy onto it and text lines are refused
// and its bytes stay.
TEST_F(FilesContract, ReadOnlyFilesAreLeftAsTheyWere)
{
    Put("icon.ico", "icon");
    Put("locked.ini", "[s]\r\nk=v\r\n");
    const std::string locked = PathOf("locked.ini");
    ASSERT_TRUE(win::SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::pair<const char *, std::function<bool()>> writes[] = {
        {"profile string", [&] { return win::WritePrivateProfileStringA("s", "k", "new", locked.c_str()) != 0; }},
        {"copy onto", [&] { return win::CopyFileA(PathOf("icon.ico").c_str(), locked.c_str(), 0) != 0; }},
        {"text lines", [&] { return win::WriteTextLines(locked, {"new"}); }},
    };
    for (const auto &[what, write] : writes) {
        const bool written = write();
        EXPECT_EQ(written, Has(Difference::ReadOnlyFilesWrittenByRoot)) << what;
        if (!written) {
            EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_ACCESS_DENIED)) << what;
            EXPECT_EQ(Get("locked.ini"), "[s]\r\nk=v\r\n") << what;
        }
    }
}

// ---- Attributes ------------------------------------------------------------------------------

struct AttributeRow {
    bool folder;
    win::DWORD set;
    win::DWORD got;
};

TEST_F(FilesContract, AttributesAreReplacedWhole)
{
    Put("file", "x");
    MakeFolder("folder");
    const win::DWORD readOnlyFolder = Expected(Difference::ReadOnlyFoldersIgnored, 0x11u, 0x10u);
    const AttributeRow rows[] = {
        {false, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0x26},
        {false, FILE_ATTRIBUTE_READONLY, 0x21},
        {false, 0, 0x20},
        {true, FILE_ATTRIBUTE_SYSTEM, 0x14},
        {true, FILE_ATTRIBUTE_READONLY, readOnlyFolder},
        {true, 0, 0x10},
    };
    for (const AttributeRow &row : rows) {
        const std::string path = PathOf(row.folder ? "folder" : "file");
        EXPECT_TRUE(win::SetFileAttributesA(path.c_str(), row.set)) << path << " " << row.set;
        EXPECT_EQ(win::GetFileAttributesA(path.c_str()), row.got) << path << " " << row.set;
    }
}

// ---- CopyFileA -------------------------------------------------------------------------------

struct CopyRow {
    const char *name;
    const char *target;
    const char *targetBefore; // null: no such file
    bool failIfExists;
    bool copied;
    win::DWORD error;
};

TEST_F(FilesContract, CopyFileReplacesOrKeepsTheTarget)
{
    const CopyRow rows[] = {
        {"new target", "copy.ico", nullptr, false, true, 0},
        {"overwritten", "copy.ico", "old", false, true, 0},
        {"kept when asked", "copy.ico", "old", true, false, ERROR_FILE_EXISTS},
        {"onto itself", "icon.ico", "icon bytes", false, false, ERROR_SHARING_VIOLATION},
        {"into a missing folder", "none\\copy.ico", nullptr, false, false, ERROR_PATH_NOT_FOUND},
    };
    for (const CopyRow &row : rows) {
        Put("icon.ico", "icon bytes");
        if (row.targetBefore)
            Put(row.target, row.targetBefore);
        const bool copied =
            win::CopyFileA(PathOf("icon.ico").c_str(), PathOf(row.target).c_str(), row.failIfExists) != 0;
        EXPECT_EQ(copied, row.copied) << row.name;
        if (copied) {
            EXPECT_EQ(Get(row.target), "icon bytes") << row.name;
        } else {
            EXPECT_EQ(win::GetLastError(), row.error) << row.name;
            EXPECT_EQ(Get(row.target), row.targetBefore ? row.targetBefore : "") << row.name;
        }
        Remove("copy.ico");
    }
}

// ---- Korvex's file helpers -------------------------------------------------------------------

TEST_F(FilesContract, SubfoldersAreListedByNameWithoutFiles)
{
    for (const char *name : {"beta", "Alpha", "gamma"})
        MakeFolder(name);
    Put("file.txt", "x");
    EXPECT_EQ(win::SubfoldersOf(folder_), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(win::SubfoldersOf(folder_ + "\\"), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    EXPECT_TRUE(win::SubfoldersOf(PathOf("beta")).empty());
    EXPECT_TRUE(win::SubfoldersOf(PathOf("missing")).empty());
}

struct LinesRow {
    std::string bytes;
    std::vector<std::string> lines;
};

TEST_F(FilesContract, TextLinesAreWholeLinesWhateverTheirEnds)
{
    const LinesRow rows[] = {
        {"", {}},
        {"E:C:\\GAMES\r\nF:D:\\WORK\r\n", {"E:C:\\GAMES", "F:D:\\WORK"}},
        {"one\ntwo", {"one", "two"}},
        {"a,b\r\n\r\nc", {"a,b", "", "c"}},
    };
    for (const LinesRow &row : rows) {
        Put("lines.txt", row.bytes);
        std::vector<std::string> lines{"stale"};
        EXPECT_TRUE(win::ReadTextLines(PathOf("lines.txt"), lines)) << row.bytes;
        EXPECT_EQ(lines, row.lines) << row.bytes;
    }
}

TEST_F(FilesContract, WrittenLinesEndInCrLfAndWholeFilesKeepEveryByte)
{
    ASSERT_TRUE(win::WriteTextLines(PathOf("Tolvane.ini"), {"E:C:\\GAMES", "F:D:\\WORK"}));
    EXPECT_EQ(Get("Tolvane.ini"), "E:C:\\GAMES\r\nF:D:\\WORK\r\n");
    ASSERT_TRUE(win::WriteTextLines(PathOf("Tolvane.ini"), {}));
    EXPECT_EQ(Get("Tolvane.ini"), "");
    EXPECT_TRUE(win::FileExists(PathOf("Tolvane.ini")));
    const std::string program = "MZ\0\x90\r\n\x1a\xff"s;
    ASSERT_TRUE(win::WriteWholeFile(PathOf("Tolvane.exe"), program, true));
    EXPECT_EQ(Get("Tolvane.exe"), program) << "whole files keep every byte";
    EXPECT_TRUE(win::FileExists(folder_));
    EXPECT_FALSE(win::FileExists(PathOf("missing.exe")));
}

// DeleteFileA removes a file, hidden or not, and refuses a folder and a read-only file.
TEST_F(FilesContract, DeleteFileRemovesFilesButNotFoldersOrReadOnlyFiles)
{
    for (const char *name : {"plain.txt", "hidden.txt", "locked.txt"})
        Put(name, "x");
    MakeFolder("folder");
    ASSERT_TRUE(win::SetFileAttributesA(PathOf("hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(win::SetFileAttributesA(PathOf("locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    const std::pair<const char *, bool> rows[] = {
        {"plain.txt", true}, {"hidden.txt", true}, {"locked.txt", false}, {"folder", false}};
    for (const auto &[name, deleted] : rows) {
        EXPECT_EQ(win::DeleteFileA(PathOf(name).c_str()) != 0, deleted) << name;
        if (!deleted) {
            EXPECT_EQ(win::GetLastError(), win::DWORD{ERROR_ACCESS_DENIED}) << name;
        }
        EXPECT_EQ(win::FileExists(PathOf(name)), !deleted) << name;
    }
}

// Calls on what is not there fail, each with its error code.
TEST_F(FilesContract, WhatIsNotThereFailsWithItsErrorCode)
{
    const std::string missing = PathOf("missing");
    const std::string inMissing = PathOf("missing\\file");
    std::vector<std::string> lines{"stale"};
    const std::tuple<const char *, std::function<bool()>, win::DWORD> calls[] = {
        {"attributes", [&] { return win::GetFileAttributesA(missing.c_str()) != INVALID_FILE_ATTRIBUTES; },
         ERROR_FILE_NOT_FOUND},
        {"attributes in a missing folder",
         [&] { return win::GetFileAttributesA(inMissing.c_str()) != INVALID_FILE_ATTRIBUTES; }, ERROR_PATH_NOT_FOUND},
        {"set attributes", [&] { return win::SetFileAttributesA(missing.c_str(), 0) != 0; }, ERROR_FILE_NOT_FOUND},
        {"copy", [&] { return win::CopyFileA(missing.c_str(), PathOf("other").c_str(), 0) != 0; },
         ERROR_FILE_NOT_FOUND},
        {"read lines", [&] { return win::ReadTextLines(missing, lines); }, ERROR_FILE_NOT_FOUND},
        {"whole file in a missing folder", [&] { return win::WriteWholeFile(inMissing, "MZ", true); },
         ERROR_PATH_NOT_FOUND},
        {"delete", [&] { return win::DeleteFileA(missing.c_str()) != 0; }, ERROR_FILE_NOT_FOUND},
    };
    for (const auto &[what, call, error] : calls) {
        win::SetLastError(0);
        EXPECT_FALSE(call()) << what;
        EXPECT_EQ(win::GetLastError(), error) << what;
    }
    EXPECT_TRUE(lines.empty()) << "a failed read leaves no stale lines";
}

// ---- System information and starting programs ------------------------------------------

TEST(SystemInfo, NamesAndDirectoriesReportTheirSizesLikeWindows)
{
    TempMachine machine;
    char buffer[64];
    win::DWORD size = sizeof buffer;
    ASSERT_TRUE(win::GetComputerNameA(buffer, &size));
    EXPECT_EQ(size, std::strlen(buffer));

    size = sizeof buffer;
    ASSERT_TRUE(win::GetUserNameA(buffer, &size));
    EXPECT_EQ(size, std::strlen(buffer) + 1) << "the user name's size counts its terminator";

    char windows[64];
    const win::UINT windowsLength = win::GetWindowsDirectoryA(windows, sizeof windows);
    EXPECT_EQ(windowsLength, std::strlen(windows));
    const win::UINT systemLength = win::GetSystemDirectoryA(buffer, sizeof buffer);
    EXPECT_EQ(systemLength, std::strlen(buffer));
    if (Running() != Implementation::Windows) { // a Wine prefix
        EXPECT_STREQ(windows, "C:\\windows");
        EXPECT_STREQ(buffer, "C:\\windows\\system32");
    }
    // A buffer without room for the terminator gets the size needed, terminator included.
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(win::GetWindowsDirectoryA(buffer, windowsLength), windowsLength + 1);
    EXPECT_EQ(win::GetWindowsDirectoryA(buffer, windowsLength + 1), windowsLength);
    EXPECT_STREQ(buffer, windows);
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

#ifdef _WIN32
// WinExec returns from a subst command only once it has ended, so that its drive is there at
// once, as on a machine folder. The fake subst.exe takes its time, then records its start beside
// itself.
TEST_F(FilesContract, ASubstCommandHasEndedWhenWinExecReturns)
{
    char self[MAX_PATH];
    const std::string program(self, ::GetModuleFileNameA(nullptr, self, MAX_PATH));
    const std::string fake = program.substr(0, program.find_last_of('\\') + 1) + "fake-subst\\subst.exe";
    ASSERT_TRUE(::CopyFileA(fake.c_str(), PathOf("subst.exe").c_str(), TRUE));
    ASSERT_GT(win::WinExec(("\"" + PathOf("subst.exe") + "\" Q: C:\\").c_str(), SW_HIDE), 31u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 2) << "no record beside subst.exe";
}
#endif

#ifndef _WIN32
// ---- What only the machine folder does --------------------------------------------------------

TEST(MachinePaths, WindowsPathsGoThroughTheDriveLinks)
{
    TempMachine machine;
    EXPECT_EQ(win::HostPathOf("C:\\windows\\system32\\Tolvane.ini"),
              machine.Folder() + "/drive_c/windows/system32/Tolvane.ini");
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
