// Runs a shell command and collects what it printed (the command line decides
// where standard error goes) with its exit status: -1 when a signal ended the
// shell itself.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandResult {
    int code;
    std::string output;
};

inline CommandResult runCommand(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    CommandResult r{-1, {}};
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
