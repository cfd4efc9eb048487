// Editing a Windows 9x registry file in memory: keys and values, with their records placed in
// the data blocks and their entries in the key tree.
//
// Where a record goes: a new key's record goes to its parent's block when that block can hold
// it (growing it in 4 KiB steps up to the block limit), else to the first block with room to
// spare, else the first that can grow, else a new block at the end of the file. A key whose
// values outgrow its block moves the same way. Tree entries come from the file's free list,
// and from a new 4 KiB page at the end of the tree when it has none.
#include "creg_file.h"

#include <algorithm>
#include <bitset>
#include <utility>

namespace win::creg
{

namespace
{

Status Fail(Fault fault, std::string reason)
{
    return {fault, std::move(reason)};
}

Status CheckKeyName(std::string_view name)
{
    if (name.empty())
        return Fail(Fault::BadName, "A registry key needs a name.");
    if (name.find('\\') != std::string_view::npos || name.find('\0') != std::string_view::npos)
        return Fail(Fault::BadName, "A registry key name cannot hold a backslash or a NUL character.");
    if (name.size() > kMaxWindowsName)
        return Fail(Fault::BadName, "A registry key name of " + std::to_string(name.size()) +
                                        " characters is longer than the 255 Windows 9x allows.");
    return {};
}

std::vector<std::string_view> SplitPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t sep = path.find('\\');
        if (sep != 0)
            parts.push_back(path.substr(0, sep));
        if (sep == std::string_view::npos)
            break;
        path.remove_prefix(sep + 1);
    }
    return parts;
}

std::uint32_t ValueRecordSize(std::size_t nameLength, std::size_t dataLength)
{
    return kValueHeaderSize + static_cast<std::uint32_t>(nameLength + dataLength);
}

// Marks a block to be laid out again, grown in 4 KiB steps until its records fit. (Records
// the file had packed without alignment can need more room than the block had.)
void Touch(Hive::Block &b)
{
    b.dirty = true;
    if (b.packed > b.size)
        b.size = std::min(b.capacity, (b.packed + kBlockStep - 1) / kBlockStep * kBlockStep);
}

} // namespace

// Nothing loaded: an empty tree that cannot be written.
Hive::Hive() : contents_{std::make_unique<Key>(), {}, {}, {}, HashRule::SkipHigh, {"No registry file is loaded."}, true}
{
}
Hive::~Hive() = default;
Hive::Hive(Hive &&) noexcept = default;
Hive &Hive::operator=(Hive &&) noexcept = default;

Status Hive::Load(std::vector<std::uint8_t> file)
{
    Contents read = Read(file);
    if (read.fatal)
        return Fail(Fault::NotRegistry, read.problems.back());
    source_ = std::move(file);
    contents_ = std::move(read);
    return {};
}

std::string Hive::ReadOnlyReason() const
{
    std::string reason;
    for (const std::string &problem : contents_.problems)
        reason += (reason.empty() ? "" : "\n") + problem;
    return reason;
}

Status Hive::Refusal() const
{
    if (Writable())
        return {};
    if (contents_.fatal)
        return Fail(Fault::NotRegistry, contents_.problems.front());
    return Fail(Fault::ReadOnly,
                "The registry file does not pass the structural check, so Korvex does not change it: " +
                    contents_.problems.front());
}

Key *Hive::FindChild(const Key &parent, std::string_view name)
{
    for (const auto &child : parent.children)
        if (SameName(child->name, name))
            return child.get();
    return nullptr;
}

Value *Hive::FindValue(Key &key, std::string_view name)
{
    for (Value &v : key.values)
        if (SameName(v.name, name))
            return &v;
    return nullptr;
}

const Value *Hive::FindValue(const Key &key, std::string_view name)
{
    return FindValue(const_cast<Key &>(key), name);
}

Key *Hive::FindKey(std::string_view path)
{
    Key *key = &Root();
    for (const std::string_view name : SplitPath(path))
        if (!(key = FindChild(*key, name)))
            return nullptr;
    return key;
}

Status Hive::AddChild(Key &parent, std::string_view name, Key **added)
{
    if (Status refused = Refusal(); !refused)
        return refused;
    if (Key *existing = FindChild(parent, name)) {
        if (added)
            *added = existing;
        return {};
    }
    if (Status bad = CheckKeyName(name); !bad)
        return bad;
    std::uint16_t blockIndex = 0;
    const auto size = Align4(kKeyHeaderSize + static_cast<std::uint32_t>(name.size()));
    if (Status placed = PlaceRecord(size, parent.block, kNoId, blockIndex); !placed)
        return placed;
    auto key = std::make_unique<Key>();
    key->name = name;
    key->parent = &parent;
    key->entry = AllocateEntry();
    AddRecord(*key, blockIndex);
    WriteEntry(*key, NameHash(key->name, contents_.hashRule));
    if (parent.children.empty())
        SetLink(parent.entry, entry::kChild, key->entry);
    else
        SetLink(parent.children.back()->entry, entry::kNext, key->entry);
    if (added)
        *added = key.get();
    parent.children.push_back(std::move(key));
    return {};
}

Status Hive::CreateKey(std::string_view path, Key **created)
{
    if (Status refused = Refusal(); !refused)
        return refused;
    const std::vector<std::string_view> names = SplitPath(path);
    Key *key = &Root();
    std::size_t first = 0; // the first missing key
    while (first < names.size() && FindChild(*key, names[first]))
        key = FindChild(*key, names[first++]);
    for (std::size_t i = first; i < names.size(); ++i)
        if (Status bad = CheckKeyName(names[i]); !bad)
            return bad;
    Key *const existing = key;
    for (std::size_t i = first; i < names.size(); ++i) {
        if (Status made = AddChild(*key, names[i], &key); !made) {
            if (i > first)
                (void)RemoveChild(*existing, *existing->children.back()); // the keys just added
            return made;
        }
    }
    if (created)
        *created = key;
    return {};
}

Status Hive::RemoveChild(Key &parent, const Key &child)
{
    if (Status refused = Refusal(); !refused)
        return refused;
    const auto at =
        std::find_if(parent.children.begin(), parent.children.end(), [&](const auto &k) { return k.get() == &child; });
    if (at == parent.children.end())
        return Fail(Fault::NotFound, "The key to delete is not there.");
    const std::uint32_t next = at + 1 != parent.children.end() ? (*(at + 1))->entry : kNone;
    if (at == parent.children.begin())
        SetLink(parent.entry, entry::kChild, next);
    else
        SetLink((*(at - 1))->entry, entry::kNext, next);
    std::vector<FreeRun> freed;
    std::vector<Key *> pending{at->get()};
    while (!pending.empty()) {
        Key &key = *pending.back();
        pending.pop_back();
        DropRecord(key);
        freed.push_back({key.entry, kEntrySize});
        for (const auto &grandchild : key.children)
            pending.push_back(grandchild.get());
    }
    contents_.freeRuns.insert(contents_.freeRuns.begin(), freed.rbegin(), freed.rend());
    WriteFreeList();
    parent.children.erase(at);
    return {};
}

Status Hive::SetValue(Key &key, std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data)
{
    if (Status refused = Refusal(); !refused)
        return refused;
    if (!key.HasRecord()) // readers take the record of the file's nameless root for a named key
        return Fail(Fault::NotAllowed, "The top key of a Windows 9x registry file holds no values.");
    if (name.find('\0') != std::string_view::npos || name.size() > kMaxWindowsName)
        return Fail(Fault::BadName, "A registry value name cannot hold a NUL character or more than the 255 "
                                    "characters Windows 9x allows.");
    if (data.size() > kMaxWindowsValueData)
        return Fail(Fault::TooLarge,
                    "A value of " + std::to_string(data.size()) +
                        " bytes is more than the 16,300 bytes Windows 9x keeps in one registry value.");
    if (type == kRegDword && data.size() != 4)
        return Fail(Fault::BadData, "A REG_DWORD value must have 4 bytes of data.");
    Value *existing = FindValue(key, name);
    const std::uint32_t oldUsed = RecordUsed(key);
    const std::uint32_t newUsed = oldUsed + ValueRecordSize(name.size(), data.size()) -
                                  (existing ? ValueRecordSize(existing->name.size(), existing->data.size()) : 0);
    if (newUsed > kMaxBlockSize - kBlockHeaderSize)
        return Fail(Fault::TooLarge, "The key's values would take " + std::to_string(newUsed) +
                                         " bytes, more than the 60 KiB Windows 9x holds for one key.");
    const auto newSize = Align4(newUsed);
    const auto change = [&] {
        if (existing) {
            existing->type = type;
            existing->data = std::move(data);
        } else {
            key.values.push_back({std::string(name), type, 0, std::move(data)});
        }
    };
    Block &home = contents_.blocks[key.block];
    if (home.packed - Align4(oldUsed) + newSize <= home.capacity) {
        home.packed = home.packed - Align4(oldUsed) + newSize;
        change();
        Touch(home);
        return {};
    }
    std::uint16_t target = 0;
    if (Status placed = PlaceRecord(newSize, kNoId, key.block, target); !placed)
        return placed;
    DropRecord(key);
    change();
    AddRecord(key, target);
    Put16(contents_.tree, key.entry + entry::kId, key.id);
    Put16(contents_.tree, key.entry + entry::kBlock, key.block);
    return {};
}

Status Hive::RemoveValue(Key &key, std::string_view name)
{
    if (Status refused = Refusal(); !refused)
        return refused;
    const auto at =
        std::find_if(key.values.begin(), key.values.end(), [&](const Value &v) { return SameName(v.name, name); });
    if (at == key.values.end())
        return Fail(Fault::NotFound, "The value to delete is not there.");
    Block &home = contents_.blocks[key.block];
    home.packed -= Align4(RecordUsed(key));
    key.values.erase(at);
    home.packed += Align4(RecordUsed(key));
    Touch(home);
    return {};
}

Status Hive::PlaceRecord(std::uint32_t size, std::uint16_t preferred, std::uint16_t avoid, std::uint16_t &placed)
{
    auto &blocks = contents_.blocks;
    const auto fits = [&](std::size_t b, bool grow) {
        const Block &k = blocks[b];
        return b != avoid && k.keys.size() < kMaxRecordsPerBlock && k.packed + size <= (grow ? k.capacity : k.size);
    };
    const auto choose = [&](std::size_t b) {
        placed = static_cast<std::uint16_t>(b);
        return Status{};
    };
    if (preferred < blocks.size() && fits(preferred, true))
        return choose(preferred);
    for (const bool grow : {false, true})
        for (std::size_t b = 0; b < blocks.size(); ++b)
            if (fits(b, grow))
                return choose(b);
    if (kBlockHeaderSize + size > kMaxBlockSize)
        return Fail(Fault::TooLarge,
                    "A key record of " + std::to_string(size) + " bytes does not fit in a data block.");
    if (blocks.size() >= kMaxBlocks)
        return Fail(Fault::TooLarge, "The registry file has as many data blocks as it can have.");
    Block fresh;
    fresh.size = kBlockStep;
    fresh.flags = blocks.empty() ? 0xD : blocks.back().flags; // as the file's own blocks have them
    fresh.packed = kBlockHeaderSize;
    fresh.dirty = true;
    blocks.push_back(std::move(fresh));
    return choose(blocks.size() - 1);
}

void Hive::AddRecord(Key &key, std::uint16_t blockIndex)
{
    Block &b = contents_.blocks[blockIndex];
    std::bitset<kMaxRecordsPerBlock> ids;
    for (const Key *k : b.keys)
        ids.set(k->id);
    std::uint16_t id = 0;
    while (ids[id])
        ++id;
    key.id = id;
    key.block = blockIndex;
    b.keys.push_back(&key);
    b.packed += Align4(RecordUsed(key));
    Touch(b);
}

void Hive::DropRecord(Key &key)
{
    if (!key.HasRecord())
        return;
    Block &b = contents_.blocks[key.block];
    std::erase(b.keys, &key);
    b.packed -= Align4(RecordUsed(key));
    Touch(b);
}

} // namespace win::creg
