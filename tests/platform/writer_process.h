// A registry_writer process as the reliability tests drive it: started with its output on a
// pipe, read as it goes, killed, stopped and continued, and asked which writes it acknowledged.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace writer_process
{

using Clock = std::chrono::steady_clock;

// A writer that neither finishes nor dies within this long is taken to be stuck on a lock that
// is never released; it is killed so the test fails instead of hanging.
inline constexpr auto kHangGuard = std::chrono::seconds(120);

struct Ack {
    std::string name;
    unsigned long data = 0;
};

class Writer
{
public:
    explicit Writer(const std::vector<std::string> &args)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::system_error(errno, std::generic_category(), "pipe2");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::vector<std::string> all{REGISTRY_WRITER};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, REGISTRY_WRITER, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            throw std::system_error(rc, std::generic_category(), "posix_spawn " REGISTRY_WRITER);
        }
        out_ = fds[0];
    }

    ~Writer()
    {
        if (!reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            close(out_);
    }

    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    pid_t Pid() const { return pid_; }

    // Collects what the writer prints until `deadline` or until it closes its output.
    void ReadUntil(Clock::time_point deadline)
    {
        while (out_ >= 0) {
            const auto left =
                std::max(Clock::duration::zero(), std::chrono::duration_cast<Clock::duration>(deadline - Clock::now()));
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
            const timespec timeout{static_cast<time_t>(seconds.count()),
                                   static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
            pollfd p{out_, POLLIN, 0};
            const int n = ppoll(&p, 1, &timeout, nullptr);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            ReadSome();
        }
    }

    // Collects what is there already, without waiting.
    void ReadAvailable() { ReadUntil(Clock::now()); }

    void Kill() { kill(pid_, SIGKILL); }

    // Stops the writer wherever it is, as the scheduler may; false when it had ended already.
    bool Stop()
    {
        if (reaped_ || kill(pid_, SIGSTOP) != 0)
            return false;
        int status = 0;
        while (waitpid(pid_, &status, WUNTRACED) != pid_)
            if (errno != EINTR)
                return false;
        if (WIFSTOPPED(status))
            return true;
        status_ = status;
        reaped_ = true;
        return false;
    }

    void Continue() { kill(pid_, SIGCONT); }

    bool Running()
    {
        if (reaped_)
            return false;
        if (waitpid(pid_, &status_, WNOHANG) == pid_)
            reaped_ = true;
        return !reaped_;
    }

    // Waits for the writer to end and collects the rest of its output; returns the wait status.
    int Wait()
    {
        ReadUntil(Clock::now() + kHangGuard);
        if (out_ >= 0) {
            ADD_FAILURE() << "registry_writer " << pid_ << " still runs after " << kHangGuard.count() << " s; killed";
            Kill();
            ReadUntil(Clock::now() + kHangGuard);
        }
        while (!reaped_) {
            if (waitpid(pid_, &status_, 0) == pid_)
                reaped_ = true;
            else if (errno != EINTR)
                break;
        }
        return status_;
    }

    // The writes it acknowledged, in order (complete lines only).
    std::vector<Ack> Acknowledged() const
    {
        std::vector<Ack> acks;
        size_t start = 0;
        for (size_t end; (end = output_.find('\n', start)) != std::string::npos; start = end + 1) {
            std::istringstream line(output_.substr(start, end - start));
            std::string ok;
            Ack ack;
            if (line >> ok >> ack.name >> ack.data && ok == "ok")
                acks.push_back(ack);
        }
        return acks;
    }

    // The end of the pipe its output arrives on; -1 once it closed its output.
    int OutputFd() const { return out_; }

    // Collects output until the writer has printed `line` (true), or ended without it (false).
    bool WaitForLine(const std::string &line)
    {
        const auto deadline = Clock::now() + kHangGuard;
        while (output_.find(line + "\n") == std::string::npos) {
            if (out_ < 0 || Clock::now() > deadline)
                return false;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 1000) > 0)
                ReadSome();
        }
        return true;
    }

    // Reads one chunk of output; call when OutputFd() is readable.
    void ReadSome()
    {
        char buffer[4096];
        const ssize_t n = read(out_, buffer, sizeof buffer);
        if (n > 0) {
            output_.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(out_);
            out_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = 0;
    bool reaped_ = false;
    std::string output_;
};

inline std::string DescribeStatus(int status)
{
    if (WIFEXITED(status))
        return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("signal ") + strsignal(WTERMSIG(status));
    return "status " + std::to_string(status);
}

inline bool ExitedCleanly(int status)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Waits for all the writers, reading their output as it arrives. Returns their wait statuses and
// counts in `switches` how often two acknowledgements in a row came from different writers,
// which shows how far their writes really interleaved.
inline std::vector<int> WaitAll(std::vector<std::unique_ptr<Writer>> &writers, int &switches)
{
    std::vector<size_t> seen(writers.size(), 0);
    int last = -1;
    switches = 0;
    const auto deadline = Clock::now() + kHangGuard;
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<size_t> owners;
        for (size_t i = 0; i < writers.size(); ++i) {
            if (writers[i]->OutputFd() >= 0) {
                fds.push_back(pollfd{writers[i]->OutputFd(), POLLIN, 0});
                owners.push_back(i);
            }
        }
        if (fds.empty() || Clock::now() > deadline)
            break;
        if (poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR)
            break;
        for (size_t k = 0; k < fds.size(); ++k) {
            if (!fds[k].revents)
                continue;
            Writer &writer = *writers[owners[k]];
            writer.ReadSome();
            const size_t acks = writer.Acknowledged().size();
            if (acks > seen[owners[k]]) {
                if (last >= 0 && last != static_cast<int>(owners[k]))
                    ++switches;
                last = static_cast<int>(owners[k]);
                seen[owners[k]] = acks;
            }
        }
    }
    std::vector<int> statuses;
    for (auto &writer : writers)
        statuses.push_back(writer->Wait());
    return statuses;
}

// True when /proc/locks shows `pid` waiting for a lock on the file with inode `inode` (on any
// file when `inode` is 0).
inline bool WaitsForLock(pid_t pid, ino_t inode = 0)
{
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream in(line);
        std::string number, arrow, kind, mode, access, owner, file;
        if (!(in >> number >> arrow >> kind >> mode >> access >> owner >> file) || arrow != "->")
            continue;
        const size_t colon = file.rfind(':');
        if (owner == std::to_string(pid) && colon != std::string::npos &&
            (inode == 0 || file.substr(colon + 1) == std::to_string(inode)))
            return true;
    }
    return false;
}

} // namespace writer_process
