// The main plot drawn into a recording surface: every coordinate below is worked out by
// hand from the default figure settings (figure 10000 x 8000, margins L 1200, R 300,
// T 500, B 1000; range 0..50 in steps of 10; y sign -1), so the plot area of figure 0 runs
// from x0 = 1200 to 9700 and from y0 = 7000 up to 500 (W 8500, H -6500).
#include <algorithm>
#include <functional>
#include <optional>

#include "graph_fixture.h"

using namespace orvix;

namespace {

bool Has(const std::vector<DrawOp>& ops, DrawOp::Kind kind, std::vector<Point> points)
{
    return std::any_of(ops.begin(), ops.end(), [&](const DrawOp& op) { return op.kind == kind && op.points == points; });
}

// The first text of these letters (and alignment, when given).
const DrawOp* TextOp(const std::vector<DrawOp>& ops, const std::string& text, std::optional<HAlign> h = {})
{
    auto it = std::find_if(ops.begin(), ops.end(), [&](const DrawOp& op) {
        return op.kind == DrawOp::Kind::Text && op.text == text && (!h || op.hAlign == *h);
    });
    return it == ops.end() ? nullptr : &*it;
}

size_t Count(const std::vector<DrawOp>& ops, DrawOp::Kind kind)
{
    return static_cast<size_t>(std::count_if(ops.begin(), ops.end(), [&](const DrawOp& op) { return op.kind == kind; }));
}

} // namespace

class FiguresTest : public GraphTest {
protected:
    // TuningDocument gives means 10 and 10, errors 5 and 0.
    std::vector<DrawOp> Draw()
    {
        CRecordingDC dc;
        doc->DrawFigures(dc, -1);
        return dc.ops;
    }
};

TEST_F(FiguresTest, TuningBarsStandOnTheAxisAtTheirMeans)
{
    TuningDocument();
    doc->plot.xTitle = "OR";
    doc->plot.yTitle = "Firing rate (spikes/s)";
    std::vector<DrawOp> ops = Draw();

    // Axes: up the y axis, then along x. Two columns of CW = 4250, centres 3325 and 7575.
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Polyline, {{1200, 500}, {1200, 7000}, {9700, 7000}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{3325, 7100}, {3325, 7000}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{7575, 7100}, {7575, 7000}}));
    // Row spacing 10 x -6500 / 50 = -1300: six y ticks, 7000 up to 500.
    for (int y : {7000, 5700, 4400, 3100, 1800, 500})
        EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{1100, y}, {1200, y}})) << y;
    // A mean of 10 lies at 7000 - 1300 = 5700; the bar is CW/2 wide about its centre.
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Rectangle, {{2263, 5700}, {4387, 7000}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Rectangle, {{6513, 5700}, {8637, 7000}}));
    // Error 5 is 650 units up, with a cap of 150 at its end; an error of 0 draws nothing.
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{3325, 5050}, {3325, 5700}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{3250, 5050}, {3400, 5050}}));
    EXPECT_FALSE(Has(ops, DrawOp::Kind::Line, {{7575, 5700}, {7575, 5700}}));
    EXPECT_EQ(Count(ops, DrawOp::Kind::Rectangle), 2u);

    // Labels: x values centred under the ticks; y labels right-aligned, centred on their
    // tick by half the font height (159).
    const DrawOp* x90 = TextOp(ops, "90");
    ASSERT_TRUE(x90);
    EXPECT_EQ(x90->points[0], (Point{7575, 7100}));
    EXPECT_EQ(x90->hAlign, HAlign::Centre);
    const DrawOp* y20 = TextOp(ops, "20");
    ASSERT_TRUE(y20);
    EXPECT_EQ(y20->points[0], (Point{1050, 4241}));
    EXPECT_EQ(y20->hAlign, HAlign::Right);
    EXPECT_TRUE(TextOp(ops, "50"));
    EXPECT_FALSE(TextOp(ops, "60"));
    const DrawOp* xTitle = TextOp(ops, "OR");
    ASSERT_TRUE(xTitle);
    EXPECT_EQ(xTitle->points[0], (Point{5450, 8000}));
    EXPECT_EQ(xTitle->vAlign, VAlign::Bottom);
    const DrawOp* yTitle = TextOp(ops, "Firing rate (spikes/s)");
    ASSERT_TRUE(yTitle);
    EXPECT_EQ(yTitle->points[0], (Point{0, 3750}));
    EXPECT_EQ(yTitle->state.font.escapement, 900);
    EXPECT_EQ(xTitle->state.font.height, 318);
    EXPECT_EQ(xTitle->state.font.face, "Arial");
}

TEST_F(FiguresTest, LinesJoinThePointsAndCarryTwoSidedErrors)
{
    TuningDocument();
    doc->plot.PlotType = PLOT_LINE;
    std::vector<DrawOp> ops = Draw();
    const Pen bar{0xFF8000, 20, PenStyle::Solid, PenCap::Square};
    auto segment = std::find_if(ops.begin(), ops.end(), [](const DrawOp& op) {
        return op.kind == DrawOp::Kind::Line && op.points == std::vector<Point>{{3325, 5700}, {7575, 5700}};
    });
    ASSERT_NE(segment, ops.end());
    EXPECT_EQ(segment->state.pen, bar);
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{3325, 5050}, {3325, 6350}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{3250, 6350}, {3400, 6350}}));
    // Points: 2 x PenWidth each way, in the thin pen.
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Ellipse, {{3285, 5740}, {3365, 5660}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Ellipse, {{7535, 5740}, {7615, 5660}}));

    // The smoothed line: a polyline of ten samples per x value from the first centre.
    doc->plot.PlotType = PLOT_LINE_SMOOTHED;
    ops = Draw();
    auto curve = std::find_if(ops.begin(), ops.end(), [](const DrawOp& op) { return op.kind == DrawOp::Kind::Polyline && op.points.size() == 20; });
    ASSERT_NE(curve, ops.end());
    EXPECT_EQ(curve->points[0].x, 3325);
    EXPECT_EQ(curve->points[1].x, 3325 + 425);
    // A constant 10 smoothed is 9.98534: trunc(7000 - 1298.09) = trunc(5701.91) = 5701.
    EXPECT_EQ(curve->points[0].y, 5701);
    EXPECT_EQ(curve->state.pen, bar);
}

TEST_F(FiguresTest, TimeAxisHasAColumnPer100Ms)
{
    SetCommands({"OR 0", "OR 90"});
    CTrial* t = TrialWithSpikes(0, 2); // spikes at 101 and 121 ms; onset 100 ms
    Add(t);
    Axes(-1, -1, -1);
    SelectChannel(0);
    Update();
    std::vector<DrawOp> ops = Draw();
    // 9 columns of 8500 / 9 = 944, labels -100 .. 800 under ten ticks; no y ticks.
    int k = 0;
    for (int label = -100; label <= 800; label += 100, ++k) {
        const DrawOp* text = TextOp(ops, std::to_string(label));
        ASSERT_TRUE(text) << label;
        EXPECT_EQ(text->points[0], (Point{1200 + 944 * k, 7100}));
        EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{1200 + 944 * k, 7100}, {1200 + 944 * k, 7000}}));
    }
    EXPECT_FALSE(TextOp(ops, "900"));
    EXPECT_FALSE(Has(ops, DrawOp::Kind::Line, {{1100, 7000}, {1200, 7000}}));
    // One trial row of min(6500 / 1, 300) = 300 units; a spike at 101 ms is 101 ms into the
    // window from -100 to 800 ms after onset: 1200 + trunc(8500 x 101 / 900) = 2153, and
    // 300 - 30 units tall.
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{2153, 7000}, {2153, 6730}}));
}

TEST_F(FiguresTest, AlignedRastersMoveOnsetToTheNextDisplayFrame)
{
    // Frames of 10 ms, delay 7 ms. The first trial starts at 1000 ms with onset at 100:
    // phase 0 = frac(107 / 10) x 10 = 7. The second starts at 1500 with onset at 103:
    // d = (500 + 103 - 7) / 10 = 59.6, so onset moves by (1 - 0.6) x 10 = 4 to 107; the
    // first moves by (1 - 0.3) x 10 = 7, also to 107.
    SetCommands({"OR 0"});
    CTrial* first = MakeTrial(0, {207});
    first->startTime = 1000;
    CTrial* second = MakeTrial(0, {207});
    second->startTime = 1500;
    second->eventTimes[1] = 103;
    Add(first);
    Add(second);
    Axes(-1, -1, -1);
    SelectChannel(0);
    Update();
    doc->frameRate = 100.0;
    doc->estimatedDelay = 7.0;
    // Rows of 300 from y0 7000 upwards; a spike 100 ms after a 107 ms onset is 200 ms into
    // the window: 1200 + trunc(8500 x 200 / 900) = 3088.
    doc->alignOnFigOnset = 1;
    std::vector<DrawOp> ops = Draw();
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{3088, 7000}, {3088, 6730}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{3088, 6700}, {3088, 6430}}));
    // Not aligned, the second trial's spike is 104 ms after its onset: 204 / 900 -> 3126.
    doc->alignOnFigOnset = 0;
    ops = Draw();
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Line, {{3126, 6700}, {3126, 6430}}));
}

TEST_F(FiguresTest, FiguresLayOutTwoToARow)
{
    SetCommands({"SZ 1, OR 0", "SZ 2, OR 0", "SZ 3, OR 0"});
    for (int c = 0; c < 3; ++c)
        Add(TrialWithSpikes(c, 8));
    Axes(0, -1, 1);
    SelectChannel(0);
    doc->plot.zTitle = "SZ";
    Update();
    std::vector<DrawOp> ops = Draw();
    // Three figures: (0, 0), (1, 0) and (0, 1) of 10000 x 8000.
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Polyline, {{1200, 500}, {1200, 7000}, {9700, 7000}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Polyline, {{11200, 500}, {11200, 7000}, {19700, 7000}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Polyline, {{1200, 8500}, {1200, 15000}, {9700, 15000}}));
    EXPECT_EQ(Count(ops, DrawOp::Kind::Polyline), 3u);
    // Captions at the top of each figure.
    const DrawOp* third = TextOp(ops, "SZ=3");
    ASSERT_TRUE(third);
    EXPECT_EQ(third->points[0], (Point{5450, 8000}));
    int w = 0, h = 0;
    doc->GetFigureExtent(w, h);
    EXPECT_EQ(w, 20000);
    EXPECT_EQ(h, 16000);

    // A figure out of sight is not drawn.
    CRecordingDC dc;
    dc.visible = CRecordingDC::Box{0, 0, 9999, 7999};
    doc->DrawFigures(dc, -1);
    EXPECT_EQ(Count(dc.ops, DrawOp::Kind::Polyline), 1u);
}

TEST_F(FiguresTest, MapsShadeTheirCellsAndBeepOncePerOverflowRun)
{
    // 2 x 2 cells of CW 4250 and RS -3250; means 10, 20, 30 and 50.
    SetCommands({"SZ 1, OR 0", "SZ 1, OR 90", "SZ 2, OR 0", "SZ 2, OR 90"});
    int spikes[] = {8, 16, 24, 40};
    for (int c = 0; c < 4; ++c)
        Add(TrialWithSpikes(c, spikes[c]));
    Axes(0, 1, -1);
    SelectChannel(0);
    Update();
    ASSERT_EQ(doc->responses.mean.At(0, 1, 1), 50.0f);

    // Bubbles: r = 0.5 x min(4250, 3250) x sqrt(m / 50), at least 40. Cell (0, 0) is
    // centred on (3325, 5375): r = 1625 x sqrt(0.2) = 726.72.
    std::vector<DrawOp> ops = Draw();
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Ellipse, {{2598, 4648}, {4052, 6101}}));
    EXPECT_EQ(Count(ops, DrawOp::Kind::Ellipse), 4u);
    EXPECT_EQ(ui.beeps, 0);

    // Blobs on 0..40: grey 240 - m / 40 x 240, radius 0.45 x 3250 = 1462.5; 50 overflows
    // and is black.
    doc->plot.PlotType = PLOT_BLOB;
    doc->plot.MaxYRange = 40;
    ops = Draw();
    auto blob = std::find_if(ops.begin(), ops.end(), [](const DrawOp& op) { return op.kind == DrawOp::Kind::Ellipse; });
    ASSERT_NE(blob, ops.end());
    EXPECT_EQ(blob->points, (std::vector<Point>{{1863, 3913}, {4788, 6837}}));
    EXPECT_EQ(blob->state.brush.colour, RGB(180, 180, 180));
    EXPECT_TRUE(std::any_of(ops.begin(), ops.end(), [](const DrawOp& op) {
        return op.kind == DrawOp::Kind::Ellipse && op.state.brush.colour == RGB(0, 0, 0);
    }));
    // The rate legend beside the plot: 241 bands and "Firing rate (spikes/s)".
    EXPECT_EQ(Count(ops, DrawOp::Kind::FillRect), 241u);
    EXPECT_TRUE(TextOp(ops, "Firing rate (spikes/s)"));
    EXPECT_EQ(ui.beeps, 1);
    Draw();
    EXPECT_EQ(ui.beeps, 1); // the same overflow again: no second beep
    doc->plot.MaxYRange = 100;
    Draw();
    doc->plot.MaxYRange = 40;
    Draw();
    EXPECT_EQ(ui.beeps, 2); // a drawing without overflow came between

    // Roof: a grey square of 0.9 x CW by 0.9 x RS, and the white peak at levels from the
    // values: P = cy + 0.7 x RS x x / xr, Q = cy + 0.7 x RS x y / yr (xr 90, yr 1).
    doc->plot.PlotType = PLOT_ROOF;
    ops = Draw();
    EXPECT_TRUE(std::any_of(ops.begin(), ops.end(), [](const DrawOp& op) {
        return op.kind == DrawOp::Kind::FillRect && op.points == std::vector<Point>{{1412, 6837}, {5237, 3912}}
            && op.pixelColour == RGB(180, 180, 180);
    }));
    // Cell (1, 1): cx 7575, cy 2125; P = 2125 - 2275 = -150, Q = 2125 - 4550 = -2425.
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Polyline, {{6831, -2425}, {7575, -150}, {8318, -2425}}));
}

TEST_F(FiguresTest, DepthHistogramBarsGrowWithTheirCounts)
{
    SetCommands({"OR 0", "OR 90"});
    for (int v : {4, -14, 5}) {
        CTrial* t = MakeTrial(0, {});
        t->responses[3] = v;
        Add(t);
    }
    doc->plot.HistMin = 0;
    doc->plot.HistMax = 100;
    Axes(0, -2, -1);
    Update();
    std::vector<DrawOp> ops = Draw();
    // 11 bins: RS = 5 x -6500 / 10 = -3250, bins of -650; the longest bar is 0.9 x 4250.
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Rectangle, {{1200, 6675}, {1200 + 3825, 7325}}));
    EXPECT_TRUE(Has(ops, DrawOp::Kind::Rectangle, {{1200, 6025}, {1200 + 1912, 6675}}));
    EXPECT_EQ(Count(ops, DrawOp::Kind::Rectangle), 2u); // OR 90 has no trials
    // Labels: 5 bins of 10 per label from 0.
    for (auto [label, y] : {std::pair{"0", 6841}, {"50", 3591}, {"100", 341}}) {
        const DrawOp* text = TextOp(ops, label, HAlign::Right);
        ASSERT_TRUE(text) << label;
        EXPECT_EQ(text->points[0].y, y);
    }
}

TEST_F(FiguresTest, OpenDivisorsLeaveEmptyAxes)
{
    TuningDocument();
    struct Case {
        const char* name;
        std::function<void(COrvixDoc&)> set;
    };
    const Case cases[] = {
        {"no y step", [](COrvixDoc& d) { d.plot.StepYRange = 0; }},
        {"negative y step", [](COrvixDoc& d) { d.plot.StepYRange = -10; }},
        {"equal range", [](COrvixDoc& d) { d.plot.MaxYRange = d.plot.MinYRange = 7; }},
        {"no label spacing", [](COrvixDoc& d) { d.plot.HistLabelSpacing = 0; d.plot.YAxisVariable = -2; }},
        {"negative analysis time", [](COrvixDoc& d) {
             d.plot.XAxisVariable = -1;
             d.GetBehavParam("AnalysisTime", CParam(nullptr, 800)) = -500;
         }},
        {"one-bin histogram", [](COrvixDoc& d) { d.plot.HistMin = d.plot.HistMax = 0; d.plot.YAxisVariable = -2; }},
        {"huge figure", [](COrvixDoc& d) { d.plot.FigWidth = d.plot.FigHeight = 2000000000; d.plot.StepYRange = 1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        COrvixDoc& d = *doc;
        CPlotSettings saved = d.plot;
        c.set(d);
        Update();
        std::vector<DrawOp> ops = Draw();
        EXPECT_FALSE(ops.empty());
        d.plot = saved;
        d.GetBehavParam("AnalysisTime", CParam(nullptr, 800)) = 800;
    }
    // The equal range was corrected and stored.
    doc->plot.MaxYRange = doc->plot.MinYRange = 7;
    Draw();
    EXPECT_EQ(doc->plot.MaxYRange, 17);
}

TEST_F(FiguresTest, NothingIsDrawnWithoutTrialsOrBeyondTheLimit)
{
    SetCommands({"OR 0"});
    Axes(0, -1, -1);
    EXPECT_TRUE(Draw().empty());
    Add(TrialWithSpikes(0, 8));
    Update();
    EXPECT_FALSE(Draw().empty());
    // Up to 100 values on every axis are drawn, as the tables are built for them.
    doc->responses.figureValues.assign(100, "1");
    doc->responses.yValues.assign(100, "1");
    EXPECT_FALSE(Draw().empty());
    doc->responses.yValues.assign(101, "1");
    EXPECT_TRUE(Draw().empty());
}
