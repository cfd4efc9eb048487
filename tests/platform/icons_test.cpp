// Icons taken out of .ico and PE files, built here byte by byte and damaged in every field that
// holds an offset or a count. (Wine's own shell32.dll is read by the system icons page's test.)
#include "TempMachine.h"
#include "icons.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

// Little-endian fields, appended or written over what is there.
void PutAt(Bytes &out, std::size_t at, std::size_t value, std::size_t bytes = 4)
{
    out.resize(std::max(out.size(), at + bytes));
    for (std::size_t i = 0; i < bytes; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void Put16(Bytes &out, std::size_t value)
{
    PutAt(out, out.size(), value, 2);
}
void Put32(Bytes &out, std::size_t value)
{
    PutAt(out, out.size(), value);
}

std::uint32_t Le32(const Bytes &bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// A new file each time: ext4 flushes a file rewritten over itself when it is closed.
void WriteBytes(const std::string &path, const Bytes &bytes)
{
    std::filesystem::remove(path);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Image {
    int size; // pixels square; 256 is written as 0 in directories
    Bytes bytes;
};

// A 32-bit icon bitmap as .ico files and RT_ICON resources hold it: BITMAPINFOHEADER with the
// height doubled for the AND mask, the colour rows, then the mask rows.
Image DibImage(int size, std::uint8_t shade)
{
    Bytes bytes;
    for (const std::size_t field : {40, size, size * 2})
        Put32(bytes, field);
    Put16(bytes, 1);
    Put16(bytes, 32);
    bytes.resize(40, 0);
    bytes.resize(bytes.size() + static_cast<std::size_t>(size * size * 4), shade);
    bytes.resize(bytes.size() + static_cast<std::size_t>((size + 31) / 32 * 4 * size), 0);
    return {size, bytes};
}

// The platform passes PNG data through untouched, so the chunks' checksums do not matter here.
Image PngImage(int size)
{
    Bytes bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (int i = 0; i < 2; ++i)
        for (int shift : {24, 16, 8, 0})
            bytes.push_back(static_cast<std::uint8_t>(size >> shift));
    bytes.insert(bytes.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82});
    return {size, bytes};
}

// Width, height, colours, reserved, planes, bits and size: the start of an image's directory entry.
void PutTraits(Bytes &out, const Image &image)
{
    out.insert(out.end(), {static_cast<std::uint8_t>(image.size), static_cast<std::uint8_t>(image.size), 0, 0});
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, image.bytes.size());
}

Bytes IcoFile(const std::vector<Image> &images)
{
    Bytes out;
    for (const std::size_t field : {0ul, 1ul, images.size()})
        Put16(out, field);
    std::size_t offset = 6 + 16 * images.size();
    for (const Image &image : images) {
        PutTraits(out, image);
        Put32(out, offset);
        offset += image.bytes.size();
    }
    for (const Image &image : images)
        out.insert(out.end(), image.bytes.begin(), image.bytes.end());
    return out;
}

// The images of an .ico file as (width, bits, bytes), failing the test when its directory points
// outside the file: what a damaged file yields must still be sound.
std::vector<std::tuple<int, int, Bytes>> ParseIco(const Bytes &ico)
{
    std::vector<std::tuple<int, int, Bytes>> images;
    const std::size_t count = ico.size() < 6 ? 0 : ico[4] | ico[5] << 8;
    if (count == 0 || Le32(ico, 0) != 0x10000 || 6 + 16 * count > ico.size()) {
        ADD_FAILURE() << "not an .ico with " << count << " images in " << ico.size() << " bytes";
        return {};
    }
    for (std::size_t at = 6; at < 6 + 16 * count; at += 16) {
        const std::uint64_t size = Le32(ico, at + 8);
        const std::uint64_t offset = Le32(ico, at + 12);
        if (size == 0 || offset < 6 + 16 * count || offset + size > ico.size()) {
            ADD_FAILURE() << "an image at " << offset << "+" << size << " of " << ico.size();
            return {};
        }
        images.emplace_back(ico[at] ? ico[at] : 256, ico[at + 6] | ico[at + 7] << 8,
                            Bytes(ico.begin() + static_cast<std::ptrdiff_t>(offset),
                                  ico.begin() + static_cast<std::ptrdiff_t>(offset + size)));
    }
    return images;
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
constexpr std::uint32_t kSubdirectory = 0x80000000u;

Bytes GroupData(const Group &group, const std::vector<Icon> &icons)
{
    Bytes out;
    for (const std::size_t field : {0ul, 1ul, group.iconIds.size()})
        Put16(out, field);
    for (std::uint16_t id : group.iconIds) {
        const auto icon = std::find_if(icons.begin(), icons.end(), [id](const Icon &i) { return i.id == id; });
        PutTraits(out, icon != icons.end() ? icon->image : DibImage(16, 0));
        Put16(out, id); // where an .ico entry holds the image's offset
    }
    return out;
}

// The resource section: the root, the two type directories, a language directory and a data
// entry per resource, the groups' names, then the data. Offsets inside it are from its start;
// data is addressed by RVA.
Bytes ResourceSection(const std::vector<Group> &groups, const std::vector<Icon> &icons)
{
    Bytes out;
    const auto directory = [&out](std::size_t named, std::size_t ids) {
        const std::size_t at = out.size();
        out.resize(at + 12, 0);
        Put16(out, named);
        Put16(out, ids);
        out.resize(out.size() + 8 * (named + ids), 0);
        return at;
    };
    const auto entry = [&out](std::size_t in, std::size_t index, std::size_t name, std::size_t target) {
        PutAt(out, in + 16 + 8 * index, name);
        PutAt(out, in + 20 + 8 * index, target);
    };
    struct Data {
        std::size_t entry;
        Bytes bytes;
        bool outside;
    };
    std::vector<Data> data;
    const auto resource = [&](std::size_t type, std::size_t index, std::uint16_t id, Bytes bytes, bool outside) {
        const std::size_t language = directory(0, 1);
        entry(type, index, id, language | kSubdirectory);
        entry(language, 0, 0x409, out.size());
        data.push_back({out.size(), std::move(bytes), outside});
        out.resize(out.size() + 16, 0);
    };
    const std::size_t root = directory(0, 2);
    const std::size_t iconType = directory(0, icons.size());
    const auto named = static_cast<std::size_t>(std::ranges::count_if(groups, [](auto &g) { return !g.name.empty(); }));
    const std::size_t groupType = directory(named, groups.size() - named);
    entry(root, 0, 3, iconType | kSubdirectory);
    entry(root, 1, 14, groupType | kSubdirectory);
    for (std::size_t i = 0; i < icons.size(); ++i)
        resource(iconType, i, icons[i].id, icons[i].image.bytes, icons[i].dataOutsideFile);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        resource(groupType, i, groups[i].id, GroupData(groups[i], icons), false);
        if (!groups[i].name.empty()) {
            PutAt(out, groupType + 16 + 8 * i, out.size() | kSubdirectory);
            Put16(out, groups[i].name.size());
            for (char c : groups[i].name)
                Put16(out, static_cast<std::uint8_t>(c));
        }
    }
    for (const Data &d : data) {
        out.resize((out.size() + 7) & ~std::size_t{7}, 0);
        PutAt(out, d.entry, d.outside ? 0x7FFF0000u : kResourceRva + out.size());
        PutAt(out, d.entry + 4, d.bytes.size());
        out.insert(out.end(), d.bytes.begin(), d.bytes.end());
    }
    return out;
}

// A DLL with one section, .rsrc, and nothing else a loader would want: all that icon
// extraction reads.
Bytes PeFile(bool plus, const std::vector<Group> &groups, const std::vector<Icon> &icons)
{
    const Bytes resources = ResourceSection(groups, icons);
    const std::size_t optionalBytes = plus ? 240 : 224;
    const std::size_t rawBytes = (resources.size() + 0x1FF) & ~std::size_t{0x1FF};
    Bytes out{'M', 'Z'};
    out.resize(0x3c, 0);
    Put32(out, 0x40);
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
    PutAt(out, directories - 4, 16);
    PutAt(out, directories + 16, kResourceRva);
    PutAt(out, directories + 20, resources.size());
    out.insert(out.end(), {'.', 'r', 's', 'r', 'c', 0, 0, 0});
    for (const std::size_t field : {resources.size(), std::size_t{kResourceRva}, rawBytes, kResourceFileOffset})
        Put32(out, field);
    out.resize(out.size() + 12, 0);
    Put32(out, 0x40000040);
    out.resize(kResourceFileOffset, 0);
    out.insert(out.end(), resources.begin(), resources.end());
    out.resize(kResourceFileOffset + rawBytes, 0);
    return out;
}

void ExpectImagesAre(const Bytes &ico, const std::vector<Image> &images)
{
    std::vector<std::tuple<int, int, Bytes>> expected;
    for (const Image &image : images)
        expected.emplace_back(image.size, 32, image.bytes);
    EXPECT_EQ(ParseIco(ico), expected);
}

void ExpectNothingOrSoundIcons(const std::string &path)
{
    EXPECT_GE(win::ExtractIconCount(path), 0);
    for (int index : {0, 1, 2, -7})
        if (const Bytes ico = win::ExtractIconAsIco(path, index); !ico.empty())
            ParseIco(ico);
}

// Every 32-bit field among the first `span` bytes set in turn to values that break offsets and
// counts, then random bytes at random places, then every length cut off: whatever a damaged
// file yields must be sound.
void ExpectEveryDamageSound(const Bytes &good, std::size_t span, const std::string &path)
{
    const auto expectSound = [&path](const Bytes &bad, const std::string &what) {
        SCOPED_TRACE(what);
        WriteBytes(path, bad);
        ExpectNothingOrSoundIcons(path);
    };
    for (std::size_t at = 0; at + 4 <= span; at += 2)
        for (const std::size_t value :
             {0ul, 1ul, 0x7FFFFFF0ul, 0xFFFFFFFFul, good.size() - 2, Le32(good, at) - 4ul, Le32(good, at) + 6ul}) {
            Bytes bad = good;
            PutAt(bad, at, value);
            expectSound(bad, std::to_string(value) + " at " + std::to_string(at));
        }
    std::mt19937 random(20240601);
    std::uniform_int_distribution<std::size_t> where(0, span - 1);
    for (int round = 0; round < 1500; ++round) {
        Bytes bad = good;
        for (int hits = 1 + round % 4; hits > 0; --hits)
            bad[where(random)] = static_cast<std::uint8_t>(round % 3 == 0 ? 0xFF : random());
        expectSound(bad, "random damage " + std::to_string(round));
    }
    WriteBytes(path, good);
    for (std::size_t length = good.size(); length-- > 0;) {
        std::filesystem::resize_file(path, length);
        ExpectNothingOrSoundIcons(path);
    }
}

TEST(IconFile, IsOneIconWhoseBytesComeBackWholeThroughTheMachinesDrive)
{
    TempMachine machine;
    const Bytes ico = IcoFile({DibImage(16, 0x40), DibImage(32, 0x80), PngImage(256)});
    WriteBytes(machine.PathOf("drive_c/windows/korvex.ico"), ico);
    for (const std::string &path : {machine.PathOf("drive_c/windows/korvex.ico"),
                                    std::string("C:\\windows\\korvex.ico"), std::string("c:/windows/korvex.ico")}) {
        EXPECT_EQ(win::ExtractIconCount(path), 1) << path;
        EXPECT_EQ(win::ExtractIconAsIco(path, 0), ico) << path;
        EXPECT_TRUE(win::ExtractIconAsIco(path, 1).empty()) << path;
        EXPECT_TRUE(win::ExtractIconAsIco(path, -1).empty()) << path;
    }
    EXPECT_EQ(win::ExtractIconCount("Q:\\windows\\korvex.ico"), 0) << "a drive without a link";
    EXPECT_EQ(win::ExtractIconCount("windows\\korvex.ico"), 0) << "a relative path has no place";
    for (const std::string &path : {machine.PathOf("drive_c"), machine.PathOf("missing.dll"), std::string()})
        EXPECT_TRUE(win::ExtractIconAsIco(path, 0).empty()) << path;
}

TEST(IconFile, DamageNeverEscapesTheFile)
{
    TempMachine machine;
    ExpectEveryDamageSound(IcoFile({DibImage(16, 0x40), PngImage(48)}), 6 + 2 * 16 + 48, machine.PathOf("bad.ico"));
}

class PortableFile : public ::testing::TestWithParam<bool>
{
protected:
    TempMachine machine_;
    const std::string path_ = machine_.PathOf("file.dll");
    std::vector<Icon> icons_ = {{1, DibImage(16, 0x11)}, {2, DibImage(32, 0x22)}, {5, PngImage(256)}};
    // Two named groups would sort by name in a linker's output; one is enough to fix the order.
    const std::vector<Group> groups_ = {{"MAINICON", 0, {1, 2}}, {"", 7, {5}}};
};

TEST_P(PortableFile, GroupsComeOutInDirectoryOrderWithTheirOwnImages)
{
    WriteBytes(path_, PeFile(GetParam(), groups_, icons_));
    EXPECT_EQ(win::ExtractIconCount(path_), 2);
    ExpectImagesAre(win::ExtractIconAsIco(path_, 0), {icons_[0].image, icons_[1].image});
    ExpectImagesAre(win::ExtractIconAsIco(path_, 1), {icons_[2].image});
    EXPECT_TRUE(win::ExtractIconAsIco(path_, 2).empty());
    EXPECT_EQ(win::ExtractIconAsIco(path_, -7), win::ExtractIconAsIco(path_, 1)) << "the group with ID 7";
    EXPECT_TRUE(win::ExtractIconAsIco(path_, -1).empty()) << "no group has ID 1";
    EXPECT_TRUE(win::ExtractIconAsIco(path_, std::numeric_limits<int>::min()).empty());

    WriteBytes(path_, PeFile(GetParam(), {}, icons_));
    EXPECT_EQ(win::ExtractIconCount(path_), 0) << "images without a group";
}

TEST_P(PortableFile, MissingOrUnreadableImagesAreLeftOut)
{
    icons_[1].dataOutsideFile = true;
    WriteBytes(path_, PeFile(GetParam(), {{"", 1, {1, 2, 9}}, {"", 2, {9}}, {"", 3, {2}}}, icons_));
    EXPECT_EQ(win::ExtractIconCount(path_), 3) << "groups count even when their images are gone";
    ExpectImagesAre(win::ExtractIconAsIco(path_, 0), {icons_[0].image});
    EXPECT_TRUE(win::ExtractIconAsIco(path_, 1).empty()) << "RT_ICON 9 does not exist";
    EXPECT_TRUE(win::ExtractIconAsIco(path_, 2).empty()) << "RT_ICON 2 lies outside the file";
}

TEST_P(PortableFile, DamageNeverEscapesTheFile)
{
    // Headers and resource directories are where the offsets live; image bytes are opaque.
    ExpectEveryDamageSound(PeFile(GetParam(), groups_, icons_), kResourceFileOffset + 0x180, path_);
    std::filesystem::resize_file(path_, kResourceFileOffset);
    EXPECT_EQ(win::ExtractIconCount(path_), 0) << "cut before the resources";
}

TEST_P(PortableFile, AGroupThatMakesTheReaderReadTooMuchIsNone)
{
    // 8 MB that are no picture, named five times, cost as much reading as five pictures.
    icons_.push_back({7, {16, Bytes(8u << 20, 0)}});
    WriteBytes(path_, PeFile(GetParam(), {{"", 1, {7, 7, 7, 7, 7, 1}}, {"", 2, {7, 1}}}, icons_));
    EXPECT_TRUE(win::ExtractIconAsIco(path_, 0).empty());
    // Read once, it is left out as before.
    ExpectImagesAre(win::ExtractIconAsIco(path_, 1), {icons_[0].image});
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, PortableFile, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &param) { return param.param ? "Pe32Plus" : "Pe32"; });

} // namespace
