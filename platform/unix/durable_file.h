// Changing files of the machine folder so that no process loses another's change and no crash
// leaves a half-written file: the machine's lock, and the durable replace of a whole file.
#pragma once

#include "file_reads.h"
#include "win32.h"

#include <cstddef>

#include <string>

namespace win::detail
{

// The machine's exclusive lock, held by this object's life: a flock on the machine folder,
// taken around every change of a registry file, profile file or text file by every process
// that uses the machine. Taken again by the process that holds it, it is the same lock.
class FolderLock
{
public:
    explicit FolderLock(const std::string &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

// The Win32 error code of a failed write or open (errno): ERROR_DISK_FULL, ERROR_ACCESS_DENIED,
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_SHARING_VIOLATION, ERROR_CANT_ACCESS_FILE
// and ERROR_FILE_TOO_LARGE for reads ReadRegularFile refused, else ERROR_WRITE_FAULT.
LONG ErrorFromErrno(int error);

// The path with every symlink resolved; the path itself when it cannot be resolved.
std::string ResolvedPath(const std::string &path);

// Whether `path` (which may not exist yet) may be replaced: its folder and, when it exists, the
// file itself have the owner's write bit, which counts even for root so that a file or folder
// marked read-only stays so, and are writable to this process. ERROR_SUCCESS,
// ERROR_ACCESS_DENIED or ERROR_PATH_NOT_FOUND (no folder).
LONG CheckReplaceable(const std::string &path);

// Reads what is left of an open file; false on a read error.
bool ReadAll(int fd, std::string &bytes);

// Reads a whole regular file of at most `limit` bytes (ReadRegularFile); false, with errno set,
// when it cannot be opened or read, is no regular file or is larger.
bool ReadWholeFile(const std::string &path, std::string &bytes, std::size_t limit = kTextFileLimit);

// The permissions a replaced file gets.
struct FileMode {
    unsigned forNewFile = 0644;
    unsigned added = 0;       // added in every case (execute bits)
    bool keepExisting = true; // an existing file keeps its mode (and owner); else `forNewFile`
};

// Replaces `path` (following a symlink to its target) with `bytes`: written to a temporary file
// beside it, flushed, renamed over it, the folder flushed. Returns ERROR_SUCCESS, or
// ERROR_ACCESS_DENIED / ERROR_DISK_FULL / ERROR_PATH_NOT_FOUND / ERROR_WRITE_FAULT with the old
// file untouched.
LONG ReplaceFileDurably(const std::string &path, const std::string &bytes, const FileMode &mode = {});

// The two halves of ReplaceFileDurably, for a change of several files that must all land or
// none: the new content written and flushed beside `path` (its name in `newFile`), the old
// file untouched; then the new file renamed over `path`, and the folder flushed when asked.
LONG WriteReplacement(const std::string &path, const std::string &bytes, std::string &newFile,
                      const FileMode &mode = {});
LONG PutReplacementInPlace(const std::string &newFile, const std::string &path, bool flushFolder);
void FlushFolder(const std::string &folder);

// Removes the temporary files that a process which died in ReplaceFileDurably left in `folder`.
// Call it only under the machine's lock, under which every temporary file is made.
void RemoveLeftTemporaryFiles(const std::string &folder);

// Removes what a process that died while replacing `path` left beside it, when it is older than
// a minute: the folder may be shared with another machine, whose writers take another lock.
void RemoveStaleTemporaryFilesOf(const std::string &path);

} // namespace win::detail
