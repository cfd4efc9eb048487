#include "fat_volume.h"

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace win::image
{

namespace
{

constexpr std::uint64_t kSector = 512;
constexpr std::size_t kPartitionTable = 446;
constexpr std::size_t kPartitionEntry = 16;
// A chain longer than this is a loop or garbage; DOS itself stops far earlier.
constexpr int kMostLogicalPartitions = 128;

std::uint32_t Le16(const std::string &b, std::size_t at)
{
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}

std::uint32_t Le32(const std::string &b, std::size_t at)
{
    return Le16(b, at) | Le16(b, at + 2) << 16;
}

bool PowerOfTwo(std::uint32_t n)
{
    return n != 0 && (n & (n - 1)) == 0;
}

bool HasBootSignature(const std::string &sector)
{
    return sector.size() >= kSector && static_cast<std::uint8_t>(sector[510]) == 0x55 &&
           static_cast<std::uint8_t>(sector[511]) == 0xAA;
}

bool IsExtended(std::uint8_t type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

struct TableEntry {
    std::uint8_t type = 0;
    std::uint64_t start = 0; // sectors, relative to the table's base
    std::uint64_t count = 0;
};

TableEntry EntryAt(const std::string &sector, int index)
{
    const std::size_t at = kPartitionTable + static_cast<std::size_t>(index) * kPartitionEntry;
    return {static_cast<std::uint8_t>(sector[at + 4]), Le32(sector, at + 8), Le32(sector, at + 12)};
}

// An entry fits when it is used and lies inside the disk.
bool Fits(const TableEntry &entry, std::uint64_t base, std::uint64_t diskSectors)
{
    return entry.type != 0 && entry.count != 0 && base + entry.start + entry.count <= diskSectors;
}

void AddLogicalPartitions(BlockSource &disk, std::uint64_t extendedStart, std::vector<Partition> &found)
{
    const std::uint64_t diskSectors = disk.Size() / kSector;
    std::set<std::uint64_t> seen;
    std::uint64_t ebr = extendedStart;
    for (int n = 0; n < kMostLogicalPartitions && seen.insert(ebr).second; ++n) {
        std::string sector;
        if (!disk.Read(ebr * kSector, kSector, sector) || !HasBootSignature(sector))
            return;
        const TableEntry logical = EntryAt(sector, 0);
        if (Fits(logical, ebr, diskSectors))
            found.push_back({(ebr + logical.start) * kSector, logical.count * kSector,
                             5 + static_cast<int>(found.size() - 4), logical.type});
        const TableEntry next = EntryAt(sector, 1);
        if (!IsExtended(next.type) || next.start == 0)
            return;
        ebr = extendedStart + next.start;
    }
}

} // namespace

FileSource::FileSource(const std::string &path, std::uint64_t size)
    : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)), size_(size)
{
}

FileSource::~FileSource()
{
    if (fd_ >= 0)
        close(fd_);
}

bool FileSource::Read(std::uint64_t offset, std::size_t length, std::string &bytes)
{
    if (fd_ < 0 || offset > size_ || length > size_ - offset)
        return false;
    bytes.assign(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = pread(fd_, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::uint64_t FatGeometry::FatOffset(std::uint32_t copy) const
{
    return (std::uint64_t{reservedSectors} + std::uint64_t{copy} * sectorsPerFat) * bytesPerSector;
}

std::uint64_t FatGeometry::DataOffset() const
{
    const std::uint64_t rootBytes = std::uint64_t{rootEntryCount} * 32;
    const std::uint64_t rootSectors = (rootBytes + bytesPerSector - 1) / bytesPerSector;
    return RootOffset() + rootSectors * bytesPerSector;
}

std::uint64_t FatGeometry::ClusterOffset(std::uint32_t cluster) const
{
    return DataOffset() + std::uint64_t{cluster - 2} * ClusterBytes();
}

std::optional<FatGeometry> ParseBootSector(const std::string &sector)
{
    if (sector.size() < kSector)
        return std::nullopt;
    const auto jump = static_cast<std::uint8_t>(sector[0]);
    if (jump != 0xEB && jump != 0xE9)
        return std::nullopt;
    FatGeometry g;
    g.bytesPerSector = Le16(sector, 11);
    g.sectorsPerCluster = static_cast<std::uint8_t>(sector[13]);
    g.reservedSectors = Le16(sector, 14);
    g.fatCount = static_cast<std::uint8_t>(sector[16]);
    g.rootEntryCount = Le16(sector, 17);
    g.totalSectors = Le16(sector, 19) != 0 ? Le16(sector, 19) : Le32(sector, 32);
    g.sectorsPerFat = Le16(sector, 22) != 0 ? Le16(sector, 22) : Le32(sector, 36);
    const auto media = static_cast<std::uint8_t>(sector[21]);
    if (g.bytesPerSector < 512 || g.bytesPerSector > 4096 || !PowerOfTwo(g.bytesPerSector) ||
        !PowerOfTwo(g.sectorsPerCluster) || g.reservedSectors == 0 || g.fatCount == 0 || g.fatCount > 2 ||
        g.sectorsPerFat == 0 || (media != 0xF0 && media < 0xF8))
        return std::nullopt;
    const std::uint64_t dataStart = g.DataOffset() / g.bytesPerSector;
    if (dataStart >= g.totalSectors)
        return std::nullopt;
    g.clusterCount = static_cast<std::uint32_t>((g.totalSectors - dataStart) / g.sectorsPerCluster);
    g.kind = g.clusterCount < 4085 ? FatKind::Fat12 : g.clusterCount < 65525 ? FatKind::Fat16 : FatKind::Fat32;
    if (g.kind == FatKind::Fat32) {
        if (g.rootEntryCount != 0 || Le16(sector, 22) != 0)
            return std::nullopt;
        g.rootCluster = Le32(sector, 44);
        const std::uint32_t flags = Le16(sector, 40);
        g.activeFat = (flags & 0x80) != 0 ? (flags & 0x0F) : 0;
        if (g.activeFat >= g.fatCount || g.rootCluster < 2)
            return std::nullopt;
    } else if (g.rootEntryCount == 0) {
        return std::nullopt;
    }
    // The FAT must have room for every cluster.
    const std::uint64_t entryBits = g.kind == FatKind::Fat12 ? 12 : g.kind == FatKind::Fat16 ? 16 : 32;
    if (g.FatBytes() * 8 < (std::uint64_t{g.clusterCount} + 2) * entryBits)
        return std::nullopt;
    return g;
}

bool MarkedDirty(const FatGeometry &geometry, const std::string &bootSector, const std::string &fatHead)
{
    if (geometry.kind == FatKind::Fat12 || fatHead.size() < 8 || bootSector.size() < kSector)
        return false;
    const bool fat32 = geometry.kind == FatKind::Fat32;
    const std::uint32_t second = fat32 ? Le32(fatHead, 4) : Le16(fatHead, 2);
    const std::uint32_t clean = fat32 ? 0x08000000u : 0x8000u;
    const std::uint32_t noError = fat32 ? 0x04000000u : 0x4000u;
    const auto state = static_cast<std::uint8_t>(bootSector[fat32 ? 0x41 : 0x25]);
    return (second & clean) == 0 || (second & noError) == 0 || (state & 0x01) != 0;
}

std::vector<Partition> FindPartitions(BlockSource &disk)
{
    std::string first;
    if (!disk.Read(0, kSector, first))
        return {};
    if (ParseBootSector(first))
        return {{0, disk.Size(), 0, 0}};
    if (!HasBootSignature(first))
        return {};
    const std::uint64_t diskSectors = disk.Size() / kSector;
    std::vector<Partition> found;
    std::uint64_t extendedStart = 0;
    for (int i = 0; i < 4; ++i) {
        const TableEntry entry = EntryAt(first, i);
        const auto boot = static_cast<std::uint8_t>(first[kPartitionTable + static_cast<std::size_t>(i) * 16]);
        if (boot != 0 && boot != 0x80)
            return {};
        if (!Fits(entry, 0, diskSectors))
            continue;
        if (IsExtended(entry.type) && extendedStart == 0)
            extendedStart = entry.start;
        else if (!IsExtended(entry.type))
            found.push_back({entry.start * kSector, entry.count * kSector, i + 1, entry.type});
    }
    // Logical partitions are numbered from 5 whatever the number of primary ones.
    while (found.size() < 4)
        found.push_back({});
    if (extendedStart != 0)
        AddLogicalPartitions(disk, extendedStart, found);
    std::vector<Partition> used;
    for (const Partition &p : found) {
        if (p.size != 0)
            used.push_back(p);
    }
    return used;
}

std::vector<FatVolume> FindFatVolumes(BlockSource &disk)
{
    std::vector<FatVolume> volumes;
    for (const Partition &partition : FindPartitions(disk)) {
        std::string boot;
        if (!disk.Read(partition.offset, kSector, boot))
            continue;
        const std::optional<FatGeometry> geometry = ParseBootSector(boot);
        if (!geometry || geometry->Bytes() > partition.size)
            continue;
        std::string fatHead;
        disk.Read(partition.offset + geometry->FatOffset(geometry->activeFat), 8, fatHead);
        volumes.push_back({partition, *geometry, MarkedDirty(*geometry, boot, fatHead)});
    }
    return volumes;
}

} // namespace win::image
