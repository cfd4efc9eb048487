// What the machine reports about itself, read the way Wine reads it.
#include "machine.h"
#include "machine_store.h"
#include "unicode.h"
#include "windows_versions.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace win
{

namespace
{

using detail::Hive;
using detail::Key;

std::optional<std::string> StringValue(int hiveIndex, std::initializer_list<const char *> path, const char *name)
{
    Hive *hive = detail::Store().Current(hiveIndex);
    if (!hive)
        return std::nullopt;
    Key *key = &hive->Root();
    for (const char *part : path)
        if (!(key = Hive::FindChild(*key, part)))
            return std::nullopt;
    const detail::Value *value = Hive::FindValue(*key, name);
    if (!value)
        return std::nullopt;
    const detail::ValueData data = hive->Read(*value);
    if (data.type != 1 || data.bytes.size() < 2)
        return std::nullopt;
    return detail::Utf16ToUtf8(detail::Utf16LeUnits(data.bytes.data(), data.bytes.size() - 2));
}

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

bool KeyExists(int hiveIndex, std::initializer_list<const char *> path)
{
    Hive *hive = detail::Store().Current(hiveIndex);
    Key *key = hive ? &hive->Root() : nullptr;
    for (const char *part : path)
        if (!key || !(key = Hive::FindChild(*key, part)))
            return false;
    return key != nullptr;
}

} // namespace

namespace detail
{

std::optional<RegistryVersion> VersionOfNtKeys()
{
    const auto value = [](const char *name) {
        return StringValue(kSystemHive, {"Software", "Microsoft", "Windows NT", "CurrentVersion"}, name);
    };
    const std::optional<std::string> version = value("CurrentVersion");
    RegistryVersion found{0, 0, 0, value("CSDVersion").value_or("")};
    if (!version || std::sscanf(version->c_str(), "%u.%u", &found.major, &found.minor) < 1)
        return std::nullopt;
    std::sscanf(value("CurrentBuildNumber").value_or("").c_str(), "%u", &found.build);
    return found;
}

} // namespace detail

std::string ReportedWindowsVersion()
{
    const std::string &program = ProgramName();
    for (auto v : {StringValue(detail::kUserHive, {"Software", "Wine", "AppDefaults", program.c_str()}, "Version"),
                   StringValue(detail::kUserHive, {"Software", "Wine"}, "Version")})
        if (v && detail::FindWindowsVersion(*v))
            return *v;
    return {};
}

bool IsWindows9xMachine()
{
    const std::string version = ReportedWindowsVersion();
    if (const detail::VersionInfo *known = detail::FindWindowsVersion(version))
        return known->platform == VER_PLATFORM_WIN32_WINDOWS;
    // Without a Wine setting, a machine without the NT keys that names a 9x version number.
    return !KeyExists(detail::kSystemHive, {"Software", "Microsoft", "Windows NT", "CurrentVersion"}) &&
           StringValue(detail::kSystemHive, {"Software", "Microsoft", "Windows", "CurrentVersion"}, "VersionNumber")
               .has_value();
}

} // namespace win
