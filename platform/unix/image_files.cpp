#include "image_files.h"

#include "machine_files.h"

#include <algorithm>
#include <cctype>

namespace win::detail
{

namespace
{

// "C:\WINDOWS\WIN.INI" as "WINDOWS\WIN.INI" in the file system; false for another drive or a
// path that is not absolute.
bool InImage(const char *windowsPath, std::string &path)
{
    if (!windowsPath)
        return false;
    const std::string_view text(windowsPath);
    if (text.size() < 3 || std::tolower(static_cast<unsigned char>(text[0])) != 'c' || text[1] != ':' ||
        (text[2] != '\\' && text[2] != '/'))
        return false;
    path = std::string(text.substr(3));
    std::replace(path.begin(), path.end(), '/', '\\');
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return true;
}

image::FatFiles &Files(ImageMachine &machine)
{
    return machine.Image().Files();
}

} // namespace

DWORD ImageFileAttributes(ImageMachine &machine, const char *windowsPath)
{
    std::string path;
    if (!InImage(windowsPath, path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (path.empty())
        return FILE_ATTRIBUTE_DIRECTORY;
    DWORD attributes = 0;
    if (const LONG rc = Files(machine).GetAttributes(path, attributes); rc != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(rc));
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

BOOL ImageSetFileAttributes(ImageMachine &machine, const char *windowsPath, DWORD attributes)
{
    std::string path;
    if (!InImage(windowsPath, path) || path.empty())
        return Fail(path.empty() && windowsPath ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
    const LONG rc = Files(machine).SetAttributes(path, attributes);
    return rc == ERROR_SUCCESS ? 1 : Fail(static_cast<DWORD>(rc));
}

BOOL ImageCopyFile(ImageMachine &machine, const char *from, const char *to, BOOL failIfExists)
{
    std::string source;
    std::string target;
    if (!InImage(from, source) || !InImage(to, target))
        return Fail(ERROR_PATH_NOT_FOUND);
    DWORD attributes = 0;
    if (const LONG rc = Files(machine).GetAttributes(source, attributes); rc != ERROR_SUCCESS)
        return Fail(static_cast<DWORD>(rc));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Fail(ERROR_ACCESS_DENIED);
    if (source == target)
        return Fail(ERROR_SHARING_VIOLATION);
    if (Files(machine).Exists(target) && failIfExists)
        return Fail(ERROR_FILE_EXISTS);
    std::string bytes;
    LONG rc = Files(machine).ReadFile(source, bytes);
    if (rc == ERROR_SUCCESS)
        rc = Files(machine).ReplaceFile(target, bytes);
    // The copy takes the source's attributes, read-only included.
    if (rc == ERROR_SUCCESS)
        rc = Files(machine).SetAttributes(target, attributes);
    return rc == ERROR_SUCCESS ? 1 : Fail(static_cast<DWORD>(rc));
}

// Windows deletes neither a folder nor a file marked read-only.
BOOL ImageDeleteFile(ImageMachine &machine, const char *windowsPath)
{
    std::string path;
    if (!InImage(windowsPath, path))
        return Fail(ERROR_PATH_NOT_FOUND);
    DWORD attributes = 0;
    if (const LONG rc = Files(machine).GetAttributes(path, attributes); rc != ERROR_SUCCESS)
        return Fail(static_cast<DWORD>(rc));
    if (path.empty() || attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
        return Fail(ERROR_ACCESS_DENIED);
    const LONG rc = Files(machine).Delete(path);
    return rc == ERROR_SUCCESS ? 1 : Fail(static_cast<DWORD>(rc));
}

bool ImageReadFile(ImageMachine &machine, const std::string &windowsPath, std::string &bytes)
{
    std::string path;
    if (!InImage(windowsPath.c_str(), path))
        return Fail(ERROR_PATH_NOT_FOUND);
    const LONG rc = Files(machine).ReadFile(path, bytes);
    return rc == ERROR_SUCCESS || Fail(static_cast<DWORD>(rc));
}

bool ImageWriteFile(ImageMachine &machine, const std::string &windowsPath, const std::string &bytes)
{
    std::string path;
    if (!InImage(windowsPath.c_str(), path) || path.empty())
        return Fail(ERROR_PATH_NOT_FOUND);
    const LONG rc = Files(machine).ReplaceFile(path, bytes);
    return rc == ERROR_SUCCESS || Fail(static_cast<DWORD>(rc));
}

bool ImageFileExists(ImageMachine &machine, const std::string &windowsPath)
{
    std::string path;
    if (!InImage(windowsPath.c_str(), path))
        return Fail(ERROR_PATH_NOT_FOUND);
    return path.empty() || Files(machine).Exists(path) || Fail(ERROR_FILE_NOT_FOUND);
}

std::vector<std::string> ImageSubfolders(ImageMachine &machine, const std::string &windowsFolder)
{
    std::string path;
    std::vector<std::string> names;
    if (!InImage(windowsFolder.c_str(), path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return names;
    }
    std::vector<image::FolderItem> items;
    if (const LONG rc = Files(machine).ListFolder(path, items); rc != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(rc));
        return names;
    }
    for (const image::FolderItem &item : items)
        if (item.folder && item.name != "." && item.name != "..")
            names.push_back(item.name);
    return names;
}

} // namespace win::detail
