// Running the helper programs of the disk-image layer (mtools, qemu-img, qemu-io) as child
// processes: an argument vector, never a shell, with an environment of the caller's choosing.
#pragma once

#include <string>
#include <vector>

namespace win::image
{

struct ProcessResult {
    bool started = false; // false: the program could not be started (not installed)
    int exitCode = -1;    // the exit status, -1 when it died of a signal
    std::string out;      // what it wrote to standard output
    std::string err;      // what it wrote to standard error

    bool Succeeded() const { return started && exitCode == 0; }
};

// Runs `arguments[0]` (looked up on PATH) with `arguments`, the environment exactly
// `environment` (each "NAME=value"), `input` on its standard input, and waits for it.
ProcessResult RunProcess(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
                         const std::string &input = {});

// "NAME=value" for every variable of this process's environment named in `names` that is set.
std::vector<std::string> InheritedVariables(const std::vector<std::string> &names);

} // namespace win::image
