#include "frmPusk.h"

#include "MdlStart.h"

#include <QCheckBox>

namespace
{

constexpr int kBoxes = 14;

// Every switch of this page lives under one key of the current user.
const char *const kValueNames[kBoxes] = {"NoRecentDocsMenu",      "NoSMHelp",     "NoClose",      "NoRun",
                                         "ClearRecentDocsOnExit", "NoSMMyDocs",   "NoFind",       "NoSetActiveDesktop",
                                         "NoChangeStartMenu",     "NoSetFolders", "NoSetTaskbar", "NoControlPanel",
                                         "NoFavoritesMenu",       "NoLogOff"};

enum Box { NoSMHelp = 1, NoSMMyDocs = 5, NoChangeStartMenu = 8 };

} // namespace

frmPusk::frmPusk(QWidget *parent) : PolicyPage(QStringLiteral("frmPusk"), {kBoxes, 240, {}}, parent) {}

std::vector<PolicyBinding> frmPusk::FillBindingTable() const
{
    std::vector<PolicyBinding> table;
    for (const char *name : kValueNames)
        table.push_back({HKEY_CURRENT_USER, kPoliciesBasePath + "\\Explorer", QString::fromLatin1(name)});
    return table;
}

void frmPusk::ApplyPageRules()
{
    // Each platform honours only some of these switches; the others keep their state.
    const bool nt = MdlStart::IsWindowsNT();
    chk(NoSMHelp)->setEnabled(nt);
    chk(NoSMMyDocs)->setEnabled(nt);
    chk(NoChangeStartMenu)->setEnabled(!nt);
}
