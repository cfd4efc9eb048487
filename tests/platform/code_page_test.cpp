// Text files Windows programs read, in the machine's ANSI code page: the conversions and the
// locale rule, the profile and text-line functions on a machine folder, and a Windows program
// run by Wine reading what we wrote (its GetACP and GetPrivateProfileStringW as the oracle), in
// the C and the Russian locale.
#include "ScopedEnv.h"
#include "TempMachine.h"
#include "WinePrograms.h"
#include "code_page.h"
#include "files.h"
#include "machine.h"
#include "win32.h"

#include <QProcess>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace
{

using namespace std::string_literals;
using win::DWORD;

constexpr auto kCyrillic = "\xC8\xEA\xEE\xED\xEA\xE8"; // "Иконки" in code page 1251

struct Conversion {
    DWORD codePage;
    const char *utf8;
    const char *bytes; // nullptr: the code page cannot hold the text
};
constexpr Conversion kConversions[] = {
    {1252, "Café", "Caf\xE9"},          {1251, "Иконки", kCyrillic}, {932, "日本", "\x93\xFA\x96\x7B"},
    {1252, "\u0081\u009D", "\x81\x9D"}, // undefined bytes keep their number both ways
    {1251, "\u0098", "\x98"},           {1252, "Иконки", nullptr},   {1251, "é", nullptr},
    {1252, "\u0080", nullptr}, // 0x80 is the euro sign here, not a place for U+0080
};

TEST(CodePage, TextGoesThereAndBackOrIsRefused)
{
    for (const Conversion &c : kConversions) {
        const auto bytes = win::detail::Utf8ToCodePage(c.utf8, c.codePage);
        if (!c.bytes) {
            EXPECT_FALSE(bytes) << c.codePage << " " << c.utf8 << " became " << bytes.value_or("");
            continue;
        }
        EXPECT_EQ(bytes.value_or("(refused)"), c.bytes) << c.codePage << " " << c.utf8;
        EXPECT_EQ(win::detail::CodePageToUtf8(c.bytes, c.codePage), c.utf8) << c.codePage;
    }
}

TEST(CodePage, TheLocaleGivesWinesCodePage)
{
    constexpr std::pair<const char *, DWORD> kLocales[] = {
        {"C", 1252},          {"de_DE@euro", 1252}, {"ru_RU.UTF-8", 1251},  {"uk_UA", 1251},
        {"ja_JP.UTF-8", 932}, {"zh_TW.UTF-8", 950}, {"zh_CN.GB18030", 936},
    };
    for (const auto &[locale, codePage] : kLocales)
        EXPECT_EQ(win::detail::WineAnsiCodePage(locale), codePage) << locale;
}

// ---- The profile and text-line functions on a machine folder ---------------------------------

constexpr auto kIni = "C:\\korvex\\Desktop.ini";
constexpr auto kIniFile = "drive_c/korvex/Desktop.ini";

class MachineText : public ::testing::Test
{
protected:
    void SetUp() override { std::filesystem::create_directories(machine_.PathOf("drive_c/korvex")); }

    std::string Read(const char *key) const
    {
        char buffer[256] = {};
        win::GetPrivateProfileStringA("s", key, "(default)", buffer, sizeof buffer, kIni);
        return buffer;
    }

    TempMachine machine_;
    ScopedEnv env_;
};

struct ProfileCase {
    const char *locale;
    std::string before;
    const char *value;                // set as key "k"; nullptr: only read
    std::optional<std::string> after; // the file's bytes; nothing: refused and unchanged
    const char *read;                 // what "k" reads as afterwards
};

// Both ways of writing a profile change only what they must, in the machine's code page.
TEST_F(MachineText, ProfilesAreReadAndWrittenInTheCodePageAsWindowsReadsThem)
{
    const std::string utf16 = "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\x44\x04\r\0\n\0"s;
    const ProfileCase rows[] = {
        // Lines end at a lone CR; a line without "=" is the key a write replaces and reads as missing.
        {"C", "[s]\rj=a\rk\r", nullptr, "[s]\rj=a\rk\r", "(default)"},
        {"C", "[s]\rk\rj=a\r", "new", "[s]\rk=new\rj=a\r", "new"},
        {"C", "[s]\r\nk=Caf\xE9\r\n", nullptr, "[s]\r\nk=Caf\xE9\r\n", "Café"},
        {"ru_RU.UTF-8", "", "Иконки", "[s]\r\nk=\xC8\xEA\xEE\xED\xEA\xE8\r\n", "Иконки"},
        // An earlier UTF-8 file reads as such and is written back in the code page.
        {"C", "[s]\r\nj=Café\r\n", "x", "[s]\r\nj=Caf\xE9\r\nk=x\r\n", "x"},
        // Undefined bytes of lines left alone stay as they were.
        {"C", "[s]\r\nj=\x81\r\n", "x", "[s]\r\nj=\x81\r\nk=x\r\n", "x"},
        {"C", "[s]\r\nk=old\r\n", "Иконки", std::nullopt, "old"},
        {"ru_RU.UTF-8", "[s]\r\nj=Café\r\n", "x", std::nullopt, "(default)"},
        // Comments, blanks, line ends, a missing last end and byte order marks stay; a key goes
        // before the blank line that ends its section.
        {"C", "; top\r\n\r\n[s]  \r\n ; c=1\r\n k = old \r\n\r\n[t]\r\n", "new",
         "; top\r\n\r\n[s]  \r\n ; c=1\r\nk=new\r\n\r\n[t]\r\n", "new"},
        {"C", "[s]\r\na=1\r\n\r\n[t]\r\n", "v", "[s]\r\na=1\r\nk=v\r\n\r\n[t]\r\n", "v"},
        {"C", "[s]\na=1\n", "v", "[s]\na=1\nk=v\n", "v"},
        {"C", "[s]\r\na=1", "v", "[s]\r\na=1\r\nk=v\r\n", "v"},
        {"C", "[t]\r\nx=1", "v", "[t]\r\nx=1\r\n\r\n[s]\r\nk=v\r\n", "v"},
        {"C", "\xEF\xBB\xBF[s]\r\n", "v", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "v"},
        {"C", utf16, "\xD1\x8F", "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\x4F\x04\r\0\n\0"s, "\xD1\x8F"},
        {"C", "[s]\r\nk = v \r\n", "  v", "[s]\r\nk = v \r\n", "v"}, // the same value: nothing written
    };
    const std::function<bool(const char *)> writers[] = {
        [](const char *value) { return win::WritePrivateProfileStringA("s", "k", value, kIni) != 0; },
        [](const char *value) {
            return win::SetProfileStrings(kIni, "s", {{"k", value}});
        },
    };
    for (const ProfileCase &c : rows) {
        for (const auto &write : writers) {
            env_.Set("LC_ALL", c.locale);
            machine_.WriteFile(kIniFile, c.before);
            if (c.value) {
                win::SetLastError(0);
                EXPECT_EQ(write(c.value), c.after.has_value()) << c.before;
                if (!c.after) {
                    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NO_UNICODE_TRANSLATION}) << c.before;
                }
            }
            EXPECT_EQ(machine_.ReadFile(kIniFile), c.after.value_or(c.before)) << c.before;
            EXPECT_EQ(Read("k"), c.read) << c.before;
        }
    }
}

TEST_F(MachineText, TextLinesAreTheCodePagesAndAnEarlierUtf8FileStillReads)
{
    constexpr auto kList = "C:\\korvex\\list.txt";
    const std::vector<std::string> lines{"X: C:\\Иконки"};
    env_.Set("LC_ALL", "ru_RU.UTF-8");
    ASSERT_TRUE(win::WriteTextLines(kList, lines));
    EXPECT_EQ(machine_.ReadFile("drive_c/korvex/list.txt"), std::string("X: C:\\") + kCyrillic + "\r\n");
    std::vector<std::string> read;
    ASSERT_TRUE(win::ReadTextLines(kList, read));
    EXPECT_EQ(read, lines);
    env_.Set("LC_ALL", "C");
    EXPECT_FALSE(win::WriteTextLines(kList, {"Y: C:\\Иконки"}));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NO_UNICODE_TRANSLATION});
    machine_.WriteFile("drive_c/korvex/list.txt", "X: C:\\Иконки\r\n");
    ASSERT_TRUE(win::ReadTextLines(kList, read));
    EXPECT_EQ(read, lines);
}

// ---- What a Windows program of a Wine prefix reads ------------------------------------------

class WineReadsOurText : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_WINE_PREFIX();
        if (std::string(ANSI_ORACLE).empty())
            GTEST_SKIP() << "x86_64-w64-mingw32-g++ is not installed: no Windows program to read the files.";
        machine_ = std::make_unique<WineMachine>();
        // Debian ships no compiled Russian locale by default: it is made for the test with localedef
        // from the `locales` package's sources, in a folder of its own that LOCPATH names.
        const std::string russian = machine_->PathOf("locales/ru_RU.UTF-8");
        std::filesystem::create_directories(machine_->PathOf("locales"));
        QProcess localedef;
        localedef.start("localedef", {"-i", "ru_RU", "-f", "UTF-8", QString::fromStdString(russian)});
        ASSERT_TRUE(localedef.waitForFinished(120'000) && localedef.exitCode() == 0 && std::filesystem::exists(russian))
            << "localedef could not make ru_RU.UTF-8 (is the locales package installed?)";
        env_.Set("LOCPATH", machine_->PathOf("locales"));
    }

    ScopedEnv env_;
    std::unique_ptr<WineMachine> machine_;
};

TEST_F(WineReadsOurText, DesktopIniReadsAsWeMeantItInTheCAndTheRussianLocale)
{
    struct Row {
        const char *locale;
        const char *iconFile;
    };
    constexpr Row kRows[] = {{"C", "C:\\Café\\disk.ico"}, {"ru_RU.UTF-8", "C:\\Иконки\\disk.ico"}};
    const QStringList keys{"IconFile", "IconIndex", "Bare", "Spaced"};
    for (const Row &row : kRows) {
        ScopedEnv env;
        env.Set("LC_ALL", row.locale);
        // Lone CRs end lines, and a key without "=" stands where the new value goes.
        machine_->WriteFile(kIniFile, "[.ShellClassInfo]\rIconFile\rBare\r  Spaced = v \r[Other]\nX=1\n");
        ASSERT_TRUE(win::SetProfileStrings(kIni, ".ShellClassInfo", {{"IconFile", row.iconFile}, {"IconIndex", "0"}}));
        QStringList ours{QString::number(win::MachineAnsiCodePage())};
        for (const QString &key : keys) {
            char buffer[256] = {};
            win::GetPrivateProfileStringA(".ShellClassInfo", key.toUtf8().constData(), "(missing)", buffer,
                                          sizeof buffer, kIni);
            ours << QString::fromUtf8(buffer);
        }
        EXPECT_EQ(ours.at(1).toStdString(), row.iconFile);
        // The oracle prints the code page and the values of `keys` in [.ShellClassInfo].
        const WineRun oracle =
            machine_->Run(kWine64, QStringList{ANSI_ORACLE, kIni, ".ShellClassInfo"} + keys, row.locale);
        EXPECT_EQ(oracle.exitCode, 0);
        EXPECT_EQ(
            QString::fromUtf8(oracle.output).remove(QLatin1Char('\r')).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
            ours)
            << row.locale;
        machine_->Run(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    }
}

} // namespace
