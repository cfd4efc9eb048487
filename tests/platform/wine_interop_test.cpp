// Korvex and real Wine on the same prefix: a prefix made by `wineboot` survives our registry code
// without loss, what we write Wine's own `reg` reads, and what Wine writes we read. Each test
// works on a copy of the prefix made once per test run (KORVEX_WINE_TEMPLATE) and skips where
// Wine is not installed. No wineserver is left running for a test's prefix: the platform refuses
// registry writes while one runs, and a server would outlive the deleted folder.
#include "Reg.h"
#include "RegistryValues.h"
#include "TempMachine.h"
#include "WinePrograms.h"
#include "hive.h"
#include "machine.h"
#include "win32.h"
#include "wow64.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The lines of the key block that starts with `[header] ` up to the empty line that ends it;
// `first` receives the header's line index.
std::vector<std::string> Block(const std::vector<std::string> &lines, const std::string &header,
                               size_t *first = nullptr)
{
    const auto start = std::find_if(lines.begin(), lines.end(),
                                    [&](const std::string &line) { return line.starts_with("[" + header + "] "); });
    if (first)
        *first = static_cast<size_t>(start - lines.begin());
    return {start, std::find(start, lines.end(), std::string())};
}

// A block's value lines (a wrapped hex value continues over several), without header and options.
std::vector<std::string> ValueLines(std::vector<std::string> block)
{
    std::erase_if(block, [](const std::string &line) { return line.starts_with('[') || line.starts_with('#'); });
    return block;
}

class WinePrefix : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_WINE_PREFIX();
        machine_ = std::make_unique<WineMachine>();
    }

    const TempMachine &Machine() const { return *machine_; }

    // Runs a Wine program for this test's prefix: its exit code, or -1 when it did not end
    // normally within two minutes. What it said on standard error is kept in errors_.
    int Execute(const QString &program, const QStringList &args, QByteArray *out = nullptr) const
    {
        WineRun run = machine_->Run(program, args);
        errors_ = run.errors;
        if (out)
            *out = run.output;
        return run.exitCode;
    }

    // What `wine reg export` writes for `key` and its subkeys (as UTF-16 with CR LF line ends),
    // as UTF-8 text with LF; empty when Wine finds no such key.
    std::string Export(const QString &key) const
    {
        const std::string file = machine_->PathOf("export.reg");
        std::remove(file.c_str());
        if (Execute(kWine64, {"reg", "export", key, QString::fromStdString(file), "/y"}) != 0)
            return {};
        const std::string bytes = machine_->ReadFile("export.reg");
        if (bytes.size() < 2)
            return {};
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.data() + 2),
                                  static_cast<qsizetype>((bytes.size() - 2) / 2))
            .remove(QLatin1Char('\r'))
            .toStdString();
    }

    mutable QByteArray errors_;

private:
    std::unique_ptr<WineMachine> machine_;
};

using regvalues::SetValue;

// ---- Round trip ------------------------------------------------------------------------------

using WineRoundTrip = WinePrefix;

TEST_F(WineRoundTrip, EachHiveFileSerializesToItsOwnBytes)
{
    for (const char *file : {"system.reg", "user.reg", "userdef.reg"}) {
        const std::string original = Machine().ReadFile(file);
        win::detail::Hive hive;
        ASSERT_TRUE(hive.Parse(original)) << file;
        EXPECT_FALSE(hive.Root().children.empty()) << file;
        EXPECT_TRUE(hive.Serialize() == original) << file << " changed in a parse and save without a change";
    }
}

TEST_F(WineRoundTrip, OneWriteChangesOnlyItsOwnKeyBlock)
{
    const std::string header = "Control Panel\\\\Desktop";
    const std::string systemBefore = Machine().ReadFile("system.reg");
    const std::string defaultBefore = Machine().ReadFile("userdef.reg");
    const std::vector<std::string> before = Lines(Machine().ReadFile("user.reg"));
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "KorvexRoundTrip", REG_DWORD,
                       std::string("\xab\x12\0\0", 4)),
              ERROR_SUCCESS);
    EXPECT_TRUE(Machine().ReadFile("system.reg") == systemBefore) << "system.reg was rewritten";
    EXPECT_TRUE(Machine().ReadFile("userdef.reg") == defaultBefore) << "userdef.reg was rewritten";

    const std::vector<std::string> after = Lines(Machine().ReadFile("user.reg"));
    size_t first = 0;
    size_t firstAfter = 0;
    const std::vector<std::string> blockBefore = Block(before, header, &first);
    const std::vector<std::string> blockAfter = Block(after, header, &firstAfter);
    ASSERT_GE(blockBefore.size(), 3u) << "the prefix has no values under Control Panel\\Desktop";
    ASSERT_EQ(blockAfter.size(), blockBefore.size() + 1);
    // Everything outside the block is untouched, line for line and in place.
    ASSERT_EQ(firstAfter, first);
    const auto endBefore = before.begin() + static_cast<std::ptrdiff_t>(first + blockBefore.size());
    EXPECT_TRUE(std::equal(before.begin(), endBefore - static_cast<std::ptrdiff_t>(blockBefore.size()), after.begin()));
    EXPECT_TRUE(std::equal(endBefore, before.end(),
                           after.begin() + static_cast<std::ptrdiff_t>(first + blockAfter.size()), after.end()));
    // Inside it: a new header and time, the old value lines as they were, and the new value.
    EXPECT_NE(blockAfter[0], blockBefore[0]);
    EXPECT_TRUE(blockAfter[1].starts_with("#time=") && blockAfter[1] != blockBefore[1]) << blockAfter[1];
    std::vector<std::string> valuesAfter = ValueLines(blockAfter);
    EXPECT_EQ(std::erase(valuesAfter, "\"KorvexRoundTrip\"=dword:000012ab"), 1u);
    EXPECT_EQ(valuesAfter, ValueLines(blockBefore));
}

// Wine writes a value of each kind with `reg add`: we read its bytes exactly, and for the same
// values we write the very lines Wine wrote (escapes, wrapping, tags).
TEST_F(WineRoundTrip, WinesValuesReadBackAndOursAreWrittenAsWineWritesThem)
{
    const QString text = QString::fromUtf8("Привет, \"мир\" ключ2b \\ путь\tконец");
    std::string binary;
    for (int i = 0; i < 60; ++i)
        binary.push_back(static_cast<char>(i % 3 ? (i * 37) & 0xFF : 0));
    const struct {
        const char *name;
        const char *wineType;
        QString wineData;
        win::DWORD type;
        std::string bytes;
    } values[] = {
        {"d", "REG_DWORD", QString::number(0xfffe0001u), REG_DWORD, std::string("\x01\0\xfe\xff", 4)},
        {"s", "REG_SZ", text, REG_SZ, text.toStdString() + '\0'},
        {"b", "REG_BINARY", QString::fromLatin1(QByteArray::fromStdString(binary).toHex()), REG_BINARY, binary},
        {"m", "REG_MULTI_SZ", "one\\0two", REG_MULTI_SZ, std::string("one\0two\0\0", 9)},
        {"x", "REG_EXPAND_SZ", "%SystemRoot%\\system32", REG_EXPAND_SZ, std::string("%SystemRoot%\\system32\0", 22)},
    };
    for (const auto &value : values)
        ASSERT_EQ(Execute(kWine64, {"reg", "add", "HKCU\\Software\\KorvexByWine", "/v", value.name, "/t",
                                    value.wineType, "/d", value.wineData, "/f"}),
                  0)
            << value.name << ": " << errors_.toStdString();
    // The server saves the registry as it ends; Wine's files are complete after it.
    ASSERT_NE(Execute("wineserver", {"-w"}), -1) << "wineserver -w did not end";
    // Wine has now rewritten the file from its own memory: that text round-trips too.
    const std::string wineText = Machine().ReadFile("user.reg");
    win::detail::Hive hive;
    ASSERT_TRUE(hive.Parse(wineText));
    EXPECT_TRUE(hive.Serialize() == wineText) << "user.reg as saved by Wine changed in a parse and save";

    for (const auto &value : values) {
        EXPECT_EQ(regvalues::QueryValue(HKEY_CURRENT_USER, "Software\\KorvexByWine", value.name),
                  std::pair(value.type, value.bytes))
            << value.name;
        ASSERT_EQ(SetValue(HKEY_CURRENT_USER, "Software\\KorvexByUs", value.name, value.type, value.bytes),
                  ERROR_SUCCESS);
    }
    const std::vector<std::string> lines = Lines(Machine().ReadFile("user.reg"));
    const std::vector<std::string> byWine = ValueLines(Block(lines, "Software\\\\KorvexByWine"));
    ASSERT_EQ(byWine.size(), 7u) << "Wine wrote five values, the binary over three lines";
    EXPECT_EQ(ValueLines(Block(lines, "Software\\\\KorvexByUs")), byWine);
}

// ---- What we write, Wine reads ---------------------------------------------------------------

using WineReadsOurWrites = WinePrefix;

TEST_F(WineReadsOurWrites, RegExportShowsEveryTypeExactly)
{
    const QString key = "Software\\KorvexInterop";
    ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, key, "Number", 0x12345678));
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, key, "Russian", QString::fromUtf8("Привет, мир")));
    ASSERT_TRUE(Reg::SetBinary(HKEY_CURRENT_USER, key, "Bytes", QByteArray("\x00\x01\x00\xff\x7f\x00", 6)));
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, key + "\\Deep\\L1\\L2", "Deep", "bottom"));
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, key, "Doomed", "soon gone"));
    ASSERT_TRUE(Reg::DeleteValue(HKEY_CURRENT_USER, key, "Doomed"));
    EXPECT_EQ(Export("HKCU\\" + key), "Windows Registry Editor Version 5.00\n\n"
                                      "[HKEY_CURRENT_USER\\Software\\KorvexInterop]\n"
                                      "\"Bytes\"=hex:00,01,00,ff,7f,00\n"
                                      "\"Number\"=dword:12345678\n"
                                      "\"Russian\"=\"Привет, мир\"\n\n"
                                      "[HKEY_CURRENT_USER\\Software\\KorvexInterop\\Deep]\n\n"
                                      "[HKEY_CURRENT_USER\\Software\\KorvexInterop\\Deep\\L1]\n\n"
                                      "[HKEY_CURRENT_USER\\Software\\KorvexInterop\\Deep\\L1\\L2]\n"
                                      "\"Deep\"=\"bottom\"\n\n");
}

// A path through a link reaches the key Wine's programs use. Debian's Wine 8.0 keeps
// CurrentControlSet as an ordinary key (there is no ControlSet001); later Wine links it there.
TEST_F(WineReadsOurWrites, PathsThroughTheControlSetReachWhereWineLooks)
{
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Update", "KorvexProbe", REG_SZ,
                       std::string("korvex\0", 7)),
              ERROR_SUCCESS);
    const std::string system = Machine().ReadFile("system.reg");
    EXPECT_EQ(system.find("\n[SYSTEM\\\\"), std::string::npos) << "a second System key in another case";
    for (const char *set : {"CurrentControlSet", "ControlSet001"}) {
        if (std::string(set) == "ControlSet001" && system.find("\n[System\\\\ControlSet001\\\\") == std::string::npos)
            continue;
        EXPECT_NE(Export(QString("HKLM\\System\\%1\\Control\\Update").arg(set)).find("\"KorvexProbe\"=\"korvex\"\n"),
                  std::string::npos)
            << "Wine does not find the value under " << set;
    }
}

// Software\Wow6432Node\Classes is a link in every 64-bit prefix.
TEST_F(WineReadsOurWrites, AWriteThroughALinkKeyLandsInItsTarget)
{
    const std::vector<std::string> linkBefore =
        Block(Lines(Machine().ReadFile("system.reg")), "Software\\\\Wow6432Node\\\\Classes");
    ASSERT_NE(std::find(linkBefore.begin(), linkBefore.end(), "#link"), linkBefore.end())
        << "the prefix has no Wow6432Node\\Classes link";
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes\\.korvexlink", "", REG_SZ,
                       std::string("through the link\0", 17)),
              ERROR_SUCCESS);
    const std::vector<std::string> after = Lines(Machine().ReadFile("system.reg"));
    EXPECT_EQ(Block(after, "Software\\\\Wow6432Node\\\\Classes"), linkBefore) << "the link key itself changed";
    EXPECT_TRUE(Block(after, "Software\\\\Wow6432Node\\\\Classes\\\\.korvexlink").empty());
    EXPECT_NE(Export("HKLM\\Software\\Classes\\Wow6432Node\\.korvexlink").find("@=\"through the link\"\n"),
              std::string::npos)
        << "Wine does not find the key in the link's target";
}

// Without a "Version" setting Wine takes the version from the NT keys (a Proton prefix names
// Windows 10 there), which cmd's "ver" shows.
TEST_F(WineReadsOurWrites, TheNtKeysGiveTheVersionWineShows)
{
    const struct {
        const char *version, *build, *shownByVer;
    } cases[] = {{"5.1", "2600", "5.1.2600"}, {"10.0", "19045", "10.0.19045"}};
    const char *key = "Software\\Microsoft\\Windows NT\\CurrentVersion";
    for (const auto &c : cases) {
        for (const auto &[name, text] : {std::pair{"CurrentVersion", c.version}, {"CurrentBuildNumber", c.build}})
            ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, key, name, REG_SZ, std::string(text) + '\0'), ERROR_SUCCESS);
        QByteArray out;
        Execute(kWine64, {"cmd", "/c", "ver"}, &out);
        EXPECT_TRUE(out.contains(QByteArray("Microsoft Windows ") + c.shownByVer + "\r")) << out.toStdString();
        Execute("wineserver", {"-k"});
        ASSERT_TRUE(WaitForWineServer(false));
    }
}

// ---- File attributes ---------------------------------------------------------------------------

using WineSharesAttributes = WinePrefix;

TEST_F(WineSharesAttributes, AttribShowsWhatWeSetAndWeReadWhatAttribSets)
{
    std::filesystem::create_directories(Machine().PathOf("drive_c/korvex/folder"));
    std::ofstream(Machine().PathOf("drive_c/korvex/ours")) << "x";
    std::ofstream(Machine().PathOf("drive_c/korvex/theirs")) << "x";
    // attrib prints a column of letters before the name; their places differ from Windows'.
    const auto letters = [this](const char *path) {
        QByteArray out;
        Execute(kWine64, {"attrib", path}, &out);
        const QByteArray line = out.left(out.indexOf("C:\\"));
        QString found;
        for (const char letter : {'A', 'S', 'H', 'R'})
            if (line.contains(letter))
                found += QLatin1Char(letter);
        return found.toStdString();
    };
    const struct {
        const char *path;
        win::DWORD set;
        const char *shown;
    } ours[] = {
        {"C:\\korvex\\ours", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, "ASHR"},
        {"C:\\korvex\\ours", 0, "A"},
        {"C:\\korvex\\folder", FILE_ATTRIBUTE_SYSTEM, "S"},
    };
    for (const auto &row : ours) {
        ASSERT_TRUE(win::SetFileAttributesA(row.path, row.set)) << row.path;
        EXPECT_EQ(letters(row.path), row.shown) << row.path << " " << row.set;
    }
    // One switch a call: Wine 8.0's attrib applies only one of several.
    for (const char *add : {"+h", "+s", "+r"})
        ASSERT_NE(Execute(kWine64, {"attrib", add, "C:\\korvex\\theirs"}), -1) << add;
    EXPECT_EQ(win::GetFileAttributesA("C:\\korvex\\theirs"), 0x27u);
}

// ---- A running wineserver ----------------------------------------------------------------------

using RunningWineServer = WinePrefix;

TEST_F(RunningWineServer, WritesAreRefusedUntilItEnds)
{
    const std::string userBefore = Machine().ReadFile("user.reg");
    ASSERT_FALSE(win::WineServerRunning());
    ASSERT_EQ(Execute("wineserver", {"-p"}), 0) << errors_.toStdString();
    ASSERT_TRUE(WaitForWineServer(true)) << "the persistent server was not detected";

    const std::string one("\1\0\0\0", 4);
    EXPECT_EQ(SetValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "KorvexBlocked", REG_DWORD, one),
              ERROR_SHARING_VIOLATION);
    EXPECT_EQ(SetValue(HKEY_CURRENT_USER, "Software\\KorvexBlocked\\New", "v", REG_DWORD, one),
              ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(Machine().ReadFile("user.reg") == userBefore) << "user.reg changed while the server ran";
    // Reading goes on meanwhile.
    QString out;
    EXPECT_TRUE(Reg::GetValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "DragFullWindows", out));

    ASSERT_NE(Execute("wineserver", {"-k"}), -1) << "wineserver -k did not end";
    ASSERT_TRUE(WaitForWineServer(false)) << "the server is still detected after wineserver -k";
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "KorvexBlocked", REG_DWORD, one), ERROR_SUCCESS);
    EXPECT_NE(Machine().ReadFile("user.reg").find("\"KorvexBlocked\"=dword:00000001"), std::string::npos);
}

// ---- Copying a prefix for a test ---------------------------------------------------------------

// A Wine prefix links drive_c/users/<user>/Documents and its siblings to the home folder. A copy
// for a test must keep those links, not hard-link (and later chmod) the developer's own files.
TEST(PrefixCopy, TempMachineKeepsShellFolderLinksAsLinks)
{
    namespace fs = std::filesystem;
    const fs::path prefix = MakeTempFolder("korvex-prefix");
    const fs::path home = MakeTempFolder("korvex-home");
    const fs::path own = home / "own.txt";
    {
        std::ofstream(own) << "the user's file";
        fs::permissions(own, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        std::ofstream(prefix / "system.reg") << "WINE REGISTRY Version 2\n";
        fs::create_directories(prefix / "drive_c" / "users" / "me");
        fs::create_directory_symlink(home, prefix / "drive_c" / "users" / "me" / "Documents");

        TempMachine machine(prefix.string());
        EXPECT_TRUE(fs::is_symlink(machine.PathOf("drive_c/users/me/Documents")))
            << "the shell folder link was followed into the home folder";
        EXPECT_EQ(fs::hard_link_count(own), 1u) << "the user's file was hard-linked into the copy";
    }
    EXPECT_EQ(fs::status(own).permissions() & fs::perms::owner_write, fs::perms::none)
        << "removing the copy made the user's read-only file writable";
    RemoveFolder(prefix.string());
    RemoveFolder(home.string());
}

} // namespace

// ---- The 32-bit and 64-bit views of a 64-bit prefix -------------------------------------------

using WineViews = WinePrefix;

// One key family of the pages each: a setting a 32-bit program wrote is what the page reads, and
// the page's change reaches 32-bit and 64-bit programs alike.
TEST_F(WineViews, SettingsAreReadFromThe32BitViewAndWrittenToBoth)
{
    struct Family {
        const char *wineKey; // as `reg` names it
        bool classes;        // below HKEY_CLASSES_ROOT, else HKEY_LOCAL_MACHINE
        const char *path;
        const char *value;
    };
    constexpr Family kFamilies[] = {
        {"HKLM\\Software\\Microsoft\\Internet Explorer\\Main\\UrlTemplate", false,
         "Software\\Microsoft\\Internet Explorer\\Main\\UrlTemplate", "1"},
        {"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Icons", false,
         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Icons", "3"},
        {"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", false,
         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "KvxRun"},
        {"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\C\\DefaultIcon", false,
         "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\DriveIcons\\C\\DefaultIcon", ""},
        {"HKCR\\lnkfile", true, "lnkfile", "IsShortcut"},
    };
    for (const Family &family : kFamilies) {
        QStringList add{"reg", "add", family.wineKey, "/d", "from32", "/f", "/reg:32"};
        add.insert(3, *family.value ? "/v" : "/ve");
        if (*family.value)
            add.insert(4, family.value);
        ASSERT_EQ(Execute("/usr/lib/wine/wine64", add), 0) << family.wineKey << errors_.toStdString();
    }
    ASSERT_NE(Execute("wineserver", {"-w"}), -1);

    for (const Family &family : kFamilies) {
        SCOPED_TRACE(family.wineKey);
        const win::HKEY root = family.classes ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
        QString shown;
        ASSERT_TRUE(Reg::GetValue(root, family.path, family.value, shown));
        EXPECT_EQ(shown, "from32");
        // A 32-bit program asks for its view itself.
        Reg::OpenKey key;
        ASSERT_EQ(win::RegOpenKeyExA(root, family.path, 0, KEY_READ | KEY_WOW64_32KEY, key.Out()), 0);
        char data[16] = {};
        win::DWORD size = sizeof data;
        ASSERT_EQ(win::RegQueryValueExA(key.Get(), family.value, nullptr, nullptr, reinterpret_cast<win::BYTE *>(data),
                                        &size),
                  0);
        EXPECT_STREQ(data, "from32");
        ASSERT_TRUE(Reg::SetString(root, family.path, family.value, "fromKorvex"));
    }
    for (const Family &family : kFamilies) {
        for (const char *view : {"/reg:32", "/reg:64"}) {
            QByteArray out;
            QStringList query{"reg", "query", family.wineKey, view};
            query.insert(3, *family.value ? "/v" : "/ve");
            if (*family.value)
                query.insert(4, family.value);
            EXPECT_EQ(Execute("/usr/lib/wine/wine64", query, &out), 0) << family.wineKey << view;
            EXPECT_TRUE(out.contains("fromKorvex")) << family.wineKey << view << ": " << out.toStdString();
        }
    }
}

// An installer of each kind registered a program: both are listed, and each is deleted from the
// view it was registered in.
TEST_F(WineViews, UninstallEntriesOfBothViewsAreListedAndDeletedFromTheirOwn)
{
    const QString uninstall = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    for (const char *view : {"32", "64"})
        ASSERT_EQ(Execute("/usr/lib/wine/wine64", {"reg", "add", uninstall + "Kvx" + view, "/v", "DisplayName", "/d",
                                                   QString("Kvx ") + view, "/f", QString("/reg:") + view}),
                  0);
    ASSERT_NE(Execute("wineserver", {"-w"}), -1);

    QList<Reg::Entry> entries;
    ASSERT_TRUE(
        Reg::ListEntries(entries, HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    const auto viewOf = [&](const QString &name) {
        const auto it =
            std::find_if(entries.begin(), entries.end(), [&](const Reg::Entry &e) { return e.name == name; });
        return it == entries.end() ? -1 : static_cast<int>(it->view);
    };
    ASSERT_EQ(viewOf("Kvx32"), static_cast<int>(Reg::View::Bit32));
    ASSERT_EQ(viewOf("Kvx64"), static_cast<int>(Reg::View::Bit64));

    const QString key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    ASSERT_TRUE(Reg::DeleteKey(HKEY_LOCAL_MACHINE, key + "Kvx32", Reg::View::Bit32));
    EXPECT_NE(Execute("/usr/lib/wine/wine64", {"reg", "query", uninstall + "Kvx32", "/reg:32"}), 0);
    EXPECT_EQ(Execute("/usr/lib/wine/wine64", {"reg", "query", uninstall + "Kvx64", "/reg:64"}), 0);
    ASSERT_NE(Execute("wineserver", {"-w"}), -1);
    ASSERT_TRUE(Reg::DeleteKey(HKEY_LOCAL_MACHINE, key + "Kvx64", Reg::View::Bit64));
    EXPECT_NE(Execute("/usr/lib/wine/wine64", {"reg", "query", uninstall + "Kvx64", "/reg:64"}), 0);
}
