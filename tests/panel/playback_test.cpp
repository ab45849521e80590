// Replaying recorded trials on the renderer with a fake clock.
#include <QSlider>
#include <QTest>

#include "panel/playback.h"
#include "tests/panel/panel_fixture.h"

using namespace orvix;
using orvix_test::Sent;

namespace {

// A trial of 100 ms with hand-picked calibration: sample i gives
// h = (V + V0) x 0.25 + (H + H0) x 0.125 = (8 - 4) x 0.25 + (8i + 8) x 0.125 = i + 2 degrees,
// v = (H + H0) x 0.5 + (V + V0) x 0.25 = (8i + 8) x 0.5 + 1 = 4i + 5 degrees.
CPlaybackTrial HandTrial(int commandIndex)
{
    CPlaybackTrial t;
    t.length = 100;
    t.commandIndex = commandIndex;
    t.dtoAH = 0.125f;
    t.dtoAH2 = 0.25f;
    t.dtoAV = 0.25f;
    t.dtoAV2 = 0.5f;
    t.h0 = 8;
    t.v0 = -4;
    for (int i = 0; i < 10; ++i) {
        t.eyeH.push_back(static_cast<int16_t>(8 * i));
        t.eyeV.push_back(8);
    }
    t.eventTimes = {0, 30, 70};
    t.eventCodes = {1, 6, 7};
    t.keyTimes = {50};
    t.keyCodes = {66};
    return t;
}

} // namespace

class PlayBackTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        eye = AddGraph("FPPOS", "0");
        target = AddGraph("TARGET", "0");
        figure = AddGraph("FIGURE", "0");
        key = AddGraph("CURSORDEPTH", "0");
        ori = AddGraph("ORI", "0");
        records.commands = {{CParam("ORI", 45), CParam("NOTAGRAPH", 1), CParam("TARGET", "1")}};
        records.trials.resize(1);
        records.trials[0].play = HandTrial(0);
        page = Panel()->PlayBackPage();
        Panel()->UpdatePages();
        clock.SetMs(1000);
    }
    // Runs passes 1 ms apart until the replay ends (at most the given number of passes).
    void RunPasses(int passes)
    {
        for (int i = 0; i < passes && page->IsPlaying(); ++i) {
            clock.AdvanceMs(1);
            page->RunPass();
        }
    }
    std::vector<Sent> SentTo(int id) const
    {
        std::vector<Sent> out;
        for (const Sent& s : sent)
            if (s.objectId == id)
                out.push_back(s);
        return out;
    }

    int eye = -1, target = -1, figure = -1, key = -1, ori = -1;
    CPlayBack* page = nullptr;
};

TEST_F(PlayBackTest, ReplaysCommandEyeFigureAndKeyAtTheRecordedTimes)
{
    page->StartButton()->click();
    ASSERT_TRUE(page->IsPlaying());
    EXPECT_EQ(page->StartButton()->text(), "&Stop");
    // Scene reset, then the stimulus command's graph parameters in order.
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(std::vector<Sent>(sent.begin(), sent.begin() + 4),
              (std::vector<Sent>{{target, "0", false}, {figure, "0", false}, {ori, "45", false}, {target, "1", false}}));

    sent.clear();
    clock.SetMs(1000);
    page->RunPass();
    RunPasses(200);
    EXPECT_FALSE(page->IsPlaying());
    EXPECT_EQ(page->StartButton()->text(), "&Start");

    // Eye samples every 16.6667 ms (single precision): due at 0, 16.67, 33.33, 50.0002,
    // 66.67, 83.33 ms; sample 6 would be due at 100.0002 ms, after the trial's 100 ms.
    auto eyes = SentTo(eye);
    ASSERT_EQ(eyes.size(), 6u);
    const uint32_t due[6] = {1000, 1017, 1034, 1051, 1067, 1084};
    for (int i = 0; i < 6; ++i) {
        std::string text = std::to_string(60 * (i + 2)) + " " + std::to_string(60 * (4 * i + 5)) + " 0";
        EXPECT_EQ(eyes[i].text, text) << i;
        EXPECT_EQ(eyes[i].atMs, due[i]) << i;
        EXPECT_FALSE(eyes[i].wait);
    }
    auto figures = SentTo(figure);
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_EQ(figures[0].text, "1");
    EXPECT_EQ(figures[0].atMs, 1030u);
    EXPECT_EQ(figures[1].text, "0");
    EXPECT_EQ(figures[1].atMs, 1070u);
    auto keys = SentTo(key);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].text, "66");
    EXPECT_EQ(keys[0].atMs, 1050u);
    EXPECT_EQ(sent.size(), 9u);
}

TEST_F(PlayBackTest, StopEndsTheReplayAtOnce)
{
    records.trials[0].play.length = 100000;
    page->StartButton()->click();
    RunPasses(40);
    ASSERT_TRUE(page->IsPlaying());
    page->StartButton()->click();
    EXPECT_FALSE(page->IsPlaying());
    EXPECT_EQ(page->StartButton()->text(), "&Start");
    size_t count = sent.size();
    clock.AdvanceMs(1000);
    page->RunPass();
    EXPECT_EQ(sent.size(), count);
}

TEST_F(PlayBackTest, PlaysOnFromTheSliderThroughTheLastTrial)
{
    records.trials.resize(3);
    records.trials[1].play = HandTrial(0);
    records.trials[1].play.h0 = 1000; // only trial 0's offsets count
    records.trials[2].play = HandTrial(0);
    page->UpdateRange();
    EXPECT_EQ(page->Slider()->maximum(), 2);
    page->Slider()->setValue(1);
    page->StartButton()->click();
    RunPasses(1000);
    EXPECT_FALSE(page->IsPlaying());
    EXPECT_EQ(page->Slider()->value(), 2);
    // Trials 1 and 2, each reset and commanded. Without trial 0 the offsets stay 0:
    // h = 8 x 0.25 + 8i x 0.125 = i + 2 and v = 8i x 0.5 + 8 x 0.25 = 4i + 2 degrees.
    EXPECT_EQ(SentTo(ori).size(), 2u);
    auto eyes = SentTo(eye);
    ASSERT_EQ(eyes.size(), 12u);
    EXPECT_EQ(eyes[0].text, "120 120 0");
    EXPECT_EQ(eyes[1].text, "180 360 0");
    EXPECT_EQ(eyes[6].text, "120 120 0");
}

TEST_F(PlayBackTest, RefusesWithoutRendererOrDuringATest)
{
    deviceIO.SetRendererRunningForTest(false);
    page->StartButton()->click();
    EXPECT_FALSE(page->IsPlaying());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Inventor is not running.\nSorry, I can't play back.");

    deviceIO.SetRendererRunningForTest(true);
    doc->testRunning = 1;
    page->StartButton()->click();
    EXPECT_FALSE(page->IsPlaying());
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(PlayBackTest, StopWorksAfterTheRendererWentAway)
{
    records.trials[0].play.length = 100000;
    page->StartButton()->click();
    deviceIO.SetRendererRunningForTest(false);
    page->StartButton()->click();
    EXPECT_FALSE(page->IsPlaying());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PlayBackTest, ACommandIndexOutsideTheListSendsNoCommand)
{
    records.trials[0].play.commandIndex = 1; // one command only
    page->StartButton()->click();
    EXPECT_EQ(sent, (std::vector<Sent>{{target, "0", false}, {figure, "0", false}}));
    records.trials[0].play.commandIndex = -1;
    page->StartButton()->click();
    sent.clear();
    page->StartButton()->click();
    EXPECT_EQ(sent, (std::vector<Sent>{{target, "0", false}, {figure, "0", false}}));
    page->StartButton()->click();
}

TEST_F(PlayBackTest, TheReplayOutlivesTheTrialsItStartedWith)
{
    // Opening another file replaces and deletes the trials during a replay.
    auto* old = new orvix_test::CFakeRecords(records);
    doc->SetTrialRecords(old);
    page->StartButton()->click();
    RunPasses(20);
    orvix_test::CFakeRecords empty;
    doc->SetTrialRecords(&empty);
    delete old;
    Panel()->UpdatePages();
    RunPasses(200);
    EXPECT_FALSE(page->IsPlaying());
    EXPECT_EQ(SentTo(eye).size(), 6u);
    doc->SetTrialRecords(&records);
}

TEST_F(PlayBackTest, TheTimerDrivesTheReplay)
{
    records.trials[0].play.length = 5;
    page->StartButton()->click();
    // The page's own timer runs the passes; the fake clock moves between them.
    for (int i = 0; i < 1000 && page->IsPlaying(); ++i) {
        clock.AdvanceMs(1);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qWait(1);
    }
    EXPECT_FALSE(page->IsPlaying());
    EXPECT_EQ(SentTo(eye).size(), 1u);
}
