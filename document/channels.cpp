// The recording channels: cell ids and the running channel rates.
#include <algorithm>

#include "document/orvixdoc.h"
#include "platform/numbers.h"

namespace orvix {

namespace {
// Handed to the main frame's channel tool bar; one set for the whole program.
std::array<int, kChannelCount> g_meanRates{};
} // namespace

const std::array<int, kChannelCount>& COrvixDoc::GetChannelMeanRates() { return g_meanRates; }

int COrvixDoc::ClampCellId(int id) { return std::clamp(id, 1, 26); }

void COrvixDoc::SetCellId(int channel, int id)
{
    if (channel < 0 || channel >= kChannelCount)
        return;
    cellIds[static_cast<size_t>(channel)] = static_cast<int16_t>(ClampCellId(id));
}

void COrvixDoc::UpdateChannelRates(const CTrial* trial)
{
    if (trial) {
        for (int c = 0; c < kChannelCount; ++c) {
            double r = trial->GetChannelResponse(c);
            if (r > 0)
                channelSums[static_cast<size_t>(c)] += static_cast<float>(r);
        }
    }
    float n = static_cast<float>(std::max(GetTrialCount(), 1));
    for (size_t c = 0; c < g_meanRates.size(); ++c)
        g_meanRates[c] = DoubleToInt(channelSums[c] / n);
}

} // namespace orvix
