// Serving the event loop from inside a long wait: handles what is waiting, sleeping until an
// event comes or the time is up. Nothing happens without a Qt application.
#pragma once

namespace orvix {

void PumpEvents(int maxWaitMs);

} // namespace orvix
