// The simulated subject of the run command: it answers on the digital-I/O board's key, pressing
// left or right now and then and letting go again, so that a task waiting for a key goes on.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace orvix {

class CSimulatedSubject {
public:
    // Answers every `periodMs` (a little sooner or later), holding the key for `holdMs`.
    explicit CSimulatedSubject(uint32_t periodMs = 1500, uint32_t holdMs = 200);
    ~CSimulatedSubject();
    CSimulatedSubject(const CSimulatedSubject&) = delete;
    CSimulatedSubject& operator=(const CSimulatedSubject&) = delete;

    int Answers() const { return answers_; }

private:
    void Loop();
    // Waits up to ms; false when the subject is stopping.
    bool Wait(uint32_t ms);

    uint32_t periodMs_;
    uint32_t holdMs_;
    std::atomic<int> answers_{0};
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

} // namespace orvix
