// COrvixDoc: the program's single document. Everything else reaches the experiment's
// data through it: the three parameter tables and the test types with their initial
// parameters, the channels, the log, and (as the program grows) the commands and trials.
#pragma once
#include <array>
#include <functional>
#include <cstdint>
#include <string>
#include <vector>

#include "document/docbase.h"
#include "document/paramtable.h"
#include "model/param.h"

namespace orvix {

class CControlPanel;

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

    // ---- Renderer intake and the experiment switch ("&Enable") ----
    static constexpr uint32_t kRendererStartMs = 5000;
    static constexpr uint32_t kSceneTimeoutMs = 60000;
    static constexpr int kDefinitionWaitMs = 2000;
    static constexpr uint32_t kPanelRefreshMs = 100;
    // Reads one renderer packet; a definition block replaces the graph parameters.
    bool OnRendererReceive();
    void ParseGraphParams(int count);
    void OnEnable();
    // The check mark of "&Enable": on while the experiment runs with the renderer up.
    bool OnUpdateEnable() const;
    bool LoadScene(const char* sceneFile, bool keepGraphParams);
    // Manual stimulus control from the analog inputs, once per experiment pass.
    void ApplyAnalogInputs();
    // The part of ApplyAnalogInputs after the readings.
    void ApplyAnalogSteps(int stepH, int stepV, int stepAngle);
    // Work that belongs to other parts of the program, reached through these hooks; each
    // does nothing (or answers "no") while it is not set.
    struct ExperimentHooks {
        std::function<void()> createControlPanel;
        // True when another running instance owns the hardware.
        std::function<bool()> askOtherInstances;
        // The Test page takes its controls' values and saves them into the test settings.
        std::function<void()> saveTestSettings;
        std::function<void()> parametersChanged;
        // A test is running: raise (true) or lower the thread's priority.
        std::function<void(bool highest)> setTestPriority;
        // Handles waiting messages, sleeping up to maxWaitMs when there are none, then runs
        // idle processing; false when a quit message came. Unset: the Qt event loop.
        std::function<bool(int maxWaitMs)> pumpMessages;
    } hooks;

protected:
    int selectedChannel_ = 1;
    CControlPanel* controlPanel_ = nullptr;

private:
    bool PumpMessages(int maxWaitMs);

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
