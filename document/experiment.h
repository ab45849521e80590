// IExperiment: what the document drives of the experiment's process-wide parts, which live
// above it: the I/O layer with the renderer's console, and the task runner's run flag and
// parameters. The application's experiment implements it; a document without one works on
// its own data only (no renderer, no devices, run flag 0).
#pragma once

namespace orvix {

class CConsoleSocket;
class CDeviceIO;
class COrvixDoc;

class IExperiment {
public:
    virtual ~IExperiment() = default;
    virtual CDeviceIO& DeviceIO() = 0;
    virtual CConsoleSocket& Console() = 0;
    // 0 off, 1 the main loop runs experiment passes, -1 a scene load waits for the
    // renderer's parameter definitions.
    virtual int GetRunFlag() const = 0;
    virtual void SetRunFlag(int flag) = 0;
    // The task runner finds its parameters in the document again (and reloads the task).
    virtual void LoadParameters() = 0;
    // A new document: the session's hit and action counts start again.
    virtual void ResetActionCounts() = 0;
    // The document is going away: nothing may reach it any more.
    virtual void Detach(COrvixDoc& doc) = 0;
};

} // namespace orvix
