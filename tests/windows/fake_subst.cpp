// Stands in for subst.exe in the Windows tests (Wine's own does nothing). It takes its time, as a
// program started on a busy machine does, so that a test sees whether its starter waited for it;
// then it writes the command line it was started with to a file beside itself named by the moment
// its process was made, so that a test can put the commands in the order they were started
// (Tolvane does not wait for one before the next).
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    ::Sleep(500);
    FILETIME created{}, unused{};
    GetProcessTimes(GetCurrentProcess(), &created, &unused, &unused, &unused);
    char path[MAX_PATH];
    std::string file(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    char name[48];
    std::snprintf(name, sizeof name, "subst-%010lu%010lu.log", created.dwHighDateTime, created.dwLowDateTime);
    file.replace(file.rfind('\\') + 1, std::string::npos, name);
    FILE *out = std::fopen(file.c_str(), "wb");
    return out && std::fputs(GetCommandLineA(), out) >= 0 && std::fclose(out) == 0 ? 0 : 1;
}
