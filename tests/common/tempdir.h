// Temporary folders for tests and benchmarks. Header-only, so that a benchmark needs nothing
// more to link.
#pragma once
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvix_test {

namespace detail {

// A folder to remove when SIGINT, SIGTERM or SIGHUP ends the process (a benchmark or a test
// run stopped by hand, by `timeout` or by its terminal closing), with the process that made
// it: a forked child removes only its own.
struct WatchedFolder {
    std::atomic<pid_t> owner{0}; // 0: free; -1: being filled
    char path[PATH_MAX];
};
inline WatchedFolder g_watched[16];
inline constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Removes a folder tree with system calls only, which a signal handler may make (no
// allocation, no lock). True when the folder is gone.
inline bool RemoveTreeAt(int parent, const char* name)
{
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        alignas(dirent64) char buf[4096];
        // Passes from the start until one removes nothing: removing entries while reading
        // the folder may skip some.
        for (bool removed = true; removed;) {
            removed = false;
            lseek(fd, 0, SEEK_SET);
            for (ssize_t n; (n = getdents64(fd, buf, sizeof buf)) > 0;) {
                for (ssize_t at = 0; at < n;) {
                    const auto* e = reinterpret_cast<const dirent64*>(buf + at);
                    at += e->d_reclen;
                    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                        removed |= unlinkat(fd, e->d_name, 0) == 0 || RemoveTreeAt(fd, e->d_name);
                }
            }
        }
        close(fd);
    }
    return unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

// Set by the first handler to run: the one thread that removes the folders and ends the process.
inline std::atomic<bool> g_ending{false};

inline void RemoveWatchedFolders(int sig)
{
    // A further ending signal waits while this handler runs (the handler's mask), but
    // another thread may take it; that thread waits here for the end this one brings.
    if (g_ending.exchange(true)) {
        for (;;)
            pause();
    }
    const pid_t self = getpid();
    for (WatchedFolder& f : g_watched)
        if (f.owner.load() == self)
            RemoveTreeAt(AT_FDCWD, f.path);
    // Then the signal ends the process as it would have: back to the default action, and
    // raised again; blocked until the handler returns, it is delivered then.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(sig, &dfl, nullptr);
    raise(sig);
}

// Enters a folder for removal on the ending signals, unless the process handles or ignores
// them itself. Null when there is no room (the folder is then removed on a normal exit only).
inline WatchedFolder* WatchFolder(const std::string& path)
{
    for (int sig : kEndingSignals) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) {
            struct sigaction sa = {};
            sa.sa_handler = RemoveWatchedFolders;
            sigemptyset(&sa.sa_mask);
            for (int other : kEndingSignals)
                sigaddset(&sa.sa_mask, other);
            sigaction(sig, &sa, nullptr);
        }
    }
    if (path.size() >= PATH_MAX)
        return nullptr;
    for (WatchedFolder& f : g_watched) {
        pid_t none = 0;
        if (f.owner.compare_exchange_strong(none, -1)) {
            memcpy(f.path, path.c_str(), path.size() + 1);
            f.owner.store(getpid());
            return &f;
        }
    }
    return nullptr;
}

// Holds the ending signals back in this thread while it lives: one that comes between the
// making of a folder and its entry for removal (a loaded machine may stop the process there
// for milliseconds) arrives once the folder can be removed.
struct EndingSignalsHeld {
    sigset_t old;
    EndingSignalsHeld()
    {
        sigset_t ending;
        sigemptyset(&ending);
        for (int sig : kEndingSignals)
            sigaddset(&ending, sig);
        pthread_sigmask(SIG_BLOCK, &ending, &old);
    }
    ~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &old, nullptr); }
};

} // namespace detail

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

// A fresh private folder like MakeTempDir's, removed by a watching child process once this
// process has ended, however it ends (also by _Exit, a crash or SIGKILL): for a process whose
// SIGINT and SIGTERM belong to another, as libFuzzer's do (its handlers print its report and
// end with _Exit). The watcher waits for the end of a pipe that only this process holds; it
// leaves the process group, so that Ctrl-C and `timeout` do not end it first.
inline std::string MakeTempDirRemovedAtEnd(const char* prefix)
{
    const std::string path = MakeTempDir(prefix);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        setsid();
        const int null = open("/dev/null", O_RDWR);
        dup2(ends[0], 0);
        dup2(null, 1);
        dup2(null, 2);
        close_range(3, ~0U, 0);
        char c;
        ssize_t n;
        do
            n = read(0, &c, 1);
        while (n > 0 || (n < 0 && errno == EINTR));
        detail::RemoveTreeAt(AT_FDCWD, path.c_str());
        _exit(0);
    }
    close(ends[0]); // the writing end stays open until the process ends
    return path;
}

// A temporary folder, removed with everything in it when it goes out of scope, whichever
// way the test or benchmark leaves it, also when SIGINT, SIGTERM or SIGHUP ends the process.
class ScopedTempDir {
public:
    explicit ScopedTempDir(const char* prefix, const char* base = nullptr)
    {
        const detail::EndingSignalsHeld held;
        path_ = MakeTempDir(prefix, base);
        watched_ = detail::WatchFolder(path_);
    }
    ~ScopedTempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        if (watched_)
            watched_->owner.store(0);
    }
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    detail::WatchedFolder* watched_ = nullptr;
};

// A home of its own for a test process and the programs it starts: HOME and the per-user
// folders (settings, data, caches, state) point into a fresh temporary folder, removed with
// it, so that a test run leaves the home of whoever runs it alone: Qt's file-dialog history,
// the program's registry file, the default drive folders under ~/orvix. TMPDIR points there
// too, so that whatever the process and its programs leave in the temporary folder goes with
// it; the runtime folder is made there when none is set.
class ScopedPrivateHome {
public:
    ScopedPrivateHome() : dir_("orvix-home")
    {
        const std::string& home = dir_.Path();
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        setenv("XDG_STATE_HOME", (home + "/.local/state").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
        const std::string tmp = home + "/tmp";
        mkdir(tmp.c_str(), 0700);
        setenv("TMPDIR", tmp.c_str(), 1);
        if (!getenv("XDG_RUNTIME_DIR")) {
            const std::string runtime = home + "/runtime";
            mkdir(runtime.c_str(), 0700);
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        }
    }

private:
    ScopedTempDir dir_;
};

} // namespace orvix_test
