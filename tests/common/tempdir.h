// Temporary folders for tests and benchmarks. Header-only, so that a benchmark needs nothing
// more to link.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace orvix_test {

// A fresh private folder "<prefix>-XXXXXX" under `base`, or the system temp folder when it is null.
inline std::string MakeTempDir(const char* prefix, const char* base = nullptr)
{
    if (!base)
        base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    chmod(buf.data(), 0700);
    return buf.data();
}

// A temporary folder, removed with everything in it when it goes out of scope, whichever
// way the test or benchmark leaves it.
class ScopedTempDir {
public:
    explicit ScopedTempDir(const char* prefix, const char* base = nullptr) : path_(MakeTempDir(prefix, base)) {}
    ~ScopedTempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace orvix_test
