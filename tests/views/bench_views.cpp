// The views' speed goals, measured headless (offscreen). A benchmark, not a test: run
// build/tests/views/bench_views [seconds per loop run].
//
// 1. The experiment loop must not feel the views: the same loop (a task step, eye sampling
//    from the simulated tracker, the pass hint, then the waiting events) runs once with no
//    window and once with the main window and its views shown; the p99 of the loop's turn
//    time with the window stays within 1.2 x the p99 without.
// 2. Trial view with 10,000 trials at 1920 x 1080: a scroll step repaints in under 16 ms
//    (median).
// 3. Eye view: a trail step repaints in under 2 ms (median).
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "model/trial.h"
#include "platform/devices/devicecall.h"
#include "platform/settings/registry.h"
#include "runner/experiment.h"
#include "tests/common/tempdir.h"
#include "tests/common/test_support.h"
#include "tests/runner/fixation_task.h"
#include "views/fpview.h"
#include "views/mainframe.h"
#include "views/orvixview.h"

using namespace orvix;

namespace {

struct Stats {
    double median = 0, p99 = 0, max = 0;
    size_t n = 0;
};

Stats Summarise(std::vector<int64_t> ns)
{
    Stats s;
    if (ns.empty())
        return s;
    std::sort(ns.begin(), ns.end());
    s.n = ns.size();
    s.median = ns[ns.size() / 2] / 1e6;
    s.p99 = ns[std::min(ns.size() - 1, ns.size() * 99 / 100)] / 1e6;
    s.max = ns.back() / 1e6;
    return s;
}

// A key that always reads centre: the task's trials end by their time-out.
class CCentreKey : public IDevice {
public:
    uint32_t DeviceIoControl(uint32_t, const void*, uint32_t, void* out, uint32_t outSize, uint32_t& returned) override
    {
        if (outSize >= 1) {
            *static_cast<uint8_t*>(out) = 'C';
            returned = 1;
        }
        return 0;
    }
};

// A recorded trial as the trial view meets it: 2 s, the figure at 500 ms, spikes on the
// channels, eye samples every 16.7 ms.
CTrial* SampleTrial(int i)
{
    auto* t = new CTrial;
    t->SetLength(2000);
    t->commandIndex = i % 3;
    t->repetition = i / 3;
    t->eventCodes = {3, EVENT_FIG_ON};
    t->eventTimes = {100, 500};
    for (int k = 0; k < 120; ++k) {
        t->spikeMasks.push_back(static_cast<uint16_t>(1u << (k % 8)));
        t->spikeTimes.push_back(static_cast<uint32_t>(k * 160 + (i % 7) * 10));
        t->hSamples.push_back(static_cast<int16_t>(2560 + (k * 7 + i) % 40 - 20));
        t->vSamples.push_back(static_cast<int16_t>(1280 + (k * 5 + i) % 40 - 20));
    }
    t->H0 = -2560;
    t->V0 = -1280;
    t->DtoAH = 0.02f;
    t->DtoAV = -0.04f;
    t->DtoAH2 = t->DtoAV2 = 0.0f;
    return t;
}

struct LoopResult {
    Stats turn, pass, events;
    long passes = 0;
    long trials = 0;
    long trailSegments = 0;
};

// The application's loop over one experiment: a pass, then the waiting events, turn after
// turn. The two configurations take turns in short blocks, so that whatever else the
// machine does falls on both alike; the window is made before and destroyed after each of
// its blocks.
class CLoopBench {
public:
    explicit CLoopBench(const std::string& dir)
    {
        ResetDeviceRegistry();
        RegisterDevice(kTrovikDeviceName, [](uint32_t&) { return std::unique_ptr<IDevice>(new CCentreKey); });
        experiment.Attach(&doc);
        const char* names[] = {"RESET", "TARGET", "FIGURE", "TPOSH", "TPOSV"};
        for (const char* name : names)
            doc.Table(KIND_GRAPH).Add(new CParam(name, "0"));
        doc.commandLines = {"OR 0", "OR 45", "OR 90"};
        doc.ParseCommandFile(kNoAngleOffset);
        doc.GetBehavParam("SGI", CParam(nullptr, "127.0.0.1"));
        doc.GetBehavParam("SerialPort", CParam(nullptr, "SIM")); // the simulated tracker, 120 records a second
        doc.GetBehavParam("FixTime", CParam(nullptr, 20));
        doc.GetBehavParam("FPWinRad", CParam(nullptr, 100000));
        setenv("ORVIX_RENDERER_PORT", "1", 1);
        CDeviceIO& io = experiment.deviceIO;
        io.SetAnalogLibraryName("orvix-no-such-library");
        io.Open(&doc);
        io.SetRendererRunningForTest(true);
        io.sendHookForTest = [](int, const std::string&, bool) {};
        std::string task = dir + "/task.c";
        orvix_test::WriteFile(task, FixationTask(50, "SaveResponse0"));
        doc.GetBehavParam("TaskFile", CParam(nullptr, task.c_str()));
        experiment.runner.LoadParameters(&doc);
        experiment.runner.SetRunFlag(1);
        trial_ = new CTrial;
        experiment.runner.SetPendingTrial(trial_);
    }
    ~CLoopBench()
    {
        experiment.runner.SetPendingTrial(nullptr);
        experiment.runner.EndTrial();
        delete trial_;
        experiment.deviceIO.sendHookForTest = nullptr;
        experiment.deviceIO.Close();
        experiment.Attach(nullptr);
    }
    bool Ready() { return experiment.runner.HasProgram(); }

    void Block(bool withWindow, double seconds)
    {
        Samples& out = withWindow ? window_ : bare_;
        std::unique_ptr<CMainFrame> frame;
        if (withWindow) {
            frame = std::make_unique<CMainFrame>(doc, experiment, std::vector<ICommandTarget*>{&doc});
            frame->resize(1600, 1000);
            frame->show();
            frame->LayoutPanes();
            QApplication::processEvents();
        }
        QElapsedTimer clock;
        clock.start();
        const int64_t end = static_cast<int64_t>(seconds * 1e9);
        int64_t last = clock.nsecsElapsed();
        while (last < end) {
            int outcome = experiment.runner.Step();
            experiment.runner.SampleEye();
            doc.UpdateAllViews(nullptr, HINT_PASS);
            if (outcome != TRIAL_CONTINUE) {
                // As the Test run stores a trial: the views hear of it with hint 2.
                trial_->commandIndex = static_cast<int>(out.trials % 3);
                doc.AddTrial(trial_);
                doc.UpdateAllViews(nullptr, HINT_TRIAL_ADDED, trial_);
                ++out.trials;
                trial_ = new CTrial;
                experiment.runner.SetPendingTrial(trial_);
            }
            int64_t passed = clock.nsecsElapsed();
            QCoreApplication::processEvents();
            int64_t now = clock.nsecsElapsed();
            out.turns.push_back(now - last);
            out.passes.push_back(passed - last);
            out.events.push_back(now - passed);
            last = now;
        }
        if (frame)
            out.trailSegments += frame->EyeView()->TrailSegmentsDrawn();
    }

    LoopResult Result(bool withWindow)
    {
        Samples& s = withWindow ? window_ : bare_;
        LoopResult r;
        r.passes = static_cast<long>(s.turns.size());
        r.trials = s.trials;
        r.trailSegments = s.trailSegments;
        r.turn = Summarise(std::move(s.turns));
        r.pass = Summarise(std::move(s.passes));
        r.events = Summarise(std::move(s.events));
        return r;
    }

    CExperiment experiment;
    COrvixDoc doc;

private:
    struct Samples {
        std::vector<int64_t> turns, passes, events;
        long trials = 0;
        long trailSegments = 0;
    };
    Samples bare_, window_;
    CTrial* trial_ = nullptr;
};

Stats TrialViewScroll()
{
    COrvixDoc doc;
    doc.commandLines = {"OR 0, SIZE 2", "OR 45, SIZE 2", "OR 90, SIZE 4"};
    doc.ParseCommandFile(kNoAngleOffset);
    for (int i = 0; i < 10000; ++i)
        doc.AddTrial(SampleTrial(i));
    COrvixView view(doc);
    view.resize(1920 + 20, 1080 + 20); // the cells' area 1920 x 1080 beside the scroll bar
    view.show();
    QApplication::processEvents();
    view.OnInitialUpdate();
    view.VScrollTo(5000);
    view.viewport()->repaint();
    std::vector<int64_t> steps;
    QElapsedTimer clock;
    for (int i = 0; i < 300; ++i) {
        clock.start();
        view.VScrollTo(view.FirstTrial() + (i % 2 ? -1 : 2));
        view.viewport()->repaint();
        steps.push_back(clock.nsecsElapsed());
    }
    fprintf(stdout, "  (viewport %dx%d px, %d cells a page)\n", view.viewport()->width(), view.viewport()->height(),
            view.Layout().columns * view.Layout().rowsPerPage);
    return Summarise(std::move(steps));
}

Stats EyeViewTrail(COrvixDoc& doc, CTaskRunner& runner)
{
    CFPView view(doc, runner);
    view.resize(300, 260);
    view.show();
    QApplication::processEvents();
    view.repaint();
    std::vector<int64_t> steps;
    QElapsedTimer clock;
    for (int i = 0; i < 2000; ++i) {
        float h = static_cast<float>((i * 37) % 200 - 100) / 10.0f;
        float v = static_cast<float>((i * 53) % 200 - 100) / 10.0f;
        clock.start();
        view.OnEyePosition(h, v, 0, 0, 0);
        view.Refresh();
        view.repaint();
        steps.push_back(clock.nsecsElapsed());
    }
    return Summarise(std::move(steps));
}

void Print(const char* what, const Stats& s)
{
    printf("%-44s median %8.4f ms   p99 %8.4f ms   max %8.3f ms   (%zu)\n", what, s.median, s.p99, s.max, s.n);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    orvix_test::ScopedTempDir temp("orvix-bench-views");
    const std::string& dir = temp.Path();
    setenv("ORVIX_REGISTRY", (dir + "/Orvix.reg").c_str(), 1);
    setenv("ORVIX_INSTANCES", (dir + "/instances").c_str(), 1);
    if (!getenv("XDG_RUNTIME_DIR"))
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    QApplication app(argc, argv);
    ReloadRegistry();
    double seconds = argc > 1 ? atof(argv[1]) : 5.0;
    bool ok = true;

    printf("1. The experiment loop, %.1f s each in blocks of 0.5 s, simulated eye tracker, offscreen\n", seconds);
    LoopResult bare, shown;
    {
        CLoopBench bench(dir);
        if (!bench.Ready()) {
            fprintf(stderr, "the task did not compile\n");
            return 2;
        }
        // A third argument "window" or "bare" runs that configuration only (for a profiler).
        std::string only = argc > 2 ? argv[2] : "";
        for (int block = 0; block < 2 * std::max(1, static_cast<int>(seconds / 0.5)); ++block) {
            bool withWindow = block % 2 == 1;
            if (only.empty() || only == (withWindow ? "window" : "bare"))
                bench.Block(withWindow, 0.5);
        }
        bare = bench.Result(false);
        shown = bench.Result(true);
        if (!only.empty()) {
            Print("loop turn", only == "window" ? shown.turn : bare.turn);
            return 0;
        }
    }
    Print("loop turn, no window", bare.turn);
    Print("loop turn, main window and views shown", shown.turn);
    Print("  pass (step, eye, hint), no window", bare.pass);
    Print("  pass (step, eye, hint), window", shown.pass);
    Print("  events, no window", bare.events);
    Print("  events, window", shown.events);
    double ratio = bare.turn.p99 > 0 ? shown.turn.p99 / bare.turn.p99 : 0;
    printf("   passes %ld / %ld, trials %ld / %ld, trail segments drawn %ld\n", bare.passes, shown.passes, bare.trials,
           shown.trials, shown.trailSegments);
    printf("   p99 with the window / without: %.3f (goal <= 1.2): %s\n", ratio, ratio <= 1.2 ? "met" : "MISSED");
    ok &= ratio <= 1.2;

    printf("2. Trial view, 10,000 trials, 1920 x 1080\n");
    Stats scroll = TrialViewScroll();
    Print("scroll step and repaint", scroll);
    printf("   median goal < 16 ms: %s\n", scroll.median < 16.0 ? "met" : "MISSED");
    ok &= scroll.median < 16.0;

    printf("3. Eye view trail\n");
    {
        CExperiment experiment;
        COrvixDoc doc;
        Stats trail = EyeViewTrail(doc, experiment.runner);
        Print("trail step and repaint", trail);
        printf("   median goal < 2 ms: %s\n", trail.median < 2.0 ? "met" : "MISSED");
        ok &= trail.median < 2.0;
    }
    return ok ? 0 : 1;
}
