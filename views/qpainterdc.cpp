#include "views/qpainterdc.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QPolygon>
#include <QRectF>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/text/qtext.h"

namespace orvix {

namespace {

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

QPen ToQPen(const Pen& pen)
{
    if (pen.style == PenStyle::None)
        return QPen(Qt::NoPen);
    QPen q(ToQColor(pen.colour), std::max(pen.width, 0));
    q.setCosmetic(pen.width <= 0);
    q.setStyle(pen.style == PenStyle::Dash ? Qt::DashLine : pen.style == PenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
    // GDI's wide pens have round ends and joins unless they ask for square ones.
    q.setCapStyle(pen.cap == PenCap::Square ? Qt::SquareCap : Qt::RoundCap);
    q.setJoinStyle(pen.cap == PenCap::Square ? Qt::MiterJoin : Qt::RoundJoin);
    return q;
}

QFont ToQFont(const Font& font)
{
    QFont q;
    if (!font.face.empty())
        q.setFamily(ToQ(font.face));
    if (font.height > 0)
        q.setPixelSize(font.height); // painter units: the transform scales it with the rest
    // GDI's weight 0 means "any"; Qt's weights are GDI's numbers.
    q.setWeight(font.weight <= 0 ? QFont::Normal : static_cast<QFont::Weight>(std::clamp(font.weight, 1, 1000)));
    q.setItalic(font.italic);
    return q;
}

QRectF Corners(int left, int top, int right, int bottom)
{
    return QRectF(QPointF(left, top), QPointF(right, bottom)).normalized();
}

// Enough for every label of a page of figures; beyond it the cache starts again.
constexpr size_t kMaxCachedTexts = 8192;

} // namespace

const QStaticText& CTextCache::Get(const QFont& font, const std::string& text)
{
    if (count_ >= kMaxCachedTexts) {
        fonts_.clear();
        count_ = 0;
    }
    auto f = std::find_if(fonts_.begin(), fonts_.end(), [&](const FontTexts& t) { return t.font == font; });
    if (f == fonts_.end()) {
        fonts_.push_back(FontTexts{font, {}});
        f = fonts_.end() - 1;
    }
    auto [it, added] = f->texts.try_emplace(text);
    if (added) {
        ++count_;
        it->second.setText(ToQ(text));
        it->second.setTextFormat(Qt::PlainText);
        it->second.setPerformanceHint(QStaticText::AggressiveCaching);
        it->second.prepare(QTransform(), font);
    }
    return it->second;
}

void CQPainterDC::ApplyPenAndBrush()
{
    painter_.setPen(ToQPen(State().pen));
    const Brush& brush = State().brush;
    painter_.setBrush(brush.hollow ? QBrush(Qt::NoBrush) : QBrush(ToQColor(brush.colour)));
}

void CQPainterDC::Line(int x1, int y1, int x2, int y2)
{
    ApplyPenAndBrush();
    painter_.drawLine(QPoint(x1, y1), QPoint(x2, y2));
}

void CQPainterDC::Polyline(std::span<const Point> points)
{
    ApplyPenAndBrush();
    QPolygon polygon;
    polygon.reserve(static_cast<qsizetype>(points.size()));
    for (const Point& p : points)
        polygon.append(QPoint(p.x, p.y));
    painter_.drawPolyline(polygon);
}

void CQPainterDC::Rectangle(int left, int top, int right, int bottom)
{
    ApplyPenAndBrush();
    painter_.drawRect(Corners(left, top, right, bottom));
}

void CQPainterDC::Ellipse(int left, int top, int right, int bottom)
{
    ApplyPenAndBrush();
    painter_.drawEllipse(Corners(left, top, right, bottom));
}

void CQPainterDC::Polygon(std::span<const Point> points)
{
    ApplyPenAndBrush();
    QPolygon polygon;
    polygon.reserve(static_cast<qsizetype>(points.size()));
    for (const Point& p : points)
        polygon.append(QPoint(p.x, p.y));
    painter_.drawPolygon(polygon, Qt::OddEvenFill);
}

void CQPainterDC::FillRect(int left, int top, int right, int bottom, COLORREF colour)
{
    painter_.fillRect(Corners(left, top, right, bottom), ToQColor(colour));
}

bool CQPainterDC::RectVisible(int left, int top, int right, int bottom) const
{
    QRectF device = painter_.combinedTransform().mapRect(Corners(left, top, right, bottom));
    QRectF area = painter_.device() ? QRectF(0, 0, painter_.device()->width(), painter_.device()->height()) : device;
    if (painter_.hasClipping())
        area &= painter_.combinedTransform().mapRect(painter_.clipBoundingRect());
    // Touching counts: a hairline on the edge still shows.
    return device.adjusted(-1, -1, 1, 1).intersects(area);
}

void CQPainterDC::Text(int x, int y, const std::string& text, HAlign h, VAlign v)
{
    const Font& font = State().font;
    // Text is laid out in the device's own pixels, upright whatever the transform, in the
    // font scaled to them: the glyphs then come from the rasteriser's cache, not from
    // outlines scaled for every label.
    const QTransform transform = painter_.combinedTransform();
    const double scale = transform.type() <= QTransform::TxScale ? std::abs(transform.m22()) : 1.0;
    // Plots label every tick in one font: the font and its metrics are made once.
    if (!fontCache_ || fontCache_->font != font || fontCache_->scale != scale) {
        QFont qfont = ToQFont(font);
        if (font.height > 0 && transform.type() <= QTransform::TxScale)
            qfont.setPointSizeF(std::max(font.height * scale, 0.5) * 72.0 / painter_.device()->logicalDpiY());
        const QFontMetricsF metrics(qfont, painter_.device());
        fontCache_.emplace(FontCache{font, scale, qfont, metrics, metrics.fontDpi() == QFontMetricsF(qfont).fontDpi()});
    }
    const QFontMetricsF& metrics = fontCache_->metrics;
    const QStaticText& laidOut = texts_->Get(fontCache_->qfont, text);
    const double width = h == HAlign::Left ? 0.0
        : fontCache_->screenResolution ? laidOut.size().width()
                                       : metrics.horizontalAdvance(ToQ(text));
    double dx = h == HAlign::Left ? 0.0 : h == HAlign::Centre ? -width / 2 : -width;
    // A laid-out text is placed by its top left corner.
    double top = v == VAlign::Top ? 0.0 : v == VAlign::Bottom ? -metrics.descent() - metrics.ascent() : -metrics.ascent();

    const QPointF at = transform.map(QPointF(x, y));
    painter_.save();
    if (transform.type() <= QTransform::TxScale) {
        painter_.resetTransform();
        painter_.translate(at);
    } else {
        // Turned or sheared: drawn in the caller's units, upright on a y-up transform.
        painter_.translate(x, y);
        if (yUp_)
            painter_.scale(1, -1);
    }
    // The escapement turns counter-clockwise as seen, so negatively in y-down pixels.
    if (font.escapement != 0)
        painter_.rotate(-font.escapement / 10.0);
    painter_.setFont(fontCache_->qfont);
    painter_.setPen(ToQColor(State().textColour));
    painter_.drawStaticText(QPointF(dx, top), laidOut);
    painter_.restore();
}

void CQPainterDC::TextBox(int left, int top, int right, int bottom, const std::string& text)
{
    // Laid out downwards from the top-left corner whichever way the caller's y runs.
    int width = std::abs(right - left);
    int height = std::abs(bottom - top);
    if (width == 0 || height == 0)
        return;
    painter_.save();
    painter_.translate(std::min(left, right), top);
    if (yUp_)
        painter_.scale(1, -1);
    QRectF box(0, 0, width, height);
    painter_.setClipRect(box, Qt::IntersectClip);
    painter_.setFont(ToQFont(State().font));
    painter_.setPen(ToQColor(State().textColour));
    painter_.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, ToQ(text));
    painter_.restore();
}

void CQPainterDC::SetPixel(int x, int y, COLORREF colour)
{
    QPen pen(ToQColor(colour), 0);
    pen.setCosmetic(true);
    painter_.setPen(pen);
    painter_.drawPoint(x, y);
}

} // namespace orvix
