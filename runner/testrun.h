// CTestRun: the Test page's work without its window. It builds the command list (from a
// command file or a sweep of one parameter), runs a test trial after trial until the
// sequence is used up or Stop is pressed, and discards the last repeat.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/param.h"
#include "runner/testsettings.h"
#include "runner/trialengine.h"

namespace orvix {

class COrvixDoc;
class CTrial;

// The lines of a sweep of `param` from begin to end by step; false with the reason in
// `error` when the sweep would not end (the step leads away from End, or too many lines).
bool SweepLines(const std::string& param, float begin, float end, float step, std::vector<std::string>& lines,
                std::string& error);
// The command lines of a command file: trimmed, without blank lines and lines starting
// with '#'; each line whole, however long. The file is UTF-8, or the code page for a line that
// is not (files of the original system). False when the file cannot be opened, or when it
// holds a letter the program's text cannot (`refusal` then says which, and on which line).
bool ReadCommandFileLines(const std::string& path, std::vector<std::string>& lines, std::string* refusal = nullptr);

class CTestRun {
public:
    static constexpr int kMaxSweepLines = 1000000;
    // Each pass waits at most this long for events, so a run neither spins nor stalls.
    static constexpr int kPassWaitMs = 1;
    // While the experiment is paused the run looks at its flags this often.
    static constexpr int kPauseWaitMs = 10;

    CTestRun(COrvixDoc& doc, ITrialEngine& engine);
    ~CTestRun();

    // ---- Hooks for the page (each may be unset) ----
    // The run's controls: disabled (true) at the start of a run, enabled (false) at its end.
    std::function<void(bool running)> onRunning;
    // After a run: whether "&Discard" and "Sa&ve" are to be enabled (Save only when true).
    std::function<void(bool discard, bool save)> onFinished;
    // Handles events, waiting up to maxWaitMs for one; false when the program is asked
    // to quit. Unset: the Qt event loop.
    std::function<bool(int maxWaitMs)> pump;
    // Fixes the random order's seed (tests); unset, it comes from the clock.
    std::optional<uint32_t> seed;

    // The command list must be rebuilt before the next run or view.
    int commandListChanged = 1;

    // Rebuilds the document's command lines and rows from the settings; false (with a
    // message) when there is no list.
    bool ReadCommandList(const CTestSettings& settings);

    // Start when idle, Stop while running. The settings must already be saved into the
    // document. Returns when the run is over.
    void OnStart(const CTestSettings& settings);
    bool IsRunning() const { return running_; }
    // A run ended less than `ms` ago (by itself or by Stop).
    bool EndedWithin(uint32_t ms) const;
    // A run can start only while the experiment is enabled.
    bool CanStart() { return engine_.GetRunFlag() == 1; }
    // Stop: the trial in progress ends at once and is not stored; the loop ends.
    void Stop();
    // Removes the trials of the last repeat and counts it off "AccumedTimes"; false when
    // there is no repeat to discard.
    bool Discard();

    // One trial: passes until it ends. Returns TRIAL_END, TRIAL_REPEAT or TRIAL_FAIL.
    int RunTrial(CTrial* trial);
    int GetLastOutcome() const { return lastOutcome_; }
    bool QuitRequested() const { return quitRequested_; }

private:
    void Run(const CTestSettings& settings);
    void BuildParamMap();
    // Parameter k of the command rows takes the value (graph ones go to the renderer).
    void AssignMapped(size_t k, const CParam& value);
    void ApplyCommand(int i);
    void RestoreParams();
    void WaitUntilIdle();
    void RunRandom(int accumedBefore);
    void RunInOrder(const CTestSettings& settings, int accumedBefore);
    // Stores the trial; it belongs to the document from then on.
    void StoreTrial(int command, int repetition);
    void ShowFailedAttempt();
    CTrial* SpareTrial();
    void AddAccumedTimes(int n);
    void Finish(int trialsBefore);
    // Back to idle after an unexpected end of the run.
    void Abandon();
    bool Pump(int maxWaitMs);
    bool AtTrialStart() { int t = engine_.GetTaskState(); return t == 0 || t == 1; }

    COrvixDoc& doc_;
    ITrialEngine& engine_;
    bool running_ = false;
    bool quitRequested_ = false;
    int lastOutcome_ = 0;
    bool ended_ = false;
    uint32_t endedAt_ = 0;
    std::unique_ptr<CTrial> spare_;
    // Per parameter of a command row: the graph index, 1000000 + the behaviour index, or -1.
    std::vector<int> map_;
    std::vector<CParam> saved_;
};

} // namespace orvix
