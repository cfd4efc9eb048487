// How fast the system icons page opens on a Wine prefix's shell32.dll (every icon listed, the
// first drawn) and how fast it switches the selected icon.
//
// The shell32.dll is taken from KORVEX_BENCH_PREFIX, else from the test run's Wine prefix
// (KORVEX_WINE_TEMPLATE); it is copied into a machine folder of the benchmark's own.
#include "Page.h"
#include "frmShell32.h"
#include "machine.h"
#include "win32.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{

namespace fs = std::filesystem;

// A machine folder holding only the prefix's shell32.dll; empty when there is no prefix.
std::string MachineWithShell32()
{
    const char *prefix = std::getenv("KORVEX_BENCH_PREFIX");
    if (!prefix || !*prefix)
        prefix = std::getenv("KORVEX_WINE_TEMPLATE");
    const fs::path dll = fs::path(prefix ? prefix : "") / "drive_c/windows/system32/shell32.dll";
    if (!prefix || !fs::exists(dll))
        return {};
    const fs::path folder = fs::temp_directory_path() / "korvex-icons-bench";
    fs::remove_all(folder);
    if (!win::CreateEmptyMachine(folder.string()))
        return {};
    fs::copy_file(dll, folder / "drive_c/windows/system32/shell32.dll");
    setenv("WINEPREFIX", folder.c_str(), 1);
    win::ResetMachine();
    return folder.string();
}

void OpenSystemIconsPage(benchmark::State &state)
{
    for (auto _ : state) {
        frmShell32 page;
        page.Load();
        benchmark::DoNotOptimize(page.findChild<QListWidget *>(QStringLiteral("lstSI"))->count());
    }
}

void SwitchSelectedIcon(benchmark::State &state)
{
    frmShell32 page;
    page.Load();
    auto *list = page.findChild<QListWidget *>(QStringLiteral("lstSI"));
    int row = 0;
    for (auto _ : state) {
        row = (row + 37) % list->count();
        list->setCurrentRow(row);
    }
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::string machine = MachineWithShell32();
    if (machine.empty()) {
        std::fprintf(stderr, "No Wine prefix: set KORVEX_BENCH_PREFIX to one made by wineboot.\n");
        return 1;
    }
    benchmark::RegisterBenchmark("OpenSystemIconsPage", OpenSystemIconsPage)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("SwitchSelectedIcon", SwitchSelectedIcon)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(machine);
    return 0;
}
