#include "frmActDesk.h"

namespace
{

constexpr PolicySwitch kSwitches[] = {
    UnderPolicies("\\Explorer", "NoActiveDesktopChanges"),    UnderPolicies("\\ActiveDesktop", "NoChangingWallpaper"),
    UnderPolicies("\\ActiveDesktop", "NoComponents"),         UnderPolicies("\\ActiveDesktop", "NoAddingComponents"),
    UnderPolicies("\\ActiveDesktop", "NoDeletingComponents"), UnderPolicies("\\ActiveDesktop", "NoEditingComponents"),
    UnderPolicies("\\ActiveDesktop", "NoCloseDragDropBands"), UnderPolicies("\\ActiveDesktop", "NoMovingBands"),
};

// Adding, deleting and editing components matter only while components are allowed.
constexpr DependencyGroup kGroups[] = {{2, 3, 5}};

// This page sets each box's state before its caption.
constexpr PolicyPageDeclaration kPage{"frmActDesk", 280, kSwitches, kGroups, {}, true, false};

} // namespace

frmActDesk::frmActDesk(QWidget *parent) : PolicyPage(kPage, parent) {}

QString frmActDesk::SettingCaption(std::string_view target, std::string_view name)
{
    return CaptionOfSwitch(kPage, target, name);
}
