#include "ShellSeams.h"

namespace
{

win::UINT StartWithWinExec(const char *commandLine, win::UINT showCommand)
{
    return win::WinExec(commandLine, showCommand);
}

// Both are constant-initialised: the pages may be made before anything else has run.
ProgramStarter programStarter = nullptr;
ShellWindows *shellWindows = nullptr;

class PlatformShellWindows : public ShellWindows
{
public:
    win::HWND FindWindowA(const char *className, const char *windowName) override
    {
        return win::FindWindowA(className, windowName);
    }
    win::HWND FindWindowExA(win::HWND parent, win::HWND childAfter, const char *className,
                            const char *windowName) override
    {
        return win::FindWindowExA(parent, childAfter, className, windowName);
    }
    win::BOOL GetWindowPlacement(win::HWND window, win::WINDOWPLACEMENT *placement) override
    {
        return win::GetWindowPlacement(window, placement);
    }
    win::BOOL SetWindowPos(win::HWND window, win::HWND insertAfter, int x, int y, int cx, int cy,
                           win::UINT flags) override
    {
        return win::SetWindowPos(window, insertAfter, x, y, cx, cy, flags);
    }
    win::BOOL ShowWindow(win::HWND window, int showCommand) override { return win::ShowWindow(window, showCommand); }
    win::BOOL IsWindowVisible(win::HWND window) override { return win::IsWindowVisible(window); }
    win::BOOL IsWindowEnabled(win::HWND window) override { return win::IsWindowEnabled(window); }
    win::BOOL EnableWindow(win::HWND window, win::BOOL enable) override { return win::EnableWindow(window, enable); }
};

} // namespace

ProgramStarter CurrentProgramStarter()
{
    return programStarter ? programStarter : &StartWithWinExec;
}

void UseProgramStarter(ProgramStarter starter)
{
    programStarter = starter;
}

ShellWindows &CurrentShellWindows()
{
    static PlatformShellWindows platform;
    return shellWindows ? *shellWindows : platform;
}

void UseShellWindows(ShellWindows *windows)
{
    shellWindows = windows;
}
