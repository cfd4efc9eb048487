// Replacing a 2 MB SYSTEM.DAT inside a 500 MB disk image, the whole crash-safe sequence, as a
// page save on an image machine does it; and the steps it is made of, to show where the time
// goes: one mtools process, the check that no emulator holds the image, the independent read
// back, and (for qcow2) the write back through qemu-io.
#include "disk_image.h"
#include "fat_reader.h"
#include "image_guard.h"
#include "image_process.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

extern char **environ;

namespace
{

namespace fs = std::filesystem;
using namespace win::image;
using win::DWORD;

constexpr std::size_t kSystemDatBytes = std::size_t{2} * 1024 * 1024;

std::string Bytes(char seed)
{
    std::string bytes(kSystemDatBytes, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(seed + i % 251);
    return bytes;
}

// The 500 MB images, made once: a sparse raw FAT32 one and the same as qcow2.
class Images
{
public:
    static Images &Get()
    {
        static Images images;
        return images;
    }
    ~Images() { fs::remove_all(folder_); }
    Images(const Images &) = delete;
    Images &operator=(const Images &) = delete;

    std::string Path(const char *format) const { return folder_ + "/win98." + format; }
    ImageOptions Options() const
    {
        ImageOptions options;
        options.cacheFolder = folder_ + "/cache";
        return options;
    }

private:
    Images()
    {
        folder_ = (fs::temp_directory_path() / "korvex-image-bench").string();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        std::ofstream(folder_ + "/SYSTEM.DAT", std::ios::binary) << Bytes('s');
        std::vector<std::string> environment;
        for (char **e = environ; *e; ++e)
            environment.emplace_back(*e);
        for (const char *format : {"raw", "qcow2"}) {
            const ProcessResult made =
                RunProcess({PYTHON3, MAKE_DISK_IMAGE, Path(format), "--layout", "fat32", "--size", "500", "--format",
                            format, "--system-dat", folder_ + "/SYSTEM.DAT"},
                           environment);
            if (!made.Succeeded())
                std::abort();
        }
    }

    std::string folder_;
};

std::unique_ptr<DiskImage> OpenImage(benchmark::State &state, const char *format)
{
    std::string error;
    std::unique_ptr<DiskImage> image = DiskImage::Open(Images::Get().Path(format), Images::Get().Options(), error);
    if (!image || image->ReadOnly())
        state.SkipWithError((error + (image ? image->ReadOnlyMessage() : "")).c_str());
    return image;
}

void ReplaceSystemDat(benchmark::State &state, const char *format)
{
    const std::unique_ptr<DiskImage> image = OpenImage(state, format);
    if (!image)
        return;
    const std::string versions[] = {Bytes('a'), Bytes('b')};
    int n = 0;
    for (auto _ : state) {
        if (image->Files().ReplaceFile("WINDOWS\\SYSTEM.DAT", versions[++n % 2], true) != ERROR_SUCCESS)
            state.SkipWithError(image->Files().LastMessage().c_str());
    }
}

void BM_ReplaceSystemDatRaw(benchmark::State &state)
{
    ReplaceSystemDat(state, "raw");
}
BENCHMARK(BM_ReplaceSystemDatRaw)->Unit(benchmark::kMillisecond);

void BM_ReplaceSystemDatQcow2(benchmark::State &state)
{
    ReplaceSystemDat(state, "qcow2");
}
BENCHMARK(BM_ReplaceSystemDatQcow2)->Unit(benchmark::kMillisecond);

// Opening: finding Windows on the raw image; converting the qcow2 one to its working copy.
void BM_OpenImage(benchmark::State &state, const char *format)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(OpenImage(state, format));
}
BENCHMARK_CAPTURE(BM_OpenImage, raw, "raw")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenImage, qcow2, "qcow2")->Unit(benchmark::kMillisecond);

// One mtools process: mattrib asked for one file's attributes.
void BM_OneMtoolsProcess(benchmark::State &state)
{
    const std::unique_ptr<DiskImage> image = OpenImage(state, "raw");
    DWORD attributes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(image && image->Files().GetAttributes("WINDOWS\\SYSTEM.DAT", attributes));
}
BENCHMARK(BM_OneMtoolsProcess)->Unit(benchmark::kMillisecond);

// Reading SYSTEM.DAT through mcopy, and through Korvex's own reader (the read back).
void BM_ReadSystemDatMtools(benchmark::State &state)
{
    const std::unique_ptr<DiskImage> image = OpenImage(state, "raw");
    std::string bytes;
    for (auto _ : state)
        benchmark::DoNotOptimize(image && image->Files().ReadFile("WINDOWS\\SYSTEM.DAT", bytes));
}
BENCHMARK(BM_ReadSystemDatMtools)->Unit(benchmark::kMillisecond);

void BM_ReadSystemDatDirectly(benchmark::State &state)
{
    const std::unique_ptr<DiskImage> image = OpenImage(state, "raw");
    if (!image)
        return;
    const std::string path = image->Path();
    for (auto _ : state) {
        FileSource disk(path, fs::file_size(path));
        FatReader reader(disk, image->Volume().partition.offset, image->Volume().geometry);
        std::string bytes;
        const std::optional<FatEntry> entry = reader.Find("WINDOWS\\SYSTEM.DAT");
        benchmark::DoNotOptimize(entry && reader.ReadFile(*entry, bytes));
    }
}
BENCHMARK(BM_ReadSystemDatDirectly)->Unit(benchmark::kMillisecond);

// The check before every change that no emulator has the image open or locked.
void BM_InUseCheck(benchmark::State &state)
{
    const std::string path = Images::Get().Path("raw");
    for (auto _ : state)
        benchmark::DoNotOptimize(ProcessesHolding(path).empty() && !LockedByAnother(path));
}
BENCHMARK(BM_InUseCheck)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
