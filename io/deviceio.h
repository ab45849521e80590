// CDeviceIO: the program's one I/O layer, owner of every outside connection (renderer,
// key and outputs, eye tracker, spike counter, analog inputs).
#pragma once

namespace orvix {

class CDeviceIO {
public:
    // Sends a renderer command (object id, value text); with wait, waits for the
    // acknowledgement. Nothing is sent while the renderer is not running.
    bool SendCommand(int objectId, const char* text, bool wait);
    bool IsRendererRunning() const { return rendererRunning_ != 0; }

private:
    int rendererRunning_ = 0;
};

extern CDeviceIO g_deviceIO;

} // namespace orvix
