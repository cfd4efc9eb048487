#include "frmExplorer.h"

#include "MdlStart.h"

#include <QCheckBox>

namespace
{

constexpr int kBoxes = 5;

// Box i: root, key path and value name. Box 2 shares its switch with the Internet Explorer page.
const win::HKEY kRoots[kBoxes] = {HKEY_CURRENT_USER, HKEY_CURRENT_USER, HKEY_CURRENT_USER, HKEY_CURRENT_USER,
                                  HKEY_CURRENT_USER};
const QString kKeyPaths[kBoxes] = {kPoliciesBasePath + "\\Explorer", kPoliciesBasePath + "\\Explorer",
                                   kIERestrictionsKey, kPoliciesBasePath + "\\Explorer",
                                   kPoliciesBasePath + "\\Explorer"};
const char *const kValueNames[kBoxes] = {"NoFileMenu", "NoViewContextMenu", "NoBrowserClose", "NoExpandedNewMenu",
                                         "NoFolderOptions"};

constexpr int kNoViewContextMenu = 1;

} // namespace

frmExplorer::frmExplorer(QWidget *parent) : PolicyPage(QStringLiteral("frmExplorer"), {kBoxes, 180, {}}, parent) {}

std::vector<PolicyBinding> frmExplorer::FillBindingTable() const
{
    std::vector<PolicyBinding> table;
    for (int i = 0; i < kBoxes; ++i)
        table.push_back({kRoots[i], kKeyPaths[i], QString::fromLatin1(kValueNames[i])});
    return table;
}

void frmExplorer::ApplyPageRules()
{
    chk(kNoViewContextMenu)->setEnabled(MdlStart::IsWindowsNT());
}
