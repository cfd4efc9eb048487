// The machine Korvex works on, at start: a new machine folder is filled with a fresh Windows 98,
// and a machine that cannot be changed is reported once.
#pragma once

#include <QString>

class QWidget;

// Fills the chosen machine folder with the bundled Windows 98 registry when it has none yet
// (Korvex's own folder on first start, or a WINEPREFIX that does not exist), and its Windows
// directory with the bundled lmhosts. Returns true when it did.
bool SeedNewMachine();

// Why the machine's settings cannot be changed now, for the user: a running wineserver, damaged
// registry files. Empty when nothing stands in the way.
QString MachineProblems();

// Tells the user about MachineProblems in one message box, when there are any.
void ReportMachineProblems(QWidget *parent);

// Tells the user once that the machine's change journal was damaged or written by a newer
// Korvex and was set aside; nothing when it was sound.
void ReportJournalProblem(QWidget *parent);
