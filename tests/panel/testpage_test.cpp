// The Test page driven through its controls, with a scripted task engine (and, for long
// runs, the task runner with the simulated subject).
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <filesystem>

#include "app/filedialogs.h"
#include "model/inputstringdlg.h"
#include "panel/logpages.h"
#include "panel/testpage.h"
#include "panel_fixture.h"
#include "platform/devices/serialport.h"
#include "platform/devices/simsubject.h"
#include "platform/runtime/clock.h"
#include "tests/runner/run_fixture.h"

using namespace orvix;

class TestPageTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        orIndex = AddGraph("OR", "7");
        page = Panel()->TestPage();
        page->UseEngine(engine);
        page->Run().pump = [this](int) {
            if (onPump)
                onPump();
            return true;
        };
    }
    QPushButton* Button(int id) { return Control<QPushButton>(page, id); }
    QLineEdit* Edit(int id) { return Control<QLineEdit>(page, id); }
    QCheckBox* Check(int id) { return Control<QCheckBox>(page, id); }
    QComboBox* Combo() { return Control<QComboBox>(page, CTest::IDC_TEST_TYPE); }
    void Type(int id, const std::string& text)
    {
        Edit(id)->setText(QString::fromLatin1(text.c_str()));
        page->OnKillFocusField();
    }
    // Three conditions of OR from a command file, list order, two repeats.
    void SetUpListRun()
    {
        std::string path = dir + "/or.oxq";
        orvix_test::WriteFile(path, "OR 0\nOR 45\nOR 90\n");
        if (!Check(CTest::IDC_USE_CUSTOM_ITEMS)->isChecked())
            Check(CTest::IDC_USE_CUSTOM_ITEMS)->click();
        if (Check(CTest::IDC_RANDOM)->isChecked())
            Check(CTest::IDC_RANDOM)->click();
        Type(CTest::IDC_CUSTOM_ITEMS, path);
        Type(CTest::IDC_ACCUM_TIMES, "2");
    }
    // Answers the next "Input a string" dialog with this text.
    void AnswerName(const std::string& name)
    {
        ui.onModal = [name](QDialog& d) {
            auto* dlg = dynamic_cast<CInputStringDlg*>(&d);
            if (!dlg)
                return static_cast<int>(IDCANCEL);
            dlg->Edit()->setText(QString::fromLatin1(name.c_str()));
            dlg->accept();
            return static_cast<int>(IDOK);
        };
    }
    std::vector<std::string> ComboItems()
    {
        std::vector<std::string> out;
        for (int i = 0; i < Combo()->count(); ++i)
            out.push_back(Combo()->itemText(i).toLatin1().toStdString());
        return out;
    }

    CTest* page = nullptr;
    orvix_test::CScriptedEngine engine;
    std::function<void()> onPump;
    int orIndex = -1;
};

TEST_F(TestPageTest, TheTestPageIsThePanelsFirstTab)
{
    QTabWidget* tabs = Panel()->Tabs();
    ASSERT_EQ(tabs->count(), 8);
    EXPECT_EQ(tabs->widget(0), page);
    EXPECT_EQ(tabs->tabText(0), "Test");
    EXPECT_EQ(tabs->tabText(1), "GraphParam");
    EXPECT_EQ(tabs->tabText(7), "Play back");
    // A new page shows the stored settings with their defaults.
    EXPECT_EQ(Edit(CTest::IDC_ACCUM_TIMES)->text(), "1000");
    EXPECT_EQ(Edit(CTest::IDC_IV_FILE)->text(), "mytest.iv");
    EXPECT_TRUE(Check(CTest::IDC_RANDOM)->isChecked());
    EXPECT_FALSE(Button(CTest::IDC_DISCARD)->isEnabled());
}

TEST_F(TestPageTest, StartRunsTheTestAndTheControlsFollowTheRun)
{
    SetUpListRun();
    std::vector<std::string> buttonTexts;
    bool comboEnabledDuringRun = true;
    onPump = [&] {
        buttonTexts.push_back(Button(CTest::IDC_START)->text().toStdString());
        comboEnabledDuringRun = comboEnabledDuringRun && Combo()->isEnabled();
    };
    Button(CTest::IDC_START)->click();
    EXPECT_EQ(doc->GetTrialCount(), 6);
    EXPECT_EQ(doc->GetExpParam("AccumedTimes", CParam()).GetInt(), 2);
    ASSERT_FALSE(buttonTexts.empty());
    EXPECT_EQ(buttonTexts.front(), "&Stop");
    EXPECT_FALSE(comboEnabledDuringRun);
    EXPECT_EQ(Button(CTest::IDC_START)->text(), "&Start");
    EXPECT_TRUE(Combo()->isEnabled());
    EXPECT_TRUE(Button(CTest::IDC_DISCARD)->isEnabled());
    EXPECT_TRUE(Button(CTest::IDC_SAVE)->isEnabled());
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(Panel()->Tabs()->currentIndex(), 0);
    std::vector<orvix_test::Sent> expected;
    for (const char* v : {"0", "45", "90", "0", "45", "90", "7"})
        expected.push_back({orIndex, v, false});
    EXPECT_EQ(sent, expected);

    // Discard takes one repeat at a time, and none once none is counted.
    Button(CTest::IDC_DISCARD)->click();
    EXPECT_EQ(doc->GetTrialCount(), 3);
    EXPECT_TRUE(Button(CTest::IDC_DISCARD)->isEnabled());
    Button(CTest::IDC_DISCARD)->click();
    EXPECT_EQ(doc->GetTrialCount(), 0);
    EXPECT_EQ(doc->GetExpParam("AccumedTimes", CParam()).GetInt(), 0);
    EXPECT_FALSE(Button(CTest::IDC_DISCARD)->isEnabled());

    // The run locked the set-up; New Test opens it again, as choosing a type does.
    const int setUp[] = {CTest::IDC_USE_CUSTOM_ITEMS, CTest::IDC_PARAM_TO_CHANGE, CTest::IDC_BEGIN, CTest::IDC_END,
                         CTest::IDC_STEP, CTest::IDC_BROWSE_COMMANDS, CTest::IDC_BROWSE_TASK, CTest::IDC_IV_FILE,
                         CTest::IDC_TASK_FILE};
    EXPECT_FALSE(Control<QWidget>(page, CTest::IDC_BEGIN)->isEnabled());
    ui.answers = {IDNO};
    AnswerName("Orient");
    Button(CTest::IDC_NEW_TEST)->click();
    for (int id : setUp)
        EXPECT_TRUE(Control<QWidget>(page, id)->isEnabled()) << id;
}

// A New File or New Cell whose save question or Save As is cancelled keeps the run's trials
// and its locked set-up. Without a test type the steps say how to go on.
TEST_F(TestPageTest, TheSetUpOpensOnlyForANewFileOrCell)
{
    Button(CTest::IDC_RELOAD_SCENE)->click();
    EXPECT_NE(ui.Texts().back().find("press \"New Test\""), std::string::npos);
    AnswerName("Orient");
    Button(CTest::IDC_NEW_TEST)->click();
    SetUpListRun();
    Button(CTest::IDC_START)->click();
    ui.answers = {IDYES, IDCANCEL}; // New File: Yes, then Save As is cancelled; New Cell: Cancel
    Button(CTest::IDC_NEW_FILE)->click();
    Button(CTest::IDC_NEW_CELL)->click();
    EXPECT_EQ(doc->GetTrialCount(), 6);
    EXPECT_FALSE(Edit(CTest::IDC_BEGIN)->isEnabled());
    ui.answers = {IDNO};
    Button(CTest::IDC_NEW_CELL)->click();
    EXPECT_TRUE(Edit(CTest::IDC_BEGIN)->isEnabled());
}

TEST_F(TestPageTest, StopButtonEndsTheRunAndDisabledExperimentStartsNothing)
{
    SetUpListRun();
    onPump = [&] {
        if (doc->GetTrialCount() == 2 && page->Run().IsRunning())
            Button(CTest::IDC_START)->click();
    };
    Button(CTest::IDC_START)->click();
    EXPECT_EQ(doc->GetTrialCount(), 2);
    EXPECT_EQ(doc->testRunning, 0);
    EXPECT_EQ(Button(CTest::IDC_START)->text(), "&Start");

    // Start with the experiment switched off runs nothing and says why.
    engine.runFlag = 0;
    Type(CTest::IDC_ACCUM_TIMES, "5");
    Button(CTest::IDC_START)->click();
    EXPECT_EQ(doc->GetTrialCount(), 2);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{
                              "The experiment is not enabled. Please switch it on with \"Enable\" first."});
}

TEST_F(TestPageTest, SweepCommandsAreShownByView)
{
    if (Check(CTest::IDC_USE_CUSTOM_ITEMS)->isChecked())
        Check(CTest::IDC_USE_CUSTOM_ITEMS)->click();
    Type(CTest::IDC_PARAM_TO_CHANGE, "Contrast");
    Type(CTest::IDC_BEGIN, "0");
    Type(CTest::IDC_END, "1");
    Type(CTest::IDC_STEP, "0.5");
    std::vector<std::string> shown;
    ui.onModal = [&](QDialog& d) {
        if (auto* list = dynamic_cast<CViewListDlg*>(&d))
            shown = Lines(list->List());
        return static_cast<int>(IDOK);
    };
    Button(CTest::IDC_VIEW_COMMANDS)->click();
    EXPECT_EQ(shown, (std::vector<std::string>{"001: Contrast 0", "002: Contrast 0.5", "003: Contrast 1"}));
    EXPECT_EQ(doc->GetExpParam("Step", CParam()).GetText(), "0.5");

    // A sweep that never reaches End is refused with a message.
    Type(CTest::IDC_STEP, "-0.5");
    Button(CTest::IDC_VIEW_COMMANDS)->click();
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{
                              "The sweep never reaches End: the Step must lead from Begin towards End."}));
}

TEST_F(TestPageTest, NewTestNames)
{
    AnswerName("a_1");
    Button(CTest::IDC_NEW_TEST)->click();
    EXPECT_EQ(ComboItems(), (std::vector<std::string>{"a_1"}));
    EXPECT_EQ(Combo()->currentIndex(), 0);

    const std::string rule = "Test name should begin with an alphabetic character or underscore.\n"
                             "Rest of the characters can also be numbers.\nMax length of the name is 24 characters.";
    for (const std::string& bad : std::vector<std::string>{"1a", "a-b", std::string(25, 'x')}) {
        AnswerName(bad);
        Button(CTest::IDC_NEW_TEST)->click();
        EXPECT_EQ(ui.messages.back().text, rule) << bad;
    }
    AnswerName("A_1");
    Button(CTest::IDC_NEW_TEST)->click();
    EXPECT_EQ(ui.messages.back().text, "A test named \"a_1\" already exists.");
    EXPECT_EQ(ui.messages.size(), 4u);
    AnswerName(std::string(24, 'y'));
    Button(CTest::IDC_NEW_TEST)->click();
    EXPECT_EQ(ComboItems(), (std::vector<std::string>{"a_1", std::string(24, 'y')}));
    EXPECT_EQ(doc->GetCurrentTestType(), 1);
}

TEST_F(TestPageTest, DeleteTestAndRefusedSwitches)
{
    for (const char* name : {"A", "B", "C"}) {
        AnswerName(name);
        Button(CTest::IDC_NEW_TEST)->click();
    }
    ASSERT_EQ(doc->GetCurrentTestType(), 2);

    // Choosing a type in the list switches the document.
    Combo()->setCurrentIndex(0);
    EXPECT_EQ(doc->GetCurrentTestType(), 0);

    // A modified document whose save question is cancelled keeps its type: the list goes
    // back, and Delete Test changes nothing.
    doc->SetModifiedFlag(true);
    ui.answers = {IDCANCEL};
    Combo()->setCurrentIndex(1);
    EXPECT_EQ(doc->GetCurrentTestType(), 0);
    EXPECT_EQ(Combo()->currentIndex(), 0);
    ui.answers = {IDYES, IDCANCEL};
    Button(CTest::IDC_DELETE_TEST)->click();
    EXPECT_EQ(ComboItems(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(doc->GetTestTypeNames(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(doc->GetCurrentTestType(), 0);

    // Deleting the first type moves to the next one.
    doc->SetModifiedFlag(false);
    ui.answers = {IDYES};
    Button(CTest::IDC_DELETE_TEST)->click();
    EXPECT_EQ(ComboItems(), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(doc->GetTestTypeName(), "B");
    EXPECT_EQ(Combo()->currentIndex(), 0);
    // The last one moves to the one before; No keeps it.
    Combo()->setCurrentIndex(1);
    ui.answers = {IDNO};
    Button(CTest::IDC_DELETE_TEST)->click();
    EXPECT_EQ(doc->GetTestTypeCount(), 2);
    ui.answers = {IDYES};
    Button(CTest::IDC_DELETE_TEST)->click();
    EXPECT_EQ(ComboItems(), (std::vector<std::string>{"B"}));
    ui.answers = {IDYES};
    Button(CTest::IDC_DELETE_TEST)->click();
    EXPECT_EQ(ui.messages.back().text, "Only one test setting. Can't delete.");
    EXPECT_EQ(doc->GetTestTypeCount(), 1);
    EXPECT_EQ(ui.messages[0].text, "Save changes to Untitled?");
    EXPECT_EQ(ui.messages[1].text, "Are you sure to delete this test setting?");
}

TEST_F(TestPageTest, OrderChecksEnableTheirFields)
{
    QWidget* balanced = Check(CTest::IDC_BALANCED);
    QWidget* size = Edit(CTest::IDC_GROUP_SIZE);
    if (!Check(CTest::IDC_RANDOM)->isChecked())
        Check(CTest::IDC_RANDOM)->click();
    if (!Check(CTest::IDC_BALANCED)->isChecked())
        Check(CTest::IDC_BALANCED)->click();
    EXPECT_TRUE(balanced->isEnabled());
    EXPECT_FALSE(size->isEnabled());
    Check(CTest::IDC_BALANCED)->click();
    EXPECT_TRUE(size->isEnabled());
    EXPECT_EQ(doc->GetExpParam("IsBalanced", CParam()).GetInt(), 0);
    Check(CTest::IDC_RANDOM)->click();
    EXPECT_FALSE(balanced->isEnabled());
    EXPECT_FALSE(size->isEnabled());
    EXPECT_EQ(doc->GetExpParam("IsRandom", CParam()).GetInt(), 0);
}

TEST_F(TestPageTest, NotesAndSave)
{
    doc->notes = "old";
    Panel()->SetNotes("cell looked good");
    auto* notes = Control<QPlainTextEdit>(page, CTest::IDC_NOTES);
    EXPECT_EQ(notes->toPlainText(), "cell looked good");

    std::vector<std::string> recent;
    doc->hooks.addRecentFile = [&](const std::string& file) { recent.push_back(file); };
    // No data file named yet: the warning says so.
    Button(CTest::IDC_SAVE)->click();
    EXPECT_EQ(ui.Texts().back().rfind("Warning: failed to save file\nThe document has no data file name yet", 0), 0u)
        << ui.Texts().back();

    std::string path = dir + "/saved.oxv";
    doc->dataFilePath = path;
    notes->setPlainText("second cell");
    Button(CTest::IDC_SAVE)->setEnabled(true);
    Button(CTest::IDC_SAVE)->click();
    EXPECT_EQ(doc->notes, "second cell");
    EXPECT_FALSE(Button(CTest::IDC_SAVE)->isEnabled());
    EXPECT_EQ(doc->GetPathName(), path);
    EXPECT_EQ(recent, std::vector<std::string>{path}); // on File's recent-file list
    EXPECT_FALSE(orvix_test::ReadFile(path).empty());
    // A new document clears the page's notes too.
    doc->OnNewDocument();
    EXPECT_EQ(notes->toPlainText(), "");
}

// Browse opens where the file named in its box lies, with that file selected (a relative
// name in the working folder, the "c:\\..." form where it maps to), and the box takes the file
// chosen.
TEST_F(TestPageTest, BrowseOpensAtTheFileInItsBox)
{
    const std::string work = dir + "/work", task = dir + "/drives/c/orvix/task";
    std::filesystem::create_directories(task);
    std::filesystem::create_directories(work);
    orvix_test::WriteFile(work + "/mytest.oxq", "OR 0\n");
    orvix_test::WriteFile(task + "/Task.c", "");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(work);
    std::string startedIn, selected;
    ui.onAskOpenFile = [](std::string& path, const std::string& f) { return AskExistingFile(nullptr, path, f); };
    ui.onModal = [&](QDialog& d) {
        startedIn = dynamic_cast<QFileDialog&>(d).directory().absolutePath().toStdString();
        selected = dynamic_cast<QFileDialog&>(d).selectedFiles().value(0).toStdString();
        if (std::filesystem::exists(selected))
            d.accept();
        return static_cast<int>(d.result() == QDialog::Accepted ? IDOK : IDCANCEL);
    };
    using Case = std::tuple<int, int, const char*, std::string, const char*>;
    for (auto [edit, browse, text, folder, file] :
         {Case{CTest::IDC_CUSTOM_ITEMS, CTest::IDC_BROWSE_COMMANDS, "mytest.oxq", work, "/mytest.oxq"},
          Case{CTest::IDC_TASK_FILE, CTest::IDC_BROWSE_TASK, "c:\\orvix\\task\\Task.c", task, "/Task.c"}}) {
        Type(edit, text);
        Button(browse)->setEnabled(true);
        Button(browse)->click();
        EXPECT_EQ(startedIn, folder) << text;
        EXPECT_EQ(selected, folder + file);
        EXPECT_EQ(Edit(edit)->text().toStdString(), folder + file);
    }
    std::filesystem::current_path(cwd);
}

namespace {

// A task of a few milliseconds a trial: the fixation point on, then off, and the trial ends.
const char* const kShortTask = R"(int tStart;
int TaskEntry()
{
    if (nTaskState == ITI) {
        if (nCurrentTime - tStart >= 1) { TurnOnTarget(); tStart = nCurrentTime; nTaskState = FOREP; }
    } else if (nTaskState == FOREP) {
        if (nCurrentTime - tStart >= 2) { TurnOffTarget(); tStart = nCurrentTime; nTaskState = ITI; return TRIAL_END; }
    }
    return TRIAL_CONTINUE;
}
)";

} // namespace

// Long runs through the task runner with the simulated subject on the fake clock (1 ms a
// pass). Stop ends the run with the trial in progress after thousands of trials, and a
// Stop that comes just after the run ended by itself does not start another run.
TEST_F(PanelTest, StopEndsALongRunWithTheTrialInProgress)
{
    constexpr int kTrials = 2000;
    // The subject answers on the simulated board; the eye tracker follows its gaze.
    CSimulatedSubject subject(CSimulatedSubject::Settings(), 7, {}, false);
    for (const char* name : {"RESET", "TARGET", "FIGURE", "TPOSH", "TPOSV", "OR"})
        AddGraph(name, "0");
    setenv("ORVIX_RENDERER_PORT", "1", 1); // nobody listens: the renderer is marked running below
    doc->GetBehavParam("SGI", CParam(nullptr, "127.0.0.1"));
    doc->GetBehavParam("SerialPort", CParam(nullptr, kSimulatedSerialPort));
    deviceIO.SetAnalogLibraryName("orvix-no-such-library");
    deviceIO.Open(doc.get());
    deviceIO.SetRendererRunningForTest(true);
    experiment.FeedSimulators(&subject);
    std::string task = dir + "/short.c";
    orvix_test::WriteFile(task, kShortTask);

    CTest* page = Panel()->TestPage();
    std::function<void()> onPump;
    page->Run().pump = [&](int) {
        clock.AdvanceMs(1);
        subject.Tick(TickMs());
        if (onPump)
            onPump();
        return true;
    };
    auto start = page->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(CTest::IDC_START));

    struct Case {
        const char* name;
        int accumTimes;     // trials of the one-line sweep
        bool stopDuringRun; // else Stop comes right after the run's own end
    } cases[] = {{"stop after 2000 of 3000 trials", 3000, true},
                 {"stop just after a run of 2000 trials ended", kTrials, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTestSettings s;
        s.Load(*doc);
        s.useCustomItems = 0;
        s.isRandom = 0;
        s.param2Change = "OR";
        s.begin = s.end = s.step = 0;
        s.accumTimes = c.accumTimes;
        s.taskFile = task;
        s.Save(*doc);
        page->LoadSettings();
        experiment.runner.LoadParameters(doc.get());
        ASSERT_TRUE(experiment.runner.HasProgram());
        experiment.runner.SetRunFlag(1);
        clock.AdvanceMs(5000); // well after the previous run

        const int before = doc->GetTrialCount();
        uint32_t stopAt = 0;
        onPump = [&] {
            if (c.stopDuringRun && !stopAt && doc->GetTrialCount() - before >= kTrials) {
                stopAt = TickMs();
                start->click();
            }
        };
        start->click();
        if (!c.stopDuringRun) {
            ASSERT_FALSE(page->Run().IsRunning());
            stopAt = TickMs();
            start->click();
        }
        onPump = nullptr;
        EXPECT_FALSE(page->Run().IsRunning());
        EXPECT_EQ(doc->testRunning, 0);
        EXPECT_EQ(doc->GetTrialCount() - before, kTrials);
        EXPECT_LE(TickMs() - stopAt, 1000u);
        EXPECT_EQ(start->text(), "&Start");
    }
    deviceIO.onCommandSent = nullptr;
    deviceIO.Close();
    unsetenv("ORVIX_RENDERER_PORT");
}
