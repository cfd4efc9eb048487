#include "TempMachine.h"

#include "machine.h"
#include "win32.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string MakeTempFolder(const char *stem)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    return pattern;
}

void RemoveFolder(const std::string &folder)
{
    std::error_code ec;
    // Tests mark files and folders read-only; give the owner write access back first.
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(folder, ec);
}

TempMachine::TempMachine(const std::string &templateFolder)
{
    folder_ = MakeTempFolder("korvex-machine");
    if (!templateFolder.empty()) {
        for (const auto &entry : fs::directory_iterator(templateFolder)) {
            const fs::path target = fs::path(folder_) / entry.path().filename();
            if (entry.path().filename() == "drive_c")
                // Wine links the profile folders to $HOME: they stay links, never copies of home.
                fs::copy(entry.path(), target,
                         fs::copy_options::recursive | fs::copy_options::create_hard_links |
                             fs::copy_options::copy_symlinks);
            else if (entry.path().filename() != "wineserver" && entry.path().filename() != ".korvex-complete")
                fs::copy(entry.path(), target, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        }
    }
    win::CreateEmptyMachine(folder_);
    if (const char *prefix = std::getenv("WINEPREFIX")) {
        hadPrefix_ = true;
        savedPrefix_ = prefix;
    }
    setenv("WINEPREFIX", folder_.c_str(), 1);
    // The change journal lives in the user's state folder: a test's journal goes with the test.
    stateFolder_ = MakeTempFolder("korvex-state");
    if (const char *state = std::getenv("XDG_STATE_HOME")) {
        hadState_ = true;
        savedState_ = state;
    }
    setenv("XDG_STATE_HOME", stateFolder_.c_str(), 1);
    win::ResetMachine();
}

TempMachine::~TempMachine()
{
    win::ResetMachine();
    if (hadPrefix_)
        setenv("WINEPREFIX", savedPrefix_.c_str(), 1);
    else
        unsetenv("WINEPREFIX");
    if (hadState_)
        setenv("XDG_STATE_HOME", savedState_.c_str(), 1);
    else
        unsetenv("XDG_STATE_HOME");
    RemoveFolder(folder_);
    RemoveFolder(stateFolder_);
}

std::string TempMachine::FilesFolder() const
{
    fs::create_directories(fs::path(folder_) / "drive_c" / "korvex-files");
    return "C:\\korvex-files";
}

void TempMachine::ReportWindowsVersion(const char *name) const
{
    win::HKEY key = nullptr;
    if (win::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot set the machine's Windows version");
    win::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const win::BYTE *>(name),
                        static_cast<win::DWORD>(std::strlen(name) + 1));
    win::RegCloseKey(key);
}
