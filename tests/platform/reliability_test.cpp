// Registry changes made by real processes: a writer killed at any moment leaves a hive that
// parses and holds every write it acknowledged, several writers at once lose nothing, a process
// with a cached hive sees what another wrote, a change waits for the machine's lock, and a
// process that makes a missing hive file does not undo what others wrote meanwhile.
#include "RegistryValues.h"
#include "TempMachine.h"
#include "machine.h"
#include "read_scope.h"
#include "win32.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

using regvalues::QueryDword;

constexpr const char *kCounterKey = "Software\\Korvex\\Reliability";

// registry_writer processes as these tests drive them: started with their output appended to a
// log file (a killed writer's finished lines stay there), killed, stopped and continued, and
// asked which writes they acknowledged.
class Writer
{
public:
    Writer(std::vector<std::string> args, const std::string &log)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        args.insert(args.begin(), REGISTRY_WRITER);
        std::vector<char *> argv;
        for (std::string &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, REGISTRY_WRITER, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_GT(pid_, 0) << "cannot start " REGISTRY_WRITER;
    }
    ~Writer()
    {
        if (Running())
            Signal(SIGKILL);
        Wait();
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signal) const { kill(pid_, signal); }

    bool Running()
    {
        if (pid_ > 0 && !ended_ && waitpid(pid_, &status_, WNOHANG) == pid_)
            ended_ = true;
        return pid_ > 0 && !ended_;
    }

    // Stops it wherever it is, as the scheduler may; false when it had ended already.
    bool Stop()
    {
        int status = 0;
        if (!Running() || kill(pid_, SIGSTOP) != 0 || waitpid(pid_, &status, WUNTRACED) != pid_)
            return false;
        if (WIFSTOPPED(status))
            return true;
        status_ = status;
        ended_ = true;
        return false;
    }

    // Its wait status once it ended; one stuck on a lock that is never released is killed after
    // two minutes, so that the test fails instead of hanging.
    int Wait()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (Running() && std::chrono::steady_clock::now() < deadline)
            usleep(500);
        if (Running()) {
            ADD_FAILURE() << "registry_writer " << pid_ << " hangs; killed";
            Signal(SIGKILL);
            ended_ = waitpid(pid_, &status_, 0) == pid_;
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

struct Ack {
    std::string name;
    unsigned long data = 0;
};

// The writes acknowledged in `log`, in order.
std::vector<Ack> Acknowledged(const std::string &log)
{
    std::vector<Ack> acks;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string ok;
        if (Ack ack; words >> ok >> ack.name >> ack.data && ok == "ok" && in.good())
            acks.push_back(ack);
    }
    return acks;
}

// Waits until `log` holds the line `line`; false when the writer ended first.
bool WaitForLine(Writer &writer, const std::string &log, const std::string &line)
{
    for (;;) {
        std::ifstream in(log);
        for (std::string seen; std::getline(in, seen);)
            if (seen == line && in.good())
                return true;
        if (!writer.Running())
            return false;
        usleep(200);
    }
}

std::string DescribeStatus(int status)
{
    if (WIFSIGNALED(status))
        return std::string("signal ") + strsignal(WTERMSIG(status));
    return "exit " + std::to_string(WEXITSTATUS(status));
}

bool ExitedCleanly(int status)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// True when /proc/locks shows `pid` waiting for a lock on the file with inode `inode` (on any
// file when `inode` is 0): its lines read "1: -> FLOCK ADVISORY WRITE <pid> <dev>:<inode> ...".
bool WaitsForLock(pid_t pid, ino_t inode = 0)
{
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream in(line);
        std::string number, arrow, kind, mode, access, owner, file;
        if (in >> number >> arrow >> kind >> mode >> access >> owner >> file && arrow == "->" &&
            owner == std::to_string(pid) && (inode == 0 || file.ends_with(":" + std::to_string(inode))))
            return true;
    }
    return false;
}

// A user.reg with the counter at 0 and 300 keys of three values each after it: big enough that
// writing it takes a moment, so kills land inside writes too. Every key the tests add sorts
// before the seeded ones, whose text a change elsewhere must leave byte for byte.
std::string SeedUserHive()
{
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
                       "\n[Software\\\\Korvex\\\\Reliability] 1700000000\n#time=1da1747c66d0000\n"
                       "\"Counter\"=dword:00000000\n";
    for (int k = 0; k < 300; ++k) {
        char block[200];
        std::snprintf(block, sizeof block,
                      "\n[Software\\\\Seed\\\\Key%04d] 1700000000\n#time=1da1747c66d0000\n"
                      "\"Blob\"=hex:%02x,%02x,de,ad,be,ef\n\"Name\"=\"Seeded key number %d\"\n\"Number\"=dword:%08x\n",
                      k, k & 0xff, k >> 8, k, k * 2654435761u);
        text += block;
    }
    return text;
}

std::string SeededKeys(const std::string &hive)
{
    const size_t start = hive.find("\n[Software\\\\Seed\\\\");
    return start == std::string::npos ? std::string() : hive.substr(start);
}

class Reliability : public ::testing::Test
{
protected:
    void SetUp() override
    {
        machine_.WriteFile("user.reg", SeedUserHive());
        win::ResetMachine();
        seeded_ = SeededKeys(machine_.ReadFile("user.reg"));
        ASSERT_EQ(QueryDword(HKEY_CURRENT_USER, kCounterKey, "Counter"), 0u);
    }

    // Lets `args` write, with a log of its own.
    std::unique_ptr<Writer> Start(const std::vector<std::string> &args, const std::string &log)
    {
        std::remove(machine_.PathOf(log).c_str());
        return std::make_unique<Writer>(args, machine_.PathOf(log));
    }
    std::vector<Ack> Acks(const std::string &log) const { return Acknowledged(machine_.PathOf(log)); }

    TempMachine machine_;
    std::string seeded_;
};

TEST_F(Reliability, WriterKilledAtRandomMomentsKeepsEveryAcknowledgedWrite)
{
    const char *seedText = std::getenv("KORVEX_RELIABILITY_SEED");
    const unsigned seed = seedText && *seedText ? static_cast<unsigned>(std::atol(seedText)) : 20250607u;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, 15000);
    long acknowledged = 0;
    unsigned long onDisk = 0; // the counter as the previous round left it
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round) + ", KORVEX_RELIABILITY_SEED=" + std::to_string(seed));
        // Every other writer brackets its changes: two values of user.reg and one of system.reg.
        const bool bracketed = round % 2 == 1;
        const auto writer = Start(
            {"HKCU", kCounterKey, "Counter", std::to_string(onDisk), "1000000", bracketed ? "bracket" : "counter"},
            "log");
        // The delay counts from the writer's first write, so that every kill lands among writes.
        ASSERT_TRUE(WaitForLine(*writer, machine_.PathOf("log"), "ready"));
        usleep(static_cast<useconds_t>(delay(random)));
        writer->Signal(SIGKILL);
        const int status = writer->Wait();
        // Only the kill may end it: an exit means a registry call failed or saw a stale value.
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << DescribeStatus(status);

        const std::vector<Ack> acks = Acks("log");
        acknowledged += static_cast<long>(acks.size());
        const unsigned long lastAcked = acks.empty() ? onDisk : acks.back().data;
        ASSERT_EQ(lastAcked, onDisk + acks.size()) << "acknowledgements out of sequence";
        win::ResetMachine();
        const auto counter = QueryDword(HKEY_CURRENT_USER, kCounterKey, "Counter");
        ASSERT_TRUE(win::DamagedRegistryFiles().empty()) << "user.reg does not parse";
        ASSERT_EQ(SeededKeys(machine_.ReadFile("user.reg")), seeded_) << "the other values changed";
        // On disk: the last acknowledged write, or the one under way when the kill came.
        ASSERT_TRUE(counter == lastAcked || counter == lastAcked + 1) << "acknowledged " << lastAcked;
        if (bracketed && counter != onDisk) {
            // Each file wholly before or after the bracket under way; system.reg goes in first.
            ASSERT_EQ(QueryDword(HKEY_CURRENT_USER, kCounterKey, "Mirror"), counter) << "user.reg torn";
            const auto machine = QueryDword(HKEY_LOCAL_MACHINE, kCounterKey, "Counter");
            ASSERT_TRUE(machine == counter || machine == *counter + 1)
                << "system.reg " << machine.value_or(0) << " beside user.reg " << *counter;
        }
        onDisk = *counter;
    }
    // A killed writer may leave its temporary file, which the later writers ran beside.
    std::cout << "[ reliability ] 300 kills, " << acknowledged << " acknowledged writes\n";
    EXPECT_GT(acknowledged, 0) << "the writer never got a write through: the kills proved nothing";
}

TEST_F(Reliability, SimultaneousWritersLoseNothing)
{
    struct Job {
        const char *root;
        std::string key;
        std::string name;
        unsigned long start;
        bool counter = false;
    };
    constexpr unsigned long kWrites = 50;
    const std::string shared = "Software\\Korvex\\Concurrent";
    // The rows run one after another, so later writers start from a hive the earlier ones
    // filled. A counter checks before every write that it still holds what it wrote last, so a
    // process that wrote back a stale copy of the hive is caught, though the file keeps its size.
    const std::vector<Job> races[] = {
        {{"HKCU", shared, "A_", 100}, {"HKCU", shared, "B_", 200}, {"HKCU", shared + "\\C", "C_", 300}},
        {{"HKCU", "Software\\Korvex\\MixedA", "UserA_", 5000}, {"HKLM", "Software\\Korvex\\Mixed", "Machine_", 7000}},
        {{"HKCU", "Software\\Korvex\\Counters", "Count0", 0, true},
         {"HKCU", "Software\\Korvex\\Counters", "Count1", 0, true},
         {"HKCU", "Software\\Korvex\\Counters", "Count2", 0, true}},
    };
    for (const std::vector<Job> &race : races) {
        SCOPED_TRACE(race[0].name);
        std::vector<std::unique_ptr<Writer>> writers;
        for (const Job &job : race)
            writers.push_back(Start({job.root, job.key, job.name, std::to_string(job.start), std::to_string(kWrites),
                                     job.counter ? "counter" : "values"},
                                    "log-" + job.name));
        for (size_t i = 0; i < race.size(); ++i) {
            const Job &job = race[i];
            const int status = writers[i]->Wait();
            EXPECT_TRUE(ExitedCleanly(status)) << job.name << ": " << DescribeStatus(status);
            EXPECT_EQ(Acks("log-" + job.name).size(), kWrites) << job.name;
        }
        win::ResetMachine();
        EXPECT_TRUE(win::DamagedRegistryFiles().empty());
        for (const Job &job : race) {
            const win::HKEY root = std::string(job.root) == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
            if (job.counter) {
                EXPECT_EQ(QueryDword(root, job.key, job.name), job.start + kWrites) << job.name;
            }
            for (unsigned long k = 0; !job.counter && k < kWrites; ++k)
                EXPECT_EQ(QueryDword(root, job.key, job.name + std::to_string(k)), job.start + k) << job.name << k;
        }
    }
    EXPECT_EQ(SeededKeys(machine_.ReadFile("user.reg")), seeded_);
}

TEST_F(Reliability, ACachedHiveSeesAndKeepsWhatAnotherProcessWrote)
{
    const char *key = "Software\\Korvex\\Shared";
    ASSERT_EQ(regvalues::SetDword(HKEY_CURRENT_USER, key, "Shared", 100), ERROR_SUCCESS);
    // Every change keeps the file's size; each is read here at once, by a lookup of its own as
    // the settings routines make them.
    for (unsigned long value = 100; value < 120; ++value) {
        const win::ReadScope lookup;
        ASSERT_TRUE(
            ExitedCleanly(Start({"HKCU", key, "Shared", std::to_string(value), "1", "counter"}, "log")->Wait()));
        ASSERT_EQ(QueryDword(HKEY_CURRENT_USER, key, "Shared"), value + 1) << "a stale cached copy was read";
    }
    ASSERT_TRUE(ExitedCleanly(Start({"HKCU", key, "Theirs", "7", "1"}, "log")->Wait()));
    ASSERT_EQ(regvalues::SetDword(HKEY_CURRENT_USER, key, "Mine", 2), ERROR_SUCCESS);
    win::ResetMachine();
    EXPECT_EQ(QueryDword(HKEY_CURRENT_USER, key, "Theirs0"), 7u) << "overwritten by a stale cached copy";
    EXPECT_EQ(QueryDword(HKEY_CURRENT_USER, key, "Mine"), 2u);
}

TEST_F(Reliability, ChangesWaitWhileAnotherProcessHoldsTheMachineLock)
{
    // An existing key's value, and a new key whose creation is the writer's first change.
    for (const char *key : {kCounterKey, "Software\\Korvex\\MadeUnderLock"}) {
        SCOPED_TRACE(key);
        const int folder = open(machine_.Folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st {
        };
        ASSERT_TRUE(fstat(folder, &st) == 0 && flock(folder, LOCK_EX) == 0);
        const std::string before = machine_.ReadFile("user.reg");
        const auto writer = Start({"HKCU", key, "Waited", "42", "1"}, "log");
        // Until the kernel shows the writer queued behind our lock; where /proc/locks cannot tell,
        // the writer simply gets the same time to go wrong.
        for (int tries = 0; tries < 2000 && writer->Running() && !WaitsForLock(writer->Pid(), st.st_ino); ++tries)
            usleep(5000);
        usleep(20000);
        EXPECT_TRUE(writer->Running()) << "the writer finished while the machine was locked";
        EXPECT_TRUE(Acks("log").empty()) << "a write was acknowledged while the machine was locked";
        EXPECT_EQ(machine_.ReadFile("user.reg"), before) << "user.reg changed under our lock";

        close(folder);
        EXPECT_TRUE(ExitedCleanly(writer->Wait()));
        EXPECT_EQ(Acks("log").size(), 1u);
        win::ResetMachine();
        EXPECT_EQ(QueryDword(HKEY_CURRENT_USER, key, "Waited0"), 42u);
    }
}

// The name of the first file made in the watched folder whose name starts with `stem`, once
// `writer` has been stopped right after making it; empty when the writer got past it first.
std::string StopWhenItMakes(Writer &writer, int watch, const std::string &stem)
{
    for (pollfd p{watch, POLLIN, 0}; poll(&p, 1, 1000) > 0;) {
        alignas(inotify_event) char buffer[4096];
        const ssize_t n = read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->len && std::string(event->name).starts_with(stem))
                return writer.Stop() ? event->name : "";
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return {};
}

TEST_F(Reliability, AProcessMakingAMissingHiveKeepsWhatOthersWroteMeanwhile)
{
    // Every process makes the registry files a machine lacks when it starts. One held up while
    // making user.reg (stopped here when its temporary file appears, as the scheduler may stop
    // it) must not replace the user.reg another process made and wrote to in the meantime.
    for (int attempt = 0; attempt < 50; ++attempt) {
        win::ResetMachine();
        std::remove(machine_.PathOf("user.reg").c_str());
        const int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(inotify_add_watch(watch, machine_.Folder().c_str(), IN_CREATE), 0);
        const auto late = Start({"HKCU", "Software\\Korvex\\Late", "Late_", "1", "1"}, "log-late");
        const std::string temp = StopWhenItMakes(*late, watch, ".user.reg.korvex-");
        close(watch);
        if (temp.empty() || access(machine_.PathOf(temp).c_str(), F_OK) != 0) {
            late->Signal(SIGCONT); // it was past the moment already: try again
            EXPECT_TRUE(ExitedCleanly(late->Wait()));
            continue;
        }
        ASSERT_NE(access(machine_.PathOf("user.reg").c_str(), F_OK), 0);

        // Another process either gets its writes through or waits for a lock the stopped one
        // holds; both are right, losing its acknowledged writes is not.
        const auto early = Start({"HKCU", "Software\\Korvex\\Early", "Early_", "1", "5"}, "log-early");
        for (int tries = 0; tries < 5000 && early->Running() && !WaitsForLock(early->Pid()); ++tries)
            usleep(2000);
        late->Signal(SIGCONT);
        EXPECT_TRUE(ExitedCleanly(early->Wait()));
        EXPECT_TRUE(ExitedCleanly(late->Wait()));
        EXPECT_EQ(Acks("log-early").size(), 5u);
        win::ResetMachine();
        EXPECT_TRUE(win::DamagedRegistryFiles().empty());
        for (unsigned long i = 0; i < 5; ++i)
            EXPECT_EQ(QueryDword(HKEY_CURRENT_USER, "Software\\Korvex\\Early", "Early_" + std::to_string(i)), i + 1)
                << "an acknowledged write was undone by the process that made user.reg late";
        EXPECT_EQ(QueryDword(HKEY_CURRENT_USER, "Software\\Korvex\\Late", "Late_0"), 1u);
        return;
    }
    GTEST_SKIP() << "never caught a process between starting and finishing user.reg";
}

} // namespace
