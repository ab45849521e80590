// The reverse-correlation map: each cell of the stimulus grid flickered by its own
// maximal-length binary sequence, one frame per x value, and the cell's value is the
// normalised correlation of that sequence with the response of each frame.
#include <algorithm>
#include <cmath>

#include "document/orvixdoc.h"
#include "document/responsegraph.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {

// Cells that share one sequence, each 16 frames further on.
constexpr int kCellsPerSequence = 255;
constexpr int kFramesPerCell = 16;

int GraphInt(COrvixDoc& doc, const char* name)
{
    return doc.FindGraphParam(name) >= 0 ? doc.GetGraphParam(name).GetInt() : 0;
}

} // namespace

int NextMSequenceState(int taps, int n, int state)
{
    const int mask = (1 << n) - 1;
    if (!(state & (1 << (n - 1))))
        return (state * 2) & mask;
    return ((taps ^ state) * 2 + 1) & mask;
}

const MSequenceSet& MSequences()
{
    static const MSequenceSet set = [] {
        MSequenceSet s;
        std::vector<uint16_t> table(MSequenceSet::kPeriod + 1, 0);
        for (int taps = 1; taps < (1 << (MSequenceSet::kBits - 1)) && static_cast<int>(s.taps.size()) < MSequenceSet::kCount;
             ++taps) {
            int state = 1, length = 0;
            // The register is a permutation of its states, so the walk comes back to 1
            // within 4096 steps.
            do {
                table[static_cast<size_t>(length++)] = static_cast<uint16_t>(state);
                state = NextMSequenceState(taps, MSequenceSet::kBits, state);
            } while (state != 1 && length <= MSequenceSet::kPeriod);
            if (length == MSequenceSet::kPeriod && state == 1) {
                s.taps.push_back(taps);
                s.states.push_back(table);
            }
        }
        return s;
    }();
    return set;
}

void CResponseGraph::UpdateReverseCorrelation(int latency, int duration, float minimum, float maximum)
{
    CResponseTables& t = doc_.responses;
    // The mean table holds the map from now on, not tuning cells.
    tablesBuilt_ = false;
    const MSequenceSet& sequences = MSequences();
    const int trials = doc_.GetTrialCount();
    const CTrial* first = trials > 0 ? doc_.GetTrial(0) : nullptr;
    const int selected = doc_.GetSelectedChannel();
    auto counted = [selected](int ch) { return selected == -1 || selected == ch; };

    // The spikes of each channel in ms since the first trial's start, in time order.
    std::vector<int64_t> spikes[kChannelCount];
    for (int i = 0; i < trials; ++i) {
        const CTrial* trial = doc_.GetTrial(i);
        const int64_t start = static_cast<uint32_t>(trial->startTime - first->startTime);
        for (size_t k = 0; k < trial->spikeTimes.size() && k < trial->spikeMasks.size(); ++k)
            for (int ch = 0; ch < kChannelCount; ++ch)
                if (counted(ch) && (trial->spikeMasks[k] & (1u << ch)))
                    spikes[ch].push_back(start + trial->spikeTimes[k] / 10);
    }

    // The spike count of each frame after the latency, averaged over its presentations.
    const int figures = std::max(t.NFig(), 1), nX = t.NX();
    std::vector<float> response(static_cast<size_t>(figures) * nX, -1.0f);
    std::vector<int> count(response.size(), 0);
    size_t cursor[kChannelCount] = {};
    for (int i = 0; i < trials; ++i) {
        const CTrial* trial = doc_.GetTrial(i);
        const int cmd = trial->commandIndex;
        if (cmd < 0 || cmd >= doc_.GetCommandRowCount())
            continue;
        const int xi = IndexOf(AXIS_X, cmd), fi = std::max(IndexOf(AXIS_FIGURE, cmd), 0);
        if (xi < 0 || xi >= nX || fi >= figures)
            continue;
        const int64_t onset = static_cast<int64_t>(static_cast<uint32_t>(trial->startTime - first->startTime))
            + trial->GetFigOnTime();
        const size_t cell = static_cast<size_t>(fi) * nX + xi;
        for (int ch = 0; ch < kChannelCount; ++ch) {
            if (!counted(ch) || !(trial->activeChannels & (1u << ch)))
                continue;
            if (response[cell] < 0)
                response[cell] = 0;
            const std::vector<int64_t>& list = spikes[ch];
            size_t& at = cursor[ch];
            while (at < list.size() && list[at] < onset + latency)
                ++at;
            for (size_t k = at; k < list.size() && list[k] < onset + latency + duration; ++k)
                response[cell] += 1.0f;
            ++count[cell];
        }
    }
    for (size_t cell = 0; cell < response.size(); ++cell)
        if (count[cell] > 1)
            response[cell] /= static_cast<float>(count[cell]);

    // A grid of no rows or columns has an empty map.
    const int H = std::max(GraphInt(doc_, "HGRID"), 0), V = std::max(GraphInt(doc_, "VGRID"), 0);
    t.mean.Resize(figures, V, H, 0.0f);
    float most = 0.0f, least = 10000000.0f;
    bool any = false;
    std::vector<double> responseEnergy(static_cast<size_t>(figures), -1.0);
    std::vector<double> stimulus(static_cast<size_t>(nX));
    for (int v = 0; v < V; ++v) {
        for (int h = 0; h < H; ++h) {
            const int k = v * H + h;
            const int s = k / kCellsPerSequence;
            if (s >= MSequenceSet::kCount || s >= static_cast<int>(sequences.states.size()))
                break;
            const int offset = kFramesPerCell * (k % kCellsPerSequence) - 1;
            const std::vector<uint16_t>& sequence = sequences.states[static_cast<size_t>(s)];
            double mean = 0;
            for (int j = 0; j < nX; ++j) {
                int p = ParseInt(t.xValues[static_cast<size_t>(j)]) + offset;
                if (p >= MSequenceSet::kPeriod)
                    p -= MSequenceSet::kPeriod;
                // Frame numbers before the first or beyond two periods read round the
                // sequence instead of outside it.
                p = (p % MSequenceSet::kPeriod + MSequenceSet::kPeriod) % MSequenceSet::kPeriod;
                stimulus[static_cast<size_t>(j)] = (sequence[static_cast<size_t>(p)] & 1) ? 1.0 : -1.0;
                mean += stimulus[static_cast<size_t>(j)];
            }
            if (nX > 0)
                mean /= nX;
            for (double& x : stimulus)
                x -= mean;
            for (int f = 0; f < figures; ++f) {
                const float* r = &response[static_cast<size_t>(f) * nX];
                double& rr = responseEnergy[static_cast<size_t>(f)];
                if (rr < 0) {
                    rr = 0;
                    for (int j = 0; j < nX; ++j)
                        if (r[j] >= 0)
                            rr += static_cast<double>(r[j]) * r[j];
                }
                double ss = 0, sr = 0;
                for (int j = 0; j < nX; ++j) {
                    if (r[j] < 0)
                        continue;
                    ss += stimulus[static_cast<size_t>(j)] * stimulus[static_cast<size_t>(j)];
                    sr += stimulus[static_cast<size_t>(j)] * r[j];
                }
                double energy = std::sqrt(ss * rr);
                if (energy == 0)
                    energy = 1.0;
                const float value = static_cast<float>(sr / energy);
                t.mean.At(f, v, h) = value;
                // Both ends follow every cell: a map that only rises keeps its true minimum.
                most = std::max(most, value);
                least = std::min(least, value);
                any = true;
            }
        }
    }
    if (!any)
        least = 0.0f;
    least = static_cast<float>(std::floor(least * 10.0f) * 0.1);
    most = static_cast<float>(std::ceil(most * 10.0f) * 0.1);
    if (minimum != 0.0f || maximum != 1.0f) {
        least = minimum;
        most = maximum;
    }
    if (most == 0.0f)
        most = 1.0f;
    if (least == most)
        least = most - 1.0f;
    t.revCorrMinimum = least;
    t.revCorrMaximum = most;
    Changed(false);
}

} // namespace orvix
