// What the machine reports about itself, read the way Wine reads it.
#include "machine.h"
#include "machine_store.h"
#include "unicode.h"
#include "windows_versions.h"

#include <array>
#include <climits>
#include <unistd.h>

namespace win
{

namespace detail
{

namespace
{

constexpr const char *kNtKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char *kNineXKey = "Software\\Microsoft\\Windows\\CurrentVersion";

// This program's name as Wine would see it ("korvex.exe"); it never changes while running.
const std::string &ProgramName()
{
    static const std::string name = [] {
        char path[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        if (n <= 0)
            return std::string();
        const std::string full(path, static_cast<size_t>(n));
        return full.substr(full.rfind('/') + 1) + ".exe";
    }();
    return name;
}

// "4.10.2222" as its major and minor numbers and its build; each number ends at the first
// character that is not a digit.
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

// Wine's name for a version of these numbers: of the workstation versions of the platform with
// that major and minor number, the one with the highest build not above `build` (Windows 11 is
// "10.0" from build 22000 on); the numbers themselves when Wine has none.
std::string NameOf(DWORD platform, DWORD major, DWORD minor, DWORD build)
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
    return best ? best->name : std::to_string(major) + "." + std::to_string(minor);
}

MachineVersion FromTable(const VersionInfo &v)
{
    return {v.name, v.major, v.minor, v.build, v.platform, v.csd, v.servicePack, v.suite, v.product};
}

std::optional<MachineVersion> FromSetting(const StringReader &read)
{
    for (const std::string &key : {"Software\\Wine\\AppDefaults\\" + ProgramName(), std::string("Software\\Wine")})
        if (const auto setting = read(HKEY_CURRENT_USER, key, "Version"))
            if (const VersionInfo *known = FindWindowsVersion(*setting))
                return FromTable(*known);
    return std::nullopt;
}

std::optional<MachineVersion> FromNtKeys(const StringReader &read)
{
    const auto [major, minor, unused] = VersionNumbers(read(HKEY_LOCAL_MACHINE, kNtKey, "CurrentVersion").value_or(""));
    if (major == 0)
        return std::nullopt;
    MachineVersion found = FromTable(kNewPrefixVersion);
    found.major = major;
    found.minor = minor;
    found.build = VersionNumbers(read(HKEY_LOCAL_MACHINE, kNtKey, "CurrentBuildNumber").value_or(""))[0];
    found.csd = read(HKEY_LOCAL_MACHINE, kNtKey, "CSDVersion").value_or("");
    found.name = NameOf(VER_PLATFORM_WIN32_NT, major, minor, found.build);
    return found;
}

std::optional<MachineVersion> FromNineXKey(const StringReader &read)
{
    const auto [major, minor, build] =
        VersionNumbers(read(HKEY_LOCAL_MACHINE, kNineXKey, "VersionNumber").value_or(""));
    if (major == 0)
        return std::nullopt;
    return MachineVersion{NameOf(VER_PLATFORM_WIN32_WINDOWS, major, minor, build),
                          major,
                          minor,
                          build,
                          VER_PLATFORM_WIN32_WINDOWS,
                          read(HKEY_LOCAL_MACHINE, kNineXKey, "SubVersionNumber").value_or(""),
                          0,
                          0,
                          0};
}

// A REG_SZ value of the machine in use, from its cached hives.
std::optional<std::string> StoredString(HKEY root, std::string_view path, std::string_view name)
{
    Hive *hive = Store().Current(root == HKEY_CURRENT_USER ? kUserHive : kSystemHive);
    if (!hive)
        return std::nullopt;
    Key *key = &hive->Root();
    for (size_t start = 0; key && start <= path.size();) {
        const size_t end = std::min(path.find('\\', start), path.size());
        key = Hive::FindChild(*key, path.substr(start, end - start));
        start = end + 1;
    }
    const Value *value = key ? Hive::FindValue(*key, name) : nullptr;
    if (!value)
        return std::nullopt;
    const ValueData data = hive->Read(*value);
    if (data.type != REG_SZ || data.bytes.size() < 2)
        return std::nullopt;
    return Utf16ToUtf8(Utf16LeUnits(data.bytes.data(), data.bytes.size() - 2));
}

} // namespace

MachineVersion ReportedVersionOf(const StringReader &read)
{
    if (auto setting = FromSetting(read))
        return *setting;
    if (auto nt = FromNtKeys(read))
        return *nt;
    if (auto nineX = FromNineXKey(read))
        return *nineX;
    return FromTable(kNewPrefixVersion);
}

MachineVersion ReportedVersionOfMachine()
{
    return ReportedVersionOf(StoredString);
}

} // namespace detail

std::string ReportedWindowsVersion()
{
    return detail::ReportedVersionOfMachine().name;
}

bool IsWindows9xMachine()
{
    return detail::ReportedVersionOfMachine().platform == VER_PLATFORM_WIN32_WINDOWS;
}

} // namespace win
