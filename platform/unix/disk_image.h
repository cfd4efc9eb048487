// A Windows 95/98/ME installation inside an emulator's disk image, opened for reading and
// changing its files: the image layer under the disk-image machine kind.
//
//   std::string error;
//   auto image = win::image::DiskImage::Open("/vm/win98.qcow2", {}, error);
//   if (!image) ...                        // not readable, or no Windows on it: `error` says why
//   if (image->ReadOnly()) ...             // tell the user image->ReadOnlyMessage() once
//   image->Files().ReadFile("WINDOWS\\SYSTEM.DAT", bytes);
//   image->Files().ReplaceFile("WINDOWS\\SYSTEM.DAT", newBytes, true);
//
// Raw and fixed VHD images are changed in place. qcow2 and dynamic VHD images are copied to a
// raw working copy when opened; every change is written back into the image where the replace
// sequence needs it durable. VDI, VMDK and growing Bochs images are read through a copy and
// never written.
#pragma once

#include "fat_volume.h"
#include "image_format.h"
#include "mtools_files.h"
#include "win32.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace win::image
{

class WorkingCopy;

// Why an image is open read-only; the first that applies, in this order.
enum class Refusal {
    None,
    ReadOnlyFormat,  // VDI, VMDK, growing Bochs: writing them back would change their identifiers
    BackingFile,     // the image stores only changes to another image
    Snapshots,       // internal snapshots
    UncleanImage,    // QEMU's dirty or corrupt flag is set
    InUse,           // another program has the image open
    Locked,          // QEMU (or a QEMU tool) holds its lock on the image
    ReadOnlyFile,    // the image file is marked read-only or not writable
    DirtyFileSystem, // the FAT file system was not shut down cleanly
    ChangedOutside,  // another program changed the image after it was opened
    Requested,       // opened read-only on purpose
};

struct ImageOptions {
    std::string cacheFolder; // working copies and mtools settings; default $XDG_CACHE_HOME/korvex
    unsigned codePage = 437; // the guest's OEM code page, for the short names mtools makes
    int partition = -1;      // the partition number to use (0 a bare file system); -1 the first with Windows
    bool readOnly = false;   // never change the image
    // Asked when a replace of SYSTEM.DAT, USER.DAT or CLASSES.DAT was cut short after the old
    // file was deleted: whether NAME.NEW (its bytes given) is sound, so the rename is finished.
    std::function<bool(const std::string &path, const std::string &bytes)> checkLeftNewFile;
};

class DiskImage
{
public:
    // Opens the image at `path` and finds the FAT file system that holds Windows. Nothing, with
    // `error` saying why, when it cannot be read or holds no Windows 95/98/ME.
    static std::unique_ptr<DiskImage> Open(const std::string &path, const ImageOptions &options, std::string &error);
    ~DiskImage();
    DiskImage(const DiskImage &) = delete;
    DiskImage &operator=(const DiskImage &) = delete;

    const std::string &Path() const { return path_; }
    ImageFormat Format() const { return format_; }
    const FatVolume &Volume() const { return volume_; }
    // The Windows folder from the file system's root ("WINDOWS").
    const std::string &WindowsFolder() const { return windowsFolder_; }

    bool ReadOnly() const { return refusal_ != Refusal::None; }
    Refusal WhyReadOnly() const { return refusal_; }
    // One message saying why the image is read-only and what to do; empty when it is not.
    const std::string &ReadOnlyMessage() const { return message_; }
    // The files whose cut-short replace was finished when the image was opened.
    const std::vector<std::string> &FinishedReplaces() const { return finished_; }

    // The files inside the Windows file system. Every change asks AllowChange first.
    FatFiles &Files() { return *files_; }

    // ERROR_SUCCESS when the image may be changed now; else ERROR_ACCESS_DENIED or (an emulator
    // took the image meanwhile) ERROR_SHARING_VIOLATION, and the image stays read-only.
    LONG AllowChange();

private:
    DiskImage() = default;
    void Refuse(Refusal why, const std::string &detail = {});
    bool FindWindows(const std::string &rawFile, std::uint64_t rawSize, int partition, std::string &error);
    void FinishReplaces(const ImageOptions &options);
    LONG MakeDurable(std::string &why);

    std::string path_;
    ImageFormat format_ = ImageFormat::Raw;
    std::unique_ptr<WorkingCopy> copy_;
    FatVolume volume_;
    std::string windowsFolder_;
    Refusal refusal_ = Refusal::None;
    std::string message_;
    std::vector<std::string> finished_;
    std::unique_ptr<FatFiles> files_;
    int fd_ = -1; // the image, held open while it may be changed (fsync; others see it in use)
};

// Korvex's cache folder: $XDG_CACHE_HOME/korvex, else ~/.cache/korvex.
std::string DefaultCacheFolder();

} // namespace win::image
