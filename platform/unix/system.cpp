// System information and starting programs, as a Wine prefix's programs see them.
#include "command_line.h"
#include "machine.h"
#include "machine_files.h"
#include "machine_store.h"
#include "subst.h"
#include "unicode.h"
#include "win32.h"
#include "windows_paths.h"
#include "windows_versions.h"

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
#include <tuple>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace win
{

namespace
{

namespace fs = std::filesystem;

constexpr DWORD kVersionInfoSize = 148;
constexpr DWORD kVersionInfoExSize = 156;

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

// The words of a command line that Korvex reads itself (subst's drive and folder, explorer's
// address): split at blanks outside double quotes, backslashes kept as they are, so that a
// folder "C:\" keeps its backslash. What a Windows program gets is split by its own rule
// (command_line.h).
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
    if (fs::exists(folder / name, ec))
        return name;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const std::string candidate = entry.path().filename().string();
        if (detail::SameName(candidate, name))
            return candidate;
    }
    return name;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool IsFile(const std::string &hostPath)
{
    std::error_code ec;
    return !hostPath.empty() && fs::is_regular_file(hostPath, ec);
}

// The folders of the machine's PATH ("C:\\windows\\system32;%SystemRoot%;..."), with the
// variables Wine's own PATH uses put in.
std::vector<std::string> MachineSearchPath()
{
    std::vector<std::string> folders{"C:\\windows\\system32", "C:\\windows\\system", "C:\\windows"};
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return folders;
    std::string path(4096, '\0');
    DWORD size = static_cast<DWORD>(path.size() - 1);
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(key, "PATH", nullptr, &type, reinterpret_cast<BYTE *>(path.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return folders;
    path.resize(std::strlen(path.c_str()));
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find(';', start), path.size());
        std::string folder = path.substr(start, end - start);
        for (const std::string variable : {"%systemroot%", "%windir%"})
            if (const size_t at = Lower(folder).find(variable); at != std::string::npos)
                folder.replace(at, variable.size(), "C:\\windows");
        if (!folder.empty())
            folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

// The file a command line's program names on the machine, found as CreateProcess finds it: a
// path names the file itself, a bare name is looked for in the system folders and along the
// machine's PATH, and a name without an extension gets ".exe". Empty when there is none.
std::string FindProgram(const std::string &program)
{
    const size_t slash = program.find_last_of("\\/");
    const std::string file = slash == std::string::npos ? program : program.substr(slash + 1);
    std::vector<std::string> names{program};
    if (file.find('.') == std::string::npos)
        names.insert(names.begin(), program + ".exe");
    const bool absolute = program.size() > 2 && program[1] == ':';
    for (const std::string &name : names) {
        if (absolute) {
            if (IsFile(HostPathOf(name)))
                return name;
        } else if (slash == std::string::npos) {
            for (const std::string &folder : MachineSearchPath())
                if (IsFile(HostPathOf(folder + "\\" + name)))
                    return folder + "\\" + name;
        }
    }
    return {};
}

// The program a command line names and its arguments, as CreateProcess takes the line apart: a
// quoted first word is the program. Unquoted, the program may have blanks in its path, so the
// line is tried up to each blank in turn (C:\Program, C:\Program Files\Kx, ...) and the first
// part that names a file on the machine is the program, the rest its arguments as the program's
// C runtime would split them. Empty when no part does.
std::vector<std::string> ProgramAndArguments(const std::string &line)
{
    const size_t start = line.find_first_not_of(" \t");
    if (line[start] == '"') {
        const detail::ProgramPart part = detail::SplitOffProgram(line);
        if (FindProgram(part.program).empty())
            return {};
        std::vector<std::string> found{part.program};
        std::ranges::copy(detail::SplitArguments(part.rest), std::back_inserter(found));
        return found;
    }
    for (size_t blank = line.find_first_of(" \t", start);; blank = line.find_first_of(" \t", blank + 1)) {
        const std::string program = line.substr(start, blank == std::string::npos ? blank : blank - start);
        if (!FindProgram(program).empty()) {
            std::vector<std::string> found{program};
            if (blank != std::string::npos)
                std::ranges::copy(detail::SplitArguments(line.substr(blank)), std::back_inserter(found));
            return found;
        }
        if (blank == std::string::npos)
            return {};
    }
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
    static_assert(sizeof(OSVERSIONINFOA) == kVersionInfoSize && sizeof(OSVERSIONINFOEXA) == kVersionInfoExSize);
    if (!info || (info->dwOSVersionInfoSize != kVersionInfoSize && info->dwOSVersionInfoSize != kVersionInfoExSize))
        return 0;
    detail::MachineVersion found = detail::ReportedVersionOfMachine();
    // Since Windows 8.1 a program whose manifest names no later Windows, as this one, is told
    // Windows 8 (6.2.9200); Wine does the same.
    if (found.platform == VER_PLATFORM_WIN32_NT && (found.major > 6 || (found.major == 6 && found.minor > 2)))
        std::tie(found.major, found.minor, found.build) = std::tuple(6, 2, 9200);
    // Windows 9x knows only the short record.
    if (info->dwOSVersionInfoSize == kVersionInfoExSize && found.platform != VER_PLATFORM_WIN32_NT)
        return 0;
    info->dwMajorVersion = found.major;
    info->dwMinorVersion = found.minor;
    // 9x puts the version in the high word of the build number.
    info->dwBuildNumber = found.platform == VER_PLATFORM_WIN32_WINDOWS
                              ? (found.major << 24 | found.minor << 16 | (found.build & 0xFFFF))
                              : found.build;
    info->dwPlatformId = found.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::memcpy(info->szCSDVersion, found.csd.data(), std::min(found.csd.size(), sizeof info->szCSDVersion - 1));
    if (info->dwOSVersionInfoSize == kVersionInfoExSize) {
        auto *ex = reinterpret_cast<OSVERSIONINFOEXA *>(info);
        ex->wServicePackMajor = found.servicePack;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = found.suite;
        ex->wProductType = found.product;
        ex->wReserved = 0;
    }
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
    // Windows 95/98/ME keeps its system files in SYSTEM; Wine, as NT does, in system32.
    return CopyDirectory(detail::Store().IsImage() ? "C:\\WINDOWS\\SYSTEM" : "C:\\windows\\system32", buffer, size);
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
    // subst.exe starts, does its work or shows its error in its own window, and ends: the
    // program started, so WinExec succeeds either way, and the drive exists or does not.
    if (detail::IsSubstProgram(words[0])) {
        SetLastError(static_cast<DWORD>(detail::RunSubst({words.begin() + 1, words.end()})));
        return 33;
    }
    const std::string program = Lower(words[0]);
    if ((program == "explorer" || program == "explorer.exe") && words.size() == 2 && IsWebAddress(words[1]))
        return OnPath("xdg-open") ? Spawn({"xdg-open", words[1]}, {}) : ERROR_FILE_NOT_FOUND;
    // Anything else is a Windows program of the machine: it runs in the machine's Wine, where
    // there is one. A program that is not there fails as on Windows, without starting Wine.
    const std::vector<std::string> call = ProgramAndArguments(commandLine);
    if (call.empty() || !OnPath("wine") || !fs::exists(MachineFolder() + "/system.reg"))
        return ERROR_FILE_NOT_FOUND;
    std::vector<std::string> arguments{"wine"};
    arguments.insert(arguments.end(), call.begin(), call.end());
    return Spawn(arguments, {"WINEPREFIX=" + MachineFolder()});
}

std::string HostPathOf(const std::string &windowsPath)
{
    if (detail::Store().IsImage())
        return {}; // the guest's files are inside the image, reached through the image layer
    // The dots go first, the Windows way, so that no ".." can climb above the drive's root
    // into the host folders around it.
    const std::string path = NormalWindowsPath(windowsPath);
    if (path.empty())
        return {};
    const std::string root = detail::DriveRootOf(static_cast<char>(std::tolower(static_cast<unsigned char>(path[0]))));
    if (root.empty())
        return {};
    fs::path host(root);
    std::string rest = path.substr(3);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    for (const fs::path &part : fs::path(rest))
        if (!part.empty())
            host /= ExistingSpelling(host, part.string());
    return host.string();
}

std::string WindowsPathOf(const std::string &hostPath)
{
    if (detail::Store().IsImage())
        return {};
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
