// Files of the machine named by Windows paths: resolving them, the error of a missing one, and
// changing them durably under the machine's lock.
#pragma once

#include "durable_file.h"
#include "win32.h"

#include <functional>
#include <string>

namespace win::detail
{

// Sets the last error and returns FALSE, for the functions that report failure that way.
inline BOOL Fail(DWORD error)
{
    SetLastError(error);
    return 0;
}

// The machine's dosdevices link that names drive `letter` ("<machine>/dosdevices/e:").
std::string DriveLinkOf(char letter);

// The host folder drive `letter` maps to, as its link names it (a relative link taken from the
// dosdevices folder), links inside it not followed; empty when the drive has no link.
std::string DriveRootOf(char letter);

// The Win32 error of a failed open or stat of an existing path's parts (errno).
DWORD ErrorOfLookup(const std::string &hostPath, int error);

// Whether a write to `hostPath` (a file, there or not yet) stays in the machine once every link
// on the way is followed: it must land inside the machine folder or inside the root of the drive
// the path was named through (the drive whose folder holds it most closely), or in a host folder
// Wine links a user's shell folder to (drive_c/users/<name>/Desktop), so that a linked
// Desktop.ini or a linked folder cannot carry a save to a host file outside. Reads may follow
// such links. ERROR_SUCCESS, or ERROR_CANT_ACCESS_FILE for a write that would leave.
LONG CheckStaysInMachine(const std::string &hostPath);

// Replaces the file at `hostPath` with `bytes` under the machine's lock, so that another
// Korvex or Tolvane process never interleaves its change: checked writable first, written to a
// temporary file beside it, flushed and renamed over it. Returns ERROR_SUCCESS or the Win32
// error, the old file kept.
LONG ReplaceMachineFile(const std::string &hostPath, const std::string &bytes, const FileMode &mode = {});

// Changes the file at `hostPath` under the machine's lock: `change` gets its bytes (empty when
// it does not exist yet) and edits them, or returns an error; the file is replaced as above only
// when the bytes changed (a missing file only when they are not empty). A missing folder gives
// ERROR_PATH_NOT_FOUND before `change` runs.
LONG ChangeMachineFile(const std::string &hostPath, const std::function<LONG(std::string &bytes)> &change);

} // namespace win::detail
