// The simulated ISA digital-I/O and timer board at I/O address 0x180, interrupt level 5:
// four 8255s (the first latches key and timer events in strobed-input mode, the third drives
// the outputs, the fourth reads the sample inputs), an 8254 and two interrupt control
// registers. Tests script it; by default it behaves as an idle lab board whose timer ticks
// at 720 Hz while the run control says "running".
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel/kernel_control.h"

namespace orvix::kernel {

class CSimBoard : public IPortDevice {
public:
    static constexpr ULONG kBase = 0x180;
    static constexpr ULONG kPorts = 0x16;
    static constexpr ULONG kInterruptLevel = 5;
    static constexpr uint8_t kTickFlag = 0x20;
    static constexpr size_t kEventQueueLimit = 1024;
    static constexpr int kTicksPerSecond = 720; // 14.4 MHz over counter 0's 20000

    struct PortAccess {
        bool write;
        ULONG offset;
        UCHAR value;
        bool operator==(const PortAccess&) const = default;
    };

    CSimBoard();
    ~CSimBoard() override;

    // Back to the power-on state: nothing latched or queued, outputs 0, inputs at mid-scale,
    // automatic ticking on, no access log, no listener.
    void Reset();

    // Events in the strobed-input latch. They queue on the board and are latched one at a
    // time as the previous one is read; each latch raises the interrupt when enabled.
    void StrobeEvent(uint8_t flags);
    // Key positions 'F', 'B', 'L', 'R', 'C'; any other letter strobes nothing.
    void StrobeKey(char position);
    void TickTimer(int ticks = 1);
    // Counter 1 reached its terminal count: the line fires with no event latched.
    void CounterInterrupt();

    // The values the fourth 8255 reads: a 9-bit and an 8-bit input.
    void SetSampleInputs(uint16_t inputBC, uint8_t inputA);
    // Ticks at 720 Hz on its own while the run control is 3 (running).
    void SetAutoTick(bool on);

    uint8_t OutputA() const;
    uint8_t OutputB() const;
    uint8_t RunControl() const;
    uint64_t DroppedEvents() const;
    // Called (outside the board's lock) for every write to output port A, B or the run control.
    void SetOutputListener(std::function<void(ULONG offset, UCHAR value)> listener);

    // Records every port access until the log is taken.
    void SetRecording(bool on);
    std::vector<PortAccess> TakeAccessLog();

    UCHAR ReadPort(ULONG offset) override;
    void WritePort(ULONG offset, UCHAR value) override;

private:
    bool LatchNextLocked();      // true when the latch should raise the interrupt
    bool InterruptEnabledLocked() const;
    void RaiseLocked(bool raise);
    void StrobeLocked(uint8_t flags);
    void AutoTickLoop();

    mutable std::mutex mutex_;
    UCHAR registers_[kPorts] = {};
    std::deque<uint8_t> events_;
    uint8_t latched_ = 0;
    bool inputBufferFull_ = false;
    bool interruptEnableA_ = false;
    uint16_t inputBC_ = 256;
    uint8_t inputA_ = 128;
    uint64_t droppedEvents_ = 0;
    bool recording_ = false;
    std::vector<PortAccess> log_;
    std::function<void(ULONG, UCHAR)> listener_;

    bool autoTick_ = true;
    bool stop_ = false;
    std::condition_variable tickWake_;
    std::thread ticker_;
};

// The board on this process's I/O bus.
CSimBoard& Board();

} // namespace orvix::kernel
