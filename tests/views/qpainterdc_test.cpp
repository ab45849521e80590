// The drawing surface over QPainter, rendered into an image: where each primitive puts its
// pixels and in which colours.
#include "views/qpainterdc.h"

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <functional>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

using namespace orvix;

namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 60;
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

struct Case {
    const char* name;
    std::function<void(IDrawContext&)> draw;
    QRect box; // every pixel drawn lies inside
    QRgb ink;  // at least one pixel drawn has this colour
    std::vector<std::pair<QPoint, QRgb>> pixels;
    bool yUp = false; // the painter's y grows upwards from the image's bottom
};

QImage Render(const Case& c)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    if (c.yUp) {
        painter.translate(0, kHeight);
        painter.scale(1, -1);
    }
    CQPainterDC dc(painter, c.yUp);
    c.draw(dc);
    painter.end();
    return image;
}

Font Sans(int escapement = 0) { return Font{"DejaVu Sans", 20, 700, false, escapement}; }

// Pens are the default one-pixel pens (width 0) throughout.
const Case kCases[] = {
    {"line", [](IDrawContext& dc) { dc.Line(10, 20, 40, 20); }, QRect(QPoint(10, 20), QPoint(40, 20)), kBlack,
     {{{10, 20}, kBlack}, {{25, 20}, kBlack}, {{39, 20}, kBlack}}},
    {"polyline is not closed or filled",
     [](IDrawContext& dc) {
         dc.SetBrush({RGB(0, 128, 0)});
         const Point points[] = {{10, 10}, {40, 10}, {40, 40}};
         dc.Polyline(points);
     },
     QRect(QPoint(10, 10), QPoint(40, 40)), kBlack, {{{25, 10}, kBlack}, {{40, 25}, kBlack}, {{30, 20}, kWhite}}},
    {"filled rectangle, red in the low byte",
     [](IDrawContext& dc) {
         dc.SetPen({RGB(0xC0, 0, 0)});
         dc.SetBrush({RGB(0x12, 0x34, 0x56)});
         dc.Rectangle(10, 10, 50, 40);
     },
     QRect(QPoint(10, 10), QPoint(50, 40)), qRgb(0x12, 0x34, 0x56),
     {{{30, 25}, qRgb(0x12, 0x34, 0x56)}, {{10, 25}, qRgb(0xC0, 0, 0)}, {{30, 10}, qRgb(0xC0, 0, 0)}}},
    {"hollow rectangle",
     [](IDrawContext& dc) {
         dc.SetBrush({RGB(0, 128, 0), true});
         dc.Rectangle(50, 40, 10, 10);
     },
     QRect(QPoint(10, 10), QPoint(50, 40)), kBlack, {{{30, 25}, kWhite}, {{10, 25}, kBlack}}},
    {"ellipse without pen",
     [](IDrawContext& dc) {
         dc.SetPen({RGB(0, 0, 0), 0, PenStyle::None});
         dc.SetBrush({RGB(0, 128, 0)});
         dc.Ellipse(10, 10, 50, 40);
     },
     QRect(QPoint(10, 10), QPoint(50, 40)), qRgb(0, 128, 0), {{{30, 25}, qRgb(0, 128, 0)}, {{12, 12}, kWhite}}},
    {"pixel", [](IDrawContext& dc) { dc.SetPixel(7, 9, RGB(0, 0, 255)); }, QRect(7, 9, 1, 1), qRgb(0, 0, 255), {}},
    // Left or top alignment would leave the box.
    {"text centred on its baseline",
     [](IDrawContext& dc) {
         dc.SetFont(Sans());
         dc.SetTextColour(RGB(128, 0, 0));
         dc.Text(50, 40, "Hg", HAlign::Centre, VAlign::Baseline);
     },
     QRect(QPoint(30, 20), QPoint(70, 47)), qRgb(128, 0, 0), {}},
    {"text turned a quarter counter-clockwise",
     [](IDrawContext& dc) {
         dc.SetFont(Sans(900));
         dc.Text(50, 50, "HH", HAlign::Left, VAlign::Baseline);
     },
     QRect(QPoint(30, 10), QPoint(55, 50)), kBlack, {}},
    {"filled polygon, its outline in the pen",
     [](IDrawContext& dc) {
         dc.SetBrush({RGB(0, 0, 200)});
         const Point points[] = {{10, 10}, {50, 10}, {10, 50}};
         dc.Polygon(points);
     },
     QRect(QPoint(10, 10), QPoint(50, 50)), qRgb(0, 0, 200), {{{20, 20}, qRgb(0, 0, 200)}, {{40, 40}, kWhite}, {{10, 30}, kBlack}}},
    {"fill without outline, pen and brush unused",
     [](IDrawContext& dc) {
         dc.SetPen({RGB(255, 0, 0), 3});
         dc.FillRect(60, 40, 20, 10, RGB(0, 160, 0));
     },
     QRect(QPoint(20, 10), QPoint(59, 39)), qRgb(0, 160, 0), {{{20, 10}, qRgb(0, 160, 0)}, {{59, 39}, qRgb(0, 160, 0)}}},
    {"text upright under a y-up transform",
     [](IDrawContext& dc) {
         dc.SetFont(Sans());
         dc.Text(10, 20, "Hg", HAlign::Left, VAlign::Baseline); // baseline on image row 40
     },
     QRect(QPoint(10, 20), QPoint(45, 46)), kBlack, {}, true},
};

} // namespace

TEST(CQPainterDC, DrawsEachPrimitiveInPlaceAndColour)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        QImage image = Render(c);
        QRect drawn;
        int inks = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                QRgb p = image.pixel(x, y);
                if (p != kWhite)
                    drawn |= QRect(x, y, 1, 1);
                inks += p == c.ink;
            }
        }
        EXPECT_TRUE(c.box.contains(drawn)) << "drawn from " << drawn.left() << "," << drawn.top() << " to "
                                           << drawn.right() << "," << drawn.bottom();
        EXPECT_GT(inks, 0);
        for (const auto& [at, colour] : c.pixels)
            EXPECT_EQ(image.pixel(at), colour) << "at " << at.x() << "," << at.y();
    }
}

TEST(CQPainterDC, RectanglesOutsideTheSurfaceOrClipAreNotVisible)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.scale(0.5, 0.5); // logical units of half a pixel
    CQPainterDC dc(painter);
    EXPECT_TRUE(dc.RectVisible(0, 0, 10, 10));
    EXPECT_TRUE(dc.RectVisible(190, 110, 300, 300)); // reaches pixel (95, 55)
    EXPECT_FALSE(dc.RectVisible(210, 0, 400, 100));  // right of the image
    EXPECT_FALSE(dc.RectVisible(0, -100, 50, -10));  // above it
    painter.setClipRect(QRect(0, 0, 40, 40)); // logical: pixels 0..20
    EXPECT_FALSE(dc.RectVisible(100, 0, 120, 20));
    EXPECT_TRUE(dc.RectVisible(30, 30, 120, 20));

    CRecordingDC recording;
    EXPECT_TRUE(recording.RectVisible(-5, -5, 5, 5));
    recording.visible = CRecordingDC::Box{0, 0, 100, 100};
    EXPECT_TRUE(recording.RectVisible(100, 100, 150, 150));
    EXPECT_FALSE(recording.RectVisible(101, 0, 150, 50));
    EXPECT_FALSE(recording.RectVisible(0, -50, 50, -1));
}

TEST(CQPainterDC, TextsFromACacheDrawAsFreshOnesAndStayPlain)
{
    auto draw = [](CTextCache* cache, const std::string& text) {
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.scale(0.5, 0.5);
        CQPainterDC dc(painter, false, cache);
        dc.SetFont(Sans());
        dc.Text(100, 40, text, HAlign::Centre, VAlign::Top);
        painter.end();
        return image;
    };
    CTextCache cache;
    QImage fresh = draw(nullptr, "<b>5");
    EXPECT_EQ(draw(&cache, "<b>5"), fresh);
    EXPECT_EQ(draw(&cache, "<b>5"), fresh);
    // Markup is not interpreted: the brackets take room of their own.
    QImage bold = draw(nullptr, "5");
    auto inkWidth = [](const QImage& image) {
        int lo = kWidth, hi = -1;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (image.pixel(x, y) != kWhite) {
                    lo = std::min(lo, x);
                    hi = std::max(hi, x);
                }
        return hi - lo;
    };
    EXPECT_GT(inkWidth(fresh), 2 * inkWidth(bold));
}

TEST(CQPainterDC, RightAlignedTextEndsAtItsPointOnAnyResolution)
{
    // A page at 600 dots per inch, drawn in 0.01 mm: a right-aligned text ending at x 40 mm
    // (945 dots), a centred one about x 20 mm (472 dots).
    for (int dpi : {96, 600}) {
        QImage image(1000 * dpi / 600, 300 * dpi / 600, QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.scale(dpi / 2540.0, dpi / 2540.0);
        CQPainterDC dc(painter);
        dc.SetFont(Font{"DejaVu Sans", 400});
        dc.Text(4000, 100, "Wednesday, December 09", HAlign::Right);
        dc.Text(2000, 600, "centred", HAlign::Centre);
        painter.end();
        auto ink = [&](int y0, int y1) {
            int lo = image.width(), hi = -1;
            for (int y = y0; y < y1; ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != kWhite) {
                        lo = std::min(lo, x);
                        hi = std::max(hi, x);
                    }
            return std::pair{lo, hi};
        };
        const double mm = dpi / 25.4;
        auto [lo1, hi1] = ink(0, static_cast<int>(5.5 * mm));
        EXPECT_NEAR(hi1, 40 * mm, 1 + 0.5 * mm) << dpi;
        EXPECT_LT(lo1, 20 * mm) << dpi;
        auto [lo2, hi2] = ink(static_cast<int>(6 * mm), image.height());
        EXPECT_NEAR((lo2 + hi2) / 2.0, 20 * mm, 1 + 0.5 * mm) << dpi;
    }
}
