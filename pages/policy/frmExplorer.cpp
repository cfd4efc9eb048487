#include "frmExplorer.h"

namespace
{

// Box 2 shares its switch with the Internet Explorer page.
constexpr PolicySwitch kSwitches[] = {
    UnderPolicies("\\Explorer", "NoFileMenu"),      UnderPolicies("\\Explorer", "NoViewContextMenu"),
    AtKey(kIERestrictionsKey, "NoBrowserClose"),    UnderPolicies("\\Explorer", "NoExpandedNewMenu"),
    UnderPolicies("\\Explorer", "NoFolderOptions"),
};

constexpr PlatformRule kRules[] = {{PlatformRule::EnabledOnNTOnly, 1, 1}}; // NoViewContextMenu

constexpr PolicyPageDeclaration kPage{"frmExplorer", 180, kSwitches, {}, kRules};

} // namespace

frmExplorer::frmExplorer(QWidget *parent) : PolicyPage(kPage, parent) {}

QString frmExplorer::SettingCaption(std::string_view target, std::string_view name)
{
    return CaptionOfSwitch(kPage, target, name);
}
