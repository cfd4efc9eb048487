// A fresh machine folder for one test, chosen through WINEPREFIX like a user would choose one,
// and removed afterwards. Tests never touch the developer's own prefix.
//
// On Windows (TempMachine_windows.cpp) the machine is the running system: the registry keys the
// platform suites write to are deleted before and after each test, and Folder() is an empty
// temporary folder.
#pragma once

#ifndef _WIN32
#include "ScopedEnv.h"
#endif

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

// A file's bytes; nothing when it cannot be read.
inline std::string FileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Writes a file's bytes, making its folders.
inline void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class TempMachine
{
public:
    // An empty machine, or a copy of `templateFolder` (its registry files copied, its drive_c
    // hard-linked) when one is given.
    explicit TempMachine(const std::string &templateFolder = {});
    ~TempMachine();
    TempMachine(const TempMachine &) = delete;
    TempMachine &operator=(const TempMachine &) = delete;

    const std::string &Folder() const { return folder_; }

    // An empty folder for the test's own files, as a Windows path ("C:\\korvex-files" in the
    // machine's drive C: on Unix, a temporary folder on Windows). Made on first call.
    std::string FilesFolder() const;
    std::string PathOf(const std::string &name) const { return folder_ + "/" + name; }
    // The user's state folder while the machine is in use (where its change journal is kept).
    const std::string &StateFolder() const { return stateFolder_; }

    std::string ReadFile(const std::string &name) const { return FileBytes(PathOf(name)); }
    void WriteFile(const std::string &name, const std::string &text) const { WriteFileBytes(PathOf(name), text); }

    // Makes the machine report a Windows version by Wine's name for it ("win98", "nt40", ...),
    // as a user sets it with winecfg.
    void ReportWindowsVersion(const char *name) const;

private:
    std::string folder_;
    std::string stateFolder_;
#ifndef _WIN32
    ScopedEnv env_; // WINEPREFIX and XDG_STATE_HOME name the machine's folders while it lives
#endif
};

// The prefix ctest's WinePrefix fixture made for this run, for tests to copy; empty when Wine is
// not installed or the test runs outside ctest.
std::string WineTemplate();

// A new folder of the owner's own under the system's temporary folder ($TMPDIR), removed with
// its contents by the caller.
inline std::string MakeTempFolder(const char *stem)
{
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto folder =
            std::filesystem::temp_directory_path() / (std::string(stem) + "-" + std::to_string(entropy()));
        if (std::error_code ec; std::filesystem::create_directory(folder, ec)) {
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
            return folder.string();
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

// Tests mark files and folders read-only (which Windows refuses to delete): the owner gets write
// access back first.
inline void RemoveFolder(const std::string &folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(folder, ec);
}
