// What the machine reports about itself, read the way Wine reads it.
#include "machine.h"
#include "unix/machine_store.h"
#include "unix/unicode.h"

#include <array>
#include <climits>
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
    std::u16string units(data.bytes.size() / 2 - 1, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data.bytes[2 * i] | (data.bytes[2 * i + 1] << 8));
    return detail::Utf16ToUtf8(units);
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

// Wine accepts these names exactly as spelled; any other setting is passed over.
bool IsVersionName(const std::string &name)
{
    static const std::array<const char *, 28> kNames = {
        "win20",     "win30",    "win31", "win95",   "win98",   "winme",  "nt351", "nt40",     "win2000", "win2k",
        "nt2k",      "nt2000",   "winxp", "winxp64", "win2003", "win2k3", "vista", "winvista", "win2008", "win2k8",
        "win2008r2", "win2k8r2", "win7",  "win8",    "win81",   "win10",  "win11", "win11"};
    for (const char *known : kNames)
        if (name == known)
            return true;
    return false;
}

} // namespace

std::string ReportedWindowsVersion()
{
    const std::string &program = ProgramName();
    for (auto v : {StringValue(detail::kUserHive, {"Software", "Wine", "AppDefaults", program.c_str()}, "Version"),
                   StringValue(detail::kUserHive, {"Software", "Wine"}, "Version")})
        if (v && IsVersionName(*v))
            return *v;
    return {};
}

bool IsWindows9xMachine()
{
    const std::string version = ReportedWindowsVersion();
    if (!version.empty())
        return version == "win95" || version == "win98" || version == "winme";
    // Without a Wine setting, a machine without the NT keys that names a 9x version number.
    return !KeyExists(detail::kSystemHive, {"Software", "Microsoft", "Windows NT", "CurrentVersion"}) &&
           StringValue(detail::kSystemHive, {"Software", "Microsoft", "Windows", "CurrentVersion"}, "VersionNumber")
               .has_value();
}

} // namespace win
