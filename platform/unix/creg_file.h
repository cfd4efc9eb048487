// A Windows 95/98/ME registry file (SYSTEM.DAT, USER.DAT, CLASSES.DAT) read into a key tree,
// edited in memory and written back.
//
// The writer keeps every byte it has no reason to change: the file header and tree section are
// patched in place, and only the data blocks that hold an edited key are laid out again (their
// records packed in their old order, 4-byte aligned, with one free record at the end). Keys
// are added at the end of their parent's list. A file that does not pass the strict structural
// check (Check) opens read-only, and the writer checks every file it produces the same way.
//
// Names and string data are bytes in the guest's ANSI code page; converting them is the
// caller's business.
#pragma once

#include "creg_format.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace win::creg
{

struct Value {
    std::string name; // empty for the key's default value
    std::uint32_t type = 0;
    std::uint32_t unknown = 0; // the word after the type: kept as read, 0 in new values
    std::vector<std::uint8_t> data;
};

struct Key {
    std::string name; // empty for the root
    Key *parent = nullptr;
    std::vector<std::unique_ptr<Key>> children; // in stored order
    std::vector<Value> values;                  // in stored order

    // Where the key is stored.
    std::uint32_t entry = kNone; // its tree entry
    std::uint16_t id = kNoId;    // its record in data block `block`; kNoId for a root without one
    std::uint16_t block = kNoId;
    std::uint32_t reserved = 0; // the record's word at 0x10, kept as read

    bool HasRecord() const { return block != kNoId; }
};

enum class Fault : std::uint8_t {
    None,
    NotRegistry, // not a registry file, or its key tree cannot be followed
    ReadOnly,    // the file did not pass the strict check
    BadName,     // a name the format or Windows cannot hold
    BadData,     // data its type does not allow (a REG_DWORD of other than 4 bytes)
    TooLarge,    // beyond the format's size limits
    NotFound,
    NotAllowed, // values on the top key, which the format keeps without a record
    Broken,     // the written file failed the strict check: a fault of the writer, nothing written
};

// What an operation came to; ignoring it is a mistake the compiler reports.
struct [[nodiscard]] Status {
    Fault fault = Fault::None;
    std::string reason;
    explicit operator bool() const { return fault == Fault::None; }
};

// The strict structural check: every rule the writer relies on (hashes, links, record ids,
// record tiling, block bookkeeping, the tree's free list, the file's extent, checksums).
// Returns the problems found, empty when the file conforms.
std::vector<std::string> Check(std::span<const std::uint8_t> file);

class Hive
{
public:
    Hive();
    ~Hive();
    Hive(Hive &&) noexcept;
    Hive &operator=(Hive &&) noexcept;

    // Reads a file. Fails with Fault::NotRegistry only when the file is not a registry file or
    // its key tree cannot be found; a file that reads but does not conform opens read-only.
    Status Load(std::vector<std::uint8_t> file);

    // A new file: the header, a tree holding the nameless root, one empty data block.
    static Hive Empty();

    bool Writable() const { return contents_.problems.empty(); }
    // Why the file is read-only: the problems the strict check found, one per line.
    std::string ReadOnlyReason() const;
    const std::vector<std::string> &Problems() const { return contents_.problems; }

    Key &Root() { return *contents_.root; }
    const Key &Root() const { return *contents_.root; }

    // Lookups compare names the way Windows 9x does (SameName).
    static Key *FindChild(const Key &parent, std::string_view name);
    static Value *FindValue(Key &key, std::string_view name);
    static const Value *FindValue(const Key &key, std::string_view name);
    // The key at a backslash-separated path below the root, or null.
    Key *FindKey(std::string_view path);

    // Adds a key at the end of `parent`'s children; an existing key of that name is found
    // instead. `added` (when given) receives the key.
    Status AddChild(Key &parent, std::string_view name, Key **added = nullptr);
    // Creates the key at `path` and the keys leading to it; all or nothing.
    Status CreateKey(std::string_view path, Key **created = nullptr);
    // Deletes `child` and everything below it.
    Status RemoveChild(Key &parent, const Key &child);

    // Sets a value, replacing one of the same name in its place (its stored name is kept).
    Status SetValue(Key &key, std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
    Status RemoveValue(Key &key, std::string_view name);

    // The file as it stands, after the strict check found nothing wrong with it.
    Status Serialize(std::vector<std::uint8_t> &out) const;

    // Reading's results; also what the writer starts from.
    struct Block {
        std::uint32_t source = kNone; // where it was read from, kNone for a new block
        std::uint32_t size = 0;
        std::uint32_t capacity = kMaxBlockSize; // how far it may grow
        std::uint16_t flags = 0;
        std::uint32_t reserved = 0;
        std::vector<Key *> keys;  // its records in stored order
        std::uint32_t packed = 0; // header and records once laid out again
        bool dirty = false;
    };
    struct FreeRun {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    struct Contents {
        std::unique_ptr<Key> root;
        std::vector<std::uint8_t> tree; // the tree section's bytes
        std::vector<Block> blocks;
        std::vector<FreeRun> freeRuns; // in list order
        HashRule hashRule = HashRule::SkipHigh;
        std::vector<std::string> problems;
        bool fatal = false;
    };

private:
    Status Refusal() const;
    Status PlaceRecord(std::uint32_t size, std::uint16_t preferred, std::uint16_t avoid, std::uint16_t &placed);
    void AddRecord(Key &key, std::uint16_t blockIndex);
    void DropRecord(Key &key);
    std::uint32_t AllocateEntry();
    void AppendTreePage();
    void WriteFreeList();
    void WriteEntry(const Key &key, std::uint32_t hash);
    void SetLink(std::uint32_t entryOffset, std::size_t field, std::uint32_t target);

    std::vector<std::uint8_t> source_; // the file as read
    Contents contents_;
};

// Reads a file's structure, noting every departure from the rules in `problems`.
Hive::Contents Read(std::span<const std::uint8_t> file);

// A key record's size without slack: header, name, values.
std::uint32_t RecordUsed(const Key &key);

} // namespace win::creg
