// Start-up's two globals, the page shown beside the tree and the platform's "CurrentVersion"
// key, each with its one owner. Only the functions here create, load, place, unload and destroy
// pages: the tree, the main window and the pages ask them. The windows themselves are made by
// Main (MdlStart.h), which builds on this.
#pragma once

#include <QString>

class Page;
class QWidget;

namespace MdlStart
{

// HKEY_LOCAL_MACHINE's "CurrentVersion" key of the platform, decided at start-up and again
// when the machine changes.
extern QString CurrentVersionKey;

// True when the platform is Windows NT (the machine reports platform 2).
bool IsWindowsNT();
// Sets CurrentVersionKey for the machine in use.
void DecidePlatform();

// The page shown beside the tree; exactly one once start-up has run.
Page *CurrentPage();

// Pages go into the tree window's parent, right of the tree.
void PlaceBeside(QWidget *tree);

// The tree's node click: unloads the current page (its save question first), then makes the
// page of `key` current (the installed catalogue's, else About) and places it.
void OpenPage(const QString &key);

// Unloads the current page and places the About page instead. Safe from a handler of the
// page being replaced (its OK button).
void ShowAboutPage();

// Unloads and destroys the current page; none is current after.
void UnloadCurrentPage();

// Loads the current page when it is new, sizes it to the right two thirds of the area beside
// the tree and shows it without activating it.
void PlacePage();
void ShowPage();

} // namespace MdlStart
