// The response graph's hit regions, drags, status-pane readings, "Copy Data" text and
// "Set Optimal Value", worked out by hand from the default figure (W 10000, H 8000,
// L 1200, R 300, T 500, B 1000).
#include <algorithm>

#include "document/graphinteraction.h"
#include "graph_fixture.h"

using namespace orvix;

class GraphInteractionTest : public GraphTest {};

TEST_F(GraphInteractionTest, HitRegionsInTheirOrder)
{
    const CPlotSettings p;
    struct Case {
        int x, y, region;
    };
    const Case cases[] = {
        {5000, 7500, REGION_X_BAND},     // 7000 < y < 7900, 2500 < x < 7500
        {2501, 7899, REGION_X_BAND},
        {2500, 7500, REGION_NONE},       // bounds are strict
        {5000, 7900, REGION_NONE},
        {5000, 7950, REGION_FIGURE_BOTTOM},
        {5000, 7050, REGION_X_BAND},     // the band wins over the plot's bottom edge
        {7600, 7050, REGION_PLOT_BOTTOM},
        {1000, 4000, REGION_Y_BAND},     // x < 1200, 2000 < y < 6000
        {1000, 1000, REGION_Y_RANGE},    // 600 < x < 1100 beside the plot
        {1150, 1000, REGION_PLOT_LEFT},  // 1100 < x < 1300, 500 < y < 7000
        {1250, 4000, REGION_PLOT_LEFT},
        {1299, 6999, REGION_PLOT_LEFT},
        {1300, 4000, REGION_NONE},
        {5000, 300, REGION_FIGURE_BAND}, // 2500 < x < 7500, 0 < y < 600
        {2000, 450, REGION_PLOT_TOP},    // 400 < y < 600, 1200 < x < 9700
        {9650, 4000, REGION_PLOT_RIGHT}, // 9600 < x < 9800
        {9950, 7950, REGION_FIGURE_CORNER},
        {9950, 4000, REGION_FIGURE_RIGHT},
        {200, 7950, REGION_FIGURE_BOTTOM},
        {200, 200, REGION_NONE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GraphHitTest(p, c.x, c.y), c.region) << c.x << ", " << c.y;
}

TEST_F(GraphInteractionTest, DragsOfTheEdgesAndBands)
{
    CPlotSettings& p = doc->plot;
    struct Case {
        int region, dx, dy;
        std::vector<int> wlrhtb; // W, L, R, H, T, B afterwards
    };
    const Case cases[] = {
        // The figure's right edge 5 mm left with a right margin of 3 mm: margin 0, 3 mm less.
        {REGION_FIGURE_RIGHT, -500, 0, {9700, 1200, 0, 8000, 500, 1000}},
        {REGION_FIGURE_RIGHT, 200, 0, {10200, 1200, 500, 8000, 500, 1000}},
        {REGION_FIGURE_BOTTOM, 0, -1500, {10000, 1200, 300, 7000, 500, 0}},
        {REGION_PLOT_LEFT, -300, 0, {9700, 900, 300, 8000, 500, 1000}},
        {REGION_PLOT_LEFT, -2000, 0, {8800, 0, 300, 8000, 500, 1000}},
        {REGION_PLOT_RIGHT, 400, 0, {10400, 1200, 300, 8000, 500, 1000}},
        {REGION_PLOT_RIGHT, -20000, 0, {1500, 1200, 300, 8000, 500, 1000}}, // not below L + R
        {REGION_PLOT_TOP, 0, 100, {10000, 1200, 300, 8100, 600, 1000}},
        {REGION_PLOT_BOTTOM, 0, -9000, {10000, 1200, 300, 1500, 500, 1000}},
        {REGION_FIGURE_CORNER, 100, 100, {10000, 1200, 300, 8000, 500, 1000}},
    };
    for (const Case& c : cases) {
        p = CPlotSettings();
        graph->ApplyDrag(c.region, c.dx, c.dy);
        EXPECT_EQ(std::vector<int>({p.FigWidth, p.FigLeftMargin, p.FigRightMargin, p.FigHeight, p.FigTopMargin,
                                    p.FigBottomMargin}),
                  c.wlrhtb)
            << c.region << " " << c.dx << " " << c.dy;
        EXPECT_TRUE(graph->TakeExtentChanged());
    }

    // The bands step the axis variables; down lowers to the bound, up raises.
    std::string line;
    for (int k = 0; k < 12; ++k)
        line += (k ? ", P" : "P") + std::to_string(k) + " 1";
    SetCommands({line});
    Add(MakeTrial(0, {}));
    doc->plot.YAxisVariable = -2;
    doc->plot.PlotType = PLOT_LINE;
    doc->selectionList1 = {CParam("P0", "1")};
    graph->ApplyDrag(REGION_Y_BAND, 0, 300);
    EXPECT_EQ(doc->plot.YAxisVariable, -2);
    EXPECT_EQ(doc->plot.PlotType, PLOT_BUBBLE);
    EXPECT_TRUE(doc->selectionList1.empty());
    doc->plot.YAxisVariable = 9;
    graph->ApplyDrag(REGION_Y_BAND, 0, -300);
    EXPECT_EQ(doc->plot.YAxisVariable, 10);
    doc->plot.XAxisVariable = 0;
    graph->ApplyDrag(REGION_X_BAND, 50, 10);
    EXPECT_EQ(doc->plot.XAxisVariable, -1);
    graph->ApplyDrag(REGION_X_BAND, 0, 10);
    EXPECT_EQ(doc->plot.XAxisVariable, -1);
    doc->plot.FigureAxisVariable = 3;
    graph->ApplyDrag(REGION_FIGURE_BAND, 0, 10);
    EXPECT_EQ(doc->plot.FigureAxisVariable, 2);
}

TEST_F(GraphInteractionTest, TheYRangeFollowsTheDragLive)
{
    CPlotSettings& p = doc->plot;
    // dy 7 pixels: 3 half steps, the maximum 15 up, the step 3 up, the start 6 on.
    EXPECT_EQ(graph->DragYRange(7), 6);
    EXPECT_EQ(p.MaxYRange, 65);
    EXPECT_EQ(p.StepYRange, 13);
    EXPECT_EQ(graph->DragYRange(-5), -4);
    EXPECT_EQ(p.MaxYRange, 55);
    // Down to or below the minimum: minimum + 5 with step 1.
    EXPECT_EQ(graph->DragYRange(-40), -40);
    EXPECT_EQ(p.MaxYRange, 5);
    EXPECT_EQ(p.StepYRange, 1);
}

TEST_F(GraphInteractionTest, StatusPanesReadTheCrossHair)
{
    SetCommands({"OR 0", "OR 90", "OR 180", "OR 270"});
    Add(MakeTrial(0, {}));
    Axes(0, -1, -1);
    Update();
    std::string s, r;
    // Plot width 8500, four columns of 2125: the middle, px 4250, is
    // 0 + 90 x (4250 - 1062) x 4 / 8500 = 135.02.
    ASSERT_TRUE(StimulusPaneText(*doc, 1200 + 4250, s));
    EXPECT_EQ(s, "S:135.0");
    // Left of the plot reads as its edge: 90 x -1062 x 4 / 8500.
    ASSERT_TRUE(StimulusPaneText(*doc, 0, s));
    EXPECT_EQ(s, "S:-45.0");
    // Half the plot height 6500 up from its bottom (7000): 0 + 50 x 3250 / 6500.
    ASSERT_TRUE(ResponsePaneText(*doc, 3750, r));
    EXPECT_EQ(r, "R: 25.0");
    ASSERT_TRUE(ResponsePaneText(*doc, 9000, r));
    EXPECT_EQ(r, "R:  0.0");

    // A map: HGRID 5 over BGLEN 100 spans -40 .. 40; VGRID 3 over WID 30 spans -10 .. 10.
    doc->plot.YAxisVariable = AXIS_REVCORR;
    doc->Table(KIND_GRAPH).Add(new CParam("HGRID", 5));
    doc->Table(KIND_GRAPH).Add(new CParam("BGLEN", 100));
    doc->Table(KIND_GRAPH).Add(new CParam("VGRID", 3));
    doc->Table(KIND_GRAPH).Add(new CParam("WID", 30));
    ASSERT_TRUE(StimulusPaneText(*doc, 9700, s));
    EXPECT_EQ(s, "S: 40.0");
    ASSERT_TRUE(StimulusPaneText(*doc, 1200, s));
    EXPECT_EQ(s, "S:-40.0");
    ASSERT_TRUE(ResponsePaneText(*doc, 500, r));
    EXPECT_EQ(r, "S: 10.0");

    // No grid, or a plot dragged to nothing: the panes keep their texts.
    doc->GetGraphParam("HGRID") = 0;
    EXPECT_FALSE(StimulusPaneText(*doc, 5000, s));
    doc->plot.YAxisVariable = -1;
    doc->plot.FigWidth = doc->plot.FigLeftMargin + doc->plot.FigRightMargin;
    EXPECT_FALSE(StimulusPaneText(*doc, 5000, s));
    doc->plot.FigHeight = doc->plot.FigTopMargin + doc->plot.FigBottomMargin;
    EXPECT_FALSE(ResponsePaneText(*doc, 5000, r));
    // One x value has no step to read.
    doc->plot = CPlotSettings();
    doc->responses.xValues = {"0"};
    EXPECT_FALSE(StimulusPaneText(*doc, 5000, s));
}

TEST_F(GraphInteractionTest, CopyDataOfTuningMeans)
{
    CResponseTables& t = doc->responses;
    doc->plot.YAxisVariable = -1;
    doc->dataFilePath = "c:\\data\\ab1234x.oxv";
    EXPECT_EQ(CopyDataText(*doc), "");
    t.xValues = {"0", "90"};
    t.mean.Resize(1, 1, 2, kNoMean);
    t.error.Resize(1, 1, 2, 0.0f);
    t.mean.At(0, 0, 0) = 5;
    t.mean.At(0, 0, 1) = 7;
    t.error.At(0, 0, 0) = 1;
    t.error.At(0, 0, 1) = 0.5f;
    EXPECT_EQ(CopyDataText(*doc), "ab1234\t0\t5\t1\r\nab1234\t90\t7\t0.5\r\n");
    doc->dataFilePath = "/home/lab/data/ab1234x.oxv";
    EXPECT_EQ(CopyDataText(*doc), "ab1234\t0\t5\t1\r\nab1234\t90\t7\t0.5\r\n");

    // Figures and rows lead each line; cells without trials are left out.
    t.figureValues = {"L", "R"};
    t.yValues = {"1"};
    t.mean.Resize(2, 1, 2, kNoMean);
    t.error.Resize(2, 1, 2, 0.0f);
    t.mean.At(1, 0, 1) = 2.5f;
    doc->dataFilePath = "xy.oxv";
    EXPECT_EQ(CopyDataText(*doc), "xy.oxv\tR\t1\t90\t2.5\t0\r\n");

    // "Line smoothed" adds ten samples a step; the last step repeats the one before.
    t.figureValues.clear();
    t.yValues.clear();
    t.mean.Resize(1, 1, 2, 1.0f);
    t.error.Resize(1, 1, 2, 0.0f);
    t.smoothed.Resize(1, 1, 20, 0.5f);
    doc->plot.PlotType = PLOT_LINE_SMOOTHED;
    const std::string text = CopyDataText(*doc);
    EXPECT_EQ(text.substr(0, 34), "xy.oxv\t0\t1\t0\r\nxy.oxv\t90\t1\t0\r\nxy.ox");
    EXPECT_NE(text.find("xy.oxv\t9\t0.5\r\n"), std::string::npos);    // i 1: 0 + 90 x 0.1
    EXPECT_NE(text.find("xy.oxv\t171\t0.5\r\n"), std::string::npos);  // i 19: 90 + 90 x 0.9
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 22);
}

TEST_F(GraphInteractionTest, CopyDataOfTheDepthHistogram)
{
    SetCommands({"EYE 1, POSD 0", "EYE 3, POSD 10"});
    CResponseTables& t = doc->responses;
    CPlotSettings& p = doc->plot;
    p.XAxisVariable = 0;
    p.YAxisVariable = AXIS_DEPTH;
    p.FigureAxisVariable = 1;
    p.HistBin = 10;
    p.HistMin = -10;
    EXPECT_EQ(CopyDataText(*doc), "");
    t.xValues = {"0", "10"};
    t.figureValues = {"3"};
    t.histogram.Resize(1, 2, 3, 0);
    t.histogram.At(0, 0, 0) = -1; // no trial in this column
    t.histogram.At(0, 1, 1) = 4;
    EXPECT_EQ(CopyDataText(*doc),
              "EYE\tPOSD\tDepthMatched\tCount\r\n3\t10\t-10\t0\r\n3\t10\t0\t4\r\n3\t10\t10\t0\r\n");
}

TEST_F(GraphInteractionTest, SetOptimalValueSendsTheCrossHairValue)
{
    SetCommands({"SZ 1, OR 0", "SZ 1, OR 90"});
    doc->Table(KIND_GRAPH).Add(new CParam("POSX", "0"));
    doc->Table(KIND_GRAPH).Add(new CParam("POSY", "0"));
    doc->Table(KIND_GRAPH).Add(new CParam("OR", "0"));
    experiment.Attach(doc.get());
    std::vector<std::pair<int, std::string>> sent;
    deviceIO.SetRendererRunningForTest(true);
    deviceIO.sendHookForTest = [&](int id, const std::string& text, bool) { sent.emplace_back(id, text); };
    doc->plot.XAxisVariable = 0;
    doc->plot.YAxisVariable = -1;
    graph->SetOptimalValue("S: 45.5", "R: 10.0");
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), "45.5");
    EXPECT_EQ(sent, (std::vector<std::pair<int, std::string>>{{2, "45.5"}}));

    // A map: the two texts go to POSX and POSY.
    sent.clear();
    doc->plot.YAxisVariable = AXIS_REVCORR;
    graph->SetOptimalValue("S:-12.5", "S:  3.0");
    EXPECT_EQ(doc->GetGraphParam("POSX").GetText(), "-12.5");
    EXPECT_EQ(doc->GetGraphParam("POSY").GetText(), "3.0");
    EXPECT_EQ(sent.size(), 2u);

    // An x parameter of no graph parameter, or a pane that showed nothing: nothing sent.
    sent.clear();
    doc->plot.YAxisVariable = -1;
    doc->plot.XAxisVariable = 1; // SZ
    graph->SetOptimalValue("S:  2.0", "");
    doc->plot.XAxisVariable = 0;
    graph->SetOptimalValue("", "");
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), "45.5");
    experiment.Attach(nullptr);
}
