// Icons read straight out of .ico and PE files. Every byte of the file is untrusted: each offset
// and size is checked against the file before it is used, and all reads go through one checked
// helper, so a damaged or hostile file yields no icon rather than a crash.
#include "icons.h"

#include "files.h"
#include "machine.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace win
{

namespace
{

using Bytes = std::vector<std::uint8_t>;

// Far beyond any real icon (a 256x256 true-colour image is about 270 KB), yet small enough that
// a lying size field cannot make us allocate much.
constexpr std::uint64_t kMaxReadBytes = 32u << 20;
constexpr std::uint64_t kMaxImageBytes = 8u << 20;
// All that one extraction may read, directories and images together, whatever they hold: a
// hostile file that names one large image or directory thousands of times runs out of it
// instead of being read again and again.
constexpr std::uint64_t kReadBudget = 2 * kMaxReadBytes;

constexpr std::size_t kIconDirBytes = 6;
constexpr std::size_t kIconEntryBytes = 16;
constexpr std::size_t kGroupEntryBytes = 14;
// Width, height, colour count, reserved, planes, bit count: the same in a group entry and in an
// .ico directory entry, so it is copied as it is.
constexpr std::size_t kImageTraitsBytes = 8;

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::uint32_t kHighBit = 0x80000000u;

std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(Le16(bytes, at)) | static_cast<std::uint32_t>(Le16(bytes, at + 2)) << 16;
}

void Put16(Bytes &out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes &out, std::uint32_t value)
{
    Put16(out, static_cast<std::uint16_t>(value));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

// Host paths pass through; Windows paths go through the machine's drives. Anything else (a
// relative path, a UNC name) has no place on the machine and finds nothing.
std::string HostPathFor(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    return HostPathOf(path);
}

// A file read piece by piece at checked offsets, so that a large file costs only the bytes that
// are looked at (an icon picker asks a 15 MB shell32.dll for hundreds of icons in a row).
class FileReader
{
public:
    // A host path, or a Windows path of the machine. A machine with no host folders (a disk
    // image) gives the whole file at once, within the cap for icon sources.
    explicit FileReader(const std::string &path)
    {
        const std::string hostPath = HostPathFor(path);
        if (hostPath.empty()) {
            if (!path.empty() && path[0] != '/' && ReadMachineFile(path, whole_))
                size_ = whole_.size();
            return;
        }
        std::error_code ec;
        if (!std::filesystem::is_regular_file(hostPath, ec))
            return;
        const std::uintmax_t size = std::filesystem::file_size(hostPath, ec);
        if (ec)
            return;
        in_.open(hostPath, std::ios::binary);
        size_ = in_ ? size : 0;
    }

    std::uint64_t Size() const { return size_; }

    // True once a read was refused because the extraction has read all it may.
    bool Exhausted() const { return exhausted_; }

    // `count` bytes at `offset`, or nothing when any of them lies outside the file.
    std::optional<Bytes> Read(std::uint64_t offset, std::uint64_t count)
    {
        if ((!in_ && whole_.empty()) || offset > size_ || count > size_ - offset || count > kMaxReadBytes)
            return std::nullopt;
        if (count > budget_) {
            exhausted_ = true;
            return std::nullopt;
        }
        budget_ -= count;
        Bytes bytes(count);
        if (!whole_.empty()) {
            std::copy_n(whole_.begin() + static_cast<std::ptrdiff_t>(offset), count, bytes.begin());
            return bytes;
        }
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(count));
        if (in_.gcount() != static_cast<std::streamsize>(count)) {
            in_.clear(); // the file shrank underneath us; later reads may still succeed
            return std::nullopt;
        }
        return bytes;
    }

private:
    std::ifstream in_;
    std::string whole_; // the file, when it was read at once
    std::uint64_t size_ = 0;
    std::uint64_t budget_ = kReadBudget;
    bool exhausted_ = false;
};

bool IsPng(std::span<const std::uint8_t> image)
{
    static constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return image.size() >= kSignature.size() && std::equal(kSignature.begin(), kSignature.end(), image.begin());
}

// What Windows can turn into an icon: a PNG, or a DIB that starts with a BITMAPINFOHEADER (or
// one of its longer successors) that fits in the image.
bool LooksLikeIconImage(std::span<const std::uint8_t> image)
{
    if (IsPng(image))
        return true;
    constexpr std::uint32_t kInfoHeaderBytes = 40;
    return image.size() >= kInfoHeaderBytes && Le32(image, 0) >= kInfoHeaderBytes && Le32(image, 0) <= image.size();
}

bool IsIconDirHeader(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= kIconDirBytes && Le16(bytes, 0) == 0 && Le16(bytes, 2) == 1;
}

bool IsValidIconFile(std::span<const std::uint8_t> file)
{
    if (!IsIconDirHeader(file))
        return false;
    const std::size_t count = Le16(file, 4);
    const std::size_t directoryEnd = kIconDirBytes + count * kIconEntryBytes;
    if (count == 0 || directoryEnd > file.size())
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = kIconDirBytes + i * kIconEntryBytes;
        const std::uint64_t size = Le32(file, entry + 8);
        const std::uint64_t offset = Le32(file, entry + 12);
        if (size == 0 || offset < directoryEnd || offset + size > file.size())
            return false;
        if (!LooksLikeIconImage(file.subspan(offset, size)))
            return false;
    }
    return true;
}

std::optional<Bytes> ReadIconFile(FileReader &file)
{
    std::optional<Bytes> bytes = file.Read(0, file.Size());
    if (!bytes || !IsValidIconFile(*bytes))
        return std::nullopt;
    return bytes;
}

struct IconImage {
    std::span<const std::uint8_t> traits; // kImageTraitsBytes of the group entry
    Bytes bytes;
};

Bytes IconFileOf(const std::vector<IconImage> &images)
{
    Bytes out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<std::uint16_t>(images.size()));
    auto offset = static_cast<std::uint32_t>(kIconDirBytes + images.size() * kIconEntryBytes);
    for (const IconImage &image : images) {
        out.insert(out.end(), image.traits.begin(), image.traits.end());
        Put32(out, static_cast<std::uint32_t>(image.bytes.size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(image.bytes.size());
    }
    for (const IconImage &image : images)
        out.insert(out.end(), image.bytes.begin(), image.bytes.end());
    return out;
}

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t mappedBytes; // of the raw data, the part the loader maps
    std::uint32_t rawOffset;
};

// A PE file seen as the loader maps it: resources are addressed by RVA, which the section table
// turns into file offsets. PE32 and PE32+ differ only in where the data directories start.
class PortableImage
{
public:
    static std::optional<PortableImage> Open(FileReader &file)
    {
        const std::optional<Bytes> dos = file.Read(0, 64);
        if (!dos)
            return std::nullopt;
        const std::uint64_t peOffset = Le32(*dos, 0x3c);
        const std::optional<Bytes> coff = file.Read(peOffset, 24);
        if (!coff || Le32(*coff, 0) != 0x00004550) // "PE\0\0"; NE and LE files end here
            return std::nullopt;
        const std::uint16_t optionalBytes = Le16(*coff, 20);
        const std::optional<Bytes> optional = file.Read(peOffset + 24, optionalBytes);
        if (!optional)
            return std::nullopt;
        PortableImage image(file);
        const std::optional<std::uint32_t> resources = ResourceDirectoryRva(*optional);
        if (!resources || !image.ReadSections(peOffset + 24 + optionalBytes, Le16(*coff, 6)))
            return std::nullopt;
        image.resourceRva_ = *resources;
        return image;
    }

    std::uint32_t ResourceRva() const { return resourceRva_; }
    bool Exhausted() const { return file_->Exhausted(); }

    std::optional<Bytes> ReadRva(std::uint64_t rva, std::uint64_t count) const
    {
        for (const Section &section : sections_) {
            if (rva < section.virtualAddress)
                continue;
            const std::uint64_t into = rva - section.virtualAddress;
            if (into + count <= section.mappedBytes)
                return file_->Read(section.rawOffset + into, count);
        }
        return std::nullopt;
    }

private:
    explicit PortableImage(FileReader &file) : file_(&file) {}

    static std::optional<std::uint32_t> ResourceDirectoryRva(std::span<const std::uint8_t> optional)
    {
        if (optional.size() < 2)
            return std::nullopt;
        const std::uint16_t magic = Le16(optional, 0);
        const std::size_t countAt = magic == 0x10b ? 92 : magic == 0x20b ? 108 : 0;
        constexpr std::size_t kResourceSlot = 2;
        const std::size_t slotAt = countAt + 4 + kResourceSlot * 8;
        if (countAt == 0 || optional.size() < slotAt + 8 || Le32(optional, countAt) <= kResourceSlot)
            return std::nullopt;
        const std::uint32_t rva = Le32(optional, slotAt);
        return rva != 0 ? std::optional(rva) : std::nullopt;
    }

    bool ReadSections(std::uint64_t tableOffset, std::uint16_t count)
    {
        constexpr std::size_t kSectionBytes = 40;
        const std::optional<Bytes> table = file_->Read(tableOffset, std::uint64_t{count} * kSectionBytes);
        if (!table)
            return false;
        for (std::size_t at = 0; at < table->size(); at += kSectionBytes) {
            const std::uint32_t virtualSize = Le32(*table, at + 8);
            const std::uint32_t rawSize = Le32(*table, at + 16);
            sections_.push_back({Le32(*table, at + 12), virtualSize != 0 ? std::min(virtualSize, rawSize) : rawSize,
                                 Le32(*table, at + 20)});
        }
        return true;
    }

    FileReader *file_;
    std::vector<Section> sections_;
    std::uint32_t resourceRva_ = 0;
};

struct ResourceEntry {
    std::uint32_t name;
    std::uint32_t target;

    bool HasId(std::uint32_t id) const { return name == id; } // a named entry has the high bit set
    bool LeadsToDirectory() const { return (target & kHighBit) != 0; }
    std::uint32_t TargetOffset() const { return target & ~kHighBit; }
};

using ResourceDirectory = std::vector<ResourceEntry>;

// The three levels of the resource tree (type, name, language). Offsets inside the tree are
// relative to its root; the data it finally points at is addressed by RVA.
class ResourceTree
{
public:
    explicit ResourceTree(const PortableImage &image) : image_(image) {}

    // Named entries first, then ID entries, as the file stores them: that order is the icons'.
    std::optional<ResourceDirectory> Directory(std::uint32_t offset) const
    {
        const std::uint64_t at = std::uint64_t{image_.ResourceRva()} + offset;
        const std::optional<Bytes> header = image_.ReadRva(at, 16);
        if (!header)
            return std::nullopt;
        const std::size_t count = std::size_t{Le16(*header, 12)} + Le16(*header, 14);
        const std::optional<Bytes> raw = image_.ReadRva(at + 16, count * 8);
        if (!raw)
            return std::nullopt;
        ResourceDirectory entries;
        for (std::size_t i = 0; i < count; ++i)
            entries.push_back({Le32(*raw, i * 8), Le32(*raw, i * 8 + 4)});
        return entries;
    }

    std::optional<ResourceDirectory> TypeDirectory(std::uint32_t type) const
    {
        const std::optional<ResourceDirectory> root = Directory(0);
        if (!root)
            return std::nullopt;
        const ResourceEntry *entry = FindId(*root, type);
        if (!entry || !entry->LeadsToDirectory())
            return std::nullopt;
        return Directory(entry->TargetOffset());
    }

    bool Exhausted() const { return image_.Exhausted(); }

    static const ResourceEntry *FindId(const ResourceDirectory &directory, std::uint32_t id)
    {
        const auto found =
            std::find_if(directory.begin(), directory.end(), [id](const ResourceEntry &e) { return e.HasId(id); });
        return found != directory.end() ? &*found : nullptr;
    }

    // The data of a named resource in its first language: a file normally holds one, and the
    // icons of a second language are the same pictures.
    std::optional<Bytes> Data(const ResourceEntry &nameEntry) const
    {
        if (!nameEntry.LeadsToDirectory())
            return std::nullopt;
        const std::optional<ResourceDirectory> languages = Directory(nameEntry.TargetOffset());
        if (!languages || languages->empty() || languages->front().LeadsToDirectory())
            return std::nullopt;
        const std::optional<Bytes> dataEntry =
            image_.ReadRva(std::uint64_t{image_.ResourceRva()} + languages->front().TargetOffset(), 16);
        if (!dataEntry)
            return std::nullopt;
        const std::uint32_t size = Le32(*dataEntry, 4);
        if (size == 0 || size > kMaxImageBytes)
            return std::nullopt;
        return image_.ReadRva(Le32(*dataEntry, 0), size);
    }

private:
    const PortableImage &image_;
};

// The entries of a directory by ID, for the many lookups of a group: of equal IDs the one stored
// first, as a walk through the directory would find it.
class IdIndex
{
public:
    explicit IdIndex(const ResourceDirectory &directory)
    {
        for (const ResourceEntry &entry : directory)
            sorted_.push_back(&entry);
        std::stable_sort(sorted_.begin(), sorted_.end(),
                         [](const ResourceEntry *a, const ResourceEntry *b) { return a->name < b->name; });
    }

    const ResourceEntry *Find(std::uint32_t id) const
    {
        const auto found =
            std::lower_bound(sorted_.begin(), sorted_.end(), id,
                             [](const ResourceEntry *e, std::uint32_t wanted) { return e->name < wanted; });
        return found != sorted_.end() && (*found)->HasId(id) ? *found : nullptr;
    }

private:
    std::vector<const ResourceEntry *> sorted_;
};

// The images a group names, each taken from its RT_ICON resource. An image that is missing or
// damaged is left out, as Windows would pick one of the others; a group with none left is none.
std::optional<Bytes> IconOfGroup(const ResourceTree &tree, const ResourceDirectory &icons, const Bytes &group)
{
    if (!IsIconDirHeader(group))
        return std::nullopt;
    const std::size_t count = Le16(group, 4);
    if (group.size() < kIconDirBytes + count * kGroupEntryBytes)
        return std::nullopt;
    const IdIndex index(icons);
    std::vector<IconImage> images;
    std::uint64_t total = kIconDirBytes;
    for (std::size_t i = 0; i < count && !tree.Exhausted(); ++i) {
        const std::size_t entry = kIconDirBytes + i * kGroupEntryBytes;
        const ResourceEntry *icon = index.Find(Le16(group, entry + 12));
        std::optional<Bytes> bytes = icon ? tree.Data(*icon) : std::nullopt;
        if (!bytes)
            continue;
        // Counted whether it turns out to be a picture or not: both cost the reading.
        total += kIconEntryBytes + bytes->size();
        if (total > kMaxReadBytes) // a group naming one big image thousands of times
            return std::nullopt;
        if (LooksLikeIconImage(*bytes))
            images.push_back({std::span(group).subspan(entry, kImageTraitsBytes), std::move(*bytes)});
    }
    if (images.empty() || tree.Exhausted())
        return std::nullopt;
    return IconFileOf(images);
}

std::optional<ResourceDirectory> GroupDirectory(FileReader &file)
{
    const std::optional<PortableImage> image = PortableImage::Open(file);
    if (!image)
        return std::nullopt;
    return ResourceTree(*image).TypeDirectory(kRtGroupIcon);
}

// A negative index names the group by its resource ID, as ExtractIconEx takes it.
const ResourceEntry *GroupAt(const ResourceDirectory &groups, int index)
{
    if (index >= 0)
        return static_cast<std::size_t>(index) < groups.size() ? &groups[static_cast<std::size_t>(index)] : nullptr;
    if (index < -0xFFFF)
        return nullptr;
    return ResourceTree::FindId(groups, static_cast<std::uint32_t>(-index));
}

std::optional<Bytes> IconOfPortableFile(FileReader &file, int index)
{
    const std::optional<PortableImage> image = PortableImage::Open(file);
    if (!image)
        return std::nullopt;
    const ResourceTree tree(*image);
    const std::optional<ResourceDirectory> groups = tree.TypeDirectory(kRtGroupIcon);
    const ResourceEntry *group = groups ? GroupAt(*groups, index) : nullptr;
    if (!group)
        return std::nullopt;
    const std::optional<Bytes> groupBytes = tree.Data(*group);
    const std::optional<ResourceDirectory> icons = tree.TypeDirectory(kRtIcon);
    if (!groupBytes || !icons)
        return std::nullopt;
    return IconOfGroup(tree, *icons, *groupBytes);
}

enum class FileKind { Unknown, Icon, Portable };

// By content, not by name, as Windows does: an .exe renamed to .ico still shows its icons.
FileKind KindOf(FileReader &file)
{
    const std::optional<Bytes> magic = file.Read(0, kIconDirBytes);
    if (!magic)
        return FileKind::Unknown;
    if ((*magic)[0] == 'M' && (*magic)[1] == 'Z')
        return FileKind::Portable;
    if (IsIconDirHeader(*magic))
        return FileKind::Icon;
    return FileKind::Unknown;
}

} // namespace

int ExtractIconCount(const std::string &path)
{
    FileReader file(path);
    switch (KindOf(file)) {
    case FileKind::Icon: return ReadIconFile(file) ? 1 : 0;
    case FileKind::Portable: {
        const std::optional<ResourceDirectory> groups = GroupDirectory(file);
        return groups ? static_cast<int>(groups->size()) : 0;
    }
    case FileKind::Unknown: break;
    }
    return 0;
}

std::vector<std::uint8_t> ExtractIconAsIco(const std::string &path, int index)
{
    FileReader file(path);
    std::optional<Bytes> icon;
    switch (KindOf(file)) {
    case FileKind::Icon: icon = index == 0 ? ReadIconFile(file) : std::nullopt; break;
    case FileKind::Portable: icon = IconOfPortableFile(file, index); break;
    case FileKind::Unknown: break;
    }
    return icon ? std::move(*icon) : Bytes{};
}

} // namespace win
