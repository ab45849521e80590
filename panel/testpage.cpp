#include "panel/testpage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <cctype>
#include <type_traits>

#include "document/orvixdoc.h"
#include "model/fieldtext.h"
#include "model/inputstringdlg.h"
#include "panel/controlpanel.h"
#include "panel/logpages.h"
#include "platform/files/paths.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"
#include "runner/taskrunner.h"

namespace orvix {

namespace {

// A field's text as the program's; refused (a letter the code page cannot hold), `value` stays
// as it was and the field has the focus again.
bool Take(QLineEdit* e, std::string& value, const char* label)
{
    return TakeField(*e, value, std::string("the \"") + label + "\" field");
}

// The controls a run disables, and those its end enables again.
const std::initializer_list<int> kRunDisables = {
    CTest::IDC_SAVE, CTest::IDC_DISCARD, CTest::IDC_TEST_TYPE, CTest::IDC_NEW_CELL, CTest::IDC_NEW_FILE,
    CTest::IDC_BROWSE_COMMANDS, CTest::IDC_VIEW_COMMANDS, CTest::IDC_RANDOM, CTest::IDC_BALANCED,
    CTest::IDC_USE_CUSTOM_ITEMS, CTest::IDC_ACCUM_TIMES, CTest::IDC_PARAM_TO_CHANGE, CTest::IDC_BEGIN,
    CTest::IDC_END, CTest::IDC_STEP, CTest::IDC_IV_FILE, CTest::IDC_CUSTOM_ITEMS, CTest::IDC_NEW_TEST,
    CTest::IDC_RELOAD_SCENE, CTest::IDC_TASK_FILE, CTest::IDC_BROWSE_TASK, CTest::IDC_GROUP_SIZE,
    CTest::IDC_GROUP_NUM_PARAM};
const std::initializer_list<int> kRunEnables = {
    CTest::IDC_TEST_TYPE, CTest::IDC_NEW_CELL, CTest::IDC_NEW_FILE, CTest::IDC_VIEW_COMMANDS, CTest::IDC_RANDOM,
    CTest::IDC_BALANCED, CTest::IDC_ACCUM_TIMES, CTest::IDC_NEW_TEST, CTest::IDC_GROUP_SIZE,
    CTest::IDC_GROUP_NUM_PARAM};
// What a new test type or a new file or cell may edit again.
const std::initializer_list<int> kFileEnables = {
    CTest::IDC_USE_CUSTOM_ITEMS, CTest::IDC_PARAM_TO_CHANGE, CTest::IDC_BEGIN, CTest::IDC_END, CTest::IDC_STEP,
    CTest::IDC_RELOAD_SCENE, CTest::IDC_IV_FILE, CTest::IDC_BROWSE_COMMANDS, CTest::IDC_CUSTOM_ITEMS,
    CTest::IDC_RELOAD_TASK, CTest::IDC_BROWSE_TASK, CTest::IDC_TASK_FILE};

const char* const kNoTestType = "No test type is chosen: New File, New Cell and Reload start from a test type's "
                                "set-up.\nChoose one in the Test Type list, or press \"New Test\" to make one.";

const char* const kNameRule = "Test name should begin with an alphabetic character or underscore.\n"
                              "Rest of the characters can also be numbers.\n"
                              "Max length of the name is 24 characters.";

} // namespace

CTest::CTest(COrvixDoc* doc, CTaskRunner& runner, QWidget* parent)
    : QWidget(parent), doc_(doc), runner_(runner), runnerEngine_(runner)
{
    setObjectName("Test");
    Build();
    MakeRun(runnerEngine_);
    doc_->hooks.saveTestSettings = [this] {
        UpdateData(true);
        SaveSettings();
    };
    OnInitDialog();
}

CTest::~CTest()
{
    // The hook would reach a page that is gone.
    doc_->hooks.saveTestSettings = nullptr;
}

void CTest::Build()
{
    auto* grid = new QGridLayout;
    int row = 0;
    auto edit = [this](int id) {
        auto* e = Named(new QLineEdit(this), id);
        e->installEventFilter(this);
        return e;
    };
    auto button = [this](int id, const char* text) { return Named(new QPushButton(text, this), id); };
    auto label = [this](const char* text) { return new QLabel(text, this); };

    testType_ = Named(new QComboBox(this), IDC_TEST_TYPE);
    grid->addWidget(label("Test Type:"), row, 0);
    grid->addWidget(testType_, row, 1, 1, 2);
    grid->addWidget(button(IDC_NEW_TEST, "New &Test"), row, 3);
    grid->addWidget(button(IDC_DELETE_TEST, "Delete Test"), row++, 4);

    useCustomItems_ = Named(new QCheckBox("Use Command file", this), IDC_USE_CUSTOM_ITEMS);
    grid->addWidget(useCustomItems_, row++, 0, 1, 2);
    param2Change_ = edit(IDC_PARAM_TO_CHANGE);
    begin_ = edit(IDC_BEGIN);
    end_ = edit(IDC_END);
    step_ = edit(IDC_STEP);
    grid->addWidget(label("Param to Test:"), row, 0);
    grid->addWidget(param2Change_, row++, 1, 1, 2);
    grid->addWidget(label("Begin:"), row, 0);
    grid->addWidget(begin_, row, 1);
    grid->addWidget(label("End:"), row, 2);
    grid->addWidget(end_, row, 3);
    grid->addWidget(label("Step:"), row, 4);
    grid->addWidget(step_, row++, 5);

    customItems_ = edit(IDC_CUSTOM_ITEMS);
    grid->addWidget(label("Command File:"), row, 0);
    grid->addWidget(customItems_, row, 1, 1, 3);
    grid->addWidget(button(IDC_VIEW_COMMANDS, "&View"), row, 4);
    grid->addWidget(button(IDC_BROWSE_COMMANDS, "&Browse"), row++, 5);

    ivFile_ = edit(IDC_IV_FILE);
    grid->addWidget(label("Open Inventor File:"), row, 0);
    grid->addWidget(ivFile_, row, 1, 1, 3);
    grid->addWidget(button(IDC_RELOAD_SCENE, "&Reload"), row++, 4);

    taskFile_ = edit(IDC_TASK_FILE);
    grid->addWidget(label("Task File:"), row, 0);
    grid->addWidget(taskFile_, row, 1, 1, 3);
    grid->addWidget(button(IDC_RELOAD_TASK, "Re&load"), row, 4);
    grid->addWidget(button(IDC_BROWSE_TASK, "Bro&wse"), row++, 5);

    accumTimes_ = edit(IDC_ACCUM_TIMES);
    grid->addWidget(label("Accum Times:"), row, 0);
    grid->addWidget(accumTimes_, row++, 1);

    auto* order = new QHBoxLayout;
    random_ = Named(new QCheckBox("Random,", this), IDC_RANDOM);
    balanced_ = Named(new QCheckBox("balanced, and", this), IDC_BALANCED);
    groupSize_ = edit(IDC_GROUP_SIZE);
    groupNumParam_ = edit(IDC_GROUP_NUM_PARAM);
    order->addWidget(random_);
    order->addWidget(balanced_);
    order->addWidget(groupSize_);
    order->addWidget(label("commands in a group by first"));
    order->addWidget(groupNumParam_);
    order->addWidget(label("parameters."));
    grid->addLayout(order, row++, 0, 1, 6);

    notesEdit_ = Named(new QPlainTextEdit(this), IDC_NOTES);
    notesEdit_->installEventFilter(this);
    grid->addWidget(label("Notes:"), row, 0);
    grid->addWidget(notesEdit_, row++, 1, 1, 5);

    auto* buttons = new QHBoxLayout;
    start_ = button(IDC_START, "&Start");
    save_ = button(IDC_SAVE, "Sa&ve");
    discard_ = button(IDC_DISCARD, "&Discard");
    buttons->addWidget(start_);
    buttons->addWidget(save_);
    buttons->addWidget(discard_);
    buttons->addWidget(button(IDC_NEW_FILE, "New &File"));
    buttons->addWidget(button(IDC_NEW_CELL, "&New Cell"));
    grid->addLayout(buttons, row++, 0, 1, 6);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);

    auto clicked = [this](int id, void (CTest::*handler)()) {
        connect(static_cast<QPushButton*>(Control(id)), &QAbstractButton::clicked, this, [this, handler] {
            (this->*handler)();
        });
    };
    clicked(IDC_START, &CTest::OnStart);
    clicked(IDC_SAVE, &CTest::OnSave);
    clicked(IDC_DISCARD, &CTest::OnCancel);
    clicked(IDC_NEW_FILE, &CTest::OnNewFile);
    clicked(IDC_NEW_CELL, &CTest::OnNewCell);
    clicked(IDC_BROWSE_COMMANDS, &CTest::OnBrowseCommandFile);
    clicked(IDC_VIEW_COMMANDS, &CTest::OnViewCommands);
    clicked(IDC_NEW_TEST, &CTest::OnNewTest);
    clicked(IDC_DELETE_TEST, &CTest::OnDeleteTest);
    clicked(IDC_RELOAD_SCENE, &CTest::OnReloadScene);
    clicked(IDC_BROWSE_TASK, &CTest::OnBrowseTaskFile);
    clicked(IDC_RELOAD_TASK, &CTest::OnReloadTask);
    connect(useCustomItems_, &QAbstractButton::clicked, this, [this] { OnUseCommandFile(); });
    connect(balanced_, &QAbstractButton::clicked, this, [this] { OnBalanced(); });
    connect(random_, &QAbstractButton::clicked, this, [this] { OnRandom(); });
    connect(testType_, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_)
            OnSelchangeTestType();
    });
    for (QLineEdit* e : {begin_, customItems_, end_, param2Change_, step_})
        connect(e, &QLineEdit::textChanged, this, [this] { run_->commandListChanged = 1; });
}

void CTest::MakeRun(ITrialEngine& engine)
{
    int changed = run_ ? run_->commandListChanged : 1;
    run_ = std::make_unique<CTestRun>(*doc_, engine);
    run_->commandListChanged = changed;
    run_->onRunning = [this](bool running) { OnRunning(running); };
    run_->onFinished = [this](bool discard, bool save) { OnFinished(discard, save); };
}

void CTest::UseEngine(ITrialEngine& engine) { MakeRun(engine); }

QWidget* CTest::Control(int id) const { return findChild<QWidget*>(QStringLiteral("ctl%1").arg(id)); }

void CTest::Enable(std::initializer_list<int> ids, bool enable)
{
    for (int id : ids)
        if (QWidget* w = Control(id))
            w->setEnabled(enable);
}

bool CTest::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && watched != this)
        OnKillFocusField();
    return QWidget::eventFilter(watched, event);
}

void CTest::hideEvent(QHideEvent* event)
{
    OnKillActive();
    QWidget::hideEvent(event);
}

void CTest::OnInitDialog()
{
    FillTestTypes();
    // A data file opened without a test type stays open: choosing one starts a new document.
    if (doc_->GetCurrentTestType() == -1 && testType_->count() > 0 && !doc_->fileLoaded) {
        filling_ = true;
        testType_->setCurrentIndex(0);
        filling_ = false;
        OnSelchangeTestType();
    }
    LoadSettings();
}

void CTest::FillTestTypes()
{
    filling_ = true;
    testType_->clear();
    for (const std::string& name : doc_->GetTestTypeNames())
        testType_->addItem(ToQ(name));
    testType_->setCurrentIndex(doc_->GetCurrentTestType());
    filling_ = false;
}

void CTest::LoadSettings()
{
    settings_.Load(*doc_);
    discard_->setEnabled(settings_.accumedTimes > 0);
    FillTestTypes();
    UpdateData(false);
    balanced_->setEnabled(settings_.isRandom);
    bool groups = settings_.isRandom && !settings_.isBalanced;
    groupSize_->setEnabled(groups);
    groupNumParam_->setEnabled(groups);
    // A merged document's settings and command list are not edited.
    if (doc_->IsMergeMode())
        Enable({IDC_SAVE, IDC_BROWSE_COMMANDS, IDC_USE_CUSTOM_ITEMS, IDC_PARAM_TO_CHANGE, IDC_BEGIN, IDC_END,
                IDC_STEP, IDC_CUSTOM_ITEMS},
               false);
}

void CTest::SaveSettings() { settings_.Save(*doc_); }

bool CTest::UpdateData(bool save)
{
    CTestSettings& s = settings_;
    if (save) {
        // Up to the first field refused, which keeps its old value and the focus.
        bool taken = true;
        auto text = [&](QLineEdit* e, std::string& value, const char* label) {
            taken = taken && Take(e, value, label);
        };
        auto number = [&](QLineEdit* e, auto& value, const char* label) {
            std::string typed;
            if (!taken || !Take(e, typed, label))
                taken = false;
            else if constexpr (std::is_same_v<std::decay_t<decltype(value)>, int>)
                value = ParseInt(typed);
            else
                value = static_cast<float>(ParseDouble(typed));
        };
        number(accumTimes_, s.accumTimes, "Accum Times");
        number(begin_, s.begin, "Begin");
        number(end_, s.end, "End");
        number(step_, s.step, "Step");
        text(customItems_, s.customItems, "Command File");
        text(param2Change_, s.param2Change, "Param to Test");
        text(ivFile_, s.ivFile, "Open Inventor File");
        text(taskFile_, s.taskFile, "Task File");
        number(groupSize_, s.commandGroupSize, "commands in a group");
        number(groupNumParam_, s.commandGroupNumParam, "parameters");
        s.isRandom = random_->isChecked();
        s.useCustomItems = useCustomItems_->isChecked();
        s.isBalanced = balanced_->isChecked();
        taken = taken && TakeField(*notesEdit_, notes_, "the notes");
        return taken;
    }
    // Filling the fields is no edit of the user's: no focus or change handling then.
    accumTimes_->setText(ToQ(FormatInt(s.accumTimes)));
    begin_->setText(ToQ(FormatG(s.begin)));
    end_->setText(ToQ(FormatG(s.end)));
    step_->setText(ToQ(FormatG(s.step)));
    customItems_->setText(ToQ(s.customItems));
    param2Change_->setText(ToQ(s.param2Change));
    ivFile_->setText(ToQ(s.ivFile));
    taskFile_->setText(ToQ(s.taskFile));
    groupSize_->setText(ToQ(FormatInt(s.commandGroupSize)));
    groupNumParam_->setText(ToQ(FormatInt(s.commandGroupNumParam)));
    random_->setChecked(s.isRandom);
    useCustomItems_->setChecked(s.useCustomItems);
    balanced_->setChecked(s.isBalanced);
    if (std::string shown; !FromQ(notesEdit_->toPlainText(), shown) || shown != notes_)
        notesEdit_->setPlainText(ToQ(notes_));
    return true;
}

void CTest::SetNotes(const std::string& notes)
{
    notes_ = notes;
    notesEdit_->setPlainText(ToQ(notes_));
}

void CTest::OnSelchangeTestType()
{
    int sel = testType_->currentIndex();
    if (sel == -1 || sel == doc_->GetCurrentTestType())
        return;
    if (!doc_->SetTestType(sel)) {
        filling_ = true;
        testType_->setCurrentIndex(doc_->GetCurrentTestType());
        filling_ = false;
        return;
    }
    Enable(kFileEnables, true);
    run_->commandListChanged = 1;
}

bool CTest::HasTestType()
{
    if (doc_->GetCurrentTestType() >= 0 && testType_->currentIndex() >= 0)
        return true;
    MessageBox(kNoTestType);
    return false;
}

// The set-up opens only for the new file or cell: a step that was cancelled (the save
// question, Save As) keeps the trials, which must stay with the set-up they were run with.
void CTest::OnNewFile()
{
    if (HasTestType() && doc_->SetTestType(testType_->currentIndex()))
        Enable(kFileEnables, true);
}

void CTest::OnNewCell()
{
    if (HasTestType() && doc_->NextCell())
        Enable(kFileEnables, true);
}

std::string CTest::OpenFile(const std::string& current, const char* filter)
{
    std::string path = current;
    return UI().AskOpenFile(path, filter) ? path : std::string();
}

void CTest::OnBrowseCommandFile()
{
    std::string path = settings_.customItems;
    if (!Take(customItems_, path, "Command File"))
        return;
    path = OpenFile(path, "Command File (*.oxq);;All Files (*.*)");
    if (path.empty())
        return;
    settings_.customItems = path;
    customItems_->setText(ToQ(path));
    SaveSettings();
}

void CTest::OnBrowseTaskFile()
{
    std::string path = settings_.taskFile;
    if (!Take(taskFile_, path, "Task File"))
        return;
    path = OpenFile(path, "Task File (*.c);;All Files (*.*)");
    if (path.empty())
        return;
    settings_.taskFile = path;
    taskFile_->setText(ToQ(path));
    SaveSettings();
}

void CTest::OnViewCommands()
{
    if (run_->commandListChanged) {
        if (!UpdateData(true))
            return;
        run_->commandListChanged = 0;
        run_->ReadCommandList(settings_);
    }
    CViewListDlg dialog(&doc_->commandLines, this);
    UI().RunModal(dialog);
}

bool CTest::IsValidTestName(const std::string& name)
{
    if (name.empty() || name.size() > kMaxTestNameLength)
        return false;
    auto letter = [](char c) { return isalpha(static_cast<unsigned char>(c)) || c == '_'; };
    if (!letter(name[0]))
        return false;
    for (char c : name)
        if (!letter(c) && !isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

void CTest::OnNewTest()
{
    CInputStringDlg dialog(this);
    if (UI().RunModal(dialog) != IDOK || dialog.IsEmpty())
        return;
    const std::string& name = dialog.GetString();
    if (!IsValidTestName(name)) {
        MessageBox(kNameRule);
        return;
    }
    // Test types are registry keys by name, and the registry ignores letter case.
    if (doc_->FindTestType(name) >= 0) {
        MessageBox("A test named \"" + doc_->GetTestTypeNames()[static_cast<size_t>(doc_->FindTestType(name))]
                   + "\" already exists.");
        return;
    }
    // The new type is selected as the list's switch selects one, and its set-up opens.
    if (doc_->AddTestType(name.c_str())) {
        FillTestTypes();
        Enable(kFileEnables, true);
        run_->commandListChanged = 1;
    }
}

void CTest::OnDeleteTest()
{
    int cur = doc_->GetCurrentTestType();
    if (cur < 0)
        return;
    if (MessageBox("Are you sure to delete this test setting?", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    int next;
    if (cur == testType_->count() - 1) {
        if (cur < 1) {
            MessageBox("Only one test setting. Can't delete.");
            return;
        }
        next = cur - 1;
    } else {
        next = cur + 1;
    }
    filling_ = true;
    testType_->setCurrentIndex(next);
    filling_ = false;
    OnSelchangeTestType();
    // The switch was refused (the user kept the document): the type stays.
    if (doc_->GetCurrentTestType() == cur)
        return;
    doc_->RemoveTestType(cur);
    FillTestTypes();
}

void CTest::OnReloadScene()
{
    if (!HasTestType() || !UpdateData(true))
        return;
    SaveSettings();
    doc_->ReloadScene();
}

void CTest::OnReloadTask()
{
    if (!UpdateData(true))
        return;
    SaveSettings();
    runner_.RequestReload();
}

void CTest::OnKillFocusField()
{
    if (run_->IsRunning() || doc_->testRunning || filling_)
        return;
    std::string scene = doc_->GetExpParam("IVFile", CParam(nullptr, "mytest.iv")).GetText();
    std::string task = doc_->GetExpParam("TaskFile", CParam(nullptr, "Task.c")).GetText();
    if (!UpdateData(true))
        return;
    SaveSettings();
    if (settings_.ivFile != scene)
        doc_->ReloadScene();
    else if (settings_.taskFile != task)
        runner_.RequestReload();
}

void CTest::OnKillActive() { OnKillFocusField(); }

void CTest::OnUseCommandFile()
{
    run_->commandListChanged = 1;
    OnKillFocusField();
}

void CTest::OnBalanced()
{
    UpdateData(true);
    groupSize_->setEnabled(!settings_.isBalanced);
    groupNumParam_->setEnabled(!settings_.isBalanced);
    OnKillFocusField();
}

void CTest::OnRandom()
{
    UpdateData(true);
    balanced_->setEnabled(settings_.isRandom);
    bool groups = settings_.isRandom && !settings_.isBalanced;
    groupSize_->setEnabled(groups);
    groupNumParam_->setEnabled(groups);
    OnKillFocusField();
}

void CTest::OnStart()
{
    if (!run_->IsRunning()) {
        // A run needs an enabled experiment.
        if (!run_->CanStart()) {
            MessageBox("The experiment is not enabled. Please switch it on with \"Enable\" first.");
            return;
        }
        if (run_->EndedWithin(kLateStopMs) || !UpdateData(true))
            return;
        SaveSettings();
    }
    run_->OnStart(settings_);
}

void CTest::OnRunning(bool running)
{
    start_->setText(running ? "&Stop" : "&Start");
    if (running) {
        Enable(kRunDisables, false);
        return;
    }
    Enable(kRunEnables, true);
    // The main loop takes up its passes again.
    runner_.SetRunFlag(runner_.GetRunFlag());
}

void CTest::OnFinished(bool discard, bool save)
{
    discard_->setEnabled(discard);
    if (save)
        save_->setEnabled(true);
    UI().Beep();
    // The panel comes to the front with this page, so the experimenter sees the run is over.
    if (auto* panel = qobject_cast<CControlPanel*>(window())) {
        panel->setVisible(true);
        panel->Tabs()->setCurrentIndex(CControlPanel::PAGE_TEST);
    }
}

void CTest::OnCancel()
{
    if (run_->Discard())
        save_->setEnabled(true);
    // Nothing is left to discard once no repeat is counted.
    discard_->setEnabled(doc_->GetExpParam("AccumedTimes", CParam(nullptr, 0)).GetInt() > 0);
}

void CTest::OnSave()
{
    // The notes go into the file: a letter they cannot keep is mended first.
    if (!UpdateData(true))
        return;
    doc_->notes = notes_;
    // Data files are written through a temporary file: a failed save leaves the previous
    // copy as it was, so nothing is removed here.
    if (doc_->dataFilePath.empty()) {
        MessageBox("Warning: failed to save file\nThe document has no data file name yet: choose a test type "
                   "(and a data folder that exists).");
        return;
    }
    if (doc_->SaveDataFile()) {
        save_->setEnabled(false);
        // The save made the data file the document's file: it goes on File's recent-file list.
        if (doc_->hooks.addRecentFile)
            doc_->hooks.addRecentFile(doc_->GetPathName());
        return;
    }
    MessageBox("Warning: failed to save file");
}

} // namespace orvix
