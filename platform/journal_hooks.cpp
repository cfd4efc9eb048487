// The write functions of win32.h and files.h: each reads the state its change will replace,
// makes the change with the raw function, and records it once it has succeeded. While a Pause
// exists they are the raw functions alone: a state read then would only be thrown away.
#include "journal_hooks.h"
#include "files.h"
#include "journal.h"
#include "journal_capture.h"
#include "journal_file.h"
#include "raw_writes.h"
#include "win32.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <utility>

namespace win
{

namespace
{

namespace capture = journal::capture;
using journal::Kind;
using journal::Record;
using journal::State;

// The path each open key handle names, as the caller spelled it from its root.
std::unordered_map<HKEY, std::string> &HandlePaths()
{
    static std::unordered_map<HKEY, std::string> paths;
    return paths;
}

std::string PathOfHandle(HKEY key)
{
    if (std::string root = capture::RootName(key); !root.empty())
        return root;
    const auto found = HandlePaths().find(key);
    return found == HandlePaths().end() ? std::string() : found->second;
}

std::vector<std::string> SplitKeyPath(const char *subKey)
{
    std::vector<std::string> names;
    std::string name;
    for (const char *c = subKey ? subKey : ""; *c; ++c) {
        if (*c != '\\') {
            name += *c;
        } else if (!name.empty()) {
            names.push_back(std::move(name));
            name.clear();
        }
    }
    if (!name.empty())
        names.push_back(std::move(name));
    return names;
}

std::string JoinedPath(std::string base, const char *subKey)
{
    for (const std::string &name : SplitKeyPath(subKey))
        base += "\\" + name;
    return base;
}

std::uint64_t &UndoingId()
{
    static std::uint64_t id = 0;
    return id;
}

void Record_(Kind kind, std::string target, std::string name, State before, State after,
             journal::KeyContent deleted = {})
{
    Record record;
    record.kind = kind;
    record.target = std::move(target);
    record.name = std::move(name);
    record.before = std::move(before);
    record.after = std::move(after);
    record.deleted = std::move(deleted);
    record.undoes = UndoingId();
    journal::Append(std::move(record));
}

// A file change made by `write`, recorded when it succeeds and changed something.
template <typename Write> bool RecordedFileWrite(const std::string &windowsPath, Write write)
{
    if (journal::Pause::Active())
        return write();
    State before = capture::ReadFile(windowsPath);
    if (!write())
        return false;
    State after = capture::ReadFile(windowsPath);
    if (before != after)
        Record_(Kind::File, windowsPath, {}, std::move(before), std::move(after));
    return true;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The drive a subst command line names ("X:"), empty when it is no subst command.
std::string SubstDriveOf(const char *commandLine)
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
    std::string program = Lower(words.front());
    program = program.substr(program.find_last_of("\\/") + 1);
    if (program != "subst" && program != "subst.exe")
        return {};
    for (std::size_t i = 1; i < words.size(); ++i)
        if (words[i].size() == 2 && words[i][1] == ':' && std::isalpha(static_cast<unsigned char>(words[i][0])))
            return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(words[i][0])))) + ":";
    return {};
}

} // namespace

namespace journal::detail
{

UndoScope::UndoScope(std::uint64_t id) : previous_(std::exchange(UndoingId(), id)) {}

UndoScope::~UndoScope()
{
    UndoingId() = previous_;
}

void Forget()
{
    HandlePaths().clear();
    ForgetJournalFile();
}

bool RemoveFileRecorded(const std::string &windowsPath)
{
    return RecordedFileWrite(windowsPath, [&] { return raw::RemoveFile(windowsPath); });
}

} // namespace journal::detail

LONG RegOpenKeyExA(HKEY hKey, const char *lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    const LONG rc = raw::RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult);
    if (rc == ERROR_SUCCESS)
        HandlePaths()[*phkResult] = JoinedPath(PathOfHandle(hKey), lpSubKey);
    return rc;
}

LONG RegCreateKeyExA(HKEY hKey, const char *lpSubKey, DWORD Reserved, char *lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES *lpSecurityAttributes, PHKEY phkResult, DWORD *lpdwDisposition)
{
    const std::string base = PathOfHandle(hKey);
    const std::string path = JoinedPath(base, lpSubKey);
    // The first key of the path that is missing is the one the call creates, with the rest
    // below it: undoing the change deletes that one.
    std::string firstMissing;
    const bool recorded =
        !journal::Pause::Active() && !(dwOptions & REG_OPTION_VOLATILE) && !base.empty() && !capture::KeyExists(path);
    if (recorded) {
        firstMissing = base;
        for (const std::string &name : SplitKeyPath(lpSubKey)) {
            firstMissing += "\\" + name;
            if (!capture::KeyExists(firstMissing))
                break;
        }
    }
    DWORD disposition = 0;
    const LONG rc = raw::RegCreateKeyExA(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, lpSecurityAttributes,
                                         phkResult, &disposition);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (lpdwDisposition)
        *lpdwDisposition = disposition;
    HandlePaths()[*phkResult] = path;
    if (recorded && disposition == REG_CREATED_NEW_KEY)
        Record_(Kind::KeyCreated, firstMissing, {}, State{}, State{true, 0, {}});
    return rc;
}

LONG RegSetValueExA(HKEY hKey, const char *lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData, DWORD cbData)
{
    if (journal::Pause::Active())
        return raw::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
    const std::string path = PathOfHandle(hKey);
    const std::string name = lpValueName ? lpValueName : "";
    State before = capture::ReadValue(path, name);
    const LONG rc = raw::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
    if (rc != ERROR_SUCCESS || path.empty())
        return rc;
    State after = capture::ReadValue(path, name);
    if (before != after)
        Record_(Kind::Value, path, name, std::move(before), std::move(after));
    return rc;
}

LONG RegDeleteValueA(HKEY hKey, const char *lpValueName)
{
    if (journal::Pause::Active())
        return raw::RegDeleteValueA(hKey, lpValueName);
    const std::string path = PathOfHandle(hKey);
    const std::string name = lpValueName ? lpValueName : "";
    State before = capture::ReadValue(path, name);
    const LONG rc = raw::RegDeleteValueA(hKey, lpValueName);
    if (rc == ERROR_SUCCESS && !path.empty())
        Record_(Kind::Value, path, name, std::move(before), State{});
    return rc;
}

LONG RegDeleteKeyA(HKEY hKey, const char *lpSubKey)
{
    if (journal::Pause::Active())
        return raw::RegDeleteKeyA(hKey, lpSubKey);
    const std::string base = PathOfHandle(hKey);
    const std::string path = JoinedPath(base, lpSubKey);
    journal::KeyContent content;
    if (!base.empty())
        content = capture::ReadContent(path);
    const LONG rc = raw::RegDeleteKeyA(hKey, lpSubKey);
    if (rc != ERROR_SUCCESS || base.empty())
        return rc;
    Record_(Kind::KeyDeleted, path, {}, State{true, 0, {}}, State{}, std::move(content));
    return rc;
}

LONG RegCloseKey(HKEY hKey)
{
    const LONG rc = raw::RegCloseKey(hKey);
    if (rc == ERROR_SUCCESS)
        HandlePaths().erase(hKey);
    return rc;
}

BOOL WritePrivateProfileStringA(const char *lpAppName, const char *lpKeyName, const char *lpString,
                                const char *lpFileName)
{
    if (journal::Pause::Active())
        return raw::WritePrivateProfileStringA(lpAppName, lpKeyName, lpString, lpFileName);
    const std::string file = capture::ProfilePath(lpFileName);
    if (!lpAppName || !lpKeyName)
        return RecordedFileWrite(
            file, [&] { return raw::WritePrivateProfileStringA(lpAppName, lpKeyName, lpString, lpFileName) != 0; });
    const std::string name = std::string(lpAppName) + '\0' + lpKeyName;
    State before = capture::ReadProfile(file, name);
    if (!raw::WritePrivateProfileStringA(lpAppName, lpKeyName, lpString, lpFileName))
        return 0;
    State after = capture::ReadProfile(file, name);
    if (before != after)
        Record_(Kind::Profile, file, name, std::move(before), std::move(after));
    return 1;
}

BOOL CopyFileA(const char *lpExistingFileName, const char *lpNewFileName, BOOL bFailIfExists)
{
    const std::string target = lpNewFileName ? lpNewFileName : "";
    return RecordedFileWrite(target,
                             [&] { return raw::CopyFileA(lpExistingFileName, lpNewFileName, bFailIfExists) != 0; });
}

BOOL SetFileAttributesA(const char *lpFileName, DWORD dwFileAttributes)
{
    if (journal::Pause::Active())
        return raw::SetFileAttributesA(lpFileName, dwFileAttributes);
    const std::string path = lpFileName ? lpFileName : "";
    State before = capture::ReadAttributes(path);
    if (!raw::SetFileAttributesA(lpFileName, dwFileAttributes))
        return 0;
    State after = capture::ReadAttributes(path);
    if (before != after)
        Record_(Kind::Attributes, path, {}, std::move(before), std::move(after));
    return 1;
}

UINT WinExec(const char *lpCmdLine, UINT uCmdShow)
{
    const std::string drive = SubstDriveOf(lpCmdLine);
    if (drive.empty() || journal::Pause::Active())
        return raw::WinExec(lpCmdLine, uCmdShow);
    State before = capture::ReadDrive(drive);
    const UINT result = raw::WinExec(lpCmdLine, uCmdShow);
    State after = capture::ReadDrive(drive);
    if (before != after)
        Record_(Kind::Drive, drive, {}, std::move(before), std::move(after));
    return result;
}

bool WriteTextLines(const std::string &windowsPath, const std::vector<std::string> &lines)
{
    return RecordedFileWrite(windowsPath, [&] { return raw::WriteTextLines(windowsPath, lines); });
}

bool WriteWholeFile(const std::string &windowsPath, const std::string &bytes, bool executable)
{
    return RecordedFileWrite(windowsPath, [&] { return raw::WriteWholeFile(windowsPath, bytes, executable); });
}

} // namespace win
