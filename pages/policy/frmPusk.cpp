#include "frmPusk.h"

namespace
{

constexpr PolicySwitch kSwitches[] = {
    UnderPolicies("\\Explorer", "NoRecentDocsMenu"),
    UnderPolicies("\\Explorer", "NoSMHelp"),
    UnderPolicies("\\Explorer", "NoClose"),
    UnderPolicies("\\Explorer", "NoRun"),
    UnderPolicies("\\Explorer", "ClearRecentDocsOnExit"),
    UnderPolicies("\\Explorer", "NoSMMyDocs"),
    UnderPolicies("\\Explorer", "NoFind"),
    UnderPolicies("\\Explorer", "NoSetActiveDesktop"),
    UnderPolicies("\\Explorer", "NoChangeStartMenu"),
    UnderPolicies("\\Explorer", "NoSetFolders"),
    UnderPolicies("\\Explorer", "NoSetTaskbar"),
    UnderPolicies("\\Explorer", "NoControlPanel"),
    UnderPolicies("\\Explorer", "NoFavoritesMenu"),
    UnderPolicies("\\Explorer", "NoLogOff"),
};

// Each platform honours only some of these switches; the others keep their state.
constexpr PlatformRule kRules[] = {
    {PlatformRule::EnabledOnNTOnly, 1, 1}, // NoSMHelp
    {PlatformRule::EnabledOnNTOnly, 5, 5}, // NoSMMyDocs
    {PlatformRule::EnabledOn9xOnly, 8, 8}, // NoChangeStartMenu
};

constexpr PolicyPageDeclaration kPage{"frmPusk", 240, kSwitches, {}, kRules};

} // namespace

frmPusk::frmPusk(QWidget *parent) : PolicyPage(kPage, parent) {}

QString frmPusk::SettingCaption(std::string_view target, std::string_view name)
{
    return CaptionOfSwitch(kPage, target, name);
}
