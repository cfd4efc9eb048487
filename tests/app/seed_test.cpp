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
