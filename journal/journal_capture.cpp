#include "journal_capture.h"

#include "files.h"
#include "machine.h"
#include "win32.h"

#include <array>
#include <string_view>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace journal::capture
{

namespace
{

using win::BYTE;
using win::DWORD;
using win::HKEY;

struct RootEntry {
    std::string_view name;
    std::uint32_t code;
};

constexpr std::array<RootEntry, 4> kRoots{{
    {"HKEY_CLASSES_ROOT", 0x80000000u},
    {"HKEY_CURRENT_USER", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", 0x80000002u},
    {"HKEY_USERS", 0x80000003u},
}};

// A key opened for reading, closed when it goes.
class ReadKey
{
public:
    explicit ReadKey(const std::string &keyPath)
    {
        std::string rest;
        if (const auto root = RootOf(keyPath, rest))
            if (win::RegOpenKeyExA(*root, rest.empty() ? nullptr : rest.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS)
                key_ = nullptr;
    }
    ~ReadKey()
    {
        if (key_)
            win::RegCloseKey(key_);
    }
    ReadKey(const ReadKey &) = delete;
    ReadKey &operator=(const ReadKey &) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

State ValueOf(HKEY key, const std::string &name)
{
    State state;
    DWORD type = 0;
    DWORD size = 0;
    if (win::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return state;
    std::string data(size, '\0');
    if (win::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &size) !=
        ERROR_SUCCESS)
        return state;
    data.resize(size);
    return State{true, type, std::move(data)};
}

std::vector<std::string> ValueNames(HKEY key)
{
    std::vector<std::string> names;
    std::string name(16384, '\0');
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        if (win::RegEnumValueA(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

std::vector<std::string> SubkeyNames(HKEY key)
{
    std::vector<std::string> names;
    char name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (win::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

} // namespace

std::optional<HKEY> RootOf(const std::string &keyPath, std::string &rest)
{
    const std::size_t slash = keyPath.find('\\');
    const std::string_view root = std::string_view(keyPath).substr(0, slash);
    for (const RootEntry &entry : kRoots) {
        if (entry.name == root) {
            rest = slash == std::string::npos ? std::string() : keyPath.substr(slash + 1);
            return win::PredefinedKey(entry.code);
        }
    }
    return std::nullopt;
}

std::string RootName(HKEY key)
{
    for (const RootEntry &entry : kRoots)
        if (win::PredefinedKey(entry.code) == key)
            return std::string(entry.name);
    return {};
}

State ReadValue(const std::string &keyPath, const std::string &name)
{
    const ReadKey key(keyPath);
    return key.Get() ? ValueOf(key.Get(), name) : State{};
}

bool KeyExists(const std::string &keyPath)
{
    return ReadKey(keyPath).Get() != nullptr;
}

KeyContent ReadContent(const std::string &keyPath)
{
    KeyContent content;
    content.name = keyPath.substr(keyPath.rfind('\\') + 1);
    const ReadKey key(keyPath);
    if (!key.Get())
        return content;
    for (const std::string &name : ValueNames(key.Get()))
        content.values.emplace_back(name, ValueOf(key.Get(), name));
    for (const std::string &name : SubkeyNames(key.Get()))
        content.subkeys.push_back(ReadContent(keyPath + "\\" + name));
    return content;
}

State ReadFile(const std::string &windowsPath)
{
    std::string bytes;
    if (!win::ReadMachineFile(windowsPath, bytes))
        return {};
    State state{true, 0, std::move(bytes)};
#ifndef _WIN32
    // A program Wine starts natively is marked executable on the host (a disk image has no such mark).
    struct stat st {
    };
    if (const std::string host = win::HostPathOf(windowsPath);
        !host.empty() && ::stat(host.c_str(), &st) == 0 && (st.st_mode & 0100))
        state.type = 1;
#endif
    return state;
}

State ReadProfile(const std::string &file, const std::string &name)
{
    const std::size_t split = name.find('\0');
    const std::string section = name.substr(0, split);
    const std::string key = split == std::string::npos ? std::string() : name.substr(split + 1);
    // No profile value holds control characters, so this default tells a missing key from an
    // empty one.
    constexpr const char *kMissing = "\x01\x02";
    std::vector<char> buffer(512);
    for (;;) {
        const DWORD length = win::GetPrivateProfileStringA(section.c_str(), key.c_str(), kMissing, buffer.data(),
                                                           static_cast<DWORD>(buffer.size()), file.c_str());
        if (length + 1 < buffer.size()) {
            const std::string value(buffer.data(), length);
            return value == kMissing ? State{} : State{true, 0, value};
        }
        buffer.resize(buffer.size() * 4);
    }
}

State ReadAttributes(const std::string &windowsPath)
{
    const DWORD attributes = win::GetFileAttributesA(windowsPath.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? State{} : State{true, attributes, {}};
}

State ReadDrive(const std::string &drive)
{
    const std::string root = drive + "\\";
    if (win::GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR)
        return {};
    return State{true, 0, win::HostPathOf(root)};
}

std::string ProfilePath(const char *fileName)
{
    const std::string name = fileName ? fileName : "";
    if (name.find('\\') != std::string::npos || name.find(':') != std::string::npos)
        return name;
    char folder[260] = {};
    win::GetWindowsDirectoryA(folder, sizeof folder);
    return std::string(folder) + "\\" + name;
}

} // namespace journal::capture
