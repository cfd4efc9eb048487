// Registry changes made by real processes: a writer killed at any moment leaves a hive that
// parses and holds every write it acknowledged, several writers at once lose nothing, a process
// with a cached hive sees what another wrote, a change waits for the machine's lock, and a
// process that makes a missing hive file does not undo what others wrote meanwhile.
//
// The writers are registry_writer processes; each prints a line for every write that returned
// ERROR_SUCCESS, which is the moment the write must be on disk.
#include "TempMachine.h"
#include "hive.h"
#include "machine.h"
#include "win32.h"
#include "writer_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <optional>
#include <poll.h>
#include <random>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

using win::detail::Hive;
using win::detail::Key;
using win::detail::ValueData;
using namespace writer_process;

constexpr const char *kUserHeader = "WINE REGISTRY Version 2\n"
                                    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n";
constexpr const char *kCounterKey = "Software\\Korvex\\Reliability";
constexpr const char *kCounterName = "Counter";
constexpr int kSeedKeys = 300;

std::vector<std::string> SplitPath(const std::string &path)
{
    std::vector<std::string> parts;
    std::stringstream in(path);
    for (std::string part; std::getline(in, part, '\\');)
        parts.push_back(part);
    return parts;
}

// ---- Looking at the files ----------------------------------------------------------------

Key *Find(Hive &hive, const std::string &path)
{
    Key *key = &hive.Root();
    for (const std::string &name : SplitPath(path))
        if (!(key = key ? Hive::FindChild(*key, name) : nullptr))
            return nullptr;
    return key;
}

std::optional<std::uint32_t> AsDword(const ValueData &data)
{
    if (data.type != REG_DWORD || data.bytes.size() != 4)
        return std::nullopt;
    return static_cast<std::uint32_t>(data.bytes[0] | data.bytes[1] << 8 | data.bytes[2] << 16 |
                                      static_cast<std::uint32_t>(data.bytes[3]) << 24);
}

// What a user.reg file holds, read straight from its text with the hive parser.
struct HiveView {
    bool parsed = false;
    std::optional<std::uint32_t> counter; // the counter, when present as a DWORD
    bool counterPresent = false;
    std::string others; // every other value, one line each, to compare with the seed
};

void Dump(const Hive &hive, const Key &key, const std::string &path, const Key *skipKey, HiveView &view)
{
    for (const auto &value : key.values) {
        if (&key == skipKey && value.name == kCounterName)
            continue;
        const ValueData data = hive.Read(value);
        view.others += path + "|" + value.name + "|" + std::to_string(data.type) + "|";
        for (std::uint8_t byte : data.bytes)
            view.others += std::to_string(byte) + ",";
        view.others += "\n";
    }
    for (const auto &child : key.children)
        Dump(hive, *child, path + "\\" + child->name, skipKey, view);
}

HiveView Inspect(std::string text)
{
    HiveView view;
    Hive hive;
    view.parsed = hive.Parse(std::move(text));
    if (!view.parsed)
        return view;
    Key *counterKey = Find(hive, kCounterKey);
    if (counterKey) {
        if (const auto *value = Hive::FindValue(*counterKey, kCounterName)) {
            view.counterPresent = true;
            view.counter = AsDword(hive.Read(*value));
        }
    }
    Dump(hive, hive.Root(), "", counterKey, view);
    return view;
}

// A DWORD read through the registry functions; nullopt when missing or not a DWORD.
std::optional<std::uint32_t> QueryDword(win::HKEY root, const std::string &path, const std::string &name)
{
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    win::DWORD type = 0;
    win::DWORD data = 0;
    win::DWORD size = sizeof data;
    const win::LONG rc =
        win::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<win::BYTE *>(&data), &size);
    win::RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return std::nullopt;
    return data;
}

std::vector<std::string> FolderEntries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The temporary file a hive is written to before it replaces the hive: ".<hive>.korvex-XXXXXX".
bool IsHiveTempFile(const std::string &name)
{
    for (const char *hive : {"system.reg", "user.reg", "userdef.reg"}) {
        const std::string stem = std::string(".") + hive + ".korvex-";
        if (name.size() == stem.size() + 6 && name.compare(0, stem.size(), stem) == 0)
            return true;
    }
    return false;
}

// A user.reg with `keys` keys of three values each and the counter at 0: big enough that
// serializing and writing it takes a moment, so kills land inside writes too.
std::string SeedUserHive(int keys)
{
    // 2023-11-14 22:13:20 UTC, as Wine writes it in the key line and in "#time".
    const unsigned long long seconds = 1700000000ULL;
    char time[64];
    std::snprintf(time, sizeof time, "%llu\n#time=%llx\n", seconds, (seconds + 11644473600ULL) * 10000000ULL);
    std::string text = kUserHeader;
    text += std::string("\n[Software\\\\Korvex\\\\Reliability] ") + time + "\"" + kCounterName + "\"=dword:00000000\n";
    for (int k = 0; k < keys; ++k) {
        char line[160];
        std::snprintf(line, sizeof line, "\n[Software\\\\Seed\\\\Key%04d] %s", k, time);
        text += line;
        std::snprintf(line, sizeof line, "\"Blob\"=hex:%02x,%02x,%02x,%02x,%02x,%02x,%02x,%02x\n", k & 0xff,
                      (k >> 8) & 0xff, 0xde, 0xad, 0xbe, 0xef, k * 7 & 0xff, k * 13 & 0xff);
        text += line;
        std::snprintf(line, sizeof line, "\"Name\"=\"Seeded key number %d with some text\"\n", k);
        text += line;
        std::snprintf(line, sizeof line, "\"Number\"=dword:%08x\n", static_cast<unsigned>(k * 2654435761u));
        text += line;
    }
    return text;
}

class Reliability : public ::testing::Test
{
protected:
    void SetUp() override
    {
        machine_.WriteFile("user.reg", SeedUserHive(kSeedKeys));
        win::ResetMachine();
        const HiveView seed = Inspect(machine_.ReadFile("user.reg"));
        ASSERT_TRUE(seed.parsed);
        ASSERT_EQ(seed.counter, 0u);
        seedOthers_ = seed.others;
    }

    TempMachine machine_;
    std::string seedOthers_;
};

// ---- Killed at random moments --------------------------------------------------------------

unsigned KillSeed()
{
    if (const char *text = std::getenv("KORVEX_RELIABILITY_SEED"); text && *text)
        return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
    return 20250607u;
}

TEST_F(Reliability, WriterKilledAtRandomMomentsKeepsEveryAcknowledgedWrite)
{
    constexpr int kKills = 300;
    constexpr int kMaxDelayMicroseconds = 15000;
    const unsigned seed = KillSeed();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, kMaxDelayMicroseconds);
    const std::vector<std::string> initialEntries = FolderEntries(machine_.Folder());
    long acknowledged = 0;
    int landedUnacknowledged = 0; // the write under way when killed had reached the disk
    std::set<std::string> leftovers;

    std::uint32_t onDisk = 0; // the counter as the previous round left it
    for (int round = 0; round < kKills; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round) + ", seed " + std::to_string(seed) +
                     " (KORVEX_RELIABILITY_SEED repeats it)");
        Writer writer({"counter", "HKCU", kCounterKey, kCounterName, std::to_string(onDisk), "1000000"});
        // The delay counts from the writer's first write, so that every kill lands among writes
        // rather than in the start of a process.
        ASSERT_TRUE(writer.WaitForLine("ready"));
        writer.ReadUntil(Clock::now() + std::chrono::microseconds(delay(random)));
        writer.Kill();
        const int status = writer.Wait();
        // Only the kill may end it: an exit means a registry call failed or saw a stale value.
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << DescribeStatus(status);

        const std::vector<Ack> acks = writer.Acknowledged();
        acknowledged += static_cast<long>(acks.size());
        const std::uint32_t lastAcked = acks.empty() ? onDisk : static_cast<std::uint32_t>(acks.back().data);
        ASSERT_EQ(lastAcked, onDisk + acks.size()) << "acknowledgements out of sequence";

        const HiveView view = Inspect(machine_.ReadFile("user.reg"));
        win::ResetMachine();
        ASSERT_TRUE(view.parsed) << "user.reg does not parse";
        ASSERT_TRUE(win::DamagedRegistryFiles().empty());
        ASSERT_EQ(view.others, seedOthers_) << "the other values changed";
        ASSERT_TRUE(view.counter) << "the counter is missing or not a DWORD";
        ASSERT_EQ(QueryDword(HKEY_CURRENT_USER, kCounterKey, kCounterName), view.counter);
        // On disk: the last acknowledged write, or the one under way when the kill came.
        ASSERT_TRUE(*view.counter == lastAcked || *view.counter == lastAcked + 1)
            << "counter " << *view.counter << ", acknowledged " << lastAcked;
        landedUnacknowledged += *view.counter == lastAcked + 1;
        onDisk = *view.counter;

        // A killed writer may leave its temporary file (the later writers run beside it, which
        // shows it is never taken for a hive); nothing else may appear.
        for (const std::string &name : FolderEntries(machine_.Folder())) {
            if (std::binary_search(initialEntries.begin(), initialEntries.end(), name))
                continue;
            ASSERT_TRUE(IsHiveTempFile(name)) << "unexpected file " << name;
            leftovers.insert(name);
        }
    }
    std::cout << "[ reliability ] " << kKills << " kills, " << acknowledged << " acknowledged writes, "
              << landedUnacknowledged << " unacknowledged writes found on disk, " << leftovers.size()
              << " leftover temporary files\n";
    EXPECT_GT(acknowledged, 0) << "the writer never got a write through: the kills proved nothing";
}

// ---- Several writers at once ---------------------------------------------------------------

struct Job {
    const char *mode; // "values": name0, name1, ... = start, start + 1, ...; "counter": name counts up
    const char *root;
    std::string key;
    std::string name;
    unsigned long start;
};

struct Race {
    const char *what;
    std::vector<Job> jobs;
};

TEST_F(Reliability, SimultaneousWritersLoseNothing)
{
    constexpr unsigned long kWrites = 50;
    const std::string shared = "Software\\Korvex\\Concurrent";
    // The rows run one after another on the same machine, so later writers start from a hive
    // the earlier ones filled. A counter checks before every write that it still holds what it
    // wrote last, so a process that wrote back a stale copy of the hive is caught in the act;
    // its values keep their size, which hides a change from a check of file sizes.
    const Race races[] = {
        {"one key shared, two raced for",
         {{"values", "HKCU", shared, "A_", 100},
          {"values", "HKCU", shared, "B_", 200},
          {"values", "HKCU", shared + "\\C", "C_", 300},
          {"values", "HKCU", shared + "\\D", "D_", 400}}},
        {"the same again on the filled hive",
         {{"values", "HKCU", shared, "E_", 500}, {"values", "HKCU", shared + "\\C", "F_", 600}}},
        {"user.reg and system.reg",
         {{"values", "HKCU", "Software\\Korvex\\MixedA", "UserA_", 5000},
          {"values", "HKCU", "Software\\Korvex\\MixedB", "UserB_", 6000},
          {"values", "HKLM", "Software\\Korvex\\Mixed", "Machine_", 7000}}},
        {"same-size counters",
         {{"counter", "HKCU", "Software\\Korvex\\Counters", "Count0", 0},
          {"counter", "HKCU", "Software\\Korvex\\Counters", "Count1", 0},
          {"counter", "HKCU", "Software\\Korvex\\Counters", "Count2", 0}}},
    };
    for (const Race &race : races) {
        SCOPED_TRACE(race.what);
        std::vector<std::unique_ptr<Writer>> writers;
        for (const Job &job : race.jobs)
            writers.push_back(std::make_unique<Writer>(std::vector<std::string>{
                job.mode, job.root, job.key, job.name, std::to_string(job.start), std::to_string(kWrites)}));
        int switches = 0;
        const std::vector<int> statuses = WaitAll(writers, switches);
        win::ResetMachine();
        EXPECT_TRUE(win::DamagedRegistryFiles().empty());
        for (size_t i = 0; i < race.jobs.size(); ++i) {
            const Job &job = race.jobs[i];
            EXPECT_TRUE(ExitedCleanly(statuses[i])) << job.name << ": " << DescribeStatus(statuses[i]);
            EXPECT_EQ(writers[i]->Acknowledged().size(), kWrites) << job.name;
            const win::HKEY root = std::string(job.root) == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
            const bool counter = std::string(job.mode) == "counter";
            EXPECT_TRUE(!counter || QueryDword(root, job.key, job.name) == job.start + kWrites) << job.name;
            for (unsigned long k = 0; !counter && k < kWrites; ++k)
                EXPECT_EQ(QueryDword(root, job.key, job.name + std::to_string(k)), job.start + k) << job.name << k;
        }
        std::cout << "[ reliability ] " << race.what << ": " << race.jobs.size() << " writers took turns " << switches
                  << " times\n";
    }
    // The seeded values are untouched.
    EXPECT_NE(Inspect(machine_.ReadFile("user.reg")).others.find(seedOthers_), std::string::npos);
}

// ---- A cached hive and another process ----------------------------------------------------

class CachedHive : public Reliability
{
protected:
    void SetUp() override
    {
        Reliability::SetUp();
        ASSERT_EQ(win::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Korvex\\Shared", 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override { win::RegCloseKey(key_); }

    std::optional<std::uint32_t> Read(const char *name)
    {
        win::DWORD type = 0;
        win::DWORD data = 0;
        win::DWORD size = sizeof data;
        if (win::RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<win::BYTE *>(&data), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            return std::nullopt;
        return data;
    }

    void Write(const char *name, win::DWORD data)
    {
        ASSERT_EQ(win::RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&data), 4),
                  ERROR_SUCCESS);
    }

    win::HKEY key_ = nullptr;
};

TEST_F(CachedHive, ReadSeesWhatAnotherProcessWrote)
{
    Write("Shared", 100);
    ASSERT_EQ(Read("Shared"), 100u);
    // Every change keeps the file's size; twenty in a row, each followed at once by a read here.
    for (std::uint32_t value = 100; value < 120; ++value) {
        Writer writer({"counter", "HKCU", "Software\\Korvex\\Shared", "Shared", std::to_string(value), "1"});
        ASSERT_TRUE(ExitedCleanly(writer.Wait()));
        ASSERT_EQ(Read("Shared"), value + 1) << "a stale cached copy was read";
    }
}

TEST_F(CachedHive, OwnWriteKeepsWhatAnotherProcessWrote)
{
    Write("Mine", 1);
    ASSERT_EQ(Read("Mine"), 1u); // the hive is now cached here
    Writer other({"values", "HKCU", "Software\\Korvex\\Shared", "Theirs", "7", "1"});
    ASSERT_TRUE(ExitedCleanly(other.Wait()));
    Write("Mine", 2);

    const HiveView view = Inspect(machine_.ReadFile("user.reg"));
    ASSERT_TRUE(view.parsed);
    EXPECT_NE(view.others.find("Software\\Korvex\\Shared|Theirs0|4|7,0,0,0,"), std::string::npos)
        << "the other process's value was overwritten by a stale cached copy";
    EXPECT_NE(view.others.find("Software\\Korvex\\Shared|Mine|4|2,0,0,0,"), std::string::npos);
    EXPECT_EQ(Read("Theirs0"), 7u);
}

// ---- The machine's lock ---------------------------------------------------------------------

TEST_F(Reliability, ChangesWaitWhileAnotherProcessHoldsTheMachineLock)
{
    struct Case {
        const char *what;
        std::string key; // a new key makes the writer's first change the key's creation
    };
    const Case cases[] = {{"setting a value of an existing key", kCounterKey},
                          {"creating a key", "Software\\Korvex\\MadeUnderLock"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const int folder = open(machine_.Folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(folder, 0);
        struct stat st {
        };
        ASSERT_EQ(fstat(folder, &st), 0);
        ASSERT_EQ(flock(folder, LOCK_EX), 0);

        Writer writer({"values", "HKCU", c.key, "Waited", "42", "1"});
        // Wait until the kernel shows the writer queued behind our lock, bounded by a count of
        // polls; where /proc/locks cannot tell, the writer simply gets the same time to go wrong.
        bool queued = false;
        for (int tries = 0; tries < 2000 && !queued; ++tries) {
            queued = WaitsForLock(writer.Pid(), st.st_ino);
            if (!queued)
                usleep(5000);
            if (!writer.Running())
                break;
        }
        if (!queued)
            std::cout << "[ reliability ] /proc/locks never showed the writer waiting\n";
        usleep(20000);

        writer.ReadAvailable();
        EXPECT_TRUE(writer.Running()) << "the writer finished while the machine was locked";
        EXPECT_TRUE(writer.Acknowledged().empty()) << "a write was acknowledged while the machine was locked";
        {
            Hive hive;
            ASSERT_TRUE(hive.Parse(machine_.ReadFile("user.reg")));
            Key *key = Find(hive, c.key);
            EXPECT_TRUE(!key || !Hive::FindValue(*key, "Waited0")) << "the value was written under our lock";
            if (c.key != kCounterKey) {
                EXPECT_EQ(key, nullptr) << "the key was created under our lock";
            }
        }

        ASSERT_EQ(flock(folder, LOCK_UN), 0);
        close(folder);
        const int status = writer.Wait();
        EXPECT_TRUE(ExitedCleanly(status)) << DescribeStatus(status);
        const std::vector<Ack> acks = writer.Acknowledged();
        ASSERT_EQ(acks.size(), 1u);
        EXPECT_EQ(acks[0].name, "Waited0");
        win::ResetMachine();
        EXPECT_EQ(QueryDword(HKEY_CURRENT_USER, c.key, "Waited0"), 42u);
    }
}

// ---- A registry file that is missing ---------------------------------------------------------

TEST_F(Reliability, AProcessMakingAMissingHiveKeepsWhatOthersWroteMeanwhile)
{
    // Every process makes the registry files a machine lacks when it starts. One that is held up
    // while making user.reg (stopped here, as the scheduler may stop it) must not replace the
    // user.reg another process made and wrote to in the meantime. The moment is caught by
    // watching for its temporary file; an attempt where it had already finished is repeated.
    const std::string userReg = machine_.PathOf("user.reg");
    bool caught = false;
    for (int attempt = 0; attempt < 50 && !caught; ++attempt) {
        win::ResetMachine();
        ASSERT_TRUE(unlink(userReg.c_str()) == 0 || errno == ENOENT);
        const int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, machine_.Folder().c_str(), IN_CREATE), 0);

        Writer late({"values", "HKCU", "Software\\Korvex\\Late", "Late_", "1", "1"});
        std::string temp;
        for (int events = 0; events < 100 && temp.empty(); ++events) {
            pollfd p{watch, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0)
                break;
            alignas(inotify_event) char buffer[4096];
            const ssize_t n = read(watch, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                const std::string name = event->len ? event->name : "";
                if (IsHiveTempFile(name) && name.starts_with(".user.reg.")) {
                    if (late.Stop())
                        temp = name;
                    break;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
            if (!late.Running() && temp.empty())
                break;
        }
        close(watch);
        if (temp.empty() || access(machine_.PathOf(temp).c_str(), F_OK) != 0) {
            // It was past the moment already: let it finish and try again.
            late.Continue();
            EXPECT_TRUE(ExitedCleanly(late.Wait()));
            continue;
        }
        caught = true;
        ASSERT_NE(access(userReg.c_str(), F_OK), 0) << "user.reg exists while the stopped process makes it";

        // Another process starts meanwhile: it either gets its writes through, or waits for a lock
        // the stopped one holds. Either is right; losing its acknowledged writes is not.
        Writer early({"values", "HKCU", "Software\\Korvex\\Early", "Early_", "1", "5"});
        bool waiting = false;
        for (int tries = 0; tries < 5000 && early.Running() && !waiting; ++tries) {
            waiting = WaitsForLock(early.Pid());
            if (!waiting)
                usleep(2000);
        }
        const bool finishedFirst = !early.Running();
        late.Continue();
        const int earlyStatus = early.Wait();
        const int lateStatus = late.Wait();
        EXPECT_TRUE(ExitedCleanly(earlyStatus)) << DescribeStatus(earlyStatus);
        EXPECT_TRUE(ExitedCleanly(lateStatus)) << DescribeStatus(lateStatus);
        const size_t acknowledged = early.Acknowledged().size();
        EXPECT_EQ(acknowledged, 5u);

        win::ResetMachine();
        EXPECT_TRUE(win::DamagedRegistryFiles().empty());
        int lost = 0;
        for (unsigned i = 0; i < 5; ++i)
            if (QueryDword(HKEY_CURRENT_USER, "Software\\Korvex\\Early", "Early_" + std::to_string(i)) != i + 1)
                ++lost;
        EXPECT_EQ(lost, 0) << "acknowledged writes were undone by the process that made user.reg late";
        EXPECT_EQ(QueryDword(HKEY_CURRENT_USER, "Software\\Korvex\\Late", "Late_0"), 1u);
        std::cout << "[ reliability ] missing user.reg: caught on attempt " << attempt + 1 << "; the other process "
                  << (finishedFirst ? "finished while it was stopped" : "waited for it") << ", acknowledged "
                  << acknowledged << " writes, " << lost << " lost\n";
    }
    if (!caught)
        GTEST_SKIP() << "never caught a process between starting and finishing user.reg";
}

} // namespace
