#include "MdlStart.h"

#include "Page.h"
#include "frmAbout.h"
#include "frmStart.h"
#include "frmTR.h"
#include "journal.h"
#include "machine.h"
#include "win32.h"

#include <QPointer>

namespace MdlStart
{

// Both start empty without any code running at start-up, and Main sets them. Their destructors
// run at exit, when no window is left to use them.
// NOLINTBEGIN(clang-diagnostic-global-constructors)
constinit QPointer<Page> CurrentPage;
constinit QString CurrentVersionKey;
// NOLINTEND(clang-diagnostic-global-constructors)

namespace
{

PageFactory &Pages()
{
    static PageFactory factory;
    return factory;
}

QPointer<frmStart> &Main_()
{
    static QPointer<frmStart> window;
    return window;
}

QPointer<frmTR> &Tree_()
{
    static QPointer<frmTR> window;
    return window;
}

} // namespace

frmStart *MainWindow()
{
    return Main_();
}

frmTR *TreeWindow()
{
    return Tree_();
}

bool IsWindowsNT()
{
    win::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return win::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

Page *CreatePageForKey(const QString &key)
{
    // The changes from here on are this page's, in the history of changes.
    journal::SetPage(key.toStdString());
    Page *page = Pages() ? Pages()(key) : nullptr;
    return page ? page : new frmAbout;
}

namespace
{

// Unloads the current page and takes it away; `later` when the page's own handler is running.
void TakeAwayCurrentPage(bool later)
{
    Page *old = CurrentPage;
    if (!old)
        return;
    CurrentPage = nullptr;
    old->Unload();
    if (later) {
        old->hide();
        old->deleteLater();
    } else {
        delete old;
    }
}

} // namespace

void UnloadCurrentPage()
{
    TakeAwayCurrentPage(false);
}

void ShowAboutPage()
{
    TakeAwayCurrentPage(true);
    CurrentPage = new frmAbout;
    PlacePage();
}

namespace
{

void DecidePlatform()
{
    CurrentVersionKey = IsWindowsNT() ? QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion")
                                      : QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion");
}

} // namespace

void SwitchMachine(const std::string &folder)
{
    UnloadCurrentPage();
    win::UseMachineFolder(folder);
    win::ResetMachine();
    DecidePlatform();
    if (frmTR *tree = TreeWindow())
        tree->BuildTree();
    ShowAboutPage();
}

void Main(PageFactory pages)
{
    Pages() = std::move(pages);
    if (!CurrentPage)
        CurrentPage = new frmAbout;
    DecidePlatform();
    Main_() = new frmStart;
    Main_()->setAttribute(Qt::WA_DeleteOnClose);
    Main_()->resize(TwipsToPixelsX(12000, Main_()), TwipsToPixelsY(8000, Main_()));
    Tree_() = new frmTR(Main_()->Client());
    Tree_()->Form_Load();
    Main_()->show();
    Tree_()->show();
    Main_()->MDIForm_Resize();
    PlacePage();
}

void PlacePage()
{
    frmStart *window = MainWindow();
    Page *page = CurrentPage;
    if (!window || !page)
        return;
    QWidget *client = window->Client();
    if (page->parentWidget() != client)
        page->setParent(client);
    page->Load();
    const int left = TreeWindow() ? TreeWindow()->width() : 0;
    const QRect wanted(left, 0, qRound(static_cast<float>(client->width()) * 2.0f / 3.0f), client->height());
    if (page->geometry() != wanted)
        page->setGeometry(wanted);
    ShowPage();
}

void ShowPage()
{
    if (Page *page = CurrentPage) {
        page->setAttribute(Qt::WA_ShowWithoutActivating);
        page->show();
    }
}

void Shutdown()
{
    if (frmStart *window = MainWindow()) {
        window->close();
        delete window;
    }
    if (Page *page = CurrentPage) {
        page->Unload();
        delete page;
    }
    Main_() = nullptr;
    Tree_() = nullptr;
}

} // namespace MdlStart
