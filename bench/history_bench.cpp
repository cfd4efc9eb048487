// What the change journal costs: a durable SetDword on user.reg with the journal recording it,
// paused, and not installed at all (as in every program without it), in one run; and opening
// the History page on a journal of 10,000 changes.
//
// The machine is a new, empty one in a temporary folder with a user.reg of a few thousand keys
// (about the size of a used Wine prefix's), and its journal is kept in a temporary state folder.
#include "Reg.h"
#include "change_hook.h"
#include "frmHistory.h"
#include "journal.h"
#include "machine.h"
#include "win32.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;

constexpr int kUserKeys = 3000;
constexpr int kJournalRecords = 10000;

// A temporary machine and state folder for the whole run, removed at its end.
class BenchMachine
{
public:
    BenchMachine()
    {
        root_ = fs::temp_directory_path() / ("korvex-history-bench-" + std::to_string(::getpid()));
        fs::create_directories(root_ / "state");
        setenv("WINEPREFIX", (root_ / "machine").c_str(), 1);
        setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
        win::CreateEmptyMachine((root_ / "machine").string());
        FillUserHive();
        win::ResetMachine();
    }
    ~BenchMachine()
    {
        std::error_code error;
        fs::remove_all(root_, error);
    }
    BenchMachine(const BenchMachine &) = delete;
    BenchMachine &operator=(const BenchMachine &) = delete;

private:
    void FillUserHive() const
    {
        const fs::path file = root_ / "machine" / "user.reg";
        std::ifstream in(file);
        std::ostringstream text;
        text << in.rdbuf();
        std::ofstream out(file, std::ios::trunc);
        out << text.str();
        for (int i = 0; i < kUserKeys; ++i)
            out << "\n[Software\\\\Bench\\\\Key" << i << "] 1700000000\n#time=1d9a0000000000\n\"Name\"=\"value " << i
                << "\"\n\"Number\"=dword:0000000" << (i % 10) << "\n";
    }

    fs::path root_;
};

BenchMachine &Machine()
{
    static BenchMachine machine;
    return machine;
}

constexpr const char *kPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

void SetDwords(benchmark::State &state, const char *name)
{
    Machine();
    qint32 value = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            Reg::SetDword(HKEY_CURRENT_USER, QLatin1String(kPolicies), QString::fromLatin1(name), ++value));
}

void SetDwordWithJournal(benchmark::State &state)
{
    journal::Install();
    SetDwords(state, "NoRun");
}

void SetDwordPaused(benchmark::State &state)
{
    journal::Install();
    const journal::Pause unrecorded;
    SetDwords(state, "NoFind");
}

void SetDwordWithoutJournal(benchmark::State &state)
{
    win::SetChangeHook(nullptr);
    SetDwords(state, "NoClose");
}

// Fills the journal with 10,000 recorded changes, once.
void FillJournal()
{
    static bool filled = false;
    if (filled)
        return;
    filled = true;
    Machine();
    journal::Record record;
    record.page = "StartMenu";
    record.kind = journal::Kind::Value;
    record.target = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
    record.before = {true, REG_DWORD, std::string("\0\0\0\0", 4)};
    record.after = {true, REG_DWORD, std::string("\1\0\0\0", 4)};
    const std::string path = journal::JournalPath();
    record.name = "NoRun";
    // A journal of this record alone (the SetDword benchmarks leave theirs), then copied.
    fs::remove(path);
    win::ResetMachine();
    journal::Append(record);
    // The rest are copies of the record's bytes, which is what 10,000 appends would leave.
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string bytes = text.str();
    const std::string header = bytes.substr(0, 8);
    const std::string one = bytes.substr(8);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << header;
    for (int i = 0; i < kJournalRecords; ++i)
        out << one;
}

void OpenHistoryPage(benchmark::State &state)
{
    FillJournal();
    for (auto _ : state) {
        frmHistory page;
        page.resize(800, 600);
        page.Load();
        benchmark::DoNotOptimize(page.children().size());
    }
    state.counters["records"] = static_cast<double>(journal::Records().size());
}

BENCHMARK(SetDwordWithoutJournal)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(SetDwordPaused)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(SetDwordWithJournal)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(OpenHistoryPage)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
