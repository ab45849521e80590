// Times the response graph: adding one trial to the tables of a document of 10,000 trials
// over 100 conditions with spikes on 8 channels (goal: median under 1 ms), a full build of
// those tables (under 50 ms) and the same build at 30,000 and 100,000 trials (its cost per
// trial should stay flat), and drawing the figures into a 1920 x 1080 image offscreen: four
// tuning figures of 100 x values, and a 16 x 16 reverse-correlation contour map (each under
// 10 ms). The first drawing is reported apart: the first in the process, and the first of a
// new view (its label layouts not yet made) in a process that drew before. Not a test: run
// it by hand.
// Usage: bench_graph [trials]
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "document/orvixdoc.h"
#include "document/responsegraph.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/random.h"
#include "platform/settings/registry.h"
#include "platform/ui/ui.h"
#include "tests/common/bench_support.h"
#include "views/graphview.h"
#include "views/qpainterdc.h"

using namespace orvix;
using orvix_test::Median;

namespace {

double Seconds() { return static_cast<double>(Clock().Counter()) / Clock().CounterFrequency(); }

void Report(const char* what, const std::vector<double>& seconds, double goalMs)
{
    double median = Median(seconds) * 1e3;
    double worst = *std::max_element(seconds.begin(), seconds.end()) * 1e3;
    printf("%-52s median %8.3f ms  max %8.3f ms  goal < %g ms  %s\n", what, median, worst, goalMs,
           median < goalMs ? "ok" : "MISSED");
}

// A 2 s trial with figure onset at 300 ms and spikes on all eight channels; its rates are
// computed over 800 ms as the runner does when the trial ends.
CTrial* RecordedTrial(CRandom15& rnd, int command)
{
    auto* t = new CTrial;
    t->commandIndex = command;
    t->SetLength(2000);
    t->eventTimes = {0, 300, 1800};
    t->eventCodes = {1, EVENT_FIG_ON, EVENT_FIG_OFF};
    const int spikes = 20 + rnd.Next() % 60;
    uint32_t time = 0;
    for (int s = 0; s < spikes; ++s) {
        time += 1 + static_cast<uint32_t>(rnd.Next() % 600); // 0.1 ms
        t->AddSpike(static_cast<uint16_t>(1u << (rnd.Next() % 8)), time);
    }
    t->ComputeResponse(800);
    return t;
}

QImage Screen()
{
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.setDotsPerMeterX(3780); // 96 dots per inch
    image.setDotsPerMeterY(3780);
    return image;
}

// The first drawing is that of a new view: its label layouts are made on the way.
std::vector<double> TimeDrawing(COrvixDoc& doc, int rounds)
{
    QImage image = Screen();
    std::vector<double> times;
    // As the view repaints: the labels' layouts kept from one drawing to the next.
    CTextCache texts;
    for (int r = 0; r < rounds; ++r) {
        image.fill(Qt::white);
        double t0 = Seconds();
        QPainter painter(&image);
        CGraphView::PrepareMapping(painter, image);
        CQPainterDC dc(painter, false, &texts);
        doc.DrawFigures(dc, -1);
        painter.end();
        times.push_back(Seconds() - t0);
    }
    return times;
}

// A document of `trials` trials over 100 conditions (10 orientations x 10 sizes), figures by
// size, channel 3 selected, its axes built.
void TableDocument(COrvixDoc& doc, CResponseGraph& graph, CRandom15& rnd, int trials)
{
    doc.GetBehavParam("AnalysisTime", CParam(nullptr, 800));
    for (int s = 0; s < 10; ++s)
        for (int o = 0; o < 10; ++o)
            doc.commandLines.push_back("OR " + std::to_string(o * 18) + ", SZ " + std::to_string(s + 1));
    doc.ParseCommandFile(kNoAngleOffset);
    for (int i = 0; i < trials; ++i)
        doc.AddTrial(RecordedTrial(rnd, i % 100));
    doc.plot.XAxisVariable = 1;      // OR
    doc.plot.YAxisVariable = -1;     // spikes/s
    doc.plot.FigureAxisVariable = 0; // SZ
    doc.OnSelectChannel(3);
    graph.RebuildAxes(false);
}

std::vector<double> TimeFullBuilds(CResponseGraph& graph, int rounds)
{
    std::vector<double> full;
    for (int r = 0; r < rounds; ++r) {
        double t0 = Seconds();
        graph.OnUpdate(DocUpdate{HINT_REBUILD});
        full.push_back(Seconds() - t0);
    }
    return full;
}

} // namespace

int main(int argc, char** argv)
{
    const int trialCount = argc > 1 ? atoi(argv[1]) : 10000;
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    orvix_test::ScopedTempDir temp("orvix-bench-graph");
    const std::string& dir = temp.Path();
    // Qt's runtime folder too, when none is given.
    if (!getenv("XDG_RUNTIME_DIR"))
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    QApplication app(argc, argv);
    setenv("ORVIX_REGISTRY", (dir + "/Orvix.reg").c_str(), 1);
    setenv("ORVIX_DRIVES", (dir + "/drives").c_str(), 1);
    ReloadRegistry();
    CScriptedUI ui;

    // ---- Tables: 100 conditions (10 orientations x 10 sizes), figures by size ----
    {
        COrvixDoc doc;
        CResponseGraph graph(doc);
        CRandom15 rnd(12345);
        TableDocument(doc, graph, rnd, trialCount);
        std::vector<double> full = TimeFullBuilds(graph, 21);
        std::vector<double> added;
        for (int i = 0; i < 1000; ++i) {
            CTrial* t = RecordedTrial(rnd, i % 100);
            doc.AddTrial(t);
            double t0 = Seconds();
            graph.OnUpdate(DocUpdate{HINT_TRIAL_ADDED, t});
            added.push_back(Seconds() - t0);
        }
        printf("%d trials over 100 conditions, 8 channels; %d full builds during the adds\n", trialCount,
               graph.FullBuilds() - 21);
        Report("one trial added (hint 2)", added, 1.0);
        Report("full build of the tables (hint 0)", full, 50.0);

        // Every channel's mean and a smoothed curve: the channel -1 and line-smoothed case.
        doc.OnSelectChannel(3); // off again: the mean of the active channels
        graph.OnUpdate(DocUpdate{HINT_REBUILD});
        added.clear();
        for (int i = 0; i < 1000; ++i) {
            CTrial* t = RecordedTrial(rnd, i % 100);
            doc.AddTrial(t);
            double t0 = Seconds();
            graph.OnUpdate(DocUpdate{HINT_TRIAL_ADDED, t});
            added.push_back(Seconds() - t0);
        }
        Report("one trial added, mean of the channels", added, 1.0);
    }

    // ---- The full build as the document grows: its cost per trial stays flat ----
    for (int trials : {10000, 30000, 100000}) {
        COrvixDoc doc;
        CResponseGraph graph(doc);
        CRandom15 rnd(12345);
        TableDocument(doc, graph, rnd, trials);
        const double median = Median(TimeFullBuilds(graph, 11)) * 1e3;
        printf("full build at %6d trials                          median %8.3f ms  %6.1f ns a trial\n", trials,
               median, median * 1e6 / trials);
    }

    // ---- Drawing: four tuning figures of 100 x values ----
    {
        COrvixDoc doc;
        for (int f = 0; f < 4; ++f)
            for (int o = 0; o < 100; ++o)
                doc.commandLines.push_back("EYE " + std::to_string(f) + ", OR " + std::to_string(o * 3.6));
        doc.ParseCommandFile(kNoAngleOffset);
        CRandom15 rnd(777);
        for (int i = 0; i < 2000; ++i)
            doc.AddTrial(RecordedTrial(rnd, i % 400));
        doc.plot.XAxisVariable = 0;
        doc.plot.YAxisVariable = -1;
        doc.plot.FigureAxisVariable = 1;
        doc.plot.xTitle = "Orientation (deg)";
        doc.plot.yTitle = "Firing rate (spikes/s)";
        doc.plot.zTitle = "EYE";
        CResponseGraph graph(doc);
        graph.RebuildAxes(false);
        graph.OnUpdate(DocUpdate{HINT_REBUILD});
        bool firstInProcess = true;
        for (int type : {PLOT_BUBBLE, PLOT_LINE, PLOT_LINE_SMOOTHED}) {
            doc.plot.PlotType = type;
            std::string what = "DrawFigures, 4 tuning figures x 100, plot type " + std::to_string(type);
            std::vector<double> times = TimeDrawing(doc, 31);
            printf("%-52s %8.3f ms\n",
                   firstInProcess ? "  its first drawing, the first in the process" : "  its first drawing, a new view",
                   times.front() * 1e3);
            firstInProcess = false;
            Report(what.c_str(), times, 10.0);
        }

        // The view itself at 1920 x 1080: its first paint, then paints that draw the
        // figures again (the guide lines switched).
        CGraphView view(doc);
        view.resize(1920, 1080);
        view.OnInitialUpdate();
        double t0 = Seconds();
        view.show();
        QApplication::processEvents();
        printf("%-52s %8.3f ms  (%d paint)\n", "  the view shown and first painted", (Seconds() - t0) * 1e3,
               view.PaintCount());
        std::vector<double> paints;
        for (int r = 0; r < 31; ++r) {
            view.OnCommand(ICommandTarget::ID_SHOW_GUIDE_LINES);
            t0 = Seconds();
            view.viewport()->repaint();
            paints.push_back(Seconds() - t0);
        }
        Report("the view's paint, figures drawn again", paints, 10.0);
    }

    // ---- Drawing: a 16 x 16 reverse-correlation contour map ----
    {
        COrvixDoc doc;
        doc.commandLines.push_back("OR 0");
        doc.ParseCommandFile(kNoAngleOffset);
        CRandom15 rnd(99);
        doc.AddTrial(RecordedTrial(rnd, 0));
        for (const char* name : {"HGRID", "VGRID"})
            doc.Table(KIND_GRAPH).Add(new CParam(name, 16));
        doc.Table(KIND_GRAPH).Add(new CParam("BGLEN", 400));
        doc.Table(KIND_GRAPH).Add(new CParam("BGWID", 400));
        doc.plot.YAxisVariable = AXIS_REVCORR;
        CResponseTables& t = doc.responses;
        t.mean.Resize(1, 16, 16, 0.0f);
        for (int j = 0; j < 16; ++j)
            for (int i = 0; i < 16; ++i) {
                double x = i - 7.3, y = j - 8.1, x2 = i - 3, y2 = j - 3;
                t.mean.At(0, j, i) = static_cast<float>(0.9 * std::exp(-(x * x + y * y) / 12) - 0.5 * std::exp(-(x2 * x2 + y2 * y2) / 2)
                                                        + 0.05 * (rnd.Next() % 100) / 100.0);
            }
        t.revCorrMinimum = -0.5f;
        t.revCorrMaximum = 1.0f;
        std::vector<double> times = TimeDrawing(doc, 31);
        printf("%-52s %8.3f ms\n", "  its first drawing, a new view", times.front() * 1e3);
        Report("DrawFigures, 16 x 16 reverse-correlation map", times, 10.0);
    }
    return 0;
}
