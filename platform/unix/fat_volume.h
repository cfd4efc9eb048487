// Where the FAT file systems of a disk image are and what shape they have: the partitions of
// its MBR (primary and the extended chain) or a bare file system in sector 0, each FAT boot
// sector's geometry, and whether the guest left the file system marked dirty. Read only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace win::image
{

// Bytes of a disk as the guest sees it.
class BlockSource
{
public:
    virtual ~BlockSource() = default;
    // Reads `length` bytes at `offset` of the disk into `bytes`; false when they cannot all
    // be read (past the end, a read error).
    virtual bool Read(std::uint64_t offset, std::size_t length, std::string &bytes) = 0;
    // The disk's size in bytes.
    virtual std::uint64_t Size() const = 0;
};

// A disk whose sectors are the first `size` bytes of a file: a raw image, or a fixed VHD
// without its footer.
class FileSource : public BlockSource
{
public:
    FileSource(const std::string &path, std::uint64_t size);
    ~FileSource() override;
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;

    bool Opened() const { return fd_ >= 0; }
    bool Read(std::uint64_t offset, std::size_t length, std::string &bytes) override;
    std::uint64_t Size() const override { return size_; }

private:
    int fd_;
    std::uint64_t size_;
};

struct Partition {
    std::uint64_t offset = 0; // bytes from the start of the disk
    std::uint64_t size = 0;   // bytes
    int number = 0;           // 1-4 primary, 5 and up logical in chain order, 0 a bare file system
    std::uint8_t type = 0;    // the MBR's partition type; 0 for a bare file system
};

// The partitions that may hold a file system: those of the MBR (primary in table order, then
// the logical ones of the extended chain), or the whole disk when sector 0 is itself a FAT boot
// sector (floppy-style). Empty for an unpartitioned disk without a file system.
std::vector<Partition> FindPartitions(BlockSource &disk);

enum class FatKind { Fat12, Fat16, Fat32 };

struct FatGeometry {
    FatKind kind = FatKind::Fat12;
    std::uint32_t bytesPerSector = 512;
    std::uint32_t sectorsPerCluster = 1;
    std::uint32_t reservedSectors = 1;
    std::uint32_t fatCount = 2;
    std::uint32_t sectorsPerFat = 0;
    std::uint32_t rootEntryCount = 0; // FAT12/16: the fixed root directory's entries
    std::uint32_t rootCluster = 0;    // FAT32: the root directory's first cluster
    std::uint32_t totalSectors = 0;
    std::uint32_t clusterCount = 0;
    std::uint32_t activeFat = 0; // FAT32 with mirroring off: the FAT in use

    std::uint32_t ClusterBytes() const { return bytesPerSector * sectorsPerCluster; }
    // Offsets from the start of the file system.
    std::uint64_t FatOffset(std::uint32_t copy) const;
    std::uint64_t FatBytes() const { return std::uint64_t{sectorsPerFat} * bytesPerSector; }
    std::uint64_t RootOffset() const { return FatOffset(fatCount); }
    std::uint64_t DataOffset() const;
    std::uint64_t ClusterOffset(std::uint32_t cluster) const;
    std::uint64_t Bytes() const { return std::uint64_t{totalSectors} * bytesPerSector; }
};

// The geometry a FAT boot sector describes, or nothing when `sector` is not one. The FAT type
// follows from the number of clusters, as in every FAT driver.
std::optional<FatGeometry> ParseBootSector(const std::string &sector);

// Whether the guest left the file system dirty: FAT16 and FAT32 clear a "clean shutdown" bit
// of the second FAT entry while they have the volume in use, and set it again on a clean shut
// down; a cleared "no disk error" bit there, or the dirty bit of the boot sector's state byte
// (set by other systems while they have it mounted), mean the same. FAT12 has neither bit.
bool MarkedDirty(const FatGeometry &geometry, const std::string &bootSector, const std::string &fatHead);

struct FatVolume {
    Partition partition;
    FatGeometry geometry;
    bool dirty = false;
};

// The FAT file systems of a disk, in the order of FindPartitions. A partition counts by its
// boot sector, whatever type its table entry gives.
std::vector<FatVolume> FindFatVolumes(BlockSource &disk);

} // namespace win::image
