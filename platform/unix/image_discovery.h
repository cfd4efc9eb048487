// Finding the disk images that emulators and virtual machine managers already list, reading
// their configuration files only: 86Box and PCem machines, QEMU/libvirt domains, VirtualBox
// machines, DOSBox-X configurations. An image counts when one of its FAT file systems holds
// Windows 95/98/ME (see HoldsWindows).
#pragma once

#include "fat_volume.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace win::image
{

struct ListedImage {
    std::string name;     // the machine's name in the emulator
    std::string path;     // the image file, absolute
    std::string emulator; // "86Box", "PCem", "QEMU", "VirtualBox", "DOSBox-X"
};

struct FoundImage : ListedImage {
    Partition partition; // the partition holding Windows
};

// Where the configuration files are looked for.
struct DiscoveryPlaces {
    std::string home;                                            // $HOME
    std::string configHome;                                      // $XDG_CONFIG_HOME, else ~/.config
    std::string dataHome;                                        // $XDG_DATA_HOME, else ~/.local/share
    std::vector<std::string> systemFolders{"/etc/libvirt/qemu"}; // libvirt's system domains
};
DiscoveryPlaces DefaultDiscoveryPlaces();

// Every disk image the configuration files name and that exists, each once (by its resolved
// path), in the order: 86Box, PCem, QEMU/libvirt, VirtualBox, DOSBox-X.
std::vector<ListedImage> ListedImages(const DiscoveryPlaces &places);

// The disk inside the image at `path`, for reading: the file itself for raw and fixed VHD
// images, else through qemu-io; null when it cannot be read.
std::unique_ptr<BlockSource> DiskOf(const std::string &path);

// The partition of the image at `path` whose FAT file system holds Windows; nothing when none
// does or the image cannot be read. qcow2, VHD, VDI and VMDK images are read through qemu-io
// without converting them.
std::optional<Partition> WindowsPartitionOf(const std::string &path);

// The listed images that hold Windows.
std::vector<FoundImage> DiscoverImages(const DiscoveryPlaces &places);

} // namespace win::image
