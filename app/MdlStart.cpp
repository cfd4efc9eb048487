#include "MdlStart.h"

#include "Page.h"
#include "frmStart.h"
#include "frmTR.h"

#include <QPointer>

namespace MdlStart
{

namespace
{

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

void Main(PageCatalogue pages)
{
    InstallPages(pages);
    if (!CurrentPage())
        ShowAboutPage();
    DecidePlatform();
    Main_() = new frmStart;
    Main_()->setAttribute(Qt::WA_DeleteOnClose);
    Main_()->PlaceOnScreen();
    Tree_() = new frmTR(Main_()->Client());
    PlaceBeside(Tree_());
    Tree_()->Form_Load();
    Main_()->show();
    Tree_()->show();
    Main_()->MDIForm_Resize();
    PlacePage();
}

void Shutdown()
{
    if (frmStart *window = MainWindow()) {
        window->close();
        delete window;
    }
    UnloadCurrentPage();
    Main_() = nullptr;
    Tree_() = nullptr;
}

} // namespace MdlStart
