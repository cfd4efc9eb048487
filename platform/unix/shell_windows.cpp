// The windows of a running Windows shell. A machine folder has no shell whose windows could be
// found, so every search finds nothing and every function on a window fails as Windows does for
// a handle that names no window.
#include "machine_files.h"
#include "win32.h"

namespace win
{

HWND FindWindowA(const char *, const char *)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

HWND FindWindowExA(HWND hWndParent, HWND, const char *, const char *)
{
    SetLastError(hWndParent ? ERROR_INVALID_WINDOW_HANDLE : ERROR_FILE_NOT_FOUND);
    return nullptr;
}

BOOL GetWindowPlacement(HWND, WINDOWPLACEMENT *)
{
    return detail::Fail(ERROR_INVALID_WINDOW_HANDLE);
}

BOOL SetWindowPos(HWND, HWND, int, int, int, int, UINT)
{
    return detail::Fail(ERROR_INVALID_WINDOW_HANDLE);
}

BOOL ShowWindow(HWND, int)
{
    return detail::Fail(ERROR_INVALID_WINDOW_HANDLE);
}

BOOL IsWindowVisible(HWND)
{
    return 0;
}

BOOL IsWindowEnabled(HWND)
{
    return detail::Fail(ERROR_INVALID_WINDOW_HANDLE);
}

BOOL EnableWindow(HWND, BOOL)
{
    return detail::Fail(ERROR_INVALID_WINDOW_HANDLE);
}

} // namespace win
