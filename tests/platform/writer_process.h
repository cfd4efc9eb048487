// registry_writer processes as the reliability tests drive them: started with their output
// appended to a log file (a killed writer's finished lines stay there), killed, stopped and
// continued, and asked which writes they acknowledged.
#pragma once

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace writer_process
{

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
inline std::vector<Ack> Acknowledged(const std::string &log)
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
inline bool WaitForLine(Writer &writer, const std::string &log, const std::string &line)
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

inline std::string DescribeStatus(int status)
{
    if (WIFSIGNALED(status))
        return std::string("signal ") + strsignal(WTERMSIG(status));
    return "exit " + std::to_string(WEXITSTATUS(status));
}

inline bool ExitedCleanly(int status)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// True when /proc/locks shows `pid` waiting for a lock on the file with inode `inode` (on any
// file when `inode` is 0): its lines read "1: -> FLOCK ADVISORY WRITE <pid> <dev>:<inode> ...".
inline bool WaitsForLock(pid_t pid, ino_t inode = 0)
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

} // namespace writer_process
