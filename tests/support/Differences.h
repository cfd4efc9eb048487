// The ways an implementation of the platform is known to part from Windows NT, kept in one list
// so that every exception is stated and explained once. The contract tests assert Windows' own
// behaviour; where an implementation has a difference listed here, the test asserts exactly what
// that implementation does instead (as Wine's tests mark broken() behaviour), never "either".
#pragma once

#include <string>

enum class Implementation {
    MachineFolder, // the Unix form, over a Wine prefix's files
    Wine,          // the real functions, as Wine 8.0 implements them
    Windows,       // the real functions on Windows NT
};

// Which implementation this program is testing.
Implementation Running();

enum class Difference {
    // RegDeleteKeyA deletes a key with all its subkeys, as Windows 9x does; NT refuses a key that
    // has subkeys with ERROR_ACCESS_DENIED. Korvex is a 9x tool: a page that removes a key
    // expects its subkeys to go along on every machine.
    DeleteKeyTakesSubkeys,
    // Subkeys are stored and enumerated in the order of their lower-cased names, where NT's
    // registry compares upper-cased ones: "_x" comes before "a" (the characters between 'Z' and
    // 'a' sort differently). The machine folder keeps the order of Wine's files.
    SubkeysSortLowerCased,
    // SYSTEM\CurrentControlSet is a key of its own, not a link to SYSTEM\ControlSet001, which
    // does not exist (a Wine 8.0 prefix).
    CurrentControlSetIsNoLink,
    // SetFileAttributesA ignores read-only on a folder, as Wine does: a Unix folder without write
    // permission would refuse new files, which a read-only folder on Windows does not.
    ReadOnlyFoldersIgnored,
    // A read-only file is written all the same: Wine leaves the check to the Unix permissions,
    // which the superuser passes. Only when Wine runs as root (run_under_wine.sh tells).
    ReadOnlyFilesWrittenByRoot,
};

// True when the running implementation has `difference`.
bool Has(Difference difference);

// What the running implementation gives: `windows`, or `instead` where it has `difference`.
template <typename T> T Expected(Difference difference, T windows, T instead)
{
    return Has(difference) ? instead : windows;
}
