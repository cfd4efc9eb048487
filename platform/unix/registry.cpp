// The registry functions over the machine folder's hives. Handles and the paths they name are
// registry_keys.h's; here are the Reg* entry points, which check their arguments, walk or
// resolve the key and read or change it.
#include "change_hook.h"
#include "machine.h"
#include "machine_store.h"
#include "registry_keys.h"
#include "unicode.h"
#include "win32.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace win
{

namespace
{

using detail::ChangeKey;
using detail::Hive;
using detail::IsPredefined;
using detail::Key;
using detail::KeyRef;
using detail::kUserSid;
using detail::kUsersRoot;
using detail::MarkDeleted;
using detail::NewHandle;
using detail::RefOf;
using detail::Refusal;
using detail::Resolve;
using detail::Store;
using detail::ValueData;
using detail::Walk;
using detail::WalkOptions;
using detail::WalkPath;

constexpr std::size_t kMaxValueName = 16383; // UTF-16 units

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The bytes RegQueryValueExA hands out: strings in UTF-8, everything else as stored.
std::vector<std::uint8_t> AnsiBytes(const ValueData &data)
{
    if (!IsStringType(data.type))
        return data.bytes;
    const std::string utf8 = detail::Utf16ToUtf8(detail::Utf16LeUnits(data.bytes));
    return {utf8.begin(), utf8.end()};
}

std::string NameOrDefault(const char *name)
{
    return name ? detail::AnsiName(name) : std::string();
}

// What opening and creating check first: somewhere to put the handle, a known key to start
// from, and a path relative to it.
LONG CheckOpenArguments(HKEY hKey, const char *subKey, PHKEY result, const KeyRef *&base)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    base = RefOf(hKey);
    if (!base)
        return ERROR_INVALID_HANDLE;
    return subKey && subKey[0] == '\\' ? ERROR_BAD_PATHNAME : ERROR_SUCCESS;
}

LONG OpenKey(HKEY hKey, const char *lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    const KeyRef *base = nullptr;
    if (const LONG rc = CheckOpenArguments(hKey, lpSubKey, phkResult, base); rc != ERROR_SUCCESS)
        return rc;
    WalkOptions options;
    options.openLink = ulOptions & REG_OPTION_OPEN_LINK;
    options.wow32 = detail::WalksIn32BitView(*base, samDesired);
    Walk walk = WalkPath(*base, detail::SplitPath(lpSubKey), options);
    if (walk.status != ERROR_SUCCESS)
        return walk.status;
    walk.ref.access = samDesired;
    *phkResult = NewHandle(std::move(walk.ref));
    return ERROR_SUCCESS;
}

LONG CreateKey(HKEY hKey, const char *lpSubKey, char *lpClass, DWORD dwOptions, REGSAM samDesired, PHKEY phkResult,
               DWORD *lpdwDisposition)
{
    const KeyRef *base = nullptr;
    if (const LONG rc = CheckOpenArguments(hKey, lpSubKey, phkResult, base); rc != ERROR_SUCCESS)
        return rc;
    const std::vector<std::string> names = detail::SplitPath(lpSubKey);
    WalkOptions options;
    options.openLink = dwOptions & REG_OPTION_OPEN_LINK;
    options.wow32 = detail::WalksIn32BitView(*base, samDesired);
    Walk walk = WalkPath(*base, names, options);
    if (walk.status == ERROR_FILE_NOT_FOUND) {
        // Only the users' own hives can be made under HKEY_USERS. The rights of the handle the
        // path starts from do not matter: on Windows the key's own security decides, and a
        // machine folder grants everything.
        if (walk.stopHive == kUsersRoot)
            return ERROR_ACCESS_DENIED;
        // New keys are all made in the hive where the first missing one belongs (a link may have
        // led the path there), inside one locked, durable change of that hive.
        options.create = true;
        options.createIn = walk.stopHive;
        options.className = lpClass;
        options.makeVolatile = dwOptions & REG_OPTION_VOLATILE;
        if (options.makeVolatile) {
            // Volatile keys live in this process's memory only: nothing to write.
            walk = WalkPath(*base, names, options);
        } else {
            const LONG rc = Store().Change(options.createIn, [&](Hive &) {
                walk = WalkPath(*base, names, options);
                return walk.status;
            });
            if (rc != ERROR_SUCCESS)
                return rc;
        }
    }
    if (walk.status != ERROR_SUCCESS)
        return walk.status;
    if (lpdwDisposition)
        *lpdwDisposition = walk.created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    walk.ref.access = samDesired;
    *phkResult = NewHandle(std::move(walk.ref));
    return ERROR_SUCCESS;
}

LONG SetValue(HKEY hKey, const char *lpValueName, DWORD dwType, const BYTE *lpData, DWORD cbData)
{
    const auto ref = RefOf(hKey);
    if (!ref)
        return ERROR_INVALID_HANDLE;
    if (!lpData && cbData)
        return ERROR_NOACCESS;
    if (!(ref->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    DWORD count = cbData;
    if (IsStringType(dwType) && lpData) {
        if (dwType == REG_SZ && IsWindows9xMachine())
            count = static_cast<DWORD>(std::strlen(reinterpret_cast<const char *>(lpData)) + 1);
        else if (count && lpData[count - 1] && !lpData[count])
            ++count; // the caller forgot to count the terminator
    }
    ValueData data;
    data.type = dwType;
    if (IsStringType(dwType))
        data.bytes =
            detail::Utf16LeBytes(detail::AnsiToUtf16(std::string_view(reinterpret_cast<const char *>(lpData), count)));
    else if (count)
        data.bytes.assign(lpData, lpData + count);
    const std::string name = NameOrDefault(lpValueName);
    if (detail::Utf16Length(name) > kMaxValueName)
        return ERROR_INVALID_PARAMETER;
    return ChangeKey(*ref, [&](Hive &hive, Key &key) {
        hive.SetValue(key, name, std::move(data), detail::FileTimeNow());
        return ERROR_SUCCESS;
    });
}

LONG DeleteValue(HKEY hKey, const char *lpValueName)
{
    const auto ref = RefOf(hKey);
    if (const LONG refused = Refusal(ref, KEY_SET_VALUE))
        return refused;
    const std::string name = NameOrDefault(lpValueName);
    LONG status = ERROR_SUCCESS;
    Key *key = Resolve(*ref, nullptr, status);
    if (!key)
        return status;
    if (!Hive::FindValue(*key, name))
        return ERROR_FILE_NOT_FOUND;
    return ChangeKey(*ref, [&](Hive &hive, Key &k) {
        return hive.RemoveValue(k, name, detail::FileTimeNow()) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG DeleteKey(HKEY hKey, const char *lpSubKey)
{
    const auto base = RefOf(hKey);
    if (!base)
        return ERROR_INVALID_HANDLE;
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    if (lpSubKey[0] == '\\')
        return ERROR_BAD_PATHNAME;
    const std::vector<std::string> names = detail::SplitPath(lpSubKey);
    if (names.empty() && IsPredefined(hKey))
        return ERROR_ACCESS_DENIED;
    // The key itself is deleted, not the target of a link it may be.
    WalkOptions options;
    options.openLink = true;
    options.wow32 = base->wow32;
    const Walk walk = WalkPath(*base, names, options);
    if (walk.status != ERROR_SUCCESS)
        return walk.status;
    if (walk.ref.hive == kUsersRoot || walk.ref.path.empty())
        return ERROR_ACCESS_DENIED;
    const KeyRef parentRef{walk.ref.hive, {walk.ref.path.begin(), walk.ref.path.end() - 1}, KEY_ALL_ACCESS};
    const std::string name = walk.ref.path.back();
    const LONG rc = ChangeKey(parentRef, [&](Hive &hive, Key &parent) {
        Key *child = Hive::FindChild(parent, name);
        if (!child)
            return ERROR_FILE_NOT_FOUND;
        hive.RemoveChild(parent, *child, detail::FileTimeNow());
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_SUCCESS)
        MarkDeleted(walk.ref);
    return rc;
}

} // namespace

LONG RegOpenKeyExA(HKEY hKey, const char *lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    const LONG rc = OpenKey(hKey, lpSubKey, ulOptions, samDesired, phkResult);
    if (rc == ERROR_SUCCESS)
        detail::ReportKeyOpened(hKey, lpSubKey, *phkResult);
    return rc;
}

LONG RegCreateKeyExA(HKEY hKey, const char *lpSubKey, DWORD, char *lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES *, PHKEY phkResult, DWORD *lpdwDisposition)
{
    return detail::ReportedKeyCreation(hKey, lpSubKey, dwOptions, phkResult, lpdwDisposition, [&](DWORD *disposition) {
        return CreateKey(hKey, lpSubKey, lpClass, dwOptions, samDesired, phkResult, disposition);
    });
}

LONG RegQueryValueExA(HKEY hKey, const char *lpValueName, DWORD *lpReserved, DWORD *lpType, BYTE *lpData,
                      DWORD *lpcbData)
{
    if ((lpData && !lpcbData) || lpReserved)
        return ERROR_INVALID_PARAMETER;
    const auto ref = RefOf(hKey);
    if (const LONG refused = Refusal(ref, KEY_QUERY_VALUE))
        return refused;
    Hive *hive = nullptr;
    LONG status = ERROR_SUCCESS;
    Key *key = Resolve(*ref, &hive, status);
    if (!key)
        return status == ERROR_ACCESS_DENIED ? LONG{ERROR_FILE_NOT_FOUND} : status;
    const detail::Value *value = Hive::FindValue(*key, NameOrDefault(lpValueName));
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    const ValueData data = hive->Read(*value);
    const std::vector<std::uint8_t> bytes = AnsiBytes(data);
    if (lpType)
        *lpType = data.type;
    if (!lpcbData)
        return ERROR_SUCCESS;
    const DWORD capacity = *lpcbData;
    *lpcbData = static_cast<DWORD>(bytes.size());
    if (!lpData)
        return ERROR_SUCCESS;
    if (bytes.size() > capacity)
        return ERROR_MORE_DATA;
    std::copy(bytes.begin(), bytes.end(), lpData);
    // NT ends a string stored without its terminator when the buffer has room for one.
    if (IsStringType(data.type) && !bytes.empty() && bytes.back() != 0 && bytes.size() < capacity)
        lpData[bytes.size()] = 0;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, const char *lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData)
{
    return detail::ReportedRegistryChange({.kind = Change::Kind::ValueSet, .key = hKey, .name = lpValueName},
                                          [&] { return SetValue(hKey, lpValueName, dwType, lpData, cbData); });
}

LONG RegDeleteValueA(HKEY hKey, const char *lpValueName)
{
    return detail::ReportedRegistryChange({.kind = Change::Kind::ValueDeleted, .key = hKey, .name = lpValueName},
                                          [&] { return DeleteValue(hKey, lpValueName); });
}

LONG RegDeleteKeyA(HKEY hKey, const char *lpSubKey)
{
    return detail::ReportedRegistryChange({.kind = Change::Kind::KeyDeleted, .key = hKey, .path = lpSubKey},
                                          [&] { return DeleteKey(hKey, lpSubKey); });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char *lpName, DWORD *lpcchName, DWORD *lpReserved, char *lpClass,
                   DWORD *lpcchClass, FILETIME *lpftLastWriteTime)
{
    if (!lpName || !lpcchName || lpReserved)
        return ERROR_INVALID_PARAMETER;
    const auto ref = RefOf(hKey);
    if (const LONG refused = Refusal(ref, KEY_ENUMERATE_SUB_KEYS))
        return refused;
    std::string name;
    std::string className;
    std::uint64_t modified = 0;
    if (ref->hive == kUsersRoot) {
        const char *users[] = {".DEFAULT", kUserSid};
        if (dwIndex >= 2)
            return ERROR_NO_MORE_ITEMS;
        name = users[dwIndex];
    } else {
        LONG status = ERROR_SUCCESS;
        Key *key = Resolve(*ref, nullptr, status);
        if (!key)
            return status;
        // Volatile keys count like any other; they are only never written to the file.
        if (dwIndex >= key->children.size())
            return ERROR_NO_MORE_ITEMS;
        const Key &child = *key->children[dwIndex];
        name = child.name;
        className = child.className ? *child.className : std::string();
        modified = child.modified;
    }
    if (name.size() + 1 > *lpcchName)
        return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass && lpcchClass) {
        if (className.size() + 1 > *lpcchClass)
            return ERROR_MORE_DATA;
        std::memcpy(lpClass, className.c_str(), className.size() + 1);
        *lpcchClass = static_cast<DWORD>(className.size());
    }
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(modified & 0xFFFFFFFFu);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(modified >> 32);
    }
    return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char *lpValueName, DWORD *lpcchValueName, DWORD *lpReserved, DWORD *lpType,
                   BYTE *lpData, DWORD *lpcbData)
{
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    const auto ref = RefOf(hKey);
    if (const LONG refused = Refusal(ref, KEY_QUERY_VALUE))
        return refused;
    Hive *hive = nullptr;
    LONG status = ERROR_SUCCESS;
    Key *key = Resolve(*ref, &hive, status);
    if (!key && status == ERROR_ACCESS_DENIED)
        return ERROR_NO_MORE_ITEMS; // HKEY_USERS itself holds no values
    if (!key)
        return status;
    if (dwIndex >= key->values.size())
        return ERROR_NO_MORE_ITEMS;
    const detail::Value &value = key->values[dwIndex];
    if (value.name.size() + 1 > *lpcchValueName)
        return ERROR_MORE_DATA;
    const ValueData data = hive->Read(value);
    const std::vector<std::uint8_t> bytes = AnsiBytes(data);
    if (lpData && bytes.size() > *lpcbData)
        return ERROR_MORE_DATA;
    std::memcpy(lpValueName, value.name.data(), value.name.size());
    lpValueName[value.name.size()] = '\0';
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    if (lpType)
        *lpType = data.type;
    if (lpData)
        std::copy(bytes.begin(), bytes.end(), lpData);
    if (lpcbData)
        *lpcbData = static_cast<DWORD>(bytes.size());
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey)
{
    if (IsPredefined(hKey))
        return ERROR_SUCCESS;
    if (!detail::CloseHandle(hKey))
        return ERROR_INVALID_HANDLE;
    detail::ReportKeyClosed(hKey);
    return ERROR_SUCCESS;
}

std::size_t OpenHandleCount()
{
    return detail::HandleCount();
}

void ResetMachine()
{
    detail::ForgetHandles();
    detail::ForgetStore();
    detail::ReportMachineReset();
}

} // namespace win
