#include "image_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace win::image
{

namespace
{

struct Pipe {
    int read = -1;
    int write = -1;

    bool Open()
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return false;
        read = ends[0];
        write = ends[1];
        return true;
    }
    static void Close(int &fd)
    {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    ~Pipe()
    {
        Close(read);
        Close(write);
    }
};

std::vector<char *> PointersTo(const std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    pointers.reserve(strings.size() + 1);
    for (const std::string &s : strings)
        pointers.push_back(const_cast<char *>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// A child that stops reading early must not kill this process with SIGPIPE: the signal is
// blocked in this thread while it writes, and one that came meanwhile is taken off again.
class SigpipeBlocked
{
public:
    SigpipeBlocked()
    {
        sigemptyset(&pipeOnly_);
        sigaddset(&pipeOnly_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_);
    }
    ~SigpipeBlocked()
    {
        const timespec noWait{};
        while (sigtimedwait(&pipeOnly_, nullptr, &noWait) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeBlocked(const SigpipeBlocked &) = delete;
    SigpipeBlocked &operator=(const SigpipeBlocked &) = delete;

private:
    sigset_t pipeOnly_{};
    sigset_t previous_{};
};

// Feeds `input` to the child and collects both of its outputs until it closes them.
void Exchange(Pipe &in, Pipe &out, Pipe &err, const std::string &input, ProcessResult &result)
{
    size_t written = 0;
    if (input.empty())
        Pipe::Close(in.write);
    char buffer[1 << 16];
    while (out.read >= 0 || err.read >= 0) {
        pollfd fds[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in.write, POLLOUT, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[2].revents != 0) {
            const ssize_t n = write(in.write, input.data() + written, input.size() - written);
            if (n > 0)
                written += static_cast<size_t>(n);
            if (n < 0 && errno != EINTR && errno != EAGAIN)
                written = input.size();
            if (written == input.size())
                Pipe::Close(in.write);
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0)
                continue;
            int &fd = i == 0 ? out.read : err.read;
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0)
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR)
                Pipe::Close(fd);
        }
    }
    Pipe::Close(in.write);
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

ProcessResult RunProcess(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
                         const std::string &input)
{
    ProcessResult result;
    Pipe in;
    Pipe out;
    Pipe err;
    if (arguments.empty() || !in.Open() || !out.Open() || !err.Open())
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.read, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipeOnly);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char *> argv = PointersTo(arguments);
    std::vector<char *> envp = PointersTo(environment);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return result;
    result.started = true;
    // The writes must not block while the child waits for its output to be read.
    fcntl(in.write, F_SETFL, fcntl(in.write, F_GETFL) | O_NONBLOCK);
    Pipe::Close(in.read);
    Pipe::Close(out.write);
    Pipe::Close(err.write);
    {
        const SigpipeBlocked guard;
        Exchange(in, out, err, input, result);
    }
    result.exitCode = WaitFor(pid);
    return result;
}

std::vector<std::string> InheritedVariables(const std::vector<std::string> &names)
{
    std::vector<std::string> variables;
    for (const std::string &name : names) {
        if (const char *value = std::getenv(name.c_str()))
            variables.push_back(name + "=" + value);
    }
    return variables;
}

} // namespace win::image
