// Korvex and real Wine on the same prefix: a prefix made by `wineboot` survives our registry code
// without loss, what we write Wine's own `reg` reads, and what Wine writes we read. Each test
// works on a copy of the prefix made once per test run (KORVEX_WINE_TEMPLATE) and skips where
// Wine is not installed. No wineserver is left running for a test's prefix: the platform refuses
// registry writes while one runs, and a server would outlive the deleted folder.
#include "Reg.h"
#include "TempMachine.h"
#include "hive.h"
#include "machine.h"
#include "win32.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace
{

constexpr int kProcessTimeoutMs = 120'000;
const char *const kHiveFiles[] = {"system.reg", "user.reg", "userdef.reg"};

struct ProcessResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// One line of `reg query` output: "    <name>    <type>    <data>".
struct QueriedValue {
    QByteArray type;
    QByteArray data;
};

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The lines of the block that starts with `[header] `, from its header to the line before the
// empty line that ends it; `first` receives the header's line index.
std::vector<std::string> Block(const std::vector<std::string> &lines, const std::string &header,
                               size_t *first = nullptr)
{
    const std::string opening = "[" + header + "] ";
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(0, opening.size(), opening) != 0)
            continue;
        size_t end = i;
        while (end < lines.size() && !lines[end].empty())
            ++end;
        if (first)
            *first = i;
        return {lines.begin() + static_cast<std::ptrdiff_t>(i), lines.begin() + static_cast<std::ptrdiff_t>(end)};
    }
    return {};
}

// A block's value lines (a wrapped hex value continues over several), without header and options.
std::vector<std::string> ValueLines(const std::vector<std::string> &block)
{
    std::vector<std::string> values;
    for (const std::string &line : block)
        if (!line.empty() && line[0] != '[' && line[0] != '#')
            values.push_back(line);
    return values;
}

struct LineCounts {
    int keys = 0;
    int values = 0;
    int links = 0;
    int classes = 0;

    bool operator==(const LineCounts &) const = default;
};

std::ostream &operator<<(std::ostream &os, const LineCounts &c)
{
    return os << "{keys " << c.keys << ", values " << c.values << ", links " << c.links << ", classes " << c.classes
              << "}";
}

LineCounts Count(const std::string &text)
{
    LineCounts counts;
    for (const std::string &line : Lines(text)) {
        if (line.empty())
            continue;
        if (line[0] == '[')
            ++counts.keys;
        else if (line[0] == '"' || line[0] == '@')
            ++counts.values;
        else if (line == "#link")
            ++counts.links;
        else if (line.compare(0, 7, "#class=") == 0)
            ++counts.classes;
    }
    return counts;
}

// reg.exe writes to a pipe in the OEM code page. Under a Russian locale that is 866, which holds
// every Cyrillic letter, so Russian text comes through `reg query` exactly; this decodes it.
QString FromCodePage866(const QByteArray &bytes)
{
    QString text;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            text += QChar(b);
        else if (b <= 0xAF)
            text += QChar(0x0410 + (b - 0x80)); // А..Я, а..п
        else if (b >= 0xE0 && b <= 0xEF)
            text += QChar(0x0440 + (b - 0xE0)); // р..я
        else if (b == 0xF0)
            text += QChar(0x0401); // Ё
        else if (b == 0xF1)
            text += QChar(0x0451); // ё
        else
            text += QChar(QChar::ReplacementCharacter);
    }
    return text;
}

std::optional<QueriedValue> FindQueried(const QByteArray &output, const QByteArray &name)
{
    const QByteArray start = "    " + name + "    ";
    for (QByteArray line : output.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.startsWith(start))
            continue;
        const QByteArray rest = line.mid(start.size());
        const qsizetype gap = rest.indexOf("    ");
        if (gap < 0)
            return QueriedValue{rest, {}};
        return QueriedValue{rest.left(gap), rest.mid(gap + 4)};
    }
    return std::nullopt;
}

class WinePrefix : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *folder = std::getenv("KORVEX_WINE_TEMPLATE");
        if (!folder || !*folder || !std::filesystem::exists(std::filesystem::path(folder) / "system.reg"))
            GTEST_SKIP() << "No Wine prefix to copy (KORVEX_WINE_TEMPLATE=" << (folder ? folder : "")
                         << "): Wine is not installed, or the test ran outside ctest's WinePrefix fixture.";
        machine_ = std::make_unique<TempMachine>(folder);
    }

    void TearDown() override
    {
        // Whatever happened, no server may outlive the test's prefix.
        if (!machine_)
            return;
        Execute("wineserver", {"-k"});
        EXPECT_TRUE(WaitUntilServerRunning(false)) << "a wineserver still runs for " << machine_->Folder();
    }

    const TempMachine &Machine() const { return *machine_; }

    // Runs a Wine program for this test's prefix, never through a shell. `locale` is the
    // process's LC_ALL, from which Wine takes its code pages.
    ProcessResult Execute(const QString &program, const QStringList &args, const QString &locale = "C.UTF-8") const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WINEPREFIX", QString::fromStdString(machine_->Folder()));
        env.insert("WINEDEBUG", "-all");
        env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
        env.insert("LC_ALL", locale);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, args);
        ProcessResult run;
        if (!process.waitForStarted(kProcessTimeoutMs) || !process.waitForFinished(kProcessTimeoutMs)) {
            run.err = (program + ": " + process.errorString()).toUtf8();
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.finished = process.exitStatus() == QProcess::NormalExit;
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    ProcessResult Reg(const QStringList &args, const QString &locale = "C.UTF-8") const
    {
        return Execute("wine", QStringList{"reg"} + args, locale);
    }

    // Waits for the server to save the registry and end; Wine's files are complete after it.
    void WaitForServer() const
    {
        const ProcessResult run = Execute("wineserver", {"-w"});
        ASSERT_TRUE(run.finished) << "wineserver -w did not end";
    }

    void RegAdd(const QString &key, const QString &name, const QString &type, const QString &data) const
    {
        const ProcessResult run = Reg({"add", key, "/v", name, "/t", type, "/d", data, "/f"});
        ASSERT_TRUE(run.finished && run.exitCode == 0)
            << "wine reg add " << key.toStdString() << " /v " << name.toStdString() << ": " << run.err.toStdString();
    }

    std::optional<QueriedValue> RegQuery(const QString &key, const QString &name,
                                         const QString &locale = "C.UTF-8") const
    {
        const ProcessResult run = Reg({"query", key, "/v", name}, locale);
        if (!run.finished || run.exitCode != 0)
            return std::nullopt;
        return FindQueried(run.out, name.toUtf8());
    }

    bool WaitUntilServerRunning(bool running) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (win::WineServerRunning() != running) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

private:
    std::unique_ptr<TempMachine> machine_;
};

win::LONG SetValue(win::HKEY root, const char *path, const char *name, win::DWORD type, const void *data,
                   win::DWORD size)
{
    win::HKEY key = nullptr;
    win::LONG rc =
        win::RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = win::RegSetValueExA(key, name, 0, type, static_cast<const win::BYTE *>(data), size);
    win::RegCloseKey(key);
    return rc;
}

std::optional<std::pair<win::DWORD, std::string>> QueryBytes(win::HKEY root, const char *path, const char *name)
{
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::array<char, 512> buffer{};
    win::DWORD size = buffer.size();
    win::DWORD type = REG_NONE;
    const win::LONG rc =
        win::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<win::BYTE *>(buffer.data()), &size);
    win::RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    return std::make_pair(type, std::string(buffer.data(), size));
}

// ---- Round trip ------------------------------------------------------------------------------

using WineRoundTrip = WinePrefix;

TEST_F(WineRoundTrip, EachHiveFileSerializesToItsOwnBytes)
{
    for (const char *file : kHiveFiles) {
        const std::string original = Machine().ReadFile(file);
        ASSERT_FALSE(original.empty()) << file;
        win::detail::Hive hive;
        ASSERT_TRUE(hive.Parse(original)) << file;
        EXPECT_FALSE(hive.Root().children.empty()) << file;
        EXPECT_TRUE(hive.Serialize() == original) << file << " changed in a parse and save without a change";
    }
}

TEST_F(WineRoundTrip, OneWriteChangesOnlyItsOwnKeyBlock)
{
    const char *const keyPath = "Control Panel\\Desktop";
    const std::string header = "Control Panel\\\\Desktop";
    const std::string userBefore = Machine().ReadFile("user.reg");
    const std::string systemBefore = Machine().ReadFile("system.reg");
    const std::string defaultBefore = Machine().ReadFile("userdef.reg");

    const win::DWORD number = 0x12ab;
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, keyPath, "KorvexRoundTrip", REG_DWORD, &number, sizeof number),
              ERROR_SUCCESS);

    const std::string userAfter = Machine().ReadFile("user.reg");
    EXPECT_TRUE(Machine().ReadFile("system.reg") == systemBefore) << "system.reg was rewritten";
    EXPECT_TRUE(Machine().ReadFile("userdef.reg") == defaultBefore) << "userdef.reg was rewritten";

    const std::vector<std::string> before = Lines(userBefore);
    const std::vector<std::string> after = Lines(userAfter);
    size_t firstBefore = 0;
    size_t firstAfter = 0;
    const std::vector<std::string> blockBefore = Block(before, header, &firstBefore);
    const std::vector<std::string> blockAfter = Block(after, header, &firstAfter);
    ASSERT_GE(blockBefore.size(), 3u) << "the prefix has no values under " << keyPath;
    ASSERT_EQ(blockAfter.size(), blockBefore.size() + 1);

    // Everything outside the block is untouched, line for line and in place.
    ASSERT_EQ(firstAfter, firstBefore);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(firstBefore), after.begin()));
    EXPECT_TRUE(std::equal(before.begin() + static_cast<std::ptrdiff_t>(firstBefore + blockBefore.size()), before.end(),
                           after.begin() + static_cast<std::ptrdiff_t>(firstAfter + blockAfter.size()), after.end()));

    // Inside it: a new header and time, the old value lines as they were, and the new value.
    EXPECT_NE(blockAfter[0], blockBefore[0]);
    ASSERT_EQ(blockAfter[1].compare(0, 6, "#time="), 0);
    EXPECT_NE(blockAfter[1], blockBefore[1]);
    char expected[64];
    std::snprintf(expected, sizeof expected, "\"KorvexRoundTrip\"=dword:%08x", number);
    std::vector<std::string> valuesAfter = ValueLines(blockAfter);
    const auto added = std::find(valuesAfter.begin(), valuesAfter.end(), expected);
    ASSERT_NE(added, valuesAfter.end()) << "no line " << expected;
    valuesAfter.erase(added);
    EXPECT_EQ(valuesAfter, ValueLines(blockBefore));

    LineCounts expectedCounts = Count(userBefore);
    ++expectedCounts.values;
    EXPECT_EQ(Count(userAfter), expectedCounts);
}

// For the same change, our value lines are the ones Wine writes: escapes, wrapping and tags.
TEST_F(WineRoundTrip, ValueLinesMatchWhatWineWritesForTheSameData)
{
    const QString text = QString::fromUtf8("Привет, \"мир\" ключ2b \\ путь\tконец");
    std::string binary;
    for (int i = 0; i < 60; ++i)
        binary.push_back(static_cast<char>(i % 3 ? (i * 37) & 0xFF : 0));
    const win::DWORD number = 0xfffe0001;
    const std::string multi("one\0two\0\0", 9);
    const std::string expand = "%SystemRoot%\\system32";

    const QString wineKey = "HKCU\\Software\\KorvexByWine";
    ASSERT_NO_FATAL_FAILURE(RegAdd(wineKey, "d", "REG_DWORD", QString::number(number)));
    ASSERT_NO_FATAL_FAILURE(RegAdd(wineKey, "s", "REG_SZ", text));
    ASSERT_NO_FATAL_FAILURE(
        RegAdd(wineKey, "b", "REG_BINARY", QString::fromLatin1(QByteArray::fromStdString(binary).toHex())));
    ASSERT_NO_FATAL_FAILURE(RegAdd(wineKey, "m", "REG_MULTI_SZ", "one\\0two"));
    ASSERT_NO_FATAL_FAILURE(RegAdd(wineKey, "x", "REG_EXPAND_SZ", QString::fromStdString(expand)));
    ASSERT_NO_FATAL_FAILURE(WaitForServer());

    // Wine has now rewritten the file from its own memory: that text round-trips too.
    const std::string wineText = Machine().ReadFile("user.reg");
    win::detail::Hive hive;
    ASSERT_TRUE(hive.Parse(wineText));
    EXPECT_TRUE(hive.Serialize() == wineText) << "user.reg as saved by Wine changed in a parse and save";

    const char *const ours = "Software\\KorvexByUs";
    const QByteArray utf8 = text.toUtf8();
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, ours, "d", REG_DWORD, &number, sizeof number), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, ours, "s", REG_SZ, utf8.constData(), utf8.size() + 1), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, ours, "b", REG_BINARY, binary.data(), binary.size()), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, ours, "m", REG_MULTI_SZ, multi.data(), multi.size()), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, ours, "x", REG_EXPAND_SZ, expand.c_str(), expand.size() + 1), ERROR_SUCCESS);

    const std::vector<std::string> lines = Lines(Machine().ReadFile("user.reg"));
    const std::vector<std::string> byWine = ValueLines(Block(lines, "Software\\\\KorvexByWine"));
    ASSERT_EQ(byWine.size(), 7u) << "Wine wrote five values, the binary over three lines";
    EXPECT_EQ(ValueLines(Block(lines, "Software\\\\KorvexByUs")), byWine);
}

// ---- What we write, Wine reads ---------------------------------------------------------------

using WineReadsOurWrites = WinePrefix;

TEST_F(WineReadsOurWrites, RegQueryShowsEveryTypeExactly)
{
    const QString key = "Software\\KorvexInterop";
    const QString deep = key + "\\Deep\\L1\\L2\\L3\\L4\\L5";
    const qint32 number = 0x12345678;
    const qint32 negative = -2;
    const QString russian = QString::fromUtf8("Привет, мир");
    const QByteArray bytes("\x00\x01\x00\xff\x7f\x00", 6);
    ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, key, "Number", number));
    ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, key, "Negative", negative));
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, key, "Russian", russian));
    ASSERT_TRUE(Reg::SetBinary(HKEY_CURRENT_USER, key, "Bytes", bytes));
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, deep, "Deep", "bottom"));
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, key, "Doomed", "soon gone"));
    ASSERT_TRUE(Reg::DeleteValue(HKEY_CURRENT_USER, key, "Doomed"));

    const QString wineKey = "HKCU\\" + key;
    for (auto [name, value] : {std::pair{"Number", number}, std::pair{"Negative", negative}}) {
        const auto queried = RegQuery(wineKey, name);
        ASSERT_TRUE(queried) << name;
        EXPECT_EQ(queried->type, "REG_DWORD") << name;
        bool ok = false;
        EXPECT_EQ(queried->data.toUInt(&ok, 16), static_cast<quint32>(value)) << name << ": " << queried->data.data();
        EXPECT_TRUE(ok) << queried->data.data();
    }

    // Under C.UTF-8 reg.exe prints Cyrillic as '?' (code page 437); a Russian locale gives 866,
    // which holds it exactly. Wine takes the locale from LC_ALL even where glibc has no such locale.
    const auto queriedRussian = RegQuery(wineKey, "Russian", "ru_RU.UTF-8");
    ASSERT_TRUE(queriedRussian);
    EXPECT_EQ(queriedRussian->type, "REG_SZ");
    EXPECT_EQ(FromCodePage866(queriedRussian->data), russian);

    const auto queriedBytes = RegQuery(wineKey, "Bytes");
    ASSERT_TRUE(queriedBytes);
    EXPECT_EQ(queriedBytes->type, "REG_BINARY");
    EXPECT_EQ(QByteArray::fromHex(queriedBytes->data), bytes) << queriedBytes->data.data();

    const auto queriedDeep = RegQuery("HKCU\\" + deep, "Deep");
    ASSERT_TRUE(queriedDeep) << "Wine does not find the new deep key";
    EXPECT_EQ(queriedDeep->data, "bottom");

    const ProcessResult doomed = Reg({"query", wineKey, "/v", "Doomed"});
    ASSERT_TRUE(doomed.finished) << doomed.err.toStdString();
    EXPECT_NE(doomed.exitCode, 0) << "Wine still sees the deleted value";
    EXPECT_FALSE(FindQueried(doomed.out, "Doomed"));
}

// A path through a link reaches the key Wine's programs use. Debian's Wine 8.0 keeps
// CurrentControlSet as an ordinary key (there is no ControlSet001); later Wine links it there.
TEST_F(WineReadsOurWrites, PathsThroughTheControlSetReachWhereWineLooks)
{
    const std::string text = "korvex";
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Update", "KorvexProbe", REG_SZ,
                       text.c_str(), text.size() + 1),
              ERROR_SUCCESS);
    const std::string system = Machine().ReadFile("system.reg");
    EXPECT_EQ(system.find("\n[SYSTEM\\\\"), std::string::npos) << "a second System key in another case";

    const auto viaCurrent = RegQuery("HKLM\\System\\CurrentControlSet\\Control\\Update", "KorvexProbe");
    ASSERT_TRUE(viaCurrent) << "Wine does not find the value under CurrentControlSet";
    EXPECT_EQ(viaCurrent->data.toStdString(), text);
    if (system.find("\n[System\\\\ControlSet001\\\\") != std::string::npos) {
        const auto viaSet = RegQuery("HKLM\\System\\ControlSet001\\Control\\Update", "KorvexProbe");
        ASSERT_TRUE(viaSet) << "Wine does not find the value under ControlSet001";
        EXPECT_EQ(viaSet->data.toStdString(), text);
    }
}

// Software\Wow6432Node\Classes is a link in every 64-bit prefix.
TEST_F(WineReadsOurWrites, AWriteThroughALinkKeyLandsInItsTarget)
{
    const std::string systemBefore = Machine().ReadFile("system.reg");
    const std::vector<std::string> linkBefore = Block(Lines(systemBefore), "Software\\\\Wow6432Node\\\\Classes");
    ASSERT_FALSE(linkBefore.empty()) << "the prefix has no Wow6432Node\\Classes link";
    ASSERT_NE(std::find(linkBefore.begin(), linkBefore.end(), "#link"), linkBefore.end());

    const std::string text = "through the link";
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes\\.korvexlink", "", REG_SZ, text.c_str(),
                       text.size() + 1),
              ERROR_SUCCESS);
    const std::vector<std::string> after = Lines(Machine().ReadFile("system.reg"));
    EXPECT_EQ(Block(after, "Software\\\\Wow6432Node\\\\Classes"), linkBefore) << "the link key itself changed";
    EXPECT_TRUE(Block(after, "Software\\\\Wow6432Node\\\\Classes\\\\.korvexlink").empty());
    EXPECT_FALSE(Block(after, "Software\\\\Classes\\\\Wow6432Node\\\\.korvexlink").empty());

    const ProcessResult run = Reg({"query", "HKLM\\Software\\Classes\\Wow6432Node\\.korvexlink", "/ve"});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << "Wine does not find the key in the link's target";
    const auto value = FindQueried(run.out, "(Default)");
    ASSERT_TRUE(value) << run.out.toStdString();
    EXPECT_EQ(value->data.toStdString(), text);
}

// ---- What Wine writes, we read ---------------------------------------------------------------

using WeReadWineWrites = WinePrefix;

TEST_F(WeReadWineWrites, RegAddValuesReadBackExactly)
{
    const QString key = "Software\\KorvexFromWine";
    const quint32 number = 0x12345678;
    const QString russian = QString::fromUtf8("Привет, мир");
    // Zero bytes inside; not last, which Reg drops as it would a string's terminator.
    const QByteArray bytes("\x00\x00\xff\x00\x01\x7f\x80", 7);
    ASSERT_NO_FATAL_FAILURE(RegAdd("HKCU\\" + key, "Number", "REG_DWORD", QString::number(number)));
    ASSERT_NO_FATAL_FAILURE(RegAdd("HKCU\\" + key, "Russian", "REG_SZ", russian));
    ASSERT_NO_FATAL_FAILURE(RegAdd("HKCU\\" + key, "Bytes", "REG_BINARY", QString::fromLatin1(bytes.toHex())));
    ASSERT_NO_FATAL_FAILURE(WaitForServer());

    // Reg's text forms: a DWORD as the decimal text of its lowest byte, bytes as Latin-1.
    QString out;
    ASSERT_TRUE(Reg::GetValue(HKEY_CURRENT_USER, key, "Number", out));
    EXPECT_EQ(out, QString::number(number & 0xFF));
    ASSERT_TRUE(Reg::GetValue(HKEY_CURRENT_USER, key, "Russian", out));
    EXPECT_EQ(out, russian);
    ASSERT_TRUE(Reg::GetValue(HKEY_CURRENT_USER, key, "Bytes", out));
    EXPECT_EQ(out, QString::fromLatin1(bytes));

    // The exact bytes behind them.
    const std::string path = key.toStdString();
    const auto dword = QueryBytes(HKEY_CURRENT_USER, path.c_str(), "Number");
    ASSERT_TRUE(dword);
    EXPECT_EQ(dword->first, static_cast<win::DWORD>(REG_DWORD));
    win::DWORD stored = 0;
    ASSERT_EQ(dword->second.size(), sizeof stored);
    std::memcpy(&stored, dword->second.data(), sizeof stored);
    EXPECT_EQ(stored, number);

    const auto string = QueryBytes(HKEY_CURRENT_USER, path.c_str(), "Russian");
    ASSERT_TRUE(string);
    EXPECT_EQ(string->first, static_cast<win::DWORD>(REG_SZ));
    EXPECT_EQ(string->second, russian.toStdString() + '\0');

    const auto binary = QueryBytes(HKEY_CURRENT_USER, path.c_str(), "Bytes");
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->first, static_cast<win::DWORD>(REG_BINARY));
    EXPECT_EQ(binary->second, bytes.toStdString());
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
        const ProcessResult run = Execute("wine", {"attrib", path});
        const QByteArray line = run.out.left(run.out.indexOf("C:\\"));
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
        {"C:\\korvex\\ours", FILE_ATTRIBUTE_HIDDEN, "AH"},
        {"C:\\korvex\\ours", 0, "A"},
        {"C:\\korvex\\folder", FILE_ATTRIBUTE_SYSTEM, "S"},
    };
    for (const auto &row : ours) {
        ASSERT_TRUE(win::SetFileAttributesA(row.path, row.set)) << row.path;
        EXPECT_EQ(letters(row.path), row.shown) << row.path << " " << row.set;
    }
    // One switch a call: Wine 8.0's attrib applies only one of several.
    for (const char *add : {"+h", "+s", "+r"})
        ASSERT_TRUE(Execute("wine", {"attrib", add, "C:\\korvex\\theirs"}).finished) << add;
    EXPECT_EQ(win::GetFileAttributesA("C:\\korvex\\theirs"), 0x27u);
}

// ---- A running wineserver ----------------------------------------------------------------------

using RunningWineServer = WinePrefix;

TEST_F(RunningWineServer, WritesAreRefusedUntilItEnds)
{
    const std::string userBefore = Machine().ReadFile("user.reg");
    ASSERT_FALSE(win::WineServerRunning());
    const ProcessResult start = Execute("wineserver", {"-p"});
    ASSERT_TRUE(start.finished && start.exitCode == 0) << start.err.toStdString();
    ASSERT_TRUE(WaitUntilServerRunning(true)) << "the persistent server was not detected";

    const win::DWORD number = 1;
    EXPECT_EQ(SetValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "KorvexBlocked", REG_DWORD, &number, 4),
              ERROR_SHARING_VIOLATION);
    EXPECT_EQ(SetValue(HKEY_CURRENT_USER, "Software\\KorvexBlocked\\New", "v", REG_DWORD, &number, 4),
              ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(Machine().ReadFile("user.reg") == userBefore) << "user.reg changed while the server ran";
    // Reading goes on meanwhile.
    QString out;
    EXPECT_TRUE(Reg::GetValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "DragFullWindows", out));

    const ProcessResult stop = Execute("wineserver", {"-k"});
    ASSERT_TRUE(stop.finished) << "wineserver -k did not end";
    ASSERT_TRUE(WaitUntilServerRunning(false)) << "the server is still detected after wineserver -k";
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "KorvexBlocked", REG_DWORD, &number, 4),
              ERROR_SUCCESS);
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
