// COrvixDoc: the program's single document. Everything else reaches the experiment's
// data through it: the three parameter tables and the test types with their initial
// parameters, the channels, the log, and (as the program grows) the commands and trials.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "document/docbase.h"
#include "document/paramtable.h"
#include "document/trialrecords.h"
#include "model/param.h"

namespace orvix {

class CControlPanel;
class CTrial;

// The three kinds of parameters.
enum ParamKind { KIND_EXP = 0, KIND_GRAPH = 1, KIND_BEHAV = 2, KIND_COUNT = 3 };

// View update hints.
enum UpdateHint {
    HINT_REBUILD = 0,
    HINT_PASS = 1,
    HINT_TRIAL_ADDED = 2,
    HINT_COLUMN_CHANGED = 3,
    HINT_PARAMS_RELOADED = 4,
    HINT_EYE_REDRAW = 5,
    HINT_EYE_SAMPLING_ON = 6,
    HINT_EYE_SAMPLING_OFF = 7,
    HINT_AXES = 8,
};

constexpr int kChannelCount = 8;

class COrvixDoc : public CDocument {
public:
    COrvixDoc();
    ~COrvixDoc() override;
    COrvixDoc(const COrvixDoc&) = delete;
    COrvixDoc& operator=(const COrvixDoc&) = delete;

    // The document the program runs on (the one the main window shows), or null.
    static COrvixDoc* GetActive();
    static void SetActive(COrvixDoc* doc);

    // ---- Graph parameters (the renderer's scene parameters; index = object id) ----
    int GetGraphParamCount() const { return graph_.Count(); }
    CParam& GetGraphParam(int i);
    CParam& GetGraphParam(const char* name);
    int FindGraphParam(const char* name) const { return graph_.Find(name ? name : ""); }

    // ---- Behaviour parameters ----
    int GetBehavParamCount() const { return behav_.Count(); }
    CParam& GetBehavParam(int i);
    CParam& GetBehavParam(const char* name, CParam& def);
    CParam& GetBehavParam(const char* name, CParam&& def) { return GetBehavParam(name, def); }
    int FindBehavParam(const char* name, bool add, CParam& def);
    int FindBehavParam(const char* name, bool add, CParam&& def) { return FindBehavParam(name, add, def); }
    void RemoveBehavParam(int i);

    // ---- Test settings ----
    int GetExpParamCount() const { return exp_.Count(); }
    void SetExpParamCount(int n) { exp_.SetSize(n); }
    CParam* GetExpParam(int i) { return exp_.At(i); }
    void SetExpParamInt(int i, const char* name, int v);
    void SetExpParamReal(int i, const char* name, float v);
    void SetExpParamText(int i, const char* name, const char* v);
    CParam& GetExpParam(const char* name, CParam& def);
    CParam& GetExpParam(const char* name, CParam&& def) { return GetExpParam(name, def); }
    int FindExpParam(const char* name, bool add, CParam& def);
    int FindExpParam(const char* name, bool add, CParam&& def) { return FindExpParam(name, add, def); }

    CParamTable& Table(int kind);

    // ---- Test types and their initial parameters ----
    int GetTestTypeCount() const { return static_cast<int>(testTypeNames_.size()); }
    const std::vector<std::string>& GetTestTypeNames() const { return testTypeNames_; }
    int GetCurrentTestType() const { return curTestType_; }
    // The name of the current test type, "" when none.
    std::string GetTestTypeName() const;
    void SnapshotTestSettings();
    void LoadInitParams(int kind);
    void RestoreParams(int kind);
    bool AddInitParam(int kind, const CParam& saved, const CParam& initial);
    void RemoveInitParam(int kind, int i);
    int GetInitParamCount(int kind) const;
    CParam& GetInitParam(int kind, int i);
    bool AddTestType(const char* name);
    void RemoveTestType(int i);
    // The only way a test type becomes current; false when nothing changed.
    virtual bool SetTestType(int i);
    std::vector<CParam>& SavedList(int kind) { return saved_[kind]; }
    std::vector<std::vector<CParam>>& InitLists(int kind) { return init_[kind]; }

    // ---- Data file ----
    // Opens a data file into the document; false (with a message) when it cannot.
    virtual bool OnOpenDocument(const std::string& path);

    // ---- Registry ----
    void ReadRegistry();
    void OnSaveParameters();
    void OnResetParameters();

    // ---- Channels ----
    int GetSelectedChannel() const { return selectedChannel_; }
    int mainChannel = 3;
    std::array<int16_t, kChannelCount> cellIds{1, 1, 1, 1, 1, 1, 1, 1};
    std::array<uint8_t, kChannelCount> gridChoices{0, 1, 2, 3, 4, 5, 6, 7};
    std::array<int16_t, kChannelCount> depths{};
    uint8_t activeChannels = 0xFF;
    int testRunning = 0;

    void UpdateDataFileName();
    void UpdateChannelDisplay(int channel);

    // ---- Log and control-panel forwarding (nothing happens while no panel exists) ----
    void AddLogLine(const std::string& text);
    CControlPanel* GetControlPanel() const { return controlPanel_; }
    void UpdateBehavParamItem(int i);
    void UpdateGraphParamItem(int i);
    // The behaviour page lists every parameter again.
    void RefreshBehavPage();

    // The scene the renderer has loaded ("" none).
    std::string loadedScene;

    // ==== Menu commands, channels and control-panel forwarding (document/commands.cpp) ====
    enum CommandId {
        ID_RESET_PARAMETERS = 32776,
        ID_CONTROL_PANEL = 32777,
        ID_ENABLE = 32783,
        ID_CHANNEL_1 = 32825, // ... ID_CHANNEL_1 + 6 = channel 7
        ID_CHANNEL_0 = 32832,
        ID_SAVE_PARAMETERS = 32858,
        ID_TRANSFORM = 32880,
        ID_EXPORT_PARAM = 32893,
        ID_FILE_OPEN = 57601,
    };
    // Runs a menu command the document handles; false when it is not one of them.
    bool OnCommand(int id);
    // The state of a command's menu entry; false when the document has no update handler.
    bool OnUpdateCommand(int id, bool& enabled, bool& checked) const;
    // The channel (0..7) of a channel command, -1 for other commands.
    static int ChannelOfCommand(int id);

    void OnSelectChannel(int n);
    bool OnUpdateSelectChannel(int n) const { return selectedChannel_ == n; }
    bool OnUpdateFileOpen() const { return testRunning == 0; }

    void OnControlPanel();
    void CreateControlPanel();
    void ShowControlPanel(bool show);
    void DestroyControlPanel();

    void ParametersChanged();
    // Sends graph parameter i's value text to the renderer (object id i, no wait).
    void SendGraphParam(int i);
    void UpdateStatVariables(int arg);
    // The behaviour page's line of the named parameter (looked up without adding).
    void UpdateBehavParamItem(const char* name);
    // Empties the response page (a new document).
    void ClearResponsePage();
    void AddTrialResult(int r1, int r2, int r3, int r4, int status);
    bool GetTrialResponse(int i, int* r1, int* r2, int* r3, int* r4, int* status) const;

    // Adds the trial's positive channel responses to the sums and shows the mean rates.
    void UpdateChannelRates(CTrial* trial);
    // Adds the positive responses of eight channels to the channel sums.
    void AddChannelResponses(const double responses[8]);
    // Recomputes every trial's channel responses over "AnalysisTime" and the sums.
    void RecomputeChannelRates();
    const std::array<int, kChannelCount>& GetChannelLevels() const { return channelLevels_; }
    std::array<float, kChannelCount> channelSums{};

    // The main channel's next cell; false (cell unchanged) when that cannot be.
    bool NextCell();

    // The recorded trials and stimulus commands as the panel and the rates read them;
    // null while there are none to read. Not owned.
    void SetTrialRecords(ITrialRecords* records) { trialRecords_ = records; }
    ITrialRecords* GetTrialRecords() const { return trialRecords_; }
    int GetRecordedTrialCount() const { return trialRecords_ ? trialRecords_->GetTrialCount() : 0; }
    // The main frame's channel tool bar; not owned.
    void SetChannelBar(IChannelBar* bar) { channelBar_ = bar; }

private:
    ITrialRecords* trialRecords_ = nullptr;
    IChannelBar* channelBar_ = nullptr;
    std::array<int, kChannelCount> channelLevels_{};
    // ==== end of commands block ====

protected:
    int selectedChannel_ = 1;
    CControlPanel* controlPanel_ = nullptr;

private:
    int GetOrAdd(CParamTable& table, const char* name, CParam& def);
    // Sets a parameter's value from another's text (values move between lists as text).
    static void AssignText(CParam& target, CParam& source);
    void SendGraphValue(int position, CParam& param);

    CParamTable exp_, graph_, behav_;
    std::vector<std::string> testTypeNames_;
    int curTestType_ = -1;
    std::vector<std::vector<CParam>> init_[KIND_COUNT];
    std::vector<CParam> saved_[KIND_COUNT];
};

// Reads the "Parameters" values of the registry into a list (name and text).
void ReadRegistryParams(std::vector<CParam>& list);
// Deletes a key with everything below it; a missing key counts as deleted.
bool DeleteRegistryTree(struct RegHandle* parent, const char* name);

} // namespace orvix
