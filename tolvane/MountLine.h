// The auto-mount list's line rule: what one line of Tolvane.ini means and the subst command line
// it becomes. Tolvane (the program for Wine and Windows NT, and the one for Windows 95/98/ME,
// which has no C or C++ runtime) and the auto-mount page all read the list through it, so what
// the page shows is what Tolvane mounts. Header-only and constexpr over string_view: nothing
// here calls a runtime function.
#pragma once

#include <cstddef>
#include <string_view>

namespace MountLine
{

// One entry of the list: a line is one whole field, the drive ("E:") and directly after it the
// folder ("C:\GAMES", a comma included). Empty views when the line is no entry.
struct Entry {
    std::string_view drive;
    std::string_view folder;

    constexpr explicit operator bool() const { return !drive.empty(); }
};

inline constexpr std::size_t kDriveLength = 2;
// The longest folder text in bytes: MAX_PATH characters less the terminating NUL, each up to three
// bytes in UTF-8 (the text of Korvex and the native Tolvane). A longer text is no path Windows can
// name; the bound sizes the command line buffer.
inline constexpr std::size_t kMaxFolderLength = std::size_t{3} * 259;
inline constexpr std::string_view kCommandStart = "subst ";
// The longest command line with its NUL: subst, the drive, a blank, the folder in quotes.
inline constexpr std::size_t kCommandCapacity = kCommandStart.size() + kDriveLength + 3 + kMaxFolderLength + 1;

namespace detail
{

// `count` characters of `text` from `start`, both within it (no bounds exception to link).
constexpr std::string_view Slice(std::string_view text, std::size_t start, std::size_t count)
{
    return {text.data() + start, count};
}

constexpr bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool IsDrive(std::string_view text)
{
    return text.size() == kDriveLength && IsLetter(text[0]) && text[1] == ':';
}

// Control characters and the characters no Windows file name holds. '"' would end the quoted
// folder early and '/' starts a switch (subst's "/D" removes a drive): either lets a line turn
// its command into something else.
constexpr bool IsForbidden(char c)
{
    constexpr std::string_view forbidden = "\"<>|*?/";
    if (static_cast<unsigned char>(c) < 0x20)
        return true;
    for (const char f : forbidden)
        if (c == f)
            return true;
    return false;
}

// Where the path component starting at `start` ends: the next backslash or the end.
constexpr std::size_t ComponentEnd(std::string_view path, std::size_t start)
{
    while (start < path.size() && path[start] != '\\')
        ++start;
    return start;
}

// "\\server\share", optionally followed by "\folder...": both names present.
constexpr bool IsNetworkPath(std::string_view path)
{
    if (path.size() < 2 || path[0] != '\\' || path[1] != '\\')
        return false;
    const std::size_t serverEnd = ComponentEnd(path, 2);
    if (serverEnd == 2 || serverEnd == path.size())
        return false;
    return ComponentEnd(path, serverEnd + 1) > serverEnd + 1;
}

// "X:" (the drive as it stands) or "X:\..." (a folder from the drive's root).
constexpr bool IsDrivePath(std::string_view path)
{
    return path.size() >= kDriveLength && IsDrive(Slice(path, 0, kDriveLength)) &&
           (path.size() == kDriveLength || path[kDriveLength] == '\\');
}

} // namespace detail

// True for a folder subst can take as it stands: a path from a drive or a network share, of a
// length Windows can name, without characters that cannot be in a path. A relative path
// would depend on Tolvane's working folder at log-on, and anything else is no folder at all.
constexpr bool IsFolderPath(std::string_view folder)
{
    if (folder.size() > kMaxFolderLength)
        return false;
    for (const char c : folder)
        if (detail::IsForbidden(c))
            return false;
    return detail::IsDrivePath(folder) || detail::IsNetworkPath(folder);
}

// The entry one line of the list holds (the line without its line end), as views into `line`; no
// entry for a line without a drive letter and colon in front or whose folder is no path (see
// IsFolderPath).
constexpr Entry ParseLine(std::string_view line)
{
    if (line.size() < kDriveLength)
        return {};
    const std::string_view drive = detail::Slice(line, 0, kDriveLength);
    const std::string_view folder = detail::Slice(line, kDriveLength, line.size() - kDriveLength);
    if (!detail::IsDrive(drive) || !IsFolderPath(folder))
        return {};
    return {drive, folder};
}

// Writes the entry's command line, `subst E: "C:\GAMES"`, and a NUL into `out`, which has room
// for kCommandCapacity characters; returns its length without the NUL.
constexpr std::size_t WriteCommand(const Entry &entry, char *out)
{
    std::size_t length = 0;
    const auto append = [&](std::string_view text) {
        for (const char c : text)
            out[length++] = c;
    };
    append(kCommandStart);
    append(entry.drive);
    append(" \"");
    append(entry.folder);
    append("\"");
    out[length] = '\0';
    return length;
}

} // namespace MountLine
