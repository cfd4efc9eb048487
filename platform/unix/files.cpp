// Files, attributes and drives of the machine folder, kept the way Wine keeps them.
#include "files.h"
#include "change_hook.h"
#include "code_page.h"
#include "durable_file.h"
#include "file_reads.h"
#include "image_files.h"
#include "machine.h"
#include "machine_files.h"
#include "text_lines.h"
#include "unicode.h"
#include "win32.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace win
{

namespace
{

namespace fs = std::filesystem;

thread_local DWORD lastError = ERROR_SUCCESS;

// Wine keeps hidden and system in this extended attribute, as Samba does.
constexpr const char *kDosAttributeName = "user.DOSATTRIB";
constexpr DWORD kStoredAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Wine's ntdll accepts "0x" and hex digits up to the value's end or a NUL (Samba adds more after
// a NUL); anything else counts as no attribute.
DWORD StoredDosAttributes(const std::string &hostPath)
{
    char value[256];
    const ssize_t length = getxattr(hostPath.c_str(), kDosAttributeName, value, sizeof value - 1);
    if (length <= 2 || value[0] != '0' || value[1] != 'x')
        return 0;
    value[length] = '\0';
    char *end = nullptr;
    const unsigned long bits = std::strtoul(value, &end, 16);
    return *end == '\0' ? static_cast<DWORD>(bits) & kStoredAttributes : 0;
}

bool StoreDosAttributes(const std::string &hostPath, DWORD attributes)
{
    const DWORD bits = attributes & kStoredAttributes;
    if (bits == 0)
        return removexattr(hostPath.c_str(), kDosAttributeName) == 0 || errno == ENODATA;
    char value[8];
    const int length = std::snprintf(value, sizeof value, "0x%x", static_cast<unsigned>(bits));
    return setxattr(hostPath.c_str(), kDosAttributeName, value, static_cast<size_t>(length), 0) == 0;
}

// Wine hides a name that starts with a dot unless the user asked to see them.
bool ShowsDotFiles()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char value[16] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(key, "ShowDotFiles", nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ && std::strchr("yYtT1", value[0]) && value[0] != '\0';
}

bool IsDotName(const std::string &hostPath)
{
    const std::string name = fs::path(hostPath).filename().string();
    return name.size() > 1 && name[0] == '.' && name != "..";
}

// The process's umask, which Wine honours when it gives write permission back.
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 022;
}

// Read-only is the absence of write permission: setting it clears every write bit; clearing it
// gives the owner write access back and the group and others where they may read.
mode_t ModeWithReadOnly(mode_t mode, bool readOnly, bool directory)
{
    if (readOnly)
        return directory ? mode : mode & ~static_cast<mode_t>(0222);
    return mode | ((0600 | ((mode & 044) >> 1)) & ~CurrentUmask());
}

// The host path of an absolute Windows path ("C:\\x\\y.ini"); empty when there is none (no
// path, not absolute, or a drive that does not exist).
std::string HostPathForFile(const char *windowsPath)
{
    return windowsPath ? HostPathOf(windowsPath) : std::string();
}

// Why the host path names nothing: ERROR_FILE_NOT_FOUND when its folder exists,
// ERROR_PATH_NOT_FOUND when the folder does not (or the path itself is empty).
DWORD MissingError(const std::string &hostPath)
{
    std::error_code ec;
    if (hostPath.empty() || !fs::is_directory(fs::path(hostPath).parent_path(), ec))
        return ERROR_PATH_NOT_FOUND;
    return ERROR_FILE_NOT_FOUND;
}

bool StatOrFail(const char *windowsPath, std::string &hostPath, struct stat &st)
{
    hostPath = HostPathForFile(windowsPath);
    if (hostPath.empty())
        return detail::Fail(ERROR_PATH_NOT_FOUND);
    if (stat(hostPath.c_str(), &st) != 0)
        return detail::Fail(detail::ErrorOfLookup(hostPath, errno));
    return true;
}

bool SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The drive letter of a root path "C:\\" (also "C:" and "c:/"); 0 for anything else.
char DriveLetterOfRoot(const char *root)
{
    if (!root)
        return 'c';
    const bool root3 = (root[2] == '\\' || root[2] == '/') && root[3] == '\0';
    if (!std::isalpha(static_cast<unsigned char>(root[0])) || root[1] != ':' || (root[2] != '\0' && !root3))
        return 0;
    return static_cast<char>(std::tolower(static_cast<unsigned char>(root[0])));
}

bool IsDrive(char letter)
{
    std::error_code ec;
    return fs::is_directory(detail::DriveLinkOf(letter), ec);
}

// The type a drive's "x:" value under HKEY_LOCAL_MACHINE\Software\Wine\Drives names, as Wine's
// mount manager reads it; DRIVE_UNKNOWN when it names none.
UINT ConfiguredDriveType(char letter)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return DRIVE_UNKNOWN;
    const char name[] = {letter, ':', '\0'};
    char value[32] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return DRIVE_UNKNOWN;
    constexpr struct {
        const char *name;
        UINT type;
    } kTypes[] = {{"hd", DRIVE_FIXED},
                  {"floppy", DRIVE_REMOVABLE},
                  {"cdrom", DRIVE_CDROM},
                  {"network", DRIVE_REMOTE},
                  {"ramdisk", DRIVE_RAMDISK}};
    for (const auto &known : kTypes)
        if (strcasecmp(value, known.name) == 0)
            return known.type;
    return DRIVE_UNKNOWN;
}

// What the file system under a drive tells Wine: a CD's file system or a network share.
UINT FileSystemDriveType(const std::string &root)
{
    struct statfs info {
    };
    if (statfs(root.c_str(), &info) != 0)
        return DRIVE_UNKNOWN;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x9660:     // ISO 9660
    case 0x15013346: // UDF
        return DRIVE_CDROM;
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
        return DRIVE_REMOTE;
    default: return DRIVE_UNKNOWN;
    }
}

// The path with every link followed, as far as it exists; what does not exist yet is appended.
fs::path FollowedPath(const std::string &path)
{
    std::error_code ec;
    const fs::path followed = fs::weakly_canonical(path, ec);
    return ec ? fs::path(path).lexically_normal() : followed;
}

// The number of names in a path, its root counted as one; an empty path has none.
std::size_t Depth(const fs::path &path)
{
    std::size_t depth = 0;
    for (const fs::path &part : path)
        depth += part.empty() ? 0 : 1;
    return depth;
}

// Whether `path` is `folder` or lies inside it, name by name.
bool IsWithin(const fs::path &path, const fs::path &folder)
{
    auto inPath = path.begin();
    for (const fs::path &part : folder) {
        if (part.empty())
            continue; // the trailing separator of "/x/"
        if (inPath == path.end() || *inPath != part)
            return false;
        ++inPath;
    }
    return true;
}

// The host folders Wine links a user's shell folders to (drive_c/users/<name>/Desktop ->
// ~/Desktop, ...): folders of the machine, though they lie outside its folder.
std::vector<fs::path> ShellFolderLinkTargets()
{
    std::vector<fs::path> targets;
    std::error_code ec;
    for (const auto &user : fs::directory_iterator(fs::path(MachineFolder()) / "drive_c" / "users", ec)) {
        std::error_code e;
        if (user.is_symlink(e) || !user.is_directory(e))
            continue;
        for (const auto &folder : fs::directory_iterator(user.path(), e))
            if (std::error_code f; folder.is_symlink(f) && folder.is_directory(f))
                targets.push_back(FollowedPath(folder.path().string()));
    }
    return targets;
}

bool LessByName(const std::string &a, const std::string &b)
{
    const int order = detail::CompareNames(a, b);
    return order != 0 ? order < 0 : a < b;
}

} // namespace

DWORD GetLastError()
{
    return lastError;
}

void SetLastError(DWORD dwErrCode)
{
    lastError = dwErrCode;
}

namespace detail
{

std::string DriveLinkOf(char letter)
{
    return MachineFolder() + "/dosdevices/" + letter + ":";
}

std::string DriveRootOf(char letter)
{
    const fs::path link = DriveLinkOf(letter);
    std::error_code ec;
    if (!fs::is_symlink(link, ec))
        return {};
    fs::path target = fs::read_symlink(link, ec);
    if (ec)
        return {};
    if (target.is_relative())
        target = link.parent_path() / target;
    return target.lexically_normal().string();
}

DWORD ErrorOfLookup(const std::string &hostPath, int error)
{
    if (error == ENOENT)
        return MissingError(hostPath);
    return static_cast<DWORD>(ErrorFromErrno(error));
}

LONG CheckStaysInMachine(const std::string &hostPath)
{
    const fs::path written = FollowedPath(hostPath);
    if (IsWithin(written, FollowedPath(MachineFolder())))
        return ERROR_SUCCESS;
    const fs::path named = fs::path(hostPath).lexically_normal();
    fs::path closest;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const fs::path root = fs::path(DriveRootOf(letter)).lexically_normal();
        if (!root.empty() && IsWithin(named, root) && Depth(root) > Depth(closest))
            closest = root;
    }
    if (!closest.empty() && IsWithin(written, FollowedPath(closest.string())))
        return ERROR_SUCCESS;
    for (const fs::path &shellFolder : ShellFolderLinkTargets())
        if (IsWithin(written, shellFolder))
            return ERROR_SUCCESS;
    return ERROR_CANT_ACCESS_FILE;
}

LONG ChangeMachineFile(const std::string &hostPath, const std::function<LONG(std::string &bytes)> &change)
{
    const FolderLock lock(MachineFolder());
    if (!lock.Held())
        return ERROR_ACCESS_DENIED;
    std::string bytes;
    if (!ReadWholeFile(hostPath, bytes)) {
        if (errno != ENOENT)
            return static_cast<LONG>(ErrorOfLookup(hostPath, errno));
        if (MissingError(hostPath) == ERROR_PATH_NOT_FOUND)
            return ERROR_PATH_NOT_FOUND;
    }
    const std::string before = bytes;
    if (const LONG rc = CheckStaysInMachine(hostPath); rc != ERROR_SUCCESS)
        return rc;
    if (const LONG rc = change(bytes); rc != ERROR_SUCCESS)
        return rc;
    // A missing file reads as no bytes, so one that stays empty is not made either.
    if (bytes == before)
        return ERROR_SUCCESS;
    RemoveStaleTemporaryFilesOf(hostPath);
    if (const LONG rc = CheckReplaceable(hostPath); rc != ERROR_SUCCESS)
        return rc;
    return ReplaceFileDurably(hostPath, bytes);
}

LONG ReplaceMachineFile(const std::string &hostPath, const std::string &bytes, const FileMode &mode)
{
    const FolderLock lock(MachineFolder());
    if (!lock.Held())
        return ERROR_ACCESS_DENIED;
    if (const LONG rc = CheckStaysInMachine(hostPath); rc != ERROR_SUCCESS)
        return rc;
    RemoveStaleTemporaryFilesOf(hostPath);
    if (const LONG rc = CheckReplaceable(hostPath); rc != ERROR_SUCCESS)
        return rc;
    return ReplaceFileDurably(hostPath, bytes, mode);
}

} // namespace detail

namespace
{

BOOL SetAttributes(const char *lpFileName, DWORD dwFileAttributes)
{
    if (detail::ImageMachine *image = detail::CurrentImageMachine())
        return detail::ImageSetFileAttributes(*image, lpFileName, dwFileAttributes);
    std::string host;
    struct stat st {
    };
    if (!StatOrFail(lpFileName, host, st))
        return 0;
    if (const LONG rc = detail::CheckStaysInMachine(host); rc != ERROR_SUCCESS)
        return detail::Fail(static_cast<DWORD>(rc));
    const mode_t mode =
        ModeWithReadOnly(st.st_mode & 07777, dwFileAttributes & FILE_ATTRIBUTE_READONLY, S_ISDIR(st.st_mode));
    if (mode != (st.st_mode & 07777) && chmod(host.c_str(), mode) != 0)
        return detail::Fail(static_cast<DWORD>(detail::ErrorFromErrno(errno)));
    if (!StoreDosAttributes(host, dwFileAttributes))
        return detail::Fail(errno == ENOTSUP ? ERROR_NOT_SUPPORTED : ERROR_ACCESS_DENIED);
    return 1;
}

BOOL CopyFile(const char *lpExistingFileName, const char *lpNewFileName, BOOL bFailIfExists)
{
    if (detail::ImageMachine *image = detail::CurrentImageMachine())
        return detail::ImageCopyFile(*image, lpExistingFileName, lpNewFileName, bFailIfExists);
    std::string source;
    struct stat sourceStat {
    };
    if (!StatOrFail(lpExistingFileName, source, sourceStat))
        return 0;
    if (S_ISDIR(sourceStat.st_mode))
        return detail::Fail(ERROR_ACCESS_DENIED);
    const std::string target = HostPathForFile(lpNewFileName);
    if (target.empty())
        return detail::Fail(ERROR_PATH_NOT_FOUND);
    struct stat targetStat {
    };
    if (stat(target.c_str(), &targetStat) == 0) {
        // Windows opens the source without sharing writes, so a copy onto itself is refused.
        if (SameFile(sourceStat, targetStat))
            return detail::Fail(ERROR_SHARING_VIOLATION);
        if (bFailIfExists)
            return detail::Fail(ERROR_FILE_EXISTS);
        if (S_ISDIR(targetStat.st_mode))
            return detail::Fail(ERROR_ACCESS_DENIED);
    }
    std::string bytes;
    if (!detail::ReadWholeFile(source, bytes, kIconSourceLimit))
        return detail::Fail(detail::ErrorOfLookup(source, errno));
    // The copy takes the source's attributes, read-only included.
    const detail::FileMode mode{static_cast<unsigned>(sourceStat.st_mode & 0777), 0, false};
    if (const LONG rc = detail::ReplaceMachineFile(target, bytes, mode); rc != ERROR_SUCCESS)
        return detail::Fail(static_cast<DWORD>(rc));
    StoreDosAttributes(target, StoredDosAttributes(source));
    return 1;
}

bool WriteFileBytes(const std::string &windowsPath, const std::string &bytes, bool executable)
{
    if (detail::ImageMachine *image = detail::CurrentImageMachine())
        return detail::ImageWriteFile(*image, windowsPath, bytes);
    const std::string host = HostPathOf(windowsPath);
    if (host.empty())
        return detail::Fail(ERROR_PATH_NOT_FOUND);
    detail::FileMode mode;
    mode.added = executable ? 0111 : 0;
    if (const LONG rc = detail::ReplaceMachineFile(host, bytes, mode); rc != ERROR_SUCCESS)
        return detail::Fail(static_cast<DWORD>(rc));
    return true;
}

// Windows deletes neither a folder nor a file marked read-only.
BOOL DeleteFile(const char *lpFileName)
{
    if (detail::ImageMachine *image = detail::CurrentImageMachine())
        return detail::ImageDeleteFile(*image, lpFileName);
    std::string host;
    struct stat st {
    };
    if (!StatOrFail(lpFileName, host, st))
        return 0;
    if (S_ISDIR(st.st_mode) || !(st.st_mode & 0222))
        return detail::Fail(ERROR_ACCESS_DENIED);
    if (unlink(host.c_str()) != 0)
        return detail::Fail(detail::ErrorOfLookup(host, errno));
    return 1;
}

} // namespace

DWORD GetFileAttributesA(const char *lpFileName)
{
    if (detail::ImageMachine *image = detail::CurrentImageMachine())
        return detail::ImageFileAttributes(*image, lpFileName);
    std::string host;
    struct stat st {
    };
    if (!StatOrFail(lpFileName, host, st))
        return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(st.st_mode & 0222))
        attributes |= FILE_ATTRIBUTE_READONLY;
    attributes |= StoredDosAttributes(host);
    if (IsDotName(host) && !ShowsDotFiles())
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes;
}

BOOL SetFileAttributesA(const char *lpFileName, DWORD dwFileAttributes)
{
    return detail::Reported({.kind = Change::Kind::Attributes, .path = lpFileName},
                            [&] { return SetAttributes(lpFileName, dwFileAttributes); });
}

BOOL CopyFileA(const char *lpExistingFileName, const char *lpNewFileName, BOOL bFailIfExists)
{
    return detail::Reported({.kind = Change::Kind::File, .path = lpNewFileName},
                            [&] { return CopyFile(lpExistingFileName, lpNewFileName, bFailIfExists); });
}

BOOL DeleteFileA(const char *lpFileName)
{
    return detail::Reported({.kind = Change::Kind::File, .path = lpFileName}, [&] { return DeleteFile(lpFileName); });
}

UINT GetDriveTypeA(const char *lpRootPathName)
{
    if (detail::CurrentImageMachine()) {
        // A guest that is not running has only the drive that holds Windows.
        const char letter = DriveLetterOfRoot(lpRootPathName);
        return letter == 'c' ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
    }
    const char letter = DriveLetterOfRoot(lpRootPathName);
    if (!letter || !IsDrive(letter))
        return DRIVE_NO_ROOT_DIR;
    if (const UINT type = FileSystemDriveType(detail::DriveLinkOf(letter)); type != DRIVE_UNKNOWN)
        return type;
    if (const UINT type = ConfiguredDriveType(letter); type != DRIVE_UNKNOWN)
        return type;
    return DRIVE_FIXED;
}

std::vector<std::string> LogicalDrives()
{
    if (detail::CurrentImageMachine())
        return {"c:"};
    std::vector<std::string> drives;
    for (char letter = 'a'; letter <= 'z'; ++letter)
        if (IsDrive(letter))
            drives.push_back(std::string{letter, ':'});
    return drives;
}

std::vector<std::string> SubfoldersOf(const std::string &windowsFolder)
{
    if (detail::ImageMachine *image = detail::CurrentImageMachine()) {
        std::vector<std::string> names = detail::ImageSubfolders(*image, windowsFolder);
        std::sort(names.begin(), names.end(), LessByName);
        return names;
    }
    std::vector<std::string> names;
    const std::string host = HostPathOf(windowsFolder);
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(host.empty() ? fs::path() : fs::path(host), ec)) {
        std::error_code e;
        if (entry.is_directory(e))
            names.push_back(entry.path().filename().string());
    }
    if (ec)
        SetLastError(host.empty() ? ERROR_PATH_NOT_FOUND : detail::ErrorOfLookup(host, ec.value()));
    std::sort(names.begin(), names.end(), LessByName);
    return names;
}

bool ReadTextLines(const std::string &windowsPath, std::vector<std::string> &lines)
{
    lines.clear();
    if (detail::ImageMachine *image = detail::CurrentImageMachine()) {
        std::string text;
        if (!detail::ImageReadFile(*image, windowsPath, text))
            return false;
        lines = detail::SplitTextLines(detail::MachineTextToUtf8(text));
        return true;
    }
    const std::string host = HostPathOf(windowsPath);
    if (host.empty())
        return detail::Fail(ERROR_PATH_NOT_FOUND);
    std::string text;
    if (!detail::ReadWholeFile(host, text))
        return detail::Fail(detail::ErrorOfLookup(host, errno));
    lines = detail::SplitTextLines(detail::MachineTextToUtf8(text));
    return true;
}

bool ReadMachineFile(const std::string &windowsPath, std::string &bytes)
{
    bytes.clear();
    if (detail::ImageMachine *image = detail::CurrentImageMachine())
        return detail::ImageReadFile(*image, windowsPath, bytes);
    const std::string host = HostPathOf(windowsPath);
    if (host.empty())
        return detail::Fail(ERROR_PATH_NOT_FOUND);
    if (const int error = ReadRegularFile(host, bytes, kIconSourceLimit); error != 0)
        return detail::Fail(detail::ErrorOfLookup(host, error));
    return true;
}

bool WriteWholeFile(const std::string &windowsPath, const std::string &bytes, bool executable)
{
    return detail::Reported({.kind = Change::Kind::File, .path = windowsPath.c_str()},
                            [&] { return WriteFileBytes(windowsPath, bytes, executable); });
}

bool WriteTextLines(const std::string &windowsPath, const std::vector<std::string> &lines)
{
    // Windows programs read the file in the machine's code page; a line it cannot hold is refused
    // before anything is written.
    const std::optional<std::string> bytes = detail::Utf8ToMachineText(detail::JoinTextLines(lines));
    return bytes && WriteWholeFile(windowsPath, *bytes, false);
}

bool FileExists(const std::string &windowsPath)
{
    if (detail::ImageMachine *image = detail::CurrentImageMachine())
        return detail::ImageFileExists(*image, windowsPath);
    const std::string host = HostPathOf(windowsPath);
    struct stat st {
    };
    if (host.empty())
        return detail::Fail(ERROR_PATH_NOT_FOUND);
    if (stat(host.c_str(), &st) != 0)
        return detail::Fail(detail::ErrorOfLookup(host, errno));
    return true;
}

} // namespace win
