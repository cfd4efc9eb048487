// Reading folders and files of a FAT file system straight from its sectors, without mtools:
// enough to tell where Windows is on a disk (also on one read through qemu-io) and which
// clusters a change touched. Never writes.
#pragma once

#include "fat_volume.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace win::image
{

struct FatEntry {
    std::string name;      // the long name when there is one, else the short name ("SYSTEM.DAT")
    std::string shortName; // "NAME.EXT" as stored (OEM code page)
    std::uint8_t attributes = 0;
    std::uint32_t firstCluster = 0;
    std::uint32_t size = 0;

    bool IsFolder() const { return (attributes & 0x10) != 0; }
};

class FatReader
{
public:
    FatReader(BlockSource &disk, std::uint64_t volumeOffset, const FatGeometry &geometry)
        : disk_(disk), base_(volumeOffset), geometry_(geometry)
    {
    }

    // The entry at `path` (parts split by '\\' or '/', the root being ""), each part matching a
    // long or a short name without regard to case. Nothing when a part is missing.
    std::optional<FatEntry> Find(const std::string &path);
    // The entries of a folder (nullptr: the root), without "." and ".." and volume labels.
    std::vector<FatEntry> List(const FatEntry *folder);
    // A file's bytes, at most `limit` of them; false when its clusters cannot be read.
    bool ReadFile(const FatEntry &file, std::string &bytes, std::uint32_t limit = UINT32_MAX);
    // The clusters of the chain that starts at `first`, in order; a loop or a cluster out of
    // range ends it.
    std::vector<std::uint32_t> Chain(std::uint32_t first);
    // The regions (offset from the volume's start, length) a folder's entries occupy.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> FolderRegions(const FatEntry *folder);

private:
    std::optional<std::uint32_t> Next(std::uint32_t cluster);
    bool ReadFolder(const FatEntry *folder, std::string &bytes);
    bool ReadAt(std::uint64_t offset, std::size_t length, std::string &bytes)
    {
        return disk_.Read(base_ + offset, length, bytes);
    }

    BlockSource &disk_;
    std::uint64_t base_;
    FatGeometry geometry_;
    std::map<std::uint64_t, std::string> fatSectors_;
};

// The guest's Windows folder on a volume, as the path from its root ("WINDOWS"): WinDir of
// the [Paths] section of MSDOS.SYS, which Setup writes there, else "WINDOWS".
std::string WindowsFolderOf(FatReader &reader);

// Whether the volume holds a Windows 95/98/ME installation: its Windows folder has SYSTEM.DAT,
// or SYSTEM.NEW left by a replace that was cut short.
bool HoldsWindows(FatReader &reader);

} // namespace win::image
