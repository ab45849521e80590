// CDeviceIO: the program's one I/O layer, owner of every outside connection (renderer,
// key and outputs, eye tracker, spike counter, analog inputs).
#pragma once
#include <functional>
#include <string>

namespace orvix {

class CDeviceIO {
public:
    // Sends a renderer command (object id, value text); with wait, waits for the
    // acknowledgement. Nothing is sent while the renderer is not running.
    bool SendCommand(int objectId, const char* text, bool wait);
    bool IsRendererRunning() const { return rendererRunning_ != 0; }

    // ---- Test hook: stands in for the renderer link ----
    // When set, a command that would go out is handed to it instead (and counts as sent).
    std::function<void(int objectId, const std::string& text, bool wait)> sendHookForTest;
    void SetRendererRunningForTest(bool running) { rendererRunning_ = running ? 1 : 0; }

private:
    int rendererRunning_ = 0;
};

extern CDeviceIO g_deviceIO;

} // namespace orvix
