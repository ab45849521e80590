// The drawing surface over a QPainter: a window, an image, a PDF or a printer. Logical
// units are the painter's coordinates; the caller sets up any transform beforehand.
#pragma once
#include "platform/drawing.h"

class QPainter;

namespace orvix {

class CQPainterDC : public IDrawContext {
public:
    // yUp: the caller's transform turns y upwards (as GDI's metric mapping modes do); text
    // is then still drawn upright.
    explicit CQPainterDC(QPainter& painter, bool yUp = false) : painter_(painter), yUp_(yUp) {}

    void Line(int x1, int y1, int x2, int y2) override;
    void Polyline(std::span<const Point> points) override;
    void Rectangle(int left, int top, int right, int bottom) override;
    void Ellipse(int left, int top, int right, int bottom) override;
    void Text(int x, int y, const std::string& latin1, HAlign h = HAlign::Left, VAlign v = VAlign::Top) override;
    void SetPixel(int x, int y, COLORREF colour) override;
    void Polygon(std::span<const Point> points) override;
    void FillRect(int left, int top, int right, int bottom, COLORREF colour) override;
    // Against the painter's clip, or the device's area when it does not clip.
    bool RectVisible(int left, int top, int right, int bottom) const override;

private:
    // The state goes to the painter before each primitive: the caller may have used the
    // painter in between.
    void ApplyPenAndBrush();

    QPainter& painter_;
    bool yUp_;
};

} // namespace orvix
