// System information and starting programs, as a Wine prefix's programs see them.
#include "machine.h"
#include "unix/machine_store.h"
#include "unix/unicode.h"
#include "win32.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace win
{

namespace
{

namespace fs = std::filesystem;

struct VersionInfo {
    const char *name;
    DWORD major, minor, build, platform;
};

// The versions Wine reports for its version names.
constexpr VersionInfo kVersions[] = {
    {"win95", 4, 0, 950, 1},   {"win98", 4, 10, 2222, 1},    {"winme", 4, 90, 3000, 1},   {"nt351", 3, 51, 1057, 2},
    {"nt40", 4, 0, 1381, 2},   {"win2000", 5, 0, 2195, 2},   {"win2k", 5, 0, 2195, 2},    {"nt2k", 5, 0, 2195, 2},
    {"nt2000", 5, 0, 2195, 2}, {"winxp", 5, 1, 2600, 2},     {"winxp64", 5, 2, 3790, 2},  {"win2003", 5, 2, 3790, 2},
    {"win2k3", 5, 2, 3790, 2}, {"vista", 6, 0, 6002, 2},     {"winvista", 6, 0, 6002, 2}, {"win2008", 6, 0, 6002, 2},
    {"win2k8", 6, 0, 6002, 2}, {"win2008r2", 6, 1, 7601, 2}, {"win2k8r2", 6, 1, 7601, 2}, {"win7", 6, 1, 7601, 2},
    {"win8", 6, 2, 9200, 2},   {"win81", 6, 3, 9600, 2},     {"win10", 10, 0, 19043, 2},  {"win11", 10, 0, 22000, 2},
    {"win20", 2, 0, 0, 0},     {"win30", 3, 0, 0, 0},        {"win31", 3, 10, 0, 0},
};

// Copies `text` and its terminator when it fits in `size` bytes.
bool CopyOut(const std::string &text, char *buffer, DWORD size)
{
    if (!buffer || text.size() + 1 > size)
        return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

UINT CopyDirectory(const std::string &path, char *buffer, UINT size)
{
    if (!CopyOut(path, buffer, size))
        return static_cast<UINT>(path.size() + 1);
    return static_cast<UINT>(path.size());
}

std::string ComputerNameOfHost()
{
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string name(host);
    name = name.substr(0, name.find('.'));
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    return name.substr(0, 15);
}

std::string ReadString(HKEY root, const char *path, const char *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(buffer) : std::string();
}

// The program and its arguments, split at blanks outside double quotes.
std::vector<std::string> SplitCommandLine(const std::string &line)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool OnPath(const std::string &program)
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

UINT Spawn(const std::vector<std::string> &arguments, const std::vector<std::string> &extraEnvironment)
{
    std::vector<char *> argv;
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char *> envp;
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
        return ERROR_FILE_NOT_FOUND;
    // The caller never waits for the command; a thread of its own collects it when it ends.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return 33;
}

// Windows names ignore case: a name is taken as the folder spells it, when one matches.
std::string ExistingSpelling(const fs::path &folder, const std::string &name)
{
    std::error_code ec;
    if (name == "." || name == ".." || fs::exists(folder / name, ec))
        return name;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const std::string candidate = entry.path().filename().string();
        if (detail::SameName(candidate, name))
            return candidate;
    }
    return name;
}

bool IsWebAddress(const std::string &text)
{
    for (const char *scheme : {"http://", "https://", "ftp://", "mailto:", "file://"})
        if (text.rfind(scheme, 0) == 0)
            return true;
    return text.rfind("www.", 0) == 0;
}

} // namespace

BOOL GetVersionExA(OSVERSIONINFOA *info)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return 0;
    VersionInfo found{"win7", 6, 1, 7601, 2};
    const std::string name = ReportedWindowsVersion();
    bool named = false;
    for (const VersionInfo &v : kVersions) {
        if (name == v.name) {
            found = v;
            named = true;
        }
    }
    if (!named && IsWindows9xMachine())
        found = kVersions[1];
    info->dwMajorVersion = found.major;
    info->dwMinorVersion = found.minor;
    info->dwBuildNumber = found.platform == 1 ? (found.major << 24 | found.minor << 16 | found.build) : found.build;
    info->dwPlatformId = found.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if (found.platform == 2 && found.major == 6 && found.minor == 1)
        std::strcpy(info->szCSDVersion, "Service Pack 1");
    return 1;
}

BOOL GetComputerNameA(char *buffer, DWORD *size)
{
    if (!size)
        return 0;
    std::string name = ReadString(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                                  "ComputerName");
    if (name.empty())
        name = ComputerNameOfHost();
    if (!CopyOut(name, buffer, *size)) {
        *size = static_cast<DWORD>(name.size() + 1);
        return 0;
    }
    *size = static_cast<DWORD>(name.size());
    return 1;
}

BOOL GetUserNameA(char *buffer, DWORD *size)
{
    if (!size)
        return 0;
    const passwd *user = getpwuid(geteuid());
    const std::string name = user && user->pw_name ? user->pw_name : "user";
    const bool fits = CopyOut(name, buffer, *size);
    *size = static_cast<DWORD>(name.size() + 1);
    return fits ? 1 : 0;
}

UINT GetSystemDirectoryA(char *buffer, UINT size)
{
    return CopyDirectory("C:\\windows\\system32", buffer, size);
}

UINT GetWindowsDirectoryA(char *buffer, UINT size)
{
    return CopyDirectory("C:\\windows", buffer, size);
}

std::uint64_t GetTickCount64()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000;
}

DWORD GetTickCount()
{
    return static_cast<DWORD>(GetTickCount64());
}

UINT WinExec(const char *commandLine, UINT)
{
    const std::vector<std::string> words = SplitCommandLine(commandLine ? commandLine : "");
    if (words.empty())
        return ERROR_FILE_NOT_FOUND;
    std::string program = words[0];
    std::transform(program.begin(), program.end(), program.begin(), [](unsigned char c) { return std::tolower(c); });
    if ((program == "explorer" || program == "explorer.exe") && words.size() == 2 && IsWebAddress(words[1]))
        return OnPath("xdg-open") ? Spawn({"xdg-open", words[1]}, {}) : ERROR_FILE_NOT_FOUND;
    // Anything else is a Windows program: it runs in the machine's Wine, where there is one.
    if (!OnPath("wine") || !fs::exists(MachineFolder() + "/system.reg"))
        return ERROR_FILE_NOT_FOUND;
    std::vector<std::string> arguments{"wine"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    return Spawn(arguments, {"WINEPREFIX=" + MachineFolder()});
}

std::string HostPathOf(const std::string &windowsPath)
{
    if (windowsPath.size() < 3 || windowsPath[1] != ':' || (windowsPath[2] != '\\' && windowsPath[2] != '/') ||
        !std::isalpha(static_cast<unsigned char>(windowsPath[0])))
        return {};
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
    const fs::path link = fs::path(MachineFolder()) / "dosdevices" / (std::string(1, letter) + ":");
    std::error_code ec;
    if (!fs::is_symlink(link, ec))
        return {};
    fs::path target = fs::read_symlink(link, ec);
    if (target.is_relative())
        target = link.parent_path() / target;
    fs::path host = target.lexically_normal();
    std::string rest = windowsPath.substr(3);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    for (const fs::path &part : fs::path(rest))
        if (!part.empty())
            host /= ExistingSpelling(host, part.string());
    return host.string();
}

std::string WindowsPathOf(const std::string &hostPath)
{
    if (hostPath.empty() || hostPath[0] != '/')
        return {};
    std::error_code ec;
    const std::string wanted = fs::weakly_canonical(hostPath, ec).string();
    // The drive whose root holds the path most closely; of equal roots, the first letter.
    char bestLetter = 0;
    size_t bestLength = 0;
    for (const auto &entry : fs::directory_iterator(fs::path(MachineFolder()) / "dosdevices", ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code e;
        if (name.size() != 2 || name[1] != ':' || !entry.is_symlink(e))
            continue;
        const std::string root = fs::weakly_canonical(entry.path(), e).string();
        const bool inside = !e && wanted.rfind(root, 0) == 0 &&
                            (wanted.size() == root.size() || root.back() == '/' || wanted[root.size()] == '/');
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        if (inside && (!bestLetter || root.size() > bestLength || (root.size() == bestLength && letter < bestLetter))) {
            bestLetter = letter;
            bestLength = root.size();
        }
    }
    if (!bestLetter)
        return {};
    std::string rest = wanted.substr(std::min(bestLength, wanted.size()));
    if (!rest.empty() && rest[0] == '/')
        rest.erase(0, 1);
    std::replace(rest.begin(), rest.end(), '/', '\\');
    return std::string(1, bestLetter) + ":\\" + rest;
}

} // namespace win
