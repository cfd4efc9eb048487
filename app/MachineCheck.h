// The machine Korvex works on, at start: a new machine folder is filled with a fresh Windows 98,
// and a machine that cannot be changed is reported once.
#pragma once

#include <QString>

class QWidget;

// Fills the chosen machine folder with the bundled Windows 98 registry when it has none yet
// (Korvex's own folder on first start, or a WINEPREFIX that does not exist), and its drive C: with
// the bundled files (lmhosts, an icon library, a folder with its own icon). Returns true when it
// did all of it.
bool SeedNewMachine();

// Why the machine's settings cannot be changed now, for the user: a running wineserver, damaged
// registry files. Empty when nothing stands in the way.
QString MachineProblems();

// Tells the user about MachineProblems in one message box, when there are any, then once about
// a change journal that was damaged or written by a newer Korvex and was set aside.
void ReportMachineProblems(QWidget *parent);

// Tells the user once what went wrong with the machine's change journal: damaged or written by
// a newer Korvex and set aside, or a change it could not record. Nothing when it is sound.
void ReportJournalProblem(QWidget *parent);
