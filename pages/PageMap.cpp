#include "PageMap.h"

#include "Page.h"
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

#include <QHash>

namespace
{

using Maker = Page *(*)();

template <typename P> Page *Make()
{
    return new P;
}

// Tree keys and the pages they open. A key that is not here shows the About page; the pages of
// the tree are added here as they are built.
const QHash<QString, Maker> &Pages()
{
    // clang-format off
    static const QHash<QString, Maker> pages{
        {QStringLiteral("StartUp"),       &Make<frmStartUp>},
        {QStringLiteral("Korvex"),        &Make<frmKorv>},
        {QStringLiteral("StartMenu"),     &Make<frmPusk>},
        {QStringLiteral("Explorer"),      &Make<frmExplorer>},
        {QStringLiteral("ActiveDesktop"), &Make<frmActDesk>},
        {QStringLiteral("IERes"),         &Make<frmIErestrict>},
        {QStringLiteral("ControlPanel"),  &Make<frmControlPanel>},
        {QStringLiteral("Short"),         &Make<frmshortcut>},
        {QStringLiteral("IETB"),          &Make<frmIETB>},
        {QStringLiteral("sysIco"),        &Make<frmShell32>},
        {QStringLiteral("FIcon"),         &Make<frmFIcon>},
        {QStringLiteral("DrvIco"),        &Make<frmDrvIco>},
        {QStringLiteral("FldIco"),        &Make<frmFldIco>},
        {QStringLiteral("Clock"),         &Make<frmClockText>},
        {QStringLiteral("MenuItem"),      &Make<frmConFileMenu>},
        {QStringLiteral("Uninstall"),     &Make<frmUninstall>},
        {QStringLiteral("SysEl"),         &Make<frmSysBtn>},
        {QStringLiteral("ieSF"),          &Make<frmSiteFind>},
        {QStringLiteral("Optim"),         &Make<frmInetOpti>},
        {QStringLiteral("Subst"),         &Make<frmVHDD>},
        {QStringLiteral("runSubst"),      &Make<frmVHDDrun>},
        {QStringLiteral("History"),       &Make<frmHistory>},
    };
    // clang-format on
    return pages;
}

} // namespace

Page *CreatePage(const QString &key)
{
    const Maker make = Pages().value(key);
    return make ? make() : nullptr;
}
