// The demonstration of the run command: the example task with the simulated subject, a
// sweep of the stimulus through the real test run and task runner on a fake clock, then an
// analysis of variance of the reaction time on the Statistics page, the simulated cell's
// tuning curve on the response graph, and a calibration of the eye during the run. And the
// worked example of the task language's guide, with the same subject.
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <dlfcn.h>
#include <map>
#include <regex>
#include <set>

#include "analysis/stat.h"
#include "analysis/statjob.h"
#include "document/responsegraph.h"
#include "platform/devices/serialport.h"
#include "platform/devices/simsubject.h"
#include "runner/testrun.h"
#include "runner/trialengine.h"
#include "tests/io/io_fixture.h"
#include "views/fpview.h"

using namespace orvix;

namespace {

// The board's key as the subject holds it.
class CSubjectKey : public IDevice {
public:
    explicit CSubjectKey(char& key) : key_(key) {}
    uint32_t DeviceIoControl(uint32_t code, const void*, uint32_t, void* out, uint32_t outSize,
                             uint32_t& returned) override
    {
        if (code == IOCTL_TROVIK_GET_KEY && outSize >= 1) {
            *static_cast<uint8_t*>(out) = static_cast<uint8_t>(key_);
            returned = 1;
        }
        return 0;
    }

private:
    char& key_;
};

// The demonstration on a fake clock: the example task and command file, the simulated
// subject on the key, the simulated eye tracker and spike counter, the default settings.
class DemoTest : public IoTest {
protected:
    void TearDown() override
    {
        doc->RemoveObserver(&views);
        experiment.runner.frameHooks.fpCircle = nullptr;
        deviceIO.onCommandSent = nullptr;
        deviceIO.sendHookForTest = nullptr;
        IoTest::TearDown();
    }

    // `task`: a file of examples/. Each command is completed `repeats` times.
    void RunDemonstration(int repeats, const char* task = "Task.c")
    {
        UseFakeClock().SetMs(100000);
        RegisterDevice(kTrovikDeviceName, [this](uint32_t&) { return std::unique_ptr<IDevice>(new CSubjectKey(key)); });
        SpikeSim().seed = 7;
        for (const char* name : {"RESET", "TARGET", "FIGURE", "TPOSH", "TPOSV", "OR"})
            doc->Table(KIND_GRAPH).Add(new CParam(name, "0"));
        PointAt(ClosedPort(), kSimulatedSerialPort);
        deviceIO.SetAnalogLibraryName("orvix-no-such-library");
        ASSERT_TRUE(deviceIO.Open(doc.get()));
        deviceIO.SetRendererRunningForTest(true);
        deviceIO.sendHookForTest = [](int, const std::string&, bool) {};
        experiment.FeedSimulators(&subject); // the cell and the subject, as in the program
        // What the eye view is told: 'C' a fixation circle drawn, 'R' cleared.
        experiment.runner.frameHooks.fpCircle = [this](int x, int y, int r, int colour) {
            views.shown += 'C';
            views.circles.push_back({x, y, r, colour});
        };
        doc->AddObserver(&views);

        std::string examples = std::string(ORVIX_TEST_SOURCE_DIR) + "/../../examples";
        CTestSettings settings;
        settings.Load(*doc);
        settings.taskFile = examples + "/" + task;
        settings.useCustomItems = 1;
        settings.customItems = examples + "/mytest.oxq"; // OR -20 .. 20 in 8 steps
        settings.accumTimes = repeats;
        settings.isRandom = 1;
        settings.isBalanced = 1;
        settings.Save(*doc);
        experiment.runner.LoadParameters(doc.get());
        ASSERT_TRUE(experiment.runner.HasProgram()) << orvix_test::ReadFile(logPath);
        experiment.runner.SetRunFlag(1);

        CTaskRunnerEngine engine(experiment.runner);
        CTestRun run(*doc, engine);
        run.seed = 5;
        run.pump = [&](int) {
            fakeClock.AdvanceMs(2);
            subject.Tick(TickMs());
            if (everyPass)
                everyPass();
            return true;
        };
        run.OnStart(settings);
        // A repeated trial is kept with its channels cleared.
        int completed = 0;
        for (int i = 0; i < doc->GetTrialCount(); ++i)
            completed += doc->GetTrial(i)->activeChannels != 0;
        ASSERT_EQ(completed, 8 * repeats);
    }

    // The views: drawing a new trial takes a few ms, as on a screen, so that time passes
    // between one trial's end and the next one's start.
    struct CViews : IDocObserver {
        explicit CViews(DemoTest& test) : test(test) {}
        void OnUpdate(IDocObserver*, const DocUpdate& update) override
        {
            if (update.hint == HINT_EYE_REDRAW)
                shown += 'R';
            if (update.hint == HINT_TRIAL_ADDED)
                test.fakeClock.AdvanceMs(5);
        }
        DemoTest& test;
        std::string shown;
        std::vector<std::array<int, 4>> circles;
    } views{*this};
    std::function<void()> everyPass; // after each pass, as the display would
    char key = 'C';
    CSimulatedSubject subject{CSimulatedSubject::Settings(), 99, [this](char k) { key = k; }, false};
};

} // namespace

TEST_F(DemoTest, GivesAPsychometricCurveAndReactionTimes)
{
    RunDemonstration(13); // 104 trials

    // Outcome (1 EARLY, 2 HIT, 3 MISS), reaction time and OR of every trial.
    std::map<int, int> outcomes;
    std::map<int, std::pair<int, int>> hitsByStrength; // |OR| -> hits, answered
    int timely = 0, timed = 0;
    for (int i = 0; i < doc->GetTrialCount(); ++i) {
        const CTrial& t = *doc->GetTrial(i);
        // The eye samples of the trial's own time, one every 1000/60 ms from its start: within
        // one sample of its length, the last one not after its end.
        const double samples = static_cast<double>(t.hSamples.size()), bin = 1000.0 / 60;
        EXPECT_NEAR(samples * bin, t.GetLength(), bin + 1e-9) << "trial " << i;
        EXPECT_LE((samples - 1) * bin, t.GetLength() + 1e-9) << "trial " << i;
        ++outcomes[t.responses[0]];
        if (t.responses[0] == 1)
            continue;
        auto& [hits, answered] = hitsByStrength[std::abs(t.responses[2])];
        hits += t.responses[0] == 2;
        ++answered;
        ++timed;
        timely += t.responses[1] >= 150 && t.responses[1] <= 600;
    }
    EXPECT_GT(outcomes[1], 0) << "early";
    EXPECT_GT(outcomes[2], 0) << "hit";
    EXPECT_GT(outcomes[3], 0) << "miss";
    auto rate = [&](int strength) {
        auto [hits, answered] = hitsByStrength[strength];
        return answered ? double(hits) / answered : 0.0;
    };
    EXPECT_GT(rate(20), rate(2));
    EXPECT_GT(timely, timed * 3 / 4);

    // The reaction time by the stimulus on the Statistics page.
    std::string lib = std::string(ORVIX_TEST_BINARY_DIR) + "/../../app/libtarsel.so";
    void* library = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    {
        CStat page(doc.get(), library);
        page.UpdateVariableLists(-1);
        auto* variables = page.findChild<QListWidget*>(QStringLiteral("ctl%1").arg(CStat::IDC_VARIABLES));
        auto pick = [&](const char* name, int button) {
            auto found = variables->findItems(name, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1) << name;
            variables->setCurrentItem(found[0]);
            page.findChild<QPushButton*>(QStringLiteral("ctl%1").arg(button))->click();
        };
        pick("RTime", CStat::IDC_SET_DEPEND);
        pick("OR", CStat::IDC_ADD_FACTOR);
        page.findChild<QPushButton*>(QStringLiteral("ctl%1").arg(CStat::IDC_ESTIMATE))->click();
        // The analysis runs beside the interface; the result comes through the event loop.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !page.IsBusy(); }, 30000));
        std::string output;
        for (const std::string& line : page.OutputLines())
            output += line + "\n";
        EXPECT_NE(output.find("Source"), std::string::npos) << output;
        EXPECT_NE(output.find("Error"), std::string::npos) << output;
    }
    EXPECT_TRUE(WaitForStatJobs(30000));
    dlclose(library);
}

TEST_F(DemoTest, DrawsTheCellsTuningCurveOnTheResponseGraph)
{
    RunDemonstration(6); // 48 trials
    CResponseGraph graph(*doc);
    graph.OnUpdate(DocUpdate{HINT_REBUILD, nullptr}); // as the view does on a new document
    const CResponseTables& t = doc->responses;
    ASSERT_EQ(t.xValues, (std::vector<std::string>{"-20", "-10", "-5", "-2", "2", "5", "10", "20"}));
    // Spike rates against OR: one figure of one curve.
    ASSERT_EQ(t.mean.Figures(), 1);
    ASSERT_EQ(t.mean.Rows(), 1);
    ASSERT_EQ(t.mean.Columns(), 8);

    // Every spike is its trial's own, timed from that trial's start (within its last, truncated
    // ms), in time order, and the rates count the spikes of the 800 ms window.
    for (int i = 0; i < doc->GetTrialCount(); ++i) {
        SCOPED_TRACE("trial " + std::to_string(i));
        const CTrial& trial = *doc->GetTrial(i);
        ASSERT_TRUE(std::is_sorted(trial.spikeTimes.begin(), trial.spikeTimes.end()));
        if (!trial.spikeTimes.empty()) {
            EXPECT_LT(trial.spikeTimes.back(), (trial.GetLength() + 1) * 10);
        }
        if (trial.responses[0] == 1)
            continue; // early: no figure, no rate
        int64_t on = trial.GetFigOnTime();
        int counts[8] = {};
        for (size_t k = 0; k < trial.spikeTimes.size(); ++k)
            for (int c = 0; c < 8; ++c)
                counts[c] += trial.spikeTimes[k] / 10 >= on && trial.spikeTimes[k] / 10 <= on + 800
                    && (trial.spikeMasks[k] & (1 << c));
        int all = 0;
        for (int c = 0; c < 8; ++c) {
            EXPECT_FLOAT_EQ(trial.GetChannelResponse(c), counts[c] / 0.8f) << "channel " << c;
            all += counts[c];
        }
        // Every channel fires, so the mean of the eight active ones is the cell's rate too.
        EXPECT_NEAR(trial.GetChannelResponse(-1), all / 8.0 / 0.8, 1e-3);
    }

    // The cell's rate at each OR, worked out by hand from 5 + 25 exp(-(OR - 10)^2 / 50) spikes/s,
    // on the selected channel (1 by default) and on the mean of all channels (-1), which
    // averages eight channels' counts.
    const double expected[] = {5.00, 5.01, 5.28, 6.40, 11.95, 20.16, 30.00, 8.38};
    for (int channels : {1, 8}) {
        SCOPED_TRACE("channel " + std::to_string(doc->GetSelectedChannel()));
        int peak = 0;
        for (int x = 0; x < t.NX(); ++x) {
            SCOPED_TRACE("OR " + t.xValues[x]);
            // Every answered trial has its rate: an early answer has no figure, and nothing
            // else is left out.
            int answered = 0;
            for (int i = 0; i < doc->GetTrialCount(); ++i) {
                const CTrial& trial = *doc->GetTrial(i);
                answered += trial.responses[2] == std::stoi(t.xValues[x]) && trial.responses[0] != 1;
            }
            ASSERT_GT(answered, 0);
            EXPECT_EQ(t.count.At(0, 0, x), answered);
            // The mean of n Poisson counts over 0.8 s lies within 4 standard errors of the rate.
            double sem = std::sqrt(expected[x] / 0.8 / answered / channels);
            EXPECT_NEAR(t.mean.At(0, 0, x), expected[x], 4 * sem + 0.5);
            // With its error bar inside the graph's default range of 0 to 50.
            EXPECT_LT(t.mean.At(0, 0, x) + t.error.At(0, 0, x), 50.0f);
            if (t.mean.At(0, 0, x) > t.mean.At(0, 0, peak))
                peak = x;
        }
        EXPECT_EQ(t.xValues[peak], "10");
        if (channels == 1) {
            doc->OnSelectChannel(1); // the same channel again: the mean
            ASSERT_EQ(doc->GetSelectedChannel(), -1);
            graph.OnUpdate(DocUpdate{HINT_REBUILD, nullptr});
        }
    }
}

TEST_F(DemoTest, ShowsTheFixationWindowWhileTheFixationPointIsOn)
{
    RunDemonstration(1);
    // FPWinRad (300, in 1/60 degree) around TPOSH, TPOSV, drawn once a trial and cleared
    // when the trial is over, before the next one draws it again.
    EXPECT_TRUE(std::regex_match(views.shown, std::regex("(CR)+"))) << views.shown;
    EXPECT_GE(views.circles.size(), 8u);
    for (const auto& circle : views.circles)
        EXPECT_EQ(circle, (std::array<int, 4>{0, 0, 300, 10}));
}

TEST_F(DemoTest, CalibratesTheEyeDuringARun)
{
    // The eye view as in the program: it hears the task's FPUpdate and takes the eye position
    // at its display ticks. Calibrate is pressed while the eye holds the third trial's point.
    CFPView eye(*doc, experiment.runner);
    int pressedAt = -1, doneAt = -1;
    everyPass = [&] {
        eye.Refresh();
        if (pressedAt < 0 && doc->GetTrialCount() == 2 && eye.Calibration().IsSampling()) {
            eye.OnCalibrate();
            pressedAt = doc->GetTrialCount();
        } else if (pressedAt >= 0 && doneAt < 0 && !eye.IsCalibrating()) {
            doneAt = doc->GetTrialCount();
        }
    };
    RunDemonstration(2); // 16 trials
    ASSERT_GE(pressedAt, 0);
    ASSERT_GE(doneAt, 0) << "still at step " << eye.Calibration().Step();
    // A step on each trial's fixation: the trial in progress, then one per step. Here the
    // trial in progress ends early (an answer before the figure), so the next one completes
    // its samples.
    EXPECT_LE(doneAt - pressedAt, 6);

    // The simulated eye sees straight ahead at (2600, 1250) raw, 55 raw units per degree to
    // the right and -28 per degree up, with no cross-talk: H0 -2600, V0 -1250, DtoAH 1/55,
    // DtoAV -1/28 and no cross terms.
    auto behav = [&](const char* name) { return doc->GetBehavParam(name, CParam(name, 0)).GetDouble(); };
    EXPECT_NEAR(behav("H0"), -2600, 3);
    EXPECT_NEAR(behav("V0"), -1250, 3);
    EXPECT_NEAR(behav("DtoAH"), 1.0 / 55, 0.0003);
    EXPECT_NEAR(behav("DtoAV"), -1.0 / 28, 0.0006);
    EXPECT_NEAR(behav("DtoAH2"), 0.0, 0.0005);
    EXPECT_NEAR(behav("DtoAV2"), 0.0, 0.0005);
    // So the eye is seen where it looks: on the calibration's places and between them.
    for (auto [h, v] : {std::pair{0.0, 0.0}, {-4.0, 0.0}, {4.0, 0.0}, {0.0, -4.0}, {0.0, 4.0}, {2.0, -3.0}}) {
        double rawH = CSimulatedSubject::kRawH0 + h * CSimulatedSubject::kRawPerDegH;
        double rawV = CSimulatedSubject::kRawV0 + v * CSimulatedSubject::kRawPerDegV;
        double seenH = (rawH + behav("H0")) * behav("DtoAH") + (rawV + behav("V0")) * behav("DtoAH2");
        double seenV = (rawH + behav("H0")) * behav("DtoAV2") + (rawV + behav("V0")) * behav("DtoAV");
        EXPECT_NEAR(seenH, h, 0.1) << h << ", " << v;
        EXPECT_NEAR(seenV, v, 0.1) << h << ", " << v;
    }
    // The fixation point is back where it was.
    EXPECT_EQ(doc->GetGraphParam("TPOSH").GetInt(), 0);
    EXPECT_EQ(doc->GetGraphParam("TPOSV").GetInt(), 0);
}

TEST_F(DemoTest, TheWorkedExampleRewardsAHeldFixationAfterAVariableDelay)
{
    experiment.runner.SeedRandom(3);
    RunDemonstration(2, "Fixation.c");
    std::set<int> delays;
    int rewarded = 0;
    for (int i = 0; i < doc->GetTrialCount(); ++i) {
        SCOPED_TRACE("trial " + std::to_string(i));
        const CTrial& t = *doc->GetTrial(i);
        if (t.responses[0] != 2) {
            // Looked away, during the delay (1) or the figure (3): kept, repeated, no rate.
            EXPECT_TRUE(t.responses[0] == 1 || t.responses[0] == 3) << t.responses[0];
            EXPECT_EQ(t.activeChannels, 0);
            EXPECT_EQ(t.GetChannelResponse(doc->mainChannel), -1.0f);
            continue;
        }
        ++rewarded;
        delays.insert(t.responses[1]);
        EXPECT_GE(t.responses[1], 500);
        EXPECT_LE(t.responses[1], 1500);
        // The figure stayed for the analysis window: the trial has its rates ("Resp").
        EXPECT_GE(t.GetChannelResponse(doc->mainChannel), 0.0f);
    }
    EXPECT_EQ(rewarded, 16);
    EXPECT_EQ(experiment.runner.GetHitCount(), 16); // one reward pulse each
    EXPECT_GT(delays.size(), 10u);                   // drawn anew for each trial
}
