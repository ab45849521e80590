#include "platform/eventpump.h"

#include <QCoreApplication>
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

} // namespace orvix
