#include "platform/runtime/quitsignals.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace orvix {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// What the handler reads: plain atomics, as a handler may touch nothing else.
std::atomic<bool> g_inUse{false};
std::atomic<int> g_writeFd{-1};
std::atomic<int> g_pending{0};
std::atomic<const char*> g_removePath{nullptr};
struct sigaction g_previous[kSignalCount];

void OnQuitSignal(int sig)
{
    const int savedErrno = errno;
    if (g_pending.exchange(1) != 0) {
        if (const char* path = g_removePath.load())
            unlink(path);
        // The signal's own end: blocked while this handler runs, it comes once it returns.
        struct sigaction dfl = {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        sigaction(sig, &dfl, nullptr);
        raise(sig);
    } else if (const int fd = g_writeFd.load(); fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(sig);
        ssize_t written = write(fd, &byte, 1);
        (void)written; // a full pair already holds a request
    }
    errno = savedErrno;
}

} // namespace

CQuitSignals::CQuitSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal))
{
    if (g_inUse.exchange(true))
        return;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        g_inUse = false;
        return;
    }
    g_pending = 0;
    g_writeFd = fds_[1];
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });

    struct sigaction sa = {};
    sa.sa_handler = OnQuitSignal;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    for (int sig : kSignals)
        sigaddset(&sa.sa_mask, sig);
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction old;
        if (sigaction(kSignals[i], nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL)
            continue;
        if (sigaction(kSignals[i], &sa, &g_previous[i]) == 0)
            handled_ |= 1u << i;
    }
}

CQuitSignals::~CQuitSignals()
{
    if (fds_[0] < 0)
        return;
    for (int i = 0; i < kSignalCount; ++i)
        if (handled_ & (1u << i))
            sigaction(kSignals[i], &g_previous[i], nullptr);
    g_removePath = nullptr;
    g_writeFd = -1;
    delete notifier_;
    close(fds_[0]);
    close(fds_[1]);
    g_inUse = false;
}

bool CQuitSignals::Handles(int signal) const
{
    for (int i = 0; i < kSignalCount; ++i)
        if (kSignals[i] == signal)
            return handled_ & (1u << i);
    return false;
}

void CQuitSignals::Rearm() { g_pending = 0; }

void CQuitSignals::RemoveOnAbruptEnd(const std::string& path)
{
    if (fds_[0] < 0)
        return;
    g_removePath = nullptr;
    removePath_ = path;
    g_removePath = removePath_.empty() ? nullptr : removePath_.c_str();
}

void CQuitSignals::Drain()
{
    int first = 0;
    unsigned char bytes[16];
    for (ssize_t n; (n = read(fds_[0], bytes, sizeof bytes)) > 0 || (n < 0 && errno == EINTR);)
        if (n > 0 && !first)
            first = bytes[0];
    if (first && onSignal_)
        onSignal_(first);
}

} // namespace orvix
