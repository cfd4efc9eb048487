// What a shell command prints, for tests that drive command-line tools (mtools, the registry
// readers used as oracles). Never used with input from outside the test.
#pragma once

#include <cstdio>
#include <string>

inline std::string Shell(const std::string &command)
{
    std::string out;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}
