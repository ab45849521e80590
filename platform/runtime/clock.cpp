#include "platform/runtime/clock.h"

#include <chrono>
#include <thread>

namespace orvix {

namespace {

class CSystemClock : public IClock {
public:
    uint32_t TickMs() override
    {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    int64_t Counter() override
    {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    }
    void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

CSystemClock g_systemClock;
IClock* g_clock = &g_systemClock;

} // namespace

IClock& Clock() { return *g_clock; }

void SetClock(IClock* clock) { g_clock = clock ? clock : &g_systemClock; }

} // namespace orvix
