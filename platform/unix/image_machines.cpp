// Disk images as machines to choose from: what the chooser shows of each without opening it
// as a machine (its Windows version is read straight from the guest's SYSTEM.DAT).
#include "creg_file.h"
#include "fat_reader.h"
#include "image_discovery.h"
#include "images.h"
#include "machine.h"
#include "windows_versions.h"

#include <filesystem>
#include <optional>

namespace win
{

namespace
{

namespace fs = std::filesystem;

// SYSTEM.DAT of a real guest is a few megabytes; anything far larger is not one.
constexpr std::uint32_t kLargestSystemDat = 64u << 20;
constexpr std::uint32_t kRegSz = 1;

// The guest's HKEY_LOCAL_MACHINE, read from the volume that holds Windows; nothing when the
// image or the file cannot be read.
std::optional<creg::Hive> GuestSystemHive(const std::string &path)
{
    const std::unique_ptr<image::BlockSource> disk = image::DiskOf(path);
    if (!disk)
        return std::nullopt;
    for (const image::FatVolume &volume : image::FindFatVolumes(*disk)) {
        image::FatReader reader(*disk, volume.partition.offset, volume.geometry);
        const std::optional<image::FatEntry> file = reader.Find(image::WindowsFolderOf(reader) + "\\SYSTEM.DAT");
        std::string bytes;
        if (!file || file->IsFolder() || !reader.ReadFile(*file, bytes, kLargestSystemDat))
            continue;
        creg::Hive hive;
        if (hive.Load(std::vector<std::uint8_t>(bytes.begin(), bytes.end())))
            return hive;
    }
    return std::nullopt;
}

// The version the guest reports, by the rule every machine's version is found with; empty
// when its registry names none.
std::string GuestWindowsVersion(creg::Hive &system)
{
    const detail::StringReader read = [&system](HKEY root, std::string_view path,
                                                std::string_view name) -> std::optional<std::string> {
        if (root != HKEY_LOCAL_MACHINE)
            return std::nullopt;
        const creg::Key *key = system.FindKey(path);
        const creg::Value *value = key ? creg::Hive::FindValue(*key, name) : nullptr;
        if (!value || value->type != kRegSz)
            return std::nullopt;
        std::string text(value->data.begin(), value->data.end());
        return text.substr(0, text.find('\0'));
    };
    const detail::MachineVersion version = detail::ReportedVersionOf(read);
    return version.platform == VER_PLATFORM_WIN32_WINDOWS ? version.name : std::string();
}

} // namespace

bool HoldsWindowsImage(const std::string &path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec) && image::WindowsPartitionOf(path).has_value();
}

ImageMachine DescribeImageMachine(const std::string &path, const std::string &name, const std::string &emulator)
{
    ImageMachine machine{path, name.empty() ? fs::path(path).stem().string() : name, emulator, {}};
    if (std::optional<creg::Hive> system = GuestSystemHive(path))
        machine.windowsVersion = GuestWindowsVersion(*system);
    return machine;
}

std::vector<ImageMachine> FindImageMachines()
{
    std::vector<ImageMachine> machines;
    for (const image::FoundImage &found : image::DiscoverImages(image::DefaultDiscoveryPlaces()))
        machines.push_back(DescribeImageMachine(found.path, found.name, found.emulator));
    return machines;
}

} // namespace win
