// Where the usual tools keep Wine prefixes. Each place is looked at one level deep, the way its
// tool lays prefixes out; the few small files that name more places (Steam's library list,
// Lutris' and Heroic's game settings) are read, nothing is written.
#include "prefix_facts.h"

#include "durable_file.h"
#include "wineserver.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <set>
#include <string_view>
#include <sys/stat.h>

namespace win
{

namespace
{

struct Found {
    std::string folder;
    std::string name;
};

std::string Environment(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? value : "";
}

std::string Home()
{
    const std::string home = Environment("HOME");
    return home.empty() ? "." : home;
}

std::string DataHome()
{
    const std::string data = Environment("XDG_DATA_HOME");
    return data.empty() ? Home() + "/.local/share" : data;
}

std::string ConfigHome()
{
    const std::string config = Environment("XDG_CONFIG_HOME");
    return config.empty() ? Home() + "/.config" : config;
}

std::string LastComponent(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return std::string(path.substr(path.rfind('/') + 1));
}

// The names in a folder ("." and ".." left out), sorted; none when it cannot be read.
std::vector<std::string> EntriesOf(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent *entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    closedir(dir);
    std::ranges::sort(names);
    return names;
}

// The lines of a small text file; none when it cannot be read.
std::vector<std::string_view> LinesOf(const std::string &text)
{
    std::vector<std::string_view> lines;
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        lines.push_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return lines;
}

// The quoted text that follows `key` on a line (`"key"  "value"` in Steam's files, `"key": "value"`
// in JSON), its backslash escapes undone.
std::string QuotedAfter(std::string_view line, std::string_view key)
{
    const size_t at = line.find(key);
    if (at == std::string_view::npos)
        return {};
    const size_t open = line.find('"', at + key.size());
    if (open == std::string_view::npos)
        return {};
    std::string value;
    for (size_t i = open + 1; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        value += line[i];
    }
    return value;
}

// The text after `key:` at the start of a YAML line (blanks before the key allowed).
std::string YamlValue(std::string_view line, std::string_view key)
{
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line.substr(start).rfind(key, 0) != 0)
        return {};
    std::string_view value = line.substr(start + key.size());
    if (!value.starts_with(':'))
        return {};
    value.remove_prefix(1);
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    value = value.substr(first);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\r'))
        value.remove_suffix(1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// A path from a tool's settings, with a leading "~/" meaning the home folder.
std::string ExpandedPath(std::string path)
{
    return path.starts_with("~/") ? Home() + path.substr(1) : path;
}

// Every prefix directly inside `folder`, named after its folder.
void PrefixesInside(const std::string &folder, std::vector<Found> &found)
{
    for (const std::string &entry : EntriesOf(folder)) {
        const std::string path = folder + "/" + entry;
        if (IsWinePrefix(path))
            found.push_back({path, entry});
    }
}

void AddWhenPrefix(const std::string &folder, const std::string &name, std::vector<Found> &found)
{
    if (!folder.empty() && IsWinePrefix(folder))
        found.push_back({folder, name});
}

// Bottles names a bottle in its bottle.yml; the folder's name otherwise.
void Bottles(std::vector<Found> &found)
{
    const std::string flatpak = Home() + "/.var/app/com.usebottles.bottles/data/bottles/bottles";
    for (const std::string &place : {DataHome() + "/bottles/bottles", flatpak}) {
        std::vector<Found> bottles;
        PrefixesInside(place, bottles);
        for (Found &bottle : bottles) {
            std::string text;
            if (detail::ReadWholeFile(bottle.folder + "/bottle.yml", text))
                for (const std::string_view line : LinesOf(text))
                    if (!line.starts_with(' ')) // the top level only
                        if (std::string name = YamlValue(line, "Name"); !name.empty()) {
                            bottle.name = std::move(name);
                            break;
                        }
            found.push_back(std::move(bottle));
        }
    }
}

// Lutris' game settings name each game's prefix; its default game folder is ~/Games.
void Lutris(std::vector<Found> &found)
{
    std::vector<std::string> prefixes;
    for (const std::string &games : {ConfigHome() + "/lutris/games", DataHome() + "/lutris/games"})
        for (const std::string &entry : EntriesOf(games)) {
            std::string text;
            if (!entry.ends_with(".yml") || !detail::ReadWholeFile(games + "/" + entry, text))
                continue;
            for (const std::string_view line : LinesOf(text))
                if (std::string prefix = YamlValue(line, "prefix"); !prefix.empty())
                    prefixes.push_back(std::move(prefix));
        }
    for (const std::string &prefix : prefixes)
        AddWhenPrefix(ExpandedPath(prefix), LastComponent(prefix), found);
    PrefixesInside(Home() + "/Games", found);
}

// Heroic keeps prefixes under ~/Games/Heroic/Prefixes (newer versions one level further, in
// "default"), and its game settings may name others.
void Heroic(std::vector<Found> &found)
{
    const std::string prefixes = Home() + "/Games/Heroic/Prefixes";
    PrefixesInside(prefixes, found);
    PrefixesInside(prefixes + "/default", found);
    const std::string flatpak = Home() + "/.var/app/com.heroicgameslauncher.hgl/config/heroic/GamesConfig";
    for (const std::string &settings : {ConfigHome() + "/heroic/GamesConfig", flatpak})
        for (const std::string &entry : EntriesOf(settings)) {
            std::string text;
            if (!entry.ends_with(".json") || !detail::ReadWholeFile(settings + "/" + entry, text))
                continue;
            for (const std::string_view line : LinesOf(text))
                if (std::string prefix = ExpandedPath(QuotedAfter(line, "\"winePrefix\"")); !prefix.empty())
                    AddWhenPrefix(prefix, LastComponent(prefix), found);
        }
}

// The library a line of libraryfolders.vdf names: `"path"  "/games/SteamLibrary"`, or in the
// older form `"1"  "/games/SteamLibrary"`.
std::string LibraryPathOf(std::string_view line)
{
    if (std::string path = QuotedAfter(line, "\"path\""); !path.empty())
        return path;
    const size_t open = line.find('"');
    const size_t close = open == std::string_view::npos ? open : line.find('"', open + 1);
    if (close == std::string_view::npos || close == open + 1)
        return {};
    const std::string_view key = line.substr(open + 1, close - open - 1);
    if (key.find_first_not_of("0123456789") != std::string_view::npos)
        return {};
    std::string path = QuotedAfter(line.substr(close + 1), "");
    return path.starts_with('/') ? path : std::string();
}

// The Steam libraries: each Steam installation and the folders its libraryfolders.vdf lists,
// each once.
std::vector<std::string> SteamLibraries()
{
    const std::string home = Home();
    std::vector<std::string> libraries;
    std::set<std::string> seen;
    const auto add = [&](const std::string &library) {
        struct stat st {
        };
        if (stat(library.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && seen.insert(detail::ResolvedPath(library)).second)
            libraries.push_back(library);
    };
    for (const std::string &root : {home + "/.steam/steam", home + "/.steam/root", DataHome() + "/Steam",
                                    home + "/.var/app/com.valvesoftware.Steam/.local/share/Steam",
                                    home + "/.var/app/com.valvesoftware.Steam/data/Steam"}) {
        std::string text;
        if (!detail::ReadWholeFile(root + "/steamapps/libraryfolders.vdf", text))
            continue;
        add(root);
        for (const std::string_view line : LinesOf(text))
            if (std::string path = LibraryPathOf(line); !path.empty())
                add(path);
    }
    return libraries;
}

// The game's name in the library's app manifest; its app ID otherwise.
std::string SteamGameName(const std::string &library, const std::string &appId)
{
    std::string text;
    if (detail::ReadWholeFile(library + "/steamapps/appmanifest_" + appId + ".acf", text))
        for (const std::string_view line : LinesOf(text))
            if (std::string name = QuotedAfter(line, "\"name\""); !name.empty())
                return name;
    return appId;
}

void Steam(std::vector<Found> &found)
{
    for (const std::string &library : SteamLibraries()) {
        const std::string compatdata = library + "/steamapps/compatdata";
        for (const std::string &appId : EntriesOf(compatdata))
            AddWhenPrefix(compatdata + "/" + appId + "/pfx", SteamGameName(library, appId), found);
    }
}

// The places in the order of PrefixSource.
std::vector<std::pair<PrefixSource, std::vector<Found>>> Places()
{
    std::vector<std::pair<PrefixSource, std::vector<Found>>> places;
    places.reserve(16);
    const auto place = [&](PrefixSource source) -> std::vector<Found> & {
        return places.emplace_back(source, std::vector<Found>()).second;
    };
    const std::string variable = Environment("WINEPREFIX");
    AddWhenPrefix(variable, LastComponent(variable), place(PrefixSource::WinePrefixVariable));
    AddWhenPrefix(Home() + "/.wine", ".wine", place(PrefixSource::DefaultWine));
    AddWhenPrefix(DataHome() + "/korvex/machine", "Korvex", place(PrefixSource::Korvex));
    PrefixesInside(DataHome() + "/wineprefixes", place(PrefixSource::Winetricks));
    Bottles(place(PrefixSource::Bottles));
    Lutris(place(PrefixSource::Lutris));
    Heroic(place(PrefixSource::Heroic));
    Steam(place(PrefixSource::Steam));
    PrefixesInside(Home() + "/.PlayOnLinux/wineprefix", place(PrefixSource::PlayOnLinux));
    return places;
}

} // namespace

std::vector<WinePrefix> FindWinePrefixes()
{
    const std::vector<std::string> serverFolders = detail::FoldersHeldByWineServers();
    std::vector<WinePrefix> prefixes;
    std::set<std::string> seen;
    for (auto &[source, found] : Places()) {
        std::ranges::stable_sort(found, {}, &Found::name);
        for (const Found &prefix : found)
            if (seen.insert(detail::ResolvedPath(prefix.folder)).second)
                prefixes.push_back(detail::Describe(prefix.folder, source, prefix.name, serverFolders));
    }
    return prefixes;
}

} // namespace win
