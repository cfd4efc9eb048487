// A raw working copy of an image that mtools cannot open where it is (qcow2, dynamic VHD, and
// the read-only formats), and writing what changed in it back into the image.
//
// Only the regions a change can touch go back, through qemu-io into the image itself, so the
// image keeps its own header, identifiers and allocation: the reserved sectors, the FAT sectors
// that differ, the clusters whose FAT entries changed, a FAT12/16 root folder that differs, and
// for every path mtools changed, the folder holding it and its own clusters (a file rewritten
// in place may keep its clusters).
#pragma once

#include "fat_volume.h"
#include "image_format.h"
#include "win32.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace win::image
{

using Region = std::pair<std::uint64_t, std::uint64_t>; // offset, length

// Sorted, with overlapping and nearby regions (closer than `gap`) joined.
std::vector<Region> JoinRegions(std::vector<Region> regions, std::uint64_t gap);

class WorkingCopy
{
public:
    // Converts `image` to a new raw file in `folder`; nothing (and `error` says why) when
    // qemu-img fails. `shared` reads an image another program has open (read-only use).
    static std::unique_ptr<WorkingCopy> Make(const std::string &image, ImageFormat format, const std::string &folder,
                                             bool shared, std::string &error);
    ~WorkingCopy();
    WorkingCopy(const WorkingCopy &) = delete;
    WorkingCopy &operator=(const WorkingCopy &) = delete;

    const std::string &RawPath() const { return raw_; }

    // Starts following the changes of the file system at `volumeOffset` of the copy.
    bool Track(std::uint64_t volumeOffset);
    // mtools changed the entry or contents of `path` (a path from the file system's root).
    void Touched(const std::string &path) { touched_.insert(path); }
    // Whether the image file is as it was when copied (or last written back): no other program
    // changed it meanwhile.
    bool ImageUnchanged() const;
    // Flushes the copy and writes every region changed since the last write-back into the
    // image, flushed. ERROR_SUCCESS, or ERROR_SHARING_VIOLATION (the image was changed by
    // another program) or ERROR_WRITE_FAULT with `error` saying why.
    LONG WriteBack(std::string &error);
    // The regions WriteBack would write now (offsets in the disk).
    std::vector<Region> ChangedRegions();

private:
    WorkingCopy(std::string image, ImageFormat format, std::string raw, std::string folder)
        : image_(std::move(image)), format_(format), raw_(std::move(raw)), folder_(std::move(folder))
    {
    }
    bool Snapshot();
    void NoteImageState();

    std::string image_;
    ImageFormat format_;
    std::string raw_;
    std::string folder_;
    std::uint64_t volume_ = 0;
    FatGeometry geometry_;
    std::string reserved_;          // reserved sectors
    std::vector<std::string> fats_; // every FAT copy
    std::string root_;              // the FAT12/16 root folder
    std::set<std::string> touched_;
    struct timespec imageTime_ {
    };
    off_t imageSize_ = 0;
};

} // namespace win::image
