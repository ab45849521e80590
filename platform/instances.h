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
    // "$XDG_RUNTIME_DIR/orvix-instances". Where no session sets XDG_RUNTIME_DIR, the folder is
    // in "<temp>/orvix-<uid>" when that is a folder of the user's (not a link) that only the
    // user may enter (0700); anyone can make that name first, so otherwise a private folder of
    // this process is made ("<temp>/orvix-<uid>-XXXXXX", its path in `madePrivate`).
    static std::string DefaultFolder(std::string* madePrivate = nullptr);

    // Starts answering questions; false when the socket could not be made.
    bool Listen();
    const std::string& SocketPath() const { return socketPath_; }
    // This instance's answer: whether its renderer link runs.
    void SetRendererRunning(bool running) { rendererRunning_ = running; }

    // Asks every other instance in turn, waiting up to timeoutMs for each while events are
    // served. True as soon as one says that its renderer link runs; an instance that is
    // gone, refuses or stays silent counts as no. pump(maxWaitMs) serves events; false stops
    // asking (the program quits).
    bool AskOtherInstances(int timeoutMs = kAnswerTimeoutMs, std::function<bool(int)> pump = {});

private:
    std::string privateBase_; // made by DefaultFolder, removed with the handshake; before folder_
    std::string folder_;
    std::string socketPath_;
    std::atomic<bool> rendererRunning_{false};
    std::unique_ptr<QThread> thread_;
    // Lives on the thread; the server and its connections are its children.
    QObject* context_ = nullptr;
};

} // namespace orvix
