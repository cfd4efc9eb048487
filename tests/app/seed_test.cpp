// The committed resources: the registry of a new machine folder, written as Wine writes it and
// read back as a Windows 98 machine, and the pictures of the tree and the two icons.
#include "StoredValue.h"
#include "TempMachine.h"
#include "frmTR.h"
#include "machine.h"
#include "unix/hive.h"
#include "win32.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

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

TEST(Seed, EachFileIsWhatTheWriterMakesOfTheSameKeys)
{
    // Wine's header, sorted siblings and values, blocks only where Wine writes them, values in
    // Wine's spelling and hex wrapping: saving the parsed file, or writing the same keys and values
    // afresh, gives the same bytes.
    for (const SeedFile &file : kSeedFiles) {
        SCOPED_TRACE(file.name);
        const std::string text = SeedText(file.name);
        ASSERT_FALSE(text.empty()) << "not in the resources";
        Hive parsed;
        ASSERT_TRUE(parsed.Parse(text));
        EXPECT_EQ(parsed.Serialize(), text);
        EXPECT_EQ(parsed.Preamble(), file.header) << "a header other than Wine's";
        Hive fresh;
        ASSERT_TRUE(fresh.Parse(std::string(parsed.Preamble()) + "\n"));
        Rebuild(parsed, parsed.Root(), fresh, fresh.Root());
        EXPECT_EQ(fresh.Serialize(), text);
    }
}

// ---- The seeded machine, read through the platform ---------------------------------------------

TEST(Seed, MachineReportsWindows98AndReadsThroughTheControlSetLink)
{
    TempMachine machine;
    for (const SeedFile &file : kSeedFiles)
        machine.WriteFile(file.name, SeedText(file.name));
    win::ResetMachine();
    const std::size_t handlesBefore = win::OpenHandleCount();

    EXPECT_TRUE(win::DamagedRegistryFiles().empty());
    EXPECT_EQ(win::ReportedWindowsVersion(), "win98");
    win::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_EQ(std::tuple(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion), std::tuple(1u, 4u, 10u));
    win::HKEY nt = nullptr;
    EXPECT_NE(
        win::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ, &nt),
        ERROR_SUCCESS)
        << "NT keys would make the machine look like Windows NT to a Wine that ignores the version value";

    char name[32] = {};
    win::DWORD size = sizeof name;
    ASSERT_TRUE(win::GetComputerNameA(name, &size));
    EXPECT_EQ(std::string(name, size), "KORVEX98");
    const auto update =
        ReadStoredValue(HKEY_LOCAL_MACHINE, QStringLiteral("SYSTEM\\CurrentControlSet\\Control\\Update"), "UpdateMode");
    ASSERT_TRUE(update.has_value());
    EXPECT_EQ(update->type, static_cast<win::DWORD>(REG_BINARY));
    EXPECT_EQ(update->data, QByteArray(1, '\x01'));
    EXPECT_EQ(win::OpenHandleCount(), handlesBefore) << "a key was left open";
}

// ---- Pictures ----------------------------------------------------------------------------------

// Wants a transparent background, a visible picture and no opaque pixel of the image list's mask
// colour, which the classic list would punch out; gives the pixels, to tell pictures apart.
QByteArray CheckedPixels(const QImage &image, const QString &what)
{
    SCOPED_TRACE(what.toStdString());
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int transparent = 0, opaque = 0, maskColoured = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            (qAlpha(p) == 0 ? transparent : opaque) += 1;
            maskColoured += qAlpha(p) != 0 && (p & 0xFFFFFFu) == 0xC0C0C0u;
        }
    }
    EXPECT_GT(transparent, 0) << "no transparent background";
    EXPECT_GT(opaque, argb.width() * argb.height() / 8) << "nearly empty";
    EXPECT_EQ(maskColoured, 0) << "paints the mask colour";
    return {reinterpret_cast<const char *>(argb.constBits()), static_cast<qsizetype>(argb.sizeInBytes())};
}

// Every tree node shows a 16x16 picture of its own; the FOLDER and DEFAULT icons hold a 16 and a
// 32 pixel image each, and their small images differ.
TEST(Pictures, TreeNodesAndResourceIconsHaveCleanPicturesOfTheirOwn)
{
    const QStringList present = QDir(QStringLiteral(":/tree")).entryList();
    for (const TreeNode &node : frmTR::Nodes())
        EXPECT_TRUE(present.contains(QLatin1String(node.imageKey))) << node.key << " has no picture";
    QSet<QByteArray> pictures;
    for (const QString &key : present) {
        const QImage image(QStringLiteral(":/tree/") + key);
        ASSERT_EQ(image.size(), QSize(16, 16)) << key.toStdString();
        EXPECT_TRUE(image.hasAlphaChannel()) << key.toStdString();
        pictures.insert(CheckedPixels(image, key));
    }
    EXPECT_EQ(pictures.size(), present.size()) << "two keys show the same picture";

    QSet<QByteArray> smallIcons;
    for (const QString &name : {QStringLiteral("FOLDER"), QStringLiteral("DEFAULT")}) {
        QImageReader reader(QStringLiteral(":/icons/") + name);
        EXPECT_EQ(reader.format(), QByteArray("ico")) << name.toStdString();
        QList<int> sizes;
        for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) {
            const QImage image = reader.read();
            ASSERT_EQ(image.width(), image.height()) << name.toStdString() << reader.errorString().toStdString();
            sizes << image.width();
            const QByteArray pixels = CheckedPixels(image, name + QStringLiteral(" %1").arg(image.width()));
            if (image.width() == 16)
                smallIcons.insert(pixels);
        }
        std::sort(sizes.begin(), sizes.end());
        EXPECT_EQ(sizes, QList<int>({16, 32})) << name.toStdString();
    }
    EXPECT_EQ(smallIcons.size(), 2) << "FOLDER and DEFAULT look the same";
}

} // namespace
