#include "image_copy.h"

#include "fat_reader.h"
#include "image_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace win::image
{

namespace
{

namespace fs = std::filesystem;

// Regions closer than this go back as one write: fewer qemu-io commands, a little more data.
constexpr std::uint64_t kJoinGap = std::uint64_t{64} * 1024;

std::uint32_t FatEntryAt(const std::string &fat, FatKind kind, std::uint32_t cluster)
{
    const auto byte = [&fat](std::size_t at) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(fat[at])); };
    switch (kind) {
    case FatKind::Fat12: {
        const std::size_t at = cluster + cluster / 2;
        const std::uint32_t pair = byte(at) | byte(at + 1) << 8;
        return (cluster & 1) ? pair >> 4 : pair & 0x0FFF;
    }
    case FatKind::Fat16: return byte(std::size_t{cluster} * 2) | byte(std::size_t{cluster} * 2 + 1) << 8;
    case FatKind::Fat32: {
        const std::size_t at = cluster * std::size_t{4};
        return (byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24) & 0x0FFFFFFF;
    }
    }
    return 0;
}

// The sectors (as regions) where `now` differs from `before`, both starting at `offset`.
void AddDifferences(const std::string &before, const std::string &now, std::uint64_t offset, std::uint64_t sector,
                    std::vector<Region> &regions)
{
    for (std::uint64_t at = 0; at < now.size(); at += sector) {
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(sector, now.size() - at));
        if (at >= before.size() || std::memcmp(before.data() + at, now.data() + at, length) != 0)
            regions.emplace_back(offset + at, length);
    }
}

std::string ParentOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Working copies are named "<pid>-<image name>-XXXXXX"; those of a process that no longer runs
// were left by a crash and may be large.
void RemoveCopiesOfEndedProcesses(const std::string &folder)
{
    std::error_code ec;
    std::vector<fs::path> left;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const std::size_t dash = name.find('-');
        if (dash == 0 || dash == std::string::npos || name.find_first_not_of("0123456789") != dash)
            continue;
        const auto pid = static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10));
        if (kill(pid, 0) != 0 && errno == ESRCH)
            left.push_back(entry.path());
    }
    for (const fs::path &path : left)
        fs::remove(path, ec);
}

// A new private folder under TMPDIR (or /tmp when TMPDIR has spaces); "" when none can be made.
std::string PieceFolder()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    if (base.find_first_of(" \t\n") != std::string::npos)
        base = "/tmp";
    std::string folder = base + "/korvex-pieces-XXXXXX";
    return mkdtemp(folder.data()) ? folder : std::string();
}

struct timespec ModificationTime(const struct stat &st)
{
    return st.st_mtim;
}

} // namespace

std::vector<Region> JoinRegions(std::vector<Region> regions, std::uint64_t gap)
{
    std::sort(regions.begin(), regions.end());
    std::vector<Region> joined;
    for (const Region &r : regions) {
        if (r.second == 0)
            continue;
        if (!joined.empty() && r.first <= joined.back().first + joined.back().second + gap) {
            const std::uint64_t end = std::max(joined.back().first + joined.back().second, r.first + r.second);
            joined.back().second = end - joined.back().first;
        } else {
            joined.push_back(r);
        }
    }
    return joined;
}

std::unique_ptr<WorkingCopy> WorkingCopy::Make(const std::string &image, ImageFormat format, const std::string &folder,
                                               bool shared, std::string &error)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    RemoveCopiesOfEndedProcesses(folder);
    std::string raw = folder + "/" + std::to_string(getpid()) + "-" + fs::path(image).filename().string() + "-XXXXXX";
    const int fd = mkstemp(raw.data());
    if (fd < 0) {
        error = "no working copy can be made in " + folder;
        return nullptr;
    }
    close(fd);
    std::unique_ptr<WorkingCopy> copy(new WorkingCopy(image, format, raw, folder));
    copy->NoteImageState();
    std::vector<std::string> command{"qemu-img", "convert", "-f", QemuFormatName(format), "-O", "raw"};
    if (shared)
        command.emplace_back("-U");
    command.push_back(image);
    command.push_back(raw);
    const ProcessResult result = RunProcess(command, QemuEnvironment());
    if (!result.Succeeded()) {
        error = result.started ? result.err : "qemu-img could not be started: install qemu-utils";
        return nullptr;
    }
    return copy;
}

WorkingCopy::~WorkingCopy()
{
    unlink(raw_.c_str());
}

void WorkingCopy::NoteImageState()
{
    struct stat st {
    };
    if (stat(image_.c_str(), &st) == 0) {
        imageTime_ = ModificationTime(st);
        imageSize_ = st.st_size;
    }
}

bool WorkingCopy::ImageUnchanged() const
{
    struct stat st {
    };
    if (stat(image_.c_str(), &st) != 0)
        return false;
    const struct timespec now = ModificationTime(st);
    return now.tv_sec == imageTime_.tv_sec && now.tv_nsec == imageTime_.tv_nsec && st.st_size == imageSize_;
}

bool WorkingCopy::Track(std::uint64_t volumeOffset)
{
    volume_ = volumeOffset;
    return Snapshot();
}

bool WorkingCopy::Snapshot()
{
    std::error_code ec;
    FileSource disk(raw_, fs::file_size(raw_, ec));
    std::string boot;
    if (ec || !disk.Read(volume_, 512, boot))
        return false;
    const std::optional<FatGeometry> geometry = ParseBootSector(boot);
    if (!geometry)
        return false;
    geometry_ = *geometry;
    fats_.assign(geometry_.fatCount, {});
    bool read = disk.Read(volume_, static_cast<std::size_t>(geometry_.FatOffset(0)), reserved_);
    for (std::uint32_t i = 0; i < geometry_.fatCount; ++i)
        read = read &&
               disk.Read(volume_ + geometry_.FatOffset(i), static_cast<std::size_t>(geometry_.FatBytes()), fats_[i]);
    root_.clear();
    if (geometry_.kind != FatKind::Fat32)
        read = read && disk.Read(volume_ + geometry_.RootOffset(),
                                 static_cast<std::size_t>(geometry_.DataOffset() - geometry_.RootOffset()), root_);
    touched_.clear();
    return read;
}

std::vector<Region> WorkingCopy::ChangedRegions()
{
    std::error_code ec;
    FileSource disk(raw_, fs::file_size(raw_, ec));
    std::vector<Region> regions;
    const std::uint64_t sector = geometry_.bytesPerSector;
    std::string now;
    // Anything unreadable goes back whole: the reserved sectors, the FATs and the root.
    if (!disk.Read(volume_, reserved_.size(), now) || now != reserved_)
        regions.emplace_back(0, reserved_.size());
    std::vector<std::string> fatsNow(fats_.size());
    for (std::uint32_t i = 0; i < fats_.size(); ++i) {
        if (disk.Read(volume_ + geometry_.FatOffset(i), fats_[i].size(), fatsNow[i]))
            AddDifferences(fats_[i], fatsNow[i], geometry_.FatOffset(i), sector, regions);
        else
            regions.emplace_back(geometry_.FatOffset(i), fats_[i].size());
    }
    const std::string &before = fats_[geometry_.activeFat];
    const std::string &after = fatsNow[geometry_.activeFat];
    if (after.size() == before.size()) {
        for (std::uint32_t cluster = 2; cluster < geometry_.clusterCount + 2; ++cluster) {
            if (FatEntryAt(before, geometry_.kind, cluster) != FatEntryAt(after, geometry_.kind, cluster))
                regions.emplace_back(geometry_.ClusterOffset(cluster), geometry_.ClusterBytes());
        }
    }
    if (!root_.empty() && (!disk.Read(volume_ + geometry_.RootOffset(), root_.size(), now) || now != root_))
        regions.emplace_back(geometry_.RootOffset(), root_.size());
    FatReader reader(disk, volume_, geometry_);
    for (const std::string &path : touched_) {
        const std::optional<FatEntry> parent = reader.Find(ParentOf(path));
        const std::vector<Region> folder = reader.FolderRegions(parent && parent->firstCluster ? &*parent : nullptr);
        regions.insert(regions.end(), folder.begin(), folder.end());
        const std::optional<FatEntry> entry = reader.Find(path);
        if (entry && entry->firstCluster >= 2) {
            for (const std::uint32_t cluster : reader.Chain(entry->firstCluster))
                regions.emplace_back(geometry_.ClusterOffset(cluster), geometry_.ClusterBytes());
        }
    }
    for (Region &r : regions)
        r.first += volume_;
    return JoinRegions(std::move(regions), kJoinGap);
}

LONG WorkingCopy::WriteBack(std::string &error)
{
    if (!ImageUnchanged()) {
        error = "the image was changed by another program since Korvex opened it";
        return ERROR_SHARING_VIOLATION;
    }
    const std::vector<Region> regions = ChangedRegions();
    if (regions.empty())
        return ERROR_SUCCESS;
    // qemu-io writes a region from the start of a file named in its command line, which it
    // splits at spaces: each region gets a file of its own in a folder without spaces.
    std::string pieces = PieceFolder();
    if (pieces.empty()) {
        error = "no temporary folder for the changed parts of the working copy";
        return ERROR_WRITE_FAULT;
    }
    std::error_code ec;
    FileSource disk(raw_, fs::file_size(raw_, ec));
    std::vector<std::string> command{"qemu-io", "-f", QemuFormatName(format_)};
    LONG rc = ERROR_SUCCESS;
    for (std::size_t i = 0; i < regions.size() && rc == ERROR_SUCCESS; ++i) {
        const auto &[offset, length] = regions[i];
        const std::string piece = pieces + "/" + std::to_string(i);
        std::string bytes;
        std::ofstream out(piece, std::ios::binary);
        if (!disk.Read(offset, static_cast<std::size_t>(length), bytes) ||
            !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
            error = "the changed parts of the working copy could not be prepared in " + pieces;
            rc = ERROR_WRITE_FAULT;
        }
        command.emplace_back("-c");
        command.push_back("write -q -s " + piece + " " + std::to_string(offset) + " " + std::to_string(length));
    }
    if (rc == ERROR_SUCCESS) {
        command.emplace_back("-c");
        command.emplace_back("flush");
        command.push_back(image_);
        const ProcessResult result = RunProcess(command, QemuEnvironment());
        if (!result.Succeeded() || !result.err.empty()) {
            error = result.started ? "qemu-io: " + result.err + result.out : "qemu-io could not be started";
            rc = ERROR_WRITE_FAULT;
        }
    }
    fs::remove_all(pieces, ec);
    if (rc == ERROR_SUCCESS) {
        NoteImageState();
        Snapshot();
    }
    return rc;
}

} // namespace win::image
