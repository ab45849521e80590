#include "platform/simsubject.h"

#include <chrono>

#include "platform/kernel/sim_board.h"
#include "platform/random.h"

namespace orvix {

CSimulatedSubject::CSimulatedSubject(uint32_t periodMs, uint32_t holdMs)
    : periodMs_(periodMs), holdMs_(holdMs), thread_(&CSimulatedSubject::Loop, this)
{
}

CSimulatedSubject::~CSimulatedSubject()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool CSimulatedSubject::Wait(uint32_t ms)
{
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void CSimulatedSubject::Loop()
{
    CRandom15 random;
    for (;;) {
        // A period of 0.75 to 1.25 times the mean.
        uint32_t wait = periodMs_ * 3 / 4 + static_cast<uint32_t>(random.Next()) % (periodMs_ / 2 + 1);
        if (!Wait(wait))
            return;
        kernel::Board().StrobeKey(random.Next() % 2 ? 'L' : 'R');
        ++answers_;
        if (!Wait(holdMs_))
            return;
        kernel::Board().StrobeKey('C');
    }
}

} // namespace orvix
