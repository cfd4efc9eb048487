// The two registry views of a 64-bit Wine prefix: what a 32-bit program sees of
// HKEY_LOCAL_MACHINE\Software (and of HKEY_CLASSES_ROOT, which lives there).
//
// Wine 8 keeps the 32-bit view in `Wow6432Node` keys. A 32-bit program's path turns into a key's
// `Wow6432Node` child wherever the key is one of the redirected keys below and has that child;
// a name that is itself "Wow6432Node" is looked up as it is. Shared keys are not special to the
// walk: `wineboot` makes them link keys inside `Wow6432Node` that lead back to the 64-bit key,
// and a path follows links as always. A machine without a `Wow6432Node` (a 32-bit prefix,
// Korvex's own machine folder, a disk image) has one view.
//
// Each row was checked against Wine 8.0 on a prefix made by `wine64 wineboot --init`:
// `wine64 reg add <key> /reg:32` and where the value landed in system.reg, and
// `wine64 reg query <key> /reg:32` and `/reg:64`.
#pragma once

#include <array>
#include <string_view>

namespace win::detail
{

constexpr std::string_view kWow64Node = "Wow6432Node";

enum class ViewKind : unsigned char {
    Redirected, // the 32-bit view is the key's own `Wow6432Node` child (or a key below it)
    Shared,     // both views reach the same key, through a link inside `Wow6432Node`
};

struct ViewRow {
    std::string_view key; // below HKEY_LOCAL_MACHINE
    ViewKind kind;
    bool branches; // the walk turns into the `Wow6432Node` child here
};

constexpr std::array kWow64Keys{
    // `reg add HKLM\Software\KvxA /reg:32` lands in Software\Wow6432Node\KvxA; `reg query
    // HKLM\Software /reg:32` lists the subkeys of Software\Wow6432Node; an explicit
    // Software\Wow6432Node\KvxB lands there, not in a second Wow6432Node.
    ViewRow{"Software", ViewKind::Redirected, true},
    // Every class key is redirected in Wine 8 (Windows 7 shares file types, Wine does not):
    // HKCR\.kvx, HKCR\kvxfile\DefaultIcon, HKCR\lnkfile, HKCR\*\shell\kvx, HKCR\Directory\shell\kvx,
    // HKCR\CLSID\{...} and HKLM\Software\Classes\.kvy all land in Software\Classes\Wow6432Node.
    // Software\Wow6432Node\Classes is a link to it; HKCR\Wow6432Node\.kvq lands in
    // Software\Classes\Wow6432Node\Wow6432Node.
    ViewRow{"Software\\Classes", ViewKind::Redirected, true},
    // The key families of the pages, each a `reg add /reg:32` that landed in Software\Wow6432Node:
    ViewRow{"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", ViewKind::Redirected, false},
    ViewRow{"Software\\Microsoft\\Windows\\CurrentVersion\\Run", ViewKind::Redirected, false},
    ViewRow{"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons", ViewKind::Redirected, false},
    ViewRow{"Software\\Microsoft\\Internet Explorer\\Main\\UrlTemplate", ViewKind::Redirected, false},
    ViewRow{"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", ViewKind::Redirected, false},
    ViewRow{"Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon", ViewKind::Redirected, false},
    ViewRow{"Software\\Halvorn\\Korvex", ViewKind::Redirected, false},
    // `reg add ...\Explorer\DriveIcons\C\DefaultIcon /reg:32` landed in the 64-bit key, through
    // the link Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Explorer\DriveIcons. The
    // prefix links these the same way (read from a fresh prefix's system.reg):
    ViewRow{"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons", ViewKind::Shared, false},
    ViewRow{"Software\\Microsoft\\Windows\\CurrentVersion\\Policies", ViewKind::Shared, false},
    ViewRow{"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths", ViewKind::Shared, false},
    ViewRow{"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", ViewKind::Shared, false},
    ViewRow{"Software\\Policies", ViewKind::Shared, false},
};

} // namespace win::detail
