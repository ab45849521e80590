// The response figures rendered into images and a PDF, and the graph view on screen:
// pixel positions worked out from the default settings (plot area x 1200..9700, y 500..7000
// in 0.01 mm), the display-rate repaint and the overlays.
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QScrollBar>
#include <QTest>

#include "tests/document/graph_fixture.h"
#include "views/graphview.h"
#include "views/qpainterdc.h"

using namespace orvix;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBar = qRgb(0, 128, 255);

// The first row from the top whose pixel in column x is not white.
int FirstInk(const QImage& image, int x)
{
    for (int y = 0; y < image.height(); ++y)
        if (image.pixel(x, y) != kWhite)
            return y;
    return -1;
}

} // namespace

class GraphViewTest : public GraphTest {
protected:
    // Two bars of 10, labelled in a font every machine here has.
    void TuningDocument()
    {
        GraphTest::TuningDocument();
        doc->plot.mainFont.faceName = doc->plot.verticalFont.faceName = "DejaVu Sans";
    }
    // The figures at 25 units (0.25 mm) a pixel.
    QImage Render(int w = 420, int h = 340)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.scale(0.04, 0.04);
        CQPainterDC dc(painter);
        doc->DrawFigures(dc, -1);
        painter.end();
        return image;
    }
};

TEST_F(GraphViewTest, TuningBarsLandOnTheirPixels)
{
    TuningDocument();
    QImage image = Render();
    // A mean of 10 on 0..50 lies at y 5700: pixel 228; the bar runs 2263..4387 (90..175).
    EXPECT_NEAR(FirstInk(image, 100), 228, 1);
    EXPECT_EQ(image.pixel(100, 250), kBar);
    EXPECT_EQ(image.pixel(130, 220), kWhite);
    EXPECT_EQ(image.pixel(85, 250), kWhite);
    EXPECT_EQ(image.pixel(95, 250), kBar);
    EXPECT_EQ(image.pixel(170, 250), kBar);
    EXPECT_EQ(image.pixel(180, 250), kWhite);
    // The x axis along y 7000 (pixel 280) from x 1200 (48) to 9700 (388).
    EXPECT_NE(image.pixel(200, 280), kWhite);
    EXPECT_EQ(image.pixel(200, 284), kWhite);
    // The error bar of 5 reaches up to 5050 (202) at x 3325 (133).
    EXPECT_NEAR(FirstInk(image, 133), 202, 1);
}

TEST_F(GraphViewTest, ContourMapColoursTheRingAndItsHole)
{
    SetCommands({"OR 0"});
    Add(MakeTrial(0, {}));
    doc->plot.YAxisVariable = AXIS_REVCORR;
    doc->Table(KIND_GRAPH).Add(new CParam("HGRID", 5));
    doc->Table(KIND_GRAPH).Add(new CParam("VGRID", 5));
    doc->responses.mean.Resize(1, 5, 5, 0.0f);
    for (int j = 1; j <= 3; ++j)
        for (int i = 1; i <= 3; ++i)
            doc->responses.mean.At(0, j, i) = (i == 2 && j == 2) ? 0.0f : 1.0f;
    QImage image = Render();
    // Grid points every 2125 x 1625 from (1200, 7000): ring point (1, 1) at (3325, 5375),
    // the centre (2, 2) at (5450, 3750), a field corner near (1200, 7000).
    auto at = [&](double x, double y) { return image.pixel(static_cast<int>(x / 25), static_cast<int>(y / 25)); };
    EXPECT_EQ(at(3325, 5375), qRgb(221, 0, 0));   // above the top level: brush 9
    EXPECT_EQ(at(5450, 3750), qRgb(0, 0, 128));   // the hole: brush 0
    EXPECT_EQ(at(1400, 6800), qRgb(0, 0, 128));   // the field below the first level
    EXPECT_EQ(at(4387, 5375), qRgb(221, 0, 0));   // along the ring between two points
    // The legend right of the plot (9900..10300): its top band is ContourColour(1016).
    EXPECT_EQ(at(10100, 560), qRgb(125, 0, 0));
}

TEST_F(GraphViewTest, APdfOfTheFiguresRenders)
{
    TuningDocument();
    const QString path = QString::fromStdString(dir + "/figures.pdf");
    {
        QPdfWriter pdf(path);
        pdf.setResolution(300);
        QPainter painter(&pdf);
        CGraphView::PrepareMapping(painter, pdf);
        CQPainterDC dc(painter);
        doc->DrawFigures(dc, -1);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_GT(bytes.size(), 1000);
}

TEST_F(GraphViewTest, TheViewShowsTheFiguresAndFollowsNewTrialsAtDisplayRate)
{
    TuningDocument();
    CGraphView view(*doc);
    view.resize(500, 400);
    view.OnInitialUpdate();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    // 10000 x 8000 units at the screen's dots per inch.
    const int dpi = view.logicalDpiX();
    EXPECT_EQ(view.FigurePixels(), QSize(10000 * dpi / 2540, 8000 * view.logicalDpiY() / 2540));
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), std::max(view.FigurePixels().width() - view.viewport()->width(), 0));
    QTest::qWait(50);
    QImage shot = view.viewport()->grab().toImage();
    const int barX = 3000 * dpi / 2540, barY = 6500 * dpi / 2540;
    EXPECT_EQ(shot.pixel(barX, barY), kBar);
    // The guide line along the plot area's top edge (y 500), dotted.
    const int guideY = 500 * view.logicalDpiY() / 2540;
    int dots = 0;
    for (int x = 1300 * dpi / 2540; x < 9000 * dpi / 2540; ++x)
        dots += shot.pixel(x, guideY) != kWhite || shot.pixel(x, guideY + 1) != kWhite;
    EXPECT_GT(dots, 20);
    EXPECT_LT(dots, 9000 * dpi / 2540);

    // Fifty trials in quick succession: the tables follow each, the view paints a few times.
    const int before = view.PaintCount();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 50; ++i) {
        CTrial* t = TrialWithSpikes(1, 40);
        doc->AddTrial(t);
        doc->UpdateAllViews(nullptr, HINT_TRIAL_ADDED, t);
    }
    EXPECT_EQ(doc->responses.count.At(0, 0, 1), 51);
    QTest::qWait(100);
    const int paints = view.PaintCount() - before;
    EXPECT_GE(paints, 1);
    EXPECT_LE(paints, 3 + static_cast<int>(clock.elapsed() / 16));
    EXPECT_EQ(view.Graph().FullBuilds(), 1);
    // OR 90 now averages 50 spikes/s: its bar reaches the top of the range (y 500).
    shot = view.viewport()->grab().toImage();
    EXPECT_EQ(shot.pixel(8000 * dpi / 2540, 1000 * view.logicalDpiY() / 2540), kBar);
}

TEST_F(GraphViewTest, TheCrossHairInvertsAcrossTheView)
{
    TuningDocument();
    CGraphView view(*doc);
    view.resize(400, 300);
    view.showGuideLines = false;
    view.OnInitialUpdate();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.crossHairCursor = true;
    view.crossHair = QPoint(20, 15);
    QImage shot = view.viewport()->grab().toImage();
    // White turns black along both lines, the bar's colour turns to its inverse.
    EXPECT_EQ(shot.pixel(20, 5), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(5, 15), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(390 < shot.width() ? 390 : shot.width() - 1, 15), qRgb(0, 0, 0));
    view.crossHair = QPoint(-1, -1);
    shot = view.viewport()->grab().toImage();
    EXPECT_EQ(shot.pixel(20, 5), kWhite);
}
