// The eye-position view and the calibration: positions on the plot, fixation shapes, the
// label drag and the wheel, a render of the window, the five-step calibration, the offset
// update and the double-click correction, with values worked out by hand.
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QApplication>
#include <cmath>
#include <gtest/gtest.h>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "platform/runtime/clock.h"
#include "tests/document/doc_fixture.h"
#include "views/eyecalibration.h"
#include "views/fpview.h"

using namespace orvix;

namespace {

bool ColourNear(const QImage& image, int x, int y, QRgb colour)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.valid(x + dx, y + dy) && (image.pixel(x + dx, y + dy) & 0xFFFFFF) == (colour & 0xFFFFFF))
                return true;
    return false;
}

void Mouse(QWidget& w, QEvent::Type type, int x, int y, Qt::MouseButtons buttons)
{
    QPointF at(x, y);
    QMouseEvent e(type, at, w.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

void Wheel(QWidget& w, int delta)
{
    QWheelEvent e(QPointF(50, 50), w.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &e);
}

} // namespace

TEST(FPView, PositionsShapesAndLabels)
{
    FPGeometry g; // range 20, size 200, origin (25, 10)
    EXPECT_EQ(g.ToPlot(0, 0), (Point{100, 100}));
    EXPECT_EQ(g.ToPlot(2, 0), (Point{120, 100})); // 2 degrees right: 20 pixels right
    EXPECT_EQ(g.ToPlot(0, 3), (Point{100, 70}));
    double h, v;
    g.ToDegrees(145, 110, h, v);
    EXPECT_DOUBLE_EQ(h, 2.0);
    EXPECT_DOUBLE_EQ(v, 0.0);

    CRecordingDC dc;
    // One degree wide (60) at range 20: half width trunc(10) / 2 = 5.
    DrawFPRectangle(dc, g, 0, 0, 60, 60, 4 | 8);
    DrawFPRectangle(dc, g, 120, -60, 120, 30, 2);
    DrawFPCircle(dc, g, 0, 0, 120, 7);
    ASSERT_EQ(dc.ops.size(), 3u);
    EXPECT_EQ(dc.ops[0].points, (std::vector<Point>{{95, 95}, {106, 106}}));
    EXPECT_EQ(dc.ops[0].state.pen.colour, RGB(255, 0, 0));
    EXPECT_TRUE(dc.ops[0].state.brush.hollow);
    // Centre (2, -1) degrees at (120, 110); half width 10, half height trunc(5) / 2 = 2.
    EXPECT_EQ(dc.ops[1].points, (std::vector<Point>{{110, 108}, {131, 113}}));
    EXPECT_EQ(dc.ops[1].state.pen.colour, RGB(0, 128, 0));
    // Radius 2 degrees: 20 pixels.
    EXPECT_EQ(dc.ops[2].kind, DrawOp::Kind::Ellipse);
    EXPECT_EQ(dc.ops[2].points, (std::vector<Point>{{80, 80}, {121, 121}}));
    EXPECT_EQ(dc.ops[2].state.pen.colour, RGB(128, 128, 128));

    struct {
        int x, y, code;
    } hits[] = {{15, 110, 3}, {125, 220, 2}, {225, 220, 4}, {25, 225, 4}, {15, 10, 5},
                {15, 210, 5}, {100, 100, 0}, {125, 240, 0}, {30, 110, 0}};
    for (auto c : hits)
        EXPECT_EQ(g.HitTest(c.x, c.y), c.code) << c.x << "," << c.y;
}

TEST_F(DocTest, TheEyeViewDrawsItsPlotTrailAndShapes)
{
    COrvixDoc doc;
    CFPView view(doc, experiment.runner);
    view.resize(300, 260);
    QImage image = view.grab().toImage();
    const QRgb black = qRgb(0, 0, 0), green = qRgb(0, 128, 0), red = qRgb(255, 0, 0);
    EXPECT_TRUE(ColourNear(image, 125, 60, green));  // the cross through the centre
    EXPECT_TRUE(ColourNear(image, 75, 110, green));
    EXPECT_TRUE(ColourNear(image, 45, 15, black));   // grid line at 20
    EXPECT_TRUE(ColourNear(image, 125, 110, red));   // the last point, (100, 100) at first

    // The eye at (2, 3) degrees: plot (120, 70), client (145, 80); the trail joins it to
    // the point before. Nothing is drawn until the display tick.
    view.OnEyePosition(2.0f, 3.0f, 0, 0, 0);
    view.FPRectangle(0, 0, 60, 60, 4 | 8);
    EXPECT_EQ(view.TrailSegmentsDrawn(), 0);
    view.Refresh();
    EXPECT_EQ(view.TrailSegmentsDrawn(), 1);
    image = view.grab().toImage();
    EXPECT_TRUE(ColourNear(image, 145, 80, red));
    EXPECT_TRUE(ColourNear(image, 135, 95, black));  // the middle of the trail
    EXPECT_TRUE(ColourNear(image, 120, 108, red));   // the rectangle's left edge, x 95
    EXPECT_TRUE(ColourNear(image, 131, 108, red));   // its right edge

    // The other views' hints leave the trail and the shapes; only the eye view's own
    // redraw (hint 5) drops them.
    for (UpdateHint hint : {HINT_REBUILD, HINT_TRIAL_ADDED, HINT_COLUMN_CHANGED, HINT_AXES}) {
        doc.UpdateAllViews(nullptr, hint);
        image = view.grab().toImage();
        EXPECT_TRUE(ColourNear(image, 135, 95, black)) << hint;
        EXPECT_TRUE(ColourNear(image, 120, 108, red)) << hint;
    }
    doc.UpdateAllViews(nullptr, HINT_EYE_REDRAW);
    image = view.grab().toImage();
    EXPECT_FALSE(ColourNear(image, 135, 95, black));
    EXPECT_FALSE(ColourNear(image, 120, 108, red));
}

TEST_F(DocTest, LabelDragAndWheelPanAndZoom)
{
    COrvixDoc doc;
    CFPView view(doc, experiment.runner);
    view.resize(300, 260);
    // The horizontal end label 25 pixels right: the range grows by 2, 5 pixels pending.
    Mouse(view, QEvent::MouseButtonPress, 225, 220, Qt::LeftButton);
    Mouse(view, QEvent::MouseMove, 250, 220, Qt::LeftButton);
    EXPECT_FLOAT_EQ(view.Geometry().range, 22.0f);
    Mouse(view, QEvent::MouseMove, 255, 220, Qt::LeftButton);
    EXPECT_FLOAT_EQ(view.Geometry().range, 23.0f);
    Mouse(view, QEvent::MouseButtonRelease, 255, 220, Qt::NoButton);
    // The vertical centre label 30 pixels down: the centre moves 3 degrees down.
    Mouse(view, QEvent::MouseButtonPress, 15, 110, Qt::LeftButton);
    Mouse(view, QEvent::MouseMove, 15, 140, Qt::LeftButton);
    Mouse(view, QEvent::MouseButtonRelease, 15, 140, Qt::NoButton);
    EXPECT_FLOAT_EQ(view.Geometry().centreV, -3.0f);
    // The vertical end label up never takes the range below one degree.
    Mouse(view, QEvent::MouseButtonPress, 15, 10, Qt::LeftButton);
    Mouse(view, QEvent::MouseMove, 15, -300, Qt::LeftButton);
    EXPECT_FLOAT_EQ(view.Geometry().range, 54.0f);
    Mouse(view, QEvent::MouseMove, 15, 300, Qt::LeftButton);
    EXPECT_FLOAT_EQ(view.Geometry().range, 1.0f);
    Mouse(view, QEvent::MouseButtonRelease, 15, 300, Qt::NoButton);

    Wheel(view, -240);
    EXPECT_FLOAT_EQ(view.Geometry().range, 1.0f);
    Wheel(view, 60);
    EXPECT_FLOAT_EQ(view.Geometry().range, 1.0f);
    Wheel(view, 60);
    EXPECT_FLOAT_EQ(view.Geometry().range, 2.0f);
}

namespace {

class CalibrationTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        doc = std::make_unique<COrvixDoc>();
        experiment.Attach(doc.get());
        deviceIO.SetRendererRunningForTest(true);
        deviceIO.sendHookForTest = [this](int id, const std::string& text, bool) {
            sent.push_back(std::to_string(id) + "=" + text);
        };
        auto& graph = doc->Table(KIND_GRAPH);
        graph.Add(new CParam("TARGET", "0"));
        graph.Add(new CParam("TPOSH", "120"));
        graph.Add(new CParam("TPOSV", "-60"));
        Behav("FPCalFrames") = 3;
        Behav("FPCalDevH") = 240;
        Behav("FPCalDevV") = 240;
        Behav("UnitsPerDeg") = 60.0;
    }
    void TearDown() override
    {
        deviceIO.sendHookForTest = nullptr;
        deviceIO.SetRendererRunningForTest(false);
        experiment.Attach(nullptr);
        doc.reset();
        DocTest::TearDown();
    }
    CParam& Behav(const char* name) { return doc->GetBehavParam(name, CParam(name, 0)); }
    // One step's samples, then the pass that takes their medians.
    void Step(CEyeCalibration& c, std::vector<std::pair<int, int>> samples)
    {
        for (auto [h, v] : samples)
            c.OnPass(h, v, 0);
        c.OnPass(0, 0, 0);
    }

    std::unique_ptr<COrvixDoc> doc;
    std::vector<std::string> sent;
};

} // namespace

TEST(Calibration, MediansAreTakenOfSignedSamples)
{
    EXPECT_EQ(CEyeCalibration::Median({5, 1, 3}), 3);
    EXPECT_EQ(CEyeCalibration::Median({4, 1, 3, 2}), 3); // the upper of the two middle ones
    EXPECT_EQ(CEyeCalibration::Median({-10, 30, 10}), 10);
    EXPECT_EQ(CEyeCalibration::Median({-300, -200, 100}), -200);
    EXPECT_EQ(CEyeCalibration::Median({}), 0);
}

TEST_F(CalibrationTest, FiveStepsGiveTheCalibration)
{
    CEyeCalibration c(*doc);
    c.SetSampling(true);
    c.OnCalibrate();
    ASSERT_TRUE(c.IsCalibrating());
    EXPECT_EQ(sent, (std::vector<std::string>{"1=0", "2=0"}));

    // Centre: medians 10 and -20 (sorted as signed numbers) give H0 -10, V0 20.
    Step(c, {{-10, -20}, {30, -20}, {10, 5}});
    EXPECT_EQ(Behav("H0").GetInt(), -10);
    EXPECT_EQ(Behav("V0").GetInt(), 20);
    EXPECT_EQ(c.Step(), 1);
    Step(c, {{210, 0}, {210, 0}, {210, 0}});   // target left
    Step(c, {{-190, -40}, {-190, -40}, {-190, -40}}); // target right
    Step(c, {{30, -220}, {30, -220}, {30, -220}});  // target down
    Step(c, {{-10, 180}, {-10, 180}, {-10, 180}});  // target up
    EXPECT_FALSE(c.IsCalibrating());
    // The targets went left, right, back, down, up, then to their old places.
    EXPECT_EQ(sent, (std::vector<std::string>{"1=0", "2=0", "1=-240", "1=240", "1=0", "2=-240", "2=240", "1=120",
                                              "2=-60"}));
    // d = 240 / 60 = 4 degrees; a = H + offset H: 200, -200, 20, -20; b = V + offset V:
    // 20, -20, -200, 200.
    //   DtoAH  = 0.5 (4 / -200 - 4 / 200) = -0.02
    //   DtoAV  = 0.5 (4 / 200 - 4 / -200) = 0.02
    //   DtoAH2 = -0.5 (20 x -0.02 / -200 + -20 x -0.02 / 200) = -0.002
    //   DtoAV2 = -0.5 (20 x 0.02 / 200 + -20 x 0.02 / -200) = -0.002
    EXPECT_FLOAT_EQ(static_cast<float>(Behav("DtoAH").GetDouble()), -0.02f);
    EXPECT_FLOAT_EQ(static_cast<float>(Behav("DtoAV").GetDouble()), 0.02f);
    EXPECT_FLOAT_EQ(static_cast<float>(Behav("DtoAH2").GetDouble()), -0.002f);
    EXPECT_FLOAT_EQ(static_cast<float>(Behav("DtoAV2").GetDouble()), -0.002f);
}

TEST_F(CalibrationTest, APlaceAtTheCentreIsMovedByOne)
{
    Behav("FPCalFrames") = 1;
    CEyeCalibration c(*doc);
    c.SetSampling(true);
    c.OnCalibrate();
    for (int i = 0; i < 5; ++i)
        Step(c, {{0, 0}}); // every place seen at the centre
    EXPECT_FALSE(c.IsCalibrating());
    for (const char* name : {"DtoAH", "DtoAV", "DtoAH2", "DtoAV2"})
        EXPECT_TRUE(std::isfinite(Behav(name).GetDouble())) << name;
    // a = b = 1 everywhere: DtoAH = 0.5 (4 - 4) = 0; DtoAH2 = -0.5 (1 x 0 / 1 + 1 x 0 / 1) is 0 too,
    // not "-0".
    for (const char* name : {"DtoAH", "DtoAV", "DtoAH2", "DtoAV2"})
        EXPECT_EQ(Behav(name).GetText(), "0") << name;

    // Calibrate again while calibrating: it ends and the targets go back.
    c.OnCalibrate();
    ASSERT_TRUE(c.IsCalibrating());
    sent.clear();
    c.OnCalibrate();
    EXPECT_FALSE(c.IsCalibrating());
    EXPECT_EQ(sent, (std::vector<std::string>{"1=120", "2=-60"}));
}

TEST_F(CalibrationTest, NothingMovesWhenACalibrationCannotRun)
{
    CEyeCalibration c(*doc);
    Behav("FPCalFrames") = 0;
    c.OnCalibrate();
    EXPECT_FALSE(c.IsCalibrating());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "\"FPCalFrames\" not found!");
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(doc->GetGraphParam("TPOSH").GetInt(), 120);

    // No vertical target: nothing moves either.
    Behav("FPCalFrames") = 3;
    doc->GetBehavParam("FPParamV", CParam(nullptr, "TPOSV")) = "NOSUCH";
    c.OnCalibrate();
    EXPECT_FALSE(c.IsCalibrating());
    EXPECT_TRUE(sent.empty());

    // No renderer: no targets.
    doc->GetBehavParam("FPParamV", CParam(nullptr, "TPOSV")) = "TPOSV";
    deviceIO.SetRendererRunningForTest(false);
    c.Reset();
    EXPECT_EQ(c.TargetIndexH(), -1);
}

TEST_F(CalibrationTest, OffsetsFollowTheTargetAndADoubleClick)
{
    Behav("FPUpdate") = 1;
    Behav("DtoAH") = 0.5;
    Behav("DtoAV") = -0.25;
    Behav("DtoAH2") = 0.25;
    Behav("DtoAV2") = 0.125;
    CEyeCalibration c(*doc);
    c.Reset();
    ASSERT_TRUE(c.UpdatesOffsets());
    c.SetSampling(true);
    // Target (2, -1) degrees; medians 30 and -5 of 600 samples (the frames of a step until
    // a calibration reads "FPCalFrames"). det = -0.25 x 0.5 - 0.125 x 0.25 = -0.15625;
    // H0 = trunc((2 x -0.25 - -1 x 0.25) / det - 30) = trunc(1.6 - 30) = -28;
    // V0 = trunc((-1 x 0.5 - 2 x 0.125) / det + 5) = trunc(4.8 + 5) = 9.
    Step(c, std::vector<std::pair<int, int>>(600, {30, -5}));
    EXPECT_EQ(Behav("H0").GetInt(), -28);
    EXPECT_EQ(Behav("V0").GetInt(), 9);
    // Samples complete but the task is busy: no update until the state is 0.
    Behav("H0") = 0;
    for (int i = 0; i < 600; ++i)
        c.OnPass(30, -5, 0);
    c.OnPass(0, 0, 3);
    EXPECT_EQ(Behav("H0").GetInt(), 0);
    c.OnPass(0, 0, 0);
    EXPECT_EQ(Behav("H0").GetInt(), -28);

    // A double click where the eye is seen at (2, 0) while the target is at (2, -1): V0
    // moves by (-1 - 0) / -0.25 = 4.
    CFPView view(*doc, experiment.runner);
    view.Calibration().Reset();
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(145, 110), QPointF(145, 110), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &click);
    EXPECT_DOUBLE_EQ(Behav("H0").GetDouble(), -28.0);
    EXPECT_DOUBLE_EQ(Behav("V0").GetDouble(), 13.0);
    // An axis without a scale is left alone.
    Behav("DtoAV") = 0.0;
    QApplication::sendEvent(&view, &click);
    EXPECT_DOUBLE_EQ(Behav("V0").GetDouble(), 13.0);
}

TEST_F(CalibrationTest, TheDisplayTickTakesThePassesEyeAtMostEvery16Ms)
{
    CFakeClock clock;
    SetClock(&clock);
    clock.SetMs(1000);
    CFPView view(*doc, experiment.runner);
    view.Calibration().SetSampling(true);
    Behav("FPCalFrames") = 100;
    view.OnCalibrate();
    ASSERT_TRUE(view.IsCalibrating());
    // A pass and a display tick every millisecond for 100 ms: a sample at 1000, 1016, ...,
    // 1096 ms.
    for (int pass = 0; pass < 100; ++pass) {
        doc->UpdateAllViews(nullptr, HINT_PASS);
        view.Refresh();
        clock.AdvanceMs(1);
    }
    EXPECT_EQ(view.Calibration().SampleCount(), 7);
    // The passes after 1096 ms are taken at the next tick; a tick without passes since takes
    // nothing, nor do passes while the task wants no samples.
    clock.AdvanceMs(20);
    view.Refresh();
    EXPECT_EQ(view.Calibration().SampleCount(), 8);
    clock.AdvanceMs(20);
    view.Refresh();
    EXPECT_EQ(view.Calibration().SampleCount(), 8);
    doc->UpdateAllViews(nullptr, HINT_EYE_SAMPLING_OFF);
    doc->UpdateAllViews(nullptr, HINT_PASS);
    clock.AdvanceMs(20);
    view.Refresh();
    EXPECT_EQ(view.Calibration().SampleCount(), 8);
    doc->UpdateAllViews(nullptr, HINT_PARAMS_RELOADED); // clears the samples
    EXPECT_EQ(view.Calibration().SampleCount(), 0);
    SetClock(nullptr);
}
