// Korvex's file helpers over the real file system.
#include "files.h"
#include "change_hook.h"
#include "text_lines.h"
#include "win32.h"

#include <algorithm>
#include <string>
#include <vector>

namespace win
{

namespace
{

// Writes `bytes` to a new file beside `path`, flushes it and moves it over `path`, so that the
// old file stays whole when anything fails. The last error tells why it failed.
bool ReplaceFileDurably(const std::string &path, const std::string &bytes)
{
    const size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    char temp[MAX_PATH];
    if (!::GetTempFileNameA(folder.c_str(), "kvx", 0, temp)) {
        // A folder that is not there: the error a write into it gives.
        if (::GetLastError() == ERROR_DIRECTORY)
            ::SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const HANDLE file = ::CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = file != INVALID_HANDLE_VALUE;
    DWORD done = 0;
    if (written && !bytes.empty())
        written =
            ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size();
    written = written && ::FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    if (written && ::MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD error = ::GetLastError();
    ::DeleteFileA(temp);
    ::SetLastError(error);
    return false;
}

bool ReadWholeFile(const std::string &path, std::string &bytes)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[1 << 16];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0)
        bytes.append(buffer, got);
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    ::SetLastError(error);
    return ok;
}

} // namespace

std::vector<std::string> LogicalDrives()
{
    std::vector<std::string> drives;
    const DWORD mask = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
        if (mask & (1u << i))
            drives.push_back(std::string{static_cast<char>('a' + i), ':'});
    return drives;
}

std::vector<std::string> SubfoldersOf(const std::string &windowsFolder)
{
    std::vector<std::string> names;
    std::string pattern = windowsFolder;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/')
        pattern += '\\';
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((pattern + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        const int order = ::lstrcmpiA(a.c_str(), b.c_str());
        return order != 0 ? order < 0 : a < b;
    });
    return names;
}

namespace
{

// UTF-8 text (a file Korvex wrote before it wrote the code page) in the system's ANSI code page.
std::string Utf8AsAnsi(const std::string &utf8)
{
    const int length = static_cast<int>(utf8.size());
    std::wstring wide(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), static_cast<int>(wide.size()));
    const int wideLength = static_cast<int>(wide.size());
    std::string ansi(
        static_cast<size_t>(::WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr)),
        '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, ansi.data(), static_cast<int>(ansi.size()), nullptr,
                          nullptr);
    return ansi;
}

} // namespace

bool ReadTextLines(const std::string &windowsPath, std::vector<std::string> &lines)
{
    lines.clear();
    std::string text;
    if (!ReadWholeFile(windowsPath, text))
        return false;
    lines = detail::SplitTextLines(detail::IsUtf8BeyondAscii(text) ? Utf8AsAnsi(text) : text);
    return true;
}

bool ReadMachineFile(const std::string &windowsPath, std::string &bytes)
{
    bytes.clear();
    return ReadWholeFile(windowsPath, bytes);
}

bool WriteTextLines(const std::string &windowsPath, const std::vector<std::string> &lines)
{
    return WriteWholeFile(windowsPath, detail::JoinTextLines(lines), false);
}

bool WriteWholeFile(const std::string &windowsPath, const std::string &bytes, bool)
{
    return detail::Reported({.kind = Change::Kind::File, .path = windowsPath.c_str()},
                            [&] { return ReplaceFileDurably(windowsPath, bytes); });
}

bool FileExists(const std::string &windowsPath)
{
    return ::GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace win
