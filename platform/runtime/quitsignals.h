// The signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) turned into a call on the
// event loop, so that the program can leave the way its user's Exit does: questions asked,
// files closed. The handler itself only writes a byte to a socket pair. A second signal
// while the first is being dealt with ends the process at once, removing the one file
// named for that case first.
//
// A signal that the process inherited as ignored (a background job of a script ignores
// SIGINT, nohup SIGHUP) or that something else already handles is left alone. One object
// at a time per process.
#pragma once
#include <QObject>
#include <functional>
#include <string>

class QSocketNotifier;

namespace orvix {

class CQuitSignals : public QObject {
public:
    explicit CQuitSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    // The earlier handlers come back.
    ~CQuitSignals() override;
    CQuitSignals(const CQuitSignals&) = delete;
    CQuitSignals& operator=(const CQuitSignals&) = delete;

    // Whether the signal is handled here.
    bool Handles(int signal) const;
    // The leave that the last signal asked for did not happen (the user kept the program):
    // the next signal asks again instead of ending the process.
    void Rearm();
    // Removed when a second signal ends the process ("" none).
    void RemoveOnAbruptEnd(const std::string& path);

private:
    void Drain();

    std::function<void(int)> onSignal_;
    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    unsigned handled_ = 0; // bit per entry of the signal list
    std::string removePath_;
};

} // namespace orvix
