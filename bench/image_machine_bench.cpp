// A Windows 98 image as the machine, against a Wine prefix of the same registry: opening the
// machine and reading what the System page shows, one registry write (on the image: the 2 MiB
// SYSTEM.DAT carried over, serialised, strictly checked, replaced inside the 500 MB image and
// read back), and a page's save of 20 values in one change bracket.
#include "change_bracket.h"
#include "creg_file.h"
#include "image_process.h"
#include "machine.h"
#include "win32.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

extern char **environ;

namespace
{

namespace fs = std::filesystem;
using namespace win;

constexpr int kKeys = 13000; // about 2 MiB as SYSTEM.DAT
constexpr int kFanOut = 8;
constexpr const char *kVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";

void Must(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "image_machine_bench: %s failed\n", what);
        std::abort();
    }
}

std::string KeyPath(int i)
{
    std::string path = "Key" + std::to_string(i);
    for (int at = i; at >= kFanOut; at = at / kFanOut - 1)
        path = "Key" + std::to_string(at / kFanOut - 1) + "\\" + path;
    return path;
}

std::vector<std::uint8_t> SystemDat()
{
    creg::Hive hive = creg::Hive::Empty();
    const auto set = [&](const std::string &path, const char *name, const std::string &text) {
        creg::Key *key = nullptr;
        Must(static_cast<bool>(hive.CreateKey(path, &key)), "CreateKey");
        Must(static_cast<bool>(hive.SetValue(*key, name, REG_SZ, {text.begin(), text.end() + 1})), "SetValue");
    };
    set(kVersionKey, "VersionNumber", "4.10.2222");
    set(kVersionKey, "RegisteredOwner", "Korvex");
    set("System\\CurrentControlSet\\Control\\Nls\\CodePage", "ACP", "1252");
    for (int i = 0; i < kKeys; ++i)
        set("Bench\\" + KeyPath(i), "", "C:\\WINDOWS\\SYSTEM\\FILE" + std::to_string(i) + ".DLL");
    std::vector<std::uint8_t> bytes;
    Must(static_cast<bool>(hive.Serialize(bytes)), "Serialize");
    return bytes;
}

std::string SystemReg()
{
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n\n";
    const auto key = [&](const std::string &path) {
        std::string escaped;
        for (const char c : path)
            escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        text += "[" + escaped + "] 1700000000\n";
    };
    key(kVersionKey);
    text += "\"RegisteredOwner\"=\"Korvex\"\n\"VersionNumber\"=\"4.10.2222\"\n\n";
    for (int i = 0; i < kKeys; ++i) {
        key("Bench\\" + KeyPath(i));
        text += "@=\"C:\\\\WINDOWS\\\\SYSTEM\\\\FILE" + std::to_string(i) + ".DLL\"\n\n";
    }
    return text;
}

// The two machines, made once.
class Machines
{
public:
    static Machines &Get()
    {
        static Machines machines;
        return machines;
    }
    ~Machines() { fs::remove_all(folder_); }
    Machines(const Machines &) = delete;
    Machines &operator=(const Machines &) = delete;

    std::string Image() const { return folder_ + "/win98.img"; }
    std::string Prefix() const { return folder_ + "/prefix"; }

private:
    Machines()
    {
        folder_ = (fs::temp_directory_path() / "korvex-image-machine-bench").string();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        setenv("XDG_CACHE_HOME", (folder_ + "/cache").c_str(), 1);
        const std::vector<std::uint8_t> system = SystemDat();
        std::ofstream(folder_ + "/SYSTEM.DAT", std::ios::binary)
            .write(reinterpret_cast<const char *>(system.data()), std::ssize(system));
        std::vector<std::string> environment;
        for (char **e = environ; *e; ++e)
            environment.emplace_back(*e);
        Must(image::RunProcess({PYTHON3, MAKE_DISK_IMAGE, Image(), "--layout", "fat32", "--size", "500", "--system-dat",
                                folder_ + "/SYSTEM.DAT"},
                               environment)
                 .Succeeded(),
             "make_disk_image.py");
        Must(CreateEmptyMachine(Prefix()), "CreateEmptyMachine");
        std::ofstream(Prefix() + "/system.reg") << SystemReg();
    }

    std::string folder_;
};

std::string Query(const char *name)
{
    HKEY key = nullptr;
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size);
        RegCloseKey(key);
    }
    return buffer;
}

void OpenAndReadSystemPage(benchmark::State &state, const std::string &machine)
{
    UseMachineFolder(machine);
    for (auto _ : state) {
        ResetMachine();
        benchmark::DoNotOptimize(ReportedWindowsVersion());
        if (Query("RegisteredOwner") != "Korvex")
            state.SkipWithError("the machine did not open");
    }
}

void BM_OpenAndReadSystemPage_Image(benchmark::State &state)
{
    OpenAndReadSystemPage(state, Machines::Get().Image());
}
BENCHMARK(BM_OpenAndReadSystemPage_Image)->Unit(benchmark::kMillisecond);

void BM_OpenAndReadSystemPage_WinePrefix(benchmark::State &state)
{
    OpenAndReadSystemPage(state, Machines::Get().Prefix());
}
BENCHMARK(BM_OpenAndReadSystemPage_WinePrefix)->Unit(benchmark::kMillisecond);

void OneWrite(benchmark::State &state, const std::string &machine)
{
    UseMachineFolder(machine);
    ResetMachine();
    HKEY key = nullptr;
    Must(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS, "RegOpenKeyExA");
    const char *owners[] = {"Ann", "Bob"};
    int n = 0;
    for (auto _ : state) {
        const char *owner = owners[++n % 2];
        if (RegSetValueExA(key, "RegisteredOwner", 0, REG_SZ, reinterpret_cast<const BYTE *>(owner), 4) !=
            ERROR_SUCCESS)
            state.SkipWithError(LastMachineProblem().c_str());
    }
    RegCloseKey(key);
}

void BM_OneRegistryWrite_Image(benchmark::State &state)
{
    OneWrite(state, Machines::Get().Image());
}
BENCHMARK(BM_OneRegistryWrite_Image)->Unit(benchmark::kMillisecond);

void BM_OneRegistryWrite_WinePrefix(benchmark::State &state)
{
    OneWrite(state, Machines::Get().Prefix());
}
BENCHMARK(BM_OneRegistryWrite_WinePrefix)->Unit(benchmark::kMillisecond);

// A page's save: 20 values set in one bracket, which writes SYSTEM.DAT once at its end.
void PageSave(benchmark::State &state, const std::string &machine)
{
    constexpr int kValues = 20;
    UseMachineFolder(machine);
    ResetMachine();
    HKEY key = nullptr;
    Must(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS, "RegOpenKeyExA");
    DWORD round = 0;
    for (auto _ : state) {
        ++round;
        ChangeBracket save;
        for (int i = 0; i < kValues; ++i) {
            const std::string name = "Setting" + std::to_string(i);
            RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&round), sizeof round);
        }
        if (save.End() != ERROR_SUCCESS)
            state.SkipWithError(LastMachineProblem().c_str());
    }
    RegCloseKey(key);
}

void BM_PageSave_Image(benchmark::State &state)
{
    PageSave(state, Machines::Get().Image());
}
BENCHMARK(BM_PageSave_Image)->Unit(benchmark::kMillisecond);

void BM_PageSave_WinePrefix(benchmark::State &state)
{
    PageSave(state, Machines::Get().Prefix());
}
BENCHMARK(BM_PageSave_WinePrefix)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
