// The byte layout of the Windows 95/98/ME registry files (SYSTEM.DAT, USER.DAT, CLASSES.DAT):
// a 32-byte file header, the key tree (RGKN: fixed 28-byte entries linked by offsets) and data
// blocks (RGDB: one variable-sized record per key, holding its name and values). All integers
// are little-endian; tree offsets count from the start of the tree section at file offset 0x20.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace win::creg
{

inline constexpr std::uint32_t kNone = 0xFFFFFFFF;    // "no entry" in the tree's links
inline constexpr std::uint16_t kNoId = 0xFFFF;        // a root without record; a free record
inline constexpr std::uint32_t kFreeRun = 0x80000000; // first word of a free run in the tree
inline constexpr std::uint32_t kChecksumValid = 0x4;  // flag bit of the file header, tree and blocks

inline constexpr std::uint32_t kFileHeaderSize = 0x20;
inline constexpr std::uint32_t kTreeStart = 0x20; // file offset of the tree section
inline constexpr std::uint32_t kTreeHeaderSize = 0x20;
inline constexpr std::uint32_t kEntrySize = 28;
inline constexpr std::uint32_t kRunHeaderSize = 12;
inline constexpr std::uint32_t kTreeFirstPage = 0x2000;
inline constexpr std::uint32_t kTreePage = 0x1000;
inline constexpr std::uint32_t kBlockHeaderSize = 0x20;
inline constexpr std::uint32_t kKeyHeaderSize = 20; // also the smallest free record
inline constexpr std::uint32_t kValueHeaderSize = 12;
inline constexpr std::uint32_t kBlockStep = 0x1000;
// Blocks the writer makes or grows stay at 60 KiB at most: under the 64 KiB the format
// descriptions give, and within the "approximately 60 KB" Windows 95 holds for one key.
inline constexpr std::uint32_t kMaxBlockSize = 0xF000;
inline constexpr std::uint32_t kMaxRecordsPerBlock = 255; // record ids 0..254
// Block numbers are read as signed 16-bit numbers by some readers.
inline constexpr std::uint32_t kMaxBlocks = 0x7FFF;
// What Windows 95/98/ME's own registry functions accept: a value holds at most 16,300 bytes
// (the format's 16-bit length would hold 65,535), key and value names at most 255 characters.
// The writer keeps new data within them, so that it never writes what Windows itself would not.
inline constexpr std::uint32_t kMaxWindowsValueData = 16300;
inline constexpr std::uint32_t kMaxWindowsName = 255;
inline constexpr std::uint32_t kFormatMajor = 1; // the high half of the version word

inline constexpr std::uint32_t kRegDword = 4;

// Field offsets.
namespace file
{
inline constexpr std::size_t kVersion = 0x04, kBlocksOffset = 0x08, kChecksum = 0x0C, kBlockCount = 0x10, kFlags = 0x12;
}
namespace tree
{
inline constexpr std::size_t kSize = 0x04, kRoot = 0x08, kFirstFree = 0x0C, kFlags = 0x10, kChecksum = 0x14;
}
namespace entry
{ // a live key; a free run uses kInUse, then its length at kHash and the next run at kNextFree
inline constexpr std::size_t kInUse = 0x00, kHash = 0x04, kNextFree = 0x08, kParent = 0x0C, kChild = 0x10, kNext = 0x14,
                             kId = 0x18, kBlock = 0x1A;
}
namespace block
{
inline constexpr std::size_t kSize = 0x04, kUnused = 0x08, kFlags = 0x0C, kNumber = 0x0E, kFreeOffset = 0x10,
                             kMaxId = 0x14, kFirstFreeId = 0x16, kReserved = 0x18, kChecksum = 0x1C;
}
namespace record
{
inline constexpr std::size_t kSize = 0x00, kId = 0x04, kBlock = 0x06, kUsed = 0x08, kNameLength = 0x0C,
                             kValueCount = 0x0E, kReserved = 0x10;
}
namespace value
{
inline constexpr std::size_t kType = 0x00, kUnknown = 0x04, kNameLength = 0x08, kDataLength = 0x0A;
}

inline std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

inline void Put16(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t v)
{
    bytes[at] = static_cast<std::uint8_t>(v);
    bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Put32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t v)
{
    Put16(bytes, at, v & 0xFFFF);
    Put16(bytes, at + 2, v >> 16);
}

// Windows 9x compares key and value names with ASCII letters folded; other bytes must match.
constexpr unsigned char FoldCase(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

constexpr bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// How a key name's hash counts bytes of 0x80 and above. The public descriptions of the format
// skip them; the one public writer adds them as signed bytes. The two agree on ASCII names.
enum class HashRule : std::uint8_t { SkipHigh, SignedHigh };

// The tree entry's hash of a key name: the sum of its upper-cased bytes.
constexpr std::uint32_t NameHash(std::string_view name, HashRule rule = HashRule::SkipHigh)
{
    std::uint32_t sum = 0;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            sum += FoldCase(byte);
        else if (rule == HashRule::SignedHigh)
            sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    }
    return sum;
}

constexpr bool HasHighBytes(std::string_view name)
{
    for (const char c : name)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

// The sum of a section's little-endian dwords; a section with a valid checksum sums to 0.
inline std::uint32_t DwordSum(std::span<const std::uint8_t> section)
{
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at + 4 <= section.size(); at += 4)
        sum += Get32(section, at);
    return sum;
}

// Sets a section's checksum field so that its dwords sum to 0.
inline void Seal(std::span<std::uint8_t> section, std::size_t checksumAt)
{
    Put32(section, checksumAt, 0);
    Put32(section, checksumAt, 0u - DwordSum(section));
}

// Where the writer puts tree entries: on a grid that never crosses a page (0x2000 bytes, then
// 0x1000 each), 28 bytes apart from the page's start (0x20 in the first page, after the
// header), and never in a page's last 32 bytes: libcreg refuses an entry that ends there when
// that page is the last, so no page's end is used, whichever page comes last.
inline constexpr std::uint32_t kPageTail = 0x20;
inline constexpr std::uint32_t kFirstPageEntries = (kTreeFirstPage - kTreeHeaderSize - kPageTail) / kEntrySize;
inline constexpr std::uint32_t kEntriesPerPage = (kTreePage - kPageTail) / kEntrySize;

// The first slot of that grid at or after `offset`.
constexpr std::uint32_t GridSlotAtOrAfter(std::uint32_t offset)
{
    const std::uint32_t page =
        offset < kTreeFirstPage ? 0 : kTreeFirstPage + (offset - kTreeFirstPage) / kTreePage * kTreePage;
    const std::uint32_t first = page == 0 ? kTreeHeaderSize : page;
    const std::uint32_t end = (page == 0 ? kTreeFirstPage : page + kTreePage) - kPageTail;
    if (offset < first)
        offset = first;
    const std::uint32_t slot = first + (offset - first + kEntrySize - 1) / kEntrySize * kEntrySize;
    return slot + kEntrySize <= end ? slot : end + kPageTail;
}

constexpr std::uint32_t Align4(std::uint32_t n)
{
    return (n + 3) & ~3u;
}

} // namespace win::creg
