// Laying out a Windows 9x registry file: tree entries and the tree's free list, data blocks
// laid out again, the whole file, and a new empty file.
//
// A block laid out again holds its records in their old order, each 4-byte aligned with no
// other slack, then one free record for the rest (Windows 95's style, which 98 and ME read
// too); a rest under the 20 bytes of a free record becomes slack of the last record. Blocks
// no edit touched, and the free records and slack Windows 98 leaves inside them, are copied
// as they were.
#include "creg_file.h"

#include <algorithm>
#include <bitset>
#include <cstring>

namespace win::creg
{

namespace
{

void PutSignature(std::span<std::uint8_t> bytes, std::size_t at, const char (&sig)[5])
{
    std::memcpy(bytes.data() + at, sig, 4);
}

// Writes a key's record at `at`; returns its allocated size (the used size, 4-byte aligned).
std::uint32_t PutRecord(std::span<std::uint8_t> b, std::uint32_t at, const Key &key, std::uint16_t blockIndex)
{
    const std::uint32_t used = RecordUsed(key);
    Put32(b, at + record::kSize, Align4(used));
    Put16(b, at + record::kId, key.id);
    Put16(b, at + record::kBlock, blockIndex);
    Put32(b, at + record::kUsed, used);
    Put16(b, at + record::kNameLength, static_cast<std::uint32_t>(key.name.size()));
    Put16(b, at + record::kValueCount, static_cast<std::uint32_t>(key.values.size()));
    Put32(b, at + record::kReserved, key.reserved);
    std::uint8_t *out = std::copy(key.name.begin(), key.name.end(), b.data() + at + kKeyHeaderSize);
    for (const Value &v : key.values) {
        const auto put = std::span(out, kValueHeaderSize);
        Put32(put, value::kType, v.type);
        Put32(put, value::kUnknown, v.unknown);
        Put16(put, value::kNameLength, static_cast<std::uint32_t>(v.name.size()));
        Put16(put, value::kDataLength, static_cast<std::uint32_t>(v.data.size()));
        out = std::copy(v.name.begin(), v.name.end(), out + kValueHeaderSize);
        out = std::copy(v.data.begin(), v.data.end(), out);
    }
    return Align4(used);
}

// Lays out a block's records again at the end of `out`.
void AppendBlock(const Hive::Block &blk, std::uint16_t index, std::vector<std::uint8_t> &out)
{
    const std::size_t start = out.size();
    out.resize(start + blk.size, 0);
    const auto b = std::span(out).subspan(start, blk.size);
    PutSignature(b, 0, "RGDB");
    Put32(b, block::kSize, blk.size);
    Put16(b, block::kFlags, blk.flags);
    Put16(b, block::kNumber, index);
    Put32(b, block::kReserved, blk.reserved);
    std::bitset<256> ids;
    std::uint32_t at = kBlockHeaderSize;
    std::uint32_t last = 0;
    for (const Key *key : blk.keys) {
        ids.set(key->id);
        last = at;
        at += PutRecord(b, at, *key, index);
    }
    const std::uint32_t rest = blk.size - at;
    const bool freeRecord = rest >= kKeyHeaderSize;
    if (freeRecord) {
        Put32(b, at + record::kSize, rest);
        Put16(b, at + record::kId, kNoId);
        Put16(b, at + record::kBlock, kNoId);
        Put32(b, at + record::kUsed, kNone);
    } else if (rest > 0) {
        Put32(b, last + record::kSize, Get32(b, last + record::kSize) + rest);
    }
    Put32(b, block::kUnused, freeRecord ? rest : 0);
    Put32(b, block::kFreeOffset, freeRecord ? at : kNone);
    std::uint32_t highest = blk.keys.empty() ? 0 : 254;
    while (highest > 0 && !ids[highest])
        --highest;
    std::uint32_t lowestFree = 0;
    while (lowestFree < kMaxRecordsPerBlock && ids[lowestFree])
        ++lowestFree;
    Put16(b, block::kMaxId, highest);
    Put16(b, block::kFirstFreeId, lowestFree);
    if (blk.flags & kChecksumValid)
        Seal(b, block::kChecksum);
}

} // namespace

void Hive::WriteEntry(const Key &key, std::uint32_t hash)
{
    const auto e = std::span(contents_.tree).subspan(key.entry, kEntrySize);
    Put32(e, entry::kInUse, 0);
    Put32(e, entry::kHash, hash);
    Put32(e, entry::kNextFree, kNone);
    Put32(e, entry::kParent, key.parent ? key.parent->entry : kNone);
    Put32(e, entry::kChild, kNone);
    Put32(e, entry::kNext, kNone);
    Put16(e, entry::kId, key.id);
    Put16(e, entry::kBlock, key.block);
}

void Hive::SetLink(std::uint32_t entryOffset, std::size_t field, std::uint32_t target)
{
    Put32(contents_.tree, entryOffset + field, target);
}

// Takes the first grid slot of the first free run that has one, and shrinks that run to the
// grid slots after it.
std::uint32_t Hive::AllocateEntry()
{
    auto &runs = contents_.freeRuns;
    for (auto run = runs.begin(); run != runs.end(); ++run) {
        const std::uint32_t end = run->offset + run->length;
        const std::uint32_t slot = GridSlotAtOrAfter(run->offset);
        if (slot + kEntrySize > end)
            continue;
        const std::uint32_t rest = GridSlotAtOrAfter(slot + kEntrySize);
        if (rest + kEntrySize <= end)
            *run = {rest, end - rest};
        else
            runs.erase(run);
        WriteFreeList();
        return slot;
    }
    AppendTreePage();
    return AllocateEntry();
}

// A new page at the end of the tree, all of it one free run; the data blocks move up by it.
void Hive::AppendTreePage()
{
    auto &tree = contents_.tree;
    const auto start = static_cast<std::uint32_t>(tree.size());
    tree.resize(start + kTreePage, 0);
    Put32(tree, tree::kSize, static_cast<std::uint32_t>(tree.size()));
    auto &runs = contents_.freeRuns;
    runs.push_back({start, kEntriesPerPage * kEntrySize});
    std::rotate(runs.begin(), runs.end() - 1, runs.end()); // first in the list
    WriteFreeList();
}

void Hive::WriteFreeList()
{
    const auto &runs = contents_.freeRuns;
    Put32(contents_.tree, tree::kFirstFree, runs.empty() ? kNone : runs.front().offset);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto run = std::span(contents_.tree).subspan(runs[i].offset, kRunHeaderSize);
        Put32(run, entry::kInUse, kFreeRun);
        Put32(run, entry::kHash, runs[i].length);
        Put32(run, entry::kNextFree, i + 1 < runs.size() ? runs[i + 1].offset : kNone);
    }
}

Status Hive::Serialize(std::vector<std::uint8_t> &out) const
{
    if (contents_.fatal)
        return {Fault::NotRegistry, contents_.problems.front()};
    const auto &tree = contents_.tree;
    out.assign(source_.begin(), source_.begin() + kFileHeaderSize);
    Put32(out, file::kBlocksOffset, kTreeStart + static_cast<std::uint32_t>(tree.size()));
    Put16(out, file::kBlockCount, static_cast<std::uint32_t>(contents_.blocks.size()));
    if (Get16(out, file::kFlags) & kChecksumValid)
        Seal(out, file::kChecksum);
    out.insert(out.end(), tree.begin(), tree.end());
    const auto treeBytes = std::span(out).subspan(kTreeStart, tree.size());
    if (Get32(treeBytes, tree::kFlags) & kChecksumValid)
        Seal(treeBytes, tree::kChecksum);
    for (std::size_t i = 0; i < contents_.blocks.size(); ++i) {
        const Block &blk = contents_.blocks[i];
        if (blk.dirty)
            AppendBlock(blk, static_cast<std::uint16_t>(i), out);
        else
            out.insert(out.end(), source_.begin() + blk.source, source_.begin() + blk.source + blk.size);
    }
    if (const std::vector<std::string> problems = Check(out); !problems.empty())
        return {Fault::Broken,
                "The registry file Korvex made does not pass the structural check, so it is not written: " +
                    problems.front()};
    return {};
}

Hive Hive::Empty()
{
    std::vector<std::uint8_t> file(kTreeStart + kTreeFirstPage, 0);
    const auto bytes = std::span(file);
    PutSignature(bytes, 0, "CREG");
    Put32(bytes, file::kVersion, 0x00010000);
    Put32(bytes, file::kBlocksOffset, kTreeStart + kTreeFirstPage);
    Put16(bytes, file::kBlockCount, 1);
    Put16(bytes, file::kFlags, kChecksumValid);
    Put32(bytes, 0x14, 0x00010000); // unknown; the value 95 and 98 files have
    Seal(bytes.first(kFileHeaderSize), file::kChecksum);

    const auto tree = bytes.subspan(kTreeStart, kTreeFirstPage);
    PutSignature(tree, 0, "RGKN");
    Put32(tree, tree::kSize, kTreeFirstPage);
    Put32(tree, tree::kRoot, kTreeHeaderSize);
    Put32(tree, tree::kFirstFree, kTreeHeaderSize + kEntrySize);
    Put32(tree, tree::kFlags, 0xD); // checksum valid, with the other bits known files carry
    const auto root = tree.subspan(kTreeHeaderSize, kEntrySize);
    for (const std::size_t field : {entry::kNextFree, entry::kParent, entry::kChild, entry::kNext})
        Put32(root, field, kNone);
    Put16(root, entry::kId, kNoId);
    Put16(root, entry::kBlock, kNoId);
    const std::uint32_t firstFree = kTreeHeaderSize + kEntrySize;
    Put32(tree, firstFree + entry::kInUse, kFreeRun);
    Put32(tree, firstFree + entry::kHash, (kFirstPageEntries - 1) * kEntrySize);
    Put32(tree, firstFree + entry::kNextFree, kNone);
    Seal(tree, tree::kChecksum);

    Block first;
    first.size = kBlockStep;
    first.flags = 0xD; // as the tree's
    AppendBlock(first, 0, file);
    Hive hive;
    (void)hive.Load(std::move(file)); // a file made just so reads
    return hive;
}

} // namespace win::creg
