// What the benchmarks share: running a peer (a child process or another tool) and reading
// what it prints, and the median of timings. Header-only, like the temporary folders.
#pragma once
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h> // environ
#include <vector>

#include "tests/common/tempdir.h"

namespace orvix_test {

// Runs a shell command and returns its wait status (0: it succeeded), -1 when it did not
// start. Unlike system(), this process does not ignore SIGINT while it waits: Ctrl-C or
// `timeout -s INT` ends the benchmark, not only the command it waits for.
inline int RunCommand(const std::string& command)
{
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return -1;
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return status;
}

// The words a shell command prints, in order; empty when it failed.
inline std::vector<std::string> CommandWords(const std::string& command)
{
    std::vector<std::string> words;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return words;
    char word[256];
    while (fscanf(p, "%255s", word) == 1)
        words.push_back(word);
    if (pclose(p) != 0)
        words.clear();
    return words;
}

inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace orvix_test
