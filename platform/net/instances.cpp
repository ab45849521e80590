#include "platform/net/instances.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "platform/net/peerowner.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/eventpump.h"

namespace orvix {

namespace {
// One byte each way: the question, then "1" (the renderer link runs) or "0".
constexpr char kQuestion = '?';
constexpr char kYes = '1';
constexpr char kNo = '0';
constexpr int kPumpSliceMs = 10;

std::string Reason(const std::string& path, const std::string& what) { return path + ": " + what; }

// Gives a folder just made, through its descriptor (O_PATH), only the user's own rights; a
// name is not looked at twice, so that nothing swapped in meanwhile gets them. Only a folder
// of the user's own is changed.
void MakePrivate(int folder)
{
    struct stat st;
    if (fstat(folder, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid())
        fchmodat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(folder)).c_str(), 0700, 0);
}

// Opens a folder level by level from the root, so that no level that another user owns
// (who could put anything below it) is passed: each must be the user's or the system's, and
// the last the user's own when `own`. Links are resolved first, as the system would follow
// them. Missing levels are made when `make`, private, and only they get their mode set.
// The descriptor (O_RDONLY), or -1 with the reason in `why`.
int OpenCheckedFolder(const std::string& path, bool make, bool own, std::string* why)
{
    if (path.empty() || path[0] != '/') {
        *why = Reason(path, "not an absolute path");
        return -1;
    }
    // The longest part that exists, resolved; the rest is made below it.
    std::string existing = path;
    std::vector<std::string> missing;
    std::string resolved;
    while (true) {
        if (char* r = realpath(existing.c_str(), nullptr)) {
            resolved = r;
            free(r);
            break;
        }
        const int error = errno;
        size_t slash = existing.find_last_of('/');
        if (error != ENOENT || !make || slash == std::string::npos || existing == "/") {
            *why = Reason(existing, strerror(error));
            return -1;
        }
        std::string name = existing.substr(slash + 1);
        if (name == "..") {
            *why = Reason(path, "a missing folder before \"..\"");
            return -1;
        }
        if (!name.empty() && name != ".")
            missing.insert(missing.begin(), name);
        existing = slash == 0 ? "/" : existing.substr(0, slash);
    }
    std::vector<std::string> levels;
    for (size_t at = 1; at < resolved.size();) {
        size_t next = resolved.find('/', at);
        if (next == std::string::npos)
            next = resolved.size();
        levels.push_back(resolved.substr(at, next - at));
        at = next + 1;
    }
    const size_t found = levels.size();
    levels.insert(levels.end(), missing.begin(), missing.end());

    const uid_t me = geteuid();
    int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::string walked;
    for (size_t i = 0; fd >= 0 && i <= levels.size(); ++i) {
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
            *why = Reason(walked.empty() ? "/" : walked, "not a folder");
            break;
        }
        if (st.st_uid != me && (st.st_uid != 0 || (own && i == levels.size()))) {
            *why = Reason(walked.empty() ? "/" : walked, "a folder of another user's");
            break;
        }
        if (i == levels.size()) {
            // The last level, for reading its entries.
            int read = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (read < 0)
                *why = Reason(walked, strerror(errno));
            close(fd);
            return read;
        }
        const std::string& name = levels[i];
        walked += "/" + name;
        bool madeHere = i >= found && mkdirat(fd, name.c_str(), 0700) == 0;
        int next = openat(fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0)
            *why = Reason(walked, errno == ENOTDIR || errno == ELOOP ? "not a folder" : strerror(errno));
        // Against a umask that took the user's own rights; a folder found keeps its mode.
        else if (madeHere)
            MakePrivate(next);
        close(fd);
        fd = next;
    }
    if (fd >= 0)
        close(fd);
    return -1;
}

// The address of an entry of an open folder: its path while it fits the system's limit,
// else through the folder's descriptor, whatever the length of the folder's name.
bool Address(int folder, const std::string& folderPath, const std::string& name, sockaddr_un& a)
{
    a = {};
    a.sun_family = AF_UNIX;
    std::string path = folderPath + "/" + name;
    if (path.size() >= sizeof a.sun_path)
        path = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
    if (path.size() >= sizeof a.sun_path)
        return false;
    memcpy(a.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// `name` in the folder `base` (made when missing, when `makeBase`) as a runtime folder: made
// when missing, and then used only when it is a folder of the user's own, not a link, that
// only the user may enter. Anyone may make a name in a shared folder first; such a folder is
// left as it is. Its path, or "" with the reason in `why`.
std::string OwnPrivateFolder(const std::string& base, bool makeBase, const std::string& name, std::string* why)
{
    const int parent = OpenCheckedFolder(base, makeBase, false, why);
    if (parent < 0)
        return {};
    const std::string path = base + "/" + name;
    const bool made = mkdirat(parent, name.c_str(), 0700) == 0;
    const int folder = openat(parent, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (folder >= 0 && made)
        MakePrivate(folder); // against a umask that took the user's own rights
    struct stat st;
    if (folder < 0 || fstat(folder, &st) != 0)
        *why = Reason(path, strerror(errno));
    else if (S_ISLNK(st.st_mode))
        *why = Reason(path, "a link");
    else if (!S_ISDIR(st.st_mode))
        *why = Reason(path, "not a folder");
    else if (st.st_uid != geteuid())
        *why = Reason(path, "a folder of another user's");
    else if ((st.st_mode & 07777) != 0700)
        *why = Reason(path, "others may enter it (mode " + QString::number(st.st_mode & 07777, 8).toStdString() + ")");
    else
        why->clear();
    if (folder >= 0)
        close(folder);
    close(parent);
    return why->empty() ? path : std::string();
}

// The user's home: $HOME when it is an absolute path, else the one the system keeps.
std::string Home()
{
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/'))
        return home.toStdString();
    const passwd* entry = getpwuid(geteuid());
    return entry && entry->pw_dir && entry->pw_dir[0] == '/' ? entry->pw_dir : "";
}

// The runtime folder every instance of this user finds when no session names one (see
// DefaultFolder); "" with the reasons when neither place serves.
std::string FallbackRuntimeFolder(std::string* why)
{
    std::string tempWhy, stateWhy;
    std::string folder = OwnPrivateFolder(QDir::tempPath().toStdString(), false,
                                          "orvix-" + std::to_string(geteuid()), &tempWhy);
    if (!folder.empty())
        return folder;
    std::string state = qgetenv("XDG_STATE_HOME").toStdString();
    if (state.empty() || state[0] != '/') {
        const std::string home = Home();
        state = home.empty() ? home : home + "/.local/state";
    }
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    if (state.empty())
        stateWhy = "is unknown: no home folder";
    else if (!(folder = OwnPrivateFolder(state, true, std::string("orvix-runtime-") + host, &stateWhy)).empty())
        return folder;
    *why = "the temporary folder " + tempWhy + "; the state folder " + stateWhy;
    return {};
}

// Only an instance of the user's own is asked or answered: in a folder that others may write
// (or reach), anyone's process may be at the other end. The kernel names its user.
bool OwnPeer(int fd)
{
    uid_t owner = 0;
    return PeerOwner(fd, owner) && owner == geteuid();
}

// Removes an entry only when it is a socket of the user's own (the same one as `seen`, when
// given): a folder may hold other files, and other users' sockets.
void RemoveOwnSocket(int folder, const std::string& name, const struct stat* seen = nullptr)
{
    struct stat st;
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISSOCK(st.st_mode)
        || st.st_uid != geteuid())
        return;
    if (seen && (st.st_dev != seen->st_dev || st.st_ino != seen->st_ino))
        return;
    unlinkat(folder, name.c_str(), 0);
}
} // namespace

CInstanceHandshake::CInstanceHandshake(std::string folder)
    : folder_(folder.empty() ? DefaultFolder(&failure_) : std::move(folder))
{
}

CInstanceHandshake::~CInstanceHandshake()
{
    if (thread_) {
        // The server closes (and removes its socket file) on its own thread.
        QMetaObject::invokeMethod(context_, [this] { delete context_; }, Qt::BlockingQueuedConnection);
        thread_->quit();
        thread_->wait();
        RemoveOwnSocket(folderFd_, socketName_, &socketStat_);
    }
    if (folderFd_ >= 0)
        close(folderFd_);
}

std::string CInstanceHandshake::DefaultFolder(std::string* why)
{
    QByteArray own = qgetenv("ORVIX_INSTANCES");
    if (!own.isEmpty())
        return own.toStdString();
    std::string runtimeWhy, fallbackWhy;
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        int fd = OpenCheckedFolder(runtime.toStdString(), false, true, &runtimeWhy);
        if (fd >= 0) {
            close(fd);
            return runtime.toStdString() + "/orvix-instances";
        }
        runtimeWhy = "XDG_RUNTIME_DIR " + runtimeWhy + "; ";
    }
    const std::string fallback = FallbackRuntimeFolder(&fallbackWhy);
    if (!fallback.empty())
        return fallback + "/orvix-instances";
    if (why)
        *why = runtimeWhy + fallbackWhy;
    return {};
}

bool CInstanceHandshake::Listen()
{
    if (thread_)
        return true;
    if (folder_.empty())
        return false; // DefaultFolder said why
    // The socket never goes into a folder of another user's, nor below one.
    if (folderFd_ < 0)
        folderFd_ = OpenCheckedFolder(folder_, true, true, &failure_);
    if (folderFd_ < 0)
        return false;
    const std::string name = std::to_string(getpid());
    // A socket of this name is left by an earlier process with our number: nobody uses it.
    RemoveOwnSocket(folderFd_, name);
    sockaddr_un address;
    if (!Address(folderFd_, folder_, name, address)) {
        failure_ = Reason(folder_, "no address for a socket there");
        return false;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        failure_ = Reason(folder_ + "/" + name, strerror(errno));
        if (fd >= 0)
            close(fd);
        return false;
    }
    // Only the user may ask, as before in a folder that others may enter.
    fchmodat(folderFd_, name.c_str(), 0600, 0);
    if (fstatat(folderFd_, name.c_str(), &socketStat_, AT_SYMLINK_NOFOLLOW) != 0 || listen(fd, 16) != 0) {
        failure_ = Reason(folder_ + "/" + name, strerror(errno));
        close(fd);
        RemoveOwnSocket(folderFd_, name);
        return false;
    }

    thread_ = std::make_unique<QThread>();
    thread_->setObjectName("orvix-instances");
    thread_->start();
    context_ = new QObject;
    context_->moveToThread(thread_.get());
    bool listening = false;
    QMetaObject::invokeMethod(
        context_,
        [this, fd, &listening] {
            auto* server = new QLocalServer(context_);
            QObject::connect(server, &QLocalServer::newConnection, server, [this, server] {
                while (QLocalSocket* peer = server->nextPendingConnection()) {
                    if (!OwnPeer(static_cast<int>(peer->socketDescriptor()))) {
                        // Another user's process is told nothing.
                        peer->abort();
                        peer->deleteLater();
                        continue;
                    }
                    QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                    QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                        if (!peer->readAll().contains(kQuestion))
                            return;
                        peer->write(rendererRunning_ ? &kYes : &kNo, 1);
                        peer->flush();
                        peer->disconnectFromServer();
                    });
                }
            });
            listening = server->listen(fd);
        },
        Qt::BlockingQueuedConnection);
    socketName_ = name;
    if (!listening) {
        failure_ = Reason(folder_ + "/" + name, "the server does not take the socket");
        QMetaObject::invokeMethod(context_, [this] { delete context_; }, Qt::BlockingQueuedConnection);
        context_ = nullptr;
        thread_->quit();
        thread_->wait();
        thread_.reset();
        RemoveOwnSocket(folderFd_, name, &socketStat_);
        return false;
    }
    socketPath_ = folder_ + "/" + name;
    return true;
}

bool CInstanceHandshake::AskOtherInstances(int timeoutMs, std::function<bool(int)> pump)
{
    if (!pump)
        pump = [](int ms) {
            PumpEvents(ms);
            return true;
        };
    if (folder_.empty())
        return false;
    std::string why;
    int folder = folderFd_ >= 0 ? fcntl(folderFd_, F_DUPFD_CLOEXEC, 0) : OpenCheckedFolder(folder_, false, true, &why);
    if (folder < 0)
        return false;
    std::vector<std::string> names;
    const int listing = fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (DIR* d = listing < 0 ? nullptr : fdopendir(listing)) {
        rewinddir(d);
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0 && e->d_name != socketName_)
                names.emplace_back(e->d_name);
        closedir(d);
    } else if (listing >= 0) {
        close(listing);
    }
    std::sort(names.begin(), names.end());
    bool yes = false;
    for (const std::string& name : names) {
        // Only sockets are asked; a folder may hold other files.
        struct stat st;
        sockaddr_un address;
        if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISSOCK(st.st_mode)
            || !Address(folder, folder_, name, address))
            continue;
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            break;
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            // Nobody listens there any more: the socket of an instance that ended abruptly.
            if (errno == ECONNREFUSED)
                RemoveOwnSocket(folder, name, &st);
            close(fd);
            continue;
        }
        if (!OwnPeer(fd)) {
            close(fd);
            continue;
        }
        int answer = send(fd, &kQuestion, 1, MSG_NOSIGNAL) == 1 ? -1 : 0;
        uint32_t t0 = TickMs();
        bool quit = false;
        while (answer < 0) {
            // Events first: a request to quit ends the asking even when an answer waits.
            if (!pump(0)) {
                quit = true;
                break;
            }
            uint32_t waited = TickMs() - t0;
            if (waited >= static_cast<uint32_t>(timeoutMs))
                break;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, std::min<int>(kPumpSliceMs, timeoutMs - static_cast<int>(waited))) > 0) {
                // The answer, or the end of a peer gone without one (a no).
                char got = 0;
                ssize_t n = recv(fd, &got, 1, MSG_DONTWAIT);
                if (n >= 0 || (errno != EINTR && errno != EAGAIN))
                    answer = n == 1 && got == kYes ? 1 : 0;
            }
        }
        close(fd);
        if (quit)
            break;
        if (answer == 1) {
            yes = true;
            break;
        }
    }
    close(folder);
    return yes;
}

} // namespace orvix
