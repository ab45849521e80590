#include "platform/devices/spikesim.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/runtime/clock.h"
#include "platform/runtime/random.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {

SpikeSimScript g_script;
// What the renderer shows, as the cell sees it.
bool g_figureOn = false;
double g_orientation = 0.0;

// All eight inputs the document reads, so that the mean of the active channels (all eight
// by default) is the same cell as each channel.
constexpr int kChannels = 8;
constexpr double kTicksPerSecond = 10000.0; // spike times count 0.1 ms

class CSimSpikeDevice;
std::vector<CSimSpikeDevice*> g_devices;

class CSimSpikeDevice : public IDevice {
public:
    CSimSpikeDevice()
    {
        if (g_script.seed)
            random_.Seed(g_script.seed);
        g_devices.push_back(this);
    }
    ~CSimSpikeDevice() override { std::erase(g_devices, this); }

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
            // A start counts anew: spikes not read before it belong to the old time base and
            // would come back as the first spikes of the next trial.
            counting_ = true;
            start_ = Clock().Counter();
            generatedTo_ = 0;
            pending_.clear();
            Restart();
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

    // Spikes up to now, in time order, as 3-word records.
    void Generate()
    {
        if (!counting_ || !g_script.generate)
            return;
        int64_t now = (Clock().Counter() - start_) / 100000; // 0.1 ms units
        const double rate = Rate();
        while (true) {
            int c = static_cast<int>(std::min_element(next_, next_ + kChannels) - next_);
            int64_t t = next_[c];
            if (t > now)
                break;
            uint16_t mask = 0;
            for (int k = 0; k < kChannels; ++k)
                if (next_[k] == t) {
                    mask |= static_cast<uint16_t>(1u << k);
                    next_[k] += Interval(rate);
                }
            uint32_t t32 = static_cast<uint32_t>(t);
            pending_.insert(pending_.end(), {mask, static_cast<uint16_t>(t32 & 0xFFFF), static_cast<uint16_t>(t32 >> 16)});
        }
        generatedTo_ = now;
    }

    // Each channel's next spike after what was generated, at the rate of what is shown now.
    // Poisson firing forgets its past, so drawing anew where the rate changes is exact.
    void Restart()
    {
        const double rate = Rate();
        for (int c = 0; c < kChannels; ++c)
            next_[c] = generatedTo_ + Interval(rate);
    }

private:
    static double Rate() { return g_script.cell.Rate(g_figureOn, g_orientation); }

    // An exponential interval in 0.1 ms, at least 1.
    int64_t Interval(double rate)
    {
        if (!(rate > 0.0))
            return std::numeric_limits<int64_t>::max() / 2;
        double u = (random_.Next() + 1.0) / (CRandom15::Max + 2.0); // in (0, 1)
        return 1 + static_cast<int64_t>(-std::log(u) * kTicksPerSecond / rate);
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

double SpikeSimScript::Cell::Rate(bool figureOn, double orientation) const
{
    if (!figureOn)
        return baseline;
    double d = std::remainder(orientation - preferred, 180.0);
    double tuned = width > 0.0 ? std::exp(-d * d / (2.0 * width * width)) : (d == 0.0 ? 1.0 : 0.0);
    return baseline + (peak - baseline) * tuned;
}

SpikeSimScript& SpikeSim() { return g_script; }

void ResetSpikeSim()
{
    g_script = SpikeSimScript();
    g_figureOn = false;
    g_orientation = 0.0;
}

void SpikeSimSee(const std::string& name, const std::string& value)
{
    bool figureOn = g_figureOn;
    double orientation = g_orientation;
    if (name == g_script.cell.figure)
        figureOn = ParseDouble(value.c_str()) != 0.0;
    else if (name == g_script.cell.orientation)
        orientation = ParseDouble(value.c_str());
    if (figureOn == g_figureOn && orientation == g_orientation)
        return;
    for (CSimSpikeDevice* device : g_devices)
        device->Generate(); // the spikes so far at the rate they had
    g_figureOn = figureOn;
    g_orientation = orientation;
    for (CSimSpikeDevice* device : g_devices)
        device->Restart();
}

std::unique_ptr<IDevice> MakeSimulatedSpikeDevice(uint32_t& error)
{
    error = 0;
    return std::make_unique<CSimSpikeDevice>();
}

} // namespace orvix
