#include "image_format.h"

#include "image_process.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace win::image
{

namespace
{

constexpr std::size_t kFooter = 512;
constexpr std::uint64_t kChunk = std::uint64_t{256} * 1024;

std::uint32_t Be32(const std::string &b, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<std::uint8_t>(b[at + i]);
    return value;
}

bool StartsWith(const std::string &bytes, const char *mark)
{
    return bytes.compare(0, std::strlen(mark), mark) == 0;
}

ImageFormat VhdFormat(std::uint32_t diskType)
{
    return diskType == 4   ? ImageFormat::DifferencingVhd
           : diskType == 2 ? ImageFormat::FixedVhd
                           : ImageFormat::DynamicVhd;
}

// The value of `"key":` in qemu-img's JSON, from the colon to the end of the line.
std::string JsonValue(const std::string &json, const char *key)
{
    const std::string quoted = std::string("\"") + key + "\":";
    const std::size_t at = json.find(quoted);
    if (at == std::string::npos)
        return {};
    const std::size_t start = json.find_first_not_of(' ', at + quoted.size());
    const std::size_t end = json.find('\n', start);
    return start == std::string::npos ? std::string() : json.substr(start, end - start);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The bytes of qemu-io's "read -v" dump: "00001000:  41 42 ...  AB..", up to 16 to a line.
std::string DumpBytes(const std::string &dump)
{
    std::string bytes;
    std::size_t start = 0;
    while (start < dump.size()) {
        const std::size_t end = std::min(dump.find('\n', start), dump.size());
        const std::size_t colon = dump.find(':', start);
        if (colon < end && colon > start && HexDigit(dump[start]) >= 0 && dump.compare(colon, 3, ":  ") == 0) {
            for (std::size_t i = 0, at = colon + 3; i < 16 && at + 1 < end; ++i, at += 3) {
                const int high = HexDigit(dump[at]);
                const int low = HexDigit(dump[at + 1]);
                if (high < 0 || low < 0)
                    break;
                bytes.push_back(static_cast<char>(high << 4 | low));
            }
        }
        start = end + 1;
    }
    return bytes;
}

} // namespace

bool RecogniseImage(const std::string &path, ImageKind &kind)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    kind = {};
    kind.fileSize = static_cast<std::uint64_t>(in.tellg());
    std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(kind.fileSize, 512)), '\0');
    in.seekg(0);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    kind.rawSize = kind.fileSize;
    if (StartsWith(head, "QFI\xfb")) {
        kind.format = ImageFormat::Qcow2;
    } else if (StartsWith(head, "conectix") && head.size() >= 64) {
        kind.format = VhdFormat(Be32(head, 60));
    } else if (head.size() >= 0x44 && Be32(head, 0x40) == 0x7F10DABE) {
        kind.format = ImageFormat::Vdi;
    } else if (StartsWith(head, "KDMV") || StartsWith(head, "# Disk DescriptorFile")) {
        kind.format = ImageFormat::Vmdk;
    } else if (StartsWith(head, "Bochs Virtual HD Image")) {
        kind.format = ImageFormat::GrowingBochs;
    } else if (kind.fileSize >= 2 * kFooter) {
        std::string footer(kFooter, '\0');
        in.seekg(static_cast<std::streamoff>(kind.fileSize - kFooter));
        in.read(footer.data(), kFooter);
        if (in && StartsWith(footer, "conectix") && Be32(footer, 60) == 2) {
            kind.format = ImageFormat::FixedVhd;
            kind.rawSize = kind.fileSize - kFooter;
        }
    }
    return true;
}

const char *QemuFormatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Raw:
    case ImageFormat::FixedVhd: return "";
    case ImageFormat::DynamicVhd:
    case ImageFormat::DifferencingVhd: return "vpc";
    case ImageFormat::Qcow2: return "qcow2";
    case ImageFormat::Vdi: return "vdi";
    case ImageFormat::Vmdk: return "vmdk";
    case ImageFormat::GrowingBochs: return "bochs";
    }
    return "";
}

const char *FormatDisplayName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Raw: return "raw";
    case ImageFormat::FixedVhd: return "fixed VHD";
    case ImageFormat::DynamicVhd: return "dynamic VHD";
    case ImageFormat::DifferencingVhd: return "differencing VHD";
    case ImageFormat::Qcow2: return "qcow2";
    case ImageFormat::Vdi: return "VDI";
    case ImageFormat::Vmdk: return "VMDK";
    case ImageFormat::GrowingBochs: return "growing Bochs";
    }
    return "";
}

bool FormatWritable(ImageFormat format)
{
    return format == ImageFormat::Raw || format == ImageFormat::FixedVhd || format == ImageFormat::DynamicVhd ||
           format == ImageFormat::Qcow2;
}

std::vector<std::string> QemuEnvironment()
{
    std::vector<std::string> environment = InheritedVariables({"PATH", "HOME", "TMPDIR"});
    environment.emplace_back("LC_ALL=C.UTF-8");
    return environment;
}

QemuImageFacts QemuImageInfo(const std::string &path, ImageFormat format)
{
    QemuImageFacts facts;
    const ProcessResult result =
        RunProcess({"qemu-img", "info", "-U", "--output=json", "-f", QemuFormatName(format), path}, QemuEnvironment());
    if (!result.Succeeded()) {
        facts.error = result.started ? result.err : "qemu-img could not be started: install qemu-utils";
        return facts;
    }
    const std::string &json = result.out;
    facts.read = true;
    facts.backingFile = json.find("\"backing-filename") != std::string::npos ||
                        json.find("\"full-backing-filename") != std::string::npos;
    const std::string snapshots = JsonValue(json, "snapshots");
    facts.snapshots = !snapshots.empty() && snapshots.find(']') == std::string::npos;
    facts.markedUnclean =
        JsonValue(json, "dirty-flag").rfind("true", 0) == 0 || JsonValue(json, "corrupt").rfind("true", 0) == 0;
    facts.virtualSize = std::strtoull(JsonValue(json, "virtual-size").c_str(), nullptr, 10);
    return facts;
}

bool QemuIoSource::LoadChunk(std::uint64_t chunk)
{
    if (chunks_.count(chunk) != 0)
        return true;
    const std::uint64_t offset = chunk * kChunk;
    const std::uint64_t length = std::min(kChunk, size_ - offset);
    const std::string command = "read -v " + std::to_string(offset) + " " + std::to_string(length);
    const ProcessResult result =
        RunProcess({"qemu-io", "-r", "-U", "-f", QemuFormatName(format_), "-c", command, path_}, QemuEnvironment());
    std::string bytes = result.Succeeded() ? DumpBytes(result.out) : std::string();
    if (bytes.size() != length)
        return false;
    chunks_[chunk] = std::move(bytes);
    return true;
}

bool QemuIoSource::Read(std::uint64_t offset, std::size_t length, std::string &bytes)
{
    if (offset > size_ || length > size_ - offset)
        return false;
    bytes.clear();
    while (bytes.size() < length) {
        const std::uint64_t at = offset + bytes.size();
        if (!LoadChunk(at / kChunk))
            return false;
        const std::string &chunk = chunks_[at / kChunk];
        const std::size_t from = static_cast<std::size_t>(at % kChunk);
        bytes.append(chunk, from, std::min(chunk.size() - from, length - bytes.size()));
    }
    return true;
}

} // namespace win::image
