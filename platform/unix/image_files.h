// The file functions of files.h and win32.h on a disk image machine: drive C: is the FAT file
// system that holds Windows, reached through the image layer (mtools); the guest has no other
// drive while it is not running. Each returns as its Wine-prefix counterpart does, with the
// last error set on failure.
#pragma once

#include "image_machine.h"
#include "win32.h"

#include <string>
#include <vector>

namespace win::detail
{

DWORD ImageFileAttributes(ImageMachine &machine, const char *windowsPath);
BOOL ImageSetFileAttributes(ImageMachine &machine, const char *windowsPath, DWORD attributes);
BOOL ImageCopyFile(ImageMachine &machine, const char *from, const char *to, BOOL failIfExists);
BOOL ImageDeleteFile(ImageMachine &machine, const char *windowsPath);
bool ImageReadFile(ImageMachine &machine, const std::string &windowsPath, std::string &bytes);
// Replaces the file's bytes; a file that was there keeps its attributes.
bool ImageWriteFile(ImageMachine &machine, const std::string &windowsPath, const std::string &bytes);
bool ImageFileExists(ImageMachine &machine, const std::string &windowsPath);
std::vector<std::string> ImageSubfolders(ImageMachine &machine, const std::string &windowsFolder);

} // namespace win::detail
