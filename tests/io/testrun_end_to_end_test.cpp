// An experiment from start to end, without a window: the stand-in renderer program and the
// simulated devices, the experiment enabled, the scene loaded, a task file compiled, and
// test runs of three conditions through the real task runner. What the renderer was told
// is read back from its console, where it reports every command it receives.
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <sys/stat.h>
#include <thread>

#include "io/sockets.h"
#include "io_fixture.h"
#include "model/trial.h"
#include "platform/devices/serialport.h"
#include "platform/kernel/sim_board.h"
#include "platform/runtime/eventpump.h"
#include "runner/testrun.h"
#include "runner/testsettings.h"
#include "runner/trialengine.h"
#include "standin_process.h"

using namespace orvix;
using Pairs = std::vector<std::pair<int, int>>;
using Lines = std::vector<std::string>;

namespace {

// Object ids (graph-parameter indexes) of the scene below, in its order.
enum { G_RESET, G_TARGET, G_FIGURE, G_TPOSH, G_TPOSV, G_OR, G_SIZE, G_MODE, G_COUNT };
const char* const kScene = "# the test scene\nRESET 0\nTARGET 0\nFIGURE 0\nTPOSH 0\nTPOSV 0\n"
                           "OR 30\nSIZE 2.5\nMODE 5\n";
// Not in the scene: the stand-in keeps its value all the same, and tells it.
constexpr int kMarkerObject = 200;

// A trial leaves ITI at its first pass and returns to it at its fourth, with the outcome
// that the graph parameter MODE names; TRIAL_REPEAT and TRIAL_FAIL are given only when the
// attempt before did not get the same, so every condition comes to an end.
const char* const kTask = R"TASK(// Three passes of fixation, then the outcome.
int passes;
int last;

int TaskEntry()
{
    int mode;
    if (nTaskState == ITI) {
        passes = 0;
        nTaskState = FOREP;
        return TRIAL_CONTINUE;
    }
    passes = passes + 1;
    if (passes < 3)
        return TRIAL_CONTINUE;
    nTaskState = ITI;
    mode = GetGraphParam("MODE");
    if (mode != TRIAL_END && mode != last) {
        last = mode;
        return mode;
    }
    last = TRIAL_END;
    return TRIAL_END;
}
)TASK";

std::string Object(int id, const std::string& value) { return "Object " + std::to_string(id) + " = " + value; }

// The run's own commands around the conditions: figure and target off before, the changed
// parameters put back, then figure on (after a reset) and target off.
Lines RunCommands(const Lines& conditions, const std::string& orBefore, int second, const std::string& secondBefore)
{
    Lines out = {Object(G_FIGURE, "0"), Object(G_TARGET, "0")};
    out.insert(out.end(), conditions.begin(), conditions.end());
    Lines after = {Object(G_OR, orBefore), Object(second, secondBefore), Object(G_RESET, "0"),
                   Object(G_FIGURE, "1"), Object(G_TARGET, "0")};
    out.insert(out.end(), after.begin(), after.end());
    return out;
}

// The two commands of each attempt, in the order the attempts came.
Lines Attempts(int second, const char* const (&ors)[3], const char* const (&seconds)[3], std::initializer_list<int> order)
{
    Lines out;
    for (int c : order) {
        out.push_back(Object(G_OR, ors[c]));
        out.push_back(Object(second, seconds[c]));
    }
    return out;
}

} // namespace

class TestRunEndToEnd : public IoTest {
protected:
    void SetUp() override
    {
        IoTest::SetUp();
        std::string scenes = dir + "/scenes";
        mkdir(scenes.c_str(), 0700);
        orvix_test::WriteFile(scenes + "/e2e.iv.params", kScene);
        ASSERT_TRUE(renderer.Start(scenes, true));
        setenv("ORVIX_RENDERER_PORT", std::to_string(renderer.commandPort).c_str(), 1);
        setenv("ORVIX_CONSOLE_PORT", std::to_string(renderer.consolePort).c_str(), 1);
        doc->GetBehavParam("SGI", CParam(nullptr, "127.0.0.1"));
        doc->GetBehavParam("SerialPort", CParam(nullptr, kSimulatedSerialPort));

        std::string task = dir + "/task.c";
        orvix_test::WriteFile(task, kTask);
        settings.Load(*doc);
        settings.ivFile = "e2e.iv";
        settings.taskFile = task;
        settings.useCustomItems = 1;
        settings.customItems = dir + "/conditions.oxq";
        settings.accumTimes = 2;
        settings.isBalanced = 1;
        settings.Save(*doc);

        SpikeSim().seed = 11; // spike intervals that do not depend on the clock
        doc->OnEnable();
        ASSERT_EQ(experiment.runner.GetRunFlag(), 1) << orvix_test::ReadFile(logPath);
        ASSERT_TRUE(experiment.runner.HasProgram());
        ASSERT_EQ(doc->GetGraphParamCount(), G_COUNT);
        ASSERT_EQ(doc->FindGraphParam("OR"), G_OR);
        ASSERT_EQ(doc->FindGraphParam("MODE"), G_MODE);
        // Stored trials carry the document's channels; a repeated one carries none.
        doc->activeChannels = 0x05;
        run = std::make_unique<CTestRun>(*doc, engine);
        Received(); // what enabling sent is not part of a run
    }
    void TearDown() override
    {
        run.reset();
        IoTest::TearDown();
        renderer.Stop();
    }

    // Runs the conditions to the end; a run that outlives its deadline is stopped.
    void Run(const std::string& conditions, int isRandom)
    {
        orvix_test::WriteFile(settings.customItems, conditions);
        settings.isRandom = isRandom;
        settings.Save(*doc);
        run->commandListChanged = 1;
        run->seed = 1;
        bool late = false;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, [&] {
            late = true;
            run->Stop();
        });
        deadline.start(5000);
        run->OnStart(settings);
        EXPECT_FALSE(late) << "the run was stopped at its deadline";
        EXPECT_FALSE(run->IsRunning());
        EXPECT_EQ(doc->testRunning, 0);
    }

    // The commands the renderer told since the last call. A marker sent with the wait flag
    // comes last: its acknowledgement follows the report of every command before it.
    Lines Received()
    {
        std::string marker = "mark " + std::to_string(++marks);
        EXPECT_TRUE(deviceIO.SendCommand(kMarkerObject, marker.c_str(), true));
        std::string last = Object(kMarkerObject, marker);
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        Lines& lines = experiment.console.lines;
        while (std::find(lines.begin(), lines.end(), last) == lines.end()) {
            if (std::chrono::steady_clock::now() > until) {
                ADD_FAILURE() << "the renderer did not report " << last;
                break;
            }
            // Sleeps until the console's data or the timer come.
            QTimer slice;
            slice.setSingleShot(true);
            slice.start(10);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        Lines out;
        for (const std::string& line : lines) {
            if (line == last)
                break;
            if (line.rfind("Object ", 0) == 0)
                out.push_back(line);
        }
        lines.clear();
        return out;
    }

    // (condition index, repeat number) of every stored trial.
    Pairs Trials() const
    {
        Pairs out;
        for (int i = 0; i < doc->GetTrialCount(); ++i)
            out.emplace_back(doc->GetTrial(i)->commandIndex, doc->GetTrial(i)->repetition);
        return out;
    }
    std::vector<int> Channels() const
    {
        std::vector<int> out;
        for (int i = 0; i < doc->GetTrialCount(); ++i)
            out.push_back(doc->GetTrial(i)->activeChannels);
        return out;
    }
    int Accumed() { return doc->GetExpParam("AccumedTimes", CParam(nullptr, 0)).GetInt(); }

    StandInProcess renderer;
    CTaskRunnerEngine engine{experiment.runner};
    CTestSettings settings;
    std::unique_ptr<CTestRun> run;
    int marks = 0;
};

TEST_F(TestRunEndToEnd, ListAndRandomOrderRunThreeConditionsTwice)
{
    const char* const ors[3] = {"0", "45", "90"};
    const char* const sizes[3] = {"1", "2", "3"};

    Run("# orientation and size\nOR 0, SIZE 1\nOR 45, SIZE 2\n\nOR 90, SIZE 3\n", 0);
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}));
    EXPECT_EQ(Accumed(), 2);
    EXPECT_EQ(Received(), RunCommands(Attempts(G_SIZE, ors, sizes, {0, 1, 2, 0, 1, 2}), "30", G_SIZE, "2.5"));
    // The task runner recorded each trial: ITI at the start, FOREP, ITI again.
    for (int i = 0; i < doc->GetTrialCount(); ++i)
        EXPECT_EQ(doc->GetTrial(i)->eventCodes, (std::vector<uint8_t>{0, 3, 0})) << "trial " << i;
    EXPECT_EQ(Channels(), std::vector<int>(6, 0x05));
    EXPECT_EQ(doc->trialTable.GetRowCount(), 6);
    EXPECT_EQ(doc->GetGraphParam(G_OR).GetText(), "30");
    EXPECT_EQ(doc->GetGraphParam(G_SIZE).GetText(), "2.5");
    EXPECT_TRUE(doc->IsModified());

    // Balanced random order with the seed 1: the generator's values 41, 18467, 6334 give
    // the block 0, 2, 1 (floor(r x size / 32768) into the block's remaining conditions),
    // 26500, 19169, 15724 the block 2, 1, 0. Repeat numbers go on from "AccumedTimes".
    Run("OR 0, SIZE 1\nOR 45, SIZE 2\nOR 90, SIZE 3\n", 1);
    Pairs all = Trials();
    ASSERT_EQ(all.size(), 12u);
    EXPECT_EQ(Pairs(all.begin() + 6, all.end()), (Pairs{{0, 2}, {2, 2}, {1, 2}, {2, 3}, {1, 3}, {0, 3}}));
    EXPECT_EQ(Accumed(), 4);
    EXPECT_EQ(Received(), RunCommands(Attempts(G_SIZE, ors, sizes, {0, 2, 1, 2, 1, 0}), "30", G_SIZE, "2.5"));
    EXPECT_EQ(doc->trialTable.GetRowCount(), 12);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TestRunEndToEnd, RepeatIsStoredWithoutChannelsAndFailIsNotBothComeAgain)
{
    // Condition 1 asks for TRIAL_REPEAT, condition 2 for TRIAL_FAIL.
    const char* const ors[3] = {"0", "45", "90"};
    const char* const modes[3] = {"5", "7", "6"};
    const std::string conditions = "OR 0, MODE 5\nOR 45, MODE 7\nOR 90, MODE 6\n";

    // List order: a repeat is stored and the same condition follows; a fail is not stored
    // and the same condition follows.
    Run(conditions, 0);
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {1, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {1, 1}, {2, 1}}));
    EXPECT_EQ(Channels(), (std::vector<int>{5, 0, 5, 5, 5, 0, 5, 5}));
    EXPECT_EQ(Accumed(), 2);
    EXPECT_EQ(Received(),
              RunCommands(Attempts(G_MODE, ors, modes, {0, 1, 1, 2, 2, 0, 1, 1, 2, 2}), "30", G_MODE, "5"));

    // Balanced random order, seed 1 (generator values 41, 18467, 6334, ...): a repeat or a
    // fail leaves its condition in the block, so the next draw may take it again.
    //   41    of {0,1,2} -> 0 end         18467 of {1,2} -> 2 fail     6334 of {1,2} -> 1 repeat
    //   26500 of {1,2}   -> 2 fail        19169 of {1,2} -> 2 end      15724 of {1}  -> 1 repeat
    //   11478 of {1}     -> 1 end         29358 of {0,1,2} -> 2 fail   26962 of {0,1,2} -> 2 end
    //   24464 of {0,1}   -> 1 repeat      5705 of {0,1}  -> 0 end      28145 of {1}  -> 1 repeat
    //   23281 of {1}     -> 1 end
    Run(conditions, 1);
    Pairs all = Trials();
    ASSERT_EQ(all.size(), 18u);
    EXPECT_EQ(Pairs(all.begin() + 8, all.end()),
              (Pairs{{0, 2}, {1, 2}, {2, 2}, {1, 2}, {1, 2}, {2, 3}, {1, 3}, {0, 3}, {1, 3}, {1, 3}}));
    std::vector<int> channels = Channels();
    EXPECT_EQ(std::vector<int>(channels.begin() + 8, channels.end()), (std::vector<int>{5, 0, 5, 0, 5, 5, 0, 5, 0, 5}));
    EXPECT_EQ(Accumed(), 4);
    EXPECT_EQ(Received(), RunCommands(Attempts(G_MODE, ors, modes, {0, 2, 1, 2, 2, 1, 1, 2, 2, 1, 0, 1, 1}), "30",
                                      G_MODE, "5"));
    EXPECT_EQ(doc->trialTable.GetRowCount(), 18);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TestRunEndToEnd, StopInsideATrialLeavesTheRunnerHoldingNoTrial)
{
    const char* const ors[3] = {"0", "45", "90"};
    const char* const sizes[3] = {"1", "2", "3"};
    const std::string conditions = "OR 0, SIZE 1\nOR 45, SIZE 2\nOR 90, SIZE 3\n";
    // Stop is pressed at the first pass of the fifth trial, which has left ITI by then.
    bool stopped = false;
    run->pump = [&](int maxWaitMs) {
        QTimer slice;
        slice.setSingleShot(true);
        slice.start(maxWaitMs);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!stopped && doc->GetTrialCount() == 4 && run->IsRunning()) {
            stopped = true;
            EXPECT_EQ(experiment.runner.nTaskState, STATE_FOREP);
            run->OnStart(settings);
        }
        return true;
    };
    Run(conditions, 0);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(Trials(), (Pairs{{0, 0}, {1, 0}, {2, 0}, {0, 1}}));
    EXPECT_EQ(Accumed(), 2); // the repeat cut short counts
    EXPECT_EQ(experiment.runner.GetPendingTrial(), nullptr);
    EXPECT_EQ(experiment.runner.GetCurrentTrial(), nullptr);
    EXPECT_EQ(Received(), RunCommands(Attempts(G_SIZE, ors, sizes, {0, 1, 2, 0, 1}), "30", G_SIZE, "2.5"));

    // The next run lets the task finish its trial first; no trial is recorded for it.
    run->pump = nullptr;
    Run(conditions, 0);
    EXPECT_EQ(experiment.runner.nTaskState, STATE_ITI);
    Pairs all = Trials();
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(Pairs(all.begin() + 4, all.end()), (Pairs{{0, 2}, {1, 2}, {2, 2}, {0, 3}, {1, 3}, {2, 3}}));
    for (int i = 0; i < doc->GetTrialCount(); ++i)
        EXPECT_EQ(doc->GetTrial(i)->eventCodes, (std::vector<uint8_t>{0, 3, 0})) << "trial " << i;
    EXPECT_EQ(Accumed(), 4);
    EXPECT_EQ(Received(), RunCommands(Attempts(G_SIZE, ors, sizes, {0, 1, 2, 0, 1, 2}), "30", G_SIZE, "2.5"));
}

TEST_F(TestRunEndToEnd, EveryRunLeavesTheSpikeCounterStopped)
{
    const std::string conditions = "OR 0, SIZE 1\nOR 45, SIZE 2\n";
    const int stops = SpikeSim().stops;
    Run(conditions, 0);
    EXPECT_GT(SpikeSim().starts, 0); // each trial started it
    EXPECT_EQ(SpikeSim().stops, stops + 1);
    // A run stopped after its first trial ends the same way.
    run->pump = [&](int maxWaitMs) {
        PumpEvents(maxWaitMs);
        if (run->IsRunning() && doc->testRunning && doc->GetTrialCount() > 4)
            run->Stop();
        return true;
    };
    Run(conditions, 1);
    EXPECT_EQ(doc->GetTrialCount(), 5);
    EXPECT_EQ(SpikeSim().stops, stops + 2);
}

// A fixation task through whole trials against the stand-in renderer and the simulated
// devices: the simulated eye rests at the centre, the driver's board gives the key, the
// spike counter fires; the trial records all of it.
TEST_F(TestRunEndToEnd, AFixationTaskRecordsEventsSpikesAndEyeSamples)
{
    const char* task = R"TASK(int tStart;
int TaskEntry()
{
    if (nTaskState == ITI) {
        tStart = nCurrentTime;
        TurnOnTarget();
        nTaskState = FOREP;
    } else if (nTaskState == FOREP) {
        if (!OnFP()) {
            if (nCurrentTime - tStart > 3000) { nTaskState = ITI; return TRIAL_FAIL; }
        } else if (nCurrentTime - tStart >= 400) {
            TurnOnFig();
            tStart = nCurrentTime;
            nTaskState = TARGET_ON;
        }
    } else if (nTaskState == TARGET_ON) {
        if (nKeyPos == KEY_LEFT) {
            SaveKeyState(nKeyPos);
            TurnOffFig();
            TurnOffTarget();
            DoHitAct();
            SaveResponse(1, nCurrentTime - tStart, 0, 0, TRIAL_END);
            nTaskState = ITI;
            return TRIAL_HIT;
        }
        if (nCurrentTime - tStart > 3000) { nTaskState = ITI; return TRIAL_MISS; }
    }
    return TRIAL_CONTINUE;
}
)TASK";
    // Task states, as the task language names them.
    enum { kIti = 0, kTargetOn = 2, kForep = 3 };
    std::string path = dir + "/fixation.c";
    orvix_test::WriteFile(path, task);
    doc->GetExpParam("TaskFile", CParam(nullptr, "")) = path.c_str();
    experiment.runner.RequestReload();
    ASSERT_TRUE(experiment.runner.HasProgram()) << orvix_test::ReadFile(logPath);
    kernel::Board().StrobeKey('C');

    CTrial trial;
    trial.commandIndex = 0;
    experiment.runner.SetPendingTrial(&trial);
    int outcome = TRIAL_CONTINUE;
    bool struck = false;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (outcome == TRIAL_CONTINUE && std::chrono::steady_clock::now() < until) {
        outcome = experiment.runner.Step();
        experiment.runner.SampleEye();
        if (experiment.runner.nTaskState == kTargetOn && !struck) {
            kernel::Board().StrobeKey('L');
            struck = true;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(outcome, TRIAL_HIT) << orvix_test::ReadFile(logPath);
    EXPECT_EQ(experiment.runner.GetCurrentTrial(), nullptr);
    // ITI, FOREP, FIG_ON (from TurnOnFig), TARGET_ON, FIG_OFF, ITI.
    EXPECT_EQ(std::vector<int>(trial.eventCodes.begin(), trial.eventCodes.end()),
              (std::vector<int>{kIti, kForep, EVENT_FIG_ON, kTargetOn, EVENT_FIG_OFF, kIti}));
    EXPECT_GE(trial.length, 400u);
    EXPECT_EQ(trial.responses[0], 1);
    EXPECT_EQ(trial.keyCodes, (std::vector<uint16_t>{'L'}));
    // About 120 eye records a second and 4 x 5 spikes a second over 0.4 s and more.
    EXPECT_GT(trial.hSamples.size(), 10u);
    EXPECT_EQ(trial.hSamples.size(), trial.vSamples.size());
    EXPECT_GT(trial.spikeTimes.size(), 3u);
    EXPECT_EQ(trial.spikeTimes.size(), trial.spikeMasks.size());
    Lines commands = Received();
    EXPECT_NE(std::find(commands.begin(), commands.end(), Object(G_FIGURE, "1")), commands.end());
    EXPECT_NE(std::find(commands.begin(), commands.end(), Object(G_TARGET, "0")), commands.end());
}
