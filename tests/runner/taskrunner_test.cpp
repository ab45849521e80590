// The task runner's passes: when a trial starts and ends, which events it records, the
// task file's loading and reloading, eye and spike collection, the latency histogram.
#include "runner_fixture.h"

using namespace orvix;

namespace {
const char* kContinue = "return TRIAL_CONTINUE;";
}

TEST_F(RunnerTest, WithoutTheRendererAPassDoesNothingAndStopsTheRun)
{
    LoadEntry("nTaskState = FOREP; return TRIAL_HIT;");
    runner.SetPendingTrial(&trial);
    deviceIO.SetRendererRunningForTest(false);
    EXPECT_EQ(runner.Step(), 0);
    EXPECT_EQ(runner.GetRunFlag(), 0);
    EXPECT_EQ(runner.GetCurrentTrial(), nullptr);
    EXPECT_EQ(runner.GetPendingTrial(), &trial);
    EXPECT_EQ(runner.nTaskState, 0); // TaskEntry did not run
    EXPECT_TRUE(trial.eventCodes.empty());
}

TEST_F(RunnerTest, WithoutAProgramAPassStopsTheRun)
{
    LoadEntry(kContinue);
    EXPECT_EQ(runner.Compiler().CompileText("int x;"), TaskCompileStatus::NoProgram);
    EXPECT_EQ(runner.Step(), 0);
    EXPECT_EQ(runner.GetRunFlag(), 0);
}

TEST_F(RunnerTest, APendingTrialStartsOnlyInItiOrIsi)
{
    LoadEntry(kContinue);
    trial.activeChannels = 0x01;
    doc->activeChannels = 0x0F;
    runner.nTaskState = STATE_FOREP;
    runner.SetPendingTrial(&trial);
    EXPECT_EQ(runner.Step(), TRIAL_CONTINUE);
    EXPECT_EQ(runner.GetCurrentTrial(), nullptr);
    EXPECT_FALSE(runner.IsIdle());

    fakeClock.AdvanceMs(7);
    runner.nTaskState = STATE_ISI;
    runner.Step();
    ASSERT_EQ(runner.GetCurrentTrial(), &trial);
    EXPECT_EQ(runner.GetPendingTrial(), nullptr);
    EXPECT_EQ(trial.eventCodes, (std::vector<uint8_t>{18}));
    EXPECT_EQ(trial.eventTimes, (std::vector<uint32_t>{0}));
    EXPECT_EQ(trial.GetStartTime(), 100007u);
    EXPECT_EQ(trial.activeChannels, 0x0F);
    // Started between stimuli: the spike counter goes on counting.
    EXPECT_EQ(SpikeSim().starts, 0);
}

TEST_F(RunnerTest, ATrialStartedInItiStartsTheSpikeCounter)
{
    LoadEntry(kContinue);
    runner.SetPendingTrial(&trial);
    runner.Step();
    EXPECT_EQ(runner.GetCurrentTrial(), &trial);
    EXPECT_TRUE(runner.IsIdle());
    EXPECT_EQ(SpikeSim().starts, 1);
    EXPECT_EQ(deviceIO.GetSpikeStartTime(), 100000u);
}

TEST_F(RunnerTest, AStateChangeInAPassAppendsExactlyOneEvent)
{
    LoadEntry("if (nTaskState == TARGET_ON) nTaskState = TARGET_OFF; return TRIAL_CONTINUE;");
    runner.SetPendingTrial(&trial);
    runner.Step();
    runner.nTaskState = 2; // set from outside: not an event
    fakeClock.AdvanceMs(30);
    runner.Step();
    EXPECT_EQ(runner.nTaskState, 5);
    EXPECT_EQ(trial.eventCodes, (std::vector<uint8_t>{0, 5}));
    EXPECT_EQ(trial.eventTimes, (std::vector<uint32_t>{0, 30}));
    fakeClock.AdvanceMs(10);
    runner.Step();
    EXPECT_EQ(trial.eventCodes.size(), 2u);
    EXPECT_EQ(runner.GetStateName(), "TARGET_OFF");
}

TEST_F(RunnerTest, AnyOutcomeButContinueEndsTheTrial)
{
    LoadEntry("int n; n = n + 1; if (n == 3) return TRIAL_NONE; return TRIAL_CONTINUE;");
    runner.SetPendingTrial(&trial);
    doc->GetBehavParam("DtoAH", CParam()) = 0.5;
    doc->GetBehavParam("H0", CParam()) = 17;
    EXPECT_EQ(runner.Step(), TRIAL_CONTINUE);
    fakeClock.AdvanceMs(250);
    EXPECT_EQ(runner.Step(), TRIAL_CONTINUE);
    EXPECT_EQ(runner.GetCurrentTrial(), &trial);
    fakeClock.AdvanceMs(250);
    EXPECT_EQ(runner.Step(), TRIAL_NONE);
    EXPECT_EQ(runner.GetCurrentTrial(), nullptr);
    EXPECT_EQ(trial.GetLength(), 500u);
    // The calibration in force travels with the trial.
    EXPECT_EQ(trial.DtoAH, 0.5f);
    EXPECT_EQ(trial.H0, 17);
    EXPECT_EQ(trial.DtoAV, -0.04f);
    EXPECT_EQ(trial.V0, -1280);
    EXPECT_EQ(trial.DtoAH2, 0.0f);
    EXPECT_EQ(trial.DtoAV2, 0.0f);
}

TEST_F(RunnerTest, AResponseProblemIsLoggedInAPassAndShownOutsideOne)
{
    // Figure on (6) and off (7) in the same millisecond leave no interval for spikes.
    LoadEntry("if (nTaskState == 6) { nTaskState = 7; return TRIAL_END; }\n"
              "if (nTaskState == 3) { nTaskState = 6; return TRIAL_CONTINUE; }\n"
              "nTaskState = 3; return TRIAL_CONTINUE;");
    runner.SetPendingTrial(&trial);
    EXPECT_EQ(runner.Step(), TRIAL_CONTINUE);
    fakeClock.AdvanceMs(10);
    EXPECT_EQ(runner.Step(), TRIAL_CONTINUE);
    EXPECT_EQ(runner.Step(), TRIAL_END);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Fig off before fig on!"}));
    EXPECT_TRUE(ui.messages.empty());

    // Ended by hand, outside a pass, the same trial is a box.
    CTrial again;
    runner.SetPendingTrial(&again);
    runner.StartTrial();
    again.eventTimes = {0, 0};
    again.eventCodes = {EVENT_FIG_ON, EVENT_FIG_OFF};
    fakeClock.AdvanceMs(100);
    runner.EndTrial();
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Fig off before fig on!"}));
}

TEST_F(RunnerTest, AFailedEvaluationKeepsThePreviousOutcome)
{
    LoadEntry("int n; n = n + 1; if (n == 2) return 1 / (n - 2); return TRIAL_CONTINUE;");
    runner.SetPendingTrial(&trial);
    EXPECT_EQ(runner.Step(), TRIAL_CONTINUE);
    EXPECT_EQ(runner.Step(), TRIAL_CONTINUE); // the zero divisor: the last outcome again
    EXPECT_EQ(runner.GetCurrentTrial(), &trial);
    EXPECT_EQ(runner.Step(), TRIAL_CONTINUE);
    EXPECT_FALSE(Log().empty()); // the failure is logged
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RunnerTest, StateAndKeyNames)
{
    runner.nTaskState = 25;
    EXPECT_EQ(runner.GetStateName(), "25");
    runner.nTaskState = 100;
    EXPECT_EQ(runner.GetStateName(), "100");
    runner.nTaskState = 6;
    EXPECT_EQ(runner.GetStateName(), "FIG_ON");
    runner.nTaskState = 19;
    EXPECT_EQ(runner.GetStateName(), "ISI2");
    runner.nTaskState = -1;
    EXPECT_EQ(runner.GetStateName(), "-1");

    LoadEntry(kContinue);
    trovik.keys = {'L', 'X', 'B'};
    runner.nKeyPos = 0x1200; // a task's bits above the input byte stay
    runner.Step();
    EXPECT_EQ(runner.nKeyPos, 0x1200 + 'L');
    EXPECT_EQ(runner.GetKeyPosName(), "LEFT");
    runner.Step();
    EXPECT_EQ(runner.GetKeyPosName(), "LEFT"); // an unknown byte keeps the text
    runner.Step();
    EXPECT_EQ(runner.GetKeyPosName(), "BACK");
}

TEST_F(RunnerTest, TooManyEyeSamplesForTheTrialLengthAreLogged)
{
    for (int samples : {250, 200, 201}) {
        CTrial trial;
        runner.SetPendingTrial(&trial);
        runner.StartTrial();
        trial.hSamples.assign(static_cast<size_t>(samples), 0);
        fakeClock.AdvanceMs(2000);
        ClearLog();
        runner.EndTrial();
        std::vector<std::string> log = Log();
        if (samples == 250)
            EXPECT_EQ(log, (std::vector<std::string>{"Iscan rate too high! 125"}));
        else if (samples == 200)
            EXPECT_TRUE(log.empty());
        else
            EXPECT_TRUE(log.empty()) << "100.5 per second rounds down to 100";
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RunnerTest, EyeSamplesGoIntoTheTrialAndTheLastOneIsThePosition)
{
    LoadEntry(kContinue);
    runner.SetPendingTrial(&trial);
    runner.Step();
    SendEye({{2560 + 100, 1280}, {2560 + 300, 1280 + 25}});
    fakeClock.AdvanceMs(16);
    runner.SampleEye();
    EXPECT_EQ(trial.hSamples, (std::vector<int16_t>{2660, 2860}));
    EXPECT_EQ(trial.vSamples, (std::vector<int16_t>{1280, 1305}));
    EXPECT_EQ(runner.GetRawFPH(), 2860);
    EXPECT_EQ(runner.GetRawFPV(), 1305);
    // (2860 - 2560) x 0.02 = 6 degrees; (1305 - 1280) x -0.04 = -1 degree.
    EXPECT_FLOAT_EQ(runner.GetFPH(), 6.0f);
    EXPECT_FLOAT_EQ(runner.GetFPV(), -1.0f);

    // The cross terms, and raw values read as signed 16-bit numbers.
    doc->GetBehavParam("DtoAH2", CParam()) = 0.5;
    doc->GetBehavParam("DtoAV2", CParam()) = 0.25;
    EyeAt(0xFFFF, 1280 + 4); // raw H = -1
    EXPECT_EQ(runner.GetRawFPH(), -1);
    // h = -2561, v = 4: H = -2561 x 0.02 + 4 x 0.5; V = 4 x -0.04 + -2561 x 0.25
    EXPECT_FLOAT_EQ(runner.GetFPH(), -51.22f + 2.0f);
    EXPECT_FLOAT_EQ(runner.GetFPV(), -0.16f - 640.25f);
}

TEST_F(RunnerTest, SpikesAreTimedFromTheTrialStart)
{
    LoadEntry(kContinue);
    runner.SetPendingTrial(&trial);
    runner.nTaskState = STATE_ISI; // no counter start: its start time stays from before
    deviceIO.StartSpikeCounter(); // at 100000
    fakeClock.AdvanceMs(40);
    runner.Step();                  // the trial starts at 100040
    // mask, low, high; a trailing partial record is ignored.
    SpikeSim().reads.push_back({1, 5000, 0, 2, 0x10, 1, 4, 7});
    runner.EndTrial();
    EXPECT_EQ(trial.spikeMasks, (std::vector<uint16_t>{1, 2}));
    // (spike start - trial start) x 10 = -400 tenths of a millisecond
    EXPECT_EQ(trial.spikeTimes, (std::vector<uint32_t>{4600, 65552 - 400}));
}

TEST_F(RunnerTest, LoopLatencyHistogram)
{
    LoadEntry(kContinue);
    runner.StartLatencyMeasurement();
    EXPECT_EQ(Log(), (std::vector<std::string>{"Begins measuring latency."}));
    runner.SetLastLoopTime(Clock().Counter() - 12000000000LL); // 12 s
    runner.Step();
    EXPECT_EQ(runner.GetLatencyCount(9999), 1);
    fakeClock.AdvanceNs(3400000);
    runner.Step();
    fakeClock.AdvanceNs(3500000);
    runner.Step();
    runner.SetLastLoopTime(Clock().Counter() + 5000000); // a counter that went back
    runner.Step();
    EXPECT_EQ(runner.GetLatencyCount(3), 1);
    EXPECT_EQ(runner.GetLatencyCount(4), 1);
    EXPECT_EQ(runner.GetLatencyCount(0), 1);
    ClearLog();
    runner.ReportLatency();
    EXPECT_FALSE(runner.IsMeasuringLatency());
    EXPECT_EQ(Log(), (std::vector<std::string>{"ORVIX - Time per loop:", "time (ms)   occurrence", "0\t1", "3\t1",
                                               "4\t1", "9999\t1"}));
    ClearLog();
    runner.ReportLatency(); // nothing left to report
    runner.Step();
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(runner.GetLastLoopTime(), Clock().Counter());
}

TEST_F(RunnerTest, MissingGraphParametersAreLoggedOnlyWithTheRenderer)
{
    runner.SetRunFlag(0);
    {
        COrvixDoc empty;
        runner.LoadParameters(&empty);
        EXPECT_EQ(Log(), (std::vector<std::string>{
                             "Graph parameter RESET not found.", "Graph parameter TARGET not found.",
                             "Graph parameter FIGURE not found.", "Graph parameter TPOSH not found.",
                             "Graph parameter TPOSV not found."}));
        // The behaviour parameters the runner uses come into being with their defaults.
        EXPECT_EQ(empty.GetBehavParam("DtoAH", CParam()).GetDouble(), static_cast<double>(0.02f));
        EXPECT_EQ(empty.GetBehavParam("H0", CParam()).GetInt(), -2560);
        EXPECT_EQ(empty.GetBehavParam("FPWinRad", CParam()).GetInt(), 300);
        EXPECT_EQ(empty.GetBehavParam("AnalysisTime", CParam()).GetInt(), 800);
        EXPECT_EQ(empty.GetBehavParam("UnitsPerDeg", CParam()).GetDouble(), 60.0);
        EXPECT_FALSE(runner.IsSwitchJoystick());
        empty.GetBehavParam("SwitchJoystick", CParam()) = 1;
        EXPECT_TRUE(runner.IsSwitchJoystick());

        ClearLog();
        deviceIO.SetRendererRunningForTest(false);
        runner.LoadParameters();
        EXPECT_TRUE(Log().empty());
        EXPECT_TRUE(runner.IsReloadRequested()); // loaded at the first pass
        deviceIO.SetRendererRunningForTest(true);
    }
    runner.SetDocument(doc.get());
}

TEST_F(RunnerTest, TaskFileProblemsOutsideAPassAreShownAndStopTheRun)
{
    LoadEntry("return 9;");
    SetTaskFile(dir + "/missing.c");
    runner.RequestReload();
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"File \"" + dir + "/missing.c\" not found!"}));
    EXPECT_EQ(runner.GetRunFlag(), 0);
    EXPECT_TRUE(runner.HasProgram()); // the compiled program stays

    // The test setting names the file first; the behaviour parameter then is not read.
    std::string path = dir + "/broken.c";
    orvix_test::WriteFile(path, "int TaskEntry() { return 1 }\n");
    doc->GetExpParam("TaskFile", CParam()) = path;
    doc->GetBehavParam("TaskFile", CParam()) = dir + "/task.c";
    runner.SetRunFlag(1);
    runner.RequestReload();
    EXPECT_EQ(runner.GetRunFlag(), 0);
    EXPECT_EQ(ui.messages.size(), 1u);
    std::vector<std::string> log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "Loading task file: " + path);
}

TEST_F(RunnerTest, ABehaviourTaskFileBecomesTheTestsTaskFile)
{
    LoadEntry(kContinue);
    CParam none;
    EXPECT_GE(doc->FindExpParam("TaskFile", false, none), 0);
    EXPECT_EQ(doc->GetExpParam("TaskFile", CParam()).GetText(), dir + "/task.c");
}

TEST_F(RunnerTest, AReloadDuringATestWaitsForItiAndNeverShowsABox)
{
    LoadEntry("if (nTaskState == ITI) nTaskState = FOREP; return TRIAL_CONTINUE;");
    doc->testRunning = 1;
    std::string next = dir + "/next.c";
    orvix_test::WriteFile(next, "int TaskEntry() { return TRIAL_END; }\n");
    SetTaskFile(next);
    runner.RequestReload();
    EXPECT_TRUE(runner.IsReloadRequested());
    EXPECT_EQ(runner.Step(), TRIAL_END); // in ITI: loads now, then runs the new task
    EXPECT_FALSE(runner.IsReloadRequested());

    doc->testRunning = 0;
    LoadEntry("if (nTaskState == ITI) nTaskState = FOREP; return TRIAL_CONTINUE;");
    doc->testRunning = 1;
    runner.Step();
    EXPECT_EQ(runner.nTaskState, STATE_FOREP);
    doc->GetExpParam("TaskFile", CParam()) = next;
    runner.RequestReload();
    EXPECT_EQ(runner.Step(), TRIAL_CONTINUE); // not in ITI: the old task goes on
    runner.nTaskState = 0;
    EXPECT_EQ(runner.Step(), TRIAL_END);

    // A missing file found inside a pass is logged, not shown: the loop goes on.
    doc->GetExpParam("TaskFile", CParam()) = dir + "/gone.c";
    runner.RequestReload();
    ClearLog();
    EXPECT_EQ(runner.Step(), TRIAL_END);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(Log(), (std::vector<std::string>{"File \"" + dir + "/gone.c\" not found!"}));
    EXPECT_EQ(runner.GetRunFlag(), 0);
    doc->testRunning = 0;
}
