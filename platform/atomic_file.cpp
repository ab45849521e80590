#include "platform/atomic_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvix {

namespace {

bool g_failWrites = false;
std::function<void(const std::string&)> g_beforeRename;

// The target's file name and the writer's pid (0 in the older form) of a temporary's name.
bool ParseTemporaryName(const std::string& name, std::string& target, pid_t& pid)
{
    static const std::regex form(R"((.*)\.tmp-(?:([0-9]{1,9})-)?[A-Za-z0-9]{6})");
    std::smatch m;
    // The quick test first: folders of data files are large.
    if (name.find(".tmp-") == std::string::npos || !std::regex_match(name, m, form))
        return false;
    target = m[1];
    pid = m[2].matched ? static_cast<pid_t>(std::stol(m[2])) : 0;
    return true;
}

// Removes the temporaries of `target` whose writer is gone: its process no longer exists
// (which tells on this machine, also before the writer has its lock) and nobody holds the
// file locked (a lock dies with its process, and tells where the pid means nothing: another
// machine sharing the folder, a reused pid). The lock is held while the file is removed.
void RemoveLeftTemporaries(const std::filesystem::path& target)
{
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const std::string name = target.filename().string();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        std::string of;
        pid_t pid;
        if (file.compare(0, name.size(), name) != 0 || !ParseTemporaryName(file, of, pid) || of != name || pid <= 0
            || kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        int fd = open(it->path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlink(it->path().c_str());
        close(fd);
    }
}

} // namespace

int CreateTemporaryBeside(const std::string& target, std::string& temp)
{
    RemoveLeftTemporaries(target);
    for (;;) {
        temp = target + ".tmp-" + std::to_string(getpid()) + "-XXXXXX";
        int fd = mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0)
            return -1;
        // A cleaner on another machine may have taken the new file for a dead writer's before
        // it was locked: it then holds the lock or has removed the file, and another name is
        // tried. Where locks are not supported the pid alone protects the file.
        struct stat st;
        bool taken = (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
                     || (fstat(fd, &st) == 0 && st.st_nlink == 0);
        if (!taken)
            return fd;
        close(fd);
    }
}

int FinishTemporary(int fd, const std::string& temp, const std::string& target, bool commit)
{
    int error = 0;
    int lock = -1;
    // The lock belongs to the open file, not to a descriptor: a second descriptor keeps it
    // through the rename. Released at the close, it would leave the file to a cleaner that
    // cannot see this process (another pid namespace, another machine) in the gap before the
    // rename, and the rename would fail.
    if (commit && (fsync(fd) != 0 || (lock = fcntl(fd, F_DUPFD_CLOEXEC, 0)) < 0))
        error = errno;
    if (close(fd) != 0 && !error)
        error = errno;
    if (commit && !error) {
        if (g_beforeRename)
            g_beforeRename(temp);
        if (rename(temp.c_str(), target.c_str()) != 0)
            error = errno;
    }
    if (!commit || error)
        unlink(temp.c_str());
    if (lock >= 0)
        close(lock);
    return error;
}

bool IsTemporaryFileName(const std::string& name)
{
    std::string target;
    pid_t pid;
    return ParseTemporaryName(name, target, pid);
}

void FailAtomicWritesForTesting(bool fail) { g_failWrites = fail; }

void BeforeRenamesForTesting(std::function<void(const std::string& temp)> hook) { g_beforeRename = std::move(hook); }

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
    std::string tmp;
    int fd = CreateTemporaryBeside(path, tmp);
    if (fd < 0)
        return false;
    fchmod(fd, 0644);
    bool ok;
    try {
        ok = write(fd);
    } catch (...) { // e.g. memory ran out while the data were made
        FinishTemporary(fd, tmp, path, false);
        throw;
    }
    if (!ok) {
        const int error = errno; // the caller reports why: the write's reason, not the clean-up's
        FinishTemporary(fd, tmp, path, false);
        errno = error;
        return false;
    }
    if (const int error = FinishTemporary(fd, tmp, path, true)) {
        errno = error;
        return false;
    }
    return true;
}

} // namespace orvix
