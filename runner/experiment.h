// CExperiment: the experiment's process-wide parts, owned together and wired to each other:
// the renderer's console, the I/O layer and the task runner that works them. The
// application holds one for the whole run; tests build their own. It is what the document
// drives (IExperiment) once attached to it.
#pragma once
#include "document/experiment.h"
#include "io/deviceio.h"
#include "io/sockets.h"
#include "runner/taskrunner.h"

namespace orvix {

class CSimulatedSubject;

class CExperiment : public IExperiment {
public:
    CExperiment();
    ~CExperiment() override;
    CExperiment(const CExperiment&) = delete;
    CExperiment& operator=(const CExperiment&) = delete;

    // The document the experiment works for: its log, settings and renderer intake, the
    // runner's trials. Null detaches the one attached.
    void Attach(COrvixDoc* doc);
    COrvixDoc* Document() const { return doc_; }

    // ---- IExperiment ----
    CDeviceIO& DeviceIO() override { return deviceIO; }
    CConsoleSocket& Console() override { return console; }
    int GetRunFlag() const override { return runner.GetRunFlag(); }
    void SetRunFlag(int flag) override { runner.SetRunFlag(flag); }
    void LoadParameters() override;
    void ResetActionCounts() override { runner.ResetActionCounts(); }
    void Detach(COrvixDoc& doc) override;

    // The simulated spike counter's cell and, when there is one, the simulated subject see
    // what the renderer is told to show: every graph parameter sent, by its name. With a
    // simulated subject (the demonstration) a calibration step takes kDemoCalFrames eye
    // samples ("FPCalFrames", unless the settings have it).
    void FeedSimulators(CSimulatedSubject* subject);
    // Half a second of fixation: within one trial's fixation of the example task, so that a
    // calibration's five steps take five trials, not the ten seconds of fixation each of the
    // usual 600 samples.
    static constexpr int kDemoCalFrames = 30;

    // Declared in this order: the console outlives the I/O layer, whose Close closes it,
    // and the I/O layer outlives the runner that uses it.
    CConsoleSocket console;
    CDeviceIO deviceIO;
    CTaskRunner runner{deviceIO};

private:
    COrvixDoc* doc_ = nullptr;
};

} // namespace orvix
