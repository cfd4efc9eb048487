// Which Windows installation (Wine prefix) Korvex works on: the one chosen last time, kept in
// Korvex's settings file, unless WINEPREFIX names one, which always wins.
#pragma once

#include "prefixes.h"

#include <QString>

class QWidget;

// Keeps `folder` as the machine chosen last, shown under `name` (a short name made from the
// folder when empty), in Korvex's settings file (~/.config/Korvex/Korvex.conf, under
// XDG_CONFIG_HOME when it is set).
void RememberMachine(const QString &folder, const QString &name);

// At start: works on the remembered machine when WINEPREFIX is not set and the remembered
// folder is still a Wine prefix. Returns true when it does.
bool UseRememberedMachine();

// "Windows 98" for Wine's "win98"; the name itself for one without a display name.
QString WindowsVersionName(const std::string &wineName);

// Where a prefix was found, for the user ("Bottles", "Steam (Proton)", ...).
QString SourceName(win::PrefixSource source);

// The name the machine in `folder` is shown under: the one it was chosen under last time, else
// a short name made from the folder.
QString MachineName(const QString &folder);

// The machine in use as the status strip shows it: its name and its Windows version.
QString MachineLabel();

// `folder` with its links resolved, to tell whether two paths name one folder; only cleaned up
// when it does not exist.
QString CanonicalFolder(const QString &folder);
