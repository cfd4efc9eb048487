// A Windows 98 SYSTEM.DAT of about 2 MiB (13,000 keys in a tree some levels deep, three values
// each, as a machine with many programs installed has): reading it, the strict check alone, and
// the save of one change (a value set, the file laid out again and checked).
#include "creg_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

using win::creg::Hive;
using win::creg::Key;

constexpr int kKeys = 13000;
constexpr int kFanOut = 20;

void Fail(const win::creg::Status &status)
{
    if (!status) {
        std::fprintf(stderr, "creg_bench: %s\n", status.reason.c_str());
        std::abort();
    }
}

// Keys added breadth first, each under the key kFanOut places before it in the list.
std::vector<std::uint8_t> MakeSystemDat()
{
    Hive hive = Hive::Empty();
    std::vector<Key *> keys{&hive.Root()};
    for (int i = 0; i < kKeys; ++i) {
        Key *key = nullptr;
        Fail(hive.AddChild(*keys[static_cast<std::size_t>(i / kFanOut)], "Key" + std::to_string(i), &key));
        const std::string text = "C:\\WINDOWS\\SYSTEM\\FILE" + std::to_string(i) + ".DLL";
        Fail(hive.SetValue(*key, "", 1, std::vector<std::uint8_t>(text.begin(), text.end() + 1)));
        Fail(hive.SetValue(*key, "Start", 4, {3, 0, 0, 0}));
        Fail(hive.SetValue(*key, "Flags", 3, std::vector<std::uint8_t>(16, 0x5A)));
        keys.push_back(key);
    }
    std::vector<std::uint8_t> file;
    Fail(hive.Serialize(file));
    return file;
}

const std::vector<std::uint8_t> &SystemDat()
{
    static const std::vector<std::uint8_t> file = MakeSystemDat();
    return file;
}

void BM_ReadSystemDat(benchmark::State &state)
{
    for (auto _ : state) {
        Hive hive;
        Fail(hive.Load(SystemDat()));
        benchmark::DoNotOptimize(hive.Root().children.size());
    }
    state.counters["bytes"] = static_cast<double>(SystemDat().size());
}
BENCHMARK(BM_ReadSystemDat)->Unit(benchmark::kMillisecond);

void BM_StrictCheck(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(win::creg::Check(SystemDat()).size());
}
BENCHMARK(BM_StrictCheck)->Unit(benchmark::kMillisecond);

// One value of a key deep in the tree set again and the whole file made, which includes the
// strict check of the result: what a page's save costs before the file is written out.
void BM_SetValueAndSerialize(benchmark::State &state)
{
    Hive hive;
    Fail(hive.Load(SystemDat()));
    Key *key = hive.FindKey("Key18\\Key399\\Key8000");
    if (!key)
        Fail({win::creg::Fault::NotFound, "no Key8000"});
    std::vector<std::uint8_t> out;
    std::uint8_t n = 0;
    for (auto _ : state) {
        Fail(hive.SetValue(*key, "Start", 4, {++n, 0, 0, 0}));
        Fail(hive.Serialize(out));
    }
}
BENCHMARK(BM_SetValueAndSerialize)->Unit(benchmark::kMillisecond);

} // namespace
