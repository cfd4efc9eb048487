// On Windows the machine is the running system: there is no folder, no Wine and no hive file
// of Korvex's own to report on, and a Windows path is already a host path.
#include "machine.h"
#include "change_hook.h"
#include "win32.h"

namespace win
{

std::string MachineFolder()
{
    return {};
}

std::string ChosenMachineFolder()
{
    return {};
}

std::vector<std::string> DamagedRegistryFiles()
{
    return {};
}

bool WineServerRunning()
{
    return false;
}

std::string ReportedWindowsVersion()
{
    return {};
}

bool IsWindows9xMachine()
{
    // GetVersion's high bit is set on the Windows 9x platform only.
    return (::GetVersion() & 0x80000000u) != 0;
}

std::uint32_t MachineAnsiCodePage()
{
    return ::GetACP();
}

std::string HostPathOf(const std::string &windowsPath)
{
    return windowsPath;
}

std::string WindowsPathOf(const std::string &hostPath)
{
    return hostPath;
}

std::size_t OpenHandleCount()
{
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return count;
}

void UseMachineFolder(const std::string &) {}

bool IsImageMachine()
{
    return false;
}

std::string MachineReadOnlyMessage()
{
    return {};
}

std::string LastMachineProblem()
{
    return {};
}

unsigned GuestAnsiCodePage()
{
    return 0;
}

void ResetMachine()
{
    detail::ReportMachineReset();
}

bool CreateEmptyMachine(const std::string &)
{
    return false;
}

} // namespace win
