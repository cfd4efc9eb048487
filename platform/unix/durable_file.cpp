#include "durable_file.h"
#include "file_reads.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.append(buffer, static_cast<size_t>(n));
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

void FlushFolder(const std::string &folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

FolderLock::FolderLock(const std::string &folder) : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd_);
            fd_ = -1;
        }
    }
}

FolderLock::~FolderLock()
{
    if (fd_ >= 0)
        close(fd_); // releases the lock
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

LONG ReplaceFileDurably(const std::string &path, const std::string &bytes, const FileMode &mode)
{
    const std::string real = ResolvedPath(path);
    const fs::path target(real);
    const std::string dir = target.parent_path().string();
    std::string temp = dir + "/." + target.filename().string() + std::string(kTemporaryMark) +
                       std::string(kTemporarySuffixLength, 'X');
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
    struct stat old {
    };
    if (mode.keepExisting && stat(real.c_str(), &old) == 0) {
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
    if (!error && rename(temp.c_str(), real.c_str()) != 0)
        error = errno;
    if (error) {
        unlink(temp.c_str());
        return ErrorFromErrno(error);
    }
    FlushFolder(dir);
    return ERROR_SUCCESS;
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
