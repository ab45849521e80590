// The response graph's commands worked out by hand: the axes and "Param2ShowX/Y/Z", the
// filter's upkeep and candidates, the analyses of the test types and "Switch RIDGE".
#include <cmath>

#include "graph_fixture.h"

using namespace orvix;

namespace {

std::string Text(CParam p) { return p.GetText(); }

// One command of n parameters P0 .. P(n-1), P0 first, with values v + k.
std::string Line(int n, int v)
{
    std::string line;
    for (int k = 0; k < n; ++k)
        line += (k ? ", P" : "P") + std::to_string(k) + " " + std::to_string(v + k);
    return line;
}

} // namespace

class GraphCommandsTest : public GraphTest {
protected:
    // A new document and graph for the next case of a table.
    void Fresh()
    {
        graph.reset();
        doc = std::make_unique<COrvixDoc>();
        graph = std::make_unique<CResponseGraph>(*doc);
    }
    std::string Show(const char* name) { return Text(doc->GetBehavParam(name, CParam(nullptr, 0))); }
    std::string Test(const char* name) { return Text(doc->GetExpParam(name, CParam(nullptr, 0))); }
    // Every column of the row in order, as text, for the command i.
    std::vector<std::string> Row(int i)
    {
        std::vector<std::string> out;
        for (CParam& p : doc->GetCommand(i))
            out.push_back(p.GetName() + "=" + p.GetText());
        return out;
    }
};

TEST_F(GraphCommandsTest, AxisItemsWriteTheirNamesAndTitles)
{
    SetCommands({Line(20, 0), Line(20, 100)});
    Add(MakeTrial(0, {}));
    // The table has 20 + 14 columns; the last parameter P19 is column 19, k = 0.
    ASSERT_EQ(graph->OfferedColumnCount(), 20);
    graph->SelectAxisParam(AXIS_X, 0);
    EXPECT_EQ(doc->plot.XAxisVariable, 0);
    EXPECT_EQ(Show("Param2ShowX"), "P19");
    EXPECT_EQ(Test("XTitle"), "P19");
    EXPECT_EQ(doc->plot.xTitle, "P19");
    EXPECT_EQ(doc->responses.xValues, (std::vector<std::string>{"19", "119"}));

    graph->SelectAxisSpecial(AXIS_X, AXIS_TIME);
    EXPECT_EQ(doc->plot.XAxisVariable, -1);
    EXPECT_EQ(Show("Param2ShowX"), "Time (ms)");

    // Positions beyond the old menus' ten work alike: P0 is k = 19.
    graph->SelectAxisParam(AXIS_Y, 19);
    EXPECT_EQ(Show("Param2ShowY"), "P0");
    graph->SelectAxisSpecial(AXIS_Y, AXIS_DEPTH);
    EXPECT_EQ(Show("Param2ShowY"), "Depth matched");
    EXPECT_EQ(Test("YTitle"), "Depth matched");
    graph->SelectAxisSpecial(AXIS_FIGURE, AXIS_ALL);
    EXPECT_EQ(Show("Param2ShowZ"), "all");
    EXPECT_EQ(doc->plot.zTitle, "all");

    // Out of range: clamped to -1 .. C - 15, -3 .. C - 15.
    doc->plot.XAxisVariable = 25;
    doc->plot.YAxisVariable = -7;
    doc->plot.FigureAxisVariable = -4;
    graph->RebuildAndRedraw();
    EXPECT_EQ(doc->plot.XAxisVariable, 19);
    EXPECT_EQ(doc->plot.YAxisVariable, -3);
    EXPECT_EQ(doc->plot.FigureAxisVariable, -1);
    EXPECT_EQ(Show("Param2ShowY"), "RevCorr");
}

TEST_F(GraphCommandsTest, AxesComeFromTheBehaviourParametersOrPutTheCurrentNamesBack)
{
    SetCommands({"EYE 1, SZ 2, OR 0", "EYE 3, SZ 4, OR 90"});
    Add(MakeTrial(0, {}));
    doc->GetBehavParam("Param2ShowX", CParam(nullptr, 0)) = "SZ";
    doc->GetBehavParam("Param2ShowY", CParam(nullptr, 0)) = "Depth matched";
    doc->GetBehavParam("Param2ShowZ", CParam(nullptr, 0)) = "EYE";
    graph->OnUpdate(DocUpdate{HINT_AXES});
    EXPECT_EQ(doc->plot.XAxisVariable, 1);
    EXPECT_EQ(doc->plot.YAxisVariable, -2);
    EXPECT_EQ(doc->plot.FigureAxisVariable, 2);
    EXPECT_EQ(doc->plot.zTitle, "EYE");
    EXPECT_EQ(doc->responses.figureValues, (std::vector<std::string>{"1", "3"}));

    // An unknown name leaves the axis and shows its name again; so does an empty one.
    doc->GetBehavParam("Param2ShowY", CParam(nullptr, 0)) = "Nonsense";
    doc->GetBehavParam("Param2ShowX", CParam(nullptr, 0)) = "";
    graph->SetupAxesFromTest();
    EXPECT_EQ(doc->plot.YAxisVariable, -2);
    EXPECT_EQ(Show("Param2ShowY"), "Depth matched");
    EXPECT_EQ(doc->plot.XAxisVariable, 1);
    EXPECT_EQ(Show("Param2ShowX"), "SZ");
    EXPECT_EQ(Test("YTitle"), "Depth matched");
}

TEST_F(GraphCommandsTest, TheFilterLosesPlottedAndUnknownParameters)
{
    SetCommands({"EYE 1, SZ 2, OR 0", "EYE 3, SZ 4, OR 90"});
    Add(MakeTrial(0, {}));
    doc->plot.YAxisVariable = -1;
    doc->plot.FigureAxisVariable = -1;
    doc->selectionList1 = {CParam("EYE", "3"), CParam("OR", "0"), CParam("GONE", "1")};
    doc->selectionList2 = {CParam("SZ", "2")};
    // OR as x: its entry goes at the next rebuild; GONE names no column.
    doc->plot.XAxisVariable = 0;
    graph->RebuildAxes(false);
    ASSERT_EQ(doc->selectionList1.size(), 1u);
    EXPECT_EQ(doc->selectionList1[0].GetName(), "EYE");
    ASSERT_EQ(doc->selectionList2.size(), 1u);
    // The x menu empties the filter altogether.
    graph->SelectAxisParam(AXIS_X, 1);
    EXPECT_TRUE(doc->selectionList1.empty());
    EXPECT_TRUE(doc->selectionList2.empty());
}

TEST_F(GraphCommandsTest, SelectionCandidatesAreDistinctAndSortedByNameThenNumber)
{
    SetCommands({"SZ 10, COL 10, EYE 3, OR 0", "SZ 9, COL 9, EYE 3, OR 90", "SZ 10, COL 9, EYE 1, OR 0",
                 "SZ 2.5, COL 10, EYE 1, OR 90"});
    Axes(0, -1, -1); // OR is plotted: not offered
    std::vector<std::string> got;
    for (CParam& c : graph->SelectionCandidates())
        got.push_back(c.GetName() + "=" + c.GetText());
    // COL by text ("10" before "9"); SZ by number (2.5, 9, 10).
    EXPECT_EQ(got, (std::vector<std::string>{"COL=10", "COL=9", "EYE=1", "EYE=3", "SZ=2.5", "SZ=9", "SZ=10"}));
}

TEST_F(GraphCommandsTest, RandomDotRoofMacro)
{
    // Ridge (-50 + 20) x -0.116 = 3.48 -> 3 and eaves -50 x -0.116 = 5.8 -> 6 (rounded);
    // for POSD -100: 9.28 -> 9 and 11.6 -> 12.
    SetCommands({"EYE 3, POSD -50, ROOFDEPTH 20", "EYE 1, POSD -50, ROOFDEPTH 20", "EYE 3, POSD -100, ROOFDEPTH 20"});
    SelectChannel(0);
    Add(MakeTrial(0, {}));
    Add(MakeTrial(1, {}));
    Add(MakeTrial(2, {}));
    doc->GetTrial(0)->channelResponses[0] = 37.2f;
    doc->GetTrial(1)->channelResponses[0] = 50.0f; // EYE 1: filtered out
    doc->GetTrial(2)->channelResponses[0] = 10.0f;
    graph->RunAnalysisMacro(AnalysisMacro::RDRoof);

    EXPECT_EQ(Row(0), (std::vector<std::string>{"Eaves distance (mm)=6", "Ridge distance (mm)=3", "EYE=3", "POSD=-50",
                                                "ROOFDEPTH=20"}));
    const CPlotSettings& p = doc->plot;
    EXPECT_EQ(p.XAxisVariable, 3);
    EXPECT_EQ(p.YAxisVariable, 4);
    EXPECT_EQ(p.FigureAxisVariable, -1);
    EXPECT_EQ(Show("Param2ShowX"), "Ridge distance (mm)");
    EXPECT_EQ(Show("Param2ShowY"), "Eaves distance (mm)");
    ASSERT_EQ(doc->selectionList1.size(), 1u);
    EXPECT_EQ(Text(doc->selectionList1[0]), "3");
    EXPECT_EQ(doc->selectionList1[0].GetName(), "EYE");
    EXPECT_TRUE(doc->selectionList2.empty());
    EXPECT_EQ(p.PlotType, PLOT_ROOF);
    EXPECT_EQ(std::vector<int>({p.FigWidth, p.FigHeight, p.FigLeftMargin, p.FigRightMargin, p.FigTopMargin,
                                p.FigBottomMargin, p.mainFont.height, p.verticalFont.height}),
              std::vector<int>({8500, 7300, 1250, 1250, 300, 1000, -318, -318}));
    EXPECT_EQ(doc->responses.xValues, (std::vector<std::string>{"3", "9"}));
    EXPECT_EQ(doc->responses.yValues, (std::vector<std::string>{"6", "12"}));
    // The largest mean 37.2: step ceil(7.44) = 8, maximum 40.
    EXPECT_EQ(doc->responses.maxMean, 37.2f);
    EXPECT_EQ(p.StepYRange, 8);
    EXPECT_EQ(p.MaxYRange, 40);
    EXPECT_EQ(doc->expressionColumns,
              (std::vector<std::string>{"Ridge distance (mm)", "(POSD+ROOFDEPTH)*(-0.116)", "Eaves distance (mm)",
                                        "POSD*(-0.116)"}));
}

TEST_F(GraphCommandsTest, RandomDotEdgeMacroSwapsTheSidesByRidge)
{
    // RIDGE 0: side 1 = (-50 + 20) x -0.116 -> 3, side 2 = 6; RIDGE 14 the other way round.
    SetCommands({"RIDGE 0, EYE 3, POSD -50, ROOFDEPTH 20", "RIDGE 14, EYE 3, POSD -50, ROOFDEPTH 20"});
    Add(MakeTrial(0, {}));
    graph->RunAnalysisMacro(AnalysisMacro::RDEdge);
    EXPECT_EQ(Row(0)[0], "Side 2 distance (mm)=6");
    EXPECT_EQ(Row(0)[1], "Side 1 distance (mm)=3");
    EXPECT_EQ(Row(1)[0], "Side 2 distance (mm)=3");
    EXPECT_EQ(Row(1)[1], "Side 1 distance (mm)=6");
    EXPECT_EQ(doc->plot.PlotType, PLOT_EDGE);
    EXPECT_EQ(doc->plot.XAxisVariable, 4);
    EXPECT_EQ(doc->plot.YAxisVariable, 5);
    EXPECT_EQ(doc->selectionList1.size(), 1u);
}

TEST_F(GraphCommandsTest, SolidRoofConfigurationFollowsTheOrientation)
{
    struct Case {
        const char* orientation;
        const char* orientation2; // null: no OR2
        bool lightDir;
        std::vector<std::string> conf; // of EYE 3 and EYE 1 with LIGHTDIR '0 .5 -.5'
    };
    const Case cases[] = {
        {"350", "20", false, {"Bino_Top", "Mono_Top"}},         // a = 10: upper
        {"120", nullptr, false, {"Bino_Bottom", "Mono_Bottom"}}, // lower
        {"-10", nullptr, false, {"Bino_Top", "Mono_Top"}},       // 350: upper
        {"120", nullptr, true, {"Bino_Top", "Mono_Top"}},        // lower, light from below
        {"45", nullptr, true, {"Bino_Bottom", "Mono_Bottom"}},
    };
    for (const Case& c : cases) {
        Fresh();
        doc->Table(KIND_GRAPH).Add(new CParam("OR", c.orientation));
        if (c.orientation2)
            doc->Table(KIND_GRAPH).Add(new CParam("OR2", c.orientation2));
        if (c.lightDir)
            SetCommands({"LIGHTDIR 0 .5 -.5, EYE 3, POSD -50, ROOFDEPTH 20", "LIGHTDIR 0 .5 -.5, EYE 1, POSD -50, ROOFDEPTH 20"});
        else
            SetCommands({"EYE 3, POSD -50, ROOFDEPTH 20", "EYE 1, POSD -50, ROOFDEPTH 20"});
        Add(MakeTrial(0, {}));
        graph->RunAnalysisMacro(AnalysisMacro::SolidRoof);
        EXPECT_EQ(Row(0)[0], "Conf=" + c.conf[0]) << c.orientation;
        EXPECT_EQ(Row(1)[0], "Conf=" + c.conf[1]) << c.orientation;
        EXPECT_EQ(Show("Param2ShowZ"), "Conf");
        EXPECT_TRUE(doc->selectionList1.empty());
    }
}

TEST_F(GraphCommandsTest, BorderOwnershipAndOrientationMacros)
{
    SetCommands({"RANDOMDOT 0, ORIGIN 0 -1 0, REVCOL 0, RIDGE 0", "RANDOMDOT 0, ORIGIN 0 1 0, REVCOL 0, RIDGE 0",
                 "RANDOMDOT 1, ORIGIN 0 1 0, REVCOL 0, RIDGE 14", "RANDOMDOT 1, ORIGIN 0 1 0, REVCOL 0, RIDGE 0"});
    Add(MakeTrial(0, {}));
    graph->RunAnalysisMacro(AnalysisMacro::BorderOwnership);
    EXPECT_EQ(Row(0)[0], "Contrast=UFS");
    EXPECT_EQ(Row(1)[0], "Contrast=UFS_R");
    EXPECT_EQ(Row(2)[0], "Contrast=RDS");
    EXPECT_EQ(Row(3)[0], "Contrast=RDS_R");
    const CPlotSettings& p = doc->plot;
    EXPECT_EQ(Show("Param2ShowX"), "ORIGIN");
    EXPECT_EQ(p.YAxisVariable, -1);
    EXPECT_EQ(Show("Param2ShowZ"), "Contrast");
    EXPECT_EQ(p.PlotType, PLOT_BUBBLE);
    EXPECT_EQ(p.FigHeight, 5800);

    Fresh();
    SetCommands({"OR 200", "OR 90"});
    Add(MakeTrial(0, {}));
    graph->RunAnalysisMacro(MacroForTestType("Orient_Bar"));
    EXPECT_EQ(Row(0)[0], "Orientation (deg)=20");
    EXPECT_EQ(doc->plot.PlotType, PLOT_LINE_SMOOTHED);
    EXPECT_EQ(std::vector<int>({doc->plot.FigWidth, doc->plot.FigHeight, doc->plot.FigTopMargin}),
              std::vector<int>({10000, 9000, 500}));
    graph->RunAnalysisMacro(MacroForTestType("Orient_RDEdge"));
    EXPECT_EQ(Row(0)[0], "Orientation (deg)=200");
    EXPECT_EQ(doc->plot.FigWidth, 14000);
    EXPECT_EQ(Show("Param2ShowX"), "Orientation (deg)");
}

TEST_F(GraphCommandsTest, SwitchRidgeOnlyInMergeModeAndOnlyForTheChosenSource)
{
    SetCommands({"RIDGE 0, POSD -50, ROOFDEPTH 20", "RIDGE 14, POSD -50, ROOFDEPTH 20"});
    Add(MakeTrial(0, {}));
    EXPECT_EQ(graph->SwitchRidgeSources(), -1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "This function only exists in file merging mode.");

    // The document's own commands are source 1; a merged file's would be 2.
    doc->OnFileMergingMode();
    doc->commandLines.push_back("in 2, RIDGE 0, POSD -50, ROOFDEPTH 20");
    doc->ParseCommandFile(kNoAngleOffset);
    doc->mergeMode = 2;
    EXPECT_EQ(graph->SwitchRidgeSources(), 2);
    graph->SwitchRidge(1);
    auto ridge = [&](int i) {
        for (CParam& p : doc->GetCommand(i))
            if (p.GetName() == "RIDGE")
                return p.GetText();
        return std::string("none");
    };
    EXPECT_EQ(ridge(0), "0");
    EXPECT_EQ(ridge(1), "14");
    EXPECT_EQ(ridge(2), "14");
    EXPECT_EQ(doc->plot.PlotType, PLOT_EDGE); // then the edges are drawn
    EXPECT_EQ(doc->expressionColumns[0], "RIDGE");
    EXPECT_EQ(doc->expressionColumns[1], "in==2?(RIDGE==0?14:0):RIDGE");
}

TEST_F(GraphCommandsTest, PresetSizesAndPlotTypes)
{
    SetCommands({"OR 0"});
    graph->SetPresetSize(false);
    const CPlotSettings& p = doc->plot;
    EXPECT_EQ(std::vector<int>({p.FigWidth, p.FigHeight, p.FigLeftMargin, p.FigRightMargin, p.FigTopMargin,
                                p.FigBottomMargin, p.mainFont.height, p.verticalFont.height}),
              std::vector<int>({5000, 4000, 600, 150, 250, 500, -159, -159}));
    EXPECT_TRUE(graph->TakeExtentChanged());
    graph->SetPresetSize(true);
    EXPECT_EQ(std::vector<int>({p.FigWidth, p.FigHeight, p.FigLeftMargin, p.FigRightMargin, p.FigTopMargin,
                                p.FigBottomMargin, p.mainFont.height}),
              std::vector<int>({10000, 8000, 1200, 300, 500, 1000, -318}));
    graph->SetPlotType(PLOT_INVERT_EDGE);
    EXPECT_EQ(p.PlotType, PLOT_INVERT_EDGE);
    EXPECT_TRUE(graph->TakeRepaint());
}

TEST_F(GraphCommandsTest, CommandsWithoutStimulusCommandsDoNothing)
{
    graph->SelectAxisParam(AXIS_X, 3);
    EXPECT_EQ(doc->plot.XAxisVariable, 3);
    EXPECT_EQ(doc->FindBehavParam("Param2ShowX", false, CParam(nullptr, 0)), -1);
    graph->RunAnalysisMacro(AnalysisMacro::RDRoof);
    EXPECT_EQ(doc->plot.PlotType, PLOT_BUBBLE);
    EXPECT_TRUE(graph->SelectionCandidates().empty());
    EXPECT_EQ(graph->SwitchRidgeSources(), -1);
    EXPECT_TRUE(ui.messages.empty());
}
