#include "fat_reader.h"

#include "unicode.h"

#include <algorithm>
#include <set>

namespace win::image
{

namespace
{

constexpr std::size_t kEntry = 32;
constexpr std::uint8_t kLongName = 0x0F;
constexpr std::uint8_t kVolumeLabel = 0x08;
// A folder larger than this is damage; FAT limits a folder to 65536 entries.
constexpr std::uint64_t kLargestFolder = 65536 * kEntry;
constexpr std::uint32_t kLargestSystemIni = 64 * 1024;

std::uint32_t Le16(const std::string &b, std::size_t at)
{
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}

std::uint32_t Le32(const std::string &b, std::size_t at)
{
    return Le16(b, at) | Le16(b, at + 2) << 16;
}

std::vector<std::string> PathParts(const std::string &path)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char c : path + "/") {
        if (c != '/' && c != '\\') {
            part.push_back(c);
        } else if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    }
    return parts;
}

std::string ShortName(const std::string &entry)
{
    std::string base = entry.substr(0, 8);
    std::string extension = entry.substr(8, 3);
    if (!base.empty() && static_cast<std::uint8_t>(base[0]) == 0x05)
        base[0] = static_cast<char>(0xE5);
    // Windows NT and mtools keep an all-lower-case base or extension as two flag bits.
    const auto lowerCase = static_cast<std::uint8_t>(entry[12]);
    const auto lower = [](std::string &s) {
        std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    };
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    while (!extension.empty() && extension.back() == ' ')
        extension.pop_back();
    if (lowerCase & 0x08)
        lower(base);
    if (lowerCase & 0x10)
        lower(extension);
    return extension.empty() ? base : base + "." + extension;
}

std::uint8_t ShortNameChecksum(const std::string &entry)
{
    std::uint8_t sum = 0;
    for (int i = 0; i < 11; ++i)
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + static_cast<std::uint8_t>(entry[i]));
    return sum;
}

// The parts of a long name, gathered from the entries before the short one they belong to.
class LongName
{
public:
    void Add(const std::string &entry)
    {
        const auto order = static_cast<std::uint8_t>(entry[0]);
        if (order & 0x40) {
            units_.clear();
            checksum_ = static_cast<std::uint8_t>(entry[13]);
        }
        const std::size_t slot = (order & 0x1F) - 1u;
        if (units_.size() < (slot + 1) * 13)
            units_.resize((slot + 1) * 13, u'\xFFFF');
        constexpr std::size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        for (std::size_t i = 0; i < 13; ++i)
            units_[slot * 13 + i] = static_cast<char16_t>(Le16(entry, kOffsets[i]));
    }
    // The long name for the short entry that follows, or "" when the parts do not belong to it.
    std::string Take(const std::string &shortEntry)
    {
        std::u16string units = std::move(units_);
        units_.clear();
        if (units.empty() || ShortNameChecksum(shortEntry) != checksum_)
            return {};
        const std::size_t end = units.find(u'\0');
        units.resize(std::min(end, units.size()));
        if (units.find(u'\xFFFF') != std::u16string::npos)
            return {};
        return detail::Utf16ToUtf8(units);
    }
    void Clear() { units_.clear(); }

private:
    std::u16string units_;
    std::uint8_t checksum_ = 0;
};

std::vector<FatEntry> ParseFolder(const std::string &bytes)
{
    std::vector<FatEntry> entries;
    LongName longName;
    for (std::size_t at = 0; at + kEntry <= bytes.size(); at += kEntry) {
        const std::string entry = bytes.substr(at, kEntry);
        const auto first = static_cast<std::uint8_t>(entry[0]);
        if (first == 0x00)
            break;
        const auto attributes = static_cast<std::uint8_t>(entry[11]);
        if (first == 0xE5) {
            longName.Clear();
            continue;
        }
        if (attributes == kLongName) {
            longName.Add(entry);
            continue;
        }
        const std::string shortName = ShortName(entry);
        std::string name = longName.Take(entry);
        if ((attributes & kVolumeLabel) || shortName == "." || shortName == "..")
            continue;
        FatEntry e;
        e.shortName = shortName;
        e.name = name.empty() ? shortName : name;
        e.attributes = attributes;
        e.firstCluster = Le16(entry, 26) | Le16(entry, 20) << 16;
        e.size = Le32(entry, 28);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::string Trimmed(const std::string &text)
{
    const std::size_t start = text.find_first_not_of(" \t");
    const std::size_t end = text.find_last_not_of(" \t\r");
    return start == std::string::npos ? std::string() : text.substr(start, end - start + 1);
}

} // namespace

std::optional<std::uint32_t> FatReader::Next(std::uint32_t cluster)
{
    std::uint64_t byte = 0;
    switch (geometry_.kind) {
    case FatKind::Fat12: byte = cluster + cluster / 2; break;
    case FatKind::Fat16: byte = std::uint64_t{cluster} * 2; break;
    case FatKind::Fat32: byte = std::uint64_t{cluster} * 4; break;
    }
    // The entry is read from the sector that holds it (and the next, where a FAT12 entry
    // crosses into it); sectors read once stay cached.
    const std::uint64_t sectorSize = geometry_.bytesPerSector;
    const std::uint64_t offset = geometry_.FatOffset(geometry_.activeFat) + byte / sectorSize * sectorSize;
    std::string &sectors = fatSectors_[offset];
    if (sectors.empty() && !ReadAt(offset, static_cast<std::size_t>(sectorSize * 2), sectors)) {
        fatSectors_.erase(offset);
        return std::nullopt;
    }
    const std::size_t at = static_cast<std::size_t>(byte % sectorSize);
    std::uint32_t next = 0;
    std::uint32_t end = 0;
    switch (geometry_.kind) {
    case FatKind::Fat12:
        next = (cluster & 1) ? Le16(sectors, at) >> 4 : Le16(sectors, at) & 0x0FFF;
        end = 0x0FF8;
        break;
    case FatKind::Fat16:
        next = Le16(sectors, at);
        end = 0xFFF8;
        break;
    case FatKind::Fat32:
        next = Le32(sectors, at) & 0x0FFFFFFF;
        end = 0x0FFFFFF8;
        break;
    }
    if (next >= end || next < 2 || next >= geometry_.clusterCount + 2)
        return std::nullopt;
    return next;
}

std::vector<std::uint32_t> FatReader::Chain(std::uint32_t first)
{
    std::vector<std::uint32_t> chain;
    std::set<std::uint32_t> seen;
    std::optional<std::uint32_t> cluster = first;
    while (cluster && *cluster >= 2 && *cluster < geometry_.clusterCount + 2 && seen.insert(*cluster).second) {
        chain.push_back(*cluster);
        cluster = Next(*cluster);
    }
    return chain;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> FatReader::FolderRegions(const FatEntry *folder)
{
    const bool fixedRoot = (!folder || folder->firstCluster == 0) && geometry_.kind != FatKind::Fat32;
    if (fixedRoot)
        return {{geometry_.RootOffset(), std::uint64_t{geometry_.rootEntryCount} * kEntry}};
    std::vector<std::pair<std::uint64_t, std::uint64_t>> regions;
    const std::uint32_t first = folder && folder->firstCluster != 0 ? folder->firstCluster : geometry_.rootCluster;
    for (const std::uint32_t cluster : Chain(first)) {
        regions.emplace_back(geometry_.ClusterOffset(cluster), geometry_.ClusterBytes());
        if (regions.size() * geometry_.ClusterBytes() >= kLargestFolder)
            break;
    }
    return regions;
}

bool FatReader::ReadFolder(const FatEntry *folder, std::string &bytes)
{
    bytes.clear();
    for (const auto &[offset, length] : FolderRegions(folder)) {
        std::string part;
        if (!ReadAt(offset, static_cast<std::size_t>(length), part))
            return false;
        bytes += part;
    }
    return true;
}

std::vector<FatEntry> FatReader::List(const FatEntry *folder)
{
    std::string bytes;
    if (!ReadFolder(folder, bytes))
        return {};
    return ParseFolder(bytes);
}

std::optional<FatEntry> FatReader::Find(const std::string &path)
{
    std::optional<FatEntry> current;
    for (const std::string &part : PathParts(path)) {
        if (current && !current->IsFolder())
            return std::nullopt;
        const std::vector<FatEntry> entries = List(current ? &*current : nullptr);
        const auto match = std::find_if(entries.begin(), entries.end(), [&part](const FatEntry &e) {
            return detail::SameName(e.name, part) || detail::SameName(e.shortName, part);
        });
        if (match == entries.end())
            return std::nullopt;
        current = *match;
    }
    return current;
}

bool FatReader::ReadFile(const FatEntry &file, std::string &bytes, std::uint32_t limit)
{
    const std::uint32_t wanted = std::min(file.size, limit);
    // Fresh memory is slow to touch on some machines: one buffer, sized once, and one for the
    // clusters read into it.
    bytes.clear();
    bytes.reserve(wanted);
    std::string part;
    for (const std::uint32_t cluster : Chain(file.firstCluster)) {
        if (bytes.size() >= wanted)
            break;
        const std::size_t length = std::min<std::size_t>(geometry_.ClusterBytes(), wanted - bytes.size());
        if (!ReadAt(geometry_.ClusterOffset(cluster), length, part))
            return false;
        bytes += part;
    }
    return bytes.size() == wanted;
}

std::string WindowsFolderOf(FatReader &reader)
{
    const std::optional<FatEntry> msdosSys = reader.Find("MSDOS.SYS");
    std::string text;
    if (msdosSys && !msdosSys->IsFolder() && reader.ReadFile(*msdosSys, text, kLargestSystemIni)) {
        bool inPaths = false;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            const std::string line = Trimmed(text.substr(start, end - start));
            start = end + 1;
            if (!line.empty() && line.front() == '[')
                inPaths = detail::SameName(line, "[Paths]");
            const std::size_t equals = line.find('=');
            if (!inPaths || equals == std::string::npos || !detail::SameName(Trimmed(line.substr(0, equals)), "WinDir"))
                continue;
            std::string folder = Trimmed(line.substr(equals + 1));
            if (folder.size() >= 2 && folder[1] == ':')
                folder.erase(0, 2);
            folder.erase(0, folder.find_first_not_of("\\/"));
            if (!folder.empty())
                return folder;
        }
    }
    return "WINDOWS";
}

bool HoldsWindows(FatReader &reader)
{
    const std::string folder = WindowsFolderOf(reader);
    for (const char *name : {"SYSTEM.DAT", "SYSTEM.NEW"}) {
        const std::optional<FatEntry> file = reader.Find(folder + "\\" + name);
        if (file && !file->IsFolder())
            return true;
    }
    return false;
}

} // namespace win::image
