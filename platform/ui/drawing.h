// The drawing surface of the program, in place of the Windows GDI device context: trial
// rows, plots and print headers draw on it without knowing whether a window, an image, a
// PDF, a printer or a test is behind it. Coordinates are logical units that the caller
// chooses; y grows downwards unless the back end is told otherwise. As with a device
// context, a pen, brush, font or text colour once set stays in force for what follows.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvix {

// Red in the low byte, then green and blue, as data files and registry values keep colours.
using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<COLORREF>(r) | static_cast<COLORREF>(g) << 8 | static_cast<COLORREF>(b) << 16;
}
constexpr uint8_t GetRValue(COLORREF c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(COLORREF c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(COLORREF c) { return static_cast<uint8_t>(c >> 16); }

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

enum class PenStyle : uint8_t { Solid, Dash, Dot, None };
// How a wide pen's lines end: GDI's cosmetic pens are round, the plots' pens square.
enum class PenCap : uint8_t { Round, Square };

struct Pen {
    COLORREF colour = RGB(0, 0, 0);
    int width = 0; // logical units; 0 is one device pixel at any scale
    PenStyle style = PenStyle::Solid;
    PenCap cap = PenCap::Round;
    bool operator==(const Pen&) const = default;
};

struct Brush {
    COLORREF colour = RGB(255, 255, 255);
    bool hollow = false; // shapes are outlined only
    bool operator==(const Brush&) const = default;
};

struct Font {
    std::string face;   // empty: the back end's default family
    int height = 0;     // character height in logical units; 0: the back end's default size
    int weight = 400;   // as GDI's: 400 normal, 700 bold
    bool italic = false;
    int escapement = 0; // text angle in tenths of a degree, counter-clockwise as seen
    bool operator==(const Font&) const = default;
};

// Which point of the text lies at the given position, as GDI's text alignment flags.
enum class HAlign : uint8_t { Left, Centre, Right };
enum class VAlign : uint8_t { Top, Baseline, Bottom };

// What is in force for the next primitive; the starting values are those of a new GDI
// device context.
struct DrawState {
    Pen pen;
    Brush brush;
    Font font;
    COLORREF textColour = RGB(0, 0, 0);
    bool operator==(const DrawState&) const = default;
};

class IDrawContext {
public:
    virtual ~IDrawContext() = default;

    void SetPen(const Pen& pen) { state_.pen = pen; }
    void SetBrush(const Brush& brush) { state_.brush = brush; }
    void SetFont(const Font& font) { state_.font = font; }
    void SetTextColour(COLORREF colour) { state_.textColour = colour; }
    // For a caller that changes the state and puts it back afterwards.
    const DrawState& State() const { return state_; }

    virtual void Line(int x1, int y1, int x2, int y2) = 0;
    virtual void Polyline(std::span<const Point> points) = 0;
    // Outlined with the pen and filled with the brush; the corners in either order.
    virtual void Rectangle(int left, int top, int right, int bottom) = 0;
    // The ellipse inside the rectangle, outlined and filled as a rectangle is.
    virtual void Ellipse(int left, int top, int right, int bottom) = 0;
    // The closed polygon through the points, outlined with the pen and filled with the
    // brush (alternate filling: a region crossed twice is not filled).
    virtual void Polygon(std::span<const Point> points) = 0;
    // The rectangle's area in one colour, without outline; pen and brush stay as they are.
    virtual void FillRect(int left, int top, int right, int bottom, COLORREF colour) = 0;
    // Whether any of the rectangle can show on the surface; drawing what cannot is skipped.
    virtual bool RectVisible(int left, int top, int right, int bottom) const { return true; }
    // In the font and text colour, without a background. Texts are the program's (its code page).
    virtual void Text(int x, int y, const std::string& text, HAlign h = HAlign::Left, VAlign v = VAlign::Top) = 0;
    // One device pixel at the point, whatever the pen.
    virtual void SetPixel(int x, int y, COLORREF colour) = 0;
    // Text from the box's top-left corner, lines broken at '\n' and between words where
    // they would pass the right edge, cut at the box's edges (GDI's DrawText with word
    // breaks). The corners are given as the caller's y direction has them.
    virtual void TextBox(int left, int top, int right, int bottom, const std::string& text) = 0;

private:
    DrawState state_;
};

// One primitive as a recording context saw it.
struct DrawOp {
    enum class Kind : uint8_t { Line, Polyline, Rectangle, Ellipse, Text, Pixel, Polygon, FillRect, TextBox };
    Kind kind = Kind::Line;
    // Line: the two ends; polyline and polygon: every point; rectangle, ellipse, fill and
    // text box: the two corners as given; text and pixel: the position.
    std::vector<Point> points;
    std::string text;
    HAlign hAlign = HAlign::Left;
    VAlign vAlign = VAlign::Top;
    COLORREF pixelColour = 0; // a pixel's or a fill's colour
    DrawState state;
    bool operator==(const DrawOp&) const = default;
};

// Draws nothing and keeps every primitive with the state it was drawn in, so that tests of
// what draws can compare coordinates and state exactly.
class CRecordingDC : public IDrawContext {
public:
    void Line(int x1, int y1, int x2, int y2) override;
    void Polyline(std::span<const Point> points) override;
    void Rectangle(int left, int top, int right, int bottom) override;
    void Ellipse(int left, int top, int right, int bottom) override;
    void Text(int x, int y, const std::string& text, HAlign h = HAlign::Left, VAlign v = VAlign::Top) override;
    void SetPixel(int x, int y, COLORREF colour) override;
    void Polygon(std::span<const Point> points) override;
    void FillRect(int left, int top, int right, int bottom, COLORREF colour) override;
    // Inside `visible` when a test sets it, else everywhere.
    bool RectVisible(int left, int top, int right, int bottom) const override;
    void TextBox(int left, int top, int right, int bottom, const std::string& text) override;

    std::vector<DrawOp> ops;
    struct Box {
        int left, top, right, bottom;
    };
    std::optional<Box> visible;

private:
    DrawOp& Add(DrawOp::Kind kind, std::vector<Point> points);
};

} // namespace orvix
