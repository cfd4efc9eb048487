// A process that writes REG_DWORD values into the machine named by WINEPREFIX, for the
// reliability tests that kill it, run several at once or make it wait for the machine's lock.
//
//   registry_writer HKCU|HKLM <key> <name> <start> <count> [counter|bracket]
//
// Writes <name>0 ... <name>(count-1) with the data start ... start+count-1. With "counter" it
// writes start+1 ... start+count to the one value <name> instead, and before each write reads it
// back and ends with status 3 unless it still holds the previous number (start, or nothing when
// start is 0): a write that another process undid is caught. "bracket" counts as "counter" does,
// and writes each number in one bracket of changes to <name>, to "Mirror" beside it and to
// <name> of the same key in the other root (HKLM for HKCU): two values of one file, and a second
// file.
// Prints "ready" once the key is open, and "ok <name> <data>" in one write(2) after each write
// that returned ERROR_SUCCESS, the moment the write must be on disk. Status 1: a call failed.
#include "change_bracket.h"
#include "win32.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace
{

bool Say(const std::string &line)
{
    return write(STDOUT_FILENO, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

bool HoldsStill(win::HKEY key, const std::string &name, unsigned long expected)
{
    win::DWORD type = 0;
    win::DWORD seen = 0;
    win::DWORD size = sizeof seen;
    const win::LONG rc =
        win::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<win::BYTE *>(&seen), &size);
    if (rc == ERROR_FILE_NOT_FOUND)
        return expected == 0;
    return rc == ERROR_SUCCESS && type == REG_DWORD && size == 4 && seen == expected;
}

bool SetDword(win::HKEY key, const std::string &name, win::DWORD data)
{
    return win::RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&data),
                               sizeof data) == ERROR_SUCCESS;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 6 && argc != 7)
        return 2;
    const win::HKEY root = std::string(argv[1]) == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::string name = argv[3];
    const unsigned long start = std::strtoul(argv[4], nullptr, 10);
    const unsigned long count = std::strtoul(argv[5], nullptr, 10);
    const std::string mode = argc == 7 ? argv[6] : "";
    const bool bracketed = mode == "bracket";
    const bool counter = mode == "counter" || bracketed;
    win::HKEY key = nullptr;
    win::HKEY other = nullptr;
    const auto open = [&](win::HKEY from, win::HKEY &opened) {
        return win::RegCreateKeyExA(from, argv[2], 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                    &opened, nullptr) == ERROR_SUCCESS;
    };
    if (!open(root, key) ||
        (bracketed && !open(root == HKEY_CURRENT_USER ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, other)) ||
        !Say("ready\n"))
        return 1;
    for (unsigned long i = 0; i < count; ++i) {
        if (counter && !HoldsStill(key, name, start + i))
            return 3;
        const std::string valueName = counter ? name : name + std::to_string(i);
        const auto data = static_cast<win::DWORD>(counter ? start + i + 1 : start + i);
        if (bracketed)
            win::BeginChanges();
        if (!SetDword(key, valueName, data) ||
            (bracketed && (!SetDword(key, "Mirror", data) || !SetDword(other, valueName, data) ||
                           win::EndChanges() != ERROR_SUCCESS)) ||
            !Say("ok " + valueName + " " + std::to_string(data) + "\n"))
            return 1;
    }
    win::RegCloseKey(key);
    return 0;
}
