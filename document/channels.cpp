// The recording channels: cell ids.
#include <algorithm>

#include "document/orvixdoc.h"
#include "platform/text/numbers.h"

namespace orvix {

int COrvixDoc::ClampCellId(int id) { return std::clamp(id, 1, 26); }

void COrvixDoc::SetCellId(int channel, int id)
{
    if (channel < 0 || channel >= kChannelCount)
        return;
    cellIds[static_cast<size_t>(channel)] = static_cast<int16_t>(ClampCellId(id));
}

} // namespace orvix
