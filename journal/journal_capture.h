// How the journal reads the state of what a change touches, before and after it, and now (for
// undo), through the platform's read functions.
#pragma once

#include "journal.h"
#include "win32.h"

#include <optional>
#include <string>

namespace journal::capture
{

// "HKEY_CURRENT_USER\\Software\\x" split into its root and the rest; nullopt for an unknown root.
std::optional<win::HKEY> RootOf(const std::string &keyPath, std::string &rest);

// The name of a predefined root ("HKEY_CURRENT_USER"), empty for another handle.
std::string RootName(win::HKEY key);

State ReadValue(const std::string &keyPath, const std::string &name);
bool KeyExists(const std::string &keyPath);
// The key's values and subkeys, all the way down.
KeyContent ReadContent(const std::string &keyPath);

// A file's whole content; `type` 1 when the host may start it as a program.
State ReadFile(const std::string &windowsPath);
// A profile string of `file`, `name` being "section" NUL "key".
State ReadProfile(const std::string &file, const std::string &name);
State ReadAttributes(const std::string &windowsPath);
// Drive "X:": whether it exists, and the host folder it shows.
State ReadDrive(const std::string &drive);

// The profile file's Windows path: a bare name is in the Windows directory.
std::string ProfilePath(const char *fileName);

} // namespace journal::capture
