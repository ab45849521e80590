// ITrialEngine: what the Test run needs of the task runner, so that the run can be driven
// by a scripted engine in tests. CTaskRunnerEngine forwards to a task runner.
#pragma once

namespace orvix {

class CTaskRunner;
class CTrial;

class ITrialEngine {
public:
    virtual ~ITrialEngine() = default;
    // 0 off, 1 experiment passes run, -1 a scene load waits for definitions.
    virtual int GetRunFlag() = 0;
    // nTaskState: 0 ITI, 1 ITI2, ...
    virtual int GetTaskState() = 0;
    virtual bool IsSwitchJoystick() = 0;
    // The trial that the next trial start fills; null for none.
    virtual void SetPendingTrial(CTrial* trial) = 0;
    // One pass: the trial's outcome, TRIAL_CONTINUE while it goes on.
    virtual int Step() = 0;
    virtual void EndTrial() = 0;
    virtual void SampleEye() = 0;
    virtual void TurnOnFig() = 0;
    virtual void TurnOffFig() = 0;
    virtual void TurnOffTarget() = 0;
    virtual void RequestReload() = 0;
    // The spike counter stops counting (the end of a run; each trial starts it again).
    virtual void StopSpikeCounter() = 0;
};

class CTaskRunnerEngine : public ITrialEngine {
public:
    explicit CTaskRunnerEngine(CTaskRunner& runner) : runner_(runner) {}
    int GetRunFlag() override;
    int GetTaskState() override;
    bool IsSwitchJoystick() override;
    void SetPendingTrial(CTrial* trial) override;
    int Step() override;
    void EndTrial() override;
    void SampleEye() override;
    void TurnOnFig() override;
    void TurnOffFig() override;
    void TurnOffTarget() override;
    void RequestReload() override;
    void StopSpikeCounter() override;

private:
    CTaskRunner& runner_;
};

} // namespace orvix
