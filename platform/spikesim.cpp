#include "platform/spikesim.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/random.h"

namespace orvix {

namespace {

SpikeSimScript g_script;

constexpr int kChannels = 4;
// Mean interval between spikes of one channel, in 0.1 ms (20 spikes/s).
constexpr int kMeanInterval = 500;

class CSimSpikeDevice : public IDevice {
public:
    uint32_t DeviceIoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                             uint32_t& returned) override
    {
        returned = 0;
        if (g_script.failNext) {
            uint32_t e = g_script.failNext;
            g_script.failNext = 0;
            return e;
        }
        switch (code) {
        case IOCTL_SPIKE_START:
            ++g_script.starts;
            counting_ = true;
            start_ = Clock().Counter();
            generatedTo_ = 0;
            for (int c = 0; c < kChannels; ++c)
                next_[c] = Interval();
            return 0;
        case IOCTL_SPIKE_STOP:
            ++g_script.stops;
            Generate();
            counting_ = false;
            return 0;
        case IOCTL_SPIKE_READ:
            return Read(static_cast<uint8_t*>(out), outSize, returned);
        default:
            return ERROR_INVALID_PARAMETER;
        }
    }

private:
    int64_t Interval() { return 1 + (random_.Next() * 2 * kMeanInterval) / CRandom15::Max; }

    // Spikes up to now, in time order, as 3-word records.
    void Generate()
    {
        if (!counting_ || !g_script.generate)
            return;
        int64_t now = (Clock().Counter() - start_) / 100000; // 0.1 ms units
        while (true) {
            int c = static_cast<int>(std::min_element(next_, next_ + kChannels) - next_);
            int64_t t = next_[c];
            if (t > now)
                break;
            uint16_t mask = 0;
            for (int k = 0; k < kChannels; ++k)
                if (next_[k] == t) {
                    mask |= static_cast<uint16_t>(1u << k);
                    next_[k] += Interval();
                }
            uint32_t t32 = static_cast<uint32_t>(t);
            pending_.insert(pending_.end(), {mask, static_cast<uint16_t>(t32 & 0xFFFF), static_cast<uint16_t>(t32 >> 16)});
        }
        generatedTo_ = now;
    }

    uint32_t Read(uint8_t* out, uint32_t outSize, uint32_t& returned)
    {
        uint32_t bytes = 0;
        if (!g_script.reads.empty()) {
            std::vector<uint16_t> words = std::move(g_script.reads.front());
            g_script.reads.pop_front();
            bytes = static_cast<uint32_t>(std::min<size_t>(words.size() * 2, outSize));
            if (bytes)
                memcpy(out, words.data(), bytes);
        } else {
            // Whole records straight from the queue: a read makes no buffer of its own.
            Generate();
            size_t whole = std::min<size_t>(pending_.size(), outSize / 6 * 3);
            bytes = static_cast<uint32_t>(whole * 2);
            if (bytes)
                memcpy(out, pending_.data(), bytes);
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(whole));
        }
        returned = bytes;
        if (g_script.reportBytes >= 0) {
            returned = static_cast<uint32_t>(g_script.reportBytes);
            g_script.reportBytes = -1;
        }
        return 0;
    }

    CRandom15 random_;
    bool counting_ = false;
    int64_t start_ = 0;
    int64_t generatedTo_ = 0;
    int64_t next_[kChannels] = {};
    std::vector<uint16_t> pending_;
};

} // namespace

SpikeSimScript& SpikeSim() { return g_script; }
void ResetSpikeSim() { g_script = SpikeSimScript(); }

std::unique_ptr<IDevice> MakeSimulatedSpikeDevice(uint32_t& error)
{
    error = 0;
    return std::make_unique<CSimSpikeDevice>();
}

} // namespace orvix
