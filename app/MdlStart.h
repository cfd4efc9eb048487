// Start-up: the program's entry routine, the platform test, and the placing of the one page
// that is shown beside the navigation tree.
#pragma once

#include "PageCatalogue.h"

#include <QPointer>
#include <QString>
#include <string>

class Page;
class frmStart;
class frmTR;

namespace MdlStart
{

// The page shown beside the tree; exactly one once start-up has run.
extern QPointer<Page> CurrentPage;
// HKEY_LOCAL_MACHINE's "CurrentVersion" key of the platform, chosen once at start-up.
extern QString CurrentVersionKey;

// Runs start-up once: the pages of the catalogue are installed, the About page becomes
// current, the platform is decided, the main window and the tree window are shown, and the
// page is placed.
void Main(PageCatalogue pages);

// Loads the current page when it is new, sizes it to the right two thirds of the main
// window's inner area and shows it without activating it.
void PlacePage();
void ShowPage();

// True when the platform is Windows NT (the machine reports platform 2).
bool IsWindowsNT();

// The page for a tree key: the installed catalogue's, else the About page.
Page *CreatePageForKey(const QString &key);

// Unloads and destroys the current page (its save question first); no page is current after.
void UnloadCurrentPage();

// Closes the current page and shows the About page in its place, leaving the tree's selection
// as it is (a page's OK button).
void ShowAboutPage();

// Works on another machine folder from now on: the current page is unloaded first (its save
// question, its writes going to the machine it was loaded from), then the machine is switched,
// the platform decided anew, the tree rebuilt for it and the About page placed.
void SwitchMachine(const std::string &folder);

frmStart *MainWindow();
frmTR *TreeWindow();

// Closes and destroys the windows, running the current page's unload first (tests start the
// program more than once in one process).
void Shutdown();

} // namespace MdlStart
