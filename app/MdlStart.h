// Start-up: the program's entry routine, which makes the main window and the tree window and
// places the first page beside the tree. The globals it decides and the page it places are
// owned by StartGlobals.h.
#pragma once

#include "PageCatalogue.h"
#include "StartGlobals.h"

class frmStart;
class frmTR;

namespace MdlStart
{

// Runs start-up once: the pages of the catalogue are installed, the About page becomes
// current, the platform is decided, the main window and the tree window are shown, and the
// page is placed.
void Main(PageCatalogue pages);

frmStart *MainWindow();
frmTR *TreeWindow();

// Closes and destroys the windows, running the current page's unload first (tests start the
// program more than once in one process).
void Shutdown();

} // namespace MdlStart
