// Which Windows installation (a Wine prefix or a disk image) Korvex works on: the one chosen last
// time, kept in Korvex's settings file, unless WINEPREFIX names one; KORVEX_MACHINE wins over
// both for one run.
#pragma once

#include "prefixes.h"

#include <QString>

class QWidget;

// Keeps `folder` as the machine chosen last, shown under `name` (a short name made from the
// folder when empty), in Korvex's settings file (~/.config/Korvex/Korvex.conf, under
// XDG_CONFIG_HOME when it is set).
void RememberMachine(const QString &folder, const QString &name);

// The variable that names the machine for one run (a Wine prefix's folder or a disk image),
// before WINEPREFIX and the machine chosen last; it is not remembered.
inline constexpr const char *kMachineVariable = "KORVEX_MACHINE";

// True when `folder` is a machine Korvex can work on: a Wine prefix, or a disk image file
// holding Windows 95/98/ME.
bool IsMachine(const QString &folder);

// At start: works on the machine KORVEX_MACHINE names; else, when WINEPREFIX is not set, on the
// remembered machine while it is still a Wine prefix or a Windows image. Returns true when it
// picked one.
bool UseStartMachine();

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
