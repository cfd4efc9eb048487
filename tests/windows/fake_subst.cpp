// Stands in for subst.exe in the Windows contract tests (Wine's own does nothing): it takes its
// time, as a program started on a busy machine does, and then makes the file its last argument
// names, so that a test sees whether WinExec waited for it.
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 1;
    ::Sleep(500);
    const HANDLE file =
        ::CreateFileA(argv[argc - 1], GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    ::CloseHandle(file);
    return 0;
}
