// A machine folder that someone prepared against Korvex: paths that climb out of their drive,
// links that lead out of the machine, things in place of files that never end, and command lines
// whose quotes a Windows program reads its own way.
#include "TempMachine.h"
#include "command_line.h"
#include "file_reads.h"
#include "files.h"
#include "machine.h"
#include "win32.h"
#include "windows_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>

namespace
{

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

TEST(WindowsPaths, DotsNeverClimbAboveTheDrivesRoot)
{
    const struct {
        const char *path, *normal;
    } cases[] = {{"C:\\..\\..\\..\\etc", "C:\\etc"},
                 {"c:/a/./b/../c/", "c:\\a\\c"},
                 {"C:\\a\\..\\..\\b\\\\c", "C:\\b\\c"},
                 {"C:\\..", "C:\\"},
                 {"C:relative", ""},
                 {"\\\\server\\share\\..", ""}};
    for (const auto &c : cases)
        EXPECT_EQ(win::NormalWindowsPath(c.path), c.normal) << c.path;

    TempMachine machine;
    const std::string driveC = machine.Folder() + "/drive_c";
    EXPECT_EQ(win::HostPathOf("C:\\windows\\..\\..\\..\\system.reg"), driveC + "/system.reg");
    fs::create_directory(driveC + "/etc");
    win::WinExec("subst G: \"C:\\..\\..\\..\\..\\..\\..\\..\\etc\"", 0);
    EXPECT_EQ(fs::canonical(machine.PathOf("dosdevices/g:")), fs::canonical(driveC + "/etc")) << "not the host's /etc";
}

TEST(LinksOutOfTheMachine, AreNotWrittenThroughButLinksInsideAre)
{
    TempMachine machine;
    const std::string outside = MakeTempFolder("korvex-outside"), driveC = machine.Folder() + "/drive_c";
    std::ofstream(outside + "/file.ini") << "[s]\r\nk=old\r\n";
    std::ofstream(driveC + "/real.ini") << "[s]\r\nk=old\r\n";
    fs::create_symlink(outside + "/file.ini", driveC + "/linked.ini");
    fs::create_symlink(outside, driveC + "/linkdir");
    fs::create_symlink(driveC + "/real.ini", driveC + "/inner.ini");
    const struct {
        const char *what;
        std::function<bool(const char *)> write;
    } writes[] = {
        {"whole file", [](const char *file) { return win::WriteWholeFile(file, "new", false); }},
        {"profile string",
         [](const char *file) { return win::WritePrivateProfileStringA("s", "k", "new", file) != 0; }},
        {"copy", [](const char *file) { return win::CopyFileA("C:\\windows\\..\\real.ini", file, 0) != 0; }},
        {"attributes", [](const char *file) { return win::SetFileAttributesA(file, FILE_ATTRIBUTE_HIDDEN) != 0; }},
    };
    for (const auto &w : writes) {
        for (const char *file : {"C:\\linked.ini", "C:\\linkdir\\file.ini"}) {
            win::SetLastError(0);
            EXPECT_FALSE(w.write(file)) << w.what << " " << file;
            EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_CANT_ACCESS_FILE)) << w.what << " " << file;
        }
        EXPECT_EQ(FileBytes(outside + "/file.ini"), "[s]\r\nk=old\r\n") << w.what;
        EXPECT_TRUE(fs::is_symlink(driveC + "/linked.ini")) << w.what;
    }
    fs::create_directories(driveC + "/users/me");
    fs::create_symlink(outside, driveC + "/users/me/Desktop");
    EXPECT_TRUE(win::WriteWholeFile("C:\\users\\me\\Desktop\\desk.ini", "", false)) << "Wine's shell folder link";
    EXPECT_TRUE(win::WriteWholeFile("C:\\inner.ini", "inside", false)) << "a link that stays in its drive";
    EXPECT_EQ(FileBytes(driveC + "/real.ini"), "inside");
    EXPECT_TRUE(win::WriteWholeFile(win::WindowsPathOf(outside + "/file.ini"), "named", false)) << "named through Z:";
    EXPECT_EQ(FileBytes(outside + "/file.ini"), "named");
    RemoveFolder(outside);
}

TEST(ThingsInPlaceOfFiles, AreRefusedWithAnErrorWithoutWaiting)
{
    TempMachine machine;
    const std::string driveC = machine.Folder() + "/drive_c";
    ASSERT_EQ(mkfifo((driveC + "/fifo.ini").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", driveC + "/zero.ini");
    fs::create_directory(driveC + "/folder.ini");
    std::ofstream(driveC + "/big.ini") << std::string(win::kTextFileLimit, 'x') << "\n";
    const struct {
        const char *file;
        win::DWORD error;
    } cases[] = {{"C:\\fifo.ini", ERROR_CANT_ACCESS_FILE},
                 {"C:\\zero.ini", ERROR_CANT_ACCESS_FILE},
                 {"C:\\folder.ini", ERROR_CANT_ACCESS_FILE},
                 {"C:\\big.ini", ERROR_FILE_TOO_LARGE}};
    for (const auto &c : cases) {
        std::vector<std::string> lines{"stale"};
        EXPECT_FALSE(win::ReadTextLines(c.file, lines)) << c.file;
        EXPECT_EQ(win::GetLastError(), c.error) << c.file;
        EXPECT_TRUE(lines.empty()) << c.file;
        char value[8] = {};
        win::GetPrivateProfileStringA("s", "k", "none", value, sizeof value, c.file);
        EXPECT_STREQ(value, "none") << c.file;
        EXPECT_EQ(win::CopyFileA(c.file, "C:\\copy.ini", 0) != 0, c.error == ERROR_FILE_TOO_LARGE)
            << c.file << ": a copied file may be larger than a text file";
        EXPECT_FALSE(win::WritePrivateProfileStringA("s", "k", "v", c.file))
            << c.file << ": nothing read, nothing written";
    }
}

TEST(CommandLines, SplitAsAWindowsProgramSplitsThem)
{
    const struct {
        const char *line;
        Words words;
    } cases[] = {
        {R"( a	b  )", {"a", "b"}},
        {R"("arg with \"quote" x)", {R"(arg with "quote)", "x"}},
        {R"(a\\\"b c\\"d e" f)", {R"(a\"b)", R"(c\d e)", "f"}},
        {R"(C:\dir\ "C:\dir\\")", {R"(C:\dir\)", R"(C:\dir\)"}},
        {R"("" "a""b")", {"", R"(a"b)"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(win::detail::SplitArguments(c.line), c.words) << c.line;
    const win::detail::ProgramPart quoted = win::detail::SplitOffProgram(R"( "C:\Program Files\a\" /S)");
    EXPECT_EQ(quoted.program, R"(C:\Program Files\a\)") << "a program's path takes backslashes as they are";
    EXPECT_EQ(quoted.rest, " /S");
}

} // namespace
