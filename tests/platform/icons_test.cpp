// Icons taken out of .ico and PE files, built here byte by byte, damaged in every way we could
// think of, and taken from Wine's own shell32.dll.
#include "TempMachine.h"
#include "icons.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes &out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes &out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Patch32(Bytes &out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t Le32(const Bytes &bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::uint32_t Be32(const Bytes &bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
}

void WriteBytes(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Image {
    int size;           // pixels square; 256 is written as 0 in directories
    std::uint16_t bits; // per pixel
    Bytes bytes;
};

// A 32-bit icon bitmap as .ico files and RT_ICON resources hold it: BITMAPINFOHEADER with the
// height doubled for the AND mask, the colour rows, then the mask rows.
Image DibImage(int size, std::uint8_t shade)
{
    Bytes bytes;
    Put32(bytes, 40);
    Put32(bytes, static_cast<std::uint32_t>(size));
    Put32(bytes, static_cast<std::uint32_t>(size * 2));
    Put16(bytes, 1);
    Put16(bytes, 32);
    bytes.resize(40, 0);
    bytes.resize(bytes.size() + static_cast<std::size_t>(size * size * 4), shade);
    bytes.resize(bytes.size() + static_cast<std::size_t>((size + 31) / 32 * 4 * size), 0);
    return {size, 32, bytes};
}

// The platform passes PNG data through untouched, so the chunks' checksums do not matter here.
Image PngImage(int size)
{
    Bytes bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (int i = 0; i < 2; ++i)
        for (int shift : {24, 16, 8, 0})
            bytes.push_back(static_cast<std::uint8_t>(size >> shift));
    bytes.insert(bytes.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82});
    return {size, 32, bytes};
}

void PutTraits(Bytes &out, const Image &image)
{
    out.push_back(static_cast<std::uint8_t>(image.size & 0xFF));
    out.push_back(static_cast<std::uint8_t>(image.size & 0xFF));
    out.push_back(0);
    out.push_back(0);
    Put16(out, 1);
    Put16(out, image.bits);
    Put32(out, static_cast<std::uint32_t>(image.bytes.size()));
}

Bytes IcoFile(const std::vector<Image> &images)
{
    Bytes out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(images.size()));
    std::size_t offset = 6 + 16 * images.size();
    for (const Image &image : images) {
        PutTraits(out, image);
        Put32(out, static_cast<std::uint32_t>(offset));
        offset += image.bytes.size();
    }
    for (const Image &image : images)
        out.insert(out.end(), image.bytes.begin(), image.bytes.end());
    return out;
}

struct IcoEntry {
    int width;
    int height;
    int bits;
    Bytes bytes;
};

// The images of an .ico file, failing the test when its directory points outside the file.
std::vector<IcoEntry> ParseIco(const Bytes &ico)
{
    std::vector<IcoEntry> entries;
    if (ico.size() < 6 || Le32(ico, 0) != 0x10000) {
        ADD_FAILURE() << "not an .ico header";
        return entries;
    }
    const std::size_t count = ico[4] | ico[5] << 8;
    if (count == 0 || 6 + 16 * count > ico.size()) {
        ADD_FAILURE() << "directory of " << count << " entries in " << ico.size() << " bytes";
        return entries;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 16 * i;
        const std::uint64_t size = Le32(ico, at + 8);
        const std::uint64_t offset = Le32(ico, at + 12);
        if (size == 0 || offset < 6 + 16 * count || offset + size > ico.size()) {
            ADD_FAILURE() << "entry " << i << " points at " << offset << "+" << size << " of " << ico.size();
            return {};
        }
        entries.push_back({ico[at] ? ico[at] : 256, ico[at + 1] ? ico[at + 1] : 256, ico[at + 6] | ico[at + 7] << 8,
                           Bytes(ico.begin() + static_cast<std::ptrdiff_t>(offset),
                                 ico.begin() + static_cast<std::ptrdiff_t>(offset + size))});
    }
    return entries;
}

// A group as a PE file holds it: a name (named groups come first in the directory) or an ID,
// and the RT_ICON IDs of its images.
struct Group {
    std::string name;
    std::uint16_t id = 0;
    std::vector<std::uint16_t> iconIds;
};

struct Icon {
    std::uint16_t id;
    Image image;
    bool dataOutsideFile = false;
};

constexpr std::uint32_t kResourceRva = 0x1000;
constexpr std::size_t kResourceFileOffset = 0x200;

// The resource section: root, type directories, one language directory per resource, data
// entries, names, data. Offsets inside it are from its start; data is addressed by RVA.
class ResourceSection
{
public:
    Bytes Build(const std::vector<Group> &groups, const std::vector<Icon> &icons)
    {
        const std::size_t root = Directory(0, 2);
        const std::size_t iconType = Directory(0, icons.size());
        const auto named = std::count_if(groups.begin(), groups.end(), [](const Group &g) { return !g.name.empty(); });
        const std::size_t groupType =
            Directory(static_cast<std::size_t>(named), groups.size() - static_cast<std::size_t>(named));
        Link(root, 0, 3, iconType | 0x80000000u);
        Link(root, 1, 14, groupType | 0x80000000u);
        for (std::size_t i = 0; i < icons.size(); ++i) {
            const std::size_t dataEntry = Resource(iconType, i, icons[i].id);
            pending_.push_back({dataEntry, icons[i].image.bytes, icons[i].dataOutsideFile});
        }
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const std::size_t dataEntry = Resource(groupType, i, groups[i].id);
            pending_.push_back({dataEntry, GroupData(groups[i], icons), false});
            if (!groups[i].name.empty())
                NameEntry(groupType, i, groups[i].name);
        }
        PlaceData();
        return out_;
    }

private:
    struct Pending {
        std::size_t dataEntry;
        Bytes bytes;
        bool outsideFile;
    };

    std::size_t Directory(std::size_t named, std::size_t ids)
    {
        const std::size_t at = out_.size();
        out_.resize(at + 12, 0);
        Put16(out_, static_cast<std::uint32_t>(named));
        Put16(out_, static_cast<std::uint32_t>(ids));
        out_.resize(out_.size() + 8 * (named + ids), 0);
        return at;
    }

    void Link(std::size_t directory, std::size_t index, std::uint32_t name, std::size_t target)
    {
        Patch32(out_, directory + 16 + 8 * index, name);
        Patch32(out_, directory + 20 + 8 * index, static_cast<std::uint32_t>(target));
    }

    // name level → language directory → data entry, whose offset is returned.
    std::size_t Resource(std::size_t typeDirectory, std::size_t index, std::uint16_t id)
    {
        const std::size_t language = Directory(0, 1);
        Link(typeDirectory, index, id, language | 0x80000000u);
        const std::size_t dataEntry = out_.size();
        out_.resize(dataEntry + 16, 0);
        Link(language, 0, 0x409, dataEntry);
        return dataEntry;
    }

    void NameEntry(std::size_t typeDirectory, std::size_t index, const std::string &name)
    {
        const std::size_t at = out_.size();
        Put16(out_, static_cast<std::uint32_t>(name.size()));
        for (char c : name)
            Put16(out_, static_cast<std::uint8_t>(c));
        Patch32(out_, typeDirectory + 16 + 8 * index, static_cast<std::uint32_t>(at) | 0x80000000u);
    }

    static Bytes GroupData(const Group &group, const std::vector<Icon> &icons)
    {
        Bytes out;
        Put16(out, 0);
        Put16(out, 1);
        Put16(out, static_cast<std::uint32_t>(group.iconIds.size()));
        for (std::uint16_t id : group.iconIds) {
            const auto icon = std::find_if(icons.begin(), icons.end(), [id](const Icon &i) { return i.id == id; });
            PutTraits(out, icon != icons.end() ? icon->image : DibImage(16, 0));
            Put16(out, id); // where an .ico entry holds the image's offset
        }
        return out;
    }

    void PlaceData()
    {
        for (const Pending &data : pending_) {
            out_.resize((out_.size() + 7) & ~std::size_t{7}, 0);
            const std::uint32_t rva =
                data.outsideFile ? 0x7FFF0000u : kResourceRva + static_cast<std::uint32_t>(out_.size());
            Patch32(out_, data.dataEntry, rva);
            Patch32(out_, data.dataEntry + 4, static_cast<std::uint32_t>(data.bytes.size()));
            out_.insert(out_.end(), data.bytes.begin(), data.bytes.end());
        }
    }

    Bytes out_;
    std::vector<Pending> pending_;
};

// A DLL with one section, .rsrc, and nothing else a loader would want: all that icon
// extraction reads.
Bytes PeFile(bool plus, const std::vector<Group> &groups, const std::vector<Icon> &icons)
{
    const Bytes resources = ResourceSection().Build(groups, icons);
    Bytes out(0x40, 0);
    out[0] = 'M';
    out[1] = 'Z';
    Patch32(out, 0x3c, 0x40);
    const std::uint32_t optionalBytes = plus ? 240 : 224;
    Put32(out, 0x00004550);
    Put16(out, plus ? 0x8664 : 0x14c);
    Put16(out, 1);
    out.resize(out.size() + 12, 0);
    Put16(out, optionalBytes);
    Put16(out, 0x2102);
    const std::size_t optional = out.size();
    out.resize(optional + optionalBytes, 0);
    out[optional] = 0x0b;
    out[optional + 1] = plus ? 0x02 : 0x01;
    const std::size_t directories = optional + (plus ? 112 : 96);
    Patch32(out, directories - 4, 16);
    Patch32(out, directories + 16, kResourceRva);
    Patch32(out, directories + 20, static_cast<std::uint32_t>(resources.size()));
    const std::uint32_t rawBytes = static_cast<std::uint32_t>((resources.size() + 0x1FF) & ~std::size_t{0x1FF});
    out.insert(out.end(), {'.', 'r', 's', 'r', 'c', 0, 0, 0});
    Put32(out, static_cast<std::uint32_t>(resources.size()));
    Put32(out, kResourceRva);
    Put32(out, rawBytes);
    Put32(out, kResourceFileOffset);
    out.resize(out.size() + 12, 0);
    Put32(out, 0x40000040);
    out.resize(kResourceFileOffset, 0);
    out.insert(out.end(), resources.begin(), resources.end());
    out.resize(kResourceFileOffset + rawBytes, 0);
    return out;
}

std::size_t SectionHeaderOffset(const Bytes &pe)
{
    const std::size_t optionalBytes = pe[0x40 + 20] | pe[0x40 + 21] << 8;
    return 0x40 + 24 + optionalBytes;
}

// Two named groups would sort by name in a linker's output; one is enough to fix the order.
const std::vector<Icon> &Icons()
{
    static const std::vector<Icon> icons{{1, DibImage(16, 0x11)}, {2, DibImage(32, 0x22)}, {5, PngImage(256)}};
    return icons;
}
const std::vector<Group> &Groups()
{
    static const std::vector<Group> groups{{"MAINICON", 0, {1, 2}}, {"", 7, {5}}};
    return groups;
}

void ExpectImagesAre(const Bytes &ico, const std::vector<Image> &images)
{
    const std::vector<IcoEntry> entries = ParseIco(ico);
    ASSERT_EQ(entries.size(), images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(entries[i].width, images[i].size) << "image " << i;
        EXPECT_EQ(entries[i].height, images[i].size) << "image " << i;
        EXPECT_EQ(entries[i].bits, images[i].bits) << "image " << i;
        EXPECT_EQ(entries[i].bytes, images[i].bytes) << "image " << i;
    }
}

// Whatever a damaged file yields must still be a sound .ico: no crash, no directory pointing
// outside the bytes returned.
void ExpectNothingOrSoundIcons(const std::string &path)
{
    const int count = win::ExtractIconCount(path);
    EXPECT_GE(count, 0);
    for (int index : {0, 1, 2, -7}) {
        const Bytes ico = win::ExtractIconAsIco(path, index);
        if (!ico.empty())
            ParseIco(ico);
    }
}

TEST(IconFile, IsOneIconWhoseBytesComeBackWhole)
{
    TempMachine machine;
    const Bytes ico = IcoFile({DibImage(16, 0x40), DibImage(32, 0x80), PngImage(256)});
    WriteBytes(machine.PathOf("three.ico"), ico);
    EXPECT_EQ(win::ExtractIconCount(machine.PathOf("three.ico")), 1);
    EXPECT_EQ(win::ExtractIconAsIco(machine.PathOf("three.ico"), 0), ico);
    EXPECT_TRUE(win::ExtractIconAsIco(machine.PathOf("three.ico"), 1).empty());
    EXPECT_TRUE(win::ExtractIconAsIco(machine.PathOf("three.ico"), -1).empty());
}

TEST(IconFile, IsFoundThroughTheMachinesDrive)
{
    TempMachine machine;
    const Bytes ico = IcoFile({DibImage(32, 0x55)});
    WriteBytes(machine.PathOf("drive_c/windows/korvex.ico"), ico);
    EXPECT_EQ(win::ExtractIconCount("C:\\windows\\korvex.ico"), 1);
    EXPECT_EQ(win::ExtractIconAsIco("C:\\windows\\korvex.ico", 0), ico);
    EXPECT_EQ(win::ExtractIconAsIco("c:/windows/korvex.ico", 0), ico);
    EXPECT_EQ(win::ExtractIconCount("Q:\\windows\\korvex.ico"), 0) << "a drive without a link";
    EXPECT_EQ(win::ExtractIconCount("windows\\korvex.ico"), 0) << "a relative path has no place";
}

TEST(IconFile, DamagedFilesHoldNoIcon)
{
    TempMachine machine;
    const Bytes good = IcoFile({DibImage(16, 0x40), PngImage(48)});
    struct Damage {
        const char *what;
        std::size_t at;
        std::uint32_t value;
    };
    const Damage damages[] = {
        {"no images", 4, 0x0000},          {"a cursor, not an icon", 2, 0x0002},
        {"offset past the end", 18, 9999}, {"offset inside the directory", 18, 8},
        {"size past the end", 14, 70000},  {"an empty image", 14, 0},
        {"a huge image count", 4, 0xFFFF},
    };
    for (const Damage &damage : damages) {
        Bytes bad = good;
        if (damage.at < 6) {
            bad[damage.at] = static_cast<std::uint8_t>(damage.value);
            bad[damage.at + 1] = static_cast<std::uint8_t>(damage.value >> 8);
        } else {
            Patch32(bad, damage.at, damage.value);
        }
        WriteBytes(machine.PathOf("bad.ico"), bad);
        EXPECT_EQ(win::ExtractIconCount(machine.PathOf("bad.ico")), 0) << damage.what;
        EXPECT_TRUE(win::ExtractIconAsIco(machine.PathOf("bad.ico"), 0).empty()) << damage.what;
    }
    Bytes notAnImage = good;
    notAnImage[6 + 32] = 7; // the DIB's header size
    WriteBytes(machine.PathOf("bad.ico"), notAnImage);
    EXPECT_EQ(win::ExtractIconCount(machine.PathOf("bad.ico")), 0) << "an image that is neither a DIB nor a PNG";
}

class PortableFile : public ::testing::TestWithParam<bool>
{
};

TEST_P(PortableFile, GroupsComeOutInDirectoryOrderWithTheirOwnImages)
{
    TempMachine machine;
    const std::string path = machine.PathOf("two.dll");
    WriteBytes(path, PeFile(GetParam(), Groups(), Icons()));
    EXPECT_EQ(win::ExtractIconCount(path), 2);
    ExpectImagesAre(win::ExtractIconAsIco(path, 0), {Icons()[0].image, Icons()[1].image});
    ExpectImagesAre(win::ExtractIconAsIco(path, 1), {Icons()[2].image});
    EXPECT_TRUE(win::ExtractIconAsIco(path, 2).empty());
    EXPECT_TRUE(win::ExtractIconAsIco(path, -1).empty()) << "no group has ID 1";
}

TEST_P(PortableFile, NegativeIndexNamesTheGroupsId)
{
    TempMachine machine;
    WriteBytes(machine.PathOf("two.dll"), PeFile(GetParam(), Groups(), Icons()));
    EXPECT_EQ(win::ExtractIconAsIco(machine.PathOf("two.dll"), -7),
              win::ExtractIconAsIco(machine.PathOf("two.dll"), 1));
    EXPECT_TRUE(win::ExtractIconAsIco(machine.PathOf("two.dll"), std::numeric_limits<int>::min()).empty());
}

TEST_P(PortableFile, MissingOrUnreadableImagesAreLeftOut)
{
    TempMachine machine;
    const std::string path = machine.PathOf("gaps.exe");
    std::vector<Icon> icons = Icons();
    icons[1].dataOutsideFile = true;
    const std::vector<Group> groups{{"", 1, {1, 2, 9}}, {"", 2, {9}}, {"", 3, {2}}};
    WriteBytes(path, PeFile(GetParam(), groups, icons));
    EXPECT_EQ(win::ExtractIconCount(path), 3) << "groups count even when their images are gone";
    ExpectImagesAre(win::ExtractIconAsIco(path, 0), {icons[0].image});
    EXPECT_TRUE(win::ExtractIconAsIco(path, 1).empty()) << "RT_ICON 9 does not exist";
    EXPECT_TRUE(win::ExtractIconAsIco(path, 2).empty()) << "RT_ICON 2 lies outside the file";
}

TEST_P(PortableFile, WithoutIconsHasNone)
{
    TempMachine machine;
    WriteBytes(machine.PathOf("plain.dll"), PeFile(GetParam(), {}, Icons()));
    EXPECT_EQ(win::ExtractIconCount(machine.PathOf("plain.dll")), 0);
    EXPECT_TRUE(win::ExtractIconAsIco(machine.PathOf("plain.dll"), 0).empty());
}

TEST_P(PortableFile, DamagedHeadersHideAllIcons)
{
    TempMachine machine;
    const Bytes good = PeFile(GetParam(), Groups(), Icons());
    const std::size_t section = SectionHeaderOffset(good);
    const std::size_t resourceSlot = 0x40 + 24 + (GetParam() ? 112 : 96) + 16;
    const std::size_t groupType = Le32(good, kResourceFileOffset + 16 + 8 + 4) & 0x7FFFFFFF;
    const auto midEntries = static_cast<std::uint32_t>(groupType + 16 + 4);
    struct Damage {
        const char *what;
        std::size_t at;
        std::uint32_t value;
    };
    const Damage damages[] = {
        {"PE header past the end", 0x3c, 0x7FFFFFF0},
        {"not a PE signature", 0x40, 0x0000454E},
        {"section data past the end", section + 20, 0x10000000},
        {"section mapped elsewhere", section + 12, 0x5000},
        {"section's file data ends inside the group entries", section + 16, midEntries},
        {"section's mapped size ends inside the group entries", section + 8, midEntries},
        {"resource directory outside every section", resourceSlot, 0x90000},
        {"no resource directory", resourceSlot, 0},
        {"more group entries than the file holds", kResourceFileOffset + groupType + 12, 0xFFFFFFFF},
        {"type entry is not a directory", kResourceFileOffset + 16 + 8 + 4, static_cast<std::uint32_t>(groupType)},
    };
    for (const Damage &damage : damages) {
        Bytes bad = good;
        Patch32(bad, damage.at, damage.value);
        WriteBytes(machine.PathOf("bad.dll"), bad);
        EXPECT_EQ(win::ExtractIconCount(machine.PathOf("bad.dll")), 0) << damage.what;
        EXPECT_TRUE(win::ExtractIconAsIco(machine.PathOf("bad.dll"), 0).empty()) << damage.what;
    }
}

TEST_P(PortableFile, EveryTruncationFailsCleanly)
{
    TempMachine machine;
    const Bytes good = PeFile(GetParam(), Groups(), Icons());
    const std::string path = machine.PathOf("cut.dll");
    WriteBytes(path, good);
    // Shortened in place, from the end: cuts through images, then directories, then headers.
    for (std::size_t length = good.size(); length-- > 0;) {
        std::filesystem::resize_file(path, length);
        ExpectNothingOrSoundIcons(path);
        if (length < kResourceFileOffset) {
            EXPECT_EQ(win::ExtractIconCount(path), 0) << "cut at " << length << ", before the resources";
        }
    }
}

TEST_P(PortableFile, RandomDamageNeverEscapesTheFile)
{
    TempMachine machine;
    const Bytes good = PeFile(GetParam(), Groups(), Icons());
    const std::string path = machine.PathOf("noise.dll");
    std::mt19937 random(20240601);
    // Headers and resource directories are where the offsets live; image bytes are opaque.
    std::uniform_int_distribution<std::size_t> where(0, kResourceFileOffset + 0x180);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 1500; ++round) {
        Bytes bad = good;
        for (int hits = 1 + round % 4; hits > 0; --hits)
            bad[where(random)] = static_cast<std::uint8_t>(round % 3 == 0 ? 0xFF : byte(random));
        WriteBytes(path, bad);
        ExpectNothingOrSoundIcons(path);
    }
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, PortableFile, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &param) { return param.param ? "Pe32Plus" : "Pe32"; });

TEST(Unreadable, AnythingElseHoldsNoIcon)
{
    TempMachine machine;
    const std::pair<const char *, Bytes> files[] = {
        {"empty.ico", {}},
        {"short.ico", {0, 0, 1}},
        {"text.exe", {'h', 'e', 'l', 'l', 'o', '\n'}},
        {"mz.exe", {'M', 'Z'}},
        {"dos.exe", Bytes{'M', 'Z', 0x90, 0}},
    };
    for (const auto &[name, bytes] : files) {
        WriteBytes(machine.PathOf(name), bytes);
        EXPECT_EQ(win::ExtractIconCount(machine.PathOf(name)), 0) << name;
        EXPECT_TRUE(win::ExtractIconAsIco(machine.PathOf(name), 0).empty()) << name;
    }
    for (const std::string &path : {machine.PathOf("drive_c"), machine.PathOf("missing.dll"), std::string()}) {
        EXPECT_EQ(win::ExtractIconCount(path), 0) << path;
        EXPECT_TRUE(win::ExtractIconAsIco(path, 0).empty()) << path;
    }
}

std::string WineShell32()
{
    for (const char *candidate :
         {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shell32.dll", "/usr/lib/wine/x86_64-windows/shell32.dll",
          "/usr/lib/i386-linux-gnu/wine/i386-windows/shell32.dll", "/usr/lib/wine/i386-windows/shell32.dll",
          "/opt/wine-stable/lib64/wine/x86_64-windows/shell32.dll"}) {
        if (std::filesystem::is_regular_file(candidate))
            return candidate;
    }
    return {};
}

// Each image agrees with its directory entry: a mix-up of group entries and RT_ICON resources
// would show up as a 16x16 entry holding a 32x32 bitmap.
void ExpectImagesMatchTheirEntries(const Bytes &ico, int index)
{
    for (const IcoEntry &entry : ParseIco(ico)) {
        ASSERT_GE(entry.bytes.size(), 24u) << "icon " << index;
        if (entry.bytes[0] == 0x89) {
            EXPECT_EQ(Be32(entry.bytes, 16), static_cast<std::uint32_t>(entry.width)) << "PNG in icon " << index;
        } else {
            EXPECT_EQ(Le32(entry.bytes, 4), static_cast<std::uint32_t>(entry.width)) << "DIB in icon " << index;
            EXPECT_EQ(Le32(entry.bytes, 8), static_cast<std::uint32_t>(entry.height * 2)) << "DIB in icon " << index;
        }
    }
}

TEST(WineShell32, HoldsHundredsOfIconsThatAllRebuild)
{
    const std::string shell32 = WineShell32();
    if (shell32.empty())
        GTEST_SKIP() << "Wine's shell32.dll is not installed";
    TempMachine machine;
    const int count = win::ExtractIconCount(shell32);
    std::cout << "[          ] " << shell32 << " holds " << count << " icons\n";
    EXPECT_GE(count, 100);
    for (int index = 0; index < count; ++index) {
        const Bytes ico = win::ExtractIconAsIco(shell32, index);
        ASSERT_FALSE(ico.empty()) << "icon " << index;
        ExpectImagesMatchTheirEntries(ico, index);
    }
    EXPECT_TRUE(win::ExtractIconAsIco(shell32, count).empty());

    std::filesystem::create_symlink(shell32, machine.PathOf("drive_c/windows/system32/shell32.dll"));
    EXPECT_EQ(win::ExtractIconCount("C:\\windows\\system32\\shell32.dll"), count);
    EXPECT_EQ(win::ExtractIconAsIco("C:\\windows\\system32\\shell32.dll", count - 1),
              win::ExtractIconAsIco(shell32, count - 1));
}

} // namespace
