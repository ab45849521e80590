// IDocObserver: the one way the document tells whatever shows it that something changed.
// The views listen to the update hints; the control panel and the main frame's channel bar
// listen to the rest. Every notification defaults to nothing, so each observer overrides
// what it shows. The document never knows who listens.
#pragma once
#include <array>
#include <string>

namespace orvix {

class CTrial;

// The three kinds of parameters.
enum ParamKind { KIND_EXP = 0, KIND_GRAPH = 1, KIND_BEHAV = 2, KIND_COUNT = 3 };

// The views' update hints. The numbers are part of the program's contract: hint 2 comes
// with the trial that was added (or none), the others with nothing.
enum UpdateHint : int {
    HINT_REBUILD = 0,          // new document or full rebuild
    HINT_PASS = 1,             // an experiment pass
    HINT_TRIAL_ADDED = 2,      // a trial was added
    HINT_COLUMN_CHANGED = 3,   // a plotted parameter's column changed
    HINT_PARAMS_RELOADED = 4,  // parameters reloaded
    HINT_EYE_REDRAW = 5,       // the eye-position view redraws
    HINT_EYE_SAMPLING_ON = 6,
    HINT_EYE_SAMPLING_OFF = 7,
    HINT_AXES = 8,             // the graph's axes set up again from the test settings
};

struct DocUpdate {
    UpdateHint hint = HINT_REBUILD;
    const CTrial* trial = nullptr; // hint 2 only
};

constexpr int kChannelCount = 8;

class IDocObserver {
public:
    virtual ~IDocObserver() = default;

    // ---- Views ----
    // sender: the observer whose change caused the update (it is not told), or null.
    virtual void OnUpdate(IDocObserver* sender, const DocUpdate& update) {}
    // The document's contents were emptied for a new or an opened document: whatever an
    // observer holds of the old trials (an index, a selection) no longer applies.
    virtual void OnContentsDeleted() {}

    // ---- The control panel ----
    // A log line, time prefix included.
    virtual void OnLogLine(const std::string& line) {}
    // Parameter `index` of a table changed; -1: the whole list.
    virtual void OnParamChanged(ParamKind kind, int index) {}
    // The parameters were reloaded: every page shows them again.
    virtual void OnParametersChanged() {}
    // The trial-parameter table's columns changed (argument as the caller gives it).
    virtual void OnTableColumnsChanged(int arg) {}
    // A trial's responses 1..4 and its status.
    virtual void OnTrialResult(const std::array<int, 5>& values) {}
    // A new document: no responses to show.
    virtual void OnResponsesCleared() {}
    virtual void OnNotesChanged(const std::string& notes) {}

    // ---- The channels (panel and channel tool bar) ----
    // Channel n's settings changed (cell, grid, active, main channel).
    virtual void OnChannelChanged(int channel) {}
    // The eight mean channel rates.
    virtual void OnChannelLevels(const std::array<int, kChannelCount>& levels) {}
};

} // namespace orvix
