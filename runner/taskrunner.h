// CTaskRunner: the experiment engine, one step per main-loop pass. It compiles the task
// file, evaluates its TaskEntry once per pass, records the task's state changes into the
// current trial and ends the trial on an outcome. It owns the run flag that the main loop
// reads: 0 off, 1 experiment passes run, -1 a scene load waits for the renderer's
// parameter definitions. It is the task language's host: the built-in functions reach the
// document, the trial and the devices through it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/runtime/random.h"
#include "tasklang/taskcompiler.h"
#include "tasklang/taskhost.h"

namespace orvix {

class CDeviceIO;
class COrvixDoc;
class CTrial;

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

enum TaskState { STATE_ITI = 0, STATE_FOREP = 3, STATE_ISI = 18 };

class CTaskRunner : public ITaskHost {
public:
    static constexpr int kLatencyBins = 10000;
    static constexpr const char* kDefaultTaskFile = "c:\\orvix\\task\\Task.c";

    // The runner works the devices and the renderer link of this I/O layer.
    explicit CTaskRunner(CDeviceIO& io);
    ~CTaskRunner() override;
    CTaskRunner(const CTaskRunner&) = delete;
    CTaskRunner& operator=(const CTaskRunner&) = delete;

    // Trials belong to the document: another document (or none) leaves no trial behind.
    void SetDocument(COrvixDoc* doc)
    {
        if (doc != doc_)
            current_ = pending_ = nullptr;
        doc_ = doc;
    }
    COrvixDoc* GetDocument() const { return doc_; }
    CDeviceIO& GetDeviceIO() const { return io_; }

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

    // Finds the parameters the runner uses (adding missing behaviour parameters with their
    // defaults), then asks for the task file to be loaded. The document argument, when
    // given, becomes the runner's document.
    void LoadParameters();
    void LoadParameters(COrvixDoc* doc);
    bool IsSwitchJoystick() const;

    // ---- Passes and trials ----
    // One pass; returns the trial outcome of TaskEntry (TRIAL_CONTINUE while it runs on).
    int Step();
    // The trial the next trial start fills (not owned).
    void SetPendingTrial(CTrial* trial) { pending_ = trial; }
    CTrial* GetPendingTrial() const { return pending_; }
    CTrial* GetCurrentTrial() const { return current_; }
    int StartTrial();
    int EndTrial();
    void CollectSpikes();
    void SampleEye();
    bool IsIdle() const { return nTaskState == 0; }

    // ---- The task file ----
    // Loads the task file now, or at the next quiet moment when a test runs.
    void RequestReload();
    bool IsReloadRequested() const { return reloadRequested_; }
    void LoadTaskFile();
    // The name LoadTaskFile would load.
    std::string GetTaskFileName();
    bool HasProgram() const { return compiler_.GetProgram() != nullptr; }
    CTaskCompiler& Compiler() { return compiler_; }
    CTaskSymbol* FindSymbol(const std::string& name) { return compiler_.Symbols().FindSymbol(name); }

    // ---- Eye position ----
    float GetFPH() override { return eyeH_; }
    float GetFPV() override { return eyeV_; }
    int GetRawFPH() const { return rawH_; }
    int GetRawFPV() const { return rawV_; }

    // ---- Display texts ----
    // "BACK", "CENTER", "FORTH", "LEFT", "RIGHT" by the last input byte; any other byte
    // keeps the previous text.
    const std::string& GetKeyPosName();
    // The event name of the task state (0..19), else its number.
    std::string GetStateName() const;
    static std::string StateName(int state);

    // ---- Loop-latency histogram ----
    void StartLatencyMeasurement();
    void ReportLatency();
    bool IsMeasuringLatency() const { return latencyMeasuring_; }
    // Passes counted in bin ms (0 without a histogram).
    int GetLatencyCount(int ms) const;

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

    // The main frame's and the keyboard's part of the built-ins; unset, they do nothing
    // (a key then reads as up).
    struct FrameHooks {
        std::function<void(int, int, int, int)> fpCircle;
        std::function<void(int, int, int, int, int)> fpRectangle;
        std::function<bool(int virtualKey)> isKeyDown;
    } frameHooks;

    void SeedRandom(uint32_t seed) { random_.Seed(seed); }

    // Bound to the task variables of the same names.
    int nTaskState = 0;
    int nKeyPos = 'C';
    int nCurrentTime = 0;

    // ---- ITaskHost ----
    int FindBehavParam(const std::string& name) override;
    int FindGraphParam(const std::string& name) override;
    void LogLine(const std::string& text) override;
    TaskBoundVariables BoundVariables() override { return {&nCurrentTime, &nKeyPos, &nTaskState}; }
    int GetGraphParamCount() override;
    int GetGraphParamInt(int index) override;
    double GetGraphParamReal(int index) override;
    int GetBehavParamCount() override;
    int GetBehavParamInt(int index) override;
    double GetBehavParamReal(int index) override;
    void SetGraphParamValue(int index, int value) override;
    void SendObjectCommand(int objectId, const std::string& text, bool wait) override;
    void TurnOnTarget() override;
    void TurnOffTarget() override;
    void FlipTarget() override;
    void TurnOnFig() override;
    void TurnOffFig() override;
    int OnFP() override;
    int GetKeyPos() override;
    void DoEarlyAct() override;
    void DoHitAct() override;
    void DoMissAct() override;
    int ReadAICh_mv(int channel, int gainCode) override;
    int KeyDown(int virtualKey) override;
    int NextRandom() override { return random_.Next(); }
    int Recording() override;
    void SaveKeyState(int keyCode) override;
    void SaveResponse(const std::array<int, 5>& values, bool showOnPage) override;
    void FPUpdate(int flag) override;
    void FPCircle(int a, int b, int c, int d) override;
    void FPRectangle(int a, int b, int c, int d, int e) override;

private:
    enum CalIndex { CAL_DTOAH, CAL_H0, CAL_DTOAV, CAL_V0, CAL_DTOAH2, CAL_DTOAV2, CAL_COUNT };
    enum BehavIndex { B_FPWINRAD, B_SWITCHJOYSTICK, B_ANALYSISTIME, B_UNITSPERDEG, B_COUNT };

    // Behaviour parameter values by a kept index; def when the index is stale or missing.
    int BehavInt(int index, int def) const;
    float BehavFloat(int index, float def) const;
    int GraphInt(int index) const;
    // Object ids travel in one byte: anything else is not sent.
    void SendToObject(int objectId, const char* text, bool wait);
    // A failure the user should hear of: a message box, except inside a pass, where a
    // box would stall the loop; there it becomes a log line.
    void Report(const std::string& text);
    void AppendEvent(uint8_t code);
    // Adds the samples to the current trial and computes the eye position from the last.
    void TakeEyeSamples(const std::vector<uint16_t>& samples);

    CDeviceIO& io_;
    int calIndex_[CAL_COUNT] = {-1, -1, -1, -1, -1, -1};
    int tposH_ = -1, tposV_ = -1;
    int behavIndex_[B_COUNT] = {-1, -1, -1, -1};
    int resetId_ = -1, targetId_ = -1, figureId_ = -1;
    CTrial* current_ = nullptr;
    COrvixDoc* doc_ = nullptr;
    uint32_t trialStart_ = 0;
    int rawH_ = 256, rawV_ = 128;
    float eyeH_ = 0.0f, eyeV_ = 0.0f;
    CTrial* pending_ = nullptr;
    CTaskCompiler compiler_;
    bool reloadRequested_ = false;
    std::unique_ptr<int[]> histogram_;
    int hitCount_ = 0;
    int actionCount_ = 0;
    int64_t lastLoopTime_ = 0;
    bool latencyMeasuring_ = false;
    int runFlag_ = 0;
    int lastOutcome_ = TRIAL_NONE;
    bool inPass_ = false;
    std::string keyPosName_;
    CRandom15 random_;
};

} // namespace orvix
