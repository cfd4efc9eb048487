#include "frmControlPanel.h"

namespace
{

constexpr PolicySwitch kSwitches[] = {
    UnderPolicies("\\System", "NoDispCPL"),
    UnderPolicies("\\System", "NoDispAppearancePage"),
    UnderPolicies("\\System", "NoDispBackgroundPage"),
    UnderPolicies("\\System", "NoDispScrSavPage"),
    UnderPolicies("\\System", "NoDispSettingsPage"),
    UnderPolicies("\\System", "NoSystem"),
    UnderPolicies("\\System", "NoDevMgrPage"),
    UnderPolicies("\\System", "NoConfigPage"),
    UnderPolicies("\\System", "NoFileSysPage"),
    UnderPolicies("\\System", "NoVirtMemPage"),
    UnderPolicies("\\Network", "NoNetSetup"),
    UnderPolicies("\\Network", "NoFileSharingControl"),
    UnderPolicies("\\Network", "NoNetSetupIDPage"),
    UnderPolicies("\\Network", "NoNetSetupSecurityPage"),
    UnderPolicies("\\System", "NoSecCPL"),
    UnderPolicies("\\System", "NoPwdPage"),
    UnderPolicies("\\System", "NoAdminPage"),
    UnderPolicies("\\System", "NoProfilePage"),
};

constexpr DependencyGroup kGroups[] = {{0, 1, 4}, {5, 6, 9}, {10, 11, 13}, {14, 15, 17}};

constexpr PlatformRule kRules[] = {
    // "Deny Access to the System Settings" is always offered unticked: a save writes it as 0.
    {PlatformRule::AlwaysOffDisabled, 5, 5},
    {PlatformRule::HiddenOnNT, 5, 17},
};

constexpr PolicyPageDeclaration kPage{"frmControlPanel", 220, kSwitches, kGroups, kRules};

} // namespace

frmControlPanel::frmControlPanel(QWidget *parent) : PolicyPage(kPage, parent) {}

QString frmControlPanel::SettingCaption(std::string_view target, std::string_view name)
{
    return CaptionOfSwitch(kPage, target, name);
}
