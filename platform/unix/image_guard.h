// Is a disk image in use by another program? An emulator that runs the guest keeps its image
// open and caches its sectors, so any change made beside it is lost or corrupts the disk.
#pragma once

#include <string>
#include <vector>

namespace win::image
{

struct Holder {
    int pid = 0;
    std::string program; // the process's name (/proc/PID/comm)
};

// Other processes that have `path` open (seen through /proc/*/fd on Linux; the same file by
// device and inode, whatever name they opened it by). This process is left out; processes of
// other users, whose descriptors cannot be read, are not seen.
std::vector<Holder> ProcessesHolding(const std::string &path);

// Whether any process holds a lock on `path`: QEMU and its tools (qemu-img, qemu-nbd) take
// open-file-description locks on the images they use, which F_OFD_GETLK reports, and classic
// fcntl locks of other processes show the same way.
bool LockedByAnother(const std::string &path);

// Whether the image file may be changed: it exists, has the owner's write bit (which counts
// even for root, so that an image marked read-only stays so) and is writable to this process.
bool ImageFileWritable(const std::string &path);

} // namespace win::image
