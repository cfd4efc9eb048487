// The platform's write functions themselves, without the change journal.
//
// The functions of win32.h and files.h that change a machine record each change in the journal
// (journal.h) and then call these. Only the journal and the platform's own implementations use
// them: a change made here directly is not recorded.
#pragma once

#include "win32.h"

#include <string>
#include <vector>

namespace win::raw
{

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
UINT WinExec(const char *lpCmdLine, UINT uCmdShow);
bool WriteTextLines(const std::string &windowsPath, const std::vector<std::string> &lines);
bool WriteWholeFile(const std::string &windowsPath, const std::string &bytes, bool executable);
// Removes a file; false with the last error when it cannot.
bool RemoveFile(const std::string &windowsPath);

} // namespace win::raw
