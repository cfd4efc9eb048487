#include "image_discovery.h"

#include "durable_file.h"
#include "fat_reader.h"
#include "image_format.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>

namespace win::image
{

namespace
{

namespace fs = std::filesystem;

// Configuration folders are searched this deep (86Box keeps "Virtual Machines/<name>/").
constexpr int kSearchDepth = 3;

std::string Trimmed(const std::string &text)
{
    const std::size_t start = text.find_first_not_of(" \t\r");
    const std::size_t end = text.find_last_not_of(" \t\r");
    return start == std::string::npos ? std::string() : text.substr(start, end - start + 1);
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return text;
}

std::vector<std::string> Lines(const std::string &path)
{
    std::string text;
    detail::ReadWholeFile(path, text);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(Trimmed(text.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

// Files under `folder` (down to kSearchDepth) whose name ends with `suffix`, sorted.
std::vector<std::string> FilesEndingWith(const std::string &folder, const std::string &suffix)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it.depth() >= kSearchDepth)
            it.disable_recursion_pending();
        const std::string name = Lower(it->path().filename().string());
        if (it->is_regular_file(ec) && name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// `path` as written in a configuration file, made absolute against the file's folder.
std::string Resolved(std::string path, const std::string &configFile)
{
    if (path.size() >= 2 && (path.front() == '"' || path.front() == '\'') && path.back() == path.front())
        path = path.substr(1, path.size() - 2);
    if (path.empty())
        return {};
    fs::path p(path);
    if (p.is_relative())
        p = fs::path(configFile).parent_path() / p;
    return p.lexically_normal().string();
}

// 86Box ("hdd_01_fn = disk.img") and PCem ("hdc_fn = /vm/disk.img") disk lines.
bool IsDiskKey(const std::string &key)
{
    if (key.size() == 6 && key.compare(0, 2, "hd") == 0 && key.compare(3, 3, "_fn") == 0)
        return key[2] >= 'a' && key[2] <= 'z';
    return key.size() > 7 && key.compare(0, 4, "hdd_") == 0 && key.compare(key.size() - 3, 3, "_fn") == 0 &&
           key.find_first_not_of("0123456789", 4) == key.size() - 3;
}

void FromEmulatorConfig(const std::string &file, const std::string &emulator, std::vector<ListedImage> &found)
{
    std::string name = fs::path(file).stem().string();
    if (Lower(name) == "86box")
        name = fs::path(file).parent_path().filename().string();
    for (const std::string &line : Lines(file)) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos && IsDiskKey(Lower(Trimmed(line.substr(0, equals)))))
            found.push_back({name, Resolved(Trimmed(line.substr(equals + 1)), file), emulator});
    }
}

std::string XmlDecoded(std::string text)
{
    constexpr std::pair<const char *, char> kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
    for (const auto &[entity, c] : kEntities) {
        for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
            text.replace(at, std::char_traits<char>::length(entity), 1, c);
    }
    return text;
}

// The value of attribute `name` in the tag text `tag` ("<source file='x.img'/>").
std::string Attribute(const std::string &tag, const char *name)
{
    const std::string key = std::string(" ") + name + "=";
    std::size_t at = 0;
    while ((at = tag.find(key, at)) != std::string::npos) {
        const std::size_t open = at + key.size();
        if (open < tag.size() && (tag[open] == '"' || tag[open] == '\'')) {
            const std::size_t close = tag.find(tag[open], open + 1);
            if (close != std::string::npos)
                return XmlDecoded(tag.substr(open + 1, close - open - 1));
        }
        at = open;
    }
    return {};
}

// Every start tag `<element ...>` in `xml`, as text.
std::vector<std::string> Tags(const std::string &xml, const std::string &element)
{
    std::vector<std::string> tags;
    const std::string open = "<" + element;
    for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
        const char next = at + open.size() < xml.size() ? xml[at + open.size()] : '>';
        const std::size_t end = xml.find('>', at);
        if (end == std::string::npos)
            break;
        if (next == ' ' || next == '\t' || next == '\n' || next == '>' || next == '/')
            tags.push_back(xml.substr(at, end - at + 1));
    }
    return tags;
}

std::string ElementText(const std::string &xml, const std::string &element)
{
    const std::size_t open = xml.find("<" + element + ">");
    const std::size_t close = xml.find("</" + element + ">");
    if (open == std::string::npos || close == std::string::npos || close < open)
        return {};
    const std::size_t start = open + element.size() + 2;
    return XmlDecoded(Trimmed(xml.substr(start, close - start)));
}

void FromLibvirtDomain(const std::string &file, std::vector<ListedImage> &found)
{
    std::string xml;
    detail::ReadWholeFile(file, xml);
    const std::string name = ElementText(xml, "name");
    for (std::size_t at = xml.find("<disk"); at != std::string::npos; at = xml.find("<disk", at + 1)) {
        const std::size_t end = xml.find("</disk>", at);
        const std::string disk = xml.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const std::vector<std::string> head = Tags(disk, "disk");
        if (head.empty() || Attribute(head.front(), "device") == "cdrom")
            continue;
        for (const std::string &source : Tags(disk, "source")) {
            const std::string path = Attribute(source, "file");
            if (!path.empty())
                found.push_back({name, Resolved(path, file), "QEMU"});
        }
    }
}

void FromVirtualBoxMachine(const std::string &file, std::vector<ListedImage> &found)
{
    std::string xml;
    detail::ReadWholeFile(file, xml);
    const std::vector<std::string> machine = Tags(xml, "Machine");
    const std::string name = machine.empty() ? fs::path(file).stem().string() : Attribute(machine.front(), "name");
    for (const std::string &disk : Tags(xml, "HardDisk")) {
        const std::string location = Attribute(disk, "location");
        if (!location.empty())
            found.push_back({name, Resolved(location, file), "VirtualBox"});
    }
}

void FromVirtualBox(const std::string &settings, std::vector<ListedImage> &found)
{
    std::string xml;
    if (!detail::ReadWholeFile(settings, xml))
        return;
    for (const std::string &entry : Tags(xml, "MachineEntry")) {
        const std::string machine = Attribute(entry, "src");
        if (!machine.empty())
            FromVirtualBoxMachine(Resolved(machine, settings), found);
    }
}

// Splits a command line at blanks, keeping quoted parts together.
std::vector<std::string> Words(const std::string &line)
{
    std::vector<std::string> words;
    std::string word;
    char quote = 0;
    bool inWord = false;
    for (const char c : line + " ") {
        if (quote != 0 && c == quote) {
            quote = 0;
        } else if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
            inWord = true;
        } else if (quote == 0 && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    return words;
}

// "imgmount c disk.img -t hdd" and "imgmount 2 "My Disk.img" -size ..." lines. Every word after
// the drive that is not an option may be an image; the values of options name no file and drop
// out with the other names of files that do not exist.
void FromDosBoxConfig(const std::string &file, std::vector<ListedImage> &found)
{
    const std::string name = fs::path(file).stem().string();
    for (const std::string &line : Lines(file)) {
        const std::vector<std::string> words = Words(line);
        if (words.size() < 3 || Lower(words[0]) != "imgmount")
            continue;
        for (std::size_t i = 2; i < words.size(); ++i) {
            if (!words[i].empty() && words[i].front() != '-')
                found.push_back({name, Resolved(words[i], file), "DOSBox-X"});
        }
    }
}

std::string Environment(const char *name, const std::string &fallback)
{
    const char *value = std::getenv(name);
    return value && *value == '/' ? value : fallback;
}

} // namespace

std::unique_ptr<BlockSource> DiskOf(const std::string &path)
{
    ImageKind kind;
    if (!RecogniseImage(path, kind))
        return nullptr;
    if (QemuFormatName(kind.format)[0] == '\0')
        return std::make_unique<FileSource>(path, kind.rawSize);
    const QemuImageFacts facts = QemuImageInfo(path, kind.format);
    if (!facts.read)
        return nullptr;
    return std::make_unique<QemuIoSource>(path, kind.format, facts.virtualSize);
}

DiscoveryPlaces DefaultDiscoveryPlaces()
{
    DiscoveryPlaces places;
    places.home = Environment("HOME", "/");
    places.configHome = Environment("XDG_CONFIG_HOME", places.home + "/.config");
    places.dataHome = Environment("XDG_DATA_HOME", places.home + "/.local/share");
    return places;
}

std::vector<ListedImage> ListedImages(const DiscoveryPlaces &places)
{
    std::vector<ListedImage> listed;
    for (const std::string &folder : {places.configHome + "/86Box", places.dataHome + "/86Box", places.home + "/86Box"})
        for (const std::string &file : FilesEndingWith(folder, ".cfg"))
            FromEmulatorConfig(file, "86Box", listed);
    for (const std::string &folder : {places.home + "/.pcem", places.dataHome + "/pcem", places.configHome + "/pcem"})
        for (const std::string &file : FilesEndingWith(folder, ".cfg"))
            FromEmulatorConfig(file, "PCem", listed);
    std::vector<std::string> libvirt{places.configHome + "/libvirt/qemu"};
    libvirt.insert(libvirt.end(), places.systemFolders.begin(), places.systemFolders.end());
    for (const std::string &folder : libvirt)
        for (const std::string &file : FilesEndingWith(folder, ".xml"))
            FromLibvirtDomain(file, listed);
    FromVirtualBox(places.configHome + "/VirtualBox/VirtualBox.xml", listed);
    FromVirtualBox(places.home + "/.VirtualBox/VirtualBox.xml", listed);
    for (const std::string &folder :
         {places.configHome + "/dosbox-x", places.home + "/.dosbox", places.configHome + "/dosbox"})
        for (const std::string &file : FilesEndingWith(folder, ".conf"))
            FromDosBoxConfig(file, listed);

    std::vector<ListedImage> existing;
    std::set<std::string> seen;
    for (ListedImage &image : listed) {
        std::error_code ec;
        if (image.path.empty() || !fs::is_regular_file(image.path, ec))
            continue;
        if (seen.insert(detail::ResolvedPath(image.path)).second)
            existing.push_back(std::move(image));
    }
    return existing;
}

std::optional<Partition> WindowsPartitionOf(const std::string &path)
{
    const std::unique_ptr<BlockSource> disk = DiskOf(path);
    if (!disk)
        return std::nullopt;
    for (const FatVolume &volume : FindFatVolumes(*disk)) {
        FatReader reader(*disk, volume.partition.offset, volume.geometry);
        if (HoldsWindows(reader))
            return volume.partition;
    }
    return std::nullopt;
}

std::vector<FoundImage> DiscoverImages(const DiscoveryPlaces &places)
{
    std::vector<FoundImage> found;
    for (ListedImage &image : ListedImages(places)) {
        if (const std::optional<Partition> partition = WindowsPartitionOf(image.path))
            found.push_back({std::move(image), *partition});
    }
    return found;
}

} // namespace win::image
