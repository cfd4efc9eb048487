// Windows 95/98/ME installations inside emulators' and virtual machines' disk images, as
// machines the user can choose: the ones emulators already list, and any image file picked by
// hand. Looking at an image only reads it; nothing is converted, locked or changed. On Windows
// there are none: the machine is the running system.
#pragma once

#include <string>
#include <vector>

namespace win
{

struct ImageMachine {
    std::string path;           // the image file, absolute
    std::string name;           // the machine's name in the emulator, else the file's name
    std::string emulator;       // "86Box", "PCem", "QEMU", "VirtualBox", "DOSBox-X"; empty when picked by hand
    std::string windowsVersion; // Wine's name of the version the guest's registry gives ("win98"); empty when unread
};

// The endings disk image files usually have, for a file dialog's filter.
inline constexpr const char *kDiskImageSuffixes[] = {"img", "ima", "hdd", "vhd", "qcow2", "vdi", "vmdk"};

// True when `path` is a file (a folder is a Wine prefix) whose disk holds Windows 95/98/ME on
// one of its FAT file systems.
bool HoldsWindowsImage(const std::string &path);

// Every image an emulator's configuration lists that holds Windows 95/98/ME, each once.
std::vector<ImageMachine> FindImageMachines();

// The facts of one image, with `name` and `emulator` as given (a name made from the file's
// when empty).
ImageMachine DescribeImageMachine(const std::string &path, const std::string &name, const std::string &emulator);

} // namespace win
