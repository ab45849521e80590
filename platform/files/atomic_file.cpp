#include "platform/files/atomic_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <regex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/fileattributes.h"
#include "platform/text/codepage.h"

namespace orvix {

namespace {

bool g_failWrites = false;
std::function<void(const std::string&)> g_beforeRename;

const char kTempMark[] = ".~orvix-tmp-";

// The writer's pid of a temporary's name in the current form, 0 for any other name.
pid_t TemporaryWriter(const std::string& name)
{
    static const std::regex form(R"(.*\.~orvix-tmp-([1-9][0-9]{0,8})-[A-Za-z0-9]{12})");
    std::smatch m;
    // The quick test first: folders of data files are large.
    if (name.find(kTempMark) == std::string::npos || !std::regex_match(name, m, form))
        return 0;
    return static_cast<pid_t>(std::stol(m[1]));
}

// Removes the temporaries in `folder` that this user's killed writers left, whatever their
// target (a new recording is a new name, which nobody saves again): its process no longer
// exists (which tells on this machine, also before the writer has its lock) and nobody holds
// the file locked (a lock dies with its process, and tells where the pid means nothing:
// another machine sharing the folder, a reused pid). Only files that this program can have
// made are touched: the user's own regular files with one link and a name of the current
// form. The lock is held while the file is removed.
void RemoveLeftTemporaries(int folder)
{
    const int listing = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
    if (!dir) {
        if (listing >= 0)
            close(listing);
        return;
    }
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        const pid_t pid = TemporaryWriter(name);
        struct stat st;
        if (pid <= 0 || kill(pid, 0) == 0 || errno != ESRCH
            || fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
            || st.st_uid != geteuid() || st.st_nlink != 1)
            continue;
        const int fd = openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held, now;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 && held.st_ino == st.st_ino
            && fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == held.st_ino
            && now.st_dev == held.st_dev)
            unlinkat(folder, name.c_str(), 0);
        close(fd);
    }
    closedir(dir);
}

// The folders swept in this run: once each, so that a write costs the same in a folder of
// thousands of data files as in an empty one.
std::mutex g_sweptLock;
std::set<std::pair<dev_t, ino_t>> g_swept;

void SweepOnce(int folder)
{
    struct stat st;
    if (fstat(folder, &st) != 0)
        return;
    {
        std::lock_guard<std::mutex> lock(g_sweptLock);
        if (!g_swept.insert({st.st_dev, st.st_ino}).second)
            return;
    }
    RemoveLeftTemporaries(folder);
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
    std::string part(12, ' ');
    for (char& c : part)
        c = letters[pick(generator)];
    return part;
}

void CloseIfOpen(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// The walk followed the link that had the target's name: a link there now was swapped in
// meanwhile. Closes `file` (the link's) and refuses the write.
bool RefuseLinkSwappedIn(const WriteLocation& at, int& file)
{
    const std::string target = LinkTarget(file);
    CloseIfOpen(file);
    return RefuseChanged(at.path, target);
}

// Looks at what the location's name holds now, through a descriptor of it (only a path: a
// FIFO is not opened), so that the file checked is the file whose attributes are handed on.
// `file` -1 and `at.exists` false when nothing has the name. False, with the failure
// recorded, when it cannot be looked at or a link has the name.
bool LookAt(WriteLocation& at, int& file)
{
    file = openat(at.folder, at.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    at.exists = file >= 0;
    if (file < 0)
        return errno == ENOENT || WriteFailed(errno);
    if (fstat(file, &at.st) == 0)
        return !S_ISLNK(at.st.st_mode) || RefuseLinkSwappedIn(at, file);
    const int error = errno;
    CloseIfOpen(file);
    return WriteFailed(error);
}

// A file of another user's that MayReplace lets be replaced (one in a group folder; in a
// sticky folder that everyone may write it refuses them) is replaced only where the new file
// stays theirs (root gives it their owner): the temporary `temp` must have the owner of
// `file`, or, when `give`, get it.
// False, with the refusal recorded, when it has not.
bool SameOwner(int temp, int file, const std::string& path, bool give)
{
    struct stat mine, theirs;
    if (fstat(temp, &mine) != 0 || fstat(file, &theirs) != 0)
        return WriteFailed(errno);
    if (mine.st_uid == theirs.st_uid || (give && fchown(temp, theirs.st_uid, static_cast<gid_t>(-1)) == 0))
        return true;
    SetWriteFailure(EPERM, "\"" + ShownText(path) + "\" belongs to another user; it is not replaced");
    errno = EPERM;
    return false;
}

// Renames `temp` to `name` in `folder` only while nothing has that name: 0, or the errno
// (EEXIST: taken). Where the file system cannot rename so, the name is claimed as a second
// link, and the temporary's name then removed.
int ClaimName(int folder, const std::string& temp, const std::string& name)
{
    if (renameat2(folder, temp.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (linkat(folder, temp.c_str(), folder, name.c_str(), 0) != 0)
        return errno;
    unlinkat(folder, temp.c_str(), 0);
    return 0;
}

void RunHook(const WriteLocation& at, const std::string& temp)
{
    if (g_beforeRename)
        g_beforeRename(at.path.substr(0, at.path.size() - at.name.size()) + temp);
}

// `name` in `folder` opened to be read when it is the user's own regular file, else -1;
// `isFolder` tells whether a folder has the name.
int OpenUsersRegular(int folder, const char* name, bool* isFolder = nullptr)
{
    const int fd = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    const bool looked = fd >= 0 && fstat(fd, &st) == 0;
    if (isFolder)
        *isFolder = looked && S_ISDIR(st.st_mode);
    if (looked && S_ISREG(st.st_mode) && st.st_uid == geteuid())
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

} // namespace

bool CAtomicWrite::Restart()
{
    Abandon();
    at_.Reset();
    nextName_ = nullptr;
    return !g_failWrites || WriteFailed(EIO);
}

bool CAtomicWrite::Begin(const std::string& path, bool makeFolders)
{
    if (!Restart())
        return false;
    // Another user's file stays theirs; where that cannot be, it is not replaced.
    if (!LocateWriteTarget(path, makeFolders, at_) || !LookAt(at_, examined_) || !MayReplace(at_)
        || !MakeTemporary() || (examined_ >= 0 && !SameOwner(fd_, examined_, at_.path, true))) {
        Abandon();
        return false;
    }
    return true;
}

bool CAtomicWrite::BeginNew(const std::string& path, bool makeFolders, std::function<std::string()> nextName)
{
    if (!Restart())
        return false;
    // The last name is not followed: a link there, dangling or not, is a name that is taken.
    if (!LocateWriteTarget(path, makeFolders, at_, false) || !MakeTemporary()) {
        Abandon();
        return false;
    }
    nextName_ = nextName ? std::move(nextName) : [] { return std::string(); };
    return true;
}

bool CAtomicWrite::MakeTemporary()
{
    SweepOnce(at_.folder);
    const long nameMax = fpathconf(at_.folder, _PC_NAME_MAX);
    for (;;) {
        temp_ = TemporaryName(at_.name, kTempMark + std::to_string(getpid()) + "-" + RandomPart(), nameMax);
        // Private until it is whole: only at the commit does it get the rights of the file.
        fd_ = openat(at_.folder, temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            if (errno == EEXIST)
                continue;
            return WriteFailed(errno);
        }
        // A cleaner on another machine may have taken the new file for a dead writer's before
        // it was locked: it then holds the lock or has removed the file, and another name is
        // tried. Where locks are not supported the pid alone protects the file.
        struct stat st;
        bool taken = (flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
                     || (fstat(fd_, &st) == 0 && st.st_nlink == 0);
        if (!taken)
            return true;
        close(fd_);
    }
}

int CAtomicWrite::Commit(int* replaced)
{
    if (replaced)
        *replaced = -1;
    if (fd_ < 0)
        return EBADF;
    int error = 0;
    int lock = -1;
    // The data reach the disk first, so that the target is looked at again just before the
    // rename. The lock belongs to the open file, not to a descriptor: a second descriptor
    // keeps it through the rename. Released at the close, it would leave the file to a
    // cleaner that cannot see this process (another pid namespace, another machine) in the
    // gap before the rename, and the rename would fail.
    if (fsync(fd_) != 0 || (lock = fcntl(fd_, F_DUPFD_CLOEXEC, 0)) < 0)
        error = errno;
    if (close(fd_) != 0 && !error)
        error = errno;
    fd_ = -1;
    if (error) {
        SetWriteFailure(error);
    } else if (!(nextName_ ? Claim(lock) : Settle(lock, replaced))) {
        error = errno ? errno : EIO;
    }
    if (error)
        unlinkat(at_.folder, temp_.c_str(), 0);
    CloseIfOpen(lock);
    CloseIfOpen(examined_);
    temp_.clear();
    return error;
}

// What has the target's name now must pass Begin's rules, and the file whose attributes the
// new one takes (that one, or the one Begin looked at when it has left the name) must belong
// to the owner Begin gave the new file: a file swapped in meanwhile by someone who may write
// the folder neither gets the data nor lends them its mode, group, access list or
// attributes. What may still change between this look and the rename is only which file the
// rename unlinks, and whoever could put one there could unlink it as well.
bool CAtomicWrite::Settle(int file, int* replaced)
{
    int now = -1;
    if (!LookAt(at_, now))
        return false;
    const int source = now >= 0 ? now : examined_;
    const bool done = MayReplace(at_) && (source < 0 || SameOwner(file, source, at_.path, false))
                      && (TakeAttributes(source, file) || WriteFailed(errno)) && (Replace(replaced) || WriteFailed(errno));
    const int error = errno;
    CloseIfOpen(now);
    errno = error;
    return done;
}

// The rename at once after the last look. With `replaced`, the two files are exchanged, so
// that the file replaced stays to be looked at whatever took the name since the look: a
// directory that did goes back, as a rename would have refused it.
bool CAtomicWrite::Replace(int* replaced)
{
    RunHook(at_, temp_);
    const char* const temp = temp_.c_str();
    if (replaced && at_.exists && renameat2(at_.folder, temp, at_.folder, at_.name.c_str(), RENAME_EXCHANGE) == 0) {
        // One look at what was replaced, so that what is decided and what is handed on are
        // one object.
        bool folder = false;
        *replaced = OpenUsersRegular(at_.folder, temp, &folder);
        if (folder) {
            renameat2(at_.folder, temp, at_.folder, at_.name.c_str(), RENAME_EXCHANGE);
            errno = EISDIR;
            return false;
        }
        unlinkat(at_.folder, temp, 0);
        return true;
    }
    if (replaced) // the file system cannot exchange files
        *replaced = OpenUsersRegular(at_.folder, at_.name.c_str());
    return renameat(at_.folder, temp, at_.folder, at_.name.c_str()) == 0;
}

// A new file gets what the umask leaves, and the first name that nothing has.
bool CAtomicWrite::Claim(int file)
{
    if (!TakeAttributes(-1, file))
        return WriteFailed(errno);
    RunHook(at_, temp_);
    const std::string folder = at_.path.substr(0, at_.path.size() - at_.name.size());
    for (;;) {
        const int error = ClaimName(at_.folder, temp_, at_.name);
        if (error != EEXIST)
            return error == 0 || WriteFailed(error);
        const std::string next = nextName_();
        if (next.empty())
            return WriteFailed(EEXIST);
        at_.name = next;
        at_.path = folder + next;
    }
}

void CAtomicWrite::Abandon()
{
    const int error = errno; // the caller reports why: the write's reason, not the clean-up's
    CloseIfOpen(examined_);
    if (fd_ >= 0) {
        CloseIfOpen(fd_);
        unlinkat(at_.folder, temp_.c_str(), 0);
    }
    temp_.clear();
    errno = error;
}

bool IsTemporaryFileName(const std::string& name)
{
    static const std::regex older(R"(.*\.tmp-(?:[0-9]{1,9}-)?[A-Za-z0-9]{6})");
    return TemporaryWriter(name) > 0 || (name.find(".tmp-") != std::string::npos && std::regex_match(name, older));
}

void FailAtomicWritesForTesting(bool fail) { g_failWrites = fail; }

void BeforeRenamesForTesting(std::function<void(const std::string& temp)> hook) { g_beforeRename = std::move(hook); }

void ForgetSweptFoldersForTesting()
{
    std::lock_guard<std::mutex> lock(g_sweptLock);
    g_swept.clear();
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

bool WriteFileAtomically(const std::string& path, const std::string& data)
{
    return WriteFileAtomically(path, data.data(), data.size());
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size)
{
    return WriteFileAtomically(path, [data, size](int fd) { return WriteAll(fd, data, size); });
}

namespace {

bool WriteAndCommit(CAtomicWrite& file, const std::function<bool(int fd)>& write)
{
    bool ok = write(file.Fd()); // an exception (memory ran out) abandons the temporary
    if (!ok)
        return WriteFailed(errno);
    if (const int error = file.Commit()) {
        errno = error;
        return false;
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const std::string& path, const std::function<bool(int fd)>& write)
{
    CAtomicWrite file;
    return file.Begin(path, true) && WriteAndCommit(file, write);
}

bool WriteNewFileAtomically(const std::string& path, const std::function<bool(int fd)>& write,
                            std::function<std::string()> nextName)
{
    CAtomicWrite file;
    return file.BeginNew(path, true, std::move(nextName)) && WriteAndCommit(file, write);
}

} // namespace orvix
