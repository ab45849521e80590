#include "platform/files/sharedfile.h"

#include <cerrno>
#include <chrono>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

namespace orvix {

namespace {

int64_t Nanoseconds(const timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

} // namespace

FileStamp FileStamp::Of(const struct stat& s)
{
    return {true, s.st_dev, s.st_ino, s.st_size, Nanoseconds(s.st_mtim), Nanoseconds(s.st_ctim)};
}

FileStamp StampOf(const std::string& path)
{
    struct stat s;
    return stat(path.c_str(), &s) == 0 ? FileStamp::Of(s) : FileStamp();
}

bool LockExclusively(int fd, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            errno = ETIMEDOUT;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace orvix
