// The drawing surface over a QPainter: a window, an image, a PDF or a printer. Logical
// units are the painter's coordinates; the caller sets up any transform beforehand.
#pragma once
#include <QFont>
#include <QFontMetricsF>
#include <QStaticText>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/drawing.h"

class QPainter;

namespace orvix {

// Texts laid out once and drawn again as they are: plots write the same labels at every
// repaint, and laying a text out costs more than drawing it. Whoever repaints keeps one.
class CTextCache {
public:
    const QStaticText& Get(const QFont& font, const std::string& text);

private:
    struct FontTexts {
        QFont font;
        std::unordered_map<std::string, QStaticText> texts;
    };
    std::vector<FontTexts> fonts_;
    size_t count_ = 0;
};

class CQPainterDC : public IDrawContext {
public:
    // yUp: the caller's transform turns y upwards (as GDI's metric mapping modes do); text
    // is then still drawn upright. texts: a cache that outlives this surface, if any.
    explicit CQPainterDC(QPainter& painter, bool yUp = false, CTextCache* texts = nullptr)
        : painter_(painter), yUp_(yUp), texts_(texts ? texts : &ownTexts_)
    {
    }

    void Line(int x1, int y1, int x2, int y2) override;
    void Polyline(std::span<const Point> points) override;
    void Rectangle(int left, int top, int right, int bottom) override;
    void Ellipse(int left, int top, int right, int bottom) override;
    void Text(int x, int y, const std::string& text, HAlign h = HAlign::Left, VAlign v = VAlign::Top) override;
    void SetPixel(int x, int y, COLORREF colour) override;
    void Polygon(std::span<const Point> points) override;
    void FillRect(int left, int top, int right, int bottom, COLORREF colour) override;
    // Against the painter's clip, or the device's area when it does not clip.
    bool RectVisible(int left, int top, int right, int bottom) const override;
    void TextBox(int left, int top, int right, int bottom, const std::string& text) override;

private:
    // The state goes to the painter before each primitive: the caller may have used the
    // painter in between.
    void ApplyPenAndBrush();

    QPainter& painter_;
    bool yUp_;
    struct FontCache {
        Font font;
        double scale;
        QFont qfont;
        QFontMetricsF metrics;
        // A laid-out text measures itself at the screen's resolution: on another device
        // (a printer, a picture at its own resolution) it is measured on the device.
        bool screenResolution;
    };
    std::optional<FontCache> fontCache_;
    CTextCache ownTexts_;
    CTextCache* texts_;
};

} // namespace orvix
