// CTest: the "Test" page of the control panel. It edits the test settings, manages the
// test types, builds the command list and starts and stops a test run; the run itself is
// CTestRun's work.
#pragma once
#include <QWidget>
#include <memory>
#include <string>

#include "runner/testrun.h"
#include "runner/testsettings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace orvix {

class COrvixDoc;
class CTaskRunner;

class CTest : public QWidget {
    Q_OBJECT
public:
    enum {
        IDD = 130,
        IDC_START = 1001,
        IDC_TEST_TYPE = 1002,
        IDC_BEGIN = 1003,
        IDC_END = 1004,
        IDC_STEP = 1005,
        IDC_CUSTOM_ITEMS = 1010,
        IDC_TASK_FILE = 1011,
        IDC_SAVE = 1012,
        IDC_ACCUM_TIMES = 1015,
        IDC_PARAM_TO_CHANGE = 1028,
        IDC_RANDOM = 1029,
        IDC_USE_CUSTOM_ITEMS = 1030,
        IDC_NEW_FILE = 1069,
        IDC_NEW_CELL = 1070,
        IDC_BROWSE_COMMANDS = 1072,
        IDC_VIEW_COMMANDS = 1073,
        IDC_BROWSE_TASK = 1074,
        IDC_IV_FILE = 1075,
        IDC_RELOAD_TASK = 1076,
        IDC_NEW_TEST = 1096,
        IDC_RELOAD_SCENE = 1136,
        IDC_NOTES = 1137,
        IDC_GROUP_SIZE = 1143,
        IDC_GROUP_NUM_PARAM = 1144,
        IDC_DELETE_TEST = 1145,
        IDC_BALANCED = 1178,
        IDC_DISCARD = 2,
    };

    // The longest name a test type may have.
    static constexpr size_t kMaxTestNameLength = 24;
    // A click on the button this soon after a run ended was aimed at "&Stop" (the run ended
    // first, or it is the second click of a double click): it starts nothing.
    static constexpr uint32_t kLateStopMs = 1000;

    // Trials run on this task runner.
    CTest(COrvixDoc* doc, CTaskRunner& runner, QWidget* parent = nullptr);
    ~CTest() override;

    // Runs trials through another engine than the task runner (tests).
    void UseEngine(ITrialEngine& engine);
    CTestRun& Run() { return *run_; }

    void LoadSettings();
    void SaveSettings();
    // true: controls into the members, false when a field's text was refused (a letter the
    // code page cannot hold: the field keeps the focus for mending); false: members into the
    // controls.
    bool UpdateData(bool save);
    void SetNotes(const std::string& notes);
    const CTestSettings& Settings() const { return settings_; }

    // ---- Handlers ----
    void OnStart();
    void OnSave();
    void OnCancel();
    void OnSelchangeTestType();
    void OnNewFile();
    void OnNewCell();
    void OnBrowseCommandFile();
    void OnViewCommands();
    void OnNewTest();
    void OnDeleteTest();
    void OnReloadScene();
    void OnBrowseTaskFile();
    void OnReloadTask();
    void OnKillFocusField();
    void OnUseCommandFile();
    void OnBalanced();
    void OnRandom();
    // Leaving the page applies the edits.
    void OnKillActive();

    // A name a test type may have: a letter or '_' first, then letters, digits or '_',
    // at most 24 characters.
    static bool IsValidTestName(const std::string& name);

    QWidget* Control(int id) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Build();
    void OnInitDialog();
    void FillTestTypes();
    // A test type is chosen; else the user hears what to do.
    bool HasTestType();
    void Enable(std::initializer_list<int> ids, bool enable);
    void OnRunning(bool running);
    void OnFinished(bool discard, bool save);
    void MakeRun(ITrialEngine& engine);
    std::string OpenFile(const std::string& current, const char* filter);

    COrvixDoc* doc_;
    CTaskRunner& runner_;
    CTaskRunnerEngine runnerEngine_;
    std::unique_ptr<CTestRun> run_;
    CTestSettings settings_;
    std::string notes_;
    bool filling_ = false;

    QComboBox* testType_;
    QLineEdit *accumTimes_, *begin_, *customItems_, *end_, *step_, *param2Change_, *ivFile_, *taskFile_;
    QLineEdit *groupSize_, *groupNumParam_;
    QPlainTextEdit* notesEdit_;
    QCheckBox *random_, *useCustomItems_, *balanced_;
    QPushButton *start_, *save_, *discard_;
};

} // namespace orvix
