// The reverse-correlation map: its colour scale, the level lines of a triangle and a border
// edge, the chaining into outlines with holes, and the map drawn into a recording surface
// (plot area of figure 0: left 1200, right 9700, top 500, bottom 7000).
#include <algorithm>
#include <cmath>

#include "document/contour.h"
#include "graph_fixture.h"

using namespace orvix;

namespace {

size_t Count(const std::vector<DrawOp>& ops, DrawOp::Kind kind)
{
    return static_cast<size_t>(std::count_if(ops.begin(), ops.end(), [&](const DrawOp& op) { return op.kind == kind; }));
}

std::vector<std::string> Texts(const std::vector<DrawOp>& ops, HAlign h)
{
    std::vector<std::string> out;
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Kind::Text && op.hAlign == h)
            out.push_back(op.text);
    return out;
}

std::vector<ContourSegment> Segments(std::initializer_list<std::pair<Point, Point>> list)
{
    std::vector<ContourSegment> out;
    for (auto [a, b] : list)
        out.push_back({a, b});
    return out;
}

bool Same(const std::vector<ContourSegment>& a, const std::vector<ContourSegment>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const ContourSegment& x, const ContourSegment& y) { return x.start == y.start && x.end == y.end; });
}

} // namespace

TEST(Contour, ColourScaleAsTabled)
{
    // Each part modulo 256: v + 128, 127 - v and 117 - v wrap as bytes.
    const std::pair<int, COLORREF> cases[] = {
        {0, RGB(0, 0, 128)},     {127, RGB(0, 0, 255)},   {128, RGB(0, 0, 255)},   {383, RGB(0, 255, 255)},
        {384, RGB(0, 255, 255)}, {639, RGB(255, 255, 0)}, {640, RGB(255, 255, 0)}, {895, RGB(255, 0, 0)},
        {896, RGB(245, 0, 0)},   {1023, RGB(118, 0, 0)},
        // The ten brushes, k x 1023 / 10.
        {102, RGB(0, 0, 230)},   {204, RGB(0, 76, 255)},  {306, RGB(0, 178, 255)}, {409, RGB(25, 255, 230)},
        {511, RGB(127, 255, 128)}, {613, RGB(229, 255, 26)}, {716, RGB(255, 179, 0)}, {818, RGB(255, 77, 0)},
        {920, RGB(221, 0, 0)},
    };
    for (auto [v, colour] : cases)
        EXPECT_EQ(ContourColour(v), colour) << v;
}

TEST(Contour, TriangleLevelLines)
{
    const Point p[3] = {{0, 0}, {100, 0}, {0, 100}};
    struct Case {
        float values[3];
        float level;
        std::vector<ContourSegment> expected;
    };
    const Case cases[] = {
        // Below the middle value: from the low-high edge (t 0.25) to the low-middle edge (t 0.5).
        {{0, 1, 2}, 0.5f, Segments({{{0, 25}, {50, 0}}})},
        // Above it: to the middle-high edge instead.
        {{0, 1, 2}, 1.5f, Segments({{{0, 75}, {50, 50}}})},
        // At the middle value: to the middle corner.
        {{0, 1, 2}, 1.0f, Segments({{{0, 50}, {100, 0}}})},
        // Ordered (100,0), (0,0), (0,100): one exchange, so the segment runs backwards and
        // the higher corners stay on the same side as above.
        {{1, 0, 2}, 0.5f, Segments({{{50, 0}, {75, 25}}})},
        // The crossing at (87.5, 12.5) is truncated as a point: x 87, not 100 + trunc(-12.5).
        {{1, 0, 2}, 0.25f, Segments({{{75, 0}, {87, 12}}})},
        {{0, 1, 2}, 3.0f, {}},
        {{0, 1, 2}, 0.0f, {}},                          // a point only
        {{1, 1, 2}, 1.0f, Segments({{{0, 0}, {100, 0}}})}, // the two low corners' edge
        {{0, 2, 2}, 2.0f, {}},
        {{1, 1, 1}, 1.0f, {}},
    };
    for (const Case& c : cases) {
        ContourSegments list;
        ContourTriangle(list, p, c.values, c.level);
        EXPECT_TRUE(Same(list, c.expected)) << c.values[0] << " " << c.values[1] << " " << c.values[2] << " at " << c.level;
    }

    ContourSegments list;
    AddContourSegment(list, {1, 2}, {1, 2}, true);
    EXPECT_TRUE(list.empty());
    AddContourSegment(list, {1, 2}, {3, 4}, false);
    EXPECT_TRUE(Same(list, Segments({{{3, 4}, {1, 2}}})));
}

TEST(Contour, BorderEdgesKeepTheirPartAtOrAboveTheLevel)
{
    struct Case {
        float va, vb, level;
        bool appended;
        std::vector<ContourSegment> expected;
    };
    const Case cases[] = {
        {0, 1, 0.25f, true, Segments({{{25, 0}, {100, 0}}})},
        {1, 0, 0.25f, true, Segments({{{0, 0}, {75, 0}}})}, // still from a towards b
        {0, 1, -1.0f, true, Segments({{{0, 0}, {100, 0}}})},
        {0, 1, 1.0f, false, {}},
        {0.5f, 0.5f, 0.5f, false, {}},
    };
    for (const Case& c : cases) {
        ContourSegments list;
        EXPECT_EQ(ContourBorderEdge(list, {0, 0}, c.va, {100, 0}, c.vb, c.level), c.appended);
        EXPECT_TRUE(Same(list, c.expected)) << c.va << " " << c.vb << " at " << c.level;
    }
}

TEST(Contour, SegmentsChainIntoClosedOutlinesThatAreOuterOrHoles)
{
    // Right, down, left, up on a y-down surface: clockwise as seen, a hole. The sides come
    // out of order, so one scan of the list would leave the outline open.
    ContourSegments square = Segments({{{0, 0}, {10, 0}}, {{10, 10}, {0, 10}}, {{10, 0}, {10, 10}}, {{0, 10}, {0, 0}}});
    std::vector<ContourOutline> outlines = ChainContourSegments(square);
    ASSERT_EQ(outlines.size(), 1u);
    EXPECT_EQ(outlines[0].points, (std::vector<Point>{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}));
    EXPECT_TRUE(outlines[0].hole);
    EXPECT_NEAR(TurnSum(outlines[0].points), 2 * M_PI, 1e-9);

    // The same square the other way round, and a second one beside it.
    ContourSegments two = Segments({{{0, 0}, {0, 10}}, {{0, 10}, {10, 10}}, {{10, 10}, {10, 0}}, {{10, 0}, {0, 0}},
                                    {{20, 0}, {20, 5}}, {{20, 5}, {25, 0}}, {{25, 0}, {20, 0}}});
    outlines = ChainContourSegments(two);
    ASSERT_EQ(outlines.size(), 2u);
    EXPECT_FALSE(outlines[0].hole);
    EXPECT_NEAR(TurnSum(outlines[0].points), -2 * M_PI, 1e-9);
    EXPECT_EQ(outlines[1].points.size(), 4u);
    EXPECT_FALSE(outlines[1].hole);
}

class RevCorrTest : public GraphTest {
protected:
    void SetUp() override
    {
        GraphTest::SetUp();
        SetCommands({"OR 0"});
        Add(MakeTrial(0, {}));
        doc->plot.YAxisVariable = AXIS_REVCORR;
        Grid(5, 5);
    }
    void Grid(int h, int v)
    {
        SetGraph("HGRID", h);
        SetGraph("VGRID", v);
    }
    void SetGraph(const char* name, int value)
    {
        int i = doc->FindGraphParam(name);
        if (i < 0)
            doc->Table(KIND_GRAPH).Add(new CParam(name, value));
        else
            doc->GetGraphParam(i) = value;
    }
    // A 5 x 5 map per figure, every cell `value`, on the scale 0..1.
    void Map(int figures, float value)
    {
        doc->responses.mean.Resize(figures, 5, 5, value);
        doc->responses.revCorrMinimum = 0.0f;
        doc->responses.revCorrMaximum = 1.0f;
    }
    std::vector<DrawOp> Draw()
    {
        CRecordingDC dc;
        doc->DrawFigures(dc, -1);
        return dc.ops;
    }
};

TEST_F(RevCorrTest, AMapBelowTheFirstLevelShowsOnlyTheBackground)
{
    Map(1, 0.05f);
    std::vector<DrawOp> ops = Draw();
    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops[0].kind, DrawOp::Kind::FillRect);
    EXPECT_EQ(ops[0].points, (std::vector<Point>{{1200, 500}, {9700, 7000}}));
    EXPECT_EQ(ops[0].pixelColour, RGB(0, 0, 128));
    EXPECT_EQ(Count(ops, DrawOp::Kind::Polygon), 0u);
    // The frame, 64 legend bands and its frame, five legend ticks and labels.
    EXPECT_EQ(Count(ops, DrawOp::Kind::FillRect), 65u);
    std::vector<std::string> left = Texts(ops, HAlign::Left);
    EXPECT_EQ(left, (std::vector<std::string>{"0", "0.25", "0.5", "0.75", "1"}));
    auto caption = std::find_if(ops.begin(), ops.end(), [](const DrawOp& op) { return op.text == "Latency=70"; });
    ASSERT_NE(caption, ops.end());
    EXPECT_EQ(caption->points[0], (Point{5450, 0}));
}

TEST_F(RevCorrTest, ARegionAroundALowerHoleIsFilledAndTheHoleShowsTheLevelBelow)
{
    // A ring of 1 round a centre of 0 on a field of 0.
    Map(1, 0.0f);
    for (int j = 1; j <= 3; ++j)
        for (int i = 1; i <= 3; ++i)
            doc->responses.mean.At(0, j, i) = (i == 2 && j == 2) ? 0.0f : 1.0f;
    std::vector<DrawOp> ops = Draw();
    // Every level crosses the ring on both sides: one outer outline and one hole each.
    size_t outer = 0, holes = 0;
    for (const DrawOp& op : ops) {
        if (op.kind != DrawOp::Kind::Polygon)
            continue;
        ASSERT_EQ(op.points.front(), op.points.back()); // closed
        (TurnSum(op.points) > 0 ? holes : outer)++;
    }
    EXPECT_EQ(outer, 9u);
    EXPECT_EQ(holes, 9u);
    // The holes come last, from level 9 down, each in the colour of the level below.
    auto last = std::find_if(ops.rbegin(), ops.rend(), [](const DrawOp& op) { return op.kind == DrawOp::Kind::Polygon; });
    EXPECT_EQ(last->state.brush.colour, ContourColour(0));
    EXPECT_TRUE(TurnSum(last->points) > 0);
}

TEST_F(RevCorrTest, PositionAxesRunInMinutesOfArc)
{
    // HGRID 5 over BGLEN 100: centres from -40 to 40, labels every 8.
    SetGraph("BGLEN", 100);
    SetGraph("LEN", 999);
    SetGraph("WID", 50); // no BGWID: WID; 5 rows over 50 run from -20 to 20 by 4
    Map(1, 0.5f);
    std::vector<DrawOp> ops = Draw();
    std::vector<std::string> x = Texts(ops, HAlign::Centre);
    std::vector<std::string> expectedX = {"-40", "-32", "-24", "-16", "-8", "0", "8", "16", "24", "32", "40"};
    EXPECT_TRUE(std::search(x.begin(), x.end(), expectedX.begin(), expectedX.end()) != x.end());
    std::vector<std::string> y = Texts(ops, HAlign::Right);
    EXPECT_EQ(y, (std::vector<std::string>{"-20", "-16", "-12", "-8", "-4", "0", "4", "8", "12", "16", "20"}));
    EXPECT_NE(std::find(x.begin(), x.end(), "X position (min)"), x.end());
    EXPECT_NE(std::find(x.begin(), x.end(), "Y position (min)"), x.end());
    // The first x tick at the left edge, 100 below the plot.
    auto tick = std::find_if(ops.begin(), ops.end(), [](const DrawOp& op) {
        return op.kind == DrawOp::Kind::Line && op.points == std::vector<Point>{{1200, 7100}, {1200, 7000}};
    });
    EXPECT_NE(tick, ops.end());
}

TEST_F(RevCorrTest, DifferenceModeDrawsOneMapOfTheFirstTwoFigures)
{
    SetCommands({"EYE 1, OR 0", "EYE 3, OR 0"});
    doc->plot.FigureAxisVariable = 1;
    doc->plot.zTitle = "EYE";
    graph->RebuildAxes(false);
    doc->plot.YAxisVariable = AXIS_REVCORR;
    Map(2, 0.0f);
    doc->responses.mean.At(0, 2, 2) = 1.0f; // a peak in figure 0 only
    doc->plot.revCorrSubtract = 1;
    std::vector<DrawOp> ops = Draw();
    EXPECT_EQ(Count(ops, DrawOp::Kind::FillRect), 65u); // one map
    EXPECT_TRUE(std::any_of(ops.begin(), ops.end(), [](const DrawOp& op) { return op.text == "Latency=70, EYE=1-EYE=3"; }));
    EXPECT_GT(Count(ops, DrawOp::Kind::Polygon), 0u);

    doc->plot.revCorrSubtract = 0;
    ops = Draw();
    EXPECT_EQ(Count(ops, DrawOp::Kind::FillRect), 130u); // two maps
    EXPECT_TRUE(std::any_of(ops.begin(), ops.end(), [](const DrawOp& op) { return op.text == "Latency=70, EYE=3"; }));
}

TEST_F(RevCorrTest, GridsWithoutCellsOrAnotherTablesSizeLeaveTheAxesEmpty)
{
    Map(1, 0.5f);
    SetGraph("LEN", 100);
    SetGraph("WID", 50);
    Grid(0, 5);
    EXPECT_TRUE(Draw().empty());
    Grid(5, -2);
    EXPECT_TRUE(Draw().empty());
    // One column: no cells and no x scale, the rest as usual.
    Grid(1, 5);
    std::vector<DrawOp> ops = Draw();
    EXPECT_EQ(Count(ops, DrawOp::Kind::Polygon), 0u);
    EXPECT_EQ(Texts(ops, HAlign::Right).size(), 11u);
    // HGRID edited after the map was built: the table is not read past its end.
    Grid(6, 5);
    ops = Draw();
    EXPECT_EQ(Count(ops, DrawOp::Kind::Polygon), 0u);
    EXPECT_EQ(Count(ops, DrawOp::Kind::FillRect), 65u);
    // No field extent: no scale either.
    SetGraph("LEN", 0);
    SetGraph("WID", 0);
    Grid(5, 5);
    ops = Draw();
    EXPECT_GT(Count(ops, DrawOp::Kind::Polygon), 0u);
    EXPECT_EQ(Texts(ops, HAlign::Right).size(), 0u);
}

TEST_F(GraphTest, TheContourLegendsTicksStandAtWholeQuarters)
{
    // A bar 6001 high: the ticks at 7001 - i x 6001 / 4 in whole numbers (7001, 5501,
    // 4001, 2501, 1000; 18003 / 4 is 4500).
    CRecordingDC dc;
    doc->DrawContourLegend(dc, 0, 1000, 100, 7001);
    std::vector<int> ticks;
    for (const DrawOp& op : dc.ops)
        if (op.kind == DrawOp::Kind::Line)
            ticks.push_back(op.points[0].y);
    EXPECT_EQ(ticks, (std::vector<int>{7001, 5501, 4001, 2501, 1000}));
}

TEST_F(GraphTest, TheRateLegendHasAtLeastOneTick)
{
    CRecordingDC dc;
    doc->plot.StepYRange = 0;
    doc->DrawRateLegend(dc, 9700, 7000, 6500, 300, 0, 50, -1);
    EXPECT_EQ(doc->plot.StepYRange, 1); // stored
    doc->plot.StepYRange = 100; // 50 / 100 would be no tick
    dc.ops.clear();
    doc->DrawRateLegend(dc, 9700, 7000, 6500, 300, 0, 50, -1);
    std::vector<std::string> labels = Texts(dc.ops, HAlign::Left);
    EXPECT_EQ(labels, (std::vector<std::string>{"0", "100"}));
    // 241 bands from light grey at the bottom to black at the top.
    std::vector<const DrawOp*> bands;
    for (const DrawOp& op : dc.ops)
        if (op.kind == DrawOp::Kind::FillRect)
            bands.push_back(&op);
    ASSERT_EQ(bands.size(), 241u);
    EXPECT_EQ(bands.front()->pixelColour, RGB(240, 240, 240));
    EXPECT_EQ(bands.front()->points[1].y, 7000);
    EXPECT_EQ(bands.back()->pixelColour, RGB(0, 0, 0));
    EXPECT_EQ(bands.back()->points[0].y, 500);
    // Labels at left + 240 + GridLength, centred on the ticks; the title reads downwards.
    auto label = std::find_if(dc.ops.begin(), dc.ops.end(), [](const DrawOp& op) { return op.text == "0"; });
    EXPECT_EQ(label->points[0], (Point{10040, 6841}));
    auto title = std::find_if(dc.ops.begin(), dc.ops.end(), [](const DrawOp& op) { return op.text == "Firing rate (spikes/s)"; });
    ASSERT_NE(title, dc.ops.end());
    EXPECT_EQ(title->points[0], (Point{10000, 3750}));
    EXPECT_EQ(title->state.font.escapement, -900);
}

// ---- The sequences and the map's values ----

TEST(MSequence, TheShiftRegisterAndTheFirstOfTheTables)
{
    // Bit 11 clear: a plain shift; set: (taps xor state) x 2 + 1, masked to 12 bits.
    EXPECT_EQ(NextMSequenceState(41, 12, 1), 2);
    EXPECT_EQ(NextMSequenceState(41, 12, 1024), 2048);
    EXPECT_EQ(NextMSequenceState(41, 12, 2048), 83);  // (2089 x 2 + 1) & 4095
    EXPECT_EQ(NextMSequenceState(41, 12, 2656), 1171); // (2633 x 2 + 1) & 4095
    EXPECT_EQ(NextMSequenceState(3, 3, 4), 7);         // ((3 ^ 4) x 2 + 1) & 7

    const MSequenceSet& s = MSequences();
    ASSERT_EQ(s.taps.size(), 144u);
    ASSERT_EQ(s.states.size(), 144u);
    EXPECT_EQ(s.taps.front(), 41);
    EXPECT_EQ(s.taps.back(), 2020);
    const std::vector<uint16_t>& first = s.states[0];
    const std::vector<uint16_t> start = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 83, 166, 332, 664, 1328,
                                         2656, 1171, 2342};
    EXPECT_TRUE(std::equal(start.begin(), start.end(), first.begin()));
    // Every state of 12 bits but 0 once in each period.
    for (const std::vector<uint16_t>& seq : s.states) {
        std::vector<bool> seen(4096, false);
        for (int i = 0; i < 4095; ++i)
            seen[seq[static_cast<size_t>(i)]] = true;
        EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), true), 4095);
    }
}

class RevCorrUpdateTest : public GraphTest {
protected:
    // Frames "1".."4", one trial each 2 s apart with the figure at 100 ms; the trial of
    // frame 1 has channel-0 spikes at the given ms.
    void FourFrames(std::initializer_list<int> spikesOfFrame1, int hgrid, int vgrid)
    {
        SetCommands({"FRAME 1", "FRAME 2", "FRAME 3", "FRAME 4"});
        for (int i = 0; i < 4; ++i) {
            CTrial* t = i == 0 ? MakeTrial(0, spikesOfFrame1) : MakeTrial(i, {});
            t->startTime = 5000 + 2000u * i;
            Add(t);
        }
        doc->Table(KIND_GRAPH).Add(new CParam("HGRID", hgrid));
        doc->Table(KIND_GRAPH).Add(new CParam("VGRID", vgrid));
        doc->GetBehavParam("FigOnDur", CParam(nullptr, 100));
        SelectChannel(0);
        Axes(0, AXIS_REVCORR, -1);
    }
};

TEST_F(RevCorrUpdateTest, TheNormalisedCorrelationOfTwoCells)
{
    // Window [onset + 70, onset + 70 + 111): four spikes of frame 1 fall in, one after it
    // does not. Cell 0 reads entries 0..3 of sequence 0 (1, 2, 4, 8: stimulus +1 -1 -1 -1,
    // less its mean -0.5), cell 1 entries 16..19 (1328, 2656, 1171, 2342: -1 -1 +1 -1).
    // Responses 4, 0, 0, 0: energy sqrt(3 x 16); 1.5 x 4 / 6.928 and -0.5 x 4 / 6.928.
    FourFrames({170, 200, 220, 280, 290}, 2, 1);
    Update();
    const CResponseTables& t = doc->responses;
    ASSERT_EQ(t.mean.Rows(), 1);
    ASSERT_EQ(t.mean.Columns(), 2);
    EXPECT_NEAR(t.mean.At(0, 0, 0), 0.8660, 1e-4);
    EXPECT_NEAR(t.mean.At(0, 0, 1), -0.2887, 1e-4);
    EXPECT_FLOAT_EQ(t.revCorrMinimum, -0.3f);
    EXPECT_FLOAT_EQ(t.revCorrMaximum, 0.9f);

    // Any other pair than 0 and 1 replaces the range.
    graph->UpdateReverseCorrelation(70, 111, -2.0f, 3.0f);
    EXPECT_FLOAT_EQ(t.revCorrMinimum, -2.0f);
    EXPECT_FLOAT_EQ(t.revCorrMaximum, 3.0f);
    EXPECT_NEAR(t.mean.At(0, 0, 0), 0.8660, 1e-4);
    // A later latency moves the window past the spikes: every cell 0, range 0 .. 1.
    graph->UpdateReverseCorrelation(200, 111, 0.0f, 1.0f);
    EXPECT_EQ(t.mean.At(0, 0, 0), 0.0f);
    EXPECT_FLOAT_EQ(t.revCorrMinimum, 0.0f);
    EXPECT_FLOAT_EQ(t.revCorrMaximum, 1.0f);
}

TEST_F(RevCorrUpdateTest, OneRisingCellKeepsItsOwnMinimumAndNoGridGivesNoMap)
{
    // One cell of value 0.866: its range is 0.8 .. 0.9 (not a minimum of 10000000).
    FourFrames({200}, 1, 1);
    Update();
    const CResponseTables& t = doc->responses;
    EXPECT_NEAR(t.mean.At(0, 0, 0), 0.8660, 1e-4);
    EXPECT_FLOAT_EQ(t.revCorrMaximum, 0.9f);
    EXPECT_FLOAT_EQ(t.revCorrMinimum, 0.8f);

    doc->GetGraphParam("HGRID") = 0;
    Update();
    EXPECT_TRUE(t.mean.Cells().empty());
    EXPECT_FLOAT_EQ(t.revCorrMinimum, 0.0f);
    EXPECT_FLOAT_EQ(t.revCorrMaximum, 1.0f);
    doc->GetGraphParam("HGRID") = -3;
    Update();
    EXPECT_TRUE(t.mean.Cells().empty());
}

TEST_F(RevCorrUpdateTest, FrameNumbersBeforeTheSequenceReadRoundIt)
{
    // Frame "0" with cell 0's offset -1 reads entry 4094 (wrapped) instead of entry -1;
    // frame "9000" reads entry (9000 - 1 - 4095) mod 4095 = 809.
    SetCommands({"FRAME 0", "FRAME 9000", "FRAME 1", "FRAME 2"});
    for (int i = 0; i < 4; ++i) {
        CTrial* t = MakeTrial(i, i == 2 ? std::initializer_list<int>{200} : std::initializer_list<int>{});
        t->startTime = 2000u * i;
        Add(t);
    }
    doc->Table(KIND_GRAPH).Add(new CParam("HGRID", 1));
    doc->Table(KIND_GRAPH).Add(new CParam("VGRID", 1));
    doc->GetBehavParam("FigOnDur", CParam(nullptr, 100));
    SelectChannel(0);
    Axes(0, AXIS_REVCORR, -1);
    Update();
    const std::vector<uint16_t>& s = MSequences().states[0];
    // Frames sorted 0, 1, 2, 9000: stimulus of entries 4094, 0, 1, 809; response 0, 1, 0, 0.
    double stim[4] = {s[4094] & 1 ? 1.0 : -1.0, s[0] & 1 ? 1.0 : -1.0, s[1] & 1 ? 1.0 : -1.0, s[809] & 1 ? 1.0 : -1.0};
    const double mean = (stim[0] + stim[1] + stim[2] + stim[3]) / 4;
    double ss = 0;
    for (double& x : stim) {
        x -= mean;
        ss += x * x;
    }
    EXPECT_NEAR(doc->responses.mean.At(0, 0, 0), stim[1] / std::sqrt(ss), 1e-5);
}
