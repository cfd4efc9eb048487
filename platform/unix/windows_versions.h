// The Windows versions a Wine prefix can be set to report.
#pragma once

#include "win32.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace win::detail
{

struct VersionInfo {
    const char *name;
    DWORD major, minor, build, platform;
    const char *csd; // szCSDVersion
    WORD servicePack;
    WORD suite;
    BYTE product;
};

inline constexpr WORD kTs = VER_SUITE_SINGLEUSERTS;
inline constexpr BYTE kWs = VER_NT_WORKSTATION;
inline constexpr BYTE kSrv = VER_NT_SERVER;

// Wine's version names, exactly as it accepts them (case-sensitive), with what it reports for
// each.
inline constexpr VersionInfo kWindowsVersions[] = {
    {"win20", 2, 0, 0, 0, "Win32s 1.3", 0, 0, 0},
    {"win30", 3, 0, 0, 0, "Win32s 1.3", 0, 0, 0},
    {"win31", 3, 10, 0, 0, "Win32s 1.3", 0, 0, 0},
    {"win95", 4, 0, 950, 1, "", 0, 0, 0},
    {"win98", 4, 10, 2222, 1, " A ", 0, 0, 0},
    {"winme", 4, 90, 3000, 1, " ", 0, 0, 0},
    {"nt351", 3, 51, 1057, 2, "Service Pack 5", 5, 0, kWs},
    {"nt40", 4, 0, 1381, 2, "Service Pack 6a", 6, 0, kWs},
    {"win2000", 5, 0, 2195, 2, "Service Pack 4", 4, 0, kWs},
    {"win2k", 5, 0, 2195, 2, "Service Pack 4", 4, 0, kWs},
    {"nt2k", 5, 0, 2195, 2, "Service Pack 4", 4, 0, kWs},
    {"nt2000", 5, 0, 2195, 2, "Service Pack 4", 4, 0, kWs},
    {"winxp", 5, 1, 2600, 2, "Service Pack 3", 3, kTs, kWs},
    {"winxp64", 5, 2, 3790, 2, "Service Pack 2", 2, kTs, kWs},
    {"win2003", 5, 2, 3790, 2, "Service Pack 2", 2, kTs, kSrv},
    {"win2k3", 5, 2, 3790, 2, "Service Pack 2", 2, kTs, kSrv},
    {"vista", 6, 0, 6002, 2, "Service Pack 2", 2, kTs, kWs},
    {"winvista", 6, 0, 6002, 2, "Service Pack 2", 2, kTs, kWs},
    {"win2008", 6, 0, 6002, 2, "Service Pack 2", 2, kTs, kSrv},
    {"win2k8", 6, 0, 6002, 2, "Service Pack 2", 2, kTs, kSrv},
    // Wine 8.0 swaps the product types of these two; the server is the server here.
    {"win2008r2", 6, 1, 7601, 2, "Service Pack 1", 1, kTs, kSrv},
    {"win2k8r2", 6, 1, 7601, 2, "Service Pack 1", 1, kTs, kSrv},
    {"win7", 6, 1, 7601, 2, "Service Pack 1", 1, kTs, kWs},
    {"win8", 6, 2, 9200, 2, "", 0, kTs, kWs},
    {"win81", 6, 3, 9600, 2, "", 0, kTs, kWs},
    {"win10", 10, 0, 19043, 2, "", 0, kTs, kWs},
    {"win11", 10, 0, 22000, 2, "", 0, kTs, kWs},
};

// A prefix that names no version: what Wine 8.0 reports for a new prefix.
inline constexpr VersionInfo kNewPrefixVersion = {"win7", 6, 1, 7601, 2, "Service Pack 1", 1, 0, kWs};

// The version a machine reports to its programs, with Wine's name for it.
struct MachineVersion {
    std::string name; // Wine's name ("winme"); the numbers ("4.50") where Wine has no name for them
    DWORD major = 0, minor = 0, build = 0, platform = 0;
    std::string csd; // szCSDVersion
    WORD servicePack = 0;
    WORD suite = 0;
    BYTE product = 0;
};

// Reads a REG_SZ value of a machine: the root (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE), the key
// path with single backslashes, the value's name. Nothing when the value is missing or of
// another type.
using StringReader = std::function<std::optional<std::string>(HKEY root, std::string_view path, std::string_view name)>;

// The version Wine 8.0 reports to this program on a machine whose registry `read` reads, looked
// up in Wine's order:
// 1. HKCU\Software\Wine\AppDefaults\<this program>.exe "Version", then HKCU\Software\Wine
//    "Version": one of Wine's version names, exactly.
// 2. HKLM\Software\Microsoft\Windows NT\CurrentVersion "CurrentVersion" ("5.1"), when its major
//    number is not 0, with "CurrentBuildNumber" as the build ("CurrentBuild" is not read) and
//    "CSDVersion"; service pack and product as a new prefix's.
// 3. HKLM\Software\Microsoft\Windows\CurrentVersion "VersionNumber" ("4.90.3000"), when its
//    major number is not 0, with "SubVersionNumber" as the CSD text: the 9x platform.
// 4. What a new prefix reports, Windows 7 SP1.
MachineVersion ReportedVersionOf(const StringReader &read);

// The same for the machine in use.
MachineVersion ReportedVersionOfMachine();

// The version of that exact name; null for a name Wine does not know.
constexpr const VersionInfo *FindWindowsVersion(std::string_view name)
{
    for (const VersionInfo &version : kWindowsVersions)
        if (name == version.name)
            return &version;
    return nullptr;
}

} // namespace win::detail
