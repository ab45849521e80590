// The response graph's tables, worked out by hand: tuning means and errors, rasters' trial
// groups, the depth histogram, the smoothed curve, the axis values and the filter.
#include <cmath>

#include "graph_fixture.h"

using namespace orvix;

namespace {

std::vector<float> Row(const CCellTable<float>& t, int f, int r)
{
    auto row = t.Row(f, r);
    return {row.begin(), row.end()};
}

} // namespace

TEST_F(GraphTest, TuningMeansErrorsAndCountsPerCondition)
{
    TuningDocument();
    const CResponseTables& t = doc->responses;
    EXPECT_EQ(t.xValues, (std::vector<std::string>{"0", "90"}));
    EXPECT_EQ(Row(t.mean, 0, 0), (std::vector<float>{10, 10}));
    // sqrt(((5 - 10)^2 + (15 - 10)^2) / (1 x 2)) = 5; one trial has no error.
    EXPECT_EQ(Row(t.error, 0, 0), (std::vector<float>{5, 0}));
    EXPECT_EQ(t.count.At(0, 0, 0), 2);
    EXPECT_EQ(t.count.At(0, 0, 1), 1);
    EXPECT_EQ(t.maxMean, 10.0f);

    // The mean of the eight active channels: 5/8 and 15/8 average 1.25, 10/8 is 1.25. A
    // trial without a figure onset has no rate on any channel and is not a mean of 0.
    SelectChannel(-1);
    CTrial* aborted = MakeTrial(0, {});
    aborted->eventTimes = {0};
    aborted->eventCodes = {1};
    aborted->ComputeResponse(800);
    Add(aborted);
    Update();
    EXPECT_EQ(Row(t.mean, 0, 0), (std::vector<float>{1.25f, 1.25f}));
    EXPECT_EQ(t.count.At(0, 0, 0), 2);
    EXPECT_EQ(t.maxMean, 1.25f);

    // Channel 0 switched off in a trial, or no rate computed: that trial is left out.
    SelectChannel(0);
    Add(TrialWithSpikes(1, 40, 0xFE));
    CTrial* late = MakeTrial(1, {});
    late->length = 500; // the 800 ms window does not fit: no rate
    late->ComputeResponse(800);
    Add(late);
    Update();
    EXPECT_EQ(t.count.At(0, 0, 1), 1);
    EXPECT_EQ(t.mean.At(0, 0, 1), 10.0f);
}

TEST_F(GraphTest, RowsAndFiguresSplitTheTables)
{
    // Responses 2 and 4 in one cell: mean 3, error sqrt((1 + 1) / 2) = 1.
    SetCommands({"EYE 1, SZ 2, OR 0", "EYE 1, SZ 4, OR 0", "EYE 3, SZ 2, OR 90", "EYE 1, SZ 2, OR 90"});
    SelectChannel(0);
    Add(TrialWithSpikes(0, 2 * 8 / 10)); // 1 spike: 1.25/s
    for (int spikes : {8, 16})           // 10 and 20 spikes/s
        Add(TrialWithSpikes(3, spikes));
    Add(TrialWithSpikes(1, 24));
    Add(TrialWithSpikes(2, 32));
    Axes(0, 1, 2); // x OR, rows SZ, figures EYE
    Update();
    const CResponseTables& t = doc->responses;
    ASSERT_EQ(t.figureValues, (std::vector<std::string>{"1", "3"}));
    ASSERT_EQ(t.yValues, (std::vector<std::string>{"2", "4"}));
    EXPECT_EQ(Row(t.mean, 0, 0), (std::vector<float>{1.25f, 15}));
    EXPECT_EQ(Row(t.error, 0, 0), (std::vector<float>{0, 5}));
    EXPECT_EQ(Row(t.mean, 0, 1), (std::vector<float>{30, kNoMean}));
    EXPECT_EQ(Row(t.mean, 1, 0), (std::vector<float>{kNoMean, 40}));
    EXPECT_EQ(Row(t.mean, 1, 1), (std::vector<float>{kNoMean, kNoMean}));
    EXPECT_EQ(t.maxMean, 40.0f);
    EXPECT_EQ(doc->figureCount, 2);
}

TEST_F(GraphTest, AxisValuesSortAsNumbersOrNames)
{
    struct Case {
        std::vector<std::string> values, sorted;
    };
    const Case cases[] = {
        {{"10", "2", "1.5"}, {"1.5", "2", "10"}},
        {{"b", "a"}, {"a", "b"}},
        {{"-5", "0", "-10"}, {"-10", "-5", "0"}},
        {{"Mono_Top", "Bino_Top", "Bino_Bottom"}, {"Bino_Bottom", "Bino_Top", "Mono_Top"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> v = c.values;
        SortValueTexts(v);
        EXPECT_EQ(v, c.sorted);
    }
    // The first operand decides: a name compares as bytes, anything else as a number.
    EXPECT_EQ(CompareValueText("a", "10"), 1);
    EXPECT_EQ(CompareValueText("10", "a"), 1); // 10 > atof("a") = 0
    EXPECT_EQ(CompareValueText("2.0", "2"), 0);
    EXPECT_EQ(CompareValueText("B", "a"), -1);
    // Mixed lists stay whole, whatever order they end in.
    std::vector<std::string> mixed = {"x", "3", "a", "-1", "b", "2", "", "zz", "1e3"};
    SortValueTexts(mixed);
    std::vector<std::string> expected = {"x", "3", "a", "-1", "b", "2", "", "zz", "1e3"};
    std::sort(mixed.begin(), mixed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(mixed, expected);

    SetCommands({"OR 10", "OR 2", "OR 1.5", "OR 2"});
    Axes(0, -1, -1);
    EXPECT_EQ(doc->responses.xValues, (std::vector<std::string>{"1.5", "2", "10"}));
    EXPECT_EQ(graph->Index(AXIS_X), (std::vector<int>{2, 1, 0, 1}));
}

TEST_F(GraphTest, TheSelectionListsAreAndedWithinAndOredBetween)
{
    auto row = [](const char* line) { return ParseCommandLine(line, kNoAngleOffset); };
    const CommandRow ab = row("A 1, B 1"), ac = row("A 1, C 1"), a = row("A 1, B 2"), c = row("C 1, B 2");
    const std::vector<CParam> none, A{CParam("A", 1)}, C{CParam("C", 1)}, AB{CParam("A", 1), CParam("B", 1)};
    struct Case {
        const CommandRow* row;
        const std::vector<CParam>* list1;
        const std::vector<CParam>* list2;
        bool passes;
    };
    const Case cases[] = {
        {&ab, &none, &none, true}, {&c, &none, &none, true},
        // {A} or {C}
        {&ab, &A, &C, true}, {&c, &A, &C, true}, {&ac, &A, &C, true}, {&a, &none, &C, false},
        // {A, B}: both
        {&ab, &AB, &none, true}, {&a, &AB, &none, false}, {&ac, &AB, &none, false}, {&c, &none, &AB, false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(PassesSelection(*k.row, *k.list1, *k.list2), k.passes);

    // Values compare as numbers: "1.0" matches 1; names must agree.
    EXPECT_TRUE(PassesSelection(row("A 1.0"), A, none));
    EXPECT_FALSE(PassesSelection(row("Z 1"), A, none));

    // Commands that fail the filter are not plotted.
    SetCommands({"A 1, B 1, OR 0", "A 1, B 2, OR 45", "A 2, B 1, OR 90"});
    doc->selectionList1 = AB;
    Axes(0, -1, -1);
    EXPECT_EQ(graph->Index(AXIS_X), (std::vector<int>{0, -1, -1}));
    doc->selectionList2 = {CParam("A", 2)};
    Axes(-1, -1, -1);
    EXPECT_EQ(graph->Index(AXIS_X), (std::vector<int>{0, -1, 0}));
}

TEST_F(GraphTest, MoreThanAHundredValuesSwitchOffARowAxisAndStopAnXAxis)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 101; ++i)
        lines.push_back("SZ " + std::to_string(i) + ", OR " + std::to_string(i % 2 * 90));
    SetCommands(lines);
    Axes(0, 1, -1);
    EXPECT_EQ(doc->plot.YAxisVariable, -1);
    EXPECT_TRUE(doc->responses.yValues.empty());
    EXPECT_EQ(graph->Index(AXIS_Y), std::vector<int>(101, -1));

    // On the x axis the variable stays, and an update then leaves the tables alone.
    SelectChannel(0);
    Add(TrialWithSpikes(0, 8));
    Axes(0, -1, -1);
    Update();
    EXPECT_EQ(doc->responses.NX(), 2);
    Axes(1, -1, -1);
    EXPECT_EQ(doc->plot.XAxisVariable, 1);
    EXPECT_EQ(doc->responses.NX(), 101);
    Update();
    EXPECT_EQ(doc->responses.mean.Columns(), 2);
}

TEST_F(GraphTest, TheDepthHistogramCountsTheFourthResponse)
{
    // Bins of 10 from 0 to 100: 11 bins. (5 + v) / 10 truncated: 4 -> 0, 5 -> 1, -14 -> 0,
    // -15 -> -1 (out), 104 -> 10, 105 -> 11 (out).
    SetCommands({"OR 0", "OR 90"});
    for (int v : {4, 5, -14, -15, 104, 105}) {
        CTrial* t = MakeTrial(0, {});
        t->responses[3] = v;
        Add(t);
    }
    doc->plot.HistMin = 0;
    doc->plot.HistMax = 100;
    doc->plot.HistBin = 10;
    Axes(0, -2, -1);
    SelectChannel(-1); // the channel plays no part
    Update();
    const CCellTable<int32_t>& h = doc->responses.histogram;
    ASSERT_EQ(h.Columns(), 11);
    std::vector<int32_t> bins(h.Row(0, 0).begin(), h.Row(0, 0).end());
    EXPECT_EQ(bins, (std::vector<int32_t>{2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(h.At(0, 1, 0), -1); // OR 90 has no trial
    EXPECT_EQ(doc->plot.HistMaxCount, 2);

    // No bin width, or a range turned round: no histogram, and no crash.
    for (auto [bin, lo, hi] : {std::tuple{0, 0, 100}, {-10, 0, 100}, {10, 100, 0}}) {
        doc->plot.HistBin = bin;
        doc->plot.HistMin = lo;
        doc->plot.HistMax = hi;
        Update();
        EXPECT_EQ(doc->responses.histogram.Columns(), 0);
        EXPECT_EQ(doc->plot.HistMaxCount, 1);
    }
}

TEST_F(GraphTest, RastersGroupTheTrialsOfTheSelectedChannel)
{
    SetCommands({"SZ 2, OR 0", "SZ 4, OR 0", "SZ 2, OR 90"});
    Add(TrialWithSpikes(0, 3));
    Add(TrialWithSpikes(1, 3, 0xFE)); // channel 0 inactive
    Add(TrialWithSpikes(2, 3));
    Add(TrialWithSpikes(1, 0));
    Axes(-1, 1, -1);
    SelectChannel(0);
    Update();
    const CResponseTables& t = doc->responses;
    ASSERT_EQ(t.groupRows, 2);
    EXPECT_EQ(*t.Group(0, 0), (std::vector<int>{0, 2}));
    EXPECT_EQ(*t.Group(0, 1), (std::vector<int>{3}));
    // The mean of the channels groups nothing.
    SelectChannel(-1);
    Update();
    EXPECT_TRUE(t.Group(0, 0)->empty());
    EXPECT_TRUE(t.Group(0, 1)->empty());
}

TEST_F(GraphTest, TheSmoothedCurveWrapsRoundTheXValues)
{
    // Width 3: 19 taps, centre 1 / (3 sqrt(2 pi)) = 0.132981.
    ASSERT_EQ(doc->smoothKernel.size(), 19u);
    EXPECT_NEAR(doc->smoothKernel[9], 0.132981, 1e-6);

    // Means 0 and 10: samples 0, 1, .., 9, 10, 9, .., 1 (round from 10 back to 0).
    SetCommands({"OR 0", "OR 90"});
    Add(TrialWithSpikes(0, 0));
    Add(TrialWithSpikes(1, 8));
    Axes(0, -1, -1);
    SelectChannel(0);
    Update();
    const CCellTable<float>& s = doc->responses.smoothed;
    ASSERT_EQ(s.Columns(), 20);
    EXPECT_NEAR(s.At(0, 0, 0), 2.3561, 1e-3);
    EXPECT_NEAR(s.At(0, 0, 10), 7.6292, 1e-3);
    EXPECT_NEAR(s.At(0, 0, 5), 4.9927, 1e-3);

    // A constant curve loses what the kernel cut at 3 sigma leaves out: 10 x 0.998534.
    std::vector<float> out;
    SmoothCircular(std::vector<float>(30, 10.0f), doc->smoothKernel, out);
    for (float v : out)
        EXPECT_NEAR(v, 9.98534, 1e-4);

    // Sigma 1.0 is 10 tenths: 61 taps round a curve of one x value (10 samples).
    doc->SetSmoothSigma(1.0f);
    EXPECT_EQ(doc->smoothWidth, 10);
    EXPECT_EQ(doc->smoothKernel.size(), 61u);
    SetCommands({"OR 0"});
    Add(TrialWithSpikes(0, 8)); // OR 0: 0 and 10 spikes/s, mean 5
    Axes(0, -1, -1);
    Update();
    ASSERT_EQ(s.Columns(), 10);
    // The kernel of 61 taps sums to 0.997721 (cut at 3 sigma).
    for (int j = 0; j < 10; ++j)
        EXPECT_NEAR(s.At(0, 0, j), 4.98860, 1e-4);
    doc->SetSmoothSigma(0.25f);
    EXPECT_EQ(doc->smoothKernel.size(), 13u);
    doc->SetSmoothSigma(0.05f); // less than a tenth keeps one
    EXPECT_EQ(doc->smoothWidth, 1);
    EXPECT_NEAR(doc->GetSmoothSigma(), 0.1f, 1e-6);
}

TEST_F(GraphTest, TrialsAddedOneByOneGiveTheTablesOfAFullBuild)
{
    SetCommands({"SZ 2, OR 0", "SZ 2, OR 45", "SZ 4, OR 0", "SZ 4, OR 90"});
    SelectChannel(0);
    // Tuning curves by figure, rasters by row, the depth histogram.
    const int axes[][3] = {{0, -1, 1}, {-1, 1, -1}, {0, -2, 1}};
    int builds = 0;
    for (const auto& a : axes) {
        Axes(a[0], a[1], a[2]);
        Update();
        for (int i = 0; i < 24; ++i) {
            CTrial* t = TrialWithSpikes(i % 4, (i * 7) % 13);
            t->responses[3] = (i * 37) % 300 - 150;
            Add(t);
            Update(HINT_TRIAL_ADDED, t);
        }
        const CResponseTables added = doc->responses;
        const int histMax = doc->plot.HistMaxCount;
        graph->RebuildTables();
        builds += 2;
        const CResponseTables& full = doc->responses;
        EXPECT_EQ(added.mean.Cells(), full.mean.Cells());
        EXPECT_EQ(added.error.Cells(), full.error.Cells());
        EXPECT_EQ(added.count.Cells(), full.count.Cells());
        EXPECT_EQ(added.smoothed.Cells(), full.smoothed.Cells());
        EXPECT_EQ(added.maxMean, full.maxMean);
        EXPECT_EQ(added.groups, full.groups);
        EXPECT_EQ(added.histogram.Cells(), full.histogram.Cells());
        EXPECT_EQ(histMax, doc->plot.HistMaxCount);
        EXPECT_EQ(graph->FullBuilds(), builds); // the first update and the one above
    }
    EXPECT_FALSE(doc->responses.histogram.Cells().empty());
    EXPECT_GT(doc->plot.HistMaxCount, 1);
}

TEST_F(GraphTest, ANewCommandListIsIndexedAgain)
{
    SetCommands({"OR 0", "OR 90"});
    Axes(0, -1, -1);
    SelectChannel(0);
    // A longer list than the index arrays know, and trials naming no command.
    SetCommands({"OR 10", "OR 20", "OR 30"});
    Add(TrialWithSpikes(2, 8));
    Add(TrialWithSpikes(7, 8));
    Add(TrialWithSpikes(-1, 8));
    EXPECT_EQ(graph->IndexOf(AXIS_X, 2), -1);
    Update(HINT_TRIAL_ADDED, doc->GetTrial(2));
    EXPECT_EQ(doc->responses.xValues, (std::vector<std::string>{"10", "20", "30"}));
    EXPECT_EQ(Row(doc->responses.mean, 0, 0), (std::vector<float>{kNoMean, kNoMean, 10}));
    EXPECT_EQ(doc->responses.count.At(0, 0, 2), 1);
}

TEST_F(GraphTest, HintsThatDoNotConcernTheGraphChangeNothing)
{
    SetCommands({"OR 0"});
    Axes(0, -1, -1);
    for (UpdateHint h : {HINT_PASS, HINT_PARAMS_RELOADED, HINT_EYE_REDRAW, HINT_EYE_SAMPLING_ON})
        Update(h);
    EXPECT_FALSE(graph->TakeRepaint());
    // No trials: the extent is updated and the window repainted, the tables stay.
    Update();
    EXPECT_TRUE(graph->TakeRepaint());
    EXPECT_TRUE(graph->TakeExtentChanged());
    EXPECT_FALSE(graph->TakeRepaint());
}

TEST(ResponseGraph, ReverseCorrelationWindowIsWholeFramesOf72Hz)
{
    // ceil(F x 0.072) frames of 13.888.. ms, truncated: 36 frames are 499.99.. ms.
    const std::pair<int, int> cases[] = {{0, 0}, {100, 111}, {13, 13}, {14, 27}, {15, 27}, {500, 499}, {1000, 999}};
    for (auto [figOnDur, ms] : cases)
        EXPECT_EQ(RevCorrDuration(figOnDur), ms) << figOnDur;
}

TEST(ResponseGraph, TestTypesNameTheirAnalysis)
{
    const std::pair<const char*, AnalysisMacro> cases[] = {
        {"Depth_RandomRoof", AnalysisMacro::RDRoof},      {"Depth_RandomEdge", AnalysisMacro::RDEdge},
        {"Depth_SolidRoof", AnalysisMacro::SolidRoof},    {"Border_Ownership", AnalysisMacro::BorderOwnership},
        {"Orient_Bar", AnalysisMacro::Orientation},       {"Orient_Grating", AnalysisMacro::Orientation},
        {"Orient_RDRoof", AnalysisMacro::Orientation},    {"Orient", AnalysisMacro::Orientation},
        {"Orient_Roof", AnalysisMacro::Orientation},      {"Orient_RDEdge", AnalysisMacro::OrientationRDEdge},
        {"orient", AnalysisMacro::None},                  {"Demo", AnalysisMacro::None},
    };
    for (auto [name, macro] : cases)
        EXPECT_EQ(MacroForTestType(name), macro) << name;
}

TEST_F(DocTest, TheFigureTemplateListsTheSettingsInOrder)
{
    COrvixDoc doc;
    CFigureTemplate t = doc.BuildFigureTemplate("Big");
    EXPECT_EQ(t.name, "Big");
    const std::pair<const char*, int> expected[] = {
        {"PlotType", 0},        {"PenWidth", 20},        {"HistBin", 10},        {"HistMin", -200},
        {"HistMax", 200},       {"HistMaxCount", 1},     {"HistLabelSpacing", 5}, {"FigWidth", 10000},
        {"FigHeight", 8000},    {"FigLeftMargin", 1200}, {"FigRightMargin", 300}, {"FigTopMargin", 500},
        {"FigBottomMargin", 1000}, {"SymbolSize", 100},  {"MaxYRange", 50},       {"MinYRange", 0},
        {"StepYRange", 10},     {"GridLength", 100},     {"BarColor", 16744448},  {"ErrorBarLength", 150},
        {"FontHeight", -318},   {"FontWeight", 400},
    };
    ASSERT_EQ(t.values.size(), 23u);
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(t.values[i].GetName(), expected[i].first);
        EXPECT_EQ(t.values[i].GetType(), PARAM_INT);
        EXPECT_EQ(t.values[i].GetInt(), expected[i].second) << expected[i].first;
    }
    EXPECT_EQ(t.values[22].GetName(), "FontFaceName");
    EXPECT_EQ(t.values[22].GetType(), PARAM_TEXT);
    EXPECT_EQ(t.values[22].GetText(), "Arial");

    // Applied to another document, the settings come back by name.
    t.values[7] = 14000;
    t.values[22] = "DejaVu Sans";
    COrvixDoc other;
    other.ApplyFigureTemplate(t);
    EXPECT_EQ(other.plot.FigWidth, 14000);
    EXPECT_EQ(other.plot.mainFont.faceName, "DejaVu Sans");
    EXPECT_EQ(other.plot.verticalFont.faceName, "DejaVu Sans");
    EXPECT_EQ(other.plot.BarColor, 0xFF8000u);
}
