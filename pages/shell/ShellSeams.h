// What the shell tool pages ask of the running system beyond the registry: starting a program
// and the windows of the running shell. The pages call these; normally they are the platform
// functions, and tests put recording fakes in their place.
#pragma once

#include "win32.h"

// Starts a command line as WinExec does; above 31 when the program started.
using ProgramStarter = win::UINT (*)(const char *commandLine, win::UINT showCommand);

ProgramStarter CurrentProgramStarter();
// Replaces the starter; null restores WinExec.
void UseProgramStarter(ProgramStarter starter);

// The shell-window functions of the taskbar page, with the platform's signatures.
class ShellWindows
{
public:
    virtual ~ShellWindows() = default;
    virtual win::HWND FindWindowA(const char *className, const char *windowName) = 0;
    virtual win::HWND FindWindowExA(win::HWND parent, win::HWND childAfter, const char *className,
                                    const char *windowName) = 0;
    virtual win::BOOL GetWindowPlacement(win::HWND window, win::WINDOWPLACEMENT *placement) = 0;
    virtual win::BOOL SetWindowPos(win::HWND window, win::HWND insertAfter, int x, int y, int cx, int cy,
                                   win::UINT flags) = 0;
    virtual win::BOOL ShowWindow(win::HWND window, int showCommand) = 0;
    virtual win::BOOL IsWindowVisible(win::HWND window) = 0;
    virtual win::BOOL IsWindowEnabled(win::HWND window) = 0;
    virtual win::BOOL EnableWindow(win::HWND window, win::BOOL enable) = 0;
};

// The platform's shell windows, or the fake in use.
ShellWindows &CurrentShellWindows();
// Replaces the shell windows for the pages made from now on; null restores the platform's.
void UseShellWindows(ShellWindows *windows);
