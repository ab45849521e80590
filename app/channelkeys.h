// The function keys F1..F8 as channel commands: toggle a channel, step its cell id or
// electrode-grid choice, or make it the main channel.
#pragma once

namespace orvix {

class COrvixDoc;

struct ChannelKey {
    int channel;        // 0..7 for F1..F8
    bool shift;
    bool ctrl;
    bool capsLock;
    bool inCommentEdit; // the key goes to the main frame's comment field
};

// Applies the key to the document; true when the key was consumed.
bool HandleChannelKey(COrvixDoc& doc, const ChannelKey& key);

} // namespace orvix
