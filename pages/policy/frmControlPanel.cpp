#include "frmControlPanel.h"

#include "MdlStart.h"

#include <QCheckBox>

namespace
{

constexpr int kBoxes = 18;

const char *const kValueNames[kBoxes] = {
    "NoDispCPL",  "NoDispAppearancePage", "NoDispBackgroundPage", "NoDispScrSavPage",       "NoDispSettingsPage",
    "NoSystem",   "NoDevMgrPage",         "NoConfigPage",         "NoFileSysPage",          "NoVirtMemPage",
    "NoNetSetup", "NoFileSharingControl", "NoNetSetupIDPage",     "NoNetSetupSecurityPage", "NoSecCPL",
    "NoPwdPage",  "NoAdminPage",          "NoProfilePage"};

// Boxes 10 to 13 are network switches; all others are system switches.
QString KeyOfBox(int index)
{
    return kPoliciesBasePath + (index >= 10 && index <= 13 ? "\\Network" : "\\System");
}

// A master box and the boxes that only matter while it is unticked.
struct Group {
    int master, first, last;
};
const Group kGroups[] = {{0, 1, 4}, {5, 6, 9}, {10, 11, 13}, {14, 15, 17}};

constexpr int kNoSystem = 5;
constexpr int kFirstNineXOnly = 5;

} // namespace

frmControlPanel::frmControlPanel(QWidget *parent)
    : PolicyPage(QStringLiteral("frmControlPanel"), {kBoxes, 220, {1, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 15, 16, 17}},
                 parent)
{
}

std::vector<PolicyBinding> frmControlPanel::FillBindingTable() const
{
    std::vector<PolicyBinding> table;
    for (int i = 0; i < kBoxes; ++i)
        table.push_back({HKEY_CURRENT_USER, KeyOfBox(i), QString::fromLatin1(kValueNames[i])});
    return table;
}

void frmControlPanel::UpdateDependents()
{
    for (const Group &group : kGroups)
        for (int i = group.first; i <= group.last; ++i)
            chk(i)->setEnabled(!chk(group.master)->isChecked());
}

void frmControlPanel::AfterClick(int)
{
    UpdateDependents();
}

void frmControlPanel::ApplyPageRules()
{
    // "Deny Access to the System Settings" is always offered unticked and cannot be ticked here:
    // a save writes it as 0.
    chk(kNoSystem)->setChecked(false);
    chk(kNoSystem)->setEnabled(false);
    const bool nt = MdlStart::IsWindowsNT();
    for (int i = kFirstNineXOnly; i < kBoxes; ++i)
        chk(i)->setVisible(!nt);
}
