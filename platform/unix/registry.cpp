// The registry functions over the machine folder's hives.
//
// A handle names a key by its hive and the stored names along its path, never by a pointer
// into a hive: another process may change the file, and the hive is then read afresh.
#include "journal_hooks.h"
#include "machine.h"
#include "machine_store.h"
#include "raw_writes.h"
#include "unicode.h"
#include "win32.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace win
{

namespace
{

using detail::Hive;
using detail::kDefaultUserHive;
using detail::Key;
using detail::kHiveCount;
using detail::kSystemHive;
using detail::kUserHive;
using detail::Store;
using detail::ValueData;

constexpr int kUsersRoot = -1; // HKEY_USERS itself: the hives of the users are its subkeys
constexpr int kMaxLinkHops = 16;
constexpr std::size_t kMaxKeyName = 256;     // UTF-16 units, as Wine; longer names are refused
constexpr std::size_t kMaxValueName = 16383; // UTF-16 units
constexpr const char *kUserSid = "S-1-5-21-0-0-0-1000";

struct KeyRef {
    int hive = kSystemHive;
    std::vector<std::string> path; // stored names from the hive's root
    REGSAM access = KEY_ALL_ACCESS;
    bool predefined = false;
    // The key was deleted through this process. A key made later at the same path is another
    // key, which the handle must not reach, as a Windows handle never does.
    bool deleted = false;
};

struct HandleTable {
    std::unordered_map<std::uintptr_t, KeyRef> open;
    std::uintptr_t next = 0x1000;
};

HandleTable &Handles()
{
    static HandleTable table;
    return table;
}

std::optional<KeyRef> PredefinedRef(HKEY key)
{
    const auto code = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key));
    if (reinterpret_cast<std::uintptr_t>(key) != reinterpret_cast<std::uintptr_t>(PredefinedKey(code)))
        return std::nullopt;
    switch (code) {
    case 0x80000000u: return KeyRef{kSystemHive, {"Software", "Classes"}, KEY_ALL_ACCESS, true};
    case 0x80000001u: return KeyRef{kUserHive, {}, KEY_ALL_ACCESS, true};
    case 0x80000002u: return KeyRef{kSystemHive, {}, KEY_ALL_ACCESS, true};
    case 0x80000003u: return KeyRef{kUsersRoot, {}, KEY_ALL_ACCESS, true};
    default: return std::nullopt;
    }
}

bool IsPredefined(HKEY key)
{
    return PredefinedRef(key).has_value();
}

std::optional<KeyRef> RefOf(HKEY key)
{
    if (auto predefined = PredefinedRef(key))
        return predefined;
    auto &open = Handles().open;
    const auto it = open.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == open.end())
        return std::nullopt;
    return it->second;
}

// Why a handle may not be used for `access` (a handle that is not open, or was opened without
// that right), or ERROR_SUCCESS.
LONG Refusal(const std::optional<KeyRef> &ref, REGSAM access)
{
    if (!ref)
        return ERROR_INVALID_HANDLE;
    return (ref->access & access) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HKEY NewHandle(KeyRef ref)
{
    auto &table = Handles();
    const std::uintptr_t value = table.next;
    table.next += 4;
    table.open.emplace(value, std::move(ref));
    return reinterpret_cast<HKEY>(value);
}

// A name as the A functions pass it on: through UTF-16, so that malformed UTF-8 becomes U+FFFD.
std::string AnsiName(std::string_view name)
{
    for (unsigned char c : name)
        if (c >= 0x80)
            return detail::Utf16ToUtf8(detail::AnsiToUtf16(name));
    return std::string(name);
}

// Splits "A\B\C" into its names; empty names (a trailing backslash) are passed over.
std::vector<std::string> SplitPath(const char *subKey)
{
    std::vector<std::string> parts;
    if (!subKey)
        return parts;
    std::string_view rest(subKey);
    while (!rest.empty()) {
        const size_t sep = rest.find('\\');
        if (sep != 0)
            parts.emplace_back(AnsiName(rest.substr(0, sep)));
        if (sep == std::string_view::npos)
            break;
        rest.remove_prefix(sep + 1);
    }
    return parts;
}

Key *Locate(Hive &hive, const std::vector<std::string> &path)
{
    Key *key = &hive.Root();
    for (const std::string &name : path) {
        key = Hive::FindChild(*key, name);
        if (!key)
            return nullptr;
    }
    return key;
}

std::vector<std::string> PathOf(const Key &key)
{
    std::vector<std::string> path;
    for (const Key *k = &key; k->parent; k = k->parent)
        path.push_back(k->name);
    return {path.rbegin(), path.rend()};
}

// The hive and path a link target such as "\Registry\Machine\System\ControlSet001" names.
std::optional<KeyRef> RefOfLinkTarget(const std::string &target)
{
    for (int hive = 0; hive < kHiveCount; ++hive) {
        const std::string_view root = detail::kHiveRootPaths[hive];
        if (target.size() >= root.size() && detail::SameName(std::string_view(target).substr(0, root.size()), root) &&
            (target.size() == root.size() || target[root.size()] == '\\'))
            return KeyRef{hive, SplitPath(target.c_str() + root.size()), KEY_ALL_ACCESS};
    }
    return std::nullopt;
}

// Where a HKEY_USERS subkey name leads.
std::optional<int> UserHiveNamed(const std::string &name)
{
    if (detail::SameName(name, ".DEFAULT"))
        return kDefaultUserHive;
    if (detail::SameName(name, kUserSid))
        return kUserHive;
    return std::nullopt;
}

struct Walk {
    LONG status = ERROR_SUCCESS;
    KeyRef ref;
    bool created = false;
    int stopHive = kUsersRoot; // the hive where a missing key was met
};

struct WalkOptions {
    bool create = false; // create missing keys, only inside `createIn`, which the caller holds
    int createIn = kUsersRoot;
    bool makeVolatile = false;
    const char *className = nullptr; // of the last key, when it is created
    bool openLink = false;           // a link as the last key is opened itself, not its target
};

// Finds or creates `name` under `key`; null with `status` set when it cannot.
Key *Step(Hive &hive, int hiveIndex, Key &key, const std::string &name, const WalkOptions &options, bool last,
          Walk &walk)
{
    if (Key *child = Hive::FindChild(key, name))
        return child;
    walk.stopHive = hiveIndex;
    if (!options.create || hiveIndex != options.createIn) {
        walk.status = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (key.isVolatile && !options.makeVolatile) {
        walk.status = ERROR_CHILD_MUST_BE_VOLATILE;
        return nullptr;
    }
    Key &child = hive.AddChild(key, name, detail::FileTimeNow());
    child.isVolatile = options.makeVolatile;
    if (last && options.className && *options.className)
        child.className = std::make_unique<std::string>(options.className);
    walk.created = true;
    return &child;
}

// Follows `names` from `start`, through link keys.
Walk WalkPath(KeyRef start, std::vector<std::string> names, const WalkOptions &options)
{
    Walk walk;
    if (start.deleted) {
        walk.status = ERROR_KEY_DELETED;
        return walk;
    }
    for (const std::string &name : names) {
        if (detail::Utf16Length(name) > kMaxKeyName) {
            walk.status = ERROR_INVALID_PARAMETER;
            return walk;
        }
    }
    size_t i = 0;
    // A root below its hive's root (HKEY_CLASSES_ROOT) is walked like any path, so that it may
    // be missing and be created.
    if (start.predefined && !start.path.empty()) {
        names.insert(names.begin(), start.path.begin(), start.path.end());
        start.path.clear();
    }
    if (start.hive == kUsersRoot) {
        if (names.empty()) {
            walk.ref = start;
            return walk;
        }
        const auto hive = UserHiveNamed(names[0]);
        if (!hive) {
            walk.status = ERROR_FILE_NOT_FOUND;
            return walk;
        }
        start = KeyRef{*hive, {}, start.access};
        i = 1;
    }
    int hiveIndex = start.hive;
    Hive *hive = Store().Current(hiveIndex);
    if (!hive) {
        // A damaged hive reads as empty; creating in it fails when its change is refused.
        walk.status = ERROR_FILE_NOT_FOUND;
        walk.stopHive = hiveIndex;
        return walk;
    }
    Key *key = Locate(*hive, start.path);
    if (!key) {
        walk.status = ERROR_KEY_DELETED;
        return walk;
    }
    int hops = 0;
    for (; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        if (!(key = Step(*hive, hiveIndex, *key, names[i], options, last, walk)))
            return walk;
        while (key->isLink && !(last && options.openLink)) {
            const auto target = RefOfLinkTarget(hive->LinkTarget(*key));
            if (!target || ++hops > kMaxLinkHops) {
                walk.status = ERROR_FILE_NOT_FOUND;
                return walk;
            }
            hiveIndex = target->hive;
            if (!(hive = Store().Current(hiveIndex))) {
                walk.status = ERROR_FILE_NOT_FOUND;
                walk.stopHive = hiveIndex;
                return walk;
            }
            key = &hive->Root();
            for (const std::string &name : target->path)
                if (!(key = Step(*hive, hiveIndex, *key, name,
                                 WalkOptions{options.create, options.createIn, options.makeVolatile, nullptr, false},
                                 false, walk)))
                    return walk;
        }
    }
    walk.ref = KeyRef{hiveIndex, PathOf(*key), start.access};
    return walk;
}

// The key a handle names, in its up-to-date hive; `status` tells why there is none.
Key *Resolve(const KeyRef &ref, Hive **hiveOut, LONG &status)
{
    if (ref.deleted) {
        status = ERROR_KEY_DELETED;
        return nullptr;
    }
    if (ref.hive == kUsersRoot) {
        status = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    Hive *hive = Store().Current(ref.hive);
    if (!hive) {
        status = ERROR_BADDB;
        return nullptr;
    }
    Key *key = Locate(*hive, ref.path);
    status = key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    if (hiveOut)
        *hiveOut = hive;
    return key;
}

// Runs `change` on the key a handle names, inside a locked, durable change of its hive.
LONG ChangeKey(const KeyRef &ref, const std::function<LONG(Hive &, Key &)> &change)
{
    if (ref.deleted)
        return ERROR_KEY_DELETED;
    if (ref.hive == kUsersRoot)
        return ERROR_ACCESS_DENIED;
    return Store().Change(ref.hive, [&](Hive &hive) {
        Key *key = Locate(hive, ref.path);
        return key ? change(hive, *key) : ERROR_KEY_DELETED;
    });
}

// Every open handle of the deleted key or a key below it.
void MarkDeleted(const KeyRef &gone)
{
    for (auto &[value, ref] : Handles().open) {
        if (ref.hive != gone.hive || ref.path.size() < gone.path.size())
            continue;
        bool below = true;
        for (size_t i = 0; below && i < gone.path.size(); ++i)
            below = detail::SameName(ref.path[i], gone.path[i]);
        ref.deleted = ref.deleted || below;
    }
}

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
    return name ? AnsiName(name) : std::string();
}

// What opening and creating check first: somewhere to put the handle, a known key to start
// from, and a path relative to it.
LONG CheckOpenArguments(HKEY hKey, const char *subKey, PHKEY result, std::optional<KeyRef> &base)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    base = RefOf(hKey);
    if (!base)
        return ERROR_INVALID_HANDLE;
    return subKey && subKey[0] == '\\' ? ERROR_BAD_PATHNAME : ERROR_SUCCESS;
}

} // namespace

LONG raw::RegOpenKeyExA(HKEY hKey, const char *lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    std::optional<KeyRef> base;
    if (const LONG rc = CheckOpenArguments(hKey, lpSubKey, phkResult, base); rc != ERROR_SUCCESS)
        return rc;
    WalkOptions options;
    options.openLink = ulOptions & REG_OPTION_OPEN_LINK;
    Walk walk = WalkPath(*base, SplitPath(lpSubKey), options);
    if (walk.status != ERROR_SUCCESS)
        return walk.status;
    walk.ref.access = samDesired;
    *phkResult = NewHandle(std::move(walk.ref));
    return ERROR_SUCCESS;
}

LONG raw::RegCreateKeyExA(HKEY hKey, const char *lpSubKey, DWORD, char *lpClass, DWORD dwOptions, REGSAM samDesired,
                          const SECURITY_ATTRIBUTES *, PHKEY phkResult, DWORD *lpdwDisposition)
{
    std::optional<KeyRef> base;
    if (const LONG rc = CheckOpenArguments(hKey, lpSubKey, phkResult, base); rc != ERROR_SUCCESS)
        return rc;
    const std::vector<std::string> names = SplitPath(lpSubKey);
    WalkOptions options;
    options.openLink = dwOptions & REG_OPTION_OPEN_LINK;
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

LONG raw::RegSetValueExA(HKEY hKey, const char *lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData)
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

LONG raw::RegDeleteValueA(HKEY hKey, const char *lpValueName)
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

LONG raw::RegDeleteKeyA(HKEY hKey, const char *lpSubKey)
{
    const auto base = RefOf(hKey);
    if (!base)
        return ERROR_INVALID_HANDLE;
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    if (lpSubKey[0] == '\\')
        return ERROR_BAD_PATHNAME;
    const std::vector<std::string> names = SplitPath(lpSubKey);
    if (names.empty() && IsPredefined(hKey))
        return ERROR_ACCESS_DENIED;
    // The key itself is deleted, not the target of a link it may be.
    WalkOptions options;
    options.openLink = true;
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
    std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    if (lpType)
        *lpType = data.type;
    if (lpData)
        std::copy(bytes.begin(), bytes.end(), lpData);
    if (lpcbData)
        *lpcbData = static_cast<DWORD>(bytes.size());
    return ERROR_SUCCESS;
}

LONG raw::RegCloseKey(HKEY hKey)
{
    if (IsPredefined(hKey))
        return ERROR_SUCCESS;
    return Handles().open.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::size_t OpenHandleCount()
{
    return Handles().open.size();
}

void ResetMachine()
{
    Handles().open.clear();
    journal::detail::Forget();
    detail::ForgetStore();
}

} // namespace win
