// The functions that change the machine: the real ones of Windows, each told to the change hook.
#include "change_hook.h"
#include "files.h"
#include "win32.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace win
{

namespace
{

// subst.exe is done in a moment; one that hangs is not waited for longer than this.
constexpr DWORD kSubstWaitMs = 10000;

// The words of a command line, quotes removed.
std::vector<std::string> WordsOf(const char *commandLine)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (const char *c = commandLine ? commandLine : ""; *c; ++c) {
        if (*c == '"')
            quoted = !quoted;
        else if (*c == ' ' && !quoted)
            words.push_back(std::exchange(word, std::string()));
        else
            word += *c;
    }
    words.push_back(word);
    return words;
}

bool IsSubst(std::string program)
{
    program = program.substr(program.find_last_of("\\/") + 1);
    std::transform(program.begin(), program.end(), program.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return program == "subst" || program == "subst.exe";
}

// The drive a subst command names ("X:"); empty when there is none.
std::string DriveOf(const std::vector<std::string> &words)
{
    for (std::size_t i = 1; i < words.size(); ++i)
        if (words[i].size() == 2 && words[i][1] == ':' && std::isalpha(static_cast<unsigned char>(words[i][0])))
            return std::string{static_cast<char>(std::toupper(static_cast<unsigned char>(words[i][0]))), ':'};
    return {};
}

// What WinExec returns for a program that could not be started.
UINT StartError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return static_cast<UINT>(error);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return 0;
    default: return ERROR_BAD_FORMAT;
    }
}

// Starts the command as WinExec does and waits for it to end: WinExec itself returns as soon as
// subst has started, before the drive is made or removed.
UINT RunToItsEnd(const char *commandLine, UINT show)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process{};
    std::string line = commandLine; // CreateProcessA may write into it
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return StartError(::GetLastError());
    ::WaitForSingleObject(process.hProcess, kSubstWaitMs);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return 33;
}

} // namespace

LONG RegOpenKeyExA(HKEY hKey, const char *lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    const LONG rc = ::RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult);
    if (rc == ERROR_SUCCESS)
        detail::ReportKeyOpened(hKey, lpSubKey, *phkResult);
    return rc;
}

LONG RegCreateKeyExA(HKEY hKey, const char *lpSubKey, DWORD Reserved, char *lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES *lpSecurityAttributes, PHKEY phkResult, DWORD *lpdwDisposition)
{
    return detail::ReportedKeyCreation(hKey, lpSubKey, dwOptions, phkResult, lpdwDisposition, [&](DWORD *disposition) {
        return ::RegCreateKeyExA(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired,
                                 const_cast<SECURITY_ATTRIBUTES *>(lpSecurityAttributes), phkResult, disposition);
    });
}

LONG RegSetValueExA(HKEY hKey, const char *lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData, DWORD cbData)
{
    return detail::ReportedRegistryChange({.kind = Change::Kind::ValueSet, .key = hKey, .name = lpValueName}, [&] {
        return ::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
    });
}

LONG RegDeleteValueA(HKEY hKey, const char *lpValueName)
{
    return detail::ReportedRegistryChange({.kind = Change::Kind::ValueDeleted, .key = hKey, .name = lpValueName},
                                          [&] { return ::RegDeleteValueA(hKey, lpValueName); });
}

LONG RegDeleteKeyA(HKEY hKey, const char *lpSubKey)
{
    return detail::ReportedRegistryChange({.kind = Change::Kind::KeyDeleted, .key = hKey, .path = lpSubKey},
                                          [&] { return ::RegDeleteKeyA(hKey, lpSubKey); });
}

LONG RegCloseKey(HKEY hKey)
{
    const LONG rc = ::RegCloseKey(hKey);
    if (rc == ERROR_SUCCESS)
        detail::ReportKeyClosed(hKey);
    return rc;
}

BOOL WritePrivateProfileStringA(const char *lpAppName, const char *lpKeyName, const char *lpString,
                                const char *lpFileName)
{
    return detail::Reported(
        {.kind = Change::Kind::Profile, .path = lpFileName, .section = lpAppName, .name = lpKeyName},
        [&] { return ::WritePrivateProfileStringA(lpAppName, lpKeyName, lpString, lpFileName); });
}

namespace
{

// The section's lines ("key=value"), as Windows returns them.
std::vector<std::string> SectionLines(const char *section, const char *file)
{
    std::vector<char> buffer(4096);
    DWORD length = 0;
    while ((length = ::GetPrivateProfileSectionA(section, buffer.data(), static_cast<DWORD>(buffer.size()), file)) ==
           buffer.size() - 2)
        buffer.resize(buffer.size() * 2);
    std::vector<std::string> lines;
    for (const char *line = buffer.data(); *line; line += std::strlen(line) + 1)
        lines.emplace_back(line);
    return lines;
}

bool IsLineOfKey(const std::string &line, const std::string &key)
{
    const std::string name = line.substr(0, line.find('='));
    return ::lstrcmpiA(name.c_str(), key.c_str()) == 0;
}

// The section with each key set, written in one call: Windows writes the file once.
BOOL WriteSectionWith(const std::string &windowsFile, const std::string &section,
                      const std::vector<ProfileString> &strings)
{
    std::vector<std::string> lines = SectionLines(section.c_str(), windowsFile.c_str());
    for (const ProfileString &s : strings) {
        const auto line =
            std::find_if(lines.begin(), lines.end(), [&](const std::string &l) { return IsLineOfKey(l, s.key); });
        if (line == lines.end())
            lines.push_back(s.key + "=" + s.value);
        else
            *line = s.key + "=" + s.value;
    }
    std::string block;
    for (const std::string &line : lines)
        block.append(line).push_back('\0');
    block.push_back('\0');
    return ::WritePrivateProfileSectionA(section.c_str(), block.data(), windowsFile.c_str());
}

} // namespace

bool SetProfileStrings(const std::string &windowsFile, const std::string &section,
                       const std::vector<ProfileString> &strings)
{
    return detail::Reported({.kind = Change::Kind::Profile, .path = windowsFile.c_str()},
                            [&] { return WriteSectionWith(windowsFile, section, strings); }) != 0;
}

BOOL CopyFileA(const char *lpExistingFileName, const char *lpNewFileName, BOOL bFailIfExists)
{
    return detail::Reported({.kind = Change::Kind::File, .path = lpNewFileName},
                            [&] { return ::CopyFileA(lpExistingFileName, lpNewFileName, bFailIfExists); });
}

BOOL SetFileAttributesA(const char *lpFileName, DWORD dwFileAttributes)
{
    return detail::Reported({.kind = Change::Kind::Attributes, .path = lpFileName},
                            [&] { return ::SetFileAttributesA(lpFileName, dwFileAttributes); });
}

BOOL DeleteFileA(const char *lpFileName)
{
    return detail::Reported({.kind = Change::Kind::File, .path = lpFileName},
                            [&] { return ::DeleteFileA(lpFileName); });
}

UINT WinExec(const char *lpCmdLine, UINT uCmdShow)
{
    const std::vector<std::string> words = WordsOf(lpCmdLine);
    if (!IsSubst(words.front()))
        return ::WinExec(lpCmdLine, uCmdShow);
    const std::string drive = DriveOf(words);
    const auto run = [&] { return RunToItsEnd(lpCmdLine, uCmdShow); };
    if (drive.empty())
        return run();
    return detail::Reported({.kind = Change::Kind::Drive, .path = drive.c_str()}, run,
                            [](UINT result) { return result > 31; });
}

} // namespace win
