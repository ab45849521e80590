// COrvixDoc: the program's single document. Everything else reaches the experiment's
// data through it: the three parameter tables and the test types with their initial
// parameters, the channels, the log, and (as the program grows) the commands and trials.
#pragma once
#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/tablemodel.h"
#include "document/commandfile.h"
#include "document/commandtarget.h"
#include "document/doc_trialrecords.h"
#include "document/docbase.h"
#include "document/experiment.h"
#include "document/paramtable.h"
#include "document/plotsettings.h"
#include "document/responsetables.h"
#include "io/iohost.h"
#include "model/param.h"
#include "model/trial.h"
#include "platform/files/sharedfile.h"
#include "platform/ui/drawing.h"

namespace orvix {

struct DataFileContents;

// The Gaussian smoothing kernel of the plots for a width in samples: 6 * width + 1
// coefficients of a normal density cut at three standard deviations.
std::vector<float> BuildSmoothingKernel(int width);

class COrvixDoc : public CDocument, public IIoHost, public ICommandTarget {
public:
    COrvixDoc();
    ~COrvixDoc() override;
    COrvixDoc(const COrvixDoc&) = delete;
    COrvixDoc& operator=(const COrvixDoc&) = delete;

    // ---- The experiment's devices, renderer link and task runner ----
    // Set by their owner when it attaches the document; null: none (no renderer, no
    // devices, run flag 0).
    void SetExperiment(IExperiment* experiment) { experiment_ = experiment; }
    IExperiment* GetExperiment() const { return experiment_; }
    bool IsRendererRunning() const;
    int GetRunFlag() const;
    void SetRunFlag(int flag);

    // ---- Graph parameters (the renderer's scene parameters; index = object id) ----
    int GetGraphParamCount() const { return graph_.Count(); }
    CParam& GetGraphParam(int i);
    CParam& GetGraphParam(const char* name);
    int FindGraphParam(const char* name) const { return graph_.Find(name ? name : ""); }

    // ---- Behaviour parameters ----
    int GetBehavParamCount() const { return behav_.Count(); }
    CParam& GetBehavParam(int i);
    CParam& GetBehavParam(const char* name, CParam& def) override;
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
    // The only way a test type becomes current: asks to save a modified document, starts a
    // new one and names its data file. False for an index outside the list or when the
    // user cancels the save question.
    virtual bool SetTestType(int i);
    // The current type's scene is loaded again, its renderer values carried over.
    void ReloadScene();
    // The index of a test type by name, letter case ignored; -1 when there is none.
    int FindTestType(const std::string& name) const;
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

    // ---- Log and what the control panel shows (nothing happens while nobody listens) ----
    void AddLogLine(const std::string& text) override;
    void UpdateBehavParamItem(int i);
    void UpdateGraphParamItem(int i);
    // The behaviour page lists every parameter again.
    void RefreshBehavPage();

    // The scene the renderer has loaded ("" none).
    std::string loadedScene;

    // ---- Renderer intake and the experiment switch ("&Enable") ----
    static constexpr uint32_t kRendererStartMs = 5000;
    static constexpr uint32_t kSceneTimeoutMs = 60000;
    // The whole definition block after a scene load, first packet to last. A renderer sends
    // it at once, as soon as the scene is loaded: this is generous (2 s for each of five
    // definitions, where a working link brings 255 within milliseconds) and small beside the
    // minute the switch waits for the scene itself. Events are served meanwhile.
    static constexpr uint32_t kDefinitionBlockMs = 10000;
    // How long one turn of a wait for the renderer serves events before it looks again.
    static constexpr int kPumpSliceMs = 10;
    static constexpr uint32_t kPanelRefreshMs = 100;
    // Reads one renderer packet; a definition block replaces the graph parameters.
    bool OnRendererReceive() override;
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
        // True when another running instance owns the hardware.
        std::function<bool()> askOtherInstances;
        // The Test page takes its controls' values and saves them into the test settings.
        std::function<void()> saveTestSettings;
        // A test is running: raise (true) or lower the thread's priority.
        std::function<void(bool highest)> setTestPriority;
        // A test run began (true) or ended: the commands a run forbids follow its state.
        std::function<void(bool running)> testRunChanged;
        // Handles waiting messages, sleeping up to maxWaitMs when there are none, then runs
        // idle processing; false when a quit message came. Unset: the Qt event loop.
        std::function<bool(int maxWaitMs)> pumpMessages;
        // The control panel is made when it does not exist yet (it shows the log).
        std::function<void()> createControlPanel;
        // A data file the document was saved to goes on File's recent-file list.
        std::function<void(const std::string& path)> addRecentFile;
    } hooks;
    // ==== Menu commands, channels and what the observers are told (document/commands.cpp) ====
    // Runs a menu command the document handles; false when it is not one of them.
    bool OnCommand(int id) override;
    // The state of a command's menu entry; false when the document has no update handler.
    bool OnUpdateCommand(int id, bool& enabled, bool& checked) const override;
    // The channel (0..7) of a channel command, -1 for other commands.
    static int ChannelOfCommand(int id);

    void OnSelectChannel(int n);
    // "&Transform": a column computed from an expression the user types.
    void OnTransform();
    bool OnUpdateSelectChannel(int n) const { return selectedChannel_ == n; }
    bool OnUpdateFileOpen() const { return testRunning == 0; }

    void ParametersChanged();
    // Sends graph parameter i's value text to the renderer (object id i, no wait).
    void SendGraphParam(int i);
    // The trial-parameter table's columns changed: the Statistics page lists them again.
    void UpdateStatVariables(int arg);
    // The behaviour page's line of the named parameter (looked up without adding).
    void UpdateBehavParamItem(const char* name);
    // Empties the response page (a new document).
    void ClearResponsePage();
    void AddTrialResult(int r1, int r2, int r3, int r4, int status);
    bool GetTrialResponse(int i, int* r1, int* r2, int* r3, int* r4, int* status) const;

    // Adds the trial's positive channel responses to the sums and shows the mean rates.
    void UpdateChannelRates(const CTrial* trial);
    // Adds the positive responses of eight channels to the channel sums.
    void AddChannelResponses(const double responses[8]);
    // Recomputes every trial's channel responses over "AnalysisTime" and the sums.
    void RecomputeChannelRates();
    const std::array<int, kChannelCount>& GetChannelLevels() const { return channelLevels_; }

    // The main channel's next cell; false (cell unchanged) when that cannot be.
    bool NextCell();

    // The recorded trials and stimulus commands as the panel and the rates read them;
    // null while there are none to read. Not owned.
    void SetTrialRecords(ITrialRecords* records) { trialRecords_ = records; }
    ITrialRecords* GetTrialRecords() const { return trialRecords_; }
    int GetRecordedTrialCount() const { return trialRecords_ ? trialRecords_->GetTrialCount() : 0; }

private:
    CDocTrialRecords ownRecords_;
    ITrialRecords* trialRecords_ = nullptr;
    std::array<int, kChannelCount> channelLevels_{};
    // ==== end of commands block ====

protected:
    int selectedChannel_ = 1;

private:
    // The I/O layer of the attached experiment, or null.
    CDeviceIO* Devices() const;
    // The task runner reads its parameters again.
    void LoadRunnerParameters();
    bool PumpMessages(int maxWaitMs);
    // The "IVFile" of the current type's initial test settings; false when it has none.
    bool InitialScene(std::string& scene);
    // Loads a scene keeping the run flag; the graph values of the same names come back.
    void CarrySceneOver(const std::string& scene);

    int GetOrAdd(CParamTable& table, const char* name, CParam& def);
    // Slot i of the test settings, created when empty, named and entered in the index.
    CParam* NameExpSlot(int i, const char* name);
    // Sets a parameter's value from another's text (values move between lists as text).
    static void AssignText(CParam& target, CParam& source);

    IExperiment* experiment_ = nullptr;
    // "&Enable" is switching the experiment on (waiting for the renderer or the scene).
    bool switching_ = false;
    // A scene's graph-parameter definitions are being read (events are served meanwhile).
    bool definitionsPending_ = false;
    // Set for the life of a wait, cleared at its end however it ends.
    struct CWaitMark {
        explicit CWaitMark(bool& flag) : flag_(flag) { flag_ = true; }
        ~CWaitMark() { flag_ = false; }
        CWaitMark(const CWaitMark&) = delete;
        CWaitMark& operator=(const CWaitMark&) = delete;
        bool& flag_;
    };
    // The manual stimulus control's last change, shown on the graph page once it rests.
    uint32_t lastAnalogChange_ = 0;
    bool analogRefreshPending_ = false;
    CParamTable exp_, graph_, behav_;
    std::vector<std::string> testTypeNames_;
    int curTestType_ = -1;
    std::vector<std::vector<CParam>> init_[KIND_COUNT];
    std::vector<CParam> saved_[KIND_COUNT];

    // ==== Lifetime, trials and the data file ====
public:
    void DeleteContents() override;
    bool OnNewDocument() override;

    int GetTrialCount() const { return static_cast<int>(trials_.size()); }
    // Null outside the list.
    CTrial* GetTrial(int i) const;
    // Appends a trial; the document owns it from now on.
    void AddTrial(CTrial* trial);
    // Takes the trial's computed rates out of the channel sums and deletes it.
    void RemoveTrial(int i);
    // The longest trial's length (ms) and the number of trials.
    void GetTrialExtent(int& width, int& height) const;

    // Names the next data file of a test type in the data folder; the folder is asked for
    // while it does not exist. False, with nothing changed, when the user cancels.
    bool SetDataFileName(int testType);
    // Saves to the data file (the Test page's Save). A name that SetDataFileName chose may
    // have been taken since by another recording (a second instance, a second rig on the
    // folder) or anything else: that stays, the next free number is taken and the log says
    // which. The file this document wrote itself is saved over. False (with a message) when
    // the file could not be written: the document then stays modified and keeps its name.
    bool SaveDataFile();
    // Cell ids name a letter in data-file names: 1..26.
    static int ClampCellId(int id);
    void SetCellId(int channel, int id);

    int IsMergeMode() const { return mergeMode; }

    std::string notes;
    std::string dataFilePath;
    std::array<float, kChannelCount> channelSums{};
    // Non-zero: opening a file adds its trials; counts the files merged.
    int mergeMode = 0;
    // Set when a data file was opened into this document.
    int fileLoaded = 0;
    // Held and stored empty for the file format's sake.
    std::array<std::vector<uint32_t>, 5> reservedArrays;
    // Gaussian smoothing of the plots, width in tenths of an x step.
    static constexpr int kMaxSmoothWidth = 1000;
    int smoothWidth = 3;
    std::vector<float> smoothKernel = BuildSmoothingKernel(3);
    int alignOnFigOnset = 0;
    double estimatedDelay = 7.0; // ms
    double frameRate = 72.207067; // Hz

private:
    void ShowNotesOnPanel();
    // Writes the data file without a word, and remembers the file it wrote. With `nextName`,
    // a new file that takes the place of nothing, under `path`'s name or the next that
    // `nextName` gives (WriteNewFileAtomically).
    bool WriteDataFile(const std::string& path, const std::function<std::string()>& nextName = nullptr);
    // After a write: the document takes the file as its own, or the user hears why not.
    bool AfterWrite(const std::string& path, bool written);
    // A path of this machine as the document's name for it (the program's text); false, and
    // the user is told, when that text cannot hold it.
    bool NameOfPath(const std::string& path, std::string& name);

    // The name SetDataFileName chose, without its number; empty when the data file was
    // opened or named otherwise. And the file this document wrote last, as it left it.
    std::string dataFileBase_;
    std::string writtenPath_;
    FileStamp written_;

    std::vector<std::unique_ptr<CTrial>> trials_;
    // ==== Stimulus commands, the trial-parameter table and the data file ====
public:
    // One line per stimulus command, as read from a command file or a data file.
    std::vector<std::string> commandLines;
    int GetCommandCount() const { return static_cast<int>(commandLines.size()); }
    // The parsed rows (one per command line once parsed).
    int GetCommandRowCount() const { return static_cast<int>(commands_.size()); }
    // Row i; an empty row outside the list.
    CommandRow& GetCommand(int i);
    // Builds the rows from the command lines; on disagreeing rows says so and empties the
    // list. angleOffset: kNoAngleOffset, or degrees added to "OR2" items.
    void ParseCommandFile(float angleOffset);
    void DefineAnalysisColumns();

    // One row per trial: the command's parameters, then the 14 response columns.
    CTableModel trialTable;
    // Column name and expression pairs, applied again to merged files.
    std::vector<std::string> expressionColumns;
    // On: opening a data file takes its figure settings, axis choices and initial lists.
    int loadFormat = 1;
    CPlotSettings plot;
    std::vector<CParam> selectionList1, selectionList2;

    void ReserveTrials(int count);
    void FillTrialRow(int i);
    void RebuildTrialTable();
    // Computes a column from a Transform expression over the command parameters. False
    // when nothing was computed; then `problem`, when given, says why.
    bool InsertExpressionColumn(const std::string& name, const std::string& expression, bool roundToInt, bool record,
                                std::string* problem = nullptr);
    void OnFileMergingMode();
    void OnLoadFormat() { loadFormat = !loadFormat; }
    void GetFigureExtent(int& width, int& height) const;
    // The number of figures the graph view shows (at least 0).
    int figureCount = 0;
    // Counts the changes of the command rows (a new list, a computed column), so that
    // whoever indexes them knows when to index them again.
    unsigned commandListVersion = 0;

    // Stores or loads the data file's fields.
    void Serialize(CArchive& ar);
    // Writes the document to a data file through a temporary file; false (with a message)
    // when it could not be written, the previous file then unchanged.
    bool OnSaveDocument(const std::string& path);
    // Saves to the document's file: the one it was opened from or saved to, else the data
    // file named for the test. False when it has neither.
    bool DoFileSave() override;
    // Where Save As starts (the program's form): the document's file, or, for one that
    // names no folder, the data folder ("DataPath") with the document's name.
    std::string SaveAsStart();
    // Saves to the file chosen in Save As (a path of this machine; without an extension it
    // gets ".oxv", which the Open dialog lists); the file goes on the recent-file list.
    bool SaveAsFile(std::string path);
    // Save As through the UI service; false when it is cancelled or the save fails.
    bool DoSaveAs() override;

    // ==== Response figures (document/figures.cpp, document/revcorrmap.cpp) ====
    // Built by the response-graph model from the trials; every figure draws from them.
    CResponseTables responses;
    // Set after a map's values overflowed the grey scale and the user heard so; cleared by
    // the next drawing without overflow, so that one run of overflowing drawings beeps once.
    bool rangeBeeped = false;

    // Draws the response figures in 0.01 mm, y growing downwards for ySign -1: rasters,
    // tuning curves, maps and depth histograms, or the reverse-correlation maps.
    void DrawFigures(IDrawContext& dc, int ySign);
    void DrawReverseCorrelation(IDrawContext& dc);
    // One reverse-correlation map at a figure place; difference: figure 0 minus figure 1.
    void DrawRevCorrFigure(IDrawContext& dc, int row, int column, bool difference);
    void DrawContourLegend(IDrawContext& dc, int left, int top, int right, int bottom);
    void DrawPositionAxes(IDrawContext& dc, int left, int top, int right, int bottom);
    // The grey firing-rate scale beside a map, from (left, bottom) up `height` units.
    void DrawRateLegend(IDrawContext& dc, int left, int bottom, int height, int rightMargin, int minimum,
                        int maximum, int ySign);

    // The Gaussian smoothing of the tuning curves, sigma in x steps (kept in tenths, at
    // least one); the views rebuild their tables.
    void SetSmoothSigma(float sigma);
    float GetSmoothSigma() const { return static_cast<float>(smoothWidth * 0.1); }

    // The figure settings under a name, as the 23 named values of a figure template.
    CFigureTemplate BuildFigureTemplate(const std::string& name) const;
    // Takes back every value of the template whose name is a figure setting.
    void ApplyFigureTemplate(const CFigureTemplate& figureTemplate);

private:
    void StoreDataFile(CArchive& ar);
    void ApplyDataFile(DataFileContents& c);
    void ApplyMergedFile(DataFileContents& c);
    // After an open: the renderer's parameters come back when its scene stays, else the
    // file's scene is loaded.
    void RestoreGraphParams(std::vector<std::unique_ptr<CParam>>& aside);
    void LoadSceneAfterOpen(const std::string& scene);

    std::vector<CommandRow> commands_;
};

// Reads the "Parameters" values of the registry into a list (name and text).
void ReadRegistryParams(std::vector<CParam>& list);
// Deletes a key with everything below it; a missing key counts as deleted.
bool DeleteRegistryTree(struct RegHandle* parent, const char* name);

} // namespace orvix
