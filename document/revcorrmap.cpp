// The reverse-correlation maps: per figure a filled contour map of the response over the
// grid of stimulus positions, with its colour legend and axes in minutes of arc; and the
// grey firing-rate legend beside the main plot's maps. Figure row r spans y from
// r x FigHeight to (r + 1) x FigHeight; grid rows go upwards.
#include <algorithm>
#include <cmath>

#include "document/contour.h"
#include "document/figures_util.h"
#include "document/orvixdoc.h"

namespace orvix {

using namespace figures;

namespace {

constexpr int kLevels = 9;

// A graph parameter's integer value; 0 when the scene has no such parameter.
int GraphInt(COrvixDoc& doc, const char* name)
{
    return doc.FindGraphParam(name) >= 0 ? doc.GetGraphParam(name).GetInt() : 0;
}

// The stimulus field's extent: the first name when the scene has it, else the second.
int FieldExtent(COrvixDoc& doc, const char* name, const char* fallback)
{
    return GraphInt(doc, doc.FindGraphParam(name) >= 0 ? name : fallback);
}

} // namespace

void COrvixDoc::DrawReverseCorrelation(IDrawContext& dc)
{
    const DrawState saved = dc.State();
    const int n = std::max(responses.NFig(), 1);
    if (plot.revCorrSubtract) {
        DrawRevCorrFigure(dc, 0, 0, n >= 2);
    } else {
        const int rows = (n + 1) / 2, columns = std::min(n, 2);
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns && column + 2 * row < n; ++column)
                DrawRevCorrFigure(dc, row, column, false);
    }
    dc.SetPen(saved.pen);
    dc.SetBrush(saved.brush);
    dc.SetFont(saved.font);
    dc.SetTextColour(saved.textColour);
}

void COrvixDoc::DrawRevCorrFigure(IDrawContext& dc, int row, int column, bool difference)
{
    const CPlotSettings& p = plot;
    const CResponseTables& t = responses;
    const int nx = GraphInt(*this, "HGRID"), ny = GraphInt(*this, "VGRID");
    if (nx <= 0 || ny <= 0)
        return;
    const int W = Clamp32(int64_t{p.FigWidth} - p.FigRightMargin - p.FigLeftMargin);
    const int H = Clamp32(int64_t{p.FigHeight} - p.FigBottomMargin - p.FigTopMargin);
    const int left = Clamp32(int64_t{column} * p.FigWidth + p.FigLeftMargin);
    const int bottom = Clamp32(int64_t{row + 1} * p.FigHeight - p.FigBottomMargin);
    const int top = bottom - H, right = left + W;
    if (!dc.RectVisible(Clamp32(int64_t{column} * p.FigWidth), Clamp32(int64_t{row} * p.FigHeight),
                        Clamp32(int64_t{column + 1} * p.FigWidth), Clamp32(int64_t{row + 1} * p.FigHeight)))
        return;
    const int figure = column + 2 * row;

    COLORREF brushes[kLevels + 1];
    for (int k = 0; k <= kLevels; ++k)
        brushes[k] = ContourColour(k * 1023 / 10);
    dc.FillRect(left, top, right, bottom, brushes[0]);
    dc.SetPen(PlotPen(RGB(0, 0, 0), p.PenWidth));
    dc.SetBrush(HollowBrush());
    dc.Rectangle(left, top, right, bottom);

    // A grid of one column or row has no cells, and a table built for another grid (the
    // grid edited since) is not read: both leave the axes empty.
    const bool grid = nx >= 2 && ny >= 2 && t.mean.Rows() == ny && t.mean.Columns() == nx
        && (difference ? t.mean.Figures() >= 2 : figure < t.mean.Figures());
    if (grid) {
        const int dx = W / (nx - 1), dy = H / (ny - 1);
        auto at = [&](int i, int j) { return Point{left + i * dx, bottom - j * dy}; };
        auto value = [&](int i, int j) {
            return difference ? t.mean.At(0, j, i) - t.mean.At(1, j, i) : t.mean.At(figure, j, i);
        };
        const float minimum = t.revCorrMinimum, step = (t.revCorrMaximum - t.revCorrMinimum) * 0.1f;
        ContourSegments segments[kLevels + 1];
        for (int i = 0; i + 1 < nx; ++i) {
            for (int j = 0; j + 1 < ny; ++j) {
                const Point c[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
                const float v[4] = {value(i, j), value(i + 1, j), value(i + 1, j + 1), value(i, j + 1)};
                const Point centre{(c[0].x + c[1].x + c[2].x + c[3].x) / 4, (c[0].y + c[1].y + c[2].y + c[3].y) / 4};
                const float vc = 0.25f * (v[0] + v[1] + v[2] + v[3]);
                for (int k = 1; k <= kLevels; ++k) {
                    const float level = minimum + static_cast<float>(k) * step;
                    for (int e = 0; e < 4; ++e) {
                        const Point tri[3] = {c[e], c[(e + 1) % 4], centre};
                        const float tv[3] = {v[e], v[(e + 1) % 4], vc};
                        ContourTriangle(segments[k], tri, tv, level);
                    }
                    // The grid's border closes the regions that reach it.
                    if (j == 0)
                        ContourBorderEdge(segments[k], c[0], v[0], c[1], v[1], level);
                    if (i == nx - 2)
                        ContourBorderEdge(segments[k], c[1], v[1], c[2], v[2], level);
                    if (j == ny - 2)
                        ContourBorderEdge(segments[k], c[2], v[2], c[3], v[3], level);
                    if (i == 0)
                        ContourBorderEdge(segments[k], c[3], v[3], c[0], v[0], level);
                }
            }
        }
        std::vector<ContourOutline> outlines[kLevels + 1];
        for (int k = 1; k <= kLevels; ++k)
            outlines[k] = ChainContourSegments(std::move(segments[k]));
        // Higher levels over lower ones, then the holes in the colour of the level below.
        for (int k = 1; k <= kLevels; ++k) {
            dc.SetBrush(Brush{brushes[k]});
            for (const ContourOutline& o : outlines[k])
                if (!o.hole)
                    dc.Polygon(o.points);
        }
        for (int k = kLevels; k >= 1; --k) {
            dc.SetBrush(Brush{brushes[k - 1]});
            for (const ContourOutline& o : outlines[k])
                if (o.hole)
                    dc.Polygon(o.points);
        }
    }
    dc.SetPen(StockBlackPen());
    dc.SetBrush(StockBlackBrush());

    std::string caption = Format("Latency=%d", p.revCorrLatency);
    if (difference && t.NFig() >= 2)
        caption += ", " + p.zTitle + "=" + t.figureValues[0] + "-" + p.zTitle + "=" + t.figureValues[1];
    else if (t.NFig() > 1 && figure < t.NFig())
        caption += ", " + p.zTitle + "=" + t.figureValues[static_cast<size_t>(figure)];
    dc.SetFont(ToFont(p.mainFont));
    dc.Text(left + W / 2, top - p.FigTopMargin, caption, HAlign::Centre, VAlign::Top);

    DrawContourLegend(dc, right + 200, top, right + 600, bottom);
    DrawPositionAxes(dc, left, top, right, bottom);
}

void COrvixDoc::DrawContourLegend(IDrawContext& dc, int left, int top, int right, int bottom)
{
    const CResponseTables& t = responses;
    const double h = static_cast<double>(bottom) - top;
    for (int b = 0; b < 64; ++b) {
        const int y1 = Coord(std::lround(bottom - b * h / 64)), y2 = Coord(std::lround(bottom - (b + 1) * h / 64));
        dc.FillRect(left, y2, right, y1, ContourColour(16 * b + 8));
    }
    const DrawState saved = dc.State();
    dc.SetBrush(HollowBrush());
    dc.Rectangle(left, top, right, bottom);
    dc.SetBrush(saved.brush);
    dc.SetFont(ToFont(plot.mainFont));
    for (int i = 0; i <= 4; ++i) {
        // Whole-number quarters of the bar's height (the bands' edges are rounded instead).
        const int y = Clamp32(int64_t{bottom} - (int64_t{i} * (int64_t{bottom} - top)) / 4);
        dc.Line(right + 100, y, right, y);
        const double v = t.revCorrMinimum + (static_cast<double>(t.revCorrMaximum) - t.revCorrMinimum) * i * 0.25;
        dc.Text(right + 200, y + plot.mainFont.height / 2, Format("%g", static_cast<double>(static_cast<float>(v))));
    }
}

void COrvixDoc::DrawPositionAxes(IDrawContext& dc, int left, int top, int right, int bottom)
{
    const int nx = GraphInt(*this, "HGRID"), ny = GraphInt(*this, "VGRID");
    const double L = FieldExtent(*this, "BGLEN", "LEN"), Wd = FieldExtent(*this, "BGWID", "WID");
    const int fontHeight = plot.mainFont.height;
    const Font font = ToFont(plot.mainFont);
    dc.SetFont(font);
    // The range between the first and the last grid centre; a field of one cell or of no
    // extent has no scale and no ticks.
    if (nx > 0) {
        const double lo = (L / nx - L) / 2, hi = (L - L / nx) / 2;
        if (hi != lo) {
            const double scale = (static_cast<double>(right) - left) / (hi - lo), step = (hi - lo) * 0.1;
            for (int i = 0; i <= 10; ++i) {
                const int x = Coord(left + i * step * scale);
                dc.Line(x, bottom + 100, x, bottom);
                dc.Text(x, bottom + 200, Format("%.0f", std::floor(i * step + lo + 0.5)), HAlign::Centre);
            }
        }
    }
    dc.Text((left + right) / 2, bottom - fontHeight + 400, "X position (min)", HAlign::Centre);
    if (ny > 0) {
        const double lo = (Wd / ny - Wd) / 2, hi = (Wd - Wd / ny) / 2;
        if (hi != lo) {
            const double scale = (static_cast<double>(top) - bottom) / (hi - lo), step = (hi - lo) * 0.1;
            for (int i = 0; i <= 10; ++i) {
                const int y = Coord(bottom + i * step * scale);
                dc.Line(left - 100, y, left, y);
                dc.Text(left - 200, y + fontHeight / 2, Format("%.0f", std::floor(i * step + lo + 0.5)), HAlign::Right);
            }
        }
    }
    Font vertical = ToFont(plot.verticalFont);
    vertical.escapement = 900;
    dc.SetFont(vertical);
    dc.Text(left - plot.FigLeftMargin, (top + bottom) / 2, "Y position (min)", HAlign::Centre);
    dc.SetFont(font);
}

void COrvixDoc::DrawRateLegend(IDrawContext& dc, int left, int bottom, int height, int rightMargin, int minimum,
                               int maximum, int ySign)
{
    if (plot.StepYRange == 0)
        plot.StepYRange = 1;
    // At least one tick, whatever the range and step.
    const int ticks = std::clamp(Div(int64_t{maximum} - minimum, plot.StepYRange), 1, kMaxTicks);
    const int spacing = Div(int64_t{height} * ySign, ticks);
    const Font font = ToFont(plot.mainFont);
    dc.SetFont(font);
    for (int i = 0; i <= ticks; ++i) {
        const int y = Clamp32(int64_t{bottom} + int64_t{i} * spacing - int64_t{plot.mainFont.height} * ySign / 2);
        dc.Text(left + 240 + plot.GridLength, y, FormatInt(Clamp32(int64_t{minimum} + int64_t{i} * plot.StepYRange)));
    }
    // The title reads downwards.
    Font title = ToFont(plot.verticalFont);
    title.escapement = -900;
    dc.SetFont(title);
    dc.Text(left + rightMargin, Clamp32(int64_t{bottom} + int64_t{height} * ySign / 2), "Firing rate (spikes/s)",
            HAlign::Centre);
    dc.SetFont(font);
    for (int i = 0; i <= ticks; ++i) {
        const int y = Clamp32(int64_t{bottom} + int64_t{i} * spacing);
        dc.Line(left + 200, y, left + 200 + plot.GridLength, y);
    }
    // 241 grey bands from RGB(240, 240, 240) at the bottom to black at the top.
    for (int b = 0; b <= 240; ++b) {
        const int y1 = Clamp32(int64_t{bottom} + ySign * (int64_t{b} * height / 241));
        const int y2 = Clamp32(int64_t{bottom} + ySign * (int64_t{b + 1} * height / 241));
        const uint8_t grey = static_cast<uint8_t>(240 - b);
        dc.FillRect(left, y2, left + 200, y1, RGB(grey, grey, grey));
    }
}

} // namespace orvix
