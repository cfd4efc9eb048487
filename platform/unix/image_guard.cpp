#include "image_guard.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace win::image
{

namespace
{

bool AllDigits(std::string_view name)
{
    return !name.empty() && name.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string ProgramName(const std::string &pid)
{
    std::string name;
    if (FILE *f = std::fopen(("/proc/" + pid + "/comm").c_str(), "re")) {
        char buffer[64] = {};
        if (std::fgets(buffer, sizeof buffer, f))
            name = buffer;
        std::fclose(f);
    }
    while (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

bool HoldsFile(const std::string &pid, dev_t device, ino_t inode)
{
    const std::string folder = "/proc/" + pid + "/fd";
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return false;
    bool held = false;
    while (const dirent *entry = readdir(dir)) {
        if (!AllDigits(entry->d_name))
            continue;
        struct stat st {
        };
        if (stat((folder + "/" + entry->d_name).c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode) {
            held = true;
            break;
        }
    }
    closedir(dir);
    return held;
}

} // namespace

std::vector<Holder> ProcessesHolding(const std::string &path)
{
    struct stat target {
    };
    if (stat(path.c_str(), &target) != 0)
        return {};
    std::vector<Holder> holders;
    const std::string self = std::to_string(getpid());
    DIR *proc = opendir("/proc");
    if (!proc)
        return {};
    while (const dirent *entry = readdir(proc)) {
        if (!AllDigits(entry->d_name) || entry->d_name == self)
            continue;
        if (HoldsFile(entry->d_name, target.st_dev, target.st_ino))
            holders.push_back({std::atoi(entry->d_name), ProgramName(entry->d_name)});
    }
    closedir(proc);
    return holders;
}

bool LockedByAnother(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Asking is safe where taking is not: a lock taken here would make QEMU fail to start.
    struct flock query {
    };
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0;
    query.l_len = 0;
    const bool locked = fcntl(fd, F_OFD_GETLK, &query) == 0 && query.l_type != F_UNLCK;
    close(fd);
    return locked;
}

bool ImageFileWritable(const std::string &path)
{
    struct stat st {
    };
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) &&
           access(path.c_str(), W_OK) == 0;
}

} // namespace win::image
