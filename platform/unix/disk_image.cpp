#include "disk_image.h"

#include "fat_reader.h"
#include "image_copy.h"
#include "image_guard.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace win::image
{

namespace
{

// The registry files whose cut-short replace is finished when an image is opened.
constexpr const char *kRegistryFiles[] = {"SYSTEM.DAT", "USER.DAT", "CLASSES.DAT"};

std::string ConversionHint(ImageFormat format, const std::string &path)
{
    return std::string("Korvex opens ") + FormatDisplayName(format) +
           " images read-only, because writing one back would change its disk identifiers. To edit it, convert it "
           "once and attach the new image to the virtual machine: qemu-img convert -f " +
           QemuFormatName(format) + " -O vpc -o subformat=fixed \"" + path + "\" \"" + path + ".vhd\"";
}

std::string HoldersText(const std::vector<Holder> &holders)
{
    std::string text;
    for (const Holder &h : holders)
        text += (text.empty() ? "" : ", ") + h.program + " (process " + std::to_string(h.pid) + ")";
    return text;
}

} // namespace

std::string DefaultCacheFolder()
{
    const char *cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache == '/')
        return std::string(cache) + "/korvex";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.cache/korvex";
}

void DiskImage::Refuse(Refusal why, const std::string &detail)
{
    if (refusal_ != Refusal::None)
        return;
    refusal_ = why;
    switch (why) {
    case Refusal::None: return;
    case Refusal::ReadOnlyFormat: message_ = ConversionHint(format_, path_); break;
    case Refusal::BackingFile:
        message_ = "This image stores only the changes to another image, so Korvex opens it read-only. Merge it into "
                   "an image of its own first: qemu-img convert -O qcow2 \"" +
                   path_ + "\" \"" + path_ + ".merged\"";
        break;
    case Refusal::Snapshots:
        message_ = "This image has snapshots, which a change made outside the virtual machine would spoil, so Korvex "
                   "opens it read-only. List them with qemu-img snapshot -l \"" +
                   path_ + "\" and delete them with qemu-img snapshot -d to edit the image.";
        break;
    case Refusal::UncleanImage:
        message_ = "QEMU marked this image as not closed cleanly or damaged, so Korvex opens it read-only. Check it "
                   "with qemu-img check \"" +
                   path_ + "\".";
        break;
    case Refusal::InUse:
        message_ = "This image is in use by " + detail +
                   ", so Korvex opens it read-only. Shut the virtual machine down and open the image again.";
        break;
    case Refusal::Locked:
        message_ = "QEMU holds its lock on this image (a virtual machine or a QEMU tool uses it), so Korvex opens it "
                   "read-only. Shut the virtual machine down and open the image again.";
        break;
    case Refusal::ReadOnlyFile: message_ = "The image file is read-only, so Korvex opens it read-only."; break;
    case Refusal::DirtyFileSystem:
        message_ = "Windows did not shut down cleanly on this disk (its file system is marked dirty), so Korvex opens "
                   "it read-only. Start the virtual machine, let ScanDisk check the disk and shut Windows down.";
        break;
    case Refusal::ChangedOutside:
        message_ = "Another program changed this image after Korvex opened it, so Korvex makes no more changes to "
                   "it. Open the image again.";
        break;
    case Refusal::Requested: message_ = "The image is open read-only."; break;
    }
}

bool DiskImage::FindWindows(const std::string &rawFile, std::uint64_t rawSize, int partition, std::string &error)
{
    FileSource disk(rawFile, rawSize);
    if (!disk.Opened()) {
        error = "The image cannot be read.";
        return false;
    }
    for (const FatVolume &volume : FindFatVolumes(disk)) {
        if (partition >= 0 && volume.partition.number != partition)
            continue;
        FatReader reader(disk, volume.partition.offset, volume.geometry);
        if (HoldsWindows(reader)) {
            volume_ = volume;
            windowsFolder_ = WindowsFolderOf(reader);
            return true;
        }
    }
    error = "No FAT file system on this image holds Windows 95, 98 or ME (a WINDOWS folder with SYSTEM.DAT).";
    return false;
}

std::unique_ptr<DiskImage> DiskImage::Open(const std::string &path, const ImageOptions &options, std::string &error)
{
    std::unique_ptr<DiskImage> image(new DiskImage);
    image->path_ = path;
    ImageKind kind;
    if (!RecogniseImage(path, kind)) {
        error = "The image cannot be read.";
        return nullptr;
    }
    image->format_ = kind.format;
    if (!FormatWritable(kind.format))
        image->Refuse(kind.format == ImageFormat::DifferencingVhd ? Refusal::BackingFile : Refusal::ReadOnlyFormat);
    if (QemuFormatName(kind.format)[0] != '\0') {
        const QemuImageFacts facts = QemuImageInfo(path, kind.format);
        if (!facts.read) {
            error = "qemu-img cannot read the image: " + facts.error;
            return nullptr;
        }
        if (facts.backingFile)
            image->Refuse(Refusal::BackingFile);
        if (facts.snapshots)
            image->Refuse(Refusal::Snapshots);
        if (facts.markedUnclean)
            image->Refuse(Refusal::UncleanImage);
    }
    if (const std::vector<Holder> holders = ProcessesHolding(path); !holders.empty())
        image->Refuse(Refusal::InUse, HoldersText(holders));
    if (LockedByAnother(path))
        image->Refuse(Refusal::Locked);
    if (!ImageFileWritable(path))
        image->Refuse(Refusal::ReadOnlyFile);
    if (options.readOnly)
        image->Refuse(Refusal::Requested);

    const std::string cache = options.cacheFolder.empty() ? DefaultCacheFolder() : options.cacheFolder;
    std::string rawFile = path;
    std::uint64_t rawSize = kind.rawSize;
    if (QemuFormatName(kind.format)[0] != '\0') {
        image->copy_ = WorkingCopy::Make(path, kind.format, cache + "/images", image->ReadOnly(), error);
        if (!image->copy_)
            return nullptr;
        rawFile = image->copy_->RawPath();
        std::error_code ec;
        rawSize = std::filesystem::file_size(rawFile, ec);
    }
    if (!image->FindWindows(rawFile, rawSize, options.partition, error))
        return nullptr;
    if (image->volume_.dirty)
        image->Refuse(Refusal::DirtyFileSystem);
    if (image->copy_ && !image->ReadOnly() && !image->copy_->Track(image->volume_.partition.offset)) {
        error = "The working copy of the image cannot be read.";
        return nullptr;
    }
    if (!image->ReadOnly())
        image->fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);

    DiskImage *self = image.get();
    FatFilesHooks hooks;
    hooks.allowChange = [self](std::string &why) {
        const LONG rc = self->AllowChange();
        why = self->ReadOnlyMessage();
        return rc;
    };
    hooks.changed = [self](const std::string &changed) {
        if (self->copy_)
            self->copy_->Touched(changed);
    };
    hooks.makeDurable = [self](std::string &why) { return self->MakeDurable(why); };
    image->files_ = std::make_unique<FatFiles>(rawFile, image->volume_.partition.offset,
                                               MtoolsSettings{cache + "/mtools", options.codePage}, std::move(hooks));
    image->FinishReplaces(options);
    return image;
}

DiskImage::~DiskImage()
{
    if (fd_ >= 0)
        close(fd_);
}

void DiskImage::FinishReplaces(const ImageOptions &options)
{
    if (ReadOnly() || !options.checkLeftNewFile)
        return;
    for (const char *name : kRegistryFiles) {
        const std::string path = windowsFolder_ + "\\" + name;
        bool finished = false;
        files_->FinishInterruptedReplace(
            path, [&](const std::string &bytes) { return options.checkLeftNewFile(path, bytes); }, finished);
        if (finished)
            finished_.push_back(path);
    }
}

LONG DiskImage::AllowChange()
{
    if (refusal_ == Refusal::None) {
        if (const std::vector<Holder> holders = ProcessesHolding(path_); !holders.empty())
            Refuse(Refusal::InUse, HoldersText(holders));
        else if (LockedByAnother(path_))
            Refuse(Refusal::Locked);
        else if (copy_ && !copy_->ImageUnchanged())
            Refuse(Refusal::ChangedOutside);
    }
    switch (refusal_) {
    case Refusal::None: return ERROR_SUCCESS;
    case Refusal::InUse:
    case Refusal::Locked:
    case Refusal::ChangedOutside: return ERROR_SHARING_VIOLATION;
    default: return ERROR_ACCESS_DENIED;
    }
}

LONG DiskImage::MakeDurable(std::string &why)
{
    if (!copy_) {
        if (fd_ >= 0 && fsync(fd_) == 0)
            return ERROR_SUCCESS;
        why = "the image could not be flushed to disk";
        return ERROR_WRITE_FAULT;
    }
    const LONG rc = copy_->WriteBack(why);
    if (rc == ERROR_SHARING_VIOLATION)
        Refuse(Refusal::ChangedOutside);
    return rc;
}

} // namespace win::image
