// The subset of the Win32 API that Korvex and Tolvane use, in namespace `win`.
//
// On Windows these are the real functions and constants of <windows.h>. Elsewhere they are
// implemented over a machine folder laid out as a Wine prefix (see machine.h), with the same
// names, arguments, result codes and, where the two differ, the semantics noted per function.
// The constants keep their <windows.h> spelling as macros in both forms, so code written
// against this header compiles unchanged on either side. In both forms every function that
// changes the machine tells the change hook about the change (change_hook.h).
#pragma once

#include <cstdint>

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace win
{
using ::BYTE;
using ::DWORD;
using ::FILETIME;
using ::HKEY;
using ::LONG;
using ::LPSECURITY_ATTRIBUTES;
using ::PHKEY;
using ::REGSAM;
using ::SECURITY_ATTRIBUTES;
using ::ULONG_PTR;

using ::BOOL;
using ::OSVERSIONINFOA;
using ::OSVERSIONINFOEXA;
using ::UINT;
using ::WORD;

using ::GetComputerNameA;
using ::GetSystemDirectoryA;
using ::GetTickCount;
using ::GetTickCount64;
using ::GetUserNameA;
using ::GetVersionExA;
using ::GetWindowsDirectoryA;

using ::RegEnumKeyExA;
using ::RegEnumValueA;
using ::RegQueryValueExA;

using ::GetLastError;
using ::SetLastError;

using ::GetPrivateProfileStringA;

using ::GetDriveTypeA;
using ::GetFileAttributesA;

using ::HWND;
using ::POINT;
using ::RECT;
using ::WINDOWPLACEMENT;

using ::EnableWindow;
using ::FindWindowA;
using ::FindWindowExA;
using ::GetWindowPlacement;
using ::IsWindowEnabled;
using ::IsWindowVisible;
using ::SetWindowPos;
using ::ShowWindow;

// The functions that change the machine are Korvex's own on Windows too: each calls the real
// function and tells the change hook (change_hook.h) about it.
LONG RegOpenKeyExA(HKEY hKey, const char *lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCreateKeyExA(HKEY hKey, const char *lpSubKey, DWORD Reserved, char *lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES *lpSecurityAttributes, PHKEY phkResult, DWORD *lpdwDisposition);
LONG RegSetValueExA(HKEY hKey, const char *lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData, DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, const char *lpValueName);
LONG RegDeleteKeyA(HKEY hKey, const char *lpSubKey);
LONG RegCloseKey(HKEY hKey);
BOOL WritePrivateProfileStringA(const char *lpAppName, const char *lpKeyName, const char *lpString,
                                const char *lpFileName);
BOOL CopyFileA(const char *lpExistingFileName, const char *lpNewFileName, BOOL bFailIfExists);
BOOL SetFileAttributesA(const char *lpFileName, DWORD dwFileAttributes);
BOOL DeleteFileA(const char *lpFileName);
// As the system's own, except that a "subst" command is waited for (a few seconds at most), so
// that the drive is made or removed when it returns, as on a machine folder.
UINT WinExec(const char *lpCmdLine, UINT uCmdShow);
} // namespace win

#else

namespace win
{

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using REGSAM = DWORD;
using ULONG_PTR = std::uintptr_t;

struct HKEY__; // NOLINT(bugprone-reserved-identifier): the name <windows.h> gives it
using HKEY = HKEY__ *;
using PHKEY = HKEY *;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    void *lpSecurityDescriptor;
    int bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES *;

// ---- Registry ------------------------------------------------------------------------------
//
// HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes; HKEY_USERS holds ".DEFAULT" and the
// current user's SID. Names compare without regard to case and keep the case they were created
// with; a key name has at most 256 UTF-16 units and a value name 16383 (ERROR_INVALID_PARAMETER
// beyond). Names and string data that are not valid UTF-8 get U+FFFD for each malformed part,
// as the A functions' conversion does on Windows. A path through a link key reaches the link's
// target. Subkeys enumerate in the order of their lower-cased names, as Wine keeps them (NT
// compares upper-cased names: the two differ for "[\]^_`"). A handle to a key deleted through
// this process gives ERROR_KEY_DELETED, also after a key of the same name is made again.
//
// Every function returns ERROR_SUCCESS or a Win32 error code. Codes of this implementation
// beyond those Windows documents for the function:
//   ERROR_BADDB              the hive file behind the key does not parse; it is left untouched
//   ERROR_SHARING_VIOLATION  a wineserver runs for the machine and would overwrite the change
//   ERROR_ACCESS_DENIED      also: the hive file or its folder is marked read-only
//   ERROR_DISK_FULL / ERROR_WRITE_FAULT  the hive file could not be written; it is unchanged
// A write returns ERROR_SUCCESS only after the changed hive is on disk.

// Opens an existing key. `lpSubKey` null or empty opens `hKey` again; a leading backslash is
// refused with ERROR_BAD_PATHNAME. Returns ERROR_FILE_NOT_FOUND for a missing key.
LONG RegOpenKeyExA(HKEY hKey, const char *lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

// Opens a key, creating it and every missing key on its path. `lpdwDisposition` receives
// REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. `lpClass` becomes the class of a new key.
// REG_OPTION_VOLATILE keys live in this process's memory only and are never written; every
// key the call creates gets the option, and a volatile key takes only volatile subkeys
// (ERROR_CHILD_MUST_BE_VOLATILE). The rights of `hKey`'s handle do not limit what is created
// below it: on Windows the key's security decides, and a machine folder grants everything.
LONG RegCreateKeyExA(HKEY hKey, const char *lpSubKey, DWORD Reserved, char *lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES *lpSecurityAttributes, PHKEY phkResult, DWORD *lpdwDisposition);

// Reads a value. String types come back converted to UTF-8 (the ANSI code page here), their
// size counted in converted bytes; when the stored string lacks its terminator and the buffer
// has room, a NUL is put after the data without being counted, as NT does. A buffer too small
// gives ERROR_MORE_DATA with the size needed in *lpcbData, and the buffer is left as it was.
LONG RegQueryValueExA(HKEY hKey, const char *lpValueName, DWORD *lpReserved, DWORD *lpType, BYTE *lpData,
                      DWORD *lpcbData);

// Writes a value. String types are converted from UTF-8 to UTF-16 for storage; a byte count
// that misses the terminator is extended when the next byte is NUL (NT), and on a machine that
// reports Windows 9x the count of a REG_SZ is strlen + 1. Other types are stored as given.
LONG RegSetValueExA(HKEY hKey, const char *lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData, DWORD cbData);

// Deletes a value; ERROR_FILE_NOT_FOUND when it does not exist.
LONG RegDeleteValueA(HKEY hKey, const char *lpValueName);

// Deletes a key together with all its subkeys, as Windows 9x does (NT refuses a key that has
// subkeys). A predefined root cannot be deleted.
LONG RegDeleteKeyA(HKEY hKey, const char *lpSubKey);

// Gives the name of the subkey at `dwIndex` in the key's stored order, ERROR_NO_MORE_ITEMS past
// the end. *lpcchName holds the buffer size in characters on entry and the name's length
// without its terminator on return; a buffer too small gives ERROR_MORE_DATA.
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char *lpName, DWORD *lpcchName, DWORD *lpReserved, char *lpClass,
                   DWORD *lpcchClass, FILETIME *lpftLastWriteTime);

// Gives the name, type and data of the value at `dwIndex` in the key's stored order,
// ERROR_NO_MORE_ITEMS past the end. *lpcchValueName holds the name buffer's size in characters
// on entry and the name's length without terminator on return; data as RegQueryValueExA gives
// it. A name or data buffer too small gives ERROR_MORE_DATA.
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char *lpValueName, DWORD *lpcchValueName, DWORD *lpReserved, DWORD *lpType,
                   BYTE *lpData, DWORD *lpcbData);

// Closes a handle; closing a predefined root does nothing. ERROR_INVALID_HANDLE otherwise.
LONG RegCloseKey(HKEY hKey);

// ---- System information ----------------------------------------------------------------------

using UINT = std::uint32_t;
using BOOL = int;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize; // 148
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId; // VER_PLATFORM_WIN32_WINDOWS (1) for 9x, VER_PLATFORM_WIN32_NT (2)
    char szCSDVersion[128];
};

// The longer record NT 4 SP6 and later also fill; pass it as an OSVERSIONINFOA.
struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize; // 156
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType; // VER_NT_WORKSTATION (1), VER_NT_DOMAIN_CONTROLLER (2), VER_NT_SERVER (3)
    BYTE wReserved;
};

// The Windows version the machine reports (see ReportedWindowsVersion in machine.h), with the
// numbers, service pack and product type Wine gives for it; Windows 7 SP1 when it names none,
// as a new Wine prefix. Fills an OSVERSIONINFOA (size 148) or, except on Windows 9x, an
// OSVERSIONINFOEXA (size 156); FALSE for any other size field.
BOOL GetVersionExA(OSVERSIONINFOA *lpVersionInformation);

// The computer's name: the machine's ComputerName value, else the host name in capitals, at
// most 15 characters. *nSize holds the buffer size on entry and the length without terminator
// on return; FALSE with ERROR_BUFFER_OVERFLOW semantics (*nSize = size needed) when too small.
BOOL GetComputerNameA(char *lpBuffer, DWORD *nSize);

// The logged-on user's name. *pcbBuffer holds the buffer size on entry and, on return, the
// length including the terminator; FALSE when the buffer is too small (*pcbBuffer = size needed).
BOOL GetUserNameA(char *lpBuffer, DWORD *pcbBuffer);

// "C:\windows\system32" and "C:\windows", as in a Wine prefix. Return the length without the
// terminator, or the size needed (with terminator) when the buffer is too small.
UINT GetSystemDirectoryA(char *lpBuffer, UINT uSize);
UINT GetWindowsDirectoryA(char *lpBuffer, UINT uSize);

// Milliseconds since the system started, wrapping after 49.7 days like Windows' 32-bit count.
DWORD GetTickCount();
std::uint64_t GetTickCount64();

// Starts a command line without a shell and without waiting; above 31 on success, else
// ERROR_FILE_NOT_FOUND (2), ERROR_PATH_NOT_FOUND (3) or 0 (out of resources). "explorer
// <address>" opens the address with the desktop's opener; any other program is looked for on
// the machine as Windows looks for it (a path as given, a bare name in C:\windows\system32,
// C:\windows\system, C:\windows and the machine's PATH, ".exe" added to a name without an
// extension) and runs through Wine when the machine is a Wine prefix and Wine is installed.
// "subst X: <folder>" and "subst /D X:" are done here, at once, on the machine's dosdevices
// links (Wine's own subst keeps nothing): the folder's link becomes drive X:, and only a drive
// that subst made is removed again, never c:, z:, a winecfg drive or a device. As subst.exe on
// Windows, the command always starts (33); when it fails the drive is simply not made or
// removed, and the last error tells why (ERROR_ALREADY_EXISTS for a letter in use,
// ERROR_PATH_NOT_FOUND for a missing folder, ERROR_INVALID_PARAMETER for bad arguments or a
// drive that subst did not make).
UINT WinExec(const char *lpCmdLine, UINT uCmdShow);

// ---- Errors ----------------------------------------------------------------------------------

// The calling thread's last error, as the functions below set it when they fail (Win32 codes:
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED for a file or folder marked
// read-only, ERROR_DISK_FULL, ERROR_SHARING_VIOLATION, ERROR_INVALID_PARAMETER, ...; on Unix
// also ERROR_CANT_ACCESS_FILE for a write that a link would carry out of the machine's folders
// and for a read of something that is no regular file, ERROR_FILE_TOO_LARGE for a read of a
// file larger than its kind can be). Like Windows, a function that succeeds does not promise to
// clear it. The registry functions return their code instead and leave it alone.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// ---- Profile strings (INI files) ---------------------------------------------------------------
//
// `lpFileName` is a Windows path ("C:\\folder\\Desktop.ini"); a bare name means a file in the
// Windows directory, as on Windows. Sections and keys match without regard to case; blanks
// around a key and around a value are not part of them. Files are read as ANSI (UTF-8) text with
// CR LF or LF line ends; a file in UTF-16 (with its byte-order mark) is read as UTF-16, and
// written to as UTF-16 as Windows does. A value enclosed in one pair of quotes comes back
// without them.

// Copies the value of `lpKeyName` in `lpAppName` to the buffer, or `lpDefault` (trailing blanks
// removed; "" when null) when the file, the section or the key is missing. With a null key: the
// section's key names, each ended by a NUL, with a second NUL at the end; with a null section:
// the file's section names the same way. Returns the number of characters copied without the
// terminator; a value that does not fit is cut to nSize - 1 characters and a NUL (nSize - 2 and
// two NULs for the lists). Sets ERROR_FILE_NOT_FOUND when the file is missing (NT; 9x leaves
// the last error alone).
DWORD GetPrivateProfileStringA(const char *lpAppName, const char *lpKeyName, const char *lpDefault,
                               char *lpReturnedString, DWORD nSize, const char *lpFileName);

// Sets `lpKeyName` in `lpAppName` to `lpString`: the value of an existing key is replaced in its
// line, a missing key is added at the end of its section, a missing section at the end of the
// file, a missing file is created (not its folder). A null `lpString` deletes the key, a null
// `lpKeyName` the whole section. Every other line, comments and blank lines included, keeps its
// bytes; new lines end in CR LF (LF in a file that uses LF only). The change is on disk when the
// function returns TRUE (written to a temporary file, flushed and renamed over the old one).
// FALSE with the last error when the file or its folder cannot be written.
BOOL WritePrivateProfileStringA(const char *lpAppName, const char *lpKeyName, const char *lpString,
                                const char *lpFileName);

// ---- Files ------------------------------------------------------------------------------------
//
// Windows paths, resolved through the machine's drives (HostPathOf). Attributes are kept as Wine
// keeps them: hidden and system in the extended attribute "user.DOSATTRIB", read-only as the
// absence of write permission, directory from the file's type; archive is not stored, so every
// file reports it.

// Copies a file with its contents and attributes, replacing `lpNewFileName` unless
// `bFailIfExists` (then ERROR_FILE_EXISTS). The copy is on disk when it returns TRUE; a failed
// copy leaves no partial target. A read-only target is not replaced (ERROR_ACCESS_DENIED).
BOOL CopyFileA(const char *lpExistingFileName, const char *lpNewFileName, BOOL bFailIfExists);

// Deletes a file; FALSE with ERROR_ACCESS_DENIED for a folder or a file marked read-only, and
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when it does not exist.
BOOL DeleteFileA(const char *lpFileName);

// The attribute bits of a file or folder; INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND when it does not exist. A name beginning with "." is hidden, as in Wine.
DWORD GetFileAttributesA(const char *lpFileName);

// Replaces the attributes of a file or folder with `dwFileAttributes` (read-only, hidden, system
// and archive count; FILE_ATTRIBUTE_NORMAL or 0 clears them). Read-only on a folder is kept by
// Windows but ignored by Wine; here it is ignored too.
BOOL SetFileAttributesA(const char *lpFileName, DWORD dwFileAttributes);

// The type of the drive whose root is named ("C:\\", also "C:" or "c:\\"): DRIVE_NO_ROOT_DIR for a
// letter without a drive, otherwise DRIVE_FIXED unless HKEY_LOCAL_MACHINE\Software\Wine\Drives
// names another type for it ("floppy", "cdrom", "network", "ramdisk"), as Wine reports it. A null
// argument means the current drive (C:); a path that is no drive root gives DRIVE_NO_ROOT_DIR.
UINT GetDriveTypeA(const char *lpRootPathName);

// ---- Shell windows ----------------------------------------------------------------------------
//
// The windows of a running Windows shell. There is no such shell here: nothing is found, every
// function on a null handle fails with ERROR_INVALID_WINDOW_HANDLE, and the results are FALSE.

struct HWND__; // NOLINT(bugprone-reserved-identifier): the name <windows.h> gives it
using HWND = HWND__ *;

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct WINDOWPLACEMENT {
    UINT length; // 44
    UINT flags;
    UINT showCmd;
    POINT ptMinPosition;
    POINT ptMaxPosition;
    RECT rcNormalPosition;
};

// The first top-level window of the class (and title, when not null); null when there is none.
HWND FindWindowA(const char *lpClassName, const char *lpWindowName);

// The first child of `hWndParent` after `hWndChildAfter` with the class and title; null when none.
HWND FindWindowExA(HWND hWndParent, HWND hWndChildAfter, const char *lpszClass, const char *lpszWindow);

// The window's show state and its normal position, in work-area coordinates for a top-level
// window and in its parent's client coordinates for a child.
BOOL GetWindowPlacement(HWND hWnd, WINDOWPLACEMENT *lpwndpl);

// Moves, sizes and orders a window; SWP_NOSIZE, SWP_NOMOVE, SWP_NOZORDER, SWP_NOACTIVATE select.
BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);

// Shows or hides a window (SW_HIDE, SW_SHOWNORMAL, ...); returns whether it was visible before.
BOOL ShowWindow(HWND hWnd, int nCmdShow);

BOOL IsWindowVisible(HWND hWnd);
BOOL IsWindowEnabled(HWND hWnd);

// Enables or disables a window; returns TRUE when it was disabled before.
BOOL EnableWindow(HWND hWnd, BOOL bEnable);

} // namespace win

// The <windows.h> constants, spelled the same so that code using them compiles on both sides.
#define HKEY_CLASSES_ROOT (::win::PredefinedKey(0x80000000u))
#define HKEY_CURRENT_USER (::win::PredefinedKey(0x80000001u))
#define HKEY_LOCAL_MACHINE (::win::PredefinedKey(0x80000002u))
#define HKEY_USERS (::win::PredefinedKey(0x80000003u))

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_WRITE_FAULT 29L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NOACCESS 998L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_KEY_DELETED 1018L
#define ERROR_CANCELLED 1223L
#define ERROR_CHILD_MUST_BE_VOLATILE 1021L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_INVALID_DATA 13L
#define ERROR_NOT_SUPPORTED 50L

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 1
#define VER_NT_DOMAIN_CONTROLLER 2
#define VER_NT_SERVER 3
#define VER_SUITE_SINGLEUSERTS 0x00000100

#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_NAME 123L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_DIRECTORY 267L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_CANT_ACCESS_FILE 1920L

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES (static_cast<::win::DWORD>(-1))

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

#define HWND_TOP (static_cast<::win::HWND>(nullptr))
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_OPTION_OPEN_LINK 0x00000008L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F
#define MAXIMUM_ALLOWED 0x02000000

#endif

namespace win
{

// A predefined root as Windows spells it: the 32-bit code sign-extended to a handle.
inline HKEY PredefinedKey(std::uint32_t code)
{
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<std::intptr_t>(static_cast<LONG>(code))));
}

} // namespace win
