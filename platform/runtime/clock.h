// The program's clock: a millisecond tick (timeGetTime's role) and a high-resolution
// counter in nanoseconds (the performance counter's role, frequency 1e9). Tests replace it.
#pragma once
#include <cstdint>

namespace orvix {

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds from a monotonic clock; differences are taken modulo 2^32.
    virtual uint32_t TickMs() = 0;
    // High-resolution counter value in counts of CounterFrequency().
    virtual int64_t Counter() = 0;
    virtual double CounterFrequency() { return 1e9; }
    // Sleeps about the given milliseconds (a fake clock advances instead).
    virtual void SleepMs(uint32_t ms) = 0;
};

// The clock in force. Never null.
IClock& Clock();

// Installs another clock (tests); nullptr puts the system clock back.
void SetClock(IClock* clock);

inline uint32_t TickMs() { return Clock().TickMs(); }

// A clock that moves only when told to; for tests.
class CFakeClock : public IClock {
public:
    uint32_t TickMs() override { return static_cast<uint32_t>(ns_ / 1000000); }
    int64_t Counter() override { return ns_; }
    void SleepMs(uint32_t ms) override { AdvanceMs(ms); }
    void AdvanceMs(uint32_t ms) { ns_ += static_cast<int64_t>(ms) * 1000000; }
    void AdvanceNs(int64_t ns) { ns_ += ns; }
    void SetMs(uint32_t ms) { ns_ = static_cast<int64_t>(ms) * 1000000; }
private:
    int64_t ns_ = 0;
};

} // namespace orvix
