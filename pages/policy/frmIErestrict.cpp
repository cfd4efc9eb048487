#include "frmIErestrict.h"

namespace
{

constexpr PolicySwitch kSwitches[] = {
    AtKey(kIERestrictionsKey, "NoBrowserClose"),
    AtKey(kIERestrictionsKey, "NoBrowserContextMenu"),
    AtKey(kIERestrictionsKey, "NoBrowserOptions"),
    AtKey(kIERestrictionsKey, "NoBrowserSaveAs"),
    AtKey(kIERestrictionsKey, "NoFavorites"),
    AtKey(kIERestrictionsKey, "NoFileNew"),
    AtKey(kIERestrictionsKey, "NoFileOpen"),
    AtKey(kIERestrictionsKey, "NoFindFiles"),
    AtKey(kIERestrictionsKey, "NoSelectDownloadDir"),
    AtKey(kIERestrictionsKey, "NoTheaterMode"),
    AtKey(kIERestrictionsKey, "NoAddressBar"),
    AtKey(kIERestrictionsKey, "NoToolBar"),
    AtKey(kIERestrictionsKey, "NoLinksBar"),
    AtKey(kIERestrictionsKey, "NoHelpMenu"),
    AtKey(kIERestrictionsKey, "NoHelpItemNetscapeHelp"),
    AtKey(kIERestrictionsKey, "NoHelpItemSendFeedback"),
    AtKey(kIERestrictionsKey, "NoHelpItemTipOfTheDay"),
    AtKey(kIERestrictionsKey, "NoHelpItemTutorial"),
};

// The help menu's own items matter only while the whole menu is allowed.
constexpr DependencyGroup kGroups[] = {{13, 14, 17}};

constexpr PolicyPageDeclaration kPage{"frmIErestrict", 200, kSwitches, kGroups, {}, false, false};

} // namespace

frmIErestrict::frmIErestrict(QWidget *parent) : PolicyPage(kPage, parent) {}

QString frmIErestrict::SettingCaption(std::string_view target, std::string_view name)
{
    return CaptionOfSwitch(kPage, target, name);
}
