// The trial view: the cell layout, what a cell draws (against coordinates worked out by
// hand from the layout rules), scrolling and following new trials, the divider drag, a
// render of the window and printing to PDF.
#include <QApplication>
#include <QImage>
#include <QPrinter>
#include <QScrollBar>
#include <gtest/gtest.h>

#include "document/commandfile.h"
#include "document/orvixdoc.h"
#include "model/trial.h"
#include "tests/document/doc_fixture.h"
#include "views/orvixview.h"
#include "views/trialcells.h"

using namespace orvix;

namespace {

const MetricScale k96 = MetricScale::ForDpi(96, 96);

// A trial of 2000 ms with the figure on at 1300 ms (the display starts at 1000 ms),
// spikes on channels 1 and 2, and eye samples every 100 ms.
CTrial* MakeTrial()
{
    auto* t = new CTrial;
    t->SetLength(2000);
    t->eventCodes = {3, EVENT_FIG_ON};
    t->eventTimes = {200, 1300};
    // 0.1 ms: 900 ms (before the start), 1200, 1300 on channel 2 only, 1400, then 3000 (past
    // the axis, ends the ticks) and 1500 after it.
    t->spikeMasks = {0x2, 0x2, 0x4, 0x2, 0x2, 0x2};
    t->spikeTimes = {9000, 12000, 13000, 14000, 30000, 15000};
    t->H0 = 0;
    t->V0 = 0;
    // Scales that binary fractions hold exactly: 1/64 and 1/32 degree a step.
    t->DtoAH = 0.015625f;
    t->DtoAH2 = 0.0f;
    t->DtoAV = 0.03125f;
    t->DtoAV2 = 0.0f;
    for (int i = 0; i < 25; ++i) {
        t->hSamples.push_back(static_cast<int16_t>(i == 15 ? 384 : 128)); // 2 degrees; 6 at 1500 ms
        t->vSamples.push_back(-64);                                       // -2 degrees
    }
    t->activeChannels = 0xFF;
    return t;
}

bool HasLine(const std::vector<DrawOp>& ops, Point a, Point b, COLORREF colour)
{
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Kind::Line && op.points[0] == a && op.points[1] == b && op.state.pen.colour == colour)
            return true;
    return false;
}

std::vector<Point> Polyline(const std::vector<DrawOp>& ops, Point first)
{
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Kind::Polyline && op.points.front() == first)
            return op.points;
    return {};
}

int Count(const std::vector<DrawOp>& ops, DrawOp::Kind kind)
{
    int n = 0;
    for (const DrawOp& op : ops)
        n += op.kind == kind;
    return n;
}

TrialViewLayout DefaultLayout()
{
    TrialViewLayout layout;
    layout.Compute(k96, 1920, 1080, 2000, 100);
    return layout;
}

// Whether a pixel of this colour lies within one pixel of (x, y).
bool ColourNear(const QImage& image, int x, int y, QRgb colour)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.valid(x + dx, y + dy) && (image.pixel(x + dx, y + dy) & 0xFFFFFF) == (colour & 0xFFFFFF))
                return true;
    return false;
}

} // namespace

TEST(TrialLayout, CellsAcrossAndDown)
{
    // At 96 dpi: 40, 135 and 8 units are 15, 51 and 3 pixels and round back to themselves; a
    // row is 310 units (117 pixels), a cell 2000 / 4 + 360 = 860 units; 1920 x 1080 pixels
    // are 5080 x 2858 units: 5 cells across, 9 rows, 45 trials a page.
    TrialViewLayout L = DefaultLayout();
    EXPECT_EQ(L.spikeHeight, 40);
    EXPECT_EQ(L.traceHeight, 135);
    EXPECT_EQ(L.inset, 8);
    EXPECT_EQ(L.rowHeight, 310);
    EXPECT_EQ(L.rowStepPx, 117);
    EXPECT_EQ(L.cellWidth, 860);
    EXPECT_EQ(L.clientWidth, 5080);
    EXPECT_EQ(L.columns, 5);
    EXPECT_EQ(L.hRange, 0);
    EXPECT_EQ(L.trialsPerPage, 45);
    EXPECT_EQ(L.vRange, 55);
    EXPECT_EQ(L.rowsPerPage, 9);
    EXPECT_EQ(L.lineStep, 3);

    // "20 ms/grid": 1 ms a unit, a 2000 ms cell of 2360 units; 800 pixels (2117 units) hold
    // less than a cell: one column and a horizontal range.
    TrialViewLayout narrow;
    narrow.msPerUnit = 1;
    narrow.Compute(k96, 800, 400, 2000, 10);
    EXPECT_EQ(narrow.cellWidth, 2360);
    EXPECT_EQ(narrow.columns, 1);
    EXPECT_EQ(narrow.hRange, 2360 - 2117);

    // The fixed span -1 takes the longest trial.
    TrialViewLayout longest;
    longest.fixedSpan = -1;
    longest.Compute(k96, 1920, 1080, 3000, 10);
    EXPECT_EQ(longest.cellWidth, 3000 / 4 + 360);

    // Dragged down to nothing, a row and a cell keep a pixel.
    TrialViewLayout flat;
    flat.spikeHeight = flat.traceHeight = flat.captionWidth = flat.fixedSpan = 0;
    flat.Compute(k96, 1920, 1080, 2000, 10);
    EXPECT_EQ(flat.rowHeight, 3);
    EXPECT_EQ(flat.cellWidth, 3);
    EXPECT_GE(flat.rowStepPx, 1);
}

TEST(TrialLayout, TheDisplayStartsBeforeTheFigure)
{
    CTrial t;
    t.SetLength(2000);
    TrialViewLayout L;
    struct {
        uint32_t figOn;
        int start, axis;
    } cases[] = {{250, 0, 500}, {300, 0, 500}, {1300, 1000, 250}, {4700, 4400, 0}};
    for (auto c : cases) {
        t.eventCodes = {EVENT_FIG_ON};
        t.eventTimes = {c.figOn};
        EXPECT_EQ(TraceStartTime(t), c.start) << c.figOn;
        EXPECT_EQ(TraceAxisWidth(t, L, 500), c.axis) << c.figOn;
    }
    t.eventCodes.clear();
    t.eventTimes.clear();
    EXPECT_EQ(TraceStartTime(t), 0);
}

TEST(TrialCells, OneChannelSpikesMarksAndEyeTraces)
{
    std::unique_ptr<CTrial> t(MakeTrial());
    TrialViewLayout L = DefaultLayout();
    CRecordingDC dc;
    TraceSettings s;
    s.channel = 1;
    s.analysisTime = 400;
    s.eyePointBin = 100.0;
    // Trace area x 360..860 from the row's top at 0; the row ends at -310.
    DrawTrialTraces(dc, *t, L, TraceArea{360, 860, 0}, s);
    const auto& ops = dc.ops;

    // Start 1000 ms, axis width (2000 - 1000) / 4 = 250 units. Figure on at (1300 - 1000) /
    // 4 = 75, analysis end at (1700 - 1000) / 4 = 175.
    EXPECT_TRUE(HasLine(ops, {360, 0}, {360, -310}, kTraceBlue));
    EXPECT_TRUE(HasLine(ops, {435, 0}, {435, -310}, kTraceBlue));
    EXPECT_TRUE(HasLine(ops, {535, 0}, {535, -310}, kTraceBlue));
    // Ticks of channel 1 from -40 up to 0: 1200 ms at 410 and 1400 ms at 460; 900 ms lies
    // before the start, 1300 ms is channel 2's, 3000 ms ends the ticks.
    EXPECT_TRUE(HasLine(ops, {410, -40}, {410, 0}, kTraceRed));
    EXPECT_TRUE(HasLine(ops, {460, -40}, {460, 0}, kTraceRed));
    int ticks = 0;
    for (const DrawOp& op : ops)
        ticks += op.kind == DrawOp::Kind::Line && op.state.pen.colour == kTraceRed;
    EXPECT_EQ(ticks, 2);
    EXPECT_TRUE(HasLine(ops, {360, -40}, {860, -40}, kTraceBlue));

    // Horizontal eye: centre -40 - 67 = -107, 13.5 units a degree, 2 degrees at -107 + 27 =
    // -80, band -107 +- 5 x 11 = -162..-52. Sample 0 starts at the left edge; samples 10 to
    // 20 (1000..2000 ms) lie at 360 + 25 k; sample 15 (6 degrees, -26) is cut at -52.
    std::vector<Point> run = Polyline(ops, {360, -80});
    EXPECT_EQ(run, (std::vector<Point>{{360, -80}, {360, -80}, {385, -80}, {410, -80}, {435, -80}, {460, -80}}));
    EXPECT_TRUE(HasLine(ops, {460, -80}, {473, -52}, kTraceBlue));
    EXPECT_TRUE(HasLine(ops, {497, -52}, {510, -80}, kTraceBlue));
    EXPECT_EQ(Polyline(ops, {510, -80}),
              (std::vector<Point>{{510, -80}, {535, -80}, {560, -80}, {585, -80}, {610, -80}}));
    // The line between the bands at -107 - 67 = -174, then the vertical eye: centre -242,
    // -2 degrees at -242 - 27 = -269.
    EXPECT_TRUE(HasLine(ops, {360, -174}, {860, -174}, kTraceBlue));
    std::vector<Point> vertical = Polyline(ops, {360, -269});
    ASSERT_EQ(vertical.size(), 12u);
    EXPECT_EQ(vertical.back(), (Point{610, -269}));

    // A channel the trial does not count: grey.
    t->activeChannels = 0xFD;
    CRecordingDC grey;
    DrawTrialTraces(grey, *t, L, TraceArea{360, 860, 0}, s);
    EXPECT_TRUE(HasLine(grey.ops, {410, -40}, {410, 0}, kTraceGrey));
    EXPECT_TRUE(HasLine(grey.ops, {360, 0}, {360, -310}, kTraceGrey));

    // A trial of length 0 draws nothing.
    t->SetLength(0);
    CRecordingDC none;
    DrawTrialTraces(none, *t, L, TraceArea{360, 860, 0}, s);
    EXPECT_TRUE(none.ops.empty());
}

TEST(TrialCells, AllChannelsInBands)
{
    std::unique_ptr<CTrial> t(MakeTrial());
    t->activeChannels = 0xF7; // channel 3 out
    TrialViewLayout L = DefaultLayout();
    L.showGrid = true;
    CRecordingDC dc;
    TraceSettings s;
    s.channel = -1;
    s.eyePointBin = 100.0;
    DrawTrialTraces(dc, *t, L, TraceArea{360, 860, 0}, s);
    // Eighths of 310: 38; bands (310 - 7 x 8) / 8 = 31 high, 39 apart. Channel 1's band from
    // -39 down to -70, its ticks over the band; channel 2's tick at 1300 ms (435).
    EXPECT_TRUE(HasLine(dc.ops, {360, 0}, {360, -310}, kTraceBlue));
    EXPECT_TRUE(HasLine(dc.ops, {410, -70}, {410, -39}, kTraceBlue));
    EXPECT_TRUE(HasLine(dc.ops, {435, -109}, {435, -78}, kTraceBlue));
    // Figure-on marks over each eighth: channel 3 out of the analysis is grey.
    EXPECT_TRUE(HasLine(dc.ops, {435, -38}, {435, -76}, kTraceRed));
    EXPECT_TRUE(HasLine(dc.ops, {435, -114}, {435, -152}, kTraceGrey));
    // Grid lines in the middle of the gaps below bands 0..6: band 0 ends at -31, the gap's
    // middle is -35.
    EXPECT_TRUE(HasLine(dc.ops, {360, -35}, {860, -35}, kTraceBlue));
    EXPECT_EQ(Count(dc.ops, DrawOp::Kind::Polyline), 0); // no eye traces
}

TEST_F(DocTest, CaptionsNameTheTrialAndItsCommand)
{
    COrvixDoc doc;
    doc.commandLines = {"OR 0, SIZE 2", "OR 45, SIZE 2", "OR 90, SIZE 4"};
    doc.ParseCommandFile(kNoAngleOffset);
    ASSERT_EQ(doc.GetCommandRowCount(), 3);
    CTrial t;
    t.repetition = 1;
    t.commandIndex = 2;
    t.responses = {1, -1, 7, 9};
    EXPECT_EQ(TrialCaption(doc, t, 4), "5:2:3_7:9\nOR:90\nSIZE:4\n");
    t.commandIndex = 99; // no such command: no parameter lines
    EXPECT_EQ(TrialCaption(doc, t, 4), "5:2:100_7:9\n");
    t.commandIndex = -1;
    EXPECT_EQ(TrialCaption(doc, t, 0), "1:2:0_7:9\n");
}

TEST_F(DocTest, OnlyTheCellsInTheClipBoxAreDrawn)
{
    COrvixDoc doc;
    for (int i = 0; i < 10000; ++i)
        doc.AddTrial(MakeTrial());
    TrialViewLayout L;
    L.Compute(k96, 1920, 1080, 2000, doc.GetTrialCount());
    CRecordingDC dc;
    // The window from trial 5000: 9 whole rows and part of a tenth, 5 columns.
    DrawTrialCells(dc, doc, L, 5000, LogicalBox{0, 0, 5080, -2858}, Font{"Arial", 39});
    EXPECT_EQ(Count(dc.ops, DrawOp::Kind::TextBox), 50);
    // Trials run down a column: the first cell of column 1 is trial 5000 + 9.
    int cell = 0;
    for (const DrawOp& op : dc.ops) {
        if (op.kind != DrawOp::Kind::TextBox)
            continue;
        if (op.points[0] == Point{860 + 8, 0}) {
            EXPECT_EQ(op.text.substr(0, op.text.find(':')), "5010");
            ++cell;
        }
    }
    EXPECT_EQ(cell, 1);
    // A strip of the window: one row.
    CRecordingDC strip;
    DrawTrialCells(strip, doc, L, 5000, LogicalBox{0, -320, 5080, -600}, Font{"Arial", 39});
    EXPECT_EQ(Count(strip.ops, DrawOp::Kind::TextBox), 5);
}

TEST(TrialCells, DividerHitsAndDrags)
{
    TrialViewLayout L = DefaultLayout();
    struct {
        int x, y, code, column, row;
    } hits[] = {
        {865, -100, HIT_CELL_RIGHT, 1, 0}, {865, -305, HIT_CORNER, 1, 1},   {500, -305, HIT_ROW_BORDER, 0, 1},
        {365, -100, HIT_CAPTION, 0, 0},    {600, -45, HIT_SPIKE_BAND, 0, 0}, {600, -100, HIT_NONE, 0, 0},
        {5, -100, HIT_NONE, 0, 0},         {600, -5, HIT_NONE, 0, 0},       {1725, -400, HIT_CELL_RIGHT, 2, 1},
    };
    for (auto h : hits) {
        DividerHitResult r = HitTestDivider(L, h.x, h.y);
        EXPECT_EQ(r.code, h.code) << h.x << "," << h.y;
        if (h.code != HIT_NONE) {
            EXPECT_EQ(r.column, h.column) << h.x << "," << h.y;
            EXPECT_EQ(r.row, h.row) << h.x << "," << h.y;
        }
    }

    // The caption divider 50 units right: caption 410, span 2000 - 200 = 1800, same cell.
    TrialViewLayout a = L;
    ApplyDividerDrag(a, HitTestDivider(a, 365, -100), 50, 0);
    EXPECT_EQ(a.captionWidth, 410);
    EXPECT_EQ(a.fixedSpan, 1800);
    a.Compute(k96, 1920, 1080, 2000, 100);
    EXPECT_EQ(a.cellWidth, 860);

    // The second cell's right border 100 units right: the span grows by 4 x 100 / 2.
    TrialViewLayout b = L;
    ApplyDividerDrag(b, HitTestDivider(b, 1725, -400), 100, 0);
    EXPECT_EQ(b.fixedSpan, 2200);
    // The line under the spike band 20 units down: spikes 60, traces 125.
    TrialViewLayout c = L;
    ApplyDividerDrag(c, HitTestDivider(c, 600, -45), 0, -20);
    EXPECT_EQ(c.spikeHeight, 60);
    EXPECT_EQ(c.traceHeight, 125);
    // The first row's bottom border 40 units down: traces + 20.
    TrialViewLayout d = L;
    ApplyDividerDrag(d, HitTestDivider(d, 500, -305), 0, -40);
    EXPECT_EQ(d.traceHeight, 155);
    // Dragged far beyond: nothing below zero.
    TrialViewLayout e = L;
    ApplyDividerDrag(e, HitTestDivider(e, 865, -100), -100000, 0);
    EXPECT_EQ(e.fixedSpan, 0);
}

class TrialViewTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        doc = std::make_unique<COrvixDoc>();
        view = std::make_unique<COrvixView>(*doc);
        view->onSelectTrial = [this](int t) { selected.push_back(t); };
    }
    void TearDown() override
    {
        view.reset();
        doc.reset();
        DocTest::TearDown();
    }
    void AddTrials(int n)
    {
        for (int i = 0; i < n; ++i) {
            CTrial* t = MakeTrial();
            doc->AddTrial(t);
            doc->UpdateAllViews(nullptr, HINT_TRIAL_ADDED, t);
        }
    }
    std::unique_ptr<COrvixDoc> doc;
    std::unique_ptr<COrvixView> view;
    std::vector<int> selected;
};

TEST_F(TrialViewTest, ARenderShowsTheCellsWhereTheRulesPutThem)
{
    doc->SetRunFlag(0);
    AddTrials(1);
    doc->GetBehavParam("EyePointBin", CParam(nullptr, 100.0));
    doc->GetBehavParam("AnalysisTime", CParam(nullptr, 400));
    view->resize(1000, 400);
    view->OnInitialUpdate();
    ASSERT_NEAR(view->Scale().pxPerUnitX, 96.0 / 254.0, 1e-9);
    QImage image = view->viewport()->grab().toImage();
    // Units to pixels at 96 dpi: x 0.378, y -0.378 (rows run downwards).
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 192);
    EXPECT_TRUE(ColourNear(image, 155, 8, red));   // tick at 410, from 0 to -40
    EXPECT_TRUE(ColourNear(image, 174, 8, red));   // tick at 460
    EXPECT_FALSE(ColourNear(image, 165, 8, red));  // channel 2's spike at 435 is not shown
    EXPECT_TRUE(ColourNear(image, 164, 60, blue)); // figure on at 435
    EXPECT_TRUE(ColourNear(image, 202, 60, blue)); // analysis end at 535
    EXPECT_TRUE(ColourNear(image, 151, 30, blue)); // horizontal eye at -80, x 400
    EXPECT_TRUE(ColourNear(image, 151, 102, blue)); // vertical eye at -269
    EXPECT_TRUE(ColourNear(image, 300, 15, blue));  // the line under the spikes at -40
}

TEST_F(TrialViewTest, ScrollingFollowsNewTrialsAtTheEnd)
{
    view->resize(1000, 400);
    view->OnInitialUpdate();
    AddTrials(100);
    view->Refresh();
    const TrialViewLayout& L = view->Layout();
    EXPECT_EQ(L.trialCount, 100);
    ASSERT_GT(L.vRange, 0);
    // At the end from the start: each new trial scrolls the view on.
    EXPECT_TRUE(view->AtEnd());
    EXPECT_EQ(view->FirstTrial(), L.vRange);
    int range = L.vRange;
    AddTrials(1);
    view->Refresh();
    EXPECT_EQ(view->FirstTrial(), range + 1);
    EXPECT_EQ(selected.back(), range + 1);

    // Scrolled up: new trials leave the view where it is.
    view->verticalScrollBar()->setValue(10);
    EXPECT_FALSE(view->AtEnd());
    EXPECT_EQ(view->FirstTrial(), 10);
    AddTrials(1);
    view->Refresh();
    EXPECT_EQ(view->FirstTrial(), 10);
    view->VScrollTo(100000);
    EXPECT_TRUE(view->AtEnd());
    EXPECT_EQ(view->FirstTrial(), view->Layout().vRange);

    // A new document: back to the top.
    ASSERT_TRUE(doc->OnNewDocument());
    view->Refresh();
    EXPECT_EQ(view->FirstTrial(), 0);
}

TEST_F(TrialViewTest, PrintingGoesToPdfPageAfterPage)
{
    AddTrials(100);
    view->resize(1000, 400);
    view->OnInitialUpdate();
    std::string pdf = dir + "/trials.pdf";
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    printer.setPageSize(QPageSize(QPageSize::A4));
    int pages = view->PageCount(printer);
    EXPECT_GT(pages, 1);
    view->Print(printer);
    std::string bytes = orvix_test::ReadFile(pdf);
    ASSERT_EQ(bytes.substr(0, 5), "%PDF-");
    int found = 0;
    for (size_t at = bytes.find("/Type /Page"); at != std::string::npos; at = bytes.find("/Type /Page", at + 1))
        found += bytes.compare(at, 12, "/Type /Pages") != 0;
    EXPECT_EQ(found, pages);
}
