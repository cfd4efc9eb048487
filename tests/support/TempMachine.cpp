#include "TempMachine.h"

#include "machine.h"
#include "win32.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

std::string WineTemplate()
{
    const char *folder = std::getenv("KORVEX_WINE_TEMPLATE");
    if (!folder || !*folder || !fs::exists(fs::path(folder) / "system.reg"))
        return {};
    return folder;
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
    env_.Set("WINEPREFIX", folder_);
    // The change journal lives in the user's state folder: a test's journal goes with the test.
    stateFolder_ = MakeTempFolder("korvex-state");
    env_.Set("XDG_STATE_HOME", stateFolder_);
    win::ResetMachine();
}

TempMachine::~TempMachine()
{
    win::ResetMachine();
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
