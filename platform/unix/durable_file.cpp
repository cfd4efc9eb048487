#include "durable_file.h"
#include "file_reads.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace win::detail
{

namespace
{

namespace fs = std::filesystem;

// Temporary files are ".<name>.korvex-XXXXXX" beside the file they replace.
constexpr std::string_view kTemporaryMark = ".korvex-";
constexpr std::size_t kTemporarySuffixLength = 6;

} // namespace

bool ReadAll(int fd, std::string &bytes)
{
    // Straight into the string, sized once from the file's length: a registry file is parsed
    // where it was read, and a string grown by doubling would hold up to twice its size.
    struct stat st {
    };
    const off_t at = lseek(fd, 0, SEEK_CUR);
    size_t done = bytes.size();
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && at >= 0 && st.st_size > at)
        bytes.resize(done + static_cast<size_t>(st.st_size - at) + 1); // one more to see the end
    for (;;) {
        if (done == bytes.size())
            bytes.resize(std::max<size_t>(2 * done, 1 << 16));
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            bytes.resize(done);
            return n == 0;
        }
        done += static_cast<size_t>(n);
    }
}

namespace
{

bool WriteAll(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool HasOwnerWrite(const std::string &path)
{
    struct stat st {
    };
    return stat(path.c_str(), &st) != 0 || (st.st_mode & S_IWUSR);
}

} // namespace

void FlushFolder(const std::string &folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

namespace
{

// The locks this process holds. A flock belongs to one open of the folder, and a second open
// would wait for the first forever: a lock taken again in the same process (a text file
// written inside a bracket of registry changes, which holds the lock) shares the first one.
struct HeldLock {
    dev_t device;
    ino_t inode;
    int fd;
    int count;
};

std::vector<HeldLock> &HeldLocks()
{
    static std::vector<HeldLock> held;
    return held;
}

std::mutex &HeldLocksMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

FolderLock::FolderLock(const std::string &folder) : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    struct stat st {
    };
    if (fd_ < 0 || fstat(fd_, &st) != 0)
        return;
    {
        const std::lock_guard guard(HeldLocksMutex());
        for (HeldLock &held : HeldLocks()) {
            if (held.device == st.st_dev && held.inode == st.st_ino) {
                close(fd_);
                fd_ = held.fd;
                ++held.count;
                return;
            }
        }
    }
    while (flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd_);
            fd_ = -1;
            return;
        }
    }
    const std::lock_guard guard(HeldLocksMutex());
    HeldLocks().push_back({st.st_dev, st.st_ino, fd_, 1});
}

FolderLock::~FolderLock()
{
    if (fd_ < 0)
        return;
    const std::lock_guard guard(HeldLocksMutex());
    std::vector<HeldLock> &held = HeldLocks();
    for (auto it = held.begin(); it != held.end(); ++it) {
        if (it->fd == fd_ && --it->count == 0) {
            close(fd_); // releases the lock
            held.erase(it);
            return;
        }
    }
}

LONG ErrorFromErrno(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case ENODEV: return ERROR_CANT_ACCESS_FILE;
    case EOVERFLOW: return ERROR_FILE_TOO_LARGE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    default: return ERROR_WRITE_FAULT;
    }
}

std::string ResolvedPath(const std::string &path)
{
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

LONG CheckReplaceable(const std::string &path)
{
    const std::string real = ResolvedPath(path);
    const std::string dir = fs::path(real).parent_path().string();
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return ERROR_PATH_NOT_FOUND;
    if (!HasOwnerWrite(real) || !HasOwnerWrite(dir) || access(dir.c_str(), W_OK) != 0)
        return ERROR_ACCESS_DENIED;
    if (access(real.c_str(), F_OK) == 0 && access(real.c_str(), W_OK) != 0)
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

bool ReadWholeFile(const std::string &path, std::string &bytes, std::size_t limit)
{
    errno = ReadRegularFile(path, bytes, limit);
    return errno == 0;
}

LONG WriteReplacement(const std::string &path, const std::string &bytes, std::string &newFile, const FileMode &mode)
{
    newFile.clear();
    const fs::path target(ResolvedPath(path));
    std::string temp = target.parent_path().string() + "/." + target.filename().string() + std::string(kTemporaryMark) +
                       std::string(kTemporarySuffixLength, 'X');
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
    struct stat old {
    };
    if (mode.keepExisting && stat(target.c_str(), &old) == 0) {
        fchmod(fd, (old.st_mode & 07777) | mode.added);
        if (geteuid() == 0 && (old.st_uid != 0 || old.st_gid != 0))
            (void)!fchown(fd, old.st_uid, old.st_gid);
    } else {
        fchmod(fd, mode.forNewFile | mode.added);
    }
    int error = 0;
    if (!WriteAll(fd, bytes) || fsync(fd) != 0)
        error = errno ? errno : EIO;
    if (close(fd) != 0 && !error)
        error = errno;
    if (error) {
        unlink(temp.c_str());
        return ErrorFromErrno(error);
    }
    newFile = std::move(temp);
    return ERROR_SUCCESS;
}

LONG PutReplacementInPlace(const std::string &newFile, const std::string &path, bool flushFolder)
{
    const std::string real = ResolvedPath(path);
    if (rename(newFile.c_str(), real.c_str()) != 0) {
        const int error = errno;
        unlink(newFile.c_str());
        return ErrorFromErrno(error);
    }
    if (flushFolder)
        FlushFolder(fs::path(real).parent_path().string());
    return ERROR_SUCCESS;
}

LONG ReplaceFileDurably(const std::string &path, const std::string &bytes, const FileMode &mode)
{
    std::string newFile;
    if (const LONG rc = WriteReplacement(path, bytes, newFile, mode); rc != ERROR_SUCCESS)
        return rc;
    return PutReplacementInPlace(newFile, path, true);
}

void RemoveLeftTemporaryFiles(const std::string &folder)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent *entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        const size_t mark = name.rfind(kTemporaryMark);
        if (name.size() > 1 && name[0] == '.' && mark != std::string_view::npos &&
            name.size() == mark + kTemporaryMark.size() + kTemporarySuffixLength)
            unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

void RemoveStaleTemporaryFilesOf(const std::string &path)
{
    const fs::path target(ResolvedPath(path));
    const std::string stem = "." + target.filename().string() + std::string(kTemporaryMark);
    std::error_code ec;
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    for (const auto &entry : fs::directory_iterator(target.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code e;
        if (name.size() == stem.size() + kTemporarySuffixLength && name.rfind(stem, 0) == 0 &&
            entry.is_regular_file(e) && entry.last_write_time(e) < old && !e)
            fs::remove(entry.path(), e);
    }
}

} // namespace win::detail
