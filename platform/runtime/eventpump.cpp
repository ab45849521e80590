#include "platform/runtime/eventpump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

namespace orvix {

void PumpEvents(int maxWaitMs)
{
    if (!QCoreApplication::instance())
        return;
    // The timer wakes the wait when no other event comes.
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(maxWaitMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
}

CQuitWatch::CQuitWatch()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

CQuitWatch::~CQuitWatch()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void CQuitWatch::RepeatQuit()
{
    if (QCoreApplication::instance())
        QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
}

bool CQuitWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        quit_ = true;
        return true;
    }
    return false;
}

bool PumpEventsUnlessQuit(int maxWaitMs)
{
    CQuitWatch watch;
    PumpEvents(maxWaitMs);
    if (!watch.QuitRequested())
        return true;
    CQuitWatch::RepeatQuit();
    return false;
}

} // namespace orvix
