// The machines Korvex works on. A new one: the committed registry seed, written as Wine writes
// it; a new folder made a Windows 98 machine at start with the files the pages need, a damaged
// machine explained once. And the prefixes a user's tools made: found without changing anything
// of them; switching sends every later write to the new machine; KORVEX_MACHINE wins over
// WINEPREFIX, which wins over the choice remembered from last time, then ~/.wine; the Windows
// images emulators list are offered beside the prefixes.
#include "MachineChoice.h"
#include "PageTest.h"
#include "frmMachines.h"
#include "frmStart.h"
#include "icons.h"
#include "journal.h"
#include "prefixes.h"
#include "unix/hive.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

namespace
{

namespace fs = std::filesystem;
using win::detail::Hive;
using win::detail::Key;

struct SeedFile {
    const char *name;
    const char *header; // everything before the first key: Wine's header and the architecture
};

// Wine's headers of a 64-bit prefix's registry files, also of the prefixes other tools make.
constexpr char kSystemHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64";
constexpr char kUserHeader[] =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64";

const SeedFile kSeedFiles[] = {
    {"system.reg", kSystemHeader},
    {"user.reg", kUserHeader},
    {"userdef.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\.Default\n\n#arch=win64"},
};

// A file's bytes, also of a resource (":/..."); nothing when it cannot be read.
std::string ReadText(const fs::path &file)
{
    QFile in(QString::fromStdString(file.string()));
    return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : std::string();
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
        const std::string text = ReadText(std::string(":/seed/") + file.name);
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

// A fresh home folder without WINEPREFIX: the machine is the one Korvex keeps there.
class UserHome : public PageTest
{
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        home_ = MakeTempFolder("korvex-home");
        env_.Set("HOME", home_);
        env_.Set("XDG_CONFIG_HOME", home_ + "/.config");
        env_.Unset("XDG_DATA_HOME");
        env_.Unset("WINEPREFIX");
        win::UseMachineFolder({});
        win::ResetMachine();
    }
    void TearDown() override
    {
        PageTest::TearDown();
        win::UseMachineFolder({});
        win::ResetMachine();
        RemoveFolder(home_);
    }

    fs::path Home() const { return home_; }

    std::string home_;
};

using NewMachine = PageTest;

// A new folder is made where Korvex keeps its machine: a Windows 98 machine with writable
// registry files that reads through the control set link. A machine with a registry is never
// seeded again.
TEST_F(UserHome, ANewFolderBecomesAWindows98MachineOnceAndForAll)
{
    EXPECT_TRUE(SeedNewMachine());
    const std::size_t handlesBefore = win::OpenHandleCount();
    EXPECT_EQ(win::MachineFolder(), home_ + "/.local/share/korvex/machine");
    EXPECT_TRUE(QFile::permissions(QString::fromStdString(home_ + "/.local/share/korvex/machine/user.reg")) &
                QFileDevice::WriteOwner);
    EXPECT_EQ(win::ReportedWindowsVersion(), "win98");
    win::HKEY nt = nullptr;
    EXPECT_NE(
        win::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ, &nt),
        ERROR_SUCCESS)
        << "NT keys would make the machine look like Windows NT to a Wine that ignores the version value";
    EXPECT_EQ(
        ReadStoredValue(HKEY_LOCAL_MACHINE, QStringLiteral("SYSTEM\\CurrentControlSet\\Control\\Update"), "UpdateMode"),
        (StoredValue{REG_BINARY, QByteArray(1, '\x01')}));
    EXPECT_EQ(win::OpenHandleCount(), handlesBefore) << "a key was left open";
    EXPECT_FALSE(SeedNewMachine()) << "a machine that has a registry is never seeded again";
}

TEST_F(NewMachine, DamagedRegistryFilesAreNamedInOneMessageADamagedJournalInAnotherAndAHealthyMachineInNone)
{
    {
        MessageBoxAnswerer none;
        ReportMachineProblems(nullptr);
        EXPECT_TRUE(none.Seen().empty());
    }
    machine_.WriteFile("user.reg", "not a registry\n");
    machine_.WriteFile("userdef.reg", "neither\n");
    // A damaged change journal is set aside and told in a box of its own, after the machine's.
    const std::string journalFile = journal::JournalPath();
    WriteFileBytes(journalFile, "not a journal");
    MessageBoxAnswerer boxes({MessageBoxAnswerer::Enter(), MessageBoxAnswerer::Enter()});
    ReportMachineProblems(nullptr);
    ASSERT_EQ(boxes.Seen().size(), 2u);
    EXPECT_TRUE(boxes.Seen()[1].text.startsWith(QString::fromStdString(
        "The history of changes of this Windows installation is damaged.\nIt was kept aside as " + journalFile)));
    const QString text = boxes.Seen()[0].text;
    EXPECT_EQ(boxes.Seen()[0].title, QStringLiteral("Korvex"));
    EXPECT_TRUE(text.contains(QString::fromStdString(machine_.PathOf("user.reg"))));
    EXPECT_TRUE(text.contains(QString::fromStdString(machine_.PathOf("userdef.reg"))));
    EXPECT_FALSE(text.contains(QString::fromStdString(machine_.PathOf("system.reg"))));
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

// ---- The prefixes of other tools --------------------------------------------------------------

// The ways a prefix tells its Windows version.
std::string WineSetting(const char *version)
{
    return std::string("\n[Software\\\\Wine] 1700000000\n\"Version\"=\"") + version + "\"\n";
}
std::string NtKeys(const char *version, const char *build)
{
    return std::string(
               "\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1700000000\n\"CurrentBuildNumber\"=\"") +
           build + "\"\n\"CurrentVersion\"=\"" + version + "\"\n";
}
const char *const kNineXKeys = "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] 1700000000\n"
                               "\"VersionNumber\"=\"4.10.2222\"\n";

void MakePrefix(const fs::path &folder, const std::string &userKeys = {}, const std::string &systemKeys = {})
{
    WriteFileBytes(folder / "user.reg", kUserHeader + ("\n" + userKeys));
    WriteFileBytes(folder / "system.reg", kSystemHeader + ("\n" + systemKeys));
    WriteFileBytes(folder / "userdef.reg", "WINE REGISTRY Version 2\n");
    fs::create_directories(folder / "drive_c" / "windows" / "system32");
    fs::create_directories(folder / "dosdevices");
    fs::create_symlink("../drive_c", folder / "dosdevices" / "c:");
    fs::create_symlink("/", folder / "dosdevices" / "z:");
}

// Every entry under the folder with what identifies its content, symlinks not followed.
std::map<std::string, std::string> Snapshot(const fs::path &folder)
{
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path &path = it->path();
        std::string identity;
        if (it->is_symlink()) {
            identity = "link " + fs::read_symlink(path).string();
        } else if (it->is_regular_file()) {
            identity = ReadText(path) + "@" + std::to_string(fs::last_write_time(path).time_since_epoch().count());
        } else {
            identity = "folder";
        }
        entries[path.string()] = identity;
    }
    return entries;
}

using Prefixes = UserHome;

TEST_F(Prefixes, EveryToolsPrefixIsFoundOnceInAStableOrderAndNothingIsWritten)
{
    const fs::path home = Home();
    const fs::path elsewhere = home / "elsewhere" / "custom";
    MakePrefix(elsewhere);
    env_.Set("WINEPREFIX", elsewhere.string());
    MakePrefix(home / ".wine", WineSetting("winme"));
    MakePrefix(home / ".local/share/korvex/machine", {}, kNineXKeys);
    MakePrefix(home / ".local/share/wineprefixes/ie6", WineSetting("winxp"));
    MakePrefix(home / ".var/app/com.usebottles.bottles/data/bottles/bottles/Gaming", WineSetting("win10"));
    WriteFileBytes(home / ".var/app/com.usebottles.bottles/data/bottles/bottles/Gaming/bottle.yml",
                   "Arch: win64\nName: Gaming Bottle\nRunner: wine\n");
    MakePrefix(home / "Games/diablo");
    MakePrefix(home / "lutris/witcher");
    WriteFileBytes(home / ".config/lutris/games/witcher-1700000000.yml",
                   "game:\n  exe: drive_c/witcher.exe\n  prefix: ~/lutris/witcher\n");
    MakePrefix(home / "Games/Heroic/Prefixes/default/Hades");
    const fs::path steam = home / ".local/share/Steam";
    WriteFileBytes(steam / "steamapps/libraryfolders.vdf", "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" +
                                                               steam.string() +
                                                               "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" +
                                                               (home / "no-such-library").string() + "\"\n\t}\n}\n");
    // Older Steam lists a library by number only.
    WriteFileBytes(home / ".steam/root/steamapps/libraryfolders.vdf",
                   "\"LibraryFolders\"\n{\n\t\"1\"\t\t\"" + (home / "SteamLibrary").string() + "\"\n}\n");
    MakePrefix(home / "SteamLibrary/steamapps/compatdata/400/pfx");
    fs::create_directories(home / ".steam");
    fs::create_directory_symlink(steam, home / ".steam/steam");
    MakePrefix(steam / "steamapps/compatdata/1091500/pfx", {}, NtKeys("10.0", "19045"));
    WriteFileBytes(steam / "steamapps/appmanifest_1091500.acf",
                   "\"AppState\"\n{\n\t\"appid\"\t\t\"1091500\"\n\t\"name\"\t\t"
                   "\"Cyberpunk 2077\"\n}\n");
    fs::create_directories(steam / "steamapps/compatdata/228980"); // a tool's folder without a prefix
    MakePrefix(home / ".PlayOnLinux/wineprefix/Office", WineSetting("win2k"));
    // Not prefixes: a folder without user.reg and drive_c, a link to itself, a link to its folder.
    WriteFileBytes(home / ".local/share/wineprefixes/broken/system.reg", kSystemHeader);
    fs::create_symlink("loop", home / ".local/share/wineprefixes/loop");
    fs::create_directory_symlink("..", home / ".PlayOnLinux/wineprefix/cycle");

    using Row = std::tuple<win::PrefixSource, std::string, std::string, bool>;
    const std::vector<Row> expected = {
        {win::PrefixSource::WinePrefixVariable, "custom", "win7", true},
        {win::PrefixSource::DefaultWine, ".wine", "winme", false},
        {win::PrefixSource::Korvex, "Korvex", "win98", false},
        {win::PrefixSource::Winetricks, "ie6", "winxp", true},
        {win::PrefixSource::Bottles, "Gaming Bottle", "win10", true},
        {win::PrefixSource::Lutris, "diablo", "win7", true},
        {win::PrefixSource::Lutris, "witcher", "win7", true},
        {win::PrefixSource::Heroic, "Hades", "win7", true},
        {win::PrefixSource::Steam, "400", "win7", true},
        {win::PrefixSource::Steam, "Cyberpunk 2077", "win10", true},
        {win::PrefixSource::PlayOnLinux, "Office", "win2k", true},
    };
    const auto before = Snapshot(home);
    for (int run = 0; run < 2; ++run) {
        std::vector<Row> found;
        for (const win::WinePrefix &prefix : win::FindWinePrefixes()) {
            found.emplace_back(prefix.source, prefix.name, prefix.windowsVersion, prefix.windowsNT);
            EXPECT_TRUE(win::IsWinePrefix(prefix.folder)) << prefix.folder;
            EXPECT_FALSE(prefix.serverRunning) << prefix.folder;
            EXPECT_GT(prefix.lastChange, 0) << prefix.folder;
        }
        EXPECT_EQ(found, expected) << "run " << run;
    }
    EXPECT_EQ(Snapshot(home), before) << "finding prefixes changed something";
}

// A registry file as Wine writes it, keys in order, is looked up by bisection, and one put
// together otherwise is read through: either way the version keys are found, in any case of
// letters, among the thousands of keys of a real prefix.
TEST_F(Prefixes, VersionKeysAreFoundAmongThousandsOfKeysInAnyOrder)
{
    std::string before;
    std::string after;
    for (int i = 10000; i < 30000; ++i) {
        before += "\n[Software\\\\Classes\\\\.x" + std::to_string(i) + "] 1700000000\n@=\"x\"\n";
        after += "\n[System\\\\Services\\\\S" + std::to_string(i) + "] 1700000000\n\"Start\"=dword:00000003\n";
    }
    std::string lowerCase = NtKeys("5.1", "2600");
    std::ranges::transform(lowerCase, lowerCase.begin(), [](char c) { return c == 'W' || c == 'N' ? c + 32 : c; });
    const std::pair<std::string, const char *> cases[] = {
        {before + NtKeys("10.0", "19045") + after, "win10"},
        {before + lowerCase + after, "winxp"},
        {after + lowerCase + before, "winxp"},
        {before + kNineXKeys + after, "win98"},
        {before + after, "win7"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const fs::path folder = Home() / std::to_string(i);
        MakePrefix(folder, {}, cases[i].first);
        EXPECT_EQ(win::DescribeWinePrefix(folder, win::PrefixSource::DefaultWine, "p").windowsVersion, cases[i].second)
            << "case " << i;
    }
}

TEST_F(Prefixes, SwitchingAsksTheSaveQuestionAndThenWritesOnlyToTheNewMachine)
{
    const fs::path first = Home() / "first";
    const fs::path second = Home() / "second";
    MakePrefix(first, WineSetting("win98"));
    MakePrefix(second, WineSetting("win10"));
    env_.Set("WINEPREFIX", first.string());
    Control<QCheckBox>(Open("StartMenu"), "chk_3").click();
    EXPECT_TRUE(MdlStart::TreeWindow()->ItemOf(QStringLiteral("Optim"))) << "a 9x machine has its tuning page";
    const auto secondBefore = Snapshot(second);
    {
        MessageBoxAnswerer boxes({Yes});
        MdlStart::MainWindow()->SwitchToMachine(QString::fromStdString(second.string()), QStringLiteral("second"));
        ASSERT_EQ(boxes.Seen().size(), 1u) << "the save question, and nothing about the new machine";
        // Switching off Run also names the way back, History, after the question.
        EXPECT_TRUE(boxes.Seen()[0].text.startsWith(QStringLiteral("Save Changes ?")));
    }
    EXPECT_NE(ReadText(first / "user.reg").find("\"NoRun\"=dword:00000001"), std::string::npos)
        << "the page saves where it was loaded";
    EXPECT_EQ(Snapshot(second), secondBefore);

    // The new machine is NT: the platform is decided again and the tree rebuilt for it.
    EXPECT_EQ(win::MachineFolder(), second.string());
    EXPECT_EQ(MdlStart::CurrentVersionKey, QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion"));
    EXPECT_FALSE(MdlStart::TreeWindow()->ItemOf(QStringLiteral("Optim")));
    EXPECT_EQ(MdlStart::CurrentPage()->objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(MdlStart::MainWindow()->Status()->MachineButton()->text(), QStringLiteral("second (Windows 10)"));

    const auto firstAfterSwitch = Snapshot(first);
    Control<QCheckBox>(Open("StartMenu"), "chk_3").click();
    EXPECT_EQ(Leave({Yes}).size(), 1u);
    EXPECT_NE(ReadText(second / "user.reg").find("\"NoRun\"=dword:00000001"), std::string::npos);
    EXPECT_EQ(Snapshot(first), firstAfterSwitch) << "the old machine is left alone after the switch";
    MdlStart::MainWindow()->SwitchToMachine(QString::fromStdString((second / ".").string()), QStringLiteral("again"));
    EXPECT_EQ(MdlStart::MainWindow()->Status()->MachineButton()->text(), QStringLiteral("second (Windows 10)"))
        << "choosing the machine in use changes nothing";
}

// KORVEX_MACHINE (a folder or a disk image) before WINEPREFIX before the choice remembered
// from last time, which counts only while it is still a machine.
TEST_F(Prefixes, TheMachineVariableWinsOverWinePrefixWhichWinsOverTheRememberedChoice)
{
    const fs::path remembered = Home() / "remembered";
    MakePrefix(remembered);
    MakePrefix(Home() / "variable");
    fs::copy_file(WIN98_IMAGE, Home() / "win98.img");
    RememberMachine(QString::fromStdString(remembered.string()), QStringLiteral("remembered"));

    struct Case {
        const char *korvexMachine, *winePrefix, *chosen, *label;
    };
    constexpr Case kCases[] = {
        {"win98.img", "variable", "win98.img", "win98.img (Windows 98)"},
        {"variable", "remembered", "variable", "variable (Windows 7)"},
        {nullptr, "variable", "variable", "variable (Windows 7)"},
        {nullptr, nullptr, "remembered", "remembered (Windows 7)"},
    };
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.label);
        win::UseMachineFolder({});
        for (const auto &[name, value] : {std::pair{kMachineVariable, c.korvexMachine}, {"WINEPREFIX", c.winePrefix}})
            value ? env_.Set(name, (Home() / value).string()) : env_.Unset(name);
        UseStartMachine();
        EXPECT_EQ(win::ChosenMachineFolder(), (Home() / c.chosen).string());
        EXPECT_EQ(MachineLabel(), QString::fromUtf8(c.label));
    }

    // A remembered folder that is gone leaves the usual choice.
    win::UseMachineFolder({});
    fs::remove_all(remembered);
    EXPECT_FALSE(UseStartMachine());
    EXPECT_EQ(win::ChosenMachineFolder(), home_ + "/.local/share/korvex/machine");
    // Without WINEPREFIX, ~/.wine comes before that folder, which follows XDG_DATA_HOME.
    fs::create_directory(Home() / ".wine");
    EXPECT_EQ(win::ChosenMachineFolder(), home_ + "/.wine");
    fs::remove(Home() / ".wine");
    env_.Set("XDG_DATA_HOME", home_ + "/data");
    EXPECT_EQ(win::ChosenMachineFolder(), home_ + "/data/korvex/machine");
}

// An image an emulator lists is offered with its name, its emulator and the version its own
// registry gives; "Disk image…" opens a file dialog for images, chooses one that holds Windows
// and refuses any other file with a message, staying open.
TEST_F(Prefixes, TheChooserListsWindowsImagesAndOpensOnePickedByHand)
{
    const fs::path box = Home() / ".local/share/86Box/Virtual Machines/Old";
    WriteFileBytes(box / "86box.cfg", "[Hard disks]\nhdd_01_fn = hdd.img\n");
    fs::copy_file(WIN98_IMAGE, box / "hdd.img");
    const std::string picked = (Home() / "picked.img").string();
    fs::copy_file(WIN98_IMAGE, picked);
    WriteFileBytes(Home() / "notes.img", "not a disk");

    frmMachines chooser;
    auto &list = Control<QTreeWidget>(chooser, "lstMachines");
    ASSERT_EQ(list.topLevelItemCount(), 1);
    const QTreeWidgetItem &row = *list.topLevelItem(0);
    EXPECT_EQ(QStringList({row.text(0), row.text(1), row.text(2)}), QStringList({"Old", "86Box", "Windows 98"}));
    EXPECT_EQ(row.data(0, Qt::UserRole).toString().toStdString(), (box / "hdd.img").string());

    const std::pair<std::string, bool> files[] = {{(Home() / "notes.img").string(), false}, {picked, true}};
    for (const auto &[file, chosen] : files) {
        SCOPED_TRACE(file);
        QStringList filters;
        const ModalWatcher dialogs = AnswerFileDialogs(QString::fromStdString(file),
                                                       [&filters](const QFileDialog &d) { filters = d.nameFilters(); });
        MessageBoxAnswerer boxes;
        Control<QPushButton>(chooser, "cmdImage").click();
        ASSERT_EQ(filters.size(), 2);
        EXPECT_TRUE(filters[0].contains(QStringLiteral("*.qcow2")) && filters[1].contains(QLatin1Char('*')));
        EXPECT_EQ(boxes.Seen().size(), chosen ? 0u : 1u);
        EXPECT_EQ(chooser.ChosenFolder().toStdString(), chosen ? picked : std::string());
    }
}

TEST_F(Prefixes, TheChooserIsUsedFromTheKeyboardAndRefusesAFolderThatIsNoPrefix)
{
    MakePrefix(Home() / ".wine", WineSetting("win98"));
    const fs::path office = Home() / ".local/share/wineprefixes/office";
    MakePrefix(office, WineSetting("winxp"));
    win::UseMachineFolder(office.string());
    frmMachines chooser;
    auto &list = Control<QTreeWidget>(chooser, "lstMachines");
    ASSERT_EQ(list.topLevelItemCount(), 2);
    EXPECT_EQ(list.currentItem()->text(0), QStringLiteral("office")) << "the machine in use is selected";
    EXPECT_TRUE(list.currentItem()->font(0).bold()) << "and marked";
    EXPECT_FALSE(list.topLevelItem(0)->font(0).bold());

    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Enter()});
        chooser.ChooseOtherFolder(QString::fromStdString(home_));
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_TRUE(chooser.ChosenFolder().isEmpty());
    }

    chooser.show();
    EXPECT_GE(list.viewport()->height(), 8 * list.sizeHintForRow(0)) << "eight machines show before it scrolls";
    list.setFocus();
    Press(list, Qt::Key_Up);
    Press(list, Qt::Key_Return);
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.ChosenFolder().toStdString(), home_ + "/.wine");
    EXPECT_EQ(chooser.ChosenName(), QStringLiteral(".wine"));
}

} // namespace
