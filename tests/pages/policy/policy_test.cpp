// The six policy pages used as a user uses them: opened through the tree, changed, and closed
// with the real save question; what they stored is read back through the platform.
#include "PageTest.h"
#include "PolicyPage.h"

namespace
{

constexpr const char *kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char *kSystem = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const char *kUpdate = "SYSTEM\\CurrentControlSet\\Control\\Update";

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

// Which value each box stands for is checked end to end, a few boxes per page; here every box
// of every page goes through a save and a load.
TEST_F(PolicyPages, EveryBoxIsSavedAndLoadedBack)
{
    for (const char *treeKey : {"Korvex", "StartMenu", "ControlPanel", "Explorer", "IERes", "ActiveDesktop"}) {
        SCOPED_TRACE(treeKey);
        PolicyPage &page = OpenPolicy(treeKey);
        for (int i = 0; i < page.BoxCount(); ++i)
            page.chk(i)->setChecked(i % 3 == 1);
        ASSERT_EQ(Leave({Yes}).size(), 1u);
        PolicyPage &reopened = OpenPolicy(treeKey);
        for (int i = 0; i < reopened.BoxCount(); ++i)
            EXPECT_EQ(reopened.chk(i)->isChecked(), i % 3 == 1) << i;
        EXPECT_TRUE(Leave().empty()) << "an unchanged page asks nothing";
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
}

} // namespace
