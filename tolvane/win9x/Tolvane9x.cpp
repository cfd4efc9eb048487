// Tolvane for Windows 95, 98 and ME, which run neither a 64-bit nor a console program without a
// window: a 32-bit program for the Windows subsystem 4.0 that opens no window, links no C or C++
// runtime and imports only what Windows 95's KERNEL32 offers. It does what Tolvane does
// everywhere: reads Tolvane.ini beside itself and hands every entry's subst command line to
// WinExec, hidden, in file order, by the list rule all readers of the list share.
#include "MountLine.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace
{

constexpr char kListFileName[] = "Tolvane.ini";
constexpr DWORD kNotNormal = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// The longest line that can hold an entry, and room for the CR before its LF.
constexpr DWORD kLineCapacity = MountLine::kDriveLength + MountLine::kMaxFolderLength + 1;
// Kept small: the whole stack frame stays under a page, which needs no stack probe routine.
constexpr DWORD kChunkSize = 1024;

// The list file beside the program ("C:\WINDOWS\SYSTEM\Tolvane.ini", "C:\Tolvane.ini" in a
// drive root); false when the path does not fit.
bool FindListPath(char (&path)[MAX_PATH])
{
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    while (length > 0 && path[length - 1] != '\\')
        --length;
    if (length == 0 || length + sizeof kListFileName > MAX_PATH)
        return false;
    for (const char c : kListFileName)
        path[length++] = c;
    return true;
}

// Mounts the entry of one line, if it holds one; WinExec's result is of no concern.
void MountLineOf(const char *line, DWORD length)
{
    if (length > 0 && line[length - 1] == '\r')
        --length;
    const MountLine::Entry entry = MountLine::ParseLine({line, length});
    if (!entry)
        return;
    char command[MountLine::kCommandCapacity];
    MountLine::WriteCommand(entry, command);
    WinExec(command, SW_HIDE);
}

// Reads the list line by line (a line ends at LF; one without an end counts at the end of the
// file) and mounts each line's entry. A line too long for any entry is passed over whole.
void MountList(HANDLE file)
{
    char chunk[kChunkSize];
    char line[kLineCapacity];
    DWORD length = 0;
    bool tooLong = false;
    DWORD got = 0;
    while (ReadFile(file, chunk, kChunkSize, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            if (chunk[i] != '\n') {
                if (length < kLineCapacity)
                    line[length++] = chunk[i];
                else
                    tooLong = true;
                continue;
            }
            if (!tooLong)
                MountLineOf(line, length);
            length = 0;
            tooLong = false;
        }
    }
    if (length > 0 && !tooLong)
        MountLineOf(line, length);
}

// The whole program; a missing, hidden or system list, or anything but a disk file, mounts nothing.
void MountListBesideProgram()
{
    char path[MAX_PATH];
    if (!FindListPath(path))
        return;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kNotNormal) != 0)
        return;
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    if (GetFileType(file) == FILE_TYPE_DISK)
        MountList(file);
    CloseHandle(file);
}

} // namespace

// The entry point the linker looks for in a Windows-subsystem program; there is no runtime to
// start first and nothing to return to.
extern "C" void WinMainCRTStartup()
{
    MountListBesideProgram();
    ExitProcess(0);
}
