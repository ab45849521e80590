#include "platform/kernel/sim_board.h"

#include <algorithm>
#include <chrono>

namespace orvix::kernel {

namespace {

// Register offsets the board gives a meaning to.
constexpr ULONG kEventFlags = 0x00;   // 8255 #1 port A, strobed input
constexpr ULONG kEventStatus = 0x02;  // 8255 #1 port C
constexpr ULONG kEventControl = 0x03; // 8255 #1 control
constexpr ULONG kOutputA = 0x08;
constexpr ULONG kOutputB = 0x09;
constexpr ULONG kRunControl = 0x0A;
constexpr ULONG kInputA = 0x0C;
constexpr ULONG kInputBCLow = 0x0D;
constexpr ULONG kInputBCHigh = 0x0E;
constexpr ULONG kInterruptControl1 = 0x14;

constexpr UCHAR kStatusIntrA = 0x08;
constexpr UCHAR kStatusInteA = 0x10;
constexpr UCHAR kStatusIbfA = 0x20;
constexpr UCHAR kRunning = 3;

uint8_t KeyFlag(char position)
{
    switch (position) {
    case 'F': return 0x01;
    case 'B': return 0x02;
    case 'L': return 0x04;
    case 'R': return 0x08;
    case 'C': return 0x10;
    default: return 0;
    }
}

} // namespace

CSimBoard::CSimBoard()
{
    // The interrupt side must outlive the board, whose ticker raises interrupts.
    WaitForInterruptsIdle(0);
    AttachPortDevice(this, kBase, kPorts);
    ticker_ = std::thread(&CSimBoard::AutoTickLoop, this);
}

CSimBoard::~CSimBoard()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    tickWake_.notify_all();
    ticker_.join();
    AttachPortDevice(nullptr, 0, 0);
}

void CSimBoard::Reset()
{
    std::lock_guard lock(mutex_);
    std::fill(std::begin(registers_), std::end(registers_), 0);
    events_.clear();
    latched_ = 0;
    inputBufferFull_ = false;
    interruptEnableA_ = false;
    inputBC_ = 256;
    inputA_ = 128;
    droppedEvents_ = 0;
    recording_ = false;
    log_.clear();
    listener_ = nullptr;
    autoTick_ = true;
}

bool CSimBoard::InterruptEnabledLocked() const
{
    return interruptEnableA_ && (registers_[kInterruptControl1] & 1);
}

bool CSimBoard::LatchNextLocked()
{
    if (inputBufferFull_ || events_.empty())
        return false;
    latched_ = events_.front();
    events_.pop_front();
    inputBufferFull_ = true;
    return InterruptEnabledLocked();
}

// The request is made under the board's lock, so that an event the board has taken is
// already pending at the interrupt controller when anyone next looks at the board.
void CSimBoard::RaiseLocked(bool raise)
{
    if (raise)
        RequestInterrupt(kInterruptLevel);
}

void CSimBoard::StrobeLocked(uint8_t flags)
{
    if (events_.size() >= kEventQueueLimit) {
        ++droppedEvents_;
        return;
    }
    events_.push_back(flags);
    RaiseLocked(LatchNextLocked());
}

void CSimBoard::StrobeEvent(uint8_t flags)
{
    std::lock_guard lock(mutex_);
    StrobeLocked(flags);
}

void CSimBoard::StrobeKey(char position)
{
    if (uint8_t flag = KeyFlag(position))
        StrobeEvent(flag);
}

void CSimBoard::TickTimer(int ticks)
{
    std::lock_guard lock(mutex_);
    for (int i = 0; i < ticks; ++i)
        StrobeLocked(kTickFlag);
}

void CSimBoard::CounterInterrupt() { RequestInterrupt(kInterruptLevel); }

void CSimBoard::SetSampleInputs(uint16_t inputBC, uint8_t inputA)
{
    std::lock_guard lock(mutex_);
    inputBC_ = inputBC & 0x1FF;
    inputA_ = inputA;
}

void CSimBoard::SetAutoTick(bool on)
{
    {
        std::lock_guard lock(mutex_);
        autoTick_ = on;
    }
    tickWake_.notify_all();
}

uint8_t CSimBoard::OutputA() const
{
    std::lock_guard lock(mutex_);
    return registers_[kOutputA];
}

uint8_t CSimBoard::OutputB() const
{
    std::lock_guard lock(mutex_);
    return registers_[kOutputB];
}

uint8_t CSimBoard::RunControl() const
{
    std::lock_guard lock(mutex_);
    return registers_[kRunControl];
}

uint64_t CSimBoard::DroppedEvents() const
{
    std::lock_guard lock(mutex_);
    return droppedEvents_;
}

void CSimBoard::SetOutputListener(std::function<void(ULONG, UCHAR)> listener)
{
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void CSimBoard::SetRecording(bool on)
{
    std::lock_guard lock(mutex_);
    recording_ = on;
}

std::vector<CSimBoard::PortAccess> CSimBoard::TakeAccessLog()
{
    std::lock_guard lock(mutex_);
    std::vector<PortAccess> taken;
    taken.swap(log_);
    return taken;
}

UCHAR CSimBoard::ReadPort(ULONG offset)
{
    UCHAR value;
    {
        std::lock_guard lock(mutex_);
        switch (offset) {
        case kEventFlags:
            // Reading the latch empties it; the next queued event takes its place.
            value = latched_;
            inputBufferFull_ = false;
            RaiseLocked(LatchNextLocked());
            break;
        case kEventStatus:
            value = (inputBufferFull_ ? kStatusIbfA : 0) | (interruptEnableA_ ? kStatusInteA : 0)
                | (inputBufferFull_ && interruptEnableA_ ? kStatusIntrA : 0);
            break;
        case kInputA: value = inputA_; break;
        case kInputBCLow: value = static_cast<UCHAR>(inputBC_ & 0xFF); break;
        case kInputBCHigh: value = static_cast<UCHAR>(inputBC_ >> 8); break;
        default: value = registers_[offset]; break;
        }
        if (recording_)
            log_.push_back({false, offset, value});
    }
    return value;
}

void CSimBoard::WritePort(ULONG offset, UCHAR value)
{
    std::function<void(ULONG, UCHAR)> listener;
    {
        std::lock_guard lock(mutex_);
        if (recording_)
            log_.push_back({true, offset, value});
        UCHAR before = registers_[offset];
        registers_[offset] = value;
        if (offset == kEventControl) {
            if (value & 0x80) {
                // A mode word resets the chip's latch and status.
                events_.clear();
                inputBufferFull_ = false;
                interruptEnableA_ = false;
            } else if (((value >> 1) & 7) == 4) {
                // Bit set/reset of PC4, the strobed port's interrupt enable.
                interruptEnableA_ = value & 1;
                RaiseLocked(inputBufferFull_ && InterruptEnabledLocked());
            }
        } else if (offset == kInterruptControl1 && !(before & 1) && (value & 1)) {
            RaiseLocked(inputBufferFull_ && InterruptEnabledLocked());
        }
        if (offset == kOutputA || offset == kOutputB || offset == kRunControl)
            listener = listener_;
    }
    if (offset == kRunControl)
        tickWake_.notify_all();
    if (listener)
        listener(offset, value);
}

void CSimBoard::AutoTickLoop()
{
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::nanoseconds(1000000000 / kTicksPerSecond);
    auto next = Clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
        auto ticking = [&] { return stop_ || (autoTick_ && registers_[kRunControl] == kRunning); };
        if (!ticking()) {
            tickWake_.wait(lock, ticking);
            next = Clock::now();
        }
        if (stop_)
            return;
        next += period;
        if (tickWake_.wait_until(lock, next, [&] { return stop_; }))
            return;
        if (autoTick_ && registers_[kRunControl] == kRunning)
            StrobeLocked(kTickFlag);
    }
}

CSimBoard& Board()
{
    static CSimBoard board;
    return board;
}

} // namespace orvix::kernel
