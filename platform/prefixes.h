// The Wine prefixes a user has, found where the usual tools keep them, so that the user can pick
// the machine to work on.
//
// Finding them only looks: nothing is created, changed or locked, no wineserver is started, and
// no folder is searched deeper than the tool that made the prefixes puts them. On Windows there
// are no prefixes: the machine is the running system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace win
{

// Where a prefix was found, in the order the places are searched.
enum class PrefixSource {
    WinePrefixVariable, // the folder WINEPREFIX names
    DefaultWine,        // ~/.wine
    Korvex,             // Korvex's own machine folder
    Winetricks,         // $XDG_DATA_HOME/wineprefixes/*
    Bottles,            // Bottles' bottles, native or from Flatpak
    Lutris,             // a Lutris game's prefix
    Heroic,             // a Heroic game's prefix
    Steam,              // a Proton prefix of a Steam game (steamapps/compatdata/<id>/pfx)
    PlayOnLinux,        // ~/.PlayOnLinux/wineprefix/*
};

struct WinePrefix {
    std::string folder; // the host path it was found under (absolute)
    std::string name;   // a short name: the folder's, or the game's where one is known
    PrefixSource source = PrefixSource::DefaultWine;
    std::string windowsVersion;  // Wine's name of the version it reports ("win98", "win10", ...)
    bool windowsNT = true;       // the version is of the NT platform
    bool serverRunning = false;  // a wineserver (so a Wine program) is running on it
    std::int64_t lastChange = 0; // newest change of its registry files, Unix seconds
};

// True when the folder holds a Wine prefix: "system.reg", "user.reg" and "drive_c".
bool IsWinePrefix(const std::string &folder);

// Every prefix found, each folder once (under the first place that finds it), in the order of
// PrefixSource and within one place by name. The places follow the environment: HOME,
// XDG_DATA_HOME, XDG_CONFIG_HOME and WINEPREFIX.
std::vector<WinePrefix> FindWinePrefixes();

// The facts of one folder known to be a prefix, as FindWinePrefixes gives them, with `source`
// and `name` as given.
WinePrefix DescribeWinePrefix(const std::string &folder, PrefixSource source, const std::string &name);

} // namespace win
