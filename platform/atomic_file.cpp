#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <unistd.h>

namespace orvix {

namespace {
bool g_failWrites = false;
}

void FailAtomicWritesForTesting(bool fail) { g_failWrites = fail; }

bool WriteFileAtomically(const std::string& path, const std::string& data)
{
    return WriteFileAtomically(path, data.data(), data.size());
}

bool WriteAll(int fd, const void* data, size_t size, int64_t offset)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = offset < 0 ? write(fd, p, size) : pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        if (offset >= 0)
            offset += n;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size)
{
    return WriteFileAtomically(path, [data, size](int fd) { return WriteAll(fd, data, size); });
}

bool WriteFileAtomically(const std::string& path, const std::function<bool(int fd)>& write)
{
    if (g_failWrites) {
        errno = EIO;
        return false;
    }
    std::error_code ec;
    std::filesystem::path target(path);
    if (target.has_parent_path())
        std::filesystem::create_directories(target.parent_path(), ec);
    std::string tmp = path + ".tmp-XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        return false;
    int error = 0;
    fchmod(fd, 0644);
    bool ok;
    try {
        ok = write(fd);
    } catch (...) { // e.g. memory ran out while the data were made
        close(fd);
        unlink(tmp.c_str());
        throw;
    }
    if (!ok)
        error = errno;
    if (ok && fsync(fd) != 0) {
        error = errno;
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        error = errno;
        ok = false;
    }
    if (ok && rename(tmp.c_str(), path.c_str()) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        unlink(tmp.c_str());
        // The caller reports why: the first failure's reason, not the clean-up's.
        errno = error;
    }
    return ok;
}

} // namespace orvix
