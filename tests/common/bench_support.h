// What the benchmarks share: running a peer (a child process or another tool) and reading
// what it prints, and the median of timings. Header-only, like the temporary folders.
#pragma once
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/common/tempdir.h"

namespace orvix_test {

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
