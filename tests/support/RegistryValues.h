// Registry values set and read in one call each through the `win` functions, for the tests whose
// subject is what surrounds a write (the machine folder, the journal, other processes, Wine)
// rather than the registry calls themselves, which the contract suite exercises one by one.
#pragma once

#include "win32.h"

#include <cstring>
#include <optional>
#include <string>
#include <utility>

namespace regvalues
{

inline win::LONG SetValue(win::HKEY root, const std::string &path, const std::string &name, win::DWORD type,
                          const std::string &bytes)
{
    win::HKEY key = nullptr;
    win::LONG rc = win::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                        nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = win::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const win::BYTE *>(bytes.data()),
                                 static_cast<win::DWORD>(bytes.size()));
        win::RegCloseKey(key);
    }
    return rc;
}

inline win::LONG SetDword(win::HKEY root, const std::string &path, const std::string &name, win::DWORD number)
{
    return SetValue(root, path, name, REG_DWORD, std::string(reinterpret_cast<const char *>(&number), sizeof number));
}

inline win::LONG SetString(win::HKEY root, const std::string &path, const std::string &name, const std::string &text)
{
    return SetValue(root, path, name, REG_SZ, text + '\0');
}

// A value's type and bytes; nullopt when it or its key is missing.
inline std::optional<std::pair<win::DWORD, std::string>> QueryValue(win::HKEY root, const std::string &path,
                                                                    const std::string &name)
{
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    win::DWORD type = REG_NONE;
    win::DWORD size = 0;
    win::LONG rc = win::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::string bytes(size, '\0');
    if (rc == ERROR_SUCCESS)
        rc = win::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<win::BYTE *>(bytes.data()),
                                   &size);
    win::RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    bytes.resize(size);
    return std::pair(type, bytes);
}

// A REG_DWORD's number; nullopt when it is missing or not a DWORD.
inline std::optional<win::DWORD> QueryDword(win::HKEY root, const std::string &path, const std::string &name)
{
    const auto value = QueryValue(root, path, name);
    if (!value || value->first != REG_DWORD || value->second.size() != sizeof(win::DWORD))
        return std::nullopt;
    win::DWORD number = 0;
    std::memcpy(&number, value->second.data(), sizeof number);
    return number;
}

} // namespace regvalues
