// A new machine: the committed registry seed, written as Wine writes it; a new folder made a
// Windows 98 machine at start with the files the pages need, a damaged machine explained once;
// the pictures of the tree and the two icons.
#include "PageTest.h"
#include "icons.h"
#include "unix/hive.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QSet>

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

// ---- The machine at start -----------------------------------------------------------------------

using NewMachine = PageTest;

// A new folder is made where Korvex keeps its machine: a Windows 98 machine with writable
// registry files that reads through the control set link. A machine with a registry is never
// seeded again.
TEST_F(NewMachine, AFolderBecomesAWindows98MachineOnceAndForAll)
{
    const std::string home = MakeTempFolder("korvex-home");
    {
        ScopedEnv env;
        env.Set("HOME", home);
        env.Unset("WINEPREFIX");
        env.Unset("XDG_DATA_HOME");
        win::ResetMachine();
        EXPECT_TRUE(SeedNewMachine());
        const std::size_t handlesBefore = win::OpenHandleCount();
        EXPECT_EQ(win::MachineFolder(), home + "/.local/share/korvex/machine");
        EXPECT_TRUE(QFile::permissions(QString::fromStdString(home + "/.local/share/korvex/machine/user.reg")) &
                    QFileDevice::WriteOwner);
        EXPECT_TRUE(win::DamagedRegistryFiles().empty());
        EXPECT_EQ(win::ReportedWindowsVersion(), "win98");
        win::OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        EXPECT_TRUE(win::GetVersionExA(&info));
        EXPECT_EQ(std::tuple(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion), std::tuple(1u, 4u, 10u));
        win::HKEY nt = nullptr;
        EXPECT_NE(
            win::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ, &nt),
            ERROR_SUCCESS)
            << "NT keys would make the machine look like Windows NT to a Wine that ignores the version value";
        char name[32] = {};
        win::DWORD size = sizeof name;
        EXPECT_TRUE(win::GetComputerNameA(name, &size));
        EXPECT_EQ(std::string(name), "KORVEX98");
        EXPECT_EQ(size, 8u) << "the length counts no terminator";
        EXPECT_EQ(ReadStoredValue(HKEY_LOCAL_MACHINE, QStringLiteral("SYSTEM\\CurrentControlSet\\Control\\Update"),
                                  "UpdateMode"),
                  (StoredValue{REG_BINARY, QByteArray(1, '\x01')}));
        EXPECT_EQ(win::OpenHandleCount(), handlesBefore) << "a key was left open";
        EXPECT_FALSE(SeedNewMachine()) << "a machine that has a registry is never seeded again";
        win::ResetMachine();
    }
    RemoveFolder(home);
    win::ResetMachine();
}

TEST_F(NewMachine, ADamagedRegistryFileIsNamedInOneMessageAndAHealthyMachineInNone)
{
    {
        MessageBoxAnswerer none;
        ReportMachineProblems(nullptr);
        EXPECT_TRUE(none.Seen().empty());
    }
    machine_.WriteFile("user.reg", "not a registry\n");
    machine_.WriteFile("userdef.reg", "neither\n");
    MessageBoxAnswerer boxes({MessageBoxAnswerer::Enter()});
    ReportMachineProblems(nullptr);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    const QString text = boxes.Seen()[0].text;
    EXPECT_EQ(boxes.Seen()[0].title, QStringLiteral("Korvex"));
    EXPECT_TRUE(text.contains(QString::fromStdString(machine_.PathOf("user.reg"))));
    EXPECT_TRUE(text.contains(QString::fromStdString(machine_.PathOf("userdef.reg"))));
    EXPECT_FALSE(text.contains(QString::fromStdString(machine_.PathOf("system.reg"))));

    env_.Set("LANG", "ru_RU.UTF-8");
    EXPECT_TRUE(MachineProblems().contains(QStringLiteral("Korvex сейчас не может")));
}

// The system icons page lists the seed's icon library, and the folder icon page finds the seed's
// folder with its own icon, as the shell would.
TEST_F(NewMachine, ANewMachineHasAnIconLibraryAndAFolderWithItsOwnIcon)
{
    UseSeed();
    Page &icons = Open("sysIco");
    const auto &list = Control<QListWidget>(icons, "lstSI");
    ASSERT_EQ(list.count(), 48);
    EXPECT_TRUE(list.item(47)->text().startsWith(QStringLiteral("47\t")));
    EXPECT_FALSE(Control<QLabel>(icons, "picI").pixmap().isNull()) << "the first icon is drawn";
    EXPECT_TRUE(Leave().empty());

    // The folder carries the system attribute, so its Desktop.ini names the icon shown.
    EXPECT_EQ(win::GetFileAttributesA("C:\\My Documents") & FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_SYSTEM);
    char iconFile[128] = {};
    win::GetPrivateProfileStringA(".ShellClassInfo", "IconFile", "0", iconFile, sizeof iconFile,
                                  "C:\\My Documents\\Desktop.ini");
    EXPECT_STREQ(iconFile, "Documents.ico");
    EXPECT_EQ(win::ExtractIconCount(win::HostPathOf("C:\\My Documents\\Documents.ico")), 1);

    // Seeding again keeps what the machine has.
    machine_.WriteFile("drive_c/My Documents/Desktop.ini", "[.ShellClassInfo]\r\nIconFile=mine.ico\r\n");
    std::remove(machine_.PathOf("system.reg").c_str());
    SeedNewMachine();
    EXPECT_EQ(machine_.ReadFile("drive_c/My Documents/Desktop.ini"), "[.ShellClassInfo]\r\nIconFile=mine.ico\r\n");
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
