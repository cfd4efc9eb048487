// How long finding the user's Wine prefixes takes with 200 of them spread over the places the
// tools keep them: the chooser lists them all when it opens, so this is the wait before it shows.
//
// Half the prefixes name their Windows version in user.reg; the other half leave it to the NT
// keys of system.reg, which are then looked up there too. The argument is the size of each
// system.reg in KiB (a fresh Wine prefix's is about 2 MiB).
#include "prefixes.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{

namespace fs = std::filesystem;

constexpr int kPrefixCount = 200;

void Write(const fs::path &file, const std::string &text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// Registry text of about `kib` KiB: filler keys around the keys that tell the version.
std::string RegistryText(const char *header, size_t kib, const std::string &versionKeys)
{
    std::string text = std::string("WINE REGISTRY Version 2\n") + header + "\n\n#arch=win64\n";
    const size_t half = kib * 512;
    for (int i = 0; text.size() < half; ++i)
        text += "\n[Software\\\\Classes\\\\.ext" + std::to_string(i) +
                "] 1700000000\n#time=1d9b0c1a2b3c4d5\n@=\"extfile\"\n\"Content Type\"=\"application/x-ext\"\n";
    text += versionKeys;
    for (int i = 0; text.size() < kib * 1024; ++i)
        text += "\n[System\\\\ControlSet001\\\\Services\\\\Svc" + std::to_string(i) +
                "] 1700000000\n#time=1d9b0c1a2b3c4d5\n\"Start\"=dword:00000003\n\"Type\"=dword:00000010\n";
    return text;
}

// Where the i-th prefix goes: winetricks, Bottles, Steam, PlayOnLinux and Lutris' games folder.
fs::path PlaceOf(const fs::path &home, int i)
{
    const std::string n = std::to_string(i);
    switch (i % 5) {
    case 0: return home / ".local/share/wineprefixes" / ("p" + n);
    case 1: return home / ".local/share/bottles/bottles" / ("b" + n);
    case 2: return home / ".local/share/Steam/steamapps/compatdata" / n / "pfx";
    case 3: return home / ".PlayOnLinux/wineprefix" / ("o" + n);
    default: return home / "Games" / ("g" + n);
    }
}

fs::path MakeFakeHome(size_t systemKib)
{
    const fs::path home = fs::temp_directory_path() / ("korvex-bench-home-" + std::to_string(systemKib));
    fs::remove_all(home);
    const fs::path steam = home / ".local/share/Steam";
    Write(steam / "steamapps/libraryfolders.vdf",
          "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam.string() + "\"\n\t}\n}\n");
    const std::string userHeader = ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000";
    const std::string systemHeader = ";; All keys relative to REGISTRY\\\\Machine";
    const std::string setting = "\n[Software\\\\Wine] 1700000000\n\"Version\"=\"win98\"\n";
    const std::string ntKeys = "\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1700000000\n"
                               "\"CurrentBuild\"=\"19045\"\n\"CurrentVersion\"=\"10.0\"\n";
    const std::string withSetting = RegistryText(userHeader.c_str(), 64, setting);
    const std::string withoutSetting = RegistryText(userHeader.c_str(), 64, {});
    const std::string system = RegistryText(systemHeader.c_str(), systemKib, ntKeys);
    for (int i = 0; i < kPrefixCount; ++i) {
        const fs::path prefix = PlaceOf(home, i);
        Write(prefix / "user.reg", i % 2 ? withSetting : withoutSetting);
        Write(prefix / "system.reg", system);
        Write(prefix / "userdef.reg", "WINE REGISTRY Version 2\n");
        fs::create_directories(prefix / "drive_c/windows/system32");
    }
    return home;
}

void BM_FindWinePrefixes(benchmark::State &state)
{
    const fs::path home = MakeFakeHome(static_cast<size_t>(state.range(0)));
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("WINEPREFIX");
    if (win::FindWinePrefixes().size() != kPrefixCount)
        state.SkipWithError("not every fake prefix was found");
    for (auto _ : state)
        benchmark::DoNotOptimize(win::FindWinePrefixes());
    setenv("HOME", oldHome.c_str(), 1);
    fs::remove_all(home);
}
BENCHMARK(BM_FindWinePrefixes)->Arg(64)->Arg(2048)->Unit(benchmark::kMillisecond);

} // namespace
