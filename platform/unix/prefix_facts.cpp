#include "prefix_facts.h"

#include "durable_file.h"
#include "hive.h"
#include "unicode.h"
#include "windows_versions.h"
#include "wineserver.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <map>
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

unsigned char Folded(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
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

// A value line of a key's block: the value's name and its whole text.
struct ValueText {
    std::string name;
    std::string_view text;
};

// The value lines of the block whose key line starts at `header`, read as the hive reads them.
void ReadBlock(std::string_view text, size_t header, std::vector<ValueText> &values)
{
    regtext::LineReader reader(text, header);
    regtext::Line line;
    reader.Next(line); // the key line itself
    while (reader.Next(line)) {
        const regtext::LineKind kind = regtext::KindOf(text, line);
        if (kind == regtext::LineKind::Key)
            return;
        std::string name;
        size_t end = 0;
        if (kind == regtext::LineKind::Value && regtext::ReadValueLine(text, line, reader, name, end))
            values.push_back({std::move(name), text.substr(line.begin, end - line.begin)});
    }
}

// The key path of the key line that starts at `header`; nothing when it is not one.
std::optional<std::string> KeyPathAt(std::string_view text, size_t header)
{
    regtext::LineReader reader(text, header);
    regtext::Line line;
    std::string path;
    size_t after = 0;
    if (!reader.Next(line) || regtext::KindOf(text, line) != regtext::LineKind::Key ||
        !regtext::ReadKeyPath(text, line, path, after))
        return std::nullopt;
    return path;
}

// The header line at or after `from` ("[path] time" at the start of a line): where its '['
// stands, or npos.
size_t NextHeader(std::string_view text, size_t from)
{
    const size_t newline = text.find("\n[", from == 0 ? 0 : from - 1);
    return newline == std::string_view::npos ? newline : newline + 1;
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
        const std::optional<std::string> name = KeyPathAt(text, header);
        if (!name)
            return std::string_view::npos;
        if (ComparePaths(*name, path) < 0)
            low = header + 1;
        else
            high = middle;
    }
    return NextHeader(text, low);
}

// The key path as the file spells it in its key lines: names escaped, joined by "\\".
std::string EscapedPath(std::string_view path)
{
    std::string escaped;
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find('\\', start), path.size());
        if (!escaped.empty())
            escaped += "\\\\";
        regtext::Escape(Utf8ToUtf16(path.substr(start, end - start)), "[]", escaped);
        start = end + 1;
    }
    return escaped;
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

// One registry file of a prefix, read only where a value is asked for: a prefix's system.reg is
// megabytes long, and finding the prefixes must not parse it whole.
class RegistryText
{
public:
    explicit RegistryText(const std::string &path)
        : file_(path), text_(file_.Text().starts_with("WINE REGISTRY Version 2") ? file_.Text() : std::string_view())
    {
    }

    // A REG_SZ value, as Wine reads it: of a name given twice, the last data.
    std::optional<std::string> String(std::string_view path, std::string_view name)
    {
        const std::vector<ValueText> &values = ValuesOf(path);
        const auto last = std::find_if(values.rbegin(), values.rend(),
                                       [&](const ValueText &value) { return SameName(value.name, name); });
        if (last == values.rend())
            return std::nullopt;
        const ValueData data = regtext::ParseValueText(last->text);
        if (data.type != REG_SZ || data.bytes.size() < 2)
            return std::nullopt;
        return Utf16ToUtf8(Utf16LeUnits(data.bytes.data(), data.bytes.size() - 2));
    }

private:
    // The value lines of the key, read once for all its values.
    const std::vector<ValueText> &ValuesOf(std::string_view path)
    {
        auto known = keys_.find(path);
        if (known == keys_.end())
            known = keys_.emplace(std::string(path), FindValues(path)).first;
        return known->second;
    }

    // Wine and Korvex write keys in order, so bisection finds every key of their files that has
    // a block. When it finds none (a missing key, one known only by the keys below it, or a file
    // put together in another order) the key lines are searched for through the whole text,
    // where blocks of one key given twice merge, as Wine merges them.
    std::vector<ValueText> FindValues(std::string_view path) const
    {
        std::vector<ValueText> values;
        const size_t header = FirstHeaderNotBefore(text_, path);
        if (const auto found = header == std::string_view::npos ? std::nullopt : KeyPathAt(text_, header);
            found && ComparePaths(*found, path) == 0) {
            ReadBlock(text_, header, values);
            return values;
        }
        const FoldedSearch search("\n[" + EscapedPath(path));
        for (size_t at = search.In(text_, 0); at != std::string_view::npos; at = search.In(text_, at + 1))
            if (const auto found = KeyPathAt(text_, at + 1); found && ComparePaths(*found, path) == 0)
                ReadBlock(text_, at + 1, values);
        return values;
    }

    const MappedFile file_;
    std::string_view text_;
    std::map<std::string, std::vector<ValueText>, std::less<>> keys_;
};

// The version the prefix reports to Wine programs, its files read only where the rule asks.
MachineVersion VersionOfPrefix(const std::string &folder)
{
    std::optional<RegistryText> user;
    std::optional<RegistryText> system;
    return ReportedVersionOf([&](HKEY root, std::string_view path, std::string_view name) {
        const bool ofUser = root == HKEY_CURRENT_USER;
        std::optional<RegistryText> &file = ofUser ? user : system;
        if (!file)
            file.emplace(folder + (ofUser ? "/user.reg" : "/system.reg"));
        return file->String(path, name);
    });
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

WinePrefix Describe(const std::string &folder, PrefixSource source, const std::string &name,
                    const std::vector<std::string> &serverFolders)
{
    WinePrefix prefix;
    prefix.folder = folder;
    prefix.name = name;
    prefix.source = source;
    const MachineVersion version = VersionOfPrefix(folder);
    prefix.windowsVersion = version.name;
    prefix.windowsNT = version.platform == VER_PLATFORM_WIN32_NT;
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
