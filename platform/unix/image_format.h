// What kind of disk image a file is, and reading the kinds that only QEMU's tools understand.
#pragma once

#include "fat_volume.h"

#include <cstdint>
#include <map>
#include <string>

namespace win::image
{

enum class ImageFormat {
    Raw,             // sectors as they are (.img, .ima, .hdd, flat Bochs)
    FixedVhd,        // raw sectors followed by a 512-byte footer
    DynamicVhd,      // sparse VHD: through qemu-img
    DifferencingVhd, // a VHD that stores only changes to a parent image
    Qcow2,           // QEMU's own: through qemu-img
    Vdi,             // VirtualBox: read only
    Vmdk,            // VMware: read only
    GrowingBochs,    // Bochs' growing and sparse images: read only
};

struct ImageKind {
    ImageFormat format = ImageFormat::Raw;
    std::uint64_t fileSize = 0;
    std::uint64_t rawSize = 0; // Raw and FixedVhd: the bytes that are the disk's sectors
};

// Recognises a file by its own marks (headers, the VHD footer), not by its name; a file with
// none of them is raw. False when it cannot be read.
bool RecogniseImage(const std::string &path, ImageKind &kind);

// qemu-img's name for the format ("qcow2", "vpc", ...); empty for Raw and FixedVhd.
const char *QemuFormatName(ImageFormat format);
// A name for messages ("qcow2", "dynamic VHD", "VDI", ...).
const char *FormatDisplayName(ImageFormat format);
// Whether Korvex writes images of this format (in place or through a working copy).
bool FormatWritable(ImageFormat format);

struct QemuImageFacts {
    bool read = false;          // qemu-img could read the image
    std::string error;          // what qemu-img said when it could not
    bool backingFile = false;   // the image stores only changes to another one
    bool snapshots = false;     // internal snapshots, which a change outside QEMU would spoil
    bool markedUnclean = false; // QEMU's dirty or corrupt flag
    std::uint64_t virtualSize = 0;
};

// What `qemu-img info --output=json` says about an image (read-only, also while it is in use).
QemuImageFacts QemuImageInfo(const std::string &path, ImageFormat format);

// The environment qemu-img and qemu-io run with.
std::vector<std::string> QemuEnvironment();

// A disk read through `qemu-io` (read-only, sharing the image with any user), 256 KiB at a
// time, for images that have no raw form on disk. Used to look into images without converting
// them, e.g. while finding the images emulators list.
class QemuIoSource : public BlockSource
{
public:
    QemuIoSource(std::string path, ImageFormat format, std::uint64_t size)
        : path_(std::move(path)), format_(format), size_(size)
    {
    }
    bool Read(std::uint64_t offset, std::size_t length, std::string &bytes) override;
    std::uint64_t Size() const override { return size_; }

private:
    bool LoadChunk(std::uint64_t chunk);

    std::string path_;
    ImageFormat format_;
    std::uint64_t size_;
    std::map<std::uint64_t, std::string> chunks_;
};

} // namespace win::image
