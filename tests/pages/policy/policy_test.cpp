// The six policy pages used as a user uses them: opened through the tree, changed, and closed
// with the real save question; what they stored is read back through the platform.
#include "PageTest.h"
#include "PolicyPage.h"

#include <string_view>

namespace
{

constexpr const char *kPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
constexpr const char *kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char *kSystem = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const char *kIE = "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";
constexpr const char *kUpdate = "SYSTEM\\CurrentControlSet\\Control\\Update";

// Where each page's boxes keep their switches, box by box: the contract with Windows. The
// letter names the key: E, S, N, A the policies key's Explorer, System, Network and
// ActiveDesktop; I the browser's restrictions; U the machine's update key.
struct PageContract {
    const char *treeKey;
    const char *className;
    const char *switches;
};

constexpr PageContract kPages[] = {
    {"Korvex", "frmKorv", "E:NoDesktop E:NoNetHood E:NoSaveSettings S:DisableRegistryTools U:UpdateMode"},
    {"StartMenu", "frmPusk",
     "E:NoRecentDocsMenu E:NoSMHelp E:NoClose E:NoRun E:ClearRecentDocsOnExit E:NoSMMyDocs E:NoFind "
     "E:NoSetActiveDesktop E:NoChangeStartMenu E:NoSetFolders E:NoSetTaskbar E:NoControlPanel E:NoFavoritesMenu "
     "E:NoLogOff"},
    {"ControlPanel", "frmControlPanel",
     "S:NoDispCPL S:NoDispAppearancePage S:NoDispBackgroundPage S:NoDispScrSavPage S:NoDispSettingsPage S:NoSystem "
     "S:NoDevMgrPage S:NoConfigPage S:NoFileSysPage S:NoVirtMemPage N:NoNetSetup N:NoFileSharingControl "
     "N:NoNetSetupIDPage N:NoNetSetupSecurityPage S:NoSecCPL S:NoPwdPage S:NoAdminPage S:NoProfilePage"},
    {"Explorer", "frmExplorer",
     "E:NoFileMenu E:NoViewContextMenu I:NoBrowserClose E:NoExpandedNewMenu E:NoFolderOptions"},
    {"IERes", "frmIErestrict",
     "I:NoBrowserClose I:NoBrowserContextMenu I:NoBrowserOptions I:NoBrowserSaveAs I:NoFavorites I:NoFileNew "
     "I:NoFileOpen I:NoFindFiles I:NoSelectDownloadDir I:NoTheaterMode I:NoAddressBar I:NoToolBar I:NoLinksBar "
     "I:NoHelpMenu I:NoHelpItemNetscapeHelp I:NoHelpItemSendFeedback I:NoHelpItemTipOfTheDay I:NoHelpItemTutorial"},
    {"ActiveDesktop", "frmActDesk",
     "E:NoActiveDesktopChanges A:NoChangingWallpaper A:NoComponents A:NoAddingComponents A:NoDeletingComponents "
     "A:NoEditingComponents A:NoCloseDragDropBands A:NoMovingBands"},
};

struct Switch {
    win::HKEY root;
    std::string key;
    std::string name;
    bool operator==(const Switch &) const = default;
};

std::vector<Switch> SwitchesOf(const PageContract &page)
{
    std::vector<Switch> switches;
    for (const QString &entry : QString::fromLatin1(page.switches).split(QLatin1Char(' '))) {
        const std::string name = entry.mid(2).toStdString();
        switch (entry.front().toLatin1()) {
        case 'E': switches.push_back({HKEY_CURRENT_USER, kExplorer, name}); break;
        case 'S': switches.push_back({HKEY_CURRENT_USER, kSystem, name}); break;
        case 'N': switches.push_back({HKEY_CURRENT_USER, std::string(kPolicies) + "\\Network", name}); break;
        case 'A': switches.push_back({HKEY_CURRENT_USER, std::string(kPolicies) + "\\ActiveDesktop", name}); break;
        case 'I': switches.push_back({HKEY_CURRENT_USER, kIE, name}); break;
        default: switches.push_back({HKEY_LOCAL_MACHINE, kUpdate, name}); break;
        }
    }
    return switches;
}

class PolicyPages : public PageTest
{
protected:
    PolicyPage &OpenPolicy(const char *treeKey)
    {
        auto *page = dynamic_cast<PolicyPage *>(&Open(treeKey));
        if (!page)
            throw std::runtime_error(std::string("no policy page for ") + treeKey);
        return *page;
    }
};

TEST_F(PolicyPages, EveryBoxReadsAndWritesItsOwnSwitch)
{
    for (const PageContract &contract : kPages) {
        SCOPED_TRACE(contract.className);
        const std::vector<Switch> switches = SwitchesOf(contract);
        for (const Switch &on : switches) {
            SCOPED_TRACE(on.name);
            PutDword(on.root, on.key, on.name.c_str(), 1);
            PolicyPage &page = OpenPolicy(contract.treeKey);
            ASSERT_EQ(page.objectName(), QLatin1String(contract.className));
            ASSERT_EQ(page.BoxCount(), static_cast<int>(switches.size()));
            for (int j = 0; j < page.BoxCount(); ++j) {
                // Denying the System settings always loads unticked.
                const bool alwaysOff = std::string_view(contract.className) == "frmControlPanel" && j == 5;
                EXPECT_EQ(page.chk(j)->isChecked(), switches[static_cast<size_t>(j)] == on && !alwaysOff) << j;
            }
            EXPECT_TRUE(Leave().empty()) << "an unchanged page asks nothing";
            PutDword(on.root, on.key, on.name.c_str(), 0);
        }

        // Saving writes every box, in its own place, as REG_DWORD 0 or 1.
        PolicyPage &page = OpenPolicy(contract.treeKey);
        for (int i = 0; i < page.BoxCount(); ++i)
            page.chk(i)->setChecked(i % 3 == 1);
        ASSERT_EQ(Leave({Yes}).size(), 1u);
        for (size_t i = 0; i < switches.size(); ++i) {
            const Switch &box = switches[i];
            EXPECT_EQ(StoredDword(box.root, box.key, box.name.c_str()), i % 3 == 1 ? 1u : 0u) << box.name;
        }
    }
}

TEST_F(PolicyPages, TextSwitchesLoadAsStoredAndOnlyYesRewritesThemAsNumbers)
{
    PutString(HKEY_CURRENT_USER, kExplorer, "NoDesktop", "1");
    PutString(HKEY_CURRENT_USER, kExplorer, "NoNetHood", "0");
    PutString(HKEY_CURRENT_USER, kExplorer, "NoSaveSettings", "");
    const std::string before = Hives();
    PolicyPage &page = OpenPolicy("Korvex");
    EXPECT_TRUE(page.chk(0)->isChecked()) << "only the text 1 ticks";
    EXPECT_FALSE(page.chk(1)->isChecked() || page.chk(2)->isChecked());
    EXPECT_TRUE(Leave().empty());
    for (const bool yes : {false, true}) {
        // Neither the unchanged page nor the answer No wrote anything.
        EXPECT_EQ(Hives(), before);
        PolicyPage &changed = OpenPolicy("Korvex");
        changed.chk(2)->click();
        changed.chk(2)->click(); // undone, and still a change
        EXPECT_EQ(Texts(Leave({yes ? Yes : No})), QStringList{"Save Changes ?"});
    }
    // Yes wrote: the text became a number, the missing machine key was made.
    EXPECT_EQ(StoredDword(HKEY_CURRENT_USER, kExplorer, "NoDesktop"), 1u);
    EXPECT_EQ(StoredDword(HKEY_LOCAL_MACHINE, kUpdate, "UpdateMode"), 0u);
}

TEST_F(PolicyPages, DependentBoxesFollowTheirMastersAndSystemSettingsAreOfferedOff)
{
    PutDword(HKEY_CURRENT_USER, kSystem, "NoDispAppearancePage", 1);
    PutDword(HKEY_CURRENT_USER, kSystem, "NoSystem", 1);
    PutDword(HKEY_CURRENT_USER, kIE, "NoHelpMenu", 1);
    PolicyPage &unchanged = OpenPolicy("ControlPanel");
    EXPECT_FALSE(unchanged.chk(5)->isChecked() || unchanged.chk(5)->isEnabled()) << "denying System is never offered";
    EXPECT_TRUE(Leave().empty());
    EXPECT_EQ(StoredDword(HKEY_CURRENT_USER, kSystem, "NoSystem"), 1u) << "an unchanged page leaves it";

    PolicyPage &panel = OpenPolicy("ControlPanel");
    panel.chk(0)->click();
    for (int i = 1; i <= 4; ++i)
        EXPECT_FALSE(panel.chk(i)->isEnabled()) << i;
    EXPECT_TRUE(panel.chk(1)->isChecked());
    panel.chk(10)->click();
    EXPECT_FALSE(panel.chk(12)->isEnabled());
    panel.chk(0)->click();
    EXPECT_TRUE(panel.chk(1)->isEnabled() && panel.chk(1)->isChecked());
    Leave({Yes});
    EXPECT_EQ(StoredDword(HKEY_CURRENT_USER, kSystem, "NoSystem"), 0u);

    PolicyPage &browser = OpenPolicy("IERes");
    for (int i = 14; i <= 17; ++i)
        EXPECT_FALSE(browser.chk(i)->isEnabled()) << "help items are off as soon as the page shows";
    browser.chk(13)->click();
    EXPECT_TRUE(browser.chk(14)->isEnabled());
    Leave({No});

    PolicyPage &desk = OpenPolicy("ActiveDesktop");
    desk.chk(7)->click(); // a box without dependants still marks the page changed
    desk.chk(2)->click();
    for (int i = 3; i <= 5; ++i)
        EXPECT_FALSE(desk.chk(i)->isEnabled()) << i;
    EXPECT_TRUE(desk.chk(6)->isEnabled());
    EXPECT_EQ(Leave({No}).size(), 1u);
}

TEST_F(PolicyPages, PlatformRulesHideOrDisableButStillWrite)
{
    PutDword(HKEY_CURRENT_USER, kExplorer, "NoSMHelp", 1);
    PutDword(HKEY_CURRENT_USER, kExplorer, "NoChangeStartMenu", 1);
    PutDword(HKEY_CURRENT_USER, kSystem, "NoProfilePage", 1);
    // A new machine folder reports Windows NT.
    PolicyPage &start = OpenPolicy("StartMenu");
    EXPECT_TRUE(start.chk(1)->isEnabled());
    EXPECT_FALSE(start.chk(8)->isEnabled());
    EXPECT_TRUE(start.chk(8)->isChecked());
    start.chk(0)->click();
    Leave({Yes});
    EXPECT_EQ(StoredDword(HKEY_CURRENT_USER, kExplorer, "NoChangeStartMenu"), 1u) << "a disabled box writes";

    PolicyPage &panel = OpenPolicy("ControlPanel");
    for (int i = 0; i < panel.BoxCount(); ++i)
        EXPECT_EQ(panel.chk(i)->isVisibleTo(&panel), i < 5) << i;
    panel.chk(0)->click();
    Leave({Yes});
    EXPECT_EQ(StoredDword(HKEY_CURRENT_USER, kSystem, "NoProfilePage"), 1u) << "a hidden box writes";
    EXPECT_TRUE(OpenPolicy("Explorer").chk(1)->isEnabled());
    Leave();

    MdlStart::Shutdown();
    machine_.ReportWindowsVersion("win98");
    PolicyPage &start9x = OpenPolicy("StartMenu");
    EXPECT_FALSE(start9x.chk(1)->isEnabled());
    EXPECT_FALSE(start9x.chk(5)->isEnabled());
    EXPECT_TRUE(start9x.chk(8)->isEnabled());
    EXPECT_TRUE(start9x.chk(1)->isChecked());
    Leave();
    PolicyPage &panel9x = OpenPolicy("ControlPanel");
    EXPECT_TRUE(panel9x.chk(17)->isVisibleTo(&panel9x));
    EXPECT_GT(panel9x.chk(1)->x(), panel9x.chk(0)->x()) << "dependants stand indented";
    EXPECT_EQ(panel9x.chk(5)->x(), panel9x.chk(0)->x());
    Leave();
}

} // namespace
