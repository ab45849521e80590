// The 15-bit random generator of the original run-time (rand()), so that index
// arithmetic written for values 0..32767 stays in range.
#pragma once
#include <cstdint>

namespace orvix {

class CRandom15 {
public:
    static constexpr int Max = 32767;
    // Seeded from the clock.
    CRandom15();
    explicit CRandom15(uint32_t seed) : state_(seed) {}
    void Seed(uint32_t seed) { state_ = seed; }
    // 0..32767
    int Next()
    {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }
private:
    uint32_t state_;
};

} // namespace orvix
