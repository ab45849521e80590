// Trials for the FIG_ON delay estimate: spike bursts behind a figure onset that the display
// showed some delay later, at its next frame.
#pragma once
#include <cmath>
#include <memory>
#include <vector>

#include "analysis/figondelay.h"
#include "model/trial.h"
#include "platform/runtime/random.h"

namespace {

using orvix::CTrial;

constexpr int kChannel = 3;

inline std::unique_ptr<CTrial> Trial(uint32_t start, int figOn, float response = 10.0f)
{
    auto t = std::make_unique<CTrial>();
    t->SetStartTime(start);
    if (figOn >= 0) {
        t->eventTimes = {static_cast<uint32_t>(figOn)};
        t->eventCodes = {orvix::EVENT_FIG_ON};
    }
    t->channelResponses[kChannel] = response;
    return t;
}

inline std::vector<const CTrial*> Pointers(const std::vector<std::unique_ptr<CTrial>>& trials)
{
    std::vector<const CTrial*> p;
    for (const auto& t : trials)
        p.push_back(t.get());
    return p;
}

// Trials whose figure became visible at the first frame line after the onset, the frame
// lines lying `delay` after the grid of trial 0's onset; each answers with a burst of
// spikes at fixed latencies after the visible onset, jittered by up to 0.3 ms. The
// latencies sit mid-bin (odd ms), so that only a wrong delay, which moves some trials by
// a frame against the others, makes the histograms differ.
inline std::vector<std::unique_ptr<CTrial>> Synthetic(double rate, double delay, int n, uint32_t seed)
{
    using namespace orvix;
    const double period = 1000.0 / rate;
    CRandom15 rnd(seed);
    std::vector<std::unique_ptr<CTrial>> trials;
    uint32_t reference = 0;
    for (int i = 0; i < n; ++i) {
        uint32_t start = 50000 + 2537u * static_cast<uint32_t>(i) + static_cast<uint32_t>(rnd.Next() % 97);
        int onset = 300 + rnd.Next() % 40;
        auto t = Trial(start, onset);
        if (i == 0)
            reference = start + static_cast<uint32_t>(onset);
        double offset = FrameOffset(start + static_cast<uint32_t>(onset) - reference, period);
        double visible = onset + std::fmod(offset + delay, period);
        for (double latency : {41.0, 43.0, 45.0, 47.0, 53.0, 59.0, 65.0, 81.0, 95.0, 121.0, 151.0}) {
            double jitter = (rnd.Next() % 61 - 30) / 100.0;
            t->AddSpike(1u << kChannel, static_cast<uint32_t>(std::lround((visible + latency + jitter) * 10)));
        }
        trials.push_back(std::move(t));
    }
    return trials;
}

} // namespace
