// Key handles and the paths they name: the handle table, walking a path through link keys, and
// finding or changing the key a handle names.
#include "registry_keys.h"

#include "registry_views.h"
#include "unicode.h"

#include <unordered_map>

namespace win::detail
{

namespace
{

constexpr int kMaxLinkHops = 16;
constexpr std::size_t kMaxKeyName = 256; // UTF-16 units, as Wine; longer names are refused

struct HandleTable {
    std::unordered_map<std::uintptr_t, KeyRef> open;
    std::uintptr_t next = 0x1000;
};

HandleTable &Handles()
{
    static HandleTable table;
    return table;
}

const KeyRef *PredefinedRef(HKEY key)
{
    const auto code = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key));
    if (reinterpret_cast<std::uintptr_t>(key) != reinterpret_cast<std::uintptr_t>(PredefinedKey(code)))
        return nullptr;
    // HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS, in code order.
    static const KeyRef roots[] = {{kSystemHive, {"Software", "Classes"}, KEY_ALL_ACCESS, true},
                                   {kUserHive, {}, KEY_ALL_ACCESS, true},
                                   {kSystemHive, {}, KEY_ALL_ACCESS, true},
                                   {kUsersRoot, {}, KEY_ALL_ACCESS, true}};
    const std::uint32_t index = code - 0x80000000u;
    return index < std::size(roots) ? &roots[index] : nullptr;
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
        const std::string_view root = kHiveRootPaths[hive];
        if (target.size() >= root.size() && SameName(std::string_view(target).substr(0, root.size()), root) &&
            (target.size() == root.size() || target[root.size()] == '\\'))
            return KeyRef{hive, SplitPath(target.c_str() + root.size()), KEY_ALL_ACCESS};
    }
    return std::nullopt;
}

// Where a HKEY_USERS subkey name leads.
std::optional<int> UserHiveNamed(const std::string &name)
{
    if (SameName(name, ".DEFAULT"))
        return kDefaultUserHive;
    if (SameName(name, kUserSid))
        return kUserHive;
    return std::nullopt;
}

bool IsPath(const std::vector<std::string> &path, std::string_view names)
{
    for (const std::string &name : path) {
        const size_t sep = names.find('\\');
        if (!SameName(name, names.substr(0, sep)))
            return false;
        names = sep == std::string_view::npos ? std::string_view() : names.substr(sep + 1);
    }
    return names.empty();
}

// The key's `Wow6432Node` child where the 32-bit view turns into it, else null.
Key *Wow64Branch(int hiveIndex, const Key &key)
{
    if (hiveIndex != kSystemHive)
        return nullptr;
    Key *node = Hive::FindChild(key, kWow64Node);
    if (!node)
        return nullptr;
    const std::vector<std::string> path = PathOf(key);
    for (const ViewRow &row : kWow64Keys)
        if (row.branches && IsPath(path, row.key))
            return node;
    return nullptr;
}

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
    Key &child = hive.AddChild(key, name, FileTimeNow());
    child.isVolatile = options.makeVolatile;
    if (last && options.className && *options.className)
        child.className = std::make_unique<std::string>(options.className);
    walk.created = true;
    return &child;
}

} // namespace

bool WalksIn32BitView(const KeyRef &base, REGSAM access)
{
    if (access & KEY_WOW64_32KEY)
        return true;
    return !(access & KEY_WOW64_64KEY) && base.wow32;
}

bool IsPredefined(HKEY key)
{
    return PredefinedRef(key) != nullptr;
}

const KeyRef *RefOf(HKEY key)
{
    if (const KeyRef *predefined = PredefinedRef(key))
        return predefined;
    auto &open = Handles().open;
    const auto it = open.find(reinterpret_cast<std::uintptr_t>(key));
    return it == open.end() ? nullptr : &it->second;
}

LONG Refusal(const KeyRef *ref, REGSAM access)
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

std::string AnsiName(std::string_view name)
{
    for (unsigned char c : name)
        if (c >= 0x80)
            return Utf16ToUtf8(AnsiToUtf16(name));
    return std::string(name);
}

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

Walk WalkPath(KeyRef start, std::vector<std::string> names, const WalkOptions &options)
{
    Walk walk;
    if (start.deleted) {
        walk.status = ERROR_KEY_DELETED;
        return walk;
    }
    for (const std::string &name : names) {
        // A name is never longer in UTF-16 units than in bytes.
        if (name.size() > kMaxKeyName && Utf16Length(name) > kMaxKeyName) {
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
        if (options.wow32 && !SameName(names[i], kWow64Node))
            if (Key *node = Wow64Branch(hiveIndex, *key))
                key = node;
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
                if (!(key = Step(
                          *hive, hiveIndex, *key, name,
                          WalkOptions{options.create, options.createIn, options.makeVolatile, nullptr, false, false},
                          false, walk)))
                    return walk;
        }
    }
    // A redirected key opened itself is its 32-bit view (HKLM\Software lists Wow6432Node's keys).
    if (options.wow32 && !names.empty() && !SameName(names.back(), kWow64Node))
        if (Key *node = Wow64Branch(hiveIndex, *key))
            key = node;
    walk.ref = KeyRef{hiveIndex, PathOf(*key), start.access};
    walk.ref.wow32 = options.wow32;
    return walk;
}

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

void MarkDeleted(const KeyRef &gone)
{
    for (auto &[value, ref] : Handles().open) {
        if (ref.hive != gone.hive || ref.path.size() < gone.path.size())
            continue;
        bool below = true;
        for (size_t i = 0; below && i < gone.path.size(); ++i)
            below = SameName(ref.path[i], gone.path[i]);
        ref.deleted = ref.deleted || below;
    }
}

bool CloseHandle(HKEY key)
{
    return Handles().open.erase(reinterpret_cast<std::uintptr_t>(key)) != 0;
}

std::size_t HandleCount()
{
    return Handles().open.size();
}

void ForgetHandles()
{
    Handles().open.clear();
}

} // namespace win::detail
