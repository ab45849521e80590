// CTaskRunner: the experiment engine, one step per main-loop pass. It owns the run flag
// that the main loop reads: 0 off, 1 experiment passes run, -1 a scene load waits for the
// renderer's parameter definitions.
#pragma once
#include <functional>
#include <cstdint>

namespace orvix {

class COrvixDoc;

class CTaskRunner {
public:
    void SetDocument(COrvixDoc* doc) { doc_ = doc; }
    COrvixDoc* GetDocument() const { return doc_; }

    int GetRunFlag() const { return runFlag_; }
    void SetRunFlag(int flag)
    {
        runFlag_ = flag;
        if (onRunFlagChanged)
            onRunFlagChanged(flag);
    }
    // Told of every change of the run flag (the main loop starts or stops its passes).
    std::function<void(int)> onRunFlagChanged;

    // Counts per second of the high-resolution counter.
    double GetPerformanceFrequency() const;

    // Re-reads the behaviour parameters the runner uses.
    void LoadParameters(COrvixDoc* doc);
    bool IsSwitchJoystick() const { return switchJoystick_ == 1; }
    void Step();
    void SampleEye();

    // Hits and outcome actions of the session, shown in the status bar; a new document
    // starts them again.
    int GetHitCount() const { return hitCount_; }
    int GetActionCount() const { return actionCount_; }
    void ResetActionCounts() { hitCount_ = actionCount_ = 0; }
    // An outcome action fired; a hit counts as a hit too.
    void CountAction(bool hit)
    {
        ++actionCount_;
        if (hit)
            ++hitCount_;
    }
    // ---- Loop timing (the I/O layer restarts the measurement at an acknowledgement) ----
    int64_t GetLastLoopTime() const { return lastLoopTime_; }
    void SetLastLoopTime(int64_t counter) { lastLoopTime_ = counter; }

private:
    COrvixDoc* doc_ = nullptr;
    int runFlag_ = 0;
    int switchJoystick_ = 0;
    int hitCount_ = 0;
    int actionCount_ = 0;
    int64_t lastLoopTime_ = 0;
};

extern CTaskRunner g_taskRunner;

} // namespace orvix
