#include "file_reads.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace win
{

namespace
{

#ifdef _WIN32
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
using ReadCount = int;
#else
// Without O_NONBLOCK, opening a FIFO waits for a writer; it changes nothing for a regular file.
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
using ReadCount = ssize_t;
#endif

// Reads until the end, but never more than `limit` + 1 bytes: one byte past the limit tells a
// file that grew too large while it was read.
int ReadUpTo(int fd, std::string &bytes, std::size_t limit)
{
    char buffer[1 << 16];
    while (bytes.size() <= limit) {
        const std::size_t wanted = std::min(sizeof buffer, limit + 1 - bytes.size());
        const ReadCount n = ::read(fd, buffer, static_cast<unsigned>(wanted));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return EOVERFLOW;
}

} // namespace

int ReadRegularFile(const std::string &path, std::string &bytes, std::size_t limit)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), kOpenFlags);
    if (fd < 0)
        return errno;
    struct stat st {
    };
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = ENODEV;
    else if (static_cast<unsigned long long>(st.st_size) > limit)
        error = EOVERFLOW;
    else
        error = ReadUpTo(fd, bytes, limit);
    ::close(fd);
    if (error != 0)
        bytes.clear();
    return error;
}

} // namespace win
