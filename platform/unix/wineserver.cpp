#include "wineserver.h"

#include "durable_file.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace win::detail
{

namespace
{

// A wineserver holds a write lock on byte 0 of the "lock" file in its server directory. Only
// asking about the lock is safe: taking it makes Wine programs fail at once.
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
    ReadWholeFile(folder + "/wineserver", name);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0'))
        name.pop_back();
    if (!name.empty() && name.find('/') == std::string::npos) {
        const char *tmp = std::getenv("TMPDIR");
        for (const std::string &base : {std::string(tmp && *tmp ? tmp : "/tmp"), std::string("/tmp")})
            candidates.push_back(base + "/" + name + "/" + serverDir + "/lock");
    }
    return candidates;
}

bool IsWineServerProcess(const std::string &procDir)
{
    char comm[32] = {};
    const int fd = open((procDir + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const ssize_t n = read(fd, comm, sizeof comm - 1);
    close(fd);
    return n > 0 && std::strncmp(comm, "wineserver", 10) == 0;
}

// The targets of the process's open files.
std::vector<std::string> OpenTargets(const std::string &procDir)
{
    std::vector<std::string> targets;
    DIR *fds = opendir((procDir + "/fd").c_str());
    if (!fds)
        return targets;
    while (const dirent *f = readdir(fds)) {
        char link[PATH_MAX];
        const ssize_t len = readlink((procDir + "/fd/" + f->d_name).c_str(), link, sizeof link - 1);
        if (len > 0)
            targets.emplace_back(link, static_cast<size_t>(len));
    }
    closedir(fds);
    return targets;
}

// Linux: a wineserver keeps its prefix folder open, whatever TMPDIR it was started with.
bool ServerProcessHoldsFolder(const std::string &folder)
{
    const std::string target = ResolvedPath(folder);
    for (const std::string &held : FoldersHeldByWineServers())
        if (held == target)
            return true;
    return false;
}

} // namespace

bool ServerLockHeld(const std::string &folder)
{
    for (const std::string &lock : ServerLockCandidates(folder))
        if (LockFileHeld(lock))
            return true;
    return false;
}

std::vector<std::string> FoldersHeldByWineServers()
{
    std::vector<std::string> folders;
    DIR *proc = opendir("/proc");
    if (!proc)
        return folders;
    while (const dirent *entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const std::string procDir = std::string("/proc/") + entry->d_name;
        if (!IsWineServerProcess(procDir))
            continue;
        for (std::string &target : OpenTargets(procDir))
            folders.push_back(std::move(target));
    }
    closedir(proc);
    return folders;
}

bool WineServerWatch::Running() const
{
    if (ServerLockHeld(folder_))
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

} // namespace win::detail
