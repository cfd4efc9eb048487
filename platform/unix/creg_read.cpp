// Reading a Windows 9x registry file, and the strict check of every structural rule the writer
// relies on. The reader follows the tree from the root entry and the blocks from the header,
// bounds-checking every offset, so that a damaged file reads as far as it can and tells why
// it may not be written.
#include "creg_file.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace win::creg
{

namespace
{

constexpr std::size_t kMaxProblems = 32;

std::string Hex(std::uint32_t n)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", n);
    return text;
}

std::string Num(std::uint32_t n)
{
    return std::to_string(n);
}

std::uint32_t RecordKey(std::uint16_t blockIndex, std::uint16_t id)
{
    return static_cast<std::uint32_t>(blockIndex) << 16 | id;
}

// The lowest record id a block has free (255 when all of 0..254 are taken).
std::uint32_t LowestFree(const std::bitset<256> &ids)
{
    std::uint32_t id = 0;
    while (id < 255 && ids[id])
        ++id;
    return id;
}

class Reader
{
public:
    explicit Reader(std::span<const std::uint8_t> file) : file_(file) {}

    Hive::Contents Run()
    {
        if (ReadHeader()) {
            ReadBlocks();
            ReadTree();
            if (!c_.fatal)
                ReadFreeList();
        }
        return std::move(c_);
    }

private:
    void Note(std::string problem)
    {
        if (c_.problems.size() < kMaxProblems)
            c_.problems.push_back(std::move(problem));
    }

    void Fatal(std::string problem)
    {
        c_.fatal = true;
        c_.problems.push_back(std::move(problem));
    }

    bool Signature(std::size_t at, std::string_view sig) const
    {
        return at + sig.size() <= file_.size() && std::equal(sig.begin(), sig.end(), file_.subspan(at).begin());
    }

    bool ReadHeader()
    {
        if (file_.size() < kTreeStart + kTreeHeaderSize || !Signature(0, "CREG")) {
            Fatal("This is not a Windows 9x registry file (no CREG signature).");
            return false;
        }
        const std::uint32_t version = Get32(file_, file::kVersion);
        if (version >> 16 != kFormatMajor)
            Note("The file's format version " + Hex(version) + " is not 1.x.");
        if (Get16(file_, file::kFlags) & kChecksumValid && DwordSum(file_.first(kFileHeaderSize)) != 0)
            Note("The file header's checksum is wrong.");
        if (!Signature(kTreeStart, "RGKN")) {
            Fatal("The key tree (RGKN) is missing.");
            return false;
        }
        const std::uint32_t size = Get32(file_, kTreeStart + tree::kSize);
        if (size < kTreeHeaderSize + kEntrySize || size > file_.size() - kTreeStart) {
            Fatal("The key tree's size " + Hex(size) + " runs past the end of the file.");
            return false;
        }
        tree_ = file_.subspan(kTreeStart, size);
        c_.tree.assign(tree_.begin(), tree_.end());
        if (size < kTreeFirstPage || (size - kTreeFirstPage) % kTreePage != 0)
            Note("The key tree's size " + Hex(size) + " is not 8 KiB plus a multiple of 4 KiB.");
        if (Get32(file_, file::kBlocksOffset) != kTreeStart + size)
            Note("The data blocks do not start right after the key tree.");
        if (Get32(tree_, tree::kFlags) & kChecksumValid && DwordSum(tree_) != 0)
            Note("The key tree's checksum is wrong.");
        return true;
    }

    void ReadBlocks()
    {
        const std::uint32_t count = Get16(file_, file::kBlockCount);
        std::size_t at = Get32(file_, file::kBlocksOffset);
        for (std::uint32_t index = 0; index < count; ++index) {
            if (at + kBlockHeaderSize > file_.size() || !Signature(at, "RGDB")) {
                Note("The header counts " + Num(count) + " data blocks; block " + Num(index) + " is missing.");
                return;
            }
            const std::uint32_t size = Get32(file_, at + block::kSize);
            if (size < kBlockHeaderSize || size > file_.size() - at) {
                Note("Data block " + Num(index) + " runs past the end of the file.");
                return;
            }
            ReadBlock(static_cast<std::uint16_t>(index), file_.subspan(at, size), static_cast<std::uint32_t>(at));
            at += size;
        }
        if (at != file_.size())
            Note("The file does not end with its last data block.");
    }

    void ReadBlock(std::uint16_t index, std::span<const std::uint8_t> bytes, std::uint32_t at)
    {
        Hive::Block b;
        b.source = at;
        b.size = static_cast<std::uint32_t>(bytes.size());
        b.capacity = std::max(b.size, kMaxBlockSize);
        b.flags = Get16(bytes, block::kFlags);
        b.reserved = Get32(bytes, block::kReserved);
        b.packed = kBlockHeaderSize;
        const std::string name = "Data block " + Num(index);
        if (Get16(bytes, block::kNumber) != index)
            Note(name + " is numbered " + Num(Get16(bytes, block::kNumber)) + ".");
        if (b.size % 4 != 0)
            Note(name + "'s size is not a multiple of 4.");
        else if (b.flags & kChecksumValid && DwordSum(bytes) != 0)
            Note(name + "'s checksum is wrong.");
        const std::uint32_t unused = Get32(bytes, block::kUnused);
        const std::uint32_t freeOffset = Get32(bytes, block::kFreeOffset);
        if (unused > b.size || (freeOffset != kNone && (freeOffset < kBlockHeaderSize || freeOffset > b.size)))
            Note(name + "'s free space figures are out of range.");
        if (freeOffset == kNone && unused != 0)
            Note(name + " has unused bytes but no free offset.");

        std::bitset<256> ids;
        std::uint64_t freeTotal = 0;
        for (std::uint32_t r = kBlockHeaderSize; r < b.size;) {
            const std::uint32_t size = r + kKeyHeaderSize <= b.size ? Get32(bytes, r + record::kSize) : 0;
            if (size < kKeyHeaderSize || size > b.size - r) {
                Note(name + " is not tiled by records: bad record at " + Hex(r) + ".");
                break;
            }
            const auto record = bytes.subspan(r, size);
            if (Get16(record, record::kId) == kNoId && Get16(record, record::kBlock) == kNoId)
                freeTotal += size;
            else
                ReadRecord(index, record, ids, b);
            r += size;
        }
        if (ids.any()) {
            std::uint32_t highest = 254;
            while (!ids[highest])
                --highest;
            if (Get16(bytes, block::kMaxId) != highest)
                Note(name + "'s highest record id is " + Num(highest) + ", its header says " +
                     Num(Get16(bytes, block::kMaxId)) + ".");
        }
        if (Get16(bytes, block::kFirstFreeId) != LowestFree(ids))
            Note(name + "'s first free record id is " + Num(LowestFree(ids)) + ", its header says " +
                 Num(Get16(bytes, block::kFirstFreeId)) + ".");
        if (freeTotal < unused)
            Note(name + " counts more unused bytes than its free records hold.");
        b.capacity = std::max(b.capacity, b.packed);
        c_.blocks.push_back(std::move(b));
    }

    void ReadRecord(std::uint16_t index, std::span<const std::uint8_t> bytes, std::bitset<256> &ids, Hive::Block &b)
    {
        const std::uint16_t id = Get16(bytes, record::kId);
        const std::string name = "Record " + Num(id) + " of data block " + Num(index);
        if (Get16(bytes, record::kBlock) != index)
            Note(name + " claims block " + Num(Get16(bytes, record::kBlock)) + ".");
        if (id >= kMaxRecordsPerBlock || ids[id]) {
            Note(name + (id >= kMaxRecordsPerBlock ? " has an id out of range." : " has a duplicate id."));
            return;
        }
        ids.set(id);
        const std::uint32_t used = Get32(bytes, record::kUsed);
        const std::uint32_t nameLength = Get16(bytes, record::kNameLength);
        if (kKeyHeaderSize + nameLength > bytes.size()) {
            Note(name + "'s name runs past the record.");
            return;
        }
        auto key = std::make_unique<Key>();
        key->id = id;
        key->block = index;
        key->reserved = Get32(bytes, record::kReserved);
        key->name.assign(bytes.begin() + kKeyHeaderSize, bytes.begin() + kKeyHeaderSize + nameLength);
        if (used < kKeyHeaderSize + nameLength || used > bytes.size())
            Note(name + "'s used size " + Num(used) + " is out of range.");
        else
            ReadValues(bytes.first(used), kKeyHeaderSize + nameLength, Get16(bytes, record::kValueCount), *key, name);
        b.keys.push_back(key.get());
        b.packed += Align4(RecordUsed(*key));
        records_[RecordKey(index, id)] = std::move(key);
    }

    void ReadValues(std::span<const std::uint8_t> used, std::uint32_t v, std::uint32_t count, Key &key,
                    const std::string &name)
    {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t nameLength =
                v + kValueHeaderSize <= used.size() ? Get16(used, v + value::kNameLength) : 0;
            const std::uint32_t dataLength =
                v + kValueHeaderSize <= used.size() ? Get16(used, v + value::kDataLength) : 0;
            if (v + kValueHeaderSize + nameLength + dataLength > used.size()) {
                Note(name + "'s values run past its used size.");
                return;
            }
            Value &val = key.values.emplace_back();
            val.type = Get32(used, v + value::kType);
            val.unknown = Get32(used, v + value::kUnknown);
            const auto *at = used.data() + v + kValueHeaderSize;
            val.name.assign(at, at + nameLength);
            val.data.assign(at + nameLength, at + nameLength + dataLength);
            if (val.type == kRegDword && dataLength != 4)
                Note(name + " has a REG_DWORD value of " + Num(dataLength) + " bytes.");
            v += kValueHeaderSize + nameLength + dataLength;
        }
        if (v != used.size())
            Note(name + "'s values end at " + Hex(v) + ", its used size says " +
                 Hex(static_cast<std::uint32_t>(used.size())) + ".");
    }

    bool EntryInRange(std::uint32_t at) const { return at >= kTreeHeaderSize && at <= tree_.size() - kEntrySize; }

    // Claims tree bytes for an entry or free run; false when some already belong to another.
    bool Claim(std::uint32_t at, std::uint32_t length)
    {
        const auto first = owned_.begin() + at;
        if (std::find(first, first + length, true) != first + length)
            return false;
        std::fill(first, first + length, true);
        return true;
    }

    std::unique_ptr<Key> TakeRecord(std::uint32_t at)
    {
        const std::uint16_t blockIndex = Get16(tree_, at + entry::kBlock);
        const std::uint16_t id = Get16(tree_, at + entry::kId);
        const auto found = records_.find(RecordKey(blockIndex, id));
        if (found == records_.end() || !found->second) {
            Note("Key entry " + Hex(at) + (found == records_.end() ? " has no data record." : " shares its record."));
            return nullptr;
        }
        std::unique_ptr<Key> key = std::move(found->second);
        key->entry = at;
        CheckHash(*key, Get32(tree_, at + entry::kHash));
        return key;
    }

    void CheckHash(const Key &key, std::uint32_t stored)
    {
        const std::uint32_t skip = NameHash(key.name, HashRule::SkipHigh);
        const std::uint32_t sign = NameHash(key.name, HashRule::SignedHigh);
        if (stored == skip && skip != sign)
            sawSkip_ = true;
        else if (stored == sign && skip != sign)
            sawSigned_ = true;
        else if (stored != skip)
            Note("Key \"" + key.name + "\" has the hash " + Hex(stored) + " instead of " + Hex(skip) + ".");
    }

    void ReadTree()
    {
        owned_.assign(tree_.size(), false);
        const std::uint32_t rootAt = Get32(tree_, tree::kRoot);
        if (!EntryInRange(rootAt)) {
            Fatal("The key tree's root entry is out of range.");
            return;
        }
        Claim(rootAt, kEntrySize);
        if (Get32(tree_, rootAt + entry::kInUse) != 0 || Get32(tree_, rootAt + entry::kParent) != kNone)
            Note("The root key's entry is not a live root.");
        if (Get16(tree_, rootAt + entry::kBlock) != kNoId)
            c_.root = TakeRecord(rootAt);
        if (!c_.root) {
            c_.root = std::make_unique<Key>();
            c_.root->entry = rootAt;
        }
        std::vector<Key *> pending{c_.root.get()};
        while (!pending.empty()) {
            Key &parent = *pending.back();
            pending.pop_back();
            ReadChildren(parent, pending);
        }
        if (sawSkip_ && sawSigned_)
            Note("Key names with bytes above 0x7F are hashed in two different ways.");
        c_.hashRule = sawSigned_ ? HashRule::SignedHigh : HashRule::SkipHigh;
        DropUnclaimedRecords();
    }

    void ReadChildren(Key &parent, std::vector<Key *> &pending)
    {
        for (std::uint32_t at = Get32(tree_, parent.entry + entry::kChild); at != kNone;) {
            if (!EntryInRange(at) || !Claim(at, kEntrySize)) {
                Note("Key entry " + Hex(at) + " is out of range or linked twice.");
                break;
            }
            if (Get32(tree_, at + entry::kInUse) != 0)
                Note("Key entry " + Hex(at) + " is linked but marked free.");
            if (Get32(tree_, at + entry::kParent) != parent.entry)
                Note("Key entry " + Hex(at) + " does not point back to its parent.");
            if (std::unique_ptr<Key> key = TakeRecord(at)) {
                key->parent = &parent;
                pending.push_back(key.get());
                parent.children.push_back(std::move(key));
            }
            at = Get32(tree_, at + entry::kNext);
        }
        if (parent.children.size() < 2)
            return;
        std::vector<std::string> folded;
        for (const auto &child : parent.children) {
            std::string &f = folded.emplace_back(child->name);
            std::transform(f.begin(), f.end(), f.begin(),
                           [](char c) { return static_cast<char>(FoldCase(static_cast<unsigned char>(c))); });
        }
        std::sort(folded.begin(), folded.end());
        if (const auto twin = std::adjacent_find(folded.begin(), folded.end()); twin != folded.end())
            Note("Two keys under one parent are both named \"" + *twin + "\".");
    }

    void DropUnclaimedRecords()
    {
        std::unordered_set<const Key *> unclaimed;
        for (const auto &[where, key] : records_)
            if (key)
                unclaimed.insert(key.get());
        if (unclaimed.empty())
            return;
        Note(Num(static_cast<std::uint32_t>(unclaimed.size())) + " data records belong to no key.");
        for (Hive::Block &b : c_.blocks)
            std::erase_if(b.keys, [&](const Key *k) { return unclaimed.contains(k); });
    }

    void ReadFreeList()
    {
        for (std::uint32_t at = Get32(tree_, tree::kFirstFree); at != kNone;) {
            const bool inRange = at >= kTreeHeaderSize && at <= tree_.size() - kRunHeaderSize;
            const std::uint32_t length = inRange ? Get32(tree_, at + 4) : 0;
            if (!inRange || Get32(tree_, at + entry::kInUse) != kFreeRun || length < kEntrySize ||
                length > tree_.size() - at) {
                Note("The key tree's free run at " + Hex(at) + " is malformed.");
                return;
            }
            if (!Claim(at, length)) {
                Note("The key tree's free run at " + Hex(at) + " overlaps a live key or another run.");
                return;
            }
            c_.freeRuns.push_back({at, length});
            at = Get32(tree_, at + entry::kNextFree);
        }
    }

    std::span<const std::uint8_t> file_;
    std::span<const std::uint8_t> tree_;
    Hive::Contents c_;
    std::unordered_map<std::uint32_t, std::unique_ptr<Key>> records_; // by block and id, until claimed
    std::vector<bool> owned_;                                         // tree bytes claimed so far
    bool sawSkip_ = false;
    bool sawSigned_ = false;
};

} // namespace

std::uint32_t RecordUsed(const Key &key)
{
    std::uint32_t used = kKeyHeaderSize + static_cast<std::uint32_t>(key.name.size());
    for (const Value &v : key.values)
        used += kValueHeaderSize + static_cast<std::uint32_t>(v.name.size() + v.data.size());
    return used;
}

Hive::Contents Read(std::span<const std::uint8_t> file)
{
    return Reader(file).Run();
}

std::vector<std::string> Check(std::span<const std::uint8_t> file)
{
    return Read(file).problems;
}

} // namespace win::creg
