// A fixation task runs pass by pass, as the main loop runs it, through a hit and a miss
// into trials that the document keeps.
#include "fixation_task.h"
#include "runner_fixture.h"

using namespace orvix;

namespace {
const std::string kFixationTask = FixationTask(500);
} // namespace

class WholeTrialTest : public RunnerTest {
protected:
    // Passes 10 ms apart, each a step and an eye sample, until the trial's outcome; the
    // key is pressed in the pass after the target came on. Returns the outcome.
    int RunTrial(CTrial* trial, uint8_t key)
    {
        runner.SetPendingTrial(trial);
        for (int pass = 0; pass < 1000; ++pass) {
            if (pass == 5)
                SendEye({{2860, 1305}, {2861, 1305}, {2862, 1306}});
            int outcome = runner.Step();
            runner.SampleEye();
            if (outcome != TRIAL_CONTINUE)
                return outcome;
            if (runner.nTaskState == 2 && trovik.keys.empty())
                trovik.keys.push_back(key);
            fakeClock.AdvanceMs(10);
        }
        ADD_FAILURE() << "the trial did not end";
        return -1;
    }
};

TEST_F(WholeTrialTest, AHitAndAMissBecomeRecordedTrials)
{
    struct Redraws : IDocObserver {
        int count = 0;
        void OnUpdate(IDocObserver*, const DocUpdate& u) override { count += u.hint == HINT_EYE_REDRAW; }
    } view;
    doc->AddObserver(&view);
    doc->GetBehavParam("FixTime", CParam(nullptr, 200));
    LoadTask(kFixationTask);
    runner.ResetActionCounts();
    EyeAt(2860, 1305); // 6 and -1 degrees: inside the window around the target
    sent.clear();
    uint32_t t0 = TickMs();
    // Two spikes 205 ms and 10 ms after the counter started with the trial.
    SpikeSim().reads.push_back({1, 2050, 0, 2, 100, 0});

    auto first = std::make_unique<CTrial>();
    ASSERT_EQ(RunTrial(first.get(), 'L'), TRIAL_HIT);
    EXPECT_EQ(runner.GetCurrentTrial(), nullptr);
    EXPECT_TRUE(runner.IsIdle());
    doc->AddTrial(first.release());
    fakeClock.AdvanceMs(1000);
    auto second = std::make_unique<CTrial>();
    ASSERT_EQ(RunTrial(second.get(), 'R'), TRIAL_MISS);
    doc->AddTrial(second.release());

    ASSERT_EQ(doc->GetTrialCount(), 2);
    const CTrial& hit = *doc->GetTrial(0);
    EXPECT_EQ(hit.GetStartTime(), t0);
    // ITI at the start, FOREP in the same pass; after 200 ms of fixation the figure and
    // the target; the key 10 ms later turns the figure off and ends in ITI.
    EXPECT_EQ(hit.eventCodes, (std::vector<uint8_t>{0, 3, 6, 2, 7, 0}));
    EXPECT_EQ(hit.eventTimes, (std::vector<uint32_t>{0, 0, 200, 200, 210, 210}));
    EXPECT_EQ(hit.GetLength(), 210u);
    EXPECT_EQ(hit.keyCodes, (std::vector<uint16_t>{'L'}));
    EXPECT_EQ(hit.keyTimes, (std::vector<uint32_t>{210}));
    EXPECT_EQ(hit.responses, (std::array<int32_t, 4>{1, 10, 0, 0}));
    EXPECT_EQ(hit.response5, TRIAL_END);
    EXPECT_EQ(hit.spikeMasks, (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(hit.spikeTimes, (std::vector<uint32_t>{2050, 100}));
    EXPECT_EQ(hit.hSamples, (std::vector<int16_t>{2860, 2861, 2862}));
    EXPECT_EQ(hit.vSamples, (std::vector<int16_t>{1305, 1305, 1306}));
    EXPECT_EQ(hit.DtoAH, 0.02f);

    const CTrial& miss = *doc->GetTrial(1);
    EXPECT_EQ(miss.GetStartTime(), t0 + 210 + 1000);
    EXPECT_EQ(miss.eventCodes, (std::vector<uint8_t>{0, 3, 6, 2, 7, 0}));
    EXPECT_EQ(miss.keyCodes, (std::vector<uint16_t>{'R'}));
    EXPECT_EQ(miss.responses, (std::array<int32_t, 4>{0, 10, 0, 0}));
    EXPECT_TRUE(miss.spikeMasks.empty());

    // Per trial: target on, figure reset and on (acknowledged), figure off, target off.
    std::vector<SentCommand> one = {{G_TARGET, "1", false, 0}, {G_RESET, "0", false, 0}, {G_FIGURE, "1", true, 0},
                                    {G_FIGURE, "0", true, 0},  {G_TARGET, "0", false, 0}};
    std::vector<SentCommand> both = one;
    both.insert(both.end(), one.begin(), one.end());
    EXPECT_EQ(sent, both);
    EXPECT_EQ(orvix_test::ToHex(trovik.written), "03 00 01 00"); // hit pulse, miss pulse
    EXPECT_EQ(runner.GetHitCount(), 1);
    EXPECT_EQ(runner.GetActionCount(), 2);
    EXPECT_EQ(SpikeSim().starts, 2);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(view.count, 2); // the eye view redraws when a trial returns to ITI
    doc->RemoveObserver(&view);
}
