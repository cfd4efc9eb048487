// Korvex's own file helpers, over Windows paths ("C:\\windows\\system32\\Tolvane.ini").
//
// They are not Win32 functions but do what the system's runtime file statements did, on both
// sides: on Windows with the real file functions, elsewhere on the machine folder through its
// drives (HostPathOf). On failure they return false (or an empty list) and set the last error
// (GetLastError) to a Win32 code: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ...
#pragma once

#include "win32.h"

#include <string>
#include <vector>

namespace win
{

// The drive letters that exist, as "c:", "d:", ... in lower case and letter order. On Unix the
// machine's dosdevices links that name drives (not the "com1", "lpt1" devices nor the "c::"
// raw devices).
std::vector<std::string> LogicalDrives();

// The names of the folder's subfolders (not its files; "." and ".." left out), sorted by name
// without regard to case. Empty when the folder has none or does not exist.
std::vector<std::string> SubfoldersOf(const std::string &windowsFolder);

// Reads a text file as whole lines, without their CR LF or LF; a last line without an end is
// included, an empty file gives no lines. Commas do not split. False, with `lines` emptied, when
// the file cannot be read.
bool ReadTextLines(const std::string &windowsPath, std::vector<std::string> &lines);

// Reads the whole file as it is stored, bytes unchanged, wherever the machine keeps it (a
// folder of the host or a disk image). False, with the last error set, when it cannot be read.
bool ReadMachineFile(const std::string &windowsPath, std::string &bytes);

// Writes the file anew: every line followed by CR LF, nothing for no lines. Durable: the text
// is written to a temporary file beside it, flushed and renamed over the old file, which is
// kept as it was when the write fails. The folder must exist.
bool WriteTextLines(const std::string &windowsPath, const std::vector<std::string> &lines);

// Writes `bytes` as the whole file, durably as WriteTextLines. `executable` makes it a program
// the host may start (the execute bits on Unix, so that Wine runs it natively); ignored on
// Windows.
bool WriteWholeFile(const std::string &windowsPath, const std::string &bytes, bool executable);

// A key of a profile (INI) file with its value.
struct ProfileString {
    std::string key;
    std::string value;
};

// Sets each key of `section` in the profile file, in one durable replace of the whole file:
// every key lands or the file stays as it was. Other keys and sections keep their lines. The
// change hook is told of a change of the whole file. On Unix the file is written in the
// machine's code page (ERROR_NO_UNICODE_TRANSLATION when a character has no place in it).
bool SetProfileStrings(const std::string &windowsFile, const std::string &section,
                       const std::vector<ProfileString> &strings);

// True when a file or folder of that name exists, whatever its attributes.
bool FileExists(const std::string &windowsPath);

// True when a file of that name exists that is neither a folder nor hidden or system: the
// runtime's plain existence test.
inline bool IsNormalFile(const std::string &windowsPath)
{
    const DWORD attributes = GetFileAttributesA(windowsPath.c_str());
    constexpr DWORD notNormal = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & notNormal) == 0;
}

} // namespace win
