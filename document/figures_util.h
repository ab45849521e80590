// Small helpers the response figures share: int arithmetic that cannot overflow or divide by
// zero whatever settings a file brought, and the plot's fonts and pens.
#pragma once
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "document/plotsettings.h"
#include "platform/text/numbers.h"
#include "platform/ui/drawing.h"

namespace orvix::figures {

inline int Clamp32(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

// a / b truncated towards zero, as C divides; 0 for a zero divisor.
inline int Div(int64_t a, int64_t b) { return b == 0 ? 0 : Clamp32(a / b); }

// A double to a coordinate: truncated; NaN or out of range gives 0 instead of garbage.
inline int Coord(double v) { return std::isfinite(v) ? Clamp32(static_cast<int64_t>(std::clamp(v, -2e9, 2e9))) : 0; }

// Loops over ticks and labels stop here, so a tiny step from a file cannot hang a drawing.
constexpr int kMaxTicks = 10000;

// The drawing font of a font record: GDI's negative heights are character heights.
inline Font ToFont(const FontRecord& f)
{
    return Font{f.faceName, std::min(std::abs(std::max(f.height, -INT_MAX)), 100000), f.weight, f.italic != 0,
                f.escapement};
}

// The plots' pens: solid with square ends.
inline Pen PlotPen(COLORREF colour, int width) { return Pen{colour, width, PenStyle::Solid, PenCap::Square}; }
inline Pen StockBlackPen() { return Pen{RGB(0, 0, 0), 0}; }
inline Brush StockBlackBrush() { return Brush{RGB(0, 0, 0)}; }
inline Brush HollowBrush() { return Brush{RGB(255, 255, 255), true}; }

} // namespace orvix::figures
