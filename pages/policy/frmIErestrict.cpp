#include "frmIErestrict.h"

#include <QCheckBox>

namespace
{

constexpr int kBoxes = 18;

// Every switch of this page lives under the browser's restrictions key.
const char *const kValueNames[kBoxes] = {"NoBrowserClose",
                                         "NoBrowserContextMenu",
                                         "NoBrowserOptions",
                                         "NoBrowserSaveAs",
                                         "NoFavorites",
                                         "NoFileNew",
                                         "NoFileOpen",
                                         "NoFindFiles",
                                         "NoSelectDownloadDir",
                                         "NoTheaterMode",
                                         "NoAddressBar",
                                         "NoToolBar",
                                         "NoLinksBar",
                                         "NoHelpMenu",
                                         "NoHelpItemNetscapeHelp",
                                         "NoHelpItemSendFeedback",
                                         "NoHelpItemTipOfTheDay",
                                         "NoHelpItemTutorial"};

// The help menu's own items matter only while the whole menu is allowed.
constexpr int kNoHelpMenu = 13;
constexpr int kFirstHelpItem = 14;

} // namespace

frmIErestrict::frmIErestrict(QWidget *parent)
    : PolicyPage(QStringLiteral("frmIErestrict"), {kBoxes, 200, {14, 15, 16, 17}, false, false}, parent)
{
}

std::vector<PolicyBinding> frmIErestrict::FillBindingTable() const
{
    std::vector<PolicyBinding> table;
    for (const char *name : kValueNames)
        table.push_back({HKEY_CURRENT_USER, kIERestrictionsKey, QString::fromLatin1(name)});
    return table;
}

void frmIErestrict::UpdateDependents()
{
    for (int i = kFirstHelpItem; i < kBoxes; ++i)
        chk(i)->setEnabled(!chk(kNoHelpMenu)->isChecked());
}

void frmIErestrict::AfterClick(int)
{
    UpdateDependents();
}

void frmIErestrict::ApplyPageRules()
{
    UpdateDependents();
}
