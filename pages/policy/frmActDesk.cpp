#include "frmActDesk.h"

#include <QCheckBox>

namespace
{

constexpr int kBoxes = 8;

struct Switch {
    QString keyPath;
    const char *valueName;
};

// Box i: its root beside its key path and value name.
const win::HKEY kRoots[kBoxes] = {HKEY_CURRENT_USER, HKEY_CURRENT_USER, HKEY_CURRENT_USER, HKEY_CURRENT_USER,
                                  HKEY_CURRENT_USER, HKEY_CURRENT_USER, HKEY_CURRENT_USER, HKEY_CURRENT_USER};
const Switch kSwitches[kBoxes] = {
    {kPoliciesBasePath + "\\Explorer", "NoActiveDesktopChanges"},
    {kPoliciesBasePath + "\\ActiveDesktop", "NoChangingWallpaper"},
    {kPoliciesBasePath + "\\ActiveDesktop", "NoComponents"},
    {kPoliciesBasePath + "\\ActiveDesktop", "NoAddingComponents"},
    {kPoliciesBasePath + "\\ActiveDesktop", "NoDeletingComponents"},
    {kPoliciesBasePath + "\\ActiveDesktop", "NoEditingComponents"},
    {kPoliciesBasePath + "\\ActiveDesktop", "NoCloseDragDropBands"},
    {kPoliciesBasePath + "\\ActiveDesktop", "NoMovingBands"},
};

// Adding, deleting and editing components matter only while components are allowed.
constexpr int kNoComponents = 2;
constexpr int kFirstComponentBox = 3;
constexpr int kLastComponentBox = 5;

} // namespace

frmActDesk::frmActDesk(QWidget *parent)
    : PolicyPage(QStringLiteral("frmActDesk"), {kBoxes, 280, {3, 4, 5}, true, false}, parent)
{
}

std::vector<PolicyBinding> frmActDesk::FillBindingTable() const
{
    std::vector<PolicyBinding> table;
    for (int i = 0; i < kBoxes; ++i)
        table.push_back({kRoots[i], kSwitches[i].keyPath, QString::fromLatin1(kSwitches[i].valueName)});
    return table;
}

void frmActDesk::ApplyComponentRule()
{
    for (int i = kFirstComponentBox; i <= kLastComponentBox; ++i)
        chk(i)->setEnabled(!chk(kNoComponents)->isChecked());
}

void frmActDesk::AfterClick(int)
{
    ApplyComponentRule();
}

void frmActDesk::ApplyPageRules()
{
    ApplyComponentRule();
}
