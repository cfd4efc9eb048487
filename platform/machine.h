// The Windows installation that the platform works on.
//
// On Windows it is the running system. Elsewhere it is a folder laid out as a Wine prefix: the
// folder named by WINEPREFIX, else ~/.wine when it exists, else $XDG_DATA_HOME/korvex/machine
// (~/.local/share/korvex/machine), created empty on first use. It is chosen on the first call
// that needs it and kept for the life of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace win
{

// The machine folder as a host path; empty on Windows.
std::string MachineFolder();

// The folder that would be chosen now, without making it (so that a caller may fill a new
// machine folder before first use); empty on Windows.
std::string ChosenMachineFolder();

// Registry files of the machine that cannot be read as registry files (host paths). Reads of
// their keys find nothing and writes fail with ERROR_BADDB; the files are never overwritten.
std::vector<std::string> DamagedRegistryFiles();

// True while a wineserver runs for the machine. It keeps the registry in memory and would
// overwrite any change made meanwhile, so registry writes fail with ERROR_SHARING_VIOLATION.
bool WineServerRunning();

// The Windows version the machine reports to programs, by Wine's name for it ("win98", "win7",
// ...), found as Wine finds it: the "Version" setting, else the version the registry's NT or
// 9x keys name, else Windows 7. Empty on Windows.
std::string ReportedWindowsVersion();

// The ANSI code page of the machine's Windows: the one its programs read text files in
// (Desktop.ini, lmhosts, Tolvane.ini). On Windows the system's own (GetACP).
std::uint32_t MachineAnsiCodePage();

// True when the machine reports a Windows 9x version (platform 1: win95, win98, winme).
bool IsWindows9xMachine();

// A Windows path ("C:\\windows\\system32\\x.ini") as a host path, through the machine's
// dosdevices links, each name matched without regard to case as Wine does; empty when its
// drive letter has no link or the path is not absolute. On Windows the path itself.
std::string HostPathOf(const std::string &windowsPath);

// A host path as a Windows path: through the drive whose link target holds it most closely
// (z: maps "/" itself, so every absolute host path has one); empty when none does. On Windows
// the path itself.
std::string WindowsPathOf(const std::string &hostPath);

// How many key handles are open (Unix), or all handles of the process (Windows): compare two
// counts to find a key that was not closed.
std::size_t OpenHandleCount();

// Makes `hostFolder` the machine to use instead of the one the environment names, the way
// WINEPREFIX would: it takes effect on first use, or after ResetMachine, and lasts for the life
// of the process (ResetMachine does not undo it). An empty folder goes back to the environment's
// choice. Tolvane uses it to work on the machine it was started from. Does nothing on Windows.
//
// A disk image file (raw, fixed or dynamic VHD, qcow2; VDI and VMDK read-only) in place of the
// folder makes the Windows 95/98/ME inside it the machine: its registry files are the registry
// and C:\ is its FAT file system. When the image cannot be opened, its registry reads find
// nothing and writes fail with ERROR_BADDB; MachineReadOnlyMessage() says why.
void UseMachineFolder(const std::string &hostFolder);

// True when the machine is a disk image (even one that could not be opened).
bool IsImageMachine();

// Why the machine cannot be changed, one message for the user: the image is in use, its file
// system is marked dirty, it has snapshots, a registry file does not pass the strict check, or
// it could not be opened. Empty when it can be changed (always for a machine folder).
std::string MachineReadOnlyMessage();

// What the last registry change refused on a disk image was refused for (a name outside the
// guest's code page, a value too large for Windows 9x, a failed write); empty otherwise.
std::string LastMachineProblem();

// The ANSI code page of the Windows inside a disk image machine (its registry's
// HKLM\System\CurrentControlSet\Control\Nls\CodePage "ACP", 1252 when absent); 0 for a
// machine folder.
unsigned GuestAnsiCodePage();

// Forgets the machine in use, its cached registry and every open key handle; the next call
// chooses the machine again from the environment.
void ResetMachine();

// Makes `folder` an empty machine in Wine's layout where it is not one yet: the three registry
// files with their headers, dosdevices/c: -> ../drive_c, dosdevices/z: -> / and
// drive_c/windows/system32. Existing files are left as they are. Returns false on failure.
bool CreateEmptyMachine(const std::string &folder);

} // namespace win
