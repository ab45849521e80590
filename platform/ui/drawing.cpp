#include "platform/ui/drawing.h"

#include <algorithm>
#include <utility>

namespace orvix {

DrawOp& CRecordingDC::Add(DrawOp::Kind kind, std::vector<Point> points)
{
    DrawOp& op = ops.emplace_back();
    op.kind = kind;
    op.points = std::move(points);
    op.state = State();
    return op;
}

void CRecordingDC::Line(int x1, int y1, int x2, int y2) { Add(DrawOp::Kind::Line, {{x1, y1}, {x2, y2}}); }

void CRecordingDC::Polyline(std::span<const Point> points)
{
    Add(DrawOp::Kind::Polyline, {points.begin(), points.end()});
}

void CRecordingDC::Rectangle(int left, int top, int right, int bottom)
{
    Add(DrawOp::Kind::Rectangle, {{left, top}, {right, bottom}});
}

void CRecordingDC::Ellipse(int left, int top, int right, int bottom)
{
    Add(DrawOp::Kind::Ellipse, {{left, top}, {right, bottom}});
}

void CRecordingDC::Text(int x, int y, const std::string& text, HAlign h, VAlign v)
{
    DrawOp& op = Add(DrawOp::Kind::Text, {{x, y}});
    op.text = text;
    op.hAlign = h;
    op.vAlign = v;
}

void CRecordingDC::Polygon(std::span<const Point> points)
{
    Add(DrawOp::Kind::Polygon, {points.begin(), points.end()});
}

void CRecordingDC::FillRect(int left, int top, int right, int bottom, COLORREF colour)
{
    Add(DrawOp::Kind::FillRect, {{left, top}, {right, bottom}}).pixelColour = colour;
}

bool CRecordingDC::RectVisible(int left, int top, int right, int bottom) const
{
    if (!visible)
        return true;
    auto [l, r] = std::minmax(left, right);
    auto [t, b] = std::minmax(top, bottom);
    return l <= visible->right && r >= visible->left && t <= visible->bottom && b >= visible->top;
}

void CRecordingDC::SetPixel(int x, int y, COLORREF colour) { Add(DrawOp::Kind::Pixel, {{x, y}}).pixelColour = colour; }

void CRecordingDC::TextBox(int left, int top, int right, int bottom, const std::string& text)
{
    Add(DrawOp::Kind::TextBox, {{left, top}, {right, bottom}}).text = text;
}

} // namespace orvix
