// The six policy checkbox pages: every box against its switch, and the pages used as a user
// uses them, through the tree, answering the real save question.
#include "MdlStart.h"
#include "MessageBoxes.h"
#include "PageMap.h"
#include "PolicyPage.h"
#include "ScopedEnv.h"
#include "TempMachine.h"
#include "frmStart.h"
#include "frmTR.h"
#include "win32.h"

#include "Strings.h"

#include <QApplication>
#include <QCheckBox>
#include <QTreeWidgetItem>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace
{

constexpr auto kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr auto kSystem = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr auto kNetwork = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network";
constexpr auto kActive = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\ActiveDesktop";
constexpr auto kIE = "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";

struct Switch {
    win::HKEY root;
    std::string key;
    const char *name;
};

struct PageTable {
    const char *treeKey;
    const char *className;
    int firstCaptionId;
    std::vector<Switch> switches;
};

Switch User(const std::string &key, const char *name)
{
    return {HKEY_CURRENT_USER, key, name};
}

// Where each page's boxes must read and write, box by box.
const std::vector<PageTable> &Tables()
{
    static const std::vector<PageTable> tables = {
        {"Korvex",
         "frmKorv",
         260,
         {User(kExplorer, "NoDesktop"),
          User(kExplorer, "NoNetHood"),
          User(kExplorer, "NoSaveSettings"),
          User(kSystem, "DisableRegistryTools"),
          {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Update", "UpdateMode"}}},
        {"StartMenu",
         "frmPusk",
         240,
         {User(kExplorer, "NoRecentDocsMenu"), User(kExplorer, "NoSMHelp"), User(kExplorer, "NoClose"),
          User(kExplorer, "NoRun"), User(kExplorer, "ClearRecentDocsOnExit"), User(kExplorer, "NoSMMyDocs"),
          User(kExplorer, "NoFind"), User(kExplorer, "NoSetActiveDesktop"), User(kExplorer, "NoChangeStartMenu"),
          User(kExplorer, "NoSetFolders"), User(kExplorer, "NoSetTaskbar"), User(kExplorer, "NoControlPanel"),
          User(kExplorer, "NoFavoritesMenu"), User(kExplorer, "NoLogOff")}},
        {"ControlPanel",
         "frmControlPanel",
         220,
         {User(kSystem, "NoDispCPL"), User(kSystem, "NoDispAppearancePage"), User(kSystem, "NoDispBackgroundPage"),
          User(kSystem, "NoDispScrSavPage"), User(kSystem, "NoDispSettingsPage"), User(kSystem, "NoSystem"),
          User(kSystem, "NoDevMgrPage"), User(kSystem, "NoConfigPage"), User(kSystem, "NoFileSysPage"),
          User(kSystem, "NoVirtMemPage"), User(kNetwork, "NoNetSetup"), User(kNetwork, "NoFileSharingControl"),
          User(kNetwork, "NoNetSetupIDPage"), User(kNetwork, "NoNetSetupSecurityPage"), User(kSystem, "NoSecCPL"),
          User(kSystem, "NoPwdPage"), User(kSystem, "NoAdminPage"), User(kSystem, "NoProfilePage")}},
        {"Explorer",
         "frmExplorer",
         180,
         {User(kExplorer, "NoFileMenu"), User(kExplorer, "NoViewContextMenu"), User(kIE, "NoBrowserClose"),
          User(kExplorer, "NoExpandedNewMenu"), User(kExplorer, "NoFolderOptions")}},
        {"IERes",
         "frmIErestrict",
         200,
         {User(kIE, "NoBrowserClose"), User(kIE, "NoBrowserContextMenu"), User(kIE, "NoBrowserOptions"),
          User(kIE, "NoBrowserSaveAs"), User(kIE, "NoFavorites"), User(kIE, "NoFileNew"), User(kIE, "NoFileOpen"),
          User(kIE, "NoFindFiles"), User(kIE, "NoSelectDownloadDir"), User(kIE, "NoTheaterMode"),
          User(kIE, "NoAddressBar"), User(kIE, "NoToolBar"), User(kIE, "NoLinksBar"), User(kIE, "NoHelpMenu"),
          User(kIE, "NoHelpItemNetscapeHelp"), User(kIE, "NoHelpItemSendFeedback"), User(kIE, "NoHelpItemTipOfTheDay"),
          User(kIE, "NoHelpItemTutorial")}},
        {"ActiveDesktop",
         "frmActDesk",
         280,
         {User(kExplorer, "NoActiveDesktopChanges"), User(kActive, "NoChangingWallpaper"),
          User(kActive, "NoComponents"), User(kActive, "NoAddingComponents"), User(kActive, "NoDeletingComponents"),
          User(kActive, "NoEditingComponents"), User(kActive, "NoCloseDragDropBands"), User(kActive, "NoMovingBands")}},
    };
    return tables;
}

void Put(const Switch &where, win::DWORD type, const void *data, win::DWORD size)
{
    win::HKEY key = nullptr;
    ASSERT_EQ(
        win::RegCreateKeyExA(where.root, where.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(win::RegSetValueExA(key, where.name, 0, type, static_cast<const win::BYTE *>(data), size), ERROR_SUCCESS);
    win::RegCloseKey(key);
}

void PutDword(const Switch &where, win::DWORD value)
{
    Put(where, REG_DWORD, &value, 4);
}

void PutString(const Switch &where, const char *text)
{
    Put(where, REG_SZ, text, static_cast<win::DWORD>(std::strlen(text) + 1));
}

struct Stored {
    win::DWORD type = REG_NONE;
    std::string data;
    bool operator==(const Stored &other) const { return type == other.type && data == other.data; }
};

std::optional<Stored> Read(const Switch &where)
{
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(where.root, where.key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    char buffer[64] = {};
    win::DWORD size = sizeof buffer;
    Stored stored;
    const win::LONG rc =
        win::RegQueryValueExA(key, where.name, nullptr, &stored.type, reinterpret_cast<win::BYTE *>(buffer), &size);
    win::RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    stored.data.assign(buffer, size);
    return stored;
}

Stored Dword(win::DWORD value)
{
    return {REG_DWORD, std::string(reinterpret_cast<const char *>(&value), 4)};
}

class PolicyPages : public ::testing::Test
{
protected:
    void SetUp() override { env_.SetLanguage("en_US.UTF-8"); }
    void TearDown() override { MdlStart::Shutdown(); }

    // Opens a page through the tree, as a click on its node does.
    PolicyPage &Open(const char *treeKey)
    {
        if (!MdlStart::MainWindow())
            MdlStart::Main(&CreatePage);
        QTreeWidgetItem *item = MdlStart::TreeWindow()->ItemOf(QString::fromLatin1(treeKey));
        EXPECT_NE(item, nullptr) << treeKey;
        MdlStart::TreeWindow()->TR_NodeClick(item);
        auto *page = dynamic_cast<PolicyPage *>(MdlStart::CurrentPage.data());
        if (!page)
            throw std::runtime_error(std::string("no policy page for ") + treeKey);
        return *page;
    }

    // Leaves the current page for About, answering the save question if one comes.
    std::vector<MessageBoxAnswerer::Shown> Leave(std::vector<MessageBoxAnswerer::Answer> answers = {})
    {
        MessageBoxAnswerer boxes(std::move(answers));
        MdlStart::TreeWindow()->TR_NodeClick(MdlStart::TreeWindow()->ItemOf(QStringLiteral("About")));
        return boxes.Seen();
    }

    static std::vector<bool> Ticks(const PolicyPage &page)
    {
        std::vector<bool> ticks;
        for (int i = 0; i < page.BoxCount(); ++i)
            ticks.push_back(page.chk(i)->isChecked());
        return ticks;
    }

    ScopedEnv env_;
    TempMachine machine_;
};

TEST_F(PolicyPages, EveryBoxReadsAndWritesItsOwnSwitch)
{
    for (const PageTable &table : Tables()) {
        SCOPED_TRACE(table.className);
        const int count = static_cast<int>(table.switches.size());
        for (int i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            PutDword(table.switches[static_cast<size_t>(i)], 1);
            PolicyPage &page = Open(table.treeKey);
            ASSERT_EQ(page.objectName(), QString::fromLatin1(table.className));
            ASSERT_EQ(page.BoxCount(), count);
            EXPECT_EQ(page.chk(i)->text(), LoadResString(table.firstCaptionId + i));
            for (int j = 0; j < count; ++j) {
                const bool shared = table.switches[static_cast<size_t>(j)].name ==
                                    std::string_view(table.switches[static_cast<size_t>(i)].name);
                const bool alwaysOff = std::string_view(table.className) == "frmControlPanel" && j == 5;
                EXPECT_EQ(page.chk(j)->isChecked(), shared && !alwaysOff) << "box " << j;
            }
            EXPECT_TRUE(Leave().empty()) << "an unchanged page asks nothing";
            PutDword(table.switches[static_cast<size_t>(i)], 0);
        }

        // Saving writes every box, in its own place, as REG_DWORD 0 or 1.
        PolicyPage &page = Open(table.treeKey);
        for (int i = 0; i < count; ++i)
            page.chk(i)->setChecked(i % 3 == 1);
        Leave({MessageBoxAnswerer::Click(QMessageBox::Yes)});
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(Read(table.switches[static_cast<size_t>(i)]), Dword(i % 3 == 1 ? 1 : 0)) << "box " << i;
    }
}

TEST(PageMap, EveryBuiltPageOpensFromItsTreeKey)
{
    const std::pair<const char *, const char *> pages[] = {
        {"StartUp", "frmStartUp"},           {"Korvex", "frmKorv"},           {"StartMenu", "frmPusk"},
        {"Explorer", "frmExplorer"},         {"ActiveDesktop", "frmActDesk"}, {"IERes", "frmIErestrict"},
        {"ControlPanel", "frmControlPanel"}, {"Short", "frmshortcut"}};
    for (const auto &[key, className] : pages) {
        std::unique_ptr<Page> page(CreatePage(QString::fromLatin1(key)));
        ASSERT_NE(page, nullptr) << key;
        EXPECT_EQ(page->objectName(), QString::fromLatin1(className)) << key;
    }
    for (const char *group : {"About", "Windows", "IE", "GUI", "Internet", "Other", "VHDD", "unknown"})
        EXPECT_EQ(std::unique_ptr<Page>(CreatePage(QString::fromLatin1(group))), nullptr) << group;
}

TEST_F(PolicyPages, OnlyTheTextOneTicksAndAnUnchangedPageKeepsTypes)
{
    const Switch desktop{HKEY_CURRENT_USER, kExplorer, "NoDesktop"};
    const Switch netHood{HKEY_CURRENT_USER, kExplorer, "NoNetHood"};
    const Switch save{HKEY_CURRENT_USER, kExplorer, "NoSaveSettings"};
    PutString(desktop, "1");
    PutString(netHood, "0");
    PutString(save, "");
    PolicyPage &page = Open("Korvex");
    EXPECT_EQ(Ticks(page), (std::vector<bool>{true, false, false, false, false}));
    EXPECT_TRUE(Leave().empty());
    EXPECT_EQ(Read(desktop), (Stored{REG_SZ, std::string("1\0", 2)})) << "nothing written without a change";
}

TEST_F(PolicyPages, AChangeIsAChangeEvenWhenUndone)
{
    const Switch desktop{HKEY_CURRENT_USER, kExplorer, "NoDesktop"};
    const Switch update{HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Update", "UpdateMode"};
    PutString(desktop, "1");
    {
        PolicyPage &page = Open("Korvex");
        page.chk(2)->click();
        page.chk(2)->click();
        const auto boxes = Leave({MessageBoxAnswerer::Click(QMessageBox::No)});
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, QStringLiteral("Save Changes ?"));
        EXPECT_EQ(boxes[0].title, QStringLiteral("Saving..."));
        EXPECT_EQ(Read(desktop), (Stored{REG_SZ, std::string("1\0", 2)})) << "No writes nothing";
        EXPECT_FALSE(Read(update));
    }
    PolicyPage &page = Open("Korvex");
    page.chk(2)->click();
    page.chk(2)->click();
    ASSERT_EQ(Leave({MessageBoxAnswerer::Click(QMessageBox::Yes)}).size(), 1u);
    EXPECT_EQ(Read(desktop), Dword(1)) << "the REG_SZ became a REG_DWORD";
    EXPECT_EQ(Read(update), Dword(0)) << "missing keys are made";
}

TEST_F(PolicyPages, SystemPageWritesTheUserSwitchesWhenTheMachineHiveIsReadOnly)
{
    PolicyPage &page = Open("Korvex");
    for (int i = 0; i < page.BoxCount(); ++i)
        page.chk(i)->setChecked(true);
    const std::string before = machine_.ReadFile("system.reg");
    std::filesystem::permissions(machine_.PathOf("system.reg"), std::filesystem::perms::owner_read);
    Leave({MessageBoxAnswerer::Click(QMessageBox::Yes)});
    std::filesystem::permissions(machine_.PathOf("system.reg"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(machine_.ReadFile("system.reg"), before);
    for (const Switch &user : Tables()[0].switches) {
        if (user.root == HKEY_CURRENT_USER) {
            EXPECT_EQ(Read(user), Dword(1)) << user.name;
        }
    }
}

TEST_F(PolicyPages, DependentBoxesFollowTheirMastersAndKeepTheirTicks)
{
    PutDword({HKEY_CURRENT_USER, kSystem, "NoDispAppearancePage"}, 1);
    PutDword({HKEY_CURRENT_USER, kIE, "NoHelpMenu"}, 1);
    {
        PolicyPage &panel = Open("ControlPanel");
        panel.chk(0)->click();
        for (int i = 1; i <= 4; ++i)
            EXPECT_FALSE(panel.chk(i)->isEnabled()) << i;
        EXPECT_TRUE(panel.chk(1)->isChecked());
        panel.chk(10)->click();
        EXPECT_FALSE(panel.chk(12)->isEnabled());
        panel.chk(0)->click();
        EXPECT_TRUE(panel.chk(1)->isEnabled() && panel.chk(1)->isChecked());
        Leave({MessageBoxAnswerer::Click(QMessageBox::No)});
    }
    {
        PolicyPage &browser = Open("IERes");
        for (int i = 14; i <= 17; ++i)
            EXPECT_FALSE(browser.chk(i)->isEnabled()) << "help items are off as soon as the page shows";
        browser.chk(13)->click();
        EXPECT_TRUE(browser.chk(14)->isEnabled());
        Leave({MessageBoxAnswerer::Click(QMessageBox::No)});
    }
    PolicyPage &desk = Open("ActiveDesktop");
    desk.chk(7)->click(); // a box without dependants still marks the page changed
    desk.chk(2)->click();
    for (int i = 3; i <= 5; ++i)
        EXPECT_FALSE(desk.chk(i)->isEnabled()) << i;
    EXPECT_TRUE(desk.chk(6)->isEnabled());
    EXPECT_EQ(Leave({MessageBoxAnswerer::Click(QMessageBox::No)}).size(), 1u);
}

TEST_F(PolicyPages, DenyingSystemSettingsIsAlwaysOfferedOff)
{
    const Switch noSystem{HKEY_CURRENT_USER, kSystem, "NoSystem"};
    PutDword(noSystem, 1);
    PolicyPage &panel = Open("ControlPanel");
    EXPECT_FALSE(panel.chk(5)->isChecked());
    EXPECT_FALSE(panel.chk(5)->isEnabled());
    EXPECT_TRUE(panel.chk(6)->isEnabled());
    EXPECT_TRUE(Leave().empty());
    EXPECT_EQ(Read(noSystem), Dword(1)) << "an unchanged page leaves it";

    Open("ControlPanel").chk(0)->click();
    Leave({MessageBoxAnswerer::Click(QMessageBox::Yes)});
    EXPECT_EQ(Read(noSystem), Dword(0));
}

TEST_F(PolicyPages, PlatformRulesHideOrDisableButStillWrite)
{
    const Switch noSMHelp{HKEY_CURRENT_USER, kExplorer, "NoSMHelp"};
    const Switch noChange{HKEY_CURRENT_USER, kExplorer, "NoChangeStartMenu"};
    const Switch noProfile{HKEY_CURRENT_USER, kSystem, "NoProfilePage"};
    PutDword(noSMHelp, 1);
    PutDword(noChange, 1);
    PutDword(noProfile, 1);
    {
        // A new Wine prefix reports Windows NT.
        PolicyPage &start = Open("StartMenu");
        EXPECT_TRUE(start.chk(1)->isEnabled());
        EXPECT_FALSE(start.chk(8)->isEnabled());
        EXPECT_TRUE(start.chk(8)->isChecked());
        start.chk(0)->click();
        Leave({MessageBoxAnswerer::Click(QMessageBox::Yes)});
        EXPECT_EQ(Read(noChange), Dword(1)) << "a disabled box writes its loaded state";

        PolicyPage &panel = Open("ControlPanel");
        for (int i = 0; i < panel.BoxCount(); ++i)
            EXPECT_EQ(panel.chk(i)->isVisibleTo(&panel), i < 5) << i;
        panel.chk(0)->click();
        Leave({MessageBoxAnswerer::Click(QMessageBox::Yes)});
        EXPECT_EQ(Read(noProfile), Dword(1)) << "a hidden box writes its loaded state";
        EXPECT_TRUE(Open("Explorer").chk(1)->isEnabled());
        Leave();
    }
    MdlStart::Shutdown();
    machine_.ReportWindowsVersion("win98");
    PolicyPage &start = Open("StartMenu");
    EXPECT_FALSE(start.chk(1)->isEnabled());
    EXPECT_FALSE(start.chk(5)->isEnabled());
    EXPECT_TRUE(start.chk(8)->isEnabled());
    EXPECT_TRUE(start.chk(1)->isChecked());
    Leave();
    EXPECT_FALSE(Open("Explorer").chk(1)->isEnabled());
    Leave();
    EXPECT_TRUE(Open("ControlPanel").chk(17)->isVisibleTo(MdlStart::CurrentPage));
    Leave();
}

TEST_F(PolicyPages, ExplorerAndBrowserShareTheCloseSwitch)
{
    PolicyPage &explorer = Open("Explorer");
    explorer.chk(2)->click();
    Leave({MessageBoxAnswerer::Click(QMessageBox::Yes)});
    PolicyPage &browser = Open("IERes");
    EXPECT_TRUE(browser.chk(0)->isChecked());
    EXPECT_EQ(browser.chk(0)->text(), QStringLiteral("Restrict Close Explorer"));
    browser.chk(0)->click();
    Leave({MessageBoxAnswerer::Click(QMessageBox::Yes)});
    EXPECT_FALSE(Open("Explorer").chk(2)->isChecked());
    Leave();
}

TEST_F(PolicyPages, BoxesFollowThePagesWidthAndDependentsStandIndented)
{
    PolicyPage &panel = Open("ControlPanel");
    EXPECT_GT(panel.chk(1)->x(), panel.chk(0)->x());
    EXPECT_EQ(panel.chk(5)->x(), panel.chk(0)->x());
    MdlStart::MainWindow()->resize(1400, 900);
    QApplication::processEvents();
    EXPECT_EQ(panel.chk(0)->width(), panel.width() - TwipsToPixelsX(120, &panel));
    Leave();
}

} // namespace
