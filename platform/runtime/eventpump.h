// Serving the event loop from inside a long wait: handles what is waiting, sleeping until an
// event comes or the time is up. Nothing happens without a Qt application.
#pragma once
#include <QObject>

namespace orvix {

void PumpEvents(int maxWaitMs);

// While it lives, a request to quit the program (Qt's quit event) does not end the event
// loop but is noted, so that the wait serving events can end first; RepeatQuit makes the
// request again for the loop outside the wait.
class CQuitWatch : public QObject {
public:
    CQuitWatch();
    ~CQuitWatch() override;
    bool QuitRequested() const { return quit_; }
    static void RepeatQuit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool quit_ = false;
};

// PumpEvents for a wait that a request to quit ends: false when one came, and the request
// is then made again for the loop outside.
bool PumpEventsUnlessQuit(int maxWaitMs);

} // namespace orvix
