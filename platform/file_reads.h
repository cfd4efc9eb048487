// Reading a whole file that a hostile or damaged machine may have replaced by something else: a
// FIFO or a device would block or never end, and a huge file would fill the memory. Every read
// of a machine's file, and of the files Korvex keeps about it, goes through here.
#pragma once

#include <cstddef>
#include <string>

namespace win
{

// How much a read takes at most, by what the file is for.
// Text files a Windows 9x program reads (profiles such as Desktop.ini and Tolvane.ini, lmhosts):
// the 9x profile functions read 64 KB of a file at most, so a megabyte leaves room for anything
// real.
inline constexpr std::size_t kTextFileLimit = std::size_t{1} << 20;
// Pictures and icon sources (.ico, .bmp, .exe, .dll) and files copied whole: a Windows 9x system
// DLL full of icons is a few megabytes.
inline constexpr std::size_t kIconSourceLimit = std::size_t{64} << 20;
// The change journal, which keeps whole files as they were before and after each change.
inline constexpr std::size_t kJournalLimit = std::size_t{512} << 20;

// Reads the whole file at the host path `path` into `bytes`, when it is a regular file (links
// followed) of at most `limit` bytes. It never waits for a writer or a device: a FIFO, a device
// or a folder is refused without being read. Returns 0, or the errno of the failure: ENOENT,
// EACCES, ... as the system gives them, ENODEV for something that is not a regular file,
// EOVERFLOW for a file larger than `limit` (also one that grows past it while it is read).
// `bytes` is empty after a failure.
int ReadRegularFile(const std::string &path, std::string &bytes, std::size_t limit);

} // namespace win
