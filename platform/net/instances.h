// The handshake between running instances of the program: each listens on a local socket of
// its own in one folder of the user's runtime directory, and an instance about to take the
// hardware asks every other one whether its renderer link runs. Only one instance may drive
// the renderer and the devices at a time.
//
// The socket is served on a thread of its own, so that the experiment loop's event handling
// carries no listening socket; the answer it gives is the flag the owner keeps up to date.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>

class QObject;
class QThread;

namespace orvix {

class CInstanceHandshake {
public:
    // An answer that does not come within this time counts as no.
    static constexpr int kAnswerTimeoutMs = 2000;

    // folder: where the sockets live ("" the default folder, DefaultFolder()).
    explicit CInstanceHandshake(std::string folder = {});
    ~CInstanceHandshake();
    CInstanceHandshake(const CInstanceHandshake&) = delete;
    CInstanceHandshake& operator=(const CInstanceHandshake&) = delete;

    // $ORVIX_INSTANCES when set (a group of instances of its own, as the tests need), else
    // "$XDG_RUNTIME_DIR/orvix-instances" when that folder is the user's. Otherwise the folder
    // is in the runtime folder that every instance of this user falls back to (and run.sh
    // too): "<temp>/orvix-<uid>" when that is a folder of the user's own (not a link) that only
    // the user may enter (0700); anyone may make that name first, so otherwise
    // "<state>/orvix-runtime-<host>" in the user's state folder ($XDG_STATE_HOME, default
    // ~/.local/state; named for the machine, as one home may serve several), made 0700 and held
    // to the same rules. No level of these paths may be another user's. "" when there is none
    // (`why` says why): the instance then runs without the check.
    static std::string DefaultFolder(std::string* why = nullptr);

    // Starts answering questions, only those of the user's own processes (a stranger who
    // reaches the socket gets no answer); false when the socket could not be made (Failure()
    // says why). The folder and its missing parents are made private; none of its levels may be
    // another user's, and the folder itself must be the user's own. Any length of its path
    // serves: the socket is reached through a descriptor of the folder when the path is
    // longer than a socket's address takes.
    bool Listen();
    const std::string& Failure() const { return failure_; }
    const std::string& SocketPath() const { return socketPath_; }
    // This instance's answer: whether its renderer link runs.
    void SetRendererRunning(bool running) { rendererRunning_ = running; }

    // Asks every other instance in turn, waiting up to timeoutMs for each while events are
    // served. True as soon as one says that its renderer link runs; an instance that is
    // gone, refuses or stays silent counts as no. Only sockets are asked, and only those that a
    // process of the user's listens on (the kernel names the peer's user): a stranger's socket
    // in a folder that others may write is not believed. Of the sockets that nobody listens on
    // any more only the user's own are removed. pump(maxWaitMs) serves events; false stops
    // asking (the program quits).
    bool AskOtherInstances(int timeoutMs = kAnswerTimeoutMs, std::function<bool(int)> pump = {});

private:
    std::string failure_; // before folder_, which DefaultFolder may give a reason for
    std::string folder_;
    int folderFd_ = -1; // the folder, opened by Listen
    std::string socketName_;
    struct stat socketStat_ {};
    std::string socketPath_;
    std::atomic<bool> rendererRunning_{false};
    std::unique_ptr<QThread> thread_;
    // Lives on the thread; the server and its connections are its children.
    QObject* context_ = nullptr;
};

} // namespace orvix
