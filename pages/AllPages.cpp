#include "AllPages.h"

#include "frmActDesk.h"
#include "frmClockText.h"
#include "frmConFileMenu.h"
#include "frmControlPanel.h"
#include "frmDrvIco.h"
#include "frmExplorer.h"
#include "frmFIcon.h"
#include "frmFldIco.h"
#include "frmHistory.h"
#include "frmIETB.h"
#include "frmIErestrict.h"
#include "frmInetOpti.h"
#include "frmKorv.h"
#include "frmPusk.h"
#include "frmShell32.h"
#include "frmSiteFind.h"
#include "frmStartUp.h"
#include "frmSysBtn.h"
#include "frmUninstall.h"
#include "frmVHDD.h"
#include "frmVHDDrun.h"
#include "frmshortcut.h"

namespace
{

template <typename P> Page *Make()
{
    return new P;
}

constexpr auto Every = Platforms::Every;

// Keys are the same in every language; two captions are literal. Group nodes open no page of
// their own and show About. The tuning page exists only on the 9x platform and follows every
// other node; the history of Korvex's changes comes last of all.
// clang-format off
constexpr PageRow kPages[] = {
//   key              parent      caption  literal               image           platforms             page               make                    setting caption
    {"About",         "",         111,     nullptr,              "imgHlp",       Every,                nullptr,           nullptr,                nullptr},
    {"Windows",       "",         102,     nullptr,              "RootDir",      Every,                nullptr,           nullptr,                nullptr},
    {"StartUp",       "Windows",  103,     nullptr,              "imgStart",     Every,                "frmStartUp",      &Make<frmStartUp>,      &frmStartUp::SettingCaption},
    {"Korvex",        "Windows",  112,     nullptr,              "imgAdm",       Every,                "frmKorv",         &Make<frmKorv>,         &frmKorv::SettingCaption},
    {"StartMenu",     "Windows",  116,     nullptr,              "imgWin",       Every,                "frmPusk",         &Make<frmPusk>,         &frmPusk::SettingCaption},
    {"Explorer",      "Windows",  117,     nullptr,              "imgExpl",      Every,                "frmExplorer",     &Make<frmExplorer>,     &frmExplorer::SettingCaption},
    {"ActiveDesktop", "Windows",  119,     nullptr,              "imgDesk",      Every,                "frmActDesk",      &Make<frmActDesk>,      &frmActDesk::SettingCaption},
    {"IE",            "Windows",  0,       "Internet Explorer",  "imgIE",        Every,                nullptr,           nullptr,                nullptr},
    {"IERes",         "IE",       176,     nullptr,              "imgIE",        Every,                "frmIErestrict",   &Make<frmIErestrict>,   &frmIErestrict::SettingCaption},
    {"IETB",          "IE",       300,     nullptr,              "imgIE",        Every,                "frmIETB",         &Make<frmIETB>,         &frmIETB::SettingCaption},
    {"ControlPanel",  "Windows",  136,     nullptr,              "ControlPanel", Every,                "frmControlPanel", &Make<frmControlPanel>, &frmControlPanel::SettingCaption},
    {"Uninstall",     "Windows",  0,       "Windows Uninstall",  "Uninst",       Every,                "frmUninstall",    &Make<frmUninstall>,    nullptr},
    {"GUI",           "",         398,     nullptr,              "RootDir",      Every,                nullptr,           nullptr,                nullptr},
    {"DrvIco",        "GUI",      164,     nullptr,              "imgDrvIco",    Every,                "frmDrvIco",       &Make<frmDrvIco>,       nullptr},
    {"FldIco",        "GUI",      115,     nullptr,              "imgFldIco",    Every,                "frmFldIco",       &Make<frmFldIco>,       nullptr},
    {"sysIco",        "GUI",      399,     nullptr,              "imgIcons",     Every,                "frmShell32",      &Make<frmShell32>,      nullptr},
    {"FIcon",         "GUI",      350,     nullptr,              "FIcon",        Every,                "frmFIcon",        &Make<frmFIcon>,        nullptr},
    {"MenuItem",      "GUI",      310,     nullptr,              "imgMenu",      Every,                "frmConFileMenu",  &Make<frmConFileMenu>,  nullptr},
    {"Short",         "GUI",      386,     nullptr,              "imgShort",     Every,                "frmshortcut",     &Make<frmshortcut>,     nullptr},
    {"Internet",      "",         340,     nullptr,              "RootDir",      Every,                nullptr,           nullptr,                nullptr},
    {"ieSF",          "Internet", 450,     nullptr,              "imgSF",        Every,                "frmSiteFind",     &Make<frmSiteFind>,     nullptr},
    {"Other",         "",         114,     nullptr,              "RootDir",      Every,                nullptr,           nullptr,                nullptr},
    {"VHDD",          "Other",    360,     nullptr,              "RootDir",      Every,                nullptr,           nullptr,                nullptr},
    {"Subst",         "VHDD",     368,     nullptr,              "Subst",        Every,                "frmVHDD",         &Make<frmVHDD>,         nullptr},
    {"runSubst",      "VHDD",     367,     nullptr,              "runSubst",     Every,                "frmVHDDrun",      &Make<frmVHDDrun>,      nullptr},
    {"Clock",         "Other",    337,     nullptr,              "imgClock",     Every,                "frmClockText",    &Make<frmClockText>,    &frmClockText::SettingCaption},
    {"SysEl",         "Other",    460,     nullptr,              "imgSE",        Every,                "frmSysBtn",       &Make<frmSysBtn>,       nullptr},
    {"Optim",         "Internet", 341,     nullptr,              "imgTel",       Platforms::NineXOnly, "frmInetOpti",     &Make<frmInetOpti>,     nullptr},
    {"History",       "",         1000,    nullptr,              "imgAdm",       Every,                "frmHistory",      &Make<frmHistory>,      nullptr},
};
// clang-format on

} // namespace

PageCatalogue AllPages()
{
    return kPages;
}
