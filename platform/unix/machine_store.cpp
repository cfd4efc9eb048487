#include "unix/machine_store.h"
#include "machine.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace win::detail
{

const char *const kHiveRootPaths[kHiveCount] = {"\\Registry\\Machine", "\\Registry\\User\\S-1-5-21-0-0-0-1000",
                                                "\\Registry\\User\\.Default"};

namespace
{

namespace fs = std::filesystem;

const char *const kHiveFileNames[kHiveCount] = {"system.reg", "user.reg", "userdef.reg"};
const char *const kHeaderComments[kHiveCount] = {
    ";; All keys relative to REGISTRY\\\\Machine",
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000",
    ";; All keys relative to REGISTRY\\\\User\\\\.Default",
};

FileIdentity IdentityOf(const struct stat &st)
{
    FileIdentity id;
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    return id;
}

bool ReadWhole(int fd, std::string &text)
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
        text.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteWhole(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

LONG ErrorFromErrno(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
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

// A wineserver holds a write lock on byte 0 of the "lock" file in its server directory.
bool LockFileHeld(const std::string &lockPath)
{
    const int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock query {
    };
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0;
    query.l_len = 1;
    const bool held = fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
    close(fd);
    return held;
}

std::vector<std::string> ServerLockCandidates(const std::string &folder)
{
    struct stat st {
    };
    if (stat(folder.c_str(), &st) != 0)
        return {};
    char serverDir[64];
    std::snprintf(serverDir, sizeof serverDir, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::vector<std::string> candidates;
    candidates.push_back("/tmp/.wine-" + std::to_string(getuid()) + "/" + serverDir + "/lock");
    // Debian's Wine names its server directory in the prefix's "wineserver" file.
    std::string name;
    const int fd = open((folder + "/wineserver").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ReadWhole(fd, name);
        close(fd);
    }
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0'))
        name.pop_back();
    if (!name.empty() && name.find('/') == std::string::npos) {
        const char *tmp = std::getenv("TMPDIR");
        for (std::string base : {std::string(tmp && *tmp ? tmp : "/tmp"), std::string("/tmp")})
            candidates.push_back(base + "/" + name + "/" + serverDir + "/lock");
    }
    return candidates;
}

// Linux: a wineserver keeps its prefix folder open, whatever TMPDIR it was started with.
bool ServerProcessHoldsFolder(const std::string &folder)
{
    const std::string target = ResolvedPath(folder);
    DIR *proc = opendir("/proc");
    if (!proc)
        return false;
    bool found = false;
    while (!found) {
        const dirent *entry = readdir(proc);
        if (!entry)
            break;
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const std::string base = std::string("/proc/") + entry->d_name;
        char comm[32] = {};
        const int fd = open((base + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const ssize_t n = read(fd, comm, sizeof comm - 1);
        close(fd);
        if (n <= 0 || std::strncmp(comm, "wineserver", 10) != 0)
            continue;
        DIR *fds = opendir((base + "/fd").c_str());
        if (!fds)
            continue;
        while (const dirent *f = readdir(fds)) {
            char link[PATH_MAX];
            const ssize_t len = readlink((base + "/fd/" + f->d_name).c_str(), link, sizeof link - 1);
            if (len > 0 && target == std::string(link, static_cast<size_t>(len))) {
                found = true;
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return found;
}

bool HasOwnerWrite(const std::string &path)
{
    struct stat st {
    };
    return stat(path.c_str(), &st) != 0 || (st.st_mode & S_IWUSR);
}

constexpr std::string_view kTemporaryMark = ".korvex-";

void RemoveLeftTemporaryFiles(const std::string &folder)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent *entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        const size_t mark = name.rfind(kTemporaryMark);
        if (name.size() > 1 && name[0] == '.' && mark != std::string_view::npos &&
            name.size() == mark + kTemporaryMark.size() + 6)
            unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

std::unique_ptr<MachineStore> &CurrentStore()
{
    static std::unique_ptr<MachineStore> store;
    return store;
}

} // namespace

std::string ChooseMachineFolder()
{
    if (const char *prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    const char *home = std::getenv("HOME");
    const std::string homeDir = home && *home ? home : ".";
    std::error_code ec;
    if (fs::is_directory(homeDir + "/.wine", ec))
        return homeDir + "/.wine";
    const char *data = std::getenv("XDG_DATA_HOME");
    const std::string dataDir = data && *data ? data : homeDir + "/.local/share";
    return dataDir + "/korvex/machine";
}

std::string WithControlSetLink(std::string systemText)
{
    Hive hive;
    hive.Parse(std::move(systemText));
    const std::uint64_t now = FileTimeNow();
    Key &system = hive.AddChild(hive.Root(), "System", now);
    hive.AddChild(system, "ControlSet001", now);
    Key &link = hive.AddChild(system, "CurrentControlSet", now);
    link.isLink = true;
    const std::string_view target = "\\Registry\\Machine\\System\\ControlSet001";
    ValueData data{6, {}};
    for (char c : target) {
        data.bytes.push_back(static_cast<std::uint8_t>(c));
        data.bytes.push_back(0);
    }
    hive.SetValue(link, "SymbolicLinkValue", std::move(data), now);
    return hive.Serialize();
}

bool FileIdentity::operator==(const FileIdentity &other) const
{
    if (exists != other.exists)
        return false;
    return !exists || (device == other.device && inode == other.inode && size == other.size &&
                       modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec);
}

MachineStore::MachineStore(std::string folder) : folder_(std::move(folder))
{
    CreateEmptyMachine(folder_);
    for (int i = 0; i < kHiveCount; ++i) {
        files_[i].path = folder_ + "/" + kHiveFileNames[i];
        files_[i].headerComment = kHeaderComments[i];
    }
}

std::string MachineStore::EmptyHiveText(const HiveFile &file)
{
    std::string text = std::string("WINE REGISTRY Version 2\n") + file.headerComment + "\n";
    // A new file must carry the machine's architecture, or Wine ignores it.
    if (&file != &files_[kSystemHive]) {
        Refresh(files_[kSystemHive]);
        const std::string_view preamble = files_[kSystemHive].hive.Preamble();
        const size_t arch = preamble.find("#arch=");
        if (arch != std::string_view::npos)
            text += "\n" + std::string(preamble.substr(arch, preamble.find('\n', arch) - arch)) + "\n";
    }
    return text;
}

void MachineStore::Refresh(HiveFile &file)
{
    // The common case, a file unchanged since it was read, costs one stat() and no open().
    struct stat current {
    };
    if (file.loaded && file.identity.exists && stat(file.path.c_str(), &current) == 0 &&
        IdentityOf(current) == file.identity)
        return;
    const int fd = open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {
    };
    if (fd < 0) {
        const bool missing = errno == ENOENT;
        if (file.loaded && !file.identity.exists && missing)
            return;
        file.identity = FileIdentity{};
        file.loaded = true;
        file.damaged = !missing;
        if (missing)
            file.hive.Parse(EmptyHiveText(file));
        else
            file.hive.Parse(std::string());
        return;
    }
    if (fstat(fd, &st) == 0 && file.loaded && IdentityOf(st) == file.identity) {
        close(fd);
        return;
    }
    std::string text;
    const bool read = ReadWhole(fd, text);
    close(fd);
    file.identity = IdentityOf(st);
    file.loaded = true;
    file.damaged = !read || !file.hive.Parse(std::move(text));
}

Hive *MachineStore::Current(int index)
{
    HiveFile &file = files_[index];
    Refresh(file);
    return file.damaged ? nullptr : &file.hive;
}

LONG MachineStore::CheckWritable(const HiveFile &file) const
{
    const std::string real = ResolvedPath(file.path);
    const std::string dir = fs::path(real).parent_path().string();
    // The owner's write bit counts even for root, so a file or folder marked read-only stays so.
    if (!HasOwnerWrite(real) || !HasOwnerWrite(dir) || access(dir.c_str(), W_OK) != 0)
        return ERROR_ACCESS_DENIED;
    if (access(real.c_str(), F_OK) == 0 && access(real.c_str(), W_OK) != 0)
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

LONG MachineStore::Change(int index, const std::function<LONG(Hive &)> &change)
{
    if (ServerRunning())
        return ERROR_SHARING_VIOLATION;
    const FolderLock lock(folder_);
    if (!lock.Held())
        return ERROR_ACCESS_DENIED;
    // Every temporary file is made under this lock, so one that is here now was left by a
    // process that died while writing.
    RemoveLeftTemporaryFiles(folder_);

    HiveFile &file = files_[index];
    Refresh(file);
    if (file.damaged)
        return ERROR_BADDB;
    if (const LONG rc = CheckWritable(file); rc != ERROR_SUCCESS)
        return rc;
    if (const LONG rc = change(file.hive); rc != ERROR_SUCCESS)
        return rc;
    const LONG rc = ReplaceFileDurably(file.path, file.hive.Serialize());
    struct stat st {
    };
    if (rc == ERROR_SUCCESS && stat(file.path.c_str(), &st) == 0) {
        file.identity = IdentityOf(st);
    } else {
        // The change is not on disk: drop it by reading the file again next time.
        file.loaded = false;
        file.identity = FileIdentity{};
    }
    return rc;
}

std::vector<std::string> MachineStore::DamagedFiles()
{
    std::vector<std::string> damaged;
    for (HiveFile &file : files_) {
        Refresh(file);
        if (file.damaged)
            damaged.push_back(file.path);
    }
    return damaged;
}

bool MachineStore::ServerRunning() const
{
    for (const std::string &lock : ServerLockCandidates(folder_))
        if (LockFileHeld(lock))
            return true;
    // The lock file finds every server started with this TMPDIR. Looking through all processes
    // for one started with another costs a few hundred microseconds, so its answer is reused
    // for a moment.
    const auto now = std::chrono::steady_clock::now();
    if (!processScanValid_ || now - processScanTime_ > std::chrono::seconds(1)) {
        processScanResult_ = ServerProcessHoldsFolder(folder_);
        processScanTime_ = now;
        processScanValid_ = true;
    }
    return processScanResult_;
}

MachineStore &Store()
{
    auto &store = CurrentStore();
    if (!store)
        store = std::make_unique<MachineStore>(ChooseMachineFolder());
    return *store;
}

void ForgetStore()
{
    CurrentStore().reset();
}

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

LONG ReplaceFileDurably(const std::string &path, const std::string &text)
{
    const std::string real = ResolvedPath(path);
    const fs::path target(real);
    const std::string dir = target.parent_path().string();
    std::string temp = dir + "/." + target.filename().string() + std::string(kTemporaryMark) + "XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return ErrorFromErrno(errno);
    struct stat old {
    };
    if (stat(real.c_str(), &old) == 0) {
        fchmod(fd, old.st_mode & 07777);
        if (geteuid() == 0 && (old.st_uid != 0 || old.st_gid != 0))
            (void)!fchown(fd, old.st_uid, old.st_gid);
    } else {
        fchmod(fd, 0644);
    }
    int error = 0;
    if (!WriteWhole(fd, text) || fsync(fd) != 0)
        error = errno ? errno : EIO;
    if (close(fd) != 0 && !error)
        error = errno;
    if (!error && rename(temp.c_str(), real.c_str()) != 0)
        error = errno;
    if (error) {
        unlink(temp.c_str());
        return ErrorFromErrno(error);
    }
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return ERROR_SUCCESS;
}

} // namespace win::detail

namespace win
{

std::string MachineFolder()
{
    return detail::Store().Folder();
}

std::string ChosenMachineFolder()
{
    return detail::ChooseMachineFolder();
}

std::vector<std::string> DamagedRegistryFiles()
{
    return detail::Store().DamagedFiles();
}

bool WineServerRunning()
{
    return detail::Store().ServerRunning();
}

bool CreateEmptyMachine(const std::string &folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(folder) / "dosdevices", ec);
    fs::create_directories(fs::path(folder) / "drive_c" / "windows" / "system32", ec);
    if (ec)
        return false;
    const auto link = [&](const char *name, const char *target) {
        const fs::path at = fs::path(folder) / "dosdevices" / name;
        std::error_code e;
        if (!fs::is_symlink(at, e) && !fs::exists(at, e))
            fs::create_symlink(target, at, e);
        return !e;
    };
    const bool drivesMade = link("c:", "../drive_c");
    bool ok = link("z:", "/") && drivesMade;
    // Making a missing hive is a change like any other, made under the machine's lock: a process
    // held up here must never replace a hive that another one made and wrote to meanwhile.
    const detail::FolderLock lock(folder);
    for (int i = 0; i < detail::kHiveCount; ++i) {
        const std::string path = folder + "/" + detail::kHiveFileNames[i];
        if (access(path.c_str(), F_OK) == 0)
            continue;
        std::string text = std::string("WINE REGISTRY Version 2\n") + detail::kHeaderComments[i] + "\n";
        if (i == detail::kSystemHive)
            text = detail::WithControlSetLink(std::move(text));
        ok = detail::ReplaceFileDurably(path, text) == ERROR_SUCCESS && ok;
    }
    return ok;
}

} // namespace win
