// How fast the registry layer is on a real Wine prefix, and how that compares with a bare durable
// file replace and with Wine's own `reg add`.
//
// The prefix is KORVEX_BENCH_PREFIX when set, else one made here by `wineboot --init` (once per
// run). Every benchmark works on a copy of it; the original is never written.
#include "Reg.h"
#include "change_bracket.h"
#include "hive.h"
#include "machine.h"
#include "machine_store.h"
#include "win32.h"

#include <benchmark/benchmark.h>

#include <QString>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

namespace fs = std::filesystem;

const char *const kHiveFiles[] = {"system.reg", "user.reg", "userdef.reg"};

// Runs a program with this process's environment, its output discarded; the exit code, or -1.
int Run(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TempFolder(const char *stem)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

bool WaitUntilServerRunning(bool running)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (win::WineServerRunning() != running) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The working copy of the prefix, made on first use and removed at exit. WINEPREFIX names it,
// for the platform and for the Wine programs started here.
class BenchPrefix
{
public:
    static BenchPrefix &Get()
    {
        static BenchPrefix prefix;
        return prefix;
    }

    bool Ready() const { return error_.empty(); }
    const std::string &Error() const { return error_; }
    const std::string &Folder() const { return copy_; }
    std::string PathOf(const char *name) const { return copy_ + "/" + name; }

    ~BenchPrefix()
    {
        if (!copy_.empty()) {
            Run({"wineserver", "-k"});
            win::ResetMachine();
            std::error_code ec;
            fs::remove_all(copy_, ec);
        }
        if (!made_.empty()) {
            std::error_code ec;
            fs::remove_all(made_, ec);
        }
    }

private:
    BenchPrefix()
    {
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        std::string source;
        if (const char *given = std::getenv("KORVEX_BENCH_PREFIX"); given && *given) {
            source = given;
        } else if (Run({"wine", "--version"}) != 0) {
            error_ = "Wine is not installed and KORVEX_BENCH_PREFIX is not set: no prefix to measure";
            return;
        } else {
            made_ = source = TempFolder("korvex-bench-prefix");
            setenv("WINEPREFIX", source.c_str(), 1);
            Run({"wineboot", "--init"});
            Run({"wineserver", "-w"});
        }
        if (!fs::exists(fs::path(source) / "system.reg")) {
            error_ = "no system.reg in the prefix " + source;
            return;
        }
        copy_ = TempFolder("korvex-bench-machine");
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(source, ec)) {
            const fs::path name = entry.path().filename();
            if (name == "wineserver")
                continue; // names the server session of the original
            // Links stay links: Wine links the user's shell folders in drive_c to the home folder.
            // drive_c is large and only read here, so hard links stand in for a copy of it, or a
            // link to it where the prefix is on another file system.
            auto options = fs::copy_options::recursive | fs::copy_options::copy_symlinks;
            if (name == "drive_c") {
                fs::copy(entry.path(), copy_ / name, options | fs::copy_options::create_hard_links, ec);
                if (!ec)
                    continue;
                fs::remove_all(copy_ / name, ec);
                fs::create_directory_symlink(fs::absolute(entry.path()), copy_ / name, ec);
            } else {
                fs::copy(entry.path(), copy_ / name, options, ec);
            }
            if (ec) {
                error_ = "cannot copy " + entry.path().string() + ": " + ec.message();
                return;
            }
        }
        setenv("WINEPREFIX", copy_.c_str(), 1);
        win::ResetMachine();
    }

    std::string made_;
    std::string copy_;
    std::string error_;
};

#define REQUIRE_PREFIX(state)                                                                                          \
    BenchPrefix &prefix = BenchPrefix::Get();                                                                          \
    if (!prefix.Ready()) {                                                                                             \
        (state).SkipWithError(prefix.Error().c_str());                                                                 \
        return;                                                                                                        \
    }

// ---- Loading ---------------------------------------------------------------------------------

void BM_ParseSystemHiveFromDisk(benchmark::State &state)
{
    REQUIRE_PREFIX(state)
    const std::string path = prefix.PathOf("system.reg");
    size_t size = 0;
    for (auto _ : state) {
        // Read the way the store reads a hive.
        std::string text;
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const bool read = fd >= 0 && win::detail::ReadAll(fd, text);
        if (fd >= 0)
            close(fd);
        if (!read) {
            state.SkipWithError("system.reg cannot be read");
            break;
        }
        size = text.size();
        win::detail::Hive hive;
        if (!hive.Parse(std::move(text))) {
            state.SkipWithError("system.reg does not parse");
            break;
        }
        benchmark::DoNotOptimize(hive.Root().children.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_ParseSystemHiveFromDisk)->Unit(benchmark::kMillisecond);

// A process's first open of an HKEY_LOCAL_MACHINE key: the machine is chosen and system.reg loaded.
void BM_ColdOpenLocalMachine(benchmark::State &state)
{
    REQUIRE_PREFIX(state)
    for (auto _ : state) {
        win::ResetMachine();
        win::HKEY key = nullptr;
        if (win::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key) != ERROR_SUCCESS) {
            state.SkipWithError("HKEY_LOCAL_MACHINE\\Software does not open");
            break;
        }
        win::RegCloseKey(key);
    }
}
BENCHMARK(BM_ColdOpenLocalMachine)->Unit(benchmark::kMillisecond);

// ---- Reading from the cache ------------------------------------------------------------------

void GetValue(benchmark::State &state, win::HKEY root, const QString &path, const QString &name)
{
    REQUIRE_PREFIX(state)
    QString out;
    if (!Reg::GetValue(root, path, name, out)) {
        state.SkipWithError("the value to read does not exist in this prefix");
        return;
    }
    for (auto _ : state) {
        Reg::GetValue(root, path, name, out);
        benchmark::DoNotOptimize(out.size());
    }
}
BENCHMARK_CAPTURE(GetValue, LocalMachine, HKEY_LOCAL_MACHINE,
                  QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion"),
                  QStringLiteral("CurrentBuildNumber"))
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(GetValue, CurrentUser, HKEY_CURRENT_USER, QStringLiteral("Control Panel\\Desktop"),
                  QStringLiteral("DragFullWindows"))
    ->Unit(benchmark::kMicrosecond);

// ---- Durable writes --------------------------------------------------------------------------

// Alternates the value so that every call is a real change written to disk.
void SetDword(benchmark::State &state, win::HKEY root)
{
    REQUIRE_PREFIX(state)
    const QString path = QStringLiteral("Software\\KorvexBench");
    qint32 number = 0;
    for (auto _ : state) {
        number ^= 1;
        if (!Reg::SetDword(root, path, QStringLiteral("Counter"), number)) {
            state.SkipWithError("SetDword failed");
            break;
        }
    }
}
BENCHMARK_CAPTURE(SetDword, UserHive, HKEY_CURRENT_USER)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SetDword, SystemHive, HKEY_LOCAL_MACHINE)->Unit(benchmark::kMillisecond);

// A page's save of 40 values of the system hive in one bracket: one durable write of the file,
// to be compared with WriteFsyncRename/SystemHiveSize.
void BM_SystemSaveOf40Values(benchmark::State &state)
{
    REQUIRE_PREFIX(state)
    const QString path = QStringLiteral("System\\CurrentControlSet\\Control\\KorvexBench");
    qint32 number = 0;
    for (auto _ : state) {
        number ^= 1;
        win::ChangeBracket save;
        for (int i = 0; i < 40; ++i)
            Reg::SetDword(HKEY_LOCAL_MACHINE, path, QStringLiteral("Value%1").arg(i), number + i);
        if (save.End() != ERROR_SUCCESS) {
            state.SkipWithError("the save failed");
            break;
        }
    }
}
BENCHMARK(BM_SystemSaveOf40Values)->Unit(benchmark::kMillisecond);

// The floor under a durable SetDword: a buffer of the hive's size written to a temporary file
// in the same folder, flushed, renamed over the target, and the folder flushed.
void WriteFsyncRename(benchmark::State &state, const char *hiveFile)
{
    REQUIRE_PREFIX(state)
    const std::string buffer(fs::file_size(prefix.PathOf(hiveFile)), 'x');
    const std::string target = prefix.PathOf("korvex-bench-baseline");
    const std::string temp = target + ".tmp";
    const int folder = open(prefix.Folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (auto _ : state) {
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool ok =
            fd >= 0 && write(fd, buffer.data(), buffer.size()) == static_cast<ssize_t>(buffer.size()) && fsync(fd) == 0;
        if (fd >= 0)
            close(fd);
        if (!ok || rename(temp.c_str(), target.c_str()) != 0 || fsync(folder) != 0) {
            state.SkipWithError("the baseline write failed");
            break;
        }
    }
    close(folder);
    unlink(target.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
}
BENCHMARK_CAPTURE(WriteFsyncRename, UserHiveSize, "user.reg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WriteFsyncRename, SystemHiveSize, "system.reg")->Unit(benchmark::kMillisecond);

// ---- Memory ----------------------------------------------------------------------------------

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd; // small blocks plus the large ones malloc maps itself
}

// Heap held with all three hives loaded, against the size of their files.
void BM_MemoryAllHivesLoaded(benchmark::State &state)
{
    REQUIRE_PREFIX(state)
    size_t fileBytes = 0;
    for (const char *file : kHiveFiles)
        fileBytes += fs::file_size(prefix.PathOf(file));
    size_t held = 0;
    for (auto _ : state) {
        win::ResetMachine();
        malloc_trim(0);
        const size_t before = HeapInUse();
        for (int hive = 0; hive < win::detail::kHiveCount; ++hive)
            if (!win::detail::Store().Current(hive))
                state.SkipWithError("a hive does not load");
        held = HeapInUse() - before;
    }
    state.counters["heap_MB"] = static_cast<double>(held) / 1e6;
    state.counters["files_MB"] = static_cast<double>(fileBytes) / 1e6;
    state.counters["heap_per_file_byte"] = static_cast<double>(held) / static_cast<double>(fileBytes);
}
BENCHMARK(BM_MemoryAllHivesLoaded)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- Wine's own reg add, for comparison --------------------------------------------------------

std::vector<std::string> RegAdd(int number)
{
    return {"wine", "reg",       "add", "HKCU\\Software\\KorvexBench", "/v", "Wine",
            "/t",   "REG_DWORD", "/d",  std::to_string(number),        "/f"};
}

// No server running: each `wine reg add` starts one. The time until Wine has saved the change
// (its server ends about three seconds after its last client) is reported as `until_saved_ms`.
void BM_WineRegAddCold(benchmark::State &state)
{
    REQUIRE_PREFIX(state)
    if (!WaitUntilServerRunning(false)) {
        state.SkipWithError("a wineserver already runs for the prefix");
        return;
    }
    using Clock = std::chrono::steady_clock;
    double savedSeconds = 0;
    int number = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int rc = Run(RegAdd(++number));
        const auto added = Clock::now();
        Run({"wineserver", "-w"});
        const auto saved = Clock::now();
        if (rc != 0) {
            state.SkipWithError("wine reg add failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(added - start).count());
        savedSeconds += std::chrono::duration<double>(saved - start).count();
    }
    state.counters["until_saved_ms"] = benchmark::Counter(savedSeconds * 1e3, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WineRegAddCold)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A persistent server already running: only the client's start and the request are timed.
void BM_WineRegAddWarm(benchmark::State &state)
{
    REQUIRE_PREFIX(state)
    if (Run({"wineserver", "-p"}) != 0 || !WaitUntilServerRunning(true)) {
        state.SkipWithError("cannot start a persistent wineserver");
        Run({"wineserver", "-k"});
        return;
    }
    Run(RegAdd(0)); // the first client also brings up the session's services
    int number = 0;
    for (auto _ : state) {
        if (Run(RegAdd(++number)) != 0) {
            state.SkipWithError("wine reg add failed");
            break;
        }
    }
    Run({"wineserver", "-k"});
    WaitUntilServerRunning(false);
}
BENCHMARK(BM_WineRegAddWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace

BENCHMARK_MAIN();
