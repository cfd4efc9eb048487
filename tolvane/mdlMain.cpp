#include "mdlMain.h"

#include "MountLine.h"
#include "change_bracket.h"
#include "files.h"
#include "machine.h"
#include "win32.h"

#include <filesystem>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace mdlMain
{
namespace
{

constexpr const char *ListFileName = "Tolvane.ini";
constexpr unsigned SW_HIDE_MODE = 0;

// The running program's own file as a host path.
std::string OwnHostPath()
{
#ifdef _WIN32
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
#else
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).string();
#endif
}

// The program's own folder as a Windows path ("C:\windows\system32", or "C:\" in a drive root).
// On Unix the program works on the machine it lies in, wherever the environment points.
std::string OwnWindowsFolder()
{
    const std::string hostFolder = fs::path(OwnHostPath()).parent_path().string();
#ifdef _WIN32
    return hostFolder;
#else
    const std::string machine = MachineFolderAbove(hostFolder);
    if (!machine.empty())
        win::UseMachineFolder(machine);
    return win::WindowsPathOf(hostFolder);
#endif
}

} // namespace

std::string AddBackslash(const std::string &path)
{
    if (!path.empty() && path.back() == '\\')
        return path;
    return path + '\\';
}

void MountList(const std::string &iniPath, CommandRunner run)
{
    if (!win::IsNormalFile(iniPath))
        return;
    std::vector<std::string> lines;
    win::ReadTextLines(iniPath, lines);
    for (const std::string &line : lines) {
        if (const MountLine::Entry entry = MountLine::ParseLine(line)) {
            char command[MountLine::kCommandCapacity];
            MountLine::WriteCommand(entry, command);
            run(command, SW_HIDE_MODE);
        }
    }
}

std::string MachineFolderAbove(const std::string &hostFolder)
{
    std::error_code ec;
    for (fs::path folder = fs::path(hostFolder); !folder.empty(); folder = folder.parent_path()) {
        if (fs::is_regular_file(folder / "system.reg", ec) && fs::is_directory(folder / "dosdevices", ec))
            return folder.string();
        if (folder == folder.parent_path())
            break;
    }
    return {};
}

void Main()
{
    // One run is one change of the machine: whatever it writes lands together.
    const win::ChangeBracket run;
    const std::string folder = OwnWindowsFolder();
    if (folder.empty())
        return;
    MountList(AddBackslash(folder) + ListFileName,
              [](const char *line, unsigned show) -> unsigned { return win::WinExec(line, show); });
}

} // namespace mdlMain
