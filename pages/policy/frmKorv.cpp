#include "frmKorv.h"

namespace
{

constexpr PolicySwitch kSwitches[] = {
    UnderPolicies("\\Explorer", "NoDesktop"),
    UnderPolicies("\\Explorer", "NoNetHood"),
    UnderPolicies("\\Explorer", "NoSaveSettings"),
    UnderPolicies("\\System", "DisableRegistryTools"),
    AtKey("SYSTEM\\CurrentControlSet\\Control\\Update", "UpdateMode", kLocalMachine),
};

constexpr PolicyPageDeclaration kPage{"frmKorv", 260, kSwitches};

} // namespace

frmKorv::frmKorv(QWidget *parent) : PolicyPage(kPage, parent) {}

QString frmKorv::SettingCaption(std::string_view target, std::string_view name)
{
    return CaptionOfSwitch(kPage, target, name);
}
