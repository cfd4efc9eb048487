#include "prefix_facts.h"

#include "durable_file.h"
#include "hive.h"
#include "unicode.h"
#include "windows_versions.h"
#include "wineserver.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace win
{

namespace detail
{

namespace
{

// A value looked for while a registry file is scanned once: the key's path as the file spells
// it (components joined by an escaped backslash), the value's name, and what was found.
struct Wanted {
    std::string path;
    std::string_view value;
    std::optional<std::string> found;
    bool keySeen = false; // the key, or a key below it, has a block
};

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// The string data of a value line (`"name"=data`) when its name is `name`.
std::optional<std::string> StringOfValueLine(std::string_view line, std::string_view name)
{
    size_t pos = 1;
    std::u16string lineName;
    if (!regtext::Unescape(line, pos, '"', lineName) || !SameName(Utf16ToUtf8(lineName), name))
        return std::nullopt;
    if (pos >= line.size() || line[pos] != '=')
        return std::nullopt;
    const ValueData data = regtext::ParseData(line.substr(pos + 1));
    if (data.type != 1 || data.bytes.size() < 2)
        return std::nullopt;
    return Utf16ToUtf8(Utf16LeUnits(data.bytes.data(), data.bytes.size() - 2));
}

// Reads every wanted value out of a registry file's text in one pass over its lines; a key
// given twice keeps the last data, as Wine merges duplicate blocks.
void Scan(std::string_view text, std::vector<Wanted> &wanted)
{
    std::vector<Wanted *> inBlock;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty())
            continue;
        if (line.front() == '[') {
            inBlock.clear();
            const std::string_view path = line.substr(1);
            for (Wanted &w : wanted) {
                if (!StartsWithIgnoringCase(path, w.path))
                    continue;
                const std::string_view rest = path.substr(w.path.size());
                if (rest.starts_with(']'))
                    inBlock.push_back(&w);
                if (rest.starts_with(']') || rest.starts_with("\\\\"))
                    w.keySeen = true;
            }
        } else if (line.front() == '"' && !inBlock.empty()) {
            for (Wanted *w : inBlock)
                if (auto data = StringOfValueLine(line, w->value))
                    w->found = std::move(data);
        }
    }
}

std::vector<Wanted> ScanFile(const std::string &path, std::vector<Wanted> wanted)
{
    std::string text;
    if (ReadWholeFile(path, text) && text.starts_with("WINE REGISTRY Version 2"))
        Scan(text, wanted);
    return wanted;
}

// This program as Wine would name it ("korvex.exe"), for its own version setting.
std::string OwnProgramName()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    const std::string_view full(path, static_cast<size_t>(n));
    return std::string(full.substr(full.rfind('/') + 1)) + ".exe";
}

// "4.10.2222" as its major and minor numbers and its build.
std::array<DWORD, 3> VersionNumbers(std::string_view text)
{
    std::array<DWORD, 3> numbers{};
    size_t part = 0;
    for (const char c : text) {
        if (c == '.') {
            if (++part == numbers.size())
                break;
        } else if (c >= '0' && c <= '9') {
            numbers[part] = numbers[part] * 10 + static_cast<DWORD>(c - '0');
        } else {
            break;
        }
    }
    return numbers;
}

// The workstation version of that number on that platform: the one with the highest build that
// does not exceed `build` (Windows 11 is "10.0" from build 22000 on).
const VersionInfo *VersionByNumber(DWORD platform, DWORD major, DWORD minor, DWORD build)
{
    const VersionInfo *best = nullptr;
    for (const VersionInfo &v : kWindowsVersions) {
        if (v.platform != platform || v.major != major || v.minor != minor)
            continue;
        if (platform == VER_PLATFORM_WIN32_NT && v.product != kWs)
            continue;
        if (!best || (v.build <= build && v.build > best->build))
            best = &v;
    }
    return best;
}

ReportedVersion From(const VersionInfo &version)
{
    return {version.name, version.platform == VER_PLATFORM_WIN32_NT};
}

std::optional<ReportedVersion> SettingOf(const std::string &folder)
{
    std::vector<Wanted> user = ScanFile(
        folder + "/user.reg", {{"Software\\\\Wine\\\\AppDefaults\\\\" + OwnProgramName(), "Version", {}, false},
                               {"Software\\\\Wine", "Version", {}, false}});
    for (const Wanted &w : user)
        if (const VersionInfo *known = w.found ? FindWindowsVersion(*w.found) : nullptr)
            return From(*known);
    return std::nullopt;
}

ReportedVersion FromSystemKeys(const std::string &folder)
{
    constexpr const char *kNtKey = "Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion";
    std::vector<Wanted> system = ScanFile(
        folder + "/system.reg", {{kNtKey, "CurrentVersion", {}, false},
                                 {kNtKey, "CurrentBuild", {}, false},
                                 {kNtKey, "CurrentBuildNumber", {}, false},
                                 {"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion", "VersionNumber", {}, false}});
    const Wanted &ntVersion = system[0];
    if (ntVersion.keySeen) {
        const auto [major, minor, unused] = VersionNumbers(ntVersion.found.value_or(""));
        const std::string &build = system[1].found ? *system[1].found : system[2].found.value_or("");
        if (const VersionInfo *v = VersionByNumber(VER_PLATFORM_WIN32_NT, major, minor, VersionNumbers(build)[0]))
            return From(*v);
        return {"win7", true};
    }
    if (system[3].found) {
        const auto [major, minor, build] = VersionNumbers(*system[3].found);
        if (const VersionInfo *v = VersionByNumber(VER_PLATFORM_WIN32_WINDOWS, major, minor, build))
            return From(*v);
        return {"win98", false};
    }
    // What Wine 8.0 reports for a prefix that says nothing of its version.
    return {"win7", true};
}

std::int64_t NewestRegistryChange(const std::string &folder)
{
    std::int64_t newest = 0;
    for (const char *name : {"/system.reg", "/user.reg", "/userdef.reg"}) {
        struct stat st {
        };
        if (stat((folder + name).c_str(), &st) == 0)
            newest = std::max<std::int64_t>(newest, st.st_mtim.tv_sec);
    }
    return newest;
}

} // namespace

ReportedVersion VersionReportedBy(const std::string &folder)
{
    if (auto setting = SettingOf(folder))
        return *setting;
    return FromSystemKeys(folder);
}

WinePrefix Describe(const std::string &folder, PrefixSource source, const std::string &name,
                    const std::vector<std::string> &serverFolders)
{
    WinePrefix prefix;
    prefix.folder = folder;
    prefix.name = name;
    prefix.source = source;
    const ReportedVersion version = VersionReportedBy(folder);
    prefix.windowsVersion = version.name;
    prefix.windowsNT = version.nt;
    prefix.serverRunning =
        ServerLockHeld(folder) || std::ranges::find(serverFolders, ResolvedPath(folder)) != serverFolders.end();
    prefix.lastChange = NewestRegistryChange(folder);
    return prefix;
}

} // namespace detail

bool IsWinePrefix(const std::string &folder)
{
    struct stat st {
    };
    return stat((folder + "/system.reg").c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           stat((folder + "/user.reg").c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           stat((folder + "/drive_c").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

WinePrefix DescribeWinePrefix(const std::string &folder, PrefixSource source, const std::string &name)
{
    return detail::Describe(folder, source, name, detail::FoldersHeldByWineServers());
}

} // namespace win
