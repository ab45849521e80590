#include "app/channelkeys.h"

#include <algorithm>

#include "document/orvixdoc.h"

namespace orvix {

namespace {
// Cell ids are letters in data-file names: 'a'..'z'.
constexpr int kMaxCellId = 26;
constexpr int kMaxGrid = 7;
} // namespace

bool HandleChannelKey(COrvixDoc& doc, const ChannelKey& key)
{
    const int ch = key.channel;
    if (ch < 0 || ch >= kChannelCount)
        return false;
    if (!key.shift && !key.ctrl) {
        if (key.inCommentEdit)
            return false;
        doc.activeChannels = static_cast<uint8_t>(doc.activeChannels ^ (1u << ch));
        doc.UpdateChannelDisplay(ch);
        return true;
    }
    // While a test runs the main channel's cell and the main-channel choice stay put.
    if (doc.testRunning && (ch == doc.mainChannel || (key.shift && key.ctrl)))
        return true;
    if (key.shift && key.ctrl) {
        int old = doc.mainChannel;
        doc.mainChannel = ch;
        doc.UpdateDataFileName();
        doc.UpdateChannelDisplay(old);
        doc.UpdateChannelDisplay(ch);
        return true;
    }
    auto& cell = doc.cellIds[static_cast<size_t>(ch)];
    auto& grid = doc.gridChoices[static_cast<size_t>(ch)];
    if (key.shift) {
        if (key.capsLock)
            grid = static_cast<uint8_t>(std::min(grid + 1, kMaxGrid));
        else
            cell = static_cast<int16_t>(std::clamp(cell + 1, 1, kMaxCellId));
    } else {
        if (key.capsLock)
            grid = static_cast<uint8_t>(grid == 0 ? 0 : grid - 1);
        else
            cell = static_cast<int16_t>(std::clamp(cell - 1, 1, kMaxCellId));
    }
    if (ch == doc.mainChannel)
        doc.UpdateDataFileName();
    doc.UpdateChannelDisplay(ch);
    return true;
}

} // namespace orvix
