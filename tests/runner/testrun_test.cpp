// The test run without a window: trial order, outcomes, repeats counted, commands sent.
#include <QCoreApplication>
#include <QMouseEvent>

#include "run_fixture.h"

using namespace orvix;
using orvix_test::Command;
using Pairs = std::vector<std::pair<int, int>>;

namespace {
std::vector<Command> ConditionCommands(int orIndex, int sizeIndex, std::initializer_list<int> conditions)
{
    const char* ors[] = {"0", "45", "90"};
    const char* sizes[] = {"1", "2", "3"};
    std::vector<Command> out;
    for (int c : conditions) {
        out.push_back({orIndex, ors[c]});
        out.push_back({sizeIndex, sizes[c]});
    }
    return out;
}
} // namespace

TEST_F(RunTest, ListOrderRunsEveryConditionOncePerRepeat)
{
    UseThreeConditions(2, 0);
    Start();
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}));
    EXPECT_EQ(Accumed(), 2);
    auto expected = ConditionCommands(orIndex, sizeIndex, {0, 1, 2, 0, 1, 2});
    // The values from before the run come back at its end.
    expected.push_back({orIndex, "7"});
    expected.push_back({sizeIndex, "2.0"});
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(doc->GetGraphParam(orIndex).GetText(), "7");
    EXPECT_EQ(runningCalls, (std::vector<bool>{true, false}));
    EXPECT_EQ(finished, (std::vector<std::pair<bool, bool>>{{true, true}}));
    EXPECT_EQ(engine.figureCalls,
              (std::vector<std::string>{"TurnOffFig", "TurnOffTarget", "TurnOnFig", "TurnOffTarget"}));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->testRunning, 0);
    EXPECT_FALSE(run->IsRunning());
    EXPECT_EQ(engine.pending, nullptr);
    EXPECT_EQ(doc->trialTable.GetRowCount(), 6);
    // Each stored trial is shown with hint 2; the end of the run shows all again.
    ASSERT_EQ(views.hints.size(), 7u);
    EXPECT_EQ(views.hints[0].object, doc->GetTrial(0));
    EXPECT_EQ(views.hints[6].hint, HINT_TRIAL_ADDED);
    EXPECT_EQ(views.hints[6].object, nullptr);

    // A second run continues the repeat numbers.
    sent.clear();
    Start();
    EXPECT_EQ(doc->GetTrialCount(), 12);
    EXPECT_EQ(Trials()[6], std::make_pair(0, 2));
    EXPECT_EQ(Trials()[11], std::make_pair(2, 3));
    EXPECT_EQ(Accumed(), 4);
}

TEST_F(RunTest, ListOrderRepeatStoresAndRepeatsFailOnlyRepeats)
{
    UseThreeConditions(1, 0);
    engine.outcomes = {TRIAL_END, TRIAL_REPEAT, TRIAL_END, TRIAL_FAIL, TRIAL_END};
    Start();
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {1, 0}, {1, 0}, {2, 0}}));
    EXPECT_EQ(doc->GetTrial(1)->activeChannels, 0);    // the repeated trial
    EXPECT_EQ(doc->GetTrial(2)->activeChannels, 0x0F);
    EXPECT_EQ(Accumed(), 1);
    auto expected = ConditionCommands(orIndex, sizeIndex, {0, 1, 1, 2, 2});
    expected.push_back({orIndex, "7"});
    expected.push_back({sizeIndex, "2.0"});
    EXPECT_EQ(sent, expected);
    // The failed attempt is shown as an update without a trial.
    int withoutTrial = 0;
    for (auto& h : views.hints)
        withoutTrial += h.hint == HINT_TRIAL_ADDED && !h.object;
    EXPECT_EQ(withoutTrial, 2);
}

TEST_F(RunTest, RandomOrdersFollowTheSeededGenerator)
{
    // Worked out from state = state * 214013 + 2531011, index = floor(r * m / 32768).
    UseThreeConditions(2, 1);
    run->seed = 1;
    Start();
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {2, 0}, {1, 0}, {2, 1}, {1, 1}, {0, 1}}));
    EXPECT_EQ(Accumed(), 2);
    auto expected = ConditionCommands(orIndex, sizeIndex, {0, 2, 1, 2, 1, 0});
    expected.push_back({orIndex, "7"});
    expected.push_back({sizeIndex, "2.0"});
    EXPECT_EQ(sent, expected);

    // Plain random: all repeats in one pool; repeat numbers go on from AccumedTimes.
    settings.isBalanced = 0;
    settings.Save(*doc);
    Start();
    Pairs all = Trials();
    EXPECT_EQ(Pairs(all.begin() + 6, all.end()), (Pairs{{0, 2}, {0, 3}, {1, 2}, {2, 2}, {1, 3}, {2, 3}}));
    EXPECT_EQ(Accumed(), 4);
}

TEST_F(RunTest, RandomOrderFailAndRepeatKeepTheConditionInTheBlock)
{
    UseThreeConditions(2, 1);
    run->seed = 1;
    engine.outcomes = {TRIAL_END, TRIAL_FAIL};
    Start();
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {1, 0}, {2, 0}, {1, 1}, {0, 1}, {2, 1}}));
    EXPECT_EQ(Accumed(), 2);

    doc->OnNewDocument();
    engine.outcomes = {TRIAL_END, TRIAL_REPEAT};
    Start();
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {2, 0}, {1, 0}, {2, 0}, {1, 1}, {0, 1}, {2, 1}}));
    EXPECT_EQ(doc->GetTrial(1)->activeChannels, 0);
    EXPECT_EQ(Accumed(), 2);
}

TEST_F(RunTest, StopEndsTheRunAndCountsWhatWasDone)
{
    UseThreeConditions(2, 1);
    run->seed = 1;
    // Stop pressed during the fifth trial.
    onPump = [this] {
        if (doc->GetTrialCount() == 4 && run->IsRunning())
            Start();
        return true;
    };
    Start();
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {2, 0}, {1, 0}, {2, 1}}));
    // The largest per-condition count: condition 2 has had two.
    EXPECT_EQ(Accumed(), 2);
    EXPECT_GE(engine.endTrialCalls, 1);
    EXPECT_EQ(engine.pending, nullptr);
    EXPECT_EQ(doc->testRunning, 0);

    // In list order each pass begun counts.
    doc->OnNewDocument();
    settings.isRandom = 0;
    settings.Save(*doc);
    Start();
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {1, 0}, {2, 0}, {0, 1}}));
    EXPECT_EQ(Accumed(), 2);
}

TEST_F(RunTest, StartNeedsAnEnabledExperimentAndCommands)
{
    UseThreeConditions(1, 0);
    engine.runFlag = 0;
    Start();
    EXPECT_EQ(doc->GetTrialCount(), 0);
    EXPECT_TRUE(runningCalls.empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(engine.steps, 0);

    engine.runFlag = 1;
    settings.customItems = WriteCommandFile("# only a comment\n\n   \n");
    settings.Save(*doc);
    Start();
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{
                              "There are no stimulus commands to run.\nPlease check the command file or the "
                              "parameter to test."}));
    EXPECT_EQ(doc->testRunning, 0);
    EXPECT_TRUE(runningCalls.empty());
    EXPECT_EQ(Accumed(), 0);
}

TEST_F(RunTest, CommandListFailuresStopTheStart)
{
    // A list from before stays no longer than its file.
    doc->commandLines = {"OR 1"};
    doc->ParseCommandFile(kNoAngleOffset);
    settings.useCustomItems = 1;
    settings.customItems = dir + "/none.oxq";
    settings.Save(*doc);
    Start();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Can't open command file: \"" + dir + "/none.oxq\"");
    EXPECT_EQ(run->commandListChanged, 1);
    EXPECT_EQ(doc->GetCommandCount(), 0);
    EXPECT_EQ(doc->GetCommandRowCount(), 0);

    // A sweep that walks away from End is refused before anything runs.
    settings.useCustomItems = 0;
    settings.param2Change = "OR";
    settings.begin = 0;
    settings.end = 1;
    settings.step = -0.5f;
    Start();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "The sweep never reaches End: the Step must lead from Begin towards End.");
    EXPECT_EQ(engine.steps, 0);
    EXPECT_EQ(doc->testRunning, 0);

    // Rows that disagree: the document says so and nothing runs.
    settings.useCustomItems = 1;
    settings.customItems = WriteCommandFile("OR 1, SIZE 2\nSIZE 2, OR 1\n");
    Start();
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[2].text,
              "Command file format error!\nParameters in every command should be in the same order.");
    EXPECT_EQ(engine.steps, 0);
    EXPECT_EQ(doc->testRunning, 0);
}

TEST_F(RunTest, AnExceptionLeavesThePageIdle)
{
    UseThreeConditions(1, 0);
    engine.onPass = [](int pass) {
        if (pass == 3)
            throw std::runtime_error("Disk full");
    };
    Start();
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Disk full"}));
    EXPECT_EQ(runningCalls, (std::vector<bool>{true, false}));
    EXPECT_FALSE(run->IsRunning());
    EXPECT_EQ(doc->testRunning, 0);
    EXPECT_EQ(engine.pending, nullptr);

    engine.onPass = [](int pass) {
        if (pass == 5)
            throw 42;
    };
    Start();
    EXPECT_EQ(ui.Texts().back(), "Something wrong. Exception captured!");
    EXPECT_FALSE(run->IsRunning());
    EXPECT_EQ(doc->testRunning, 0);
}

TEST_F(RunTest, QuitAndPause)
{
    UseThreeConditions(1, 0);
    onPump = [] { return false; }; // the program is asked to quit
    Start();
    EXPECT_TRUE(run->QuitRequested());
    EXPECT_EQ(doc->GetTrialCount(), 0);
    EXPECT_FALSE(run->IsRunning());
    EXPECT_EQ(Accumed(), 1); // the pass that was cut short

    // Switched off during a trial: the run waits, and the attempt is made again.
    int paused = 0;
    bool switchedOff = false;
    engine.onPass = [this, &switchedOff](int) {
        if (!switchedOff)
            engine.runFlag = 0;
        switchedOff = true;
    };
    onPump = [this, &paused] {
        if (engine.runFlag == 0 && ++paused == 3)
            engine.runFlag = 1;
        return true;
    };
    Start();
    EXPECT_FALSE(run->QuitRequested());
    EXPECT_EQ(paused, 3);
    EXPECT_EQ(Trials(), (Pairs{{0, 1}, {1, 1}, {2, 1}}));
}

TEST_F(RunTest, BehaviourParametersChangeAndComeBackUnknownNamesAreIgnored)
{
    settings.useCustomItems = 1;
    settings.customItems = WriteCommandFile("OR 10, Speed 3, Foo 1\nOR 20, Speed 4, Foo 2\n");
    settings.accumTimes = 1;
    settings.isRandom = 0;
    settings.Save(*doc);
    std::vector<std::string> speeds;
    engine.onPass = [this, &speeds](int) { speeds.push_back(doc->GetBehavParam(speedIndex).GetText()); };
    Start();
    EXPECT_EQ(speeds, (std::vector<std::string>{"3", "3", "4", "4"}));
    EXPECT_EQ(doc->GetBehavParam(speedIndex).GetText(), "10");
    EXPECT_EQ(doc->FindBehavParam("Foo", false, CParam()), -1);
    EXPECT_EQ(doc->FindGraphParam("Foo"), -1);
    EXPECT_EQ(sent, (std::vector<Command>{{orIndex, "10"}, {orIndex, "20"}, {orIndex, "7"}}));
}

TEST_F(RunTest, DiscardTakesTheLastRepeatAndNeverEverything)
{
    UseThreeConditions(2, 0);
    Start();
    ASSERT_EQ(doc->GetTrialCount(), 6);
    doc->SetModifiedFlag(false);
    EXPECT_TRUE(run->Discard());
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {1, 0}, {2, 0}}));
    EXPECT_EQ(doc->trialTable.GetRowCount(), 3);
    EXPECT_EQ(Accumed(), 1);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(run->Discard());
    EXPECT_EQ(doc->GetTrialCount(), 0);
    EXPECT_EQ(Accumed(), 0);
    EXPECT_FALSE(run->Discard());

    // Trials recorded without a whole repeat (every attempt repeated, then Stop): nothing
    // is counted, and Discard does not take them all.
    settings.isRandom = 1;
    settings.Save(*doc);
    run->seed = 1;
    engine.outcomes = {TRIAL_REPEAT, TRIAL_REPEAT, TRIAL_REPEAT};
    onPump = [this] {
        if (doc->GetTrialCount() == 3 && run->IsRunning())
            Start();
        return true;
    };
    Start();
    EXPECT_EQ(doc->GetTrialCount(), 3);
    EXPECT_EQ(Accumed(), 0);
    EXPECT_EQ(finished.back(), std::make_pair(false, false));
    EXPECT_FALSE(run->Discard());
    EXPECT_EQ(doc->GetTrialCount(), 3);
}

TEST(SweepTest, LinesOfASweep)
{
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(SweepLines("P", 0, 1, 0.25f, lines, error));
    EXPECT_EQ(lines, (std::vector<std::string>{"P 0", "P 0.25", "P 0.5", "P 0.75", "P 1"}));
    ASSERT_TRUE(SweepLines("P", 1, 0, -0.5f, lines, error));
    EXPECT_EQ(lines, (std::vector<std::string>{"P 1", "P 0.5", "P 0"}));
    ASSERT_TRUE(SweepLines("P", 3, 9, 0, lines, error));
    EXPECT_EQ(lines, (std::vector<std::string>{"P 3"}));
    ASSERT_TRUE(SweepLines("Contrast", 10, 20, 15, lines, error));
    EXPECT_EQ(lines, (std::vector<std::string>{"Contrast 10"}));
    ASSERT_TRUE(SweepLines("P", -1.5f, -1.5f, 1, lines, error));
    EXPECT_EQ(lines, (std::vector<std::string>{"P -1.5"}));

    EXPECT_FALSE(SweepLines("P", 0, 1, -0.5f, lines, error));
    EXPECT_FALSE(SweepLines("P", 1, 0, 0.5f, lines, error));
    EXPECT_EQ(error, "The sweep never reaches End: the Step must lead from Begin towards End.");
    EXPECT_FALSE(SweepLines("P", 0, 1, 1e-7f, lines, error));
    EXPECT_EQ(error, "The sweep gives more than 1000000 commands. Please choose a larger Step.");
    EXPECT_TRUE(lines.empty());
}

TEST_F(DocTest, CommandFileLines)
{
    std::string path = dir + "/c.oxq";
    std::string longLine(2000, 'x');
    orvix_test::WriteFile(path, "  OR 1, P 2  \r\n#skipped\n\n\t\nOR 3, P 4\n" + longLine + "\n");
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadCommandFileLines(path, lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "OR 1, P 2");
    EXPECT_EQ(lines[1], "OR 3, P 4");
    EXPECT_EQ(lines[2], longLine); // a long line stays one command
    EXPECT_FALSE(ReadCommandFileLines(dir + "/missing.oxq", lines));

    // UTF-8 lines become the code page's bytes; a line that is not UTF-8 is the code page's.
    orvix_test::WriteFile(path, "Label 5\xC2\xB5V\nLabel caf\xC3\xA9\r\nLabel 30\xB0\n");
    ASSERT_TRUE(ReadCommandFileLines(path, lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"Label 5\xB5V", "Label caf\xE9", "Label 30\xB0"}));
    orvix_test::WriteFile(path, "Label 5\xC2\xB5V\n# note\nLabel 1\xCE\xA9\n");
    std::string refusal;
    EXPECT_FALSE(ReadCommandFileLines(path, lines, &refusal));
    EXPECT_EQ(refusal, "The letter U+03A9 at line 3, column 8 of the command file \"" + path
                           + "\" cannot be kept: the program's text holds only the letters of the code page Windows-1252.");
}

TEST_F(DocTest, TestSettingsTableHoldsExactlyItsEntries)
{
    COrvixDoc doc;
    doc.GetExpParam("Stale", CParam(nullptr, 5));
    doc.GetExpParam("YTitle", CParam(nullptr, "Rate"));
    doc.GetExpParam("AccumedTimes", CParam(nullptr, 3));
    CTestSettings s;
    s.Load(doc);
    EXPECT_EQ(s.isRandom, 1);
    EXPECT_EQ(s.isBalanced, 1);
    EXPECT_EQ(s.accumTimes, 1000);
    EXPECT_EQ(s.param2Change, "NULL");
    EXPECT_EQ(s.customItems, "mytest.oxq");
    EXPECT_EQ(s.ivFile, "mytest.iv");
    EXPECT_EQ(s.taskFile, "Task.c");
    EXPECT_EQ(s.accumedTimes, 3);
    s.begin = 0.5f;
    s.Save(doc);
    ASSERT_EQ(doc.GetExpParamCount(), 17);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(doc.GetExpParam(i)->GetName(), kTestSettingNames[i]);
    EXPECT_EQ(doc.GetExpParam(0)->GetType(), PARAM_INT);
    EXPECT_EQ(doc.GetExpParam(7)->GetType(), PARAM_REAL);
    EXPECT_EQ(doc.GetExpParam(7)->GetText(), "0.5");
    EXPECT_EQ(doc.GetExpParam(6)->GetType(), PARAM_TEXT);
    EXPECT_EQ(doc.GetExpParam(13)->GetText(), "0");
    EXPECT_EQ(doc.GetExpParam(13)->GetType(), PARAM_TEXT);
    EXPECT_EQ(doc.GetExpParam(14)->GetText(), "Rate");
    EXPECT_EQ(doc.GetExpParam(16)->GetInt(), 3);
    EXPECT_EQ(doc.FindExpParam("Stale", false, CParam()), -1);
}

namespace {
class CPressCounter : public QObject {
public:
    std::vector<Qt::MouseButton> presses;
protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::MouseButtonPress)
            presses.push_back(static_cast<QMouseEvent*>(e)->button());
        return QObject::event(e);
    }
};
void Press(QObject& target, Qt::MouseButton button)
{
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &press);
}
} // namespace

TEST_F(RunTest, RightAndMiddlePressesAreDroppedDuringARunAndQuitComesBackAfterIt)
{
    UseThreeConditions(1, 0);
    CPressCounter target;
    bool quitSent = false;
    onPump = [&] {
        Press(target, Qt::LeftButton);
        Press(target, Qt::RightButton);
        Press(target, Qt::MiddleButton);
        if (!quitSent) {
            quitSent = true;
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
        }
        return true;
    };
    Start();
    EXPECT_TRUE(run->QuitRequested());
    EXPECT_EQ(doc->testRunning, 0);
    EXPECT_EQ(target.presses, std::vector<Qt::MouseButton>{Qt::LeftButton});
    Press(target, Qt::RightButton);
    EXPECT_EQ(target.presses.back(), Qt::RightButton); // delivered again after the run
    // The quit request was made again for the program's own loop; take it away.
    QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::Quit);
}
