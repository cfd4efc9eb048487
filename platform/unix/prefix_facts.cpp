#include "prefix_facts.h"

#include "durable_file.h"
#include "hive.h"
#include "unicode.h"
#include "windows_versions.h"
#include "wineserver.h"

#include <algorithm>
#include <array>
#include <climits>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/mman.h>
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

unsigned char Folded(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
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

// Boyer-Moore-Horspool search that ignores the case of ASCII letters, as registry names compare.
class FoldedSearch
{
public:
    explicit FoldedSearch(std::string needle) : needle_(std::move(needle))
    {
        std::ranges::transform(needle_, needle_.begin(), [](char c) { return static_cast<char>(Folded(c)); });
        shift_.fill(needle_.size());
        for (size_t i = 0; i + 1 < needle_.size(); ++i)
            shift_[static_cast<unsigned char>(needle_[i])] = needle_.size() - 1 - i;
    }

    size_t Length() const { return needle_.size(); }

    // Where the needle next occurs in `text` from `from` on; npos when it does not.
    size_t In(std::string_view text, size_t from) const
    {
        const size_t last = needle_.size() - 1;
        for (size_t at = from; at + last < text.size();) {
            const unsigned char end = Folded(text[at + last]);
            if (end == static_cast<unsigned char>(needle_[last]) && Matches(text, at))
                return at;
            at += shift_[end];
        }
        return std::string_view::npos;
    }

private:
    bool Matches(std::string_view text, size_t at) const
    {
        for (size_t i = 0; i < needle_.size(); ++i)
            if (Folded(text[at + i]) != static_cast<unsigned char>(needle_[i]))
                return false;
        return true;
    }

    std::string needle_;
    std::array<size_t, 256> shift_{};
};

// Reads the wanted values of the key's block that starts at `block` (its header line).
void ReadBlock(std::string_view text, size_t block, std::vector<Wanted *> &ofKey)
{
    size_t start = text.find('\n', block);
    while (start != std::string_view::npos && ++start < text.size() && text[start] != '[') {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.starts_with('"'))
            for (Wanted *w : ofKey)
                if (auto data = StringOfValueLine(line, w->value))
                    w->found = std::move(data);
        start = end;
    }
}

// Where `needle` occurs in the text, in any case of letters.
std::vector<size_t> HeadersOf(std::string_view text, const std::string &needle)
{
    std::vector<size_t> found;
    const FoldedSearch search(needle);
    for (size_t at = search.In(text, 0); at != std::string_view::npos; at = search.In(text, at + 1))
        found.push_back(at);
    return found;
}

// The header line at or after `from` ("[path] time" at the start of a line): where its '['
// stands, or npos.
size_t NextHeader(std::string_view text, size_t from)
{
    const size_t newline = text.find("\n[", from == 0 ? 0 : from - 1);
    return newline == std::string_view::npos ? newline : newline + 1;
}

// The key path a header line names, unescaped, with single backslashes between its names.
std::optional<std::string> HeaderPath(std::string_view text, size_t header)
{
    size_t pos = header + 1;
    std::u16string path;
    if (!regtext::Unescape(text.substr(0, text.find('\n', header)), pos, ']', path))
        return std::nullopt;
    return Utf16ToUtf8(path);
}

// Orders key paths as Wine lists its keys: name by name, each as CompareNames orders them, a key
// before the keys below it.
int ComparePaths(std::string_view a, std::string_view b)
{
    for (;;) {
        const size_t endA = a.find('\\');
        const size_t endB = b.find('\\');
        if (const int order = CompareNames(a.substr(0, endA), b.substr(0, endB)); order != 0)
            return order;
        if (endA == std::string_view::npos || endB == std::string_view::npos)
            return (endA == std::string_view::npos ? 0 : 1) - (endB == std::string_view::npos ? 0 : 1);
        a.remove_prefix(endA + 1);
        b.remove_prefix(endB + 1);
    }
}

// The first header, in a file whose keys stand in Wine's order, whose path does not sort before
// `path`: a bisection over the text that reads a few dozen header lines instead of megabytes.
// npos when there is none or a header on the way cannot be read.
size_t FirstHeaderNotBefore(std::string_view text, std::string_view path)
{
    // Every header that starts before `low` sorts before `path`; none at or after `high` does.
    size_t low = 0;
    size_t high = text.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        // Looked for below `high` only, so that a text with few headers is not read over again.
        const size_t header = NextHeader(text.substr(0, high), middle);
        if (header == std::string_view::npos) {
            high = middle;
            continue;
        }
        const std::optional<std::string> name = HeaderPath(text, header);
        if (!name)
            return std::string_view::npos;
        if (ComparePaths(*name, path) < 0)
            low = header + 1;
        else
            high = middle;
    }
    return NextHeader(text, low);
}

// Finds the key's own block by bisection and reads it. Wine and Korvex write keys in order, so
// this finds every key of their files that has a block; false when it finds none, which may be
// a key that is missing, one known only by the keys below it, or a file put together in
// another order: the whole text tells then.
bool FoundInOrder(std::string_view text, std::vector<Wanted *> &ofKey)
{
    size_t pos = 0;
    std::u16string unescaped;
    if (!regtext::Unescape(ofKey.front()->path + ']', pos, ']', unescaped))
        return false;
    const std::string path = Utf16ToUtf8(unescaped);
    const size_t header = FirstHeaderNotBefore(text, path);
    if (header == std::string_view::npos)
        return false;
    const std::optional<std::string> found = HeaderPath(text, header);
    if (!found || ComparePaths(*found, path) != 0)
        return false;
    ReadBlock(text, header, ofKey);
    for (Wanted *w : ofKey)
        w->keySeen = true;
    return true;
}

// Reads the wanted values out of a registry file's text. Only the wanted keys' header lines are
// looked for (a fresh prefix's system.reg is megabytes long), without regard to case: by
// bisection first, then, when that finds nothing, through the whole text, where a key given
// twice keeps the last data, as Wine merges duplicate blocks.
void Scan(std::string_view text, std::vector<Wanted> &wanted)
{
    for (auto key = wanted.begin(); key != wanted.end(); ++key) {
        const auto samePath = [&](const Wanted &w) { return w.path == key->path; };
        if (std::any_of(wanted.begin(), key, samePath))
            continue; // looked for with an earlier value of the same key
        std::vector<Wanted *> ofKey;
        for (Wanted &w : wanted)
            if (samePath(w))
                ofKey.push_back(&w);
        if (FoundInOrder(text, ofKey))
            continue;
        const std::string needle = "\n[" + key->path;
        bool seen = false;
        for (const size_t at : HeadersOf(text, needle)) {
            const std::string_view rest = text.substr(at + needle.size());
            if (rest.starts_with(']'))
                ReadBlock(text, at + 1, ofKey);
            seen = seen || rest.starts_with(']') || rest.starts_with("\\\\");
        }
        for (Wanted *w : ofKey)
            w->keySeen = seen;
    }
}

// The file's text, mapped for reading: a prefix's registry is read, never loaded whole.
class MappedFile
{
public:
    explicit MappedFile(const std::string &path)
    {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st {
        };
        if (fstat(fd, &st) == 0 && st.st_size > 0) {
            void *data = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (data != MAP_FAILED)
                text_ = std::string_view(static_cast<const char *>(data), static_cast<size_t>(st.st_size));
        }
        close(fd);
    }
    ~MappedFile()
    {
        if (!text_.empty())
            munmap(const_cast<char *>(text_.data()), text_.size());
    }
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    std::string_view Text() const { return text_; }

private:
    std::string_view text_;
};

std::vector<Wanted> ScanFile(const std::string &path, std::vector<Wanted> wanted)
{
    const MappedFile file(path);
    if (file.Text().starts_with("WINE REGISTRY Version 2"))
        Scan(file.Text(), wanted);
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
    const std::string file = folder + "/system.reg";
    const std::vector<Wanted> nt = ScanFile(file, {{kNtKey, "CurrentVersion", {}, false},
                                                   {kNtKey, "CurrentBuild", {}, false},
                                                   {kNtKey, "CurrentBuildNumber", {}, false}});
    if (nt[0].keySeen) {
        const auto [major, minor, unused] = VersionNumbers(nt[0].found.value_or(""));
        const std::string &build = nt[1].found ? *nt[1].found : nt[2].found.value_or("");
        if (const VersionInfo *v = VersionByNumber(VER_PLATFORM_WIN32_NT, major, minor, VersionNumbers(build)[0]))
            return From(*v);
        return {"win7", true};
    }
    const std::vector<Wanted> nineX =
        ScanFile(file, {{"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion", "VersionNumber", {}, false}});
    if (nineX[0].found) {
        const auto [major, minor, build] = VersionNumbers(*nineX[0].found);
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
