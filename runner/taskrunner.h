// CTaskRunner: the experiment engine, one step per main-loop pass. It owns the run flag
// that the main loop reads: 0 off, 1 experiment passes run, -1 a scene load waits for the
// renderer's parameter definitions.
#pragma once
#include <functional>
#include <cstdint>

namespace orvix {

class COrvixDoc;
class CTrial;

// ==== Stand-in outcome codes for the Test run until the full runner arrives ====
// What TaskEntry returns: how the trial ended, or TRIAL_CONTINUE while it goes on.
enum TrialOutcome {
    TRIAL_NONE = 0,
    TRIAL_EARLY = 1,
    TRIAL_HIT = 2,
    TRIAL_MISS = 3,
    TRIAL_CONTINUE = 4,
    TRIAL_END = 5,
    TRIAL_FAIL = 6,
    TRIAL_REPEAT = 7,
};
// ==== end of the stand-in outcome codes ====

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
    // One pass; returns the trial's outcome (TRIAL_CONTINUE while it goes on).
    int Step();
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

    // ==== Stand-ins the Test run uses until the full runner arrives ====
    // The task state (0 ITI, 1 ITI2, ...), bound to the task variable of that name.
    int nTaskState = 0;
    // The trial the next trial start fills; null for none. Not owned.
    void SetPendingTrial(CTrial* trial) { pendingTrial_ = trial; }
    CTrial* GetPendingTrial() const { return pendingTrial_; }
    // Ends the current trial, if there is one.
    int EndTrial() { return 0; }
    bool IsIdle() const { return nTaskState == 0; }
    // Loads the task file now, or at the end of the running trial.
    void RequestReload() {}
    void TurnOnFig() {}
    void TurnOffFig() {}
    void TurnOffTarget() {}
    // ==== end of the Test run's stand-ins ====

private:
    CTrial* pendingTrial_ = nullptr;
    COrvixDoc* doc_ = nullptr;
    int runFlag_ = 0;
    int switchJoystick_ = 0;
    int hitCount_ = 0;
    int actionCount_ = 0;
    int64_t lastLoopTime_ = 0;
};

extern CTaskRunner g_taskRunner;

} // namespace orvix
