#include "StartGlobals.h"

#include "Page.h"
#include "PageCatalogue.h"
#include "frmAbout.h"
#include "journal.h"
#include "win32.h"

#include <QPointer>

namespace MdlStart
{

// Starts empty without any code running at start-up, and start-up sets it. Its destructor runs
// at exit, when no window is left to use it.
// NOLINTNEXTLINE(clang-diagnostic-global-constructors)
constinit QString CurrentVersionKey;

namespace
{

QPointer<Page> &Current()
{
    static QPointer<Page> page;
    return page;
}

QPointer<QWidget> &Tree()
{
    static QPointer<QWidget> tree;
    return tree;
}

Page *CreatePageForKey(const QString &key)
{
    // The changes from here on are this page's, in the history of changes.
    journal::SetPage(key.toStdString());
    const PageRow *row = PageRowOf(key);
    return row && row->make ? row->make() : new frmAbout;
}

// Unloads the current page and takes it away; `later` when the page's own handler is running.
void TakeAwayCurrentPage(bool later)
{
    Page *old = std::exchange(Current(), nullptr);
    if (!old)
        return;
    old->Unload();
    if (later) {
        old->hide();
        old->deleteLater();
    } else {
        delete old;
    }
}

} // namespace

bool IsWindowsNT()
{
    win::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return win::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void DecidePlatform()
{
    CurrentVersionKey = IsWindowsNT() ? QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion")
                                      : QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion");
}

Page *CurrentPage()
{
    return Current();
}

void PlaceBeside(QWidget *tree)
{
    Tree() = tree;
}

void OpenPage(const QString &key)
{
    // The page shown so far goes first: its save question comes before the next page exists.
    TakeAwayCurrentPage(false);
    Current() = CreatePageForKey(key);
    PlacePage();
}

void ShowAboutPage()
{
    TakeAwayCurrentPage(true);
    Current() = new frmAbout;
    PlacePage();
}

void UnloadCurrentPage()
{
    TakeAwayCurrentPage(false);
}

void PlacePage()
{
    QWidget *tree = Tree();
    Page *page = Current();
    QWidget *area = tree ? tree->parentWidget() : nullptr;
    if (!area || !page)
        return;
    if (page->parentWidget() != area)
        page->setParent(area);
    page->Load();
    const QRect wanted(tree->width(), 0, qRound(static_cast<float>(area->width()) * 2.0f / 3.0f), area->height());
    if (page->geometry() != wanted)
        page->setGeometry(wanted);
    ShowPage();
}

void ShowPage()
{
    if (Page *page = Current()) {
        page->setAttribute(Qt::WA_ShowWithoutActivating);
        page->show();
    }
}

} // namespace MdlStart
