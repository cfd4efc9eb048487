// The real write functions of Windows, which the journaled functions of win32.h call.
#include "raw_writes.h"

namespace win::raw
{

LONG RegOpenKeyExA(HKEY hKey, const char *lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    return ::RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, const char *lpSubKey, DWORD Reserved, char *lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES *lpSecurityAttributes, PHKEY phkResult, DWORD *lpdwDisposition)
{
    return ::RegCreateKeyExA(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired,
                             const_cast<SECURITY_ATTRIBUTES *>(lpSecurityAttributes), phkResult, lpdwDisposition);
}

LONG RegSetValueExA(HKEY hKey, const char *lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData, DWORD cbData)
{
    return ::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LONG RegDeleteValueA(HKEY hKey, const char *lpValueName)
{
    return ::RegDeleteValueA(hKey, lpValueName);
}

LONG RegDeleteKeyA(HKEY hKey, const char *lpSubKey)
{
    return ::RegDeleteKeyA(hKey, lpSubKey);
}

LONG RegCloseKey(HKEY hKey)
{
    return ::RegCloseKey(hKey);
}

BOOL WritePrivateProfileStringA(const char *lpAppName, const char *lpKeyName, const char *lpString,
                                const char *lpFileName)
{
    return ::WritePrivateProfileStringA(lpAppName, lpKeyName, lpString, lpFileName);
}

BOOL CopyFileA(const char *lpExistingFileName, const char *lpNewFileName, BOOL bFailIfExists)
{
    return ::CopyFileA(lpExistingFileName, lpNewFileName, bFailIfExists);
}

BOOL SetFileAttributesA(const char *lpFileName, DWORD dwFileAttributes)
{
    return ::SetFileAttributesA(lpFileName, dwFileAttributes);
}

UINT WinExec(const char *lpCmdLine, UINT uCmdShow)
{
    return ::WinExec(lpCmdLine, uCmdShow);
}

bool RemoveFile(const std::string &windowsPath)
{
    return ::DeleteFileA(windowsPath.c_str()) != 0;
}

} // namespace win::raw
