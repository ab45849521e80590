// The printed page's layout and header, and the "Properties" values' round trip, worked
// out by hand from the default page setup (margins 20 / 20 / 20 / 25 mm, offset 4.25 mm)
// and the default figure (100 x 80 mm, font height -318).
#include <cstdlib>
#include <ctime>

#include "document/graphproperties.h"
#include "document/printlayout.h"
#include "graph_fixture.h"

using namespace orvix;

class GraphPageTest : public GraphTest {};

TEST_F(GraphPageTest, AnA4PageWithoutSelection)
{
    doc->dataFilePath = "c:\\data\\AB1234x.oxv";
    const PrintLayout l = LayOutPrintedPage(*doc, GraphPageSetup(), PrinterPaper{PAPER_A4, 0, 0, false}, "date");
    // Effective margins: top 2000 - 425, left 2500 - 425, bottom and right 2000 + 425.
    EXPECT_EQ(std::vector<int>({l.top, l.left, l.bottom, l.right}), std::vector<int>({1575, 2075, 2425, 2425}));
    EXPECT_EQ(l.paperWidth, 21000);
    EXPECT_EQ(l.paperHeight, 29700);
    EXPECT_EQ(l.datePosition, (Point{21000 - 2425, 1575}));
    EXPECT_EQ(l.pathPosition, (Point{2075, 1575}));
    EXPECT_EQ(l.path, "c:\\data\\AB1234x");
    EXPECT_TRUE(l.selection.empty());
    // The rule at top' - 2f = 1575 + 636; the figure below top' - 3f = 2529, centred:
    // x 2075 + (21000 - 10000 - 2425 - 2075) / 2, y 2529 + (29700 - 8000 - 2425 - 1575) / 2.
    EXPECT_EQ(l.ruleFrom, (Point{2075, 2211}));
    EXPECT_EQ(l.ruleTo, (Point{18575, 2211}));
    EXPECT_EQ(l.figureOrigin, (Point{5325, 11379}));

    CRecordingDC dc;
    DrawPrintHeader(dc, *doc, l);
    ASSERT_EQ(dc.ops.size(), 3u);
    EXPECT_EQ(dc.ops[0].text, "date");
    EXPECT_EQ(dc.ops[0].hAlign, HAlign::Right);
    EXPECT_EQ(dc.ops[0].points[0], (Point{18575, 1575}));
    EXPECT_EQ(dc.ops[0].state.font.height, 318);
    EXPECT_EQ(dc.ops[1].text, "c:\\data\\AB1234x");
    EXPECT_EQ(dc.ops[1].hAlign, HAlign::Left);
    EXPECT_EQ(dc.ops[2].kind, DrawOp::Kind::Line);
    EXPECT_EQ(dc.ops[2].points, (std::vector<Point>{{2075, 2211}, {18575, 2211}}));
}

TEST_F(GraphPageTest, SelectionLineAlignmentsAndPapers)
{
    doc->selectionList1 = {CParam("EYE", "3"), CParam("OR", 90)};
    doc->selectionList2 = {CParam("SZ", "2")};
    GraphPageSetup setup;
    setup.horizontalAlignment = 0;
    setup.verticalAlignment = 0;
    PrintLayout l = LayOutPrintedPage(*doc, setup, PrinterPaper{PAPER_LETTER, 0, 0, false}, "d");
    EXPECT_EQ(l.selection, "Selection: (EYE=3 AND OR=90) OR (SZ=2)");
    EXPECT_EQ(l.selectionPosition, (Point{2075, 2211}));
    EXPECT_EQ(l.ruleFrom, (Point{2075, 2847}));                // top' - 4f
    EXPECT_EQ(l.figureOrigin, (Point{2075, 1575 + 5 * 318})); // top' - 5f
    EXPECT_EQ(l.paperWidth, 21590);

    // Right and bottom, on landscape Legal: 35560 x 21590.
    setup.horizontalAlignment = 2;
    setup.verticalAlignment = 2;
    l = LayOutPrintedPage(*doc, setup, PrinterPaper{PAPER_LEGAL, 0, 0, true}, "d");
    EXPECT_EQ(l.figureOrigin, (Point{35560 - 10000 - 2425, 21590 - 8000 - 2425}));
    EXPECT_TRUE(ui.messages.empty());

    // Any other paper is said to be unsupported, and its own size is used.
    l = LayOutPrintedPage(*doc, setup, PrinterPaper{8, 2970, 4200, false}, "d");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Only Letter, Legal and A4 papers are supported.");
    EXPECT_EQ(l.paperWidth, 29700);
    EXPECT_EQ(l.paperHeight, 42000);
}

TEST_F(GraphPageTest, TheDateReadsInEnglish)
{
    const char* tz = getenv("TZ");
    const std::string saved = tz ? tz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    // 1709647620 is Tuesday, 5 March 2024, 14:07 UTC.
    EXPECT_EQ(PrintDateText(1709647620), "14:07, Tuesday, March 05, 2024");
    EXPECT_EQ(PrintDateText(0), "00:00, Thursday, January 01, 1970");
    if (tz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    // A file that cannot be examined dates from now.
    doc->dataFilePath = dir + "/none.oxv";
    EXPECT_LE(std::abs(PrintDateOf(*doc) - std::time(nullptr)), 2);
}

TEST_F(GraphPageTest, PropertiesShowMillimetresAndStoreHundredths)
{
    CPlotSettings& p = doc->plot;
    GraphPageSetup setup;
    p.FigWidth = 14000;
    p.FigLeftMargin = p.FigRightMargin = 2000;
    p.BarColor = RGB(64, 128, 255);
    GraphProperties v = LoadGraphProperties(*doc, setup);
    EXPECT_EQ(FormatPageNumber(v.figure.figureWidth), "100");
    EXPECT_EQ(FormatPageNumber(v.figure.leftMargin), "20");
    EXPECT_EQ(FormatPageNumber(v.page.leftMargin), "25");
    EXPECT_EQ(std::vector<int>({v.figure.red, v.figure.green, v.figure.blue}), std::vector<int>({64, 128, 255}));
    EXPECT_EQ(v.axis.xMaximum, 0.0f);
    EXPECT_EQ(v.page.horizontalAlignment, 1);

    v.figure.figureWidth = 101.5f;
    v.page.topMargin = 12.345f;
    v.figure.sigma = 0.1f;
    v.axis.yMaximum = 37.9f;
    v.axis.yTitle = "Rate";
    ApplyGraphProperties(v, *doc, setup);
    EXPECT_EQ(p.FigWidth, 14150);
    EXPECT_EQ(setup.topMargin, 1234);
    EXPECT_EQ(doc->smoothWidth, 1);
    EXPECT_EQ(p.MaxYRange, 37);
    EXPECT_EQ(p.yTitle, "Rate");
    EXPECT_EQ(doc->GetExpParam("YTitle", CParam(nullptr, 0)).GetText(), "Rate");
    EXPECT_EQ(p.BarColor, RGB(64, 128, 255));
    EXPECT_EQ(MillimetresToUnits(12.349f), 1234);
    EXPECT_EQ(MillimetresToUnits(-0.29f), -29);
}

TEST_F(GraphPageTest, PropertiesTakenBackUnchangedChangeNothing)
{
    // Every 0.01 mm value up to 99.99 mm, through the float and its text.
    for (int v = 0; v <= 9999; ++v) {
        const float shown = static_cast<float>(v * 0.01);
        float read = 0;
        ASSERT_TRUE(ParsePageNumber(FormatPageNumber(shown), read)) << v;
        ASSERT_EQ(MillimetresToUnits(read), v) << v;
        ASSERT_EQ(MillimetresToUnits(shown), v) << v;
    }
    // Smoothing widths 1 .. 1000 tenths (sigma 0.7 was stored as 6).
    for (int w = 1; w <= 1000; ++w) {
        const float sigma = static_cast<float>(w * 0.1);
        float read = 0;
        ASSERT_TRUE(ParsePageNumber(FormatPageNumber(sigma), read));
        ASSERT_EQ(SigmaToTenths(read), w) << w;
    }
    // The whole sheet over figure widths 1 .. 1000 mm with uneven margins, and every
    // setting a round trip of its own.
    CPlotSettings& p = doc->plot;
    GraphPageSetup setup;
    setup.topMargin = 29;
    setup.leftMargin = 9999;
    p.FigLeftMargin = 29;
    p.FigRightMargin = 1234;
    p.FigTopMargin = 57;
    p.FigBottomMargin = 999;
    p.PenWidth = 29;
    p.GridLength = 7;
    p.ErrorBarLength = 113;
    doc->SetSmoothSigma(0.7f);
    ASSERT_EQ(doc->smoothWidth, 7);
    for (int mm = 1; mm <= 1000; ++mm) {
        for (int hundredths : {0, 1, 29, 57, 99}) {
            const int width = mm * 100 + hundredths;
            p.FigWidth = width + p.FigLeftMargin + p.FigRightMargin;
            p.FigHeight = width + p.FigTopMargin + p.FigBottomMargin;
            const CPlotSettings before = p;
            const GraphPageSetup setupBefore = setup;
            GraphProperties v = LoadGraphProperties(*doc, setup);
            // Through the pages' texts, as the edits show and read them.
            for (float* f : {&v.figure.figureWidth, &v.figure.figureHeight, &v.figure.leftMargin, &v.figure.rightMargin,
                             &v.figure.topMargin, &v.figure.bottomMargin, &v.figure.penWidth, &v.figure.gridLength,
                             &v.figure.errorBarLength, &v.figure.sigma, &v.page.topMargin, &v.page.leftMargin})
                ASSERT_TRUE(ParsePageNumber(FormatPageNumber(*f), *f));
            ApplyGraphProperties(v, *doc, setup);
            ASSERT_EQ(p.FigWidth, before.FigWidth) << width;
            ASSERT_EQ(p.FigHeight, before.FigHeight) << width;
            ASSERT_EQ(std::vector<int>({p.FigLeftMargin, p.FigRightMargin, p.FigTopMargin, p.FigBottomMargin,
                                        p.PenWidth, p.GridLength, p.ErrorBarLength, p.MaxYRange, p.MinYRange,
                                        p.StepYRange, setup.topMargin, setup.leftMargin, setup.bottomMargin}),
                      std::vector<int>({before.FigLeftMargin, before.FigRightMargin, before.FigTopMargin,
                                        before.FigBottomMargin, before.PenWidth, before.GridLength,
                                        before.ErrorBarLength, before.MaxYRange, before.MinYRange, before.StepYRange,
                                        setupBefore.topMargin, setupBefore.leftMargin, setupBefore.bottomMargin}));
            ASSERT_EQ(doc->smoothWidth, 7);
        }
    }
}

TEST_F(GraphPageTest, PageNumbersAreReadStrictly)
{
    float f = 0;
    const std::pair<const char*, float> good[] = {{"12.5", 12.5f}, {" -3 ", -3.0f}, {".5", 0.5f}, {"1e2", 100.0f}};
    for (auto [text, value] : good) {
        ASSERT_TRUE(ParsePageNumber(text, f)) << text;
        EXPECT_EQ(f, value);
    }
    for (const char* bad : {"", "abc", "1,5", "1.2.3", "12mm", "1e", "-", "1e99"})
        EXPECT_FALSE(ParsePageNumber(bad, f)) << bad;
    int32_t i = 0;
    EXPECT_TRUE(ParsePageInteger(" -200 ", i));
    EXPECT_EQ(i, -200);
    for (const char* bad : {"", "1.5", "x", "99999999999"})
        EXPECT_FALSE(ParsePageInteger(bad, i)) << bad;
    EXPECT_EQ(FormatPageNumber(0.29f), "0.29");
    EXPECT_EQ(FormatPageNumber(-0.001f), "0");
}

TEST_F(GraphPageTest, FontSizesInPointsAndBack)
{
    // 318 hundredths of a millimetre are 9.01 points; 12 points are 423.3 hundredths.
    EXPECT_NEAR(FontPointSize(-318), 9.0142, 1e-4);
    EXPECT_EQ(FontHeightForPoints(12.0, -318), -423);
    EXPECT_EQ(FontHeightForPoints(24.0, -318), -847);
    // The size shown, or the whole points the dialog rounds it to, keeps the height.
    EXPECT_EQ(FontHeightForPoints(FontPointSize(-318), -318), -318);
    EXPECT_EQ(FontHeightForPoints(9.0, -318), -318);
    EXPECT_EQ(FontHeightForPoints(9.5, -318), -335);
}
