// The built-in functions as the runner gives them their effects: renderer commands, the
// digital outputs and counters, the trial's records, the document and the eye.
#include "app/controlpanel_owner.h"
#include "document/docbase.h"
#include "panel/controlpanel.h"
#include "panel/logpages.h"
#include "runner_fixture.h"

#include <QListWidget>

using namespace orvix;

class BuiltinsTest : public RunnerTest {
protected:
    // Runs TaskEntry once, as a pass does, and returns its value.
    int Run(const std::string& body, const std::string& globals = "")
    {
        LoadEntry(body, globals);
        int outcome = -12345;
        EXPECT_TRUE(runner.Compiler().Evaluate(outcome));
        return outcome;
    }
    int Eval()
    {
        int outcome = -12345;
        EXPECT_TRUE(runner.Compiler().Evaluate(outcome));
        return outcome;
    }
    void StartTrial(CTrial& trial)
    {
        runner.SetPendingTrial(&trial);
        runner.StartTrial();
    }
};

TEST_F(BuiltinsTest, FigureOnAndOffWaitForTheRendererAndBecomeEvents)
{
    LoadEntry("TurnOnFig(); return TRIAL_CONTINUE;");
    StartTrial(trial);
    fakeClock.AdvanceMs(120);
    Eval();
    EXPECT_EQ(sent, (std::vector<SentCommand>{{G_RESET, "0", false, 0}, {G_FIGURE, "1", true, 0}}));
    EXPECT_EQ(runner.nCurrentTime, 100120);
    LoadEntry("TurnOffFig(); return TRIAL_CONTINUE;");
    fakeClock.AdvanceMs(300);
    Eval();
    EXPECT_EQ(sent.back(), (SentCommand{G_FIGURE, "0", true, 0}));
    EXPECT_EQ(trial.eventCodes, (std::vector<uint8_t>{0, EVENT_FIG_ON, EVENT_FIG_OFF}));
    EXPECT_EQ(trial.eventTimes, (std::vector<uint32_t>{0, 120, 420}));

    // Without the renderer nothing is sent and nothing recorded.
    sent.clear();
    deviceIO.SetRendererRunningForTest(false);
    LoadEntry("TurnOnFig(); TurnOffFig(); return TRIAL_CONTINUE;");
    Eval();
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(trial.eventCodes.size(), 3u);
}

TEST_F(BuiltinsTest, RendererObjectsByTheirGraphParameters)
{
    Run("TurnOnTarget(); TurnOffTarget(); FlipTarget(); SendUserMsg(5, -42); SetGraphParam10(5, 25);"
        "SendUserMsg(256, 1); SendUserMsg(-1, 1); return 0;");
    EXPECT_EQ(sent, (std::vector<SentCommand>{{G_TARGET, "1", false, 0},
                                              {G_TARGET, "0", false, 0},
                                              {G_TARGET, "2", false, 0},
                                              {G_SIZE, "-42", false, 0},
                                              {G_SIZE, "2.5", false, 0}}));

    // SetGraphParam reaches the renderer only; SetGraphParamBoth the document too.
    sent.clear();
    Run("SetGraphParam(5, 3); return GetGraphParam10(5);");
    EXPECT_EQ(sent, (std::vector<SentCommand>{{G_SIZE, "3", false, 0}}));
    EXPECT_EQ(doc->GetGraphParam(5).GetText(), "2.37");
    EXPECT_EQ(Eval(), 23);
    Run("SetGraphParamBoth(5, 4); return GetGraphParam(5);");
    EXPECT_EQ(sent.back(), (SentCommand{G_SIZE, "4", false, 0}));
    EXPECT_EQ(doc->GetGraphParam(5).GetInt(), 4);
    EXPECT_EQ(Eval(), 4);
    // Past the table: nothing changes.
    Run("SetGraphParamBoth(60, 4); return GetGraphParam(60) + GetGraphParam(-1);");
    EXPECT_EQ(doc->GetGraphParamCount(), 6);
    EXPECT_EQ(Eval(), 0);
}

TEST_F(BuiltinsTest, AMissingSceneObjectIsNotSent)
{
    doc->Table(KIND_GRAPH).Resize(2); // RESET and TARGET only
    doc->Table(KIND_GRAPH).RebuildIndex();
    runner.LoadParameters();
    LoadEntry("TurnOnFig(); FlipTarget(); return 0;");
    sent.clear();
    Eval();
    EXPECT_EQ(sent, (std::vector<SentCommand>{{G_RESET, "0", false, 0}, {G_TARGET, "2", false, 0}}));
}

TEST_F(BuiltinsTest, OutcomeActionsPulseTheOutputsAndCount)
{
    runner.ResetActionCounts();
    deviceIO.SetOutputBit2(true);
    trovik.written.clear();
    Run("DoHitAct(); DoMissAct(); DoEarlyAct(); DoHitAct(); return 0;");
    // hit 3 then back, miss 1 then back, early 9 then 8; bit 2 (4) stays on throughout.
    EXPECT_EQ(orvix_test::ToHex(trovik.written), "07 04 05 04 0D 0C 07 04");
    EXPECT_EQ(runner.GetHitCount(), 2);
    EXPECT_EQ(runner.GetActionCount(), 4);
}

TEST_F(BuiltinsTest, KeyReading)
{
    trovik.keys = {'L'};
    EXPECT_EQ(Run("return GetKeyPos();"), 'L');
    EXPECT_EQ(Eval(), 'C');
    // Keys of the experimenter's keyboard come from the main frame.
    EXPECT_EQ(Run("return KeyDown(VK_SHIFT);"), 0);
    runner.frameHooks.isKeyDown = [](int vk) { return vk == 16; };
    EXPECT_EQ(Eval(), 1);
    EXPECT_EQ(Run("return KeyDown(VK_CONTROL);"), 0);
}

TEST_F(BuiltinsTest, FixationWindowAroundTheTarget)
{
    // TPOSH 120, TPOSV -60, FPWinRad 300, 60 units per degree.
    LoadEntry("return OnFP();");
    EyeAt(2560 + 300, 1280 + 25); // 6 and -1 degrees: (360, -60), 240 from the target
    EXPECT_EQ(Eval(), 1);
    EXPECT_EQ(Run("return GetFPH_Min() * 1000 + GetFPV_Min();"), 360 * 1000 - 60);
    LoadEntry("return OnFP();");
    EyeAt(2560 + 350, 1280 + 25); // 7 degrees: 420, exactly the radius away
    EXPECT_EQ(Eval(), 0);
    doc->GetBehavParam("FPWinRad", CParam()) = 301;
    EXPECT_EQ(Eval(), 1);
    doc->GetBehavParam("FPWinRad", CParam()) = 300;
    doc->GetBehavParam("UnitsPerDeg", CParam()) = 0; // means 60
    EXPECT_EQ(Eval(), 0);
    doc->GetBehavParam("UnitsPerDeg", CParam()) = 30; // (210, -30): 90 and 30 away
    EXPECT_EQ(Eval(), 1);
}

TEST_F(BuiltinsTest, FarEyePositionsDoNotWrapIntoTheWindow)
{
    doc->GetBehavParam("UnitsPerDeg", CParam()) = 1000000;
    LoadEntry("return OnFP();");
    EyeAt(2560 + 30000, 1280);
    EXPECT_EQ(Eval(), 0);
}

TEST_F(BuiltinsTest, TrialRecords)
{
    LoadEntry("SaveKeyState(nKeyPos + 65536); SaveResponse0(1, 2, 3, 4, 5); return 0;");
    Eval(); // no trial: nothing happens
    StartTrial(trial);
    fakeClock.AdvanceMs(75);
    runner.nCurrentTime = static_cast<int>(TickMs());
    runner.nKeyPos = 'R';
    Eval();
    EXPECT_EQ(trial.keyTimes, (std::vector<uint32_t>{75}));
    EXPECT_EQ(trial.keyCodes, (std::vector<uint16_t>{'R'}));
    EXPECT_EQ(trial.responses, (std::array<int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(trial.response5, 5);
}

TEST_F(BuiltinsTest, SaveResponseShowsOnTheResponsePage)
{
    CControlPanelOwner panels(*doc, experiment);
    panels.Create();
    CViewResponse* page = panels.Get()->ResponsePage();
    StartTrial(trial);
    Run("SaveResponse0(1, 2, 3, 4, 5); return 0;");
    EXPECT_EQ(page->List()->count(), 0);
    Run("SaveResponse(6, 7, 8, 9, 2); return 0;");
    EXPECT_EQ(page->List()->count(), 1);
    EXPECT_EQ(trial.responses, (std::array<int32_t, 4>{6, 7, 8, 9}));
    EXPECT_EQ(trial.response5, 2);
    // Passes with no trial being recorded (before or after a run) show nothing.
    runner.EndTrial();
    Run("SaveResponse(1, 2, 3, 4, 5); return 0;");
    EXPECT_EQ(page->List()->count(), 1);
}

TEST_F(BuiltinsTest, DocumentAndFrame)
{
    struct Hints : IDocObserver {
        std::vector<int> hints;
        void OnUpdate(IDocObserver*, const DocUpdate& u) override { hints.push_back(u.hint); }
    } view;
    doc->AddObserver(&view);
    std::vector<std::vector<int>> shapes;
    runner.frameHooks.fpCircle = [&](int a, int b, int c, int d) { shapes.push_back({a, b, c, d}); };
    runner.frameHooks.fpRectangle = [&](int a, int b, int c, int d, int e) { shapes.push_back({a, b, c, d, e}); };
    doc->testRunning = 1;
    EXPECT_EQ(Run("FPUpdate(3); FPUpdate(0); FPCircle(1, 2, 3, 4); FPRectangle(5, 6, 7, 8, 9);"
                  "DisplayVariable(-7); return Recording();"),
              1);
    doc->testRunning = 0;
    EXPECT_EQ(Eval(), 0);
    doc->RemoveObserver(&view);
    EXPECT_EQ(view.hints, (std::vector<int>{HINT_EYE_SAMPLING_ON, HINT_EYE_SAMPLING_OFF, HINT_EYE_SAMPLING_ON,
                                            HINT_EYE_SAMPLING_OFF}));
    EXPECT_EQ(shapes, (std::vector<std::vector<int>>{{1, 2, 3, 4}, {5, 6, 7, 8, 9}, {1, 2, 3, 4}, {5, 6, 7, 8, 9}}));
    EXPECT_EQ(Log().at(0), "Task variable evaluating: -7");
}

TEST_F(BuiltinsTest, ParametersRandomNumbersAndAnalogInput)
{
    runner.LoadParameters(); // adds FPWinRad with its default
    int fpWin = doc->FindBehavParam("FPWinRad", false, CParam());
    doc->GetBehavParam("DtoAH", CParam()) = 0.237;
    int dtoAH = doc->FindBehavParam("DtoAH", false, CParam());
    LoadEntry("return GetBehavParam(" + std::to_string(fpWin) + ") * 100 + GetBehavParam10(" + std::to_string(dtoAH)
              + ") + GetBehavParam(999);");
    EXPECT_EQ(Eval(), 300 * 100 + 2);
    // The generator seeded with 1 gives 41, 18467, 6334.
    LoadEntry("int a; int b; int c; a = Rand(0, 32767); b = Rand(0, 1); c = Rand(0, 1);"
              "return a * 100 + b * 10 + c;");
    runner.SeedRandom(1);
    EXPECT_EQ(Eval(), 41 * 100 + 1 * 10 + 0);
    EXPECT_EQ(Run("return Rand(5, 5);"), 5);
    // No analog-input library: 0 mV.
    EXPECT_EQ(Run("return ReadAICh_mv(0, 1);"), 0);
}
