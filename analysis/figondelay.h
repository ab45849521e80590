// The FIG_ON delay estimate: the figure a trial shows appears on the display only at a
// later frame, some milliseconds after the trial records its onset. The delay that makes
// the spike-latency histograms of the trials most alike, once each trial's onset is moved
// to the next frame of a grid anchored at trial 0's onset, is the estimate.
#pragma once
#include <cstdint>
#include <vector>

namespace orvix {

class COrvixDoc;
class CTrial;

// Below this rate the search over delays up to the frame period would take minutes.
constexpr double kMinFrameRate = 1.0;

struct FigOnDelayEstimate {
    enum Status {
        ESTIMATED,      // delay holds the estimate
        NO_TRIALS,      // the document holds no trial
        BAD_FRAME_RATE, // the frame rate is not a number of at least kMinFrameRate
        NO_USED_TRIALS, // no trial has a response on the channel
        NO_PAIRS,       // one trial only: nothing to compare it with
    };
    Status status = NO_TRIALS;
    // ms: a multiple of 0.1 between 0.1 and the frame period, 0.0 when no delay gave a
    // positive mean correlation; -1.0 unless estimated.
    double delay = -1.0;
    int channel = 0;
    int usedTrials = 0;
    // Each trial is compared with the next window - 1 trials.
    int window = 0;
    int delaysTried = 0;
    // Used trials whose histogram was empty (no spike in the 200 ms after the shifted
    // onset) at some delay: their pairs counted as no correlation.
    int emptyTrials = 0;
};

// The time (ms) from a trial's onset to the next line of a frame grid with period P whose
// line lies `sinceReference` ms before the onset; 0 on a line.
double FrameOffset(uint32_t sinceReference, double period);
// The latencies (ms after the figure onset) of the trial's spikes on a channel within
// 220 ms of its onset; a spike later than that ends the scan, whatever its channel.
std::vector<double> SpikeLatencies(const CTrial& trial, int channel);

// Σ a[k]·b[k] over k < n, divided by √(qa·qb); 0 when either norm is 0 (a histogram with
// nothing in it correlates with nothing).
double NormalizedDotProduct(const double* a, const double* b, double qa, double qb, int n);

// Tries the delays 0.1, 0.2, ... up to the frame period P (ms). offsets[i]: trial i's time
// from its onset to the next frame line; latencies[i]: its spike latencies (ms after onset,
// increasing). Fills the counts of `result` and returns the best delay (0.0: none).
double FindBestFigOnDelay(double period, const std::vector<double>& offsets,
                          const std::vector<std::vector<double>>& latencies, FigOnDelayEstimate* result = nullptr);

// The estimate over trials (in recording order; trial 0 anchors the frame grid) for a
// channel 0..7 and a frame rate in Hz.
FigOnDelayEstimate EstimateFigOnDelay(const std::vector<const CTrial*>& trials, int channel, double frameRate);
// The document's trials, its selected channel (the main channel for the mean) and frame
// rate.
FigOnDelayEstimate EstimateFigOnDelay(const COrvixDoc& doc);

} // namespace orvix
