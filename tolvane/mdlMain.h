// Tolvane: mounts the auto-mount list at log-on. Windows starts it from the Run value that
// Korvex sets; it reads Tolvane.ini beside itself, hands one subst command line per entry to
// WinExec and ends. No window, no options, no output.
#pragma once

#include <string>

namespace mdlMain
{

// The command runner: WinExec in the program, a recorder in tests.
using CommandRunner = unsigned (*)(const char *commandLine, unsigned showMode);

// `path` unchanged when it ends with a backslash (a drive root such as "C:\"), otherwise `path`
// with one appended.
std::string AddBackslash(const std::string &path);

// Hands the mount command of every entry of the list file at `iniPath` (a Windows path) to
// `run`, in file order, without looking at the results; lines that hold no entry by the list
// rule (MountLine.h) are passed over. A missing, hidden or system file runs nothing.
void MountList(const std::string &iniPath, CommandRunner run);

// The nearest folder at or above `hostFolder` that holds a machine (its registry and its
// dosdevices); empty when there is none.
std::string MachineFolderAbove(const std::string &hostFolder);

// The start routine: finds the program's own folder (and on Unix its machine) and mounts the
// list file that lies there.
void Main();

} // namespace mdlMain
