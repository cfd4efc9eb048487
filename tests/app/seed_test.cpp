// The committed resources: the registry of a new machine folder, written as Wine writes it and
// read back as a Windows 98 machine, and the pictures of the tree and the two icons.
#include "TempMachine.h"
#include "machine.h"
#include "unix/hive.h"
#include "win32.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QSet>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace
{

using win::detail::Hive;
using win::detail::Key;
using win::detail::Value;

struct SeedFile {
    const char *name;
    const char *header; // everything before the first key: Wine's header and the architecture
};

const SeedFile kSeedFiles[] = {
    {"system.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64"},
    {"user.reg",
     "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64"},
    {"userdef.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\.Default\n\n#arch=win64"},
};

void PrintTo(const SeedFile &file, std::ostream *out)
{
    *out << file.name;
}

std::string SeedText(const char *name)
{
    QFile file(QStringLiteral(":/seed/") + QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

// Copies `source` into `target` through the writer's own operations, children and values in
// reverse order so that the writer has to sort them itself.
void Rebuild(const Hive &from, const Key &source, Hive &to, Key &target)
{
    for (auto value = source.values.rbegin(); value != source.values.rend(); ++value)
        to.SetValue(target, value->name, from.Read(*value), source.modified);
    for (auto child = source.children.rbegin(); child != source.children.rend(); ++child) {
        Key &made = to.AddChild(target, (*child)->name, (*child)->modified);
        Rebuild(from, **child, to, made);
    }
    target.isLink = source.isLink;
    Hive::Touch(target, source.modified);
}

// The file's key blocks, each from its "[" line up to the line before the next blank line.
std::vector<std::string> Blocks(const std::string &text)
{
    std::vector<std::string> blocks;
    size_t at = 0;
    while ((at = text.find("\n[", at)) != std::string::npos) {
        const size_t end = text.find("\n\n", at + 1);
        blocks.push_back(text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1));
        at += 2;
    }
    return blocks;
}

class SeedFormat : public ::testing::TestWithParam<SeedFile>
{
};

TEST_P(SeedFormat, ParsesAndSavesUnchanged)
{
    const std::string text = SeedText(GetParam().name);
    ASSERT_FALSE(text.empty()) << GetParam().name << " is not in the resources";
    Hive hive;
    ASSERT_TRUE(hive.Parse(text));
    EXPECT_EQ(hive.Serialize(), text);
    EXPECT_EQ(hive.Preamble(), GetParam().header) << "a header other than Wine's";
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find("\n\n\n"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST_P(SeedFormat, IsWhatTheWriterMakesOfTheSameKeys)
{
    // Sorted siblings and values, blocks only where Wine writes them, values in Wine's spelling
    // and hex wrapping: writing the same keys and values afresh gives the same bytes.
    const std::string text = SeedText(GetParam().name);
    Hive parsed;
    ASSERT_TRUE(parsed.Parse(text));
    Hive fresh;
    ASSERT_TRUE(fresh.Parse(std::string(parsed.Preamble()) + "\n"));
    Rebuild(parsed, parsed.Root(), fresh, fresh.Root());
    EXPECT_EQ(fresh.Serialize(), text);
}

TEST_P(SeedFormat, EveryKeyStatesOneTimeTwice)
{
    // "[path] N" gives Unix seconds, "#time=" the same instant as a FILETIME; Wine believes the
    // second, so a mismatch would show one time here and another after Wine saves the file.
    const std::string text = SeedText(GetParam().name);
    const std::vector<std::string> blocks = Blocks(text);
    ASSERT_FALSE(blocks.empty());
    for (const std::string &block : blocks) {
        const size_t close = block.find("] ");
        const size_t newline = block.find('\n');
        ASSERT_NE(close, std::string::npos) << block;
        ASSERT_NE(newline, std::string::npos) << block;
        const unsigned long long seconds = std::stoull(block.substr(close + 2, newline - close - 2));
        ASSERT_EQ(block.compare(newline + 1, 6, "#time="), 0) << block;
        const unsigned long long ticks = std::stoull(block.substr(newline + 7), nullptr, 16);
        EXPECT_EQ(ticks, seconds * 10'000'000ull + 116'444'736'000'000'000ull) << block;
    }
}

INSTANTIATE_TEST_SUITE_P(Seed, SeedFormat, ::testing::ValuesIn(kSeedFiles), [](const auto &test) {
    const std::string name = test.param.name;
    return name.substr(0, name.find('.'));
});

// ---- The seeded machine, read through the platform ---------------------------------------------

struct Stored {
    win::DWORD type = REG_NONE;
    std::string data;
};

std::optional<Stored> Query(win::HKEY root, const char *path, const char *name)
{
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::string data(1024, '\0');
    Stored stored;
    auto size = static_cast<win::DWORD>(data.size());
    const win::LONG rc =
        win::RegQueryValueExA(key, name, nullptr, &stored.type, reinterpret_cast<win::BYTE *>(data.data()), &size);
    win::RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    // Strings come with their terminator; compare them without it.
    if ((stored.type == REG_SZ || stored.type == REG_EXPAND_SZ) && !data.empty() && data.back() == '\0')
        data.pop_back();
    stored.data = data;
    return stored;
}

bool KeyExists(win::HKEY root, const char *path)
{
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    win::RegCloseKey(key);
    return true;
}

class SeededMachine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const SeedFile &file : kSeedFiles) {
            const std::string text = SeedText(file.name);
            ASSERT_FALSE(text.empty());
            machine_.WriteFile(file.name, text);
        }
        win::ResetMachine();
        handlesBefore_ = win::OpenHandleCount();
    }
    void TearDown() override { EXPECT_EQ(win::OpenHandleCount(), handlesBefore_) << "a key was left open"; }

    TempMachine machine_;
    std::size_t handlesBefore_ = 0;
};

TEST_F(SeededMachine, ReportsWindows98)
{
    EXPECT_TRUE(win::DamagedRegistryFiles().empty());
    EXPECT_EQ(win::ReportedWindowsVersion(), "win98");
    EXPECT_TRUE(win::IsWindows9xMachine());
    win::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, 1u);
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwMinorVersion, 10u);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion"))
        << "NT keys would make the machine look like Windows NT to a Wine that ignores the version value";
}

TEST_F(SeededMachine, ReadsThroughTheControlSetLink)
{
    const auto name =
        Query(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName");
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(name->type, static_cast<win::DWORD>(REG_SZ));
    EXPECT_EQ(name->data, "KORVEX98");
    char buffer[32] = {};
    win::DWORD size = sizeof buffer;
    ASSERT_TRUE(win::GetComputerNameA(buffer, &size));
    EXPECT_EQ(std::string(buffer, size), "KORVEX98");

    const auto update = Query(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Update", "UpdateMode");
    ASSERT_TRUE(update.has_value());
    EXPECT_EQ(update->type, static_cast<win::DWORD>(REG_BINARY));
    EXPECT_EQ(update->data, std::string(1, '\x01'));
}

struct StockValue {
    win::HKEY root;
    const char *path;
    const char *name;
    win::DWORD type;
    std::string data;
};

TEST_F(SeededMachine, HoldsTheStockValuesThePagesRead)
{
    const StockValue values[] = {
        {HKEY_CURRENT_USER, "Software\\Wine", "Version", REG_SZ, "win98"},
        {HKEY_CURRENT_USER, "Control Panel\\International", "s1159", REG_SZ, "AM"},
        {HKEY_CURRENT_USER, "Control Panel\\International", "s2359", REG_SZ, "PM"},
        {HKEY_CURRENT_USER, "Control Panel\\International", "sTimeFormat", REG_SZ, "h:mm:ss tt"},
        {HKEY_USERS, ".DEFAULT\\Control Panel\\International", "s1159", REG_SZ, "AM"},
        {HKEY_USERS, ".DEFAULT\\Control Panel\\International", "sTimeFormat", REG_SZ, "h:mm:ss tt"},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", "NoDriveTypeAutoRun",
         REG_BINARY, std::string("\x95\0\0\0", 4)},
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "VersionNumber", REG_SZ, "4.10.2222"},
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "SystemRoot", REG_SZ, "C:\\windows"},
        {HKEY_CLASSES_ROOT, "lnkfile", "IsShortCut", REG_SZ, ""},
        {HKEY_CLASSES_ROOT, "piffile", "IsShortCut", REG_SZ, ""},
        {HKEY_CLASSES_ROOT, ".txt", "", REG_SZ, "txtfile"},
        {HKEY_CLASSES_ROOT, "txtfile", "", REG_SZ, "Text Document"},
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "Version", REG_SZ, "5.00.2614.3500"},
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\Main\\UrlTemplate", "1", REG_SZ, "www.%s.com"},
        {HKEY_LOCAL_MACHINE, "Enum\\Root\\Net\\0000", "DeviceDesc", REG_SZ, "Dial-Up Adapter"},
    };
    for (const StockValue &expected : values) {
        SCOPED_TRACE(std::string(expected.path) + " : " + expected.name);
        const auto stored = Query(expected.root, expected.path, expected.name);
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->type, expected.type);
        EXPECT_EQ(stored->data, expected.data);
    }
    const auto icon = Query(HKEY_CLASSES_ROOT, "txtfile\\DefaultIcon", "");
    ASSERT_TRUE(icon.has_value());
    EXPECT_NE(icon->data.find(".dll,"), std::string::npos) << icon->data;
}

TEST_F(SeededMachine, HasTheKeysThePagesListAndNoSwitchedOnPolicy)
{
    for (const char *path : {"Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon",
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                             "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Icons",
                             "System\\CurrentControlSet\\Services\\VxD\\MSTCP",
                             "System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000"})
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path)) << path;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "*"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Folder"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"));
    EXPECT_TRUE(KeyExists(HKEY_USERS, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"));

    // What a new Windows 98 does not have: a logon message, a browser title, a shortcut text,
    // a log-on helper, a policy switched on.
    EXPECT_FALSE(
        Query(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon", "LegalNoticeCaption"));
    EXPECT_FALSE(Query(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\Main", "Window Title"));
    EXPECT_FALSE(Query(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", "link"));
    EXPECT_FALSE(Query(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tolvane"));
    EXPECT_FALSE(Query(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\MSTCP", "DefaultTTL"));
    for (const char *policy : {"NoDesktop", "NoNetHood", "NoSaveSettings", "NoRun", "NoClose"})
        EXPECT_FALSE(
            Query(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", policy))
            << policy;
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"));
}

TEST_F(SeededMachine, ListsOneNetworkAdapter)
{
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\\Root\\Net", 0, KEY_ENUMERATE_SUB_KEYS, &key),
              ERROR_SUCCESS);
    char name[256] = {};
    win::DWORD length = sizeof name;
    EXPECT_EQ(win::RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::string(name, length), "0000");
    length = sizeof name;
    EXPECT_EQ(win::RegEnumKeyExA(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    win::RegCloseKey(key);
}

TEST_F(SeededMachine, AWriteThroughTheLinkLandsInControlSet001AndKeepsTheRest)
{
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\MSTCP", 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char ttl[] = "64";
    EXPECT_EQ(win::RegSetValueExA(key, "DefaultTTL", 0, REG_SZ, reinterpret_cast<const win::BYTE *>(ttl), sizeof ttl),
              ERROR_SUCCESS);
    win::RegCloseKey(key);

    const std::string before = SeedText("system.reg");
    const std::string after = machine_.ReadFile("system.reg");
    const std::vector<std::string> old = Blocks(before);
    const std::vector<std::string> now = Blocks(after);
    ASSERT_EQ(now.size(), old.size()) << "the write made a key of its own instead of following the link";
    for (size_t i = 0; i < old.size(); ++i) {
        if (old[i].rfind("[System\\\\ControlSet001\\\\Services\\\\VxD\\\\MSTCP]", 0) == 0)
            EXPECT_NE(now[i].find("\"DefaultTTL\"=\"64\""), std::string::npos) << now[i];
        else
            EXPECT_EQ(now[i], old[i]);
    }
}

// ---- Pictures ----------------------------------------------------------------------------------

const char *const kTreeKeys[] = {"imgWin",   "imgStart", "ControlPanel", "imgIE",     "RootDir", "imgExpl",
                                 "imgHlp",   "imgDesk",  "imgFldIco",    "imgDrvIco", "imgAdm",  "imgMenu",
                                 "imgClock", "imgTel",   "runSubst",     "Subst",     "FIcon",   "Uninst",
                                 "imgShort", "imgIcons", "imgSF",        "imgSE"};

// Counts of transparent and opaque pixels; fails on half-transparent ones and on opaque pixels of
// the image list's mask colour, which the classic list would punch out.
void CheckPixels(const QImage &image, const QString &what)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int transparent = 0, opaque = 0, maskColoured = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            if (qAlpha(p) == 0) {
                ++transparent;
            } else {
                ++opaque;
                if ((p & 0xFFFFFFu) == 0xC0C0C0u)
                    ++maskColoured;
            }
        }
    }
    const int area = argb.width() * argb.height();
    EXPECT_GT(transparent, 0) << what.toStdString() << " has no transparent background";
    EXPECT_GT(opaque, area / 8) << what.toStdString() << " is nearly empty";
    EXPECT_EQ(maskColoured, 0) << what.toStdString() << " paints the mask colour";
    EXPECT_EQ(qAlpha(argb.pixel(0, argb.height() - 1)) == 0 || qAlpha(argb.pixel(argb.width() - 1, 0)) == 0 ||
                  qAlpha(argb.pixel(0, 0)) == 0 || qAlpha(argb.pixel(argb.width() - 1, argb.height() - 1)) == 0,
              true)
        << what.toStdString() << " fills all four corners";
}

TEST(TreeImages, EveryKeyHasItsOwnSixteenPixelPicture)
{
    QStringList expected;
    for (const char *key : kTreeKeys)
        expected << QString::fromLatin1(key);
    QStringList present = QDir(QStringLiteral(":/tree")).entryList();
    present.sort();
    QStringList sortedExpected = expected;
    sortedExpected.sort();
    EXPECT_EQ(present, sortedExpected);

    QSet<QByteArray> pictures;
    for (const QString &key : expected) {
        SCOPED_TRACE(key.toStdString());
        const QImage image(QStringLiteral(":/tree/") + key);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_TRUE(image.hasAlphaChannel());
        CheckPixels(image, key);
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        pictures.insert(QByteArray(reinterpret_cast<const char *>(argb.constBits()), argb.sizeInBytes()));
        const QPixmap pixmap(QStringLiteral(":/tree/") + key);
        EXPECT_EQ(pixmap.size(), QSize(16, 16));
    }
    EXPECT_EQ(pictures.size(), static_cast<qsizetype>(expected.size())) << "two keys show the same picture";
}

TEST(ResourceIcons, FolderAndDefaultHoldSixteenAndThirtyTwoPixelImages)
{
    QSet<QByteArray> smallImages;
    for (const QString &name : {QStringLiteral("FOLDER"), QStringLiteral("DEFAULT")}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = QStringLiteral(":/icons/") + name;
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), QByteArray("ico"));
        ASSERT_EQ(reader.imageCount(), 2);
        QList<int> sizes;
        for (int i = 0; i < reader.imageCount(); ++i) {
            ASSERT_TRUE(reader.jumpToImage(i));
            const QImage image = reader.read();
            ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
            EXPECT_EQ(image.width(), image.height());
            sizes << image.width();
            CheckPixels(image, name + QStringLiteral(" %1").arg(image.width()));
            if (image.width() == 16) {
                const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
                smallImages.insert(QByteArray(reinterpret_cast<const char *>(argb.constBits()), argb.sizeInBytes()));
            }
        }
        std::sort(sizes.begin(), sizes.end());
        EXPECT_EQ(sizes, QList<int>({16, 32}));

        const QIcon icon(path);
        ASSERT_FALSE(icon.isNull());
        const QList<QSize> available = icon.availableSizes();
        EXPECT_TRUE(available.contains(QSize(16, 16)));
        EXPECT_TRUE(available.contains(QSize(32, 32)));
        EXPECT_EQ(icon.pixmap(QSize(16, 16)).size(), QSize(16, 16));
    }
    EXPECT_EQ(smallImages.size(), 2) << "FOLDER and DEFAULT look the same";
}

} // namespace
