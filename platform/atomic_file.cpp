#include "platform/atomic_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <regex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvix {

namespace {

bool g_failWrites = false;
std::function<void(const std::string&)> g_beforeRename;

// The target's file name (cut short in a long one) and the writer's pid (0 in the older form)
// of a temporary's name.
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

// Removes the temporaries in `folder` whose writer is gone, whatever their target (a new
// recording is a new name, which nobody saves again): its process no longer exists (which
// tells on this machine, also before the writer has its lock) and nobody holds the file
// locked (a lock dies with its process, and tells where the pid means nothing: another
// machine sharing the folder, a reused pid). The lock is held while the file is removed.
// The older form has no pid to tell a writer by: such a name may be the user's own file.
void RemoveLeftTemporaries(const std::filesystem::path& folder)
{
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        std::string of;
        pid_t pid;
        if (!ParseTemporaryName(file, of, pid) || pid <= 0 || kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        int fd = open(it->path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlink(it->path().c_str());
        close(fd);
    }
}

// The temporary's name for a target's file name: the target's part is cut (not inside a UTF-8
// character) so that the whole fits `nameMax`, and the pid and the random part stay whole.
std::string TemporaryName(const std::string& targetName, const std::string& suffix, long nameMax)
{
    size_t keep = targetName.size();
    if (nameMax > 0 && keep + suffix.size() > static_cast<size_t>(nameMax)) {
        keep = static_cast<size_t>(nameMax) > suffix.size() ? static_cast<size_t>(nameMax) - suffix.size() : 0;
        while (keep > 0 && (static_cast<unsigned char>(targetName[keep]) & 0xC0) == 0x80)
            --keep;
    }
    return targetName.substr(0, keep) + suffix;
}

std::string RandomPart()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof letters - 2);
    std::string part(6, ' ');
    for (char& c : part)
        c = letters[pick(generator)];
    return part;
}

// The temporary takes what the user set on the file it replaces: its permission bits and,
// where the user may set it, its group. A new file is created with 0666, which the umask
// narrows, as any new file of the user's.
void TakeAttributesOf(const std::string& target, int fd)
{
    struct stat st;
    if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    // A group that is not one of the user's is refused; the file then keeps the group it got,
    // which must not get the rights meant for the other.
    const bool grouped = fchown(fd, static_cast<uid_t>(-1), st.st_gid) == 0;
    fchmod(fd, st.st_mode & (grouped ? 0777 : 0707));
}

} // namespace

std::string WriteTarget(const std::string& path)
{
    // Links may point to links; the system's own limit on a chain.
    std::string at = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        if (hops == 40) {
            errno = ELOOP;
            return std::string();
        }
        std::error_code ec;
        std::filesystem::path link = std::filesystem::read_symlink(at, ec);
        if (ec) {
            errno = ec.value();
            return std::string();
        }
        std::filesystem::path from(at);
        at = link.is_absolute() || !from.has_parent_path() ? link.string() : (from.parent_path() / link).string();
    }
}

int CreateTemporaryBeside(const std::string& target, std::string& temp)
{
    const std::filesystem::path path(target);
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    RemoveLeftTemporaries(folder);
    const long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
    for (;;) {
        const std::string name =
            TemporaryName(path.filename().string(), ".tmp-" + std::to_string(getpid()) + "-" + RandomPart(), nameMax);
        temp = path.has_parent_path() ? (folder / name).string() : name;
        int fd = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        // A cleaner on another machine may have taken the new file for a dead writer's before
        // it was locked: it then holds the lock or has removed the file, and another name is
        // tried. Where locks are not supported the pid alone protects the file.
        struct stat st;
        bool taken = (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
                     || (fstat(fd, &st) == 0 && st.st_nlink == 0);
        if (!taken) {
            TakeAttributesOf(target, fd);
            return fd;
        }
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
    const std::string file = WriteTarget(path);
    if (file.empty())
        return false;
    std::string tmp;
    int fd = CreateTemporaryBeside(file, tmp);
    if (fd < 0)
        return false;
    bool ok;
    try {
        ok = write(fd);
    } catch (...) { // e.g. memory ran out while the data were made
        FinishTemporary(fd, tmp, file, false);
        throw;
    }
    if (!ok) {
        const int error = errno; // the caller reports why: the write's reason, not the clean-up's
        FinishTemporary(fd, tmp, file, false);
        errno = error;
        return false;
    }
    if (const int error = FinishTemporary(fd, tmp, file, true)) {
        errno = error;
        return false;
    }
    return true;
}

} // namespace orvix
