// A stand-in for subst.exe in Tolvane's Windows tests: appends the moment its process was made and
// the command line it was started with to subst.log beside itself. Tolvane does not wait for one
// command before starting the next, so the moments give the order of the starts.
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    FILETIME created{}, ended{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    char path[MAX_PATH];
    std::string log(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    log.replace(log.rfind('\\') + 1, std::string::npos, "subst.log");
    char record[64];
    const int length =
        std::snprintf(record, sizeof record, "%010lu%010lu ", created.dwHighDateTime, created.dwLowDateTime);
    const std::string line = std::string(record, static_cast<size_t>(length)) + GetCommandLineA() + "\n";
    // Recorders started together take turns: the log is opened for this one alone.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 1000 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileA(log.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            Sleep(10);
    }
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok ? 0 : 1;
}
