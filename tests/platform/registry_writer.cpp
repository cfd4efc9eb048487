// A small process that writes REG_DWORD values into the machine named by WINEPREFIX, for the
// reliability tests that kill it, run several at once, or make it wait for the machine's lock.
//
//   registry_writer counter <HKCU|HKLM|HKU_DEFAULT> <key> <name> <start> <count>
//       writes start+1, start+2, ... start+count to the one value <name>; before each write it
//       reads the value back and stops with status 3 unless it still holds the previous number
//       (start, or absent when start is 0), so a write undone by another process is caught
//   registry_writer values <HKCU|HKLM|HKU_DEFAULT> <key> <prefix> <start> <count>
//       writes <prefix>0 ... <prefix>(count-1) with the data start+0 ... start+count-1
//
// Once the key is open it prints "ready"; after each write returns ERROR_SUCCESS it prints
// "ok <name> <data>" on stdout in a single write(2), so a parent that kills it knows exactly which writes were
// acknowledged: a write is acknowledged only once it is on disk. Exit status 0 when every write succeeded, 1 when a
// registry call failed (reported on stderr), 2 for bad arguments, 3 for a counter that changed
// under it.
#include "win32.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{

bool WriteLine(int fd, const std::string &line)
{
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int Usage()
{
    std::fputs("usage: registry_writer counter|values HKCU|HKLM|HKU_DEFAULT <key> <name> <start> <count>\n", stderr);
    return 2;
}

bool ParseNumber(const char *text, unsigned long &out)
{
    char *end = nullptr;
    errno = 0;
    out = std::strtoul(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 7)
        return Usage();
    const std::string mode = argv[1];
    const std::string root = argv[2];
    const char *keyPath = argv[3];
    const std::string name = argv[4];
    unsigned long start = 0;
    unsigned long count = 0;
    if ((mode != "counter" && mode != "values") || !ParseNumber(argv[5], start) || !ParseNumber(argv[6], count))
        return Usage();

    win::HKEY base = nullptr;
    std::string subKey = keyPath;
    if (root == "HKCU") {
        base = HKEY_CURRENT_USER;
    } else if (root == "HKLM") {
        base = HKEY_LOCAL_MACHINE;
    } else if (root == "HKU_DEFAULT") {
        base = HKEY_USERS;
        subKey = ".DEFAULT\\" + subKey;
    } else {
        return Usage();
    }

    win::HKEY key = nullptr;
    const win::LONG created = win::RegCreateKeyExA(base, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (created != ERROR_SUCCESS) {
        std::fprintf(stderr, "error %ld creating %s\n", static_cast<long>(created), subKey.c_str());
        return 1;
    }

    // The key is open and the hive loaded: what follows is nothing but writes.
    if (!WriteLine(STDOUT_FILENO, "ready\n"))
        return 1;

    for (unsigned long i = 0; i < count; ++i) {
        if (mode == "counter") {
            const auto expected = static_cast<win::DWORD>(start + i);
            win::DWORD type = 0;
            win::DWORD seen = 0;
            win::DWORD size = sizeof seen;
            const win::LONG rc =
                win::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<win::BYTE *>(&seen), &size);
            const bool absentAtStart = rc == ERROR_FILE_NOT_FOUND && expected == 0;
            if (!absentAtStart && (rc != ERROR_SUCCESS || type != REG_DWORD || size != 4 || seen != expected)) {
                std::fprintf(stderr, "%s reads %lu (rc %ld, type %lu, size %lu), expected %lu\n", name.c_str(),
                             static_cast<unsigned long>(seen), static_cast<long>(rc), static_cast<unsigned long>(type),
                             static_cast<unsigned long>(size), static_cast<unsigned long>(expected));
                win::RegCloseKey(key);
                return 3;
            }
        }
        const std::string valueName = mode == "counter" ? name : name + std::to_string(i);
        const auto data = static_cast<win::DWORD>(mode == "counter" ? start + i + 1 : start + i);
        const win::LONG rc = win::RegSetValueExA(key, valueName.c_str(), 0, REG_DWORD,
                                                 reinterpret_cast<const win::BYTE *>(&data), sizeof data);
        if (rc != ERROR_SUCCESS) {
            std::fprintf(stderr, "error %ld writing %s\n", static_cast<long>(rc), valueName.c_str());
            win::RegCloseKey(key);
            return 1;
        }
        if (!WriteLine(STDOUT_FILENO, "ok " + valueName + " " + std::to_string(data) + "\n"))
            return 1;
    }
    win::RegCloseKey(key);
    return 0;
}
