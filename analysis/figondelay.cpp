#include "analysis/figondelay.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "document/orvixdoc.h"
#include "model/trial.h"

namespace orvix {

namespace {

constexpr int kBins = 100;          // of 2 ms: 200 ms after the shifted onset
constexpr double kBinWidth = 2.0;
constexpr double kLatencyWindow = 220.0; // ms after onset that a trial's scan covers
constexpr int kPairBudget = 2000;   // correlations per delay, about
// Spike times are in 0.1 ms; the factor is the single-precision 0.1 as the recordings'
// analyses have always used it.
const double kTenthMs = static_cast<double>(0.1f);

double Frac(double x) { return x - std::trunc(x); }

} // namespace

double FrameOffset(uint32_t sinceReference, double period)
{
    const double f = Frac(sinceReference / period);
    return f > 0.0 ? (1.0 - f) * period : 0.0;
}

std::vector<double> SpikeLatencies(const CTrial& t, int channel)
{
    std::vector<double> latencies;
    const double onset = t.GetFigOnTime();
    const size_t spikes = std::min(t.spikeTimes.size(), t.spikeMasks.size());
    for (size_t k = 0; k < spikes; ++k) {
        const double time = t.spikeTimes[k] * kTenthMs;
        if (time < onset)
            continue;
        if (time > onset + kLatencyWindow)
            break;
        if (channel >= 0 && channel < 16 && (t.spikeMasks[k] >> channel & 1u))
            latencies.push_back(time - onset);
    }
    return latencies;
}

double NormalizedDotProduct(const double* a, const double* b, double qa, double qb, int n)
{
    const double norm = std::sqrt(qa * qb);
    if (!(norm > 0.0) || !std::isfinite(norm))
        return 0.0;
    double sum = 0.0;
    for (int k = 0; k < n; ++k)
        sum += a[k] * b[k];
    return sum / norm;
}

double FindBestFigOnDelay(double period, const std::vector<double>& offsets,
                          const std::vector<std::vector<double>>& latencies, FigOnDelayEstimate* result)
{
    const int n = static_cast<int>(std::min(offsets.size(), latencies.size()));
    FigOnDelayEstimate local;
    FigOnDelayEstimate& r = result ? *result : local;
    r.usedTrials = n;
    r.delaysTried = 0;
    r.emptyTrials = 0;
    if (n == 0 || !(period > 0.0) || !std::isfinite(period))
        return 0.0;
    // Each trial meets the next W - 1 trials, W = 2000 / n; beyond 1000 trials that would
    // be no pair at all, so every trial meets at least its neighbour.
    const int window = std::max(kPairBudget / n, 2);
    r.window = window;

    std::vector<std::array<double, kBins>> hist(static_cast<size_t>(n));
    std::vector<double> norm(static_cast<size_t>(n));
    std::vector<bool> wasEmpty(static_cast<size_t>(n), false);
    double best = 0.0, bestDelay = 0.0;
    for (int m = 1; m <= 10.0 * period; ++m) {
        const double d = 0.1 * m;
        ++r.delaysTried;
        for (int i = 0; i < n; ++i) {
            double s = d + offsets[static_cast<size_t>(i)];
            if (s >= period)
                s -= period;
            auto& h = hist[static_cast<size_t>(i)];
            h.fill(0.0);
            int count = 0;
            for (double latency : latencies[static_cast<size_t>(i)]) {
                if (latency < s)
                    continue;
                if (latency - s >= kBins * kBinWidth)
                    break;
                h[static_cast<size_t>((latency - s) / kBinWidth)] += 1.0;
                ++count;
            }
            double q = 0.0;
            for (double& v : h) {
                v -= count / static_cast<double>(kBins);
                q += v * v;
            }
            norm[static_cast<size_t>(i)] = q;
            if (q == 0.0)
                wasEmpty[static_cast<size_t>(i)] = true;
        }
        double sum = 0.0;
        int pairs = 0;
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j <= i + window - 1 && j < n; ++j, ++pairs)
                sum += NormalizedDotProduct(hist[static_cast<size_t>(i)].data(), hist[static_cast<size_t>(j)].data(),
                                            norm[static_cast<size_t>(i)], norm[static_cast<size_t>(j)], kBins);
        if (pairs > 0 && sum / pairs > best) {
            best = sum / pairs;
            bestDelay = d;
        }
    }
    r.emptyTrials = static_cast<int>(std::count(wasEmpty.begin(), wasEmpty.end(), true));
    return bestDelay;
}

FigOnDelayEstimate EstimateFigOnDelay(const std::vector<const CTrial*>& trials, int channel, double frameRate)
{
    FigOnDelayEstimate r;
    r.channel = channel;
    if (trials.empty() || !trials[0])
        return r;
    // A rate of 0 would make the period infinite and the search endless.
    const double period = 1000.0 / frameRate;
    if (!(frameRate >= kMinFrameRate) || !std::isfinite(frameRate)) {
        r.status = FigOnDelayEstimate::BAD_FRAME_RATE;
        return r;
    }
    const uint32_t reference = trials[0]->GetStartTime() + trials[0]->GetFigOnTime();
    std::vector<double> offsets;
    std::vector<std::vector<double>> latencies;
    for (const CTrial* t : trials) {
        if (!t || !(t->GetChannelResponse(channel) >= 0.0))
            continue;
        // The grid is anchored at trial 0's onset; clock differences are taken modulo 2^32.
        offsets.push_back(FrameOffset(t->GetStartTime() + t->GetFigOnTime() - reference, period));
        latencies.push_back(SpikeLatencies(*t, channel));
    }
    if (offsets.empty()) {
        r.status = FigOnDelayEstimate::NO_USED_TRIALS;
        return r;
    }
    if (offsets.size() == 1) {
        r.usedTrials = 1;
        r.status = FigOnDelayEstimate::NO_PAIRS;
        return r;
    }
    r.delay = FindBestFigOnDelay(period, offsets, latencies, &r);
    r.status = FigOnDelayEstimate::ESTIMATED;
    return r;
}

FigOnDelayEstimate EstimateFigOnDelay(const COrvixDoc& doc)
{
    std::vector<const CTrial*> trials;
    for (int i = 0; i < doc.GetTrialCount(); ++i)
        trials.push_back(doc.GetTrial(i));
    int channel = doc.GetSelectedChannel();
    if (channel == -1)
        channel = doc.mainChannel;
    return EstimateFigOnDelay(trials, channel, doc.frameRate);
}

} // namespace orvix
