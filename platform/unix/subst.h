// The "subst" command, which WinExec runs itself on a machine folder: Wine's own subst.exe
// keeps nothing once its server ends, while a dosdevices link is a drive for every Wine program
// of the machine from then on.
#pragma once

#include <string>
#include <vector>

namespace win::detail
{

// True when the program of a command line is subst ("subst", "Subst.exe", a path to it).
bool IsSubstProgram(const std::string &program);

// Runs "subst X: <folder>" (makes drive X: show the folder) or "subst /D X:" / "subst X: /D"
// (removes a drive that subst made), `arguments` being the words after the program name with
// their quotes removed. As subst.exe reports its errors only in its own window, the result is
// just returned (and set as the last error): ERROR_SUCCESS, ERROR_INVALID_PARAMETER (bad
// arguments, or a drive that subst did not make), ERROR_ALREADY_EXISTS (the letter is in use),
// ERROR_PATH_NOT_FOUND (no such folder) or the error of the failed change.
unsigned long RunSubst(const std::vector<std::string> &arguments);

} // namespace win::detail
