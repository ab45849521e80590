// The response figures: one figure per value of the figure parameter, two to a row, each
// with its axes and either a raster of trials against time, a tuning curve, a map of
// shaded symbols or a depth histogram. Lengths are in 0.01 mm; with ySign -1 y grows
// downwards and larger values are drawn higher.
#include <algorithm>
#include <cmath>

#include "document/figures_util.h"
#include "document/orvixdoc.h"
#include "document/responsegraph.h"
#include "platform/ui/ui.h"

namespace orvix {

using namespace figures;

namespace {

// One call's worth of layout, settings and pens.
class CFigurePainter {
public:
    CFigurePainter(COrvixDoc& doc, IDrawContext& dc, int ySign) : doc_(doc), dc_(dc), p_(doc.plot), t_(doc.responses), ySign_(ySign) {}

    void Draw();
    double largestGrey = -1.0; // of the map cells drawn; above 240 means overflow

private:
    void Axes(int x0, int y0);
    void Raster(int figure, int x0, int y0);
    void Tuning(int figure, int x0, int y0);
    void Map(int figure, int x0, int y0);
    void Histogram(int figure, int x0, int y0);
    void ErrorBar(int xc, int yk, int e, bool twoSided);
    // The point's y as a whole: the baseline plus the scaled value, truncated together.
    int ValueY(int y0, double value) const { return Coord(y0 + (value - p_.MinYRange) * H_ / range_); }
    int LabelStep() const
    {
        return t_.NX() > 5 && (p_.PlotType == PLOT_ROOF || p_.PlotType == PLOT_EDGE) ? 2 : 1;
    }

    COrvixDoc& doc_;
    IDrawContext& dc_;
    CPlotSettings& p_;
    const CResponseTables& t_;
    const int ySign_;
    bool timeAxis_ = false;
    bool rowAxis_ = false; // the y axis shows the rows of a parameter
    int W_ = 0, H_ = 0, T_ = 0, CW_ = 0, RS_ = 0, rowHeight_ = 0;
    double range_ = 10.0;
    double phase0_ = 0.0, framePeriod_ = 0.0;
    uint32_t s0_ = 0;
    bool align_ = false;
    Font mainFont_, verticalFont_;
    Pen barPen_, blackPen_, whitePen_, thinPen_;
    Brush barBrush_;
};

void CFigurePainter::Draw()
{
    const int nFig = t_.NFig(), nY = t_.NY(), nX = t_.NX();
    timeAxis_ = p_.XAxisVariable == AXIS_TIME;
    rowAxis_ = p_.YAxisVariable >= 0 && nY > 1;
    W_ = Clamp32(int64_t{p_.FigWidth} - p_.FigRightMargin - p_.FigLeftMargin);
    H_ = Clamp32((int64_t{p_.FigHeight} - p_.FigBottomMargin - p_.FigTopMargin) * ySign_);
    T_ = doc_.GetBehavParam("AnalysisTime", CParam(nullptr, 800)).GetInt();
    // One column per 100 ms from 100 ms before figure onset; a negative analysis time has
    // no columns and leaves the axes empty.
    CW_ = timeAxis_ ? Div(W_, (int64_t{T_} + 100) / 100) : Div(W_, nX);
    if (CW_ < 0)
        CW_ = 0;
    if (p_.MaxYRange == p_.MinYRange)
        p_.MaxYRange = p_.MinYRange <= INT_MAX - 10 ? p_.MinYRange + 10 : p_.MinYRange - 10;
    if (p_.HistMax == p_.HistMin)
        p_.HistMax = p_.HistMin <= INT_MAX - 10 ? p_.HistMin + 10 : p_.HistMin - 10;
    range_ = static_cast<double>(int64_t{p_.MaxYRange} - p_.MinYRange);

    const int nBins = t_.histogram.Figures() > 0 && t_.histogram.Rows() > 0 ? t_.histogram.Columns() : 0;
    const int Y = p_.YAxisVariable;
    if (timeAxis_ && Y < 0)
        RS_ = H_;
    else if (Y == AXIS_DEPTH)
        RS_ = nBins > 1 ? Div(int64_t{p_.HistLabelSpacing} * H_, nBins - 1) : 0;
    else if (Y >= -1 && nY <= 1)
        RS_ = Div(int64_t{p_.StepYRange} * H_, int64_t{p_.MaxYRange} - p_.MinYRange);
    else
        RS_ = Div(H_, nY);
    if (timeAxis_) {
        size_t most = 1;
        for (const auto& g : t_.groups)
            most = std::max(most, g.size());
        rowHeight_ = std::min(Div(int64_t{RS_} * ySign_, static_cast<int64_t>(most)), 300) * ySign_;
    }

    mainFont_ = ToFont(p_.mainFont);
    verticalFont_ = ToFont(p_.verticalFont);
    verticalFont_.escapement = 900; // y titles read upwards whatever the record says
    dc_.SetFont(mainFont_);
    barPen_ = PlotPen(p_.BarColor, p_.PenWidth);
    blackPen_ = PlotPen(RGB(0, 0, 0), p_.PenWidth);
    whitePen_ = PlotPen(RGB(255, 255, 255), p_.PenWidth);
    thinPen_ = PlotPen(p_.BarColor, 0);
    barBrush_ = Brush{p_.BarColor};

    if (doc_.alignOnFigOnset && doc_.GetTrialCount() > 0 && doc_.frameRate > 0) {
        const CTrial* first = doc_.GetTrial(0);
        s0_ = first->GetStartTime();
        framePeriod_ = 1000.0 / doc_.frameRate;
        double phase = (first->GetFigOnTime() + doc_.estimatedDelay) / framePeriod_;
        phase0_ = (phase - std::trunc(phase)) * framePeriod_;
        align_ = true;
    }

    const int n = std::max(nFig, 1), rows = (n + 1) / 2, columns = std::min(n, 2);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const int i = column + 2 * row;
            if (i >= n)
                break;
            const int left = Clamp32(int64_t{column} * p_.FigWidth), right = Clamp32(int64_t{column + 1} * p_.FigWidth);
            const int top = Clamp32(-int64_t{row} * p_.FigHeight * ySign_);
            const int bottom = Clamp32(-int64_t{row + 1} * p_.FigHeight * ySign_);
            if (!dc_.RectVisible(left, top, right, bottom))
                continue;
            const int x0 = Clamp32(int64_t{column} * p_.FigWidth + p_.FigLeftMargin);
            const int y0 = Clamp32((int64_t{p_.FigBottomMargin} - int64_t{row + 1} * p_.FigHeight) * ySign_);
            Axes(x0, y0);
            const int X = p_.XAxisVariable;
            if (timeAxis_ && (Y == AXIS_SPIKE_RATE || Y >= 0))
                Raster(i, x0, y0);
            else if ((Y == AXIS_SPIKE_RATE || (Y >= 0 && nY <= 1)) && X >= 0)
                Tuning(i, x0, y0);
            else if (Y >= 0 && nY > 1 && X >= 0)
                Map(i, x0, y0);
            else if (Y == AXIS_DEPTH && X >= 0)
                Histogram(i, x0, y0);

            dc_.SetFont(mainFont_);
            if (nFig != 0)
                dc_.Text(x0 + W_ / 2, Clamp32(int64_t{y0} + H_ + int64_t{ySign_} * p_.FigTopMargin),
                         p_.zTitle + "=" + t_.figureValues[static_cast<size_t>(i)], HAlign::Centre, VAlign::Top);
            if (!(timeAxis_ && Y < 0)) {
                dc_.SetFont(verticalFont_);
                dc_.Text(x0 - p_.FigLeftMargin, y0 + H_ / 2, p_.yTitle, HAlign::Centre, VAlign::Top);
                dc_.SetFont(mainFont_);
            }
        }
    }
}

void CFigurePainter::Axes(int x0, int y0)
{
    const int GL = p_.GridLength;
    dc_.SetPen(blackPen_);
    dc_.SetBrush(StockBlackBrush());
    const Point axes[] = {{x0, y0 + H_}, {x0, y0}, {x0 + W_, y0}};
    dc_.Polyline(axes);

    const int xTicks = std::min(Div(W_, CW_), kMaxTicks);
    for (int k = 0; k < xTicks + (timeAxis_ ? 1 : 0) && CW_ > 0; ++k) {
        int x = timeAxis_ ? x0 + k * CW_ : x0 + CW_ / 2 + k * CW_;
        dc_.Line(x, y0 - ySign_ * GL, x, y0);
    }
    const int yTicks = std::min(Div(H_, RS_), kMaxTicks);
    if (!timeAxis_ && RS_ != 0) {
        for (int k = 0; k < yTicks + (rowAxis_ ? 0 : 1); ++k) {
            int y = rowAxis_ ? y0 + RS_ / 2 + k * RS_ : y0 + k * RS_;
            dc_.Line(x0 - GL, y, x0, y);
        }
    }

    // Labels: every second one when the roof and edge marks need the room.
    const int step = LabelStep();
    const int labelY = y0 - ySign_ * GL;
    if (timeAxis_) {
        for (int k = 0; k <= xTicks && CW_ > 0; ++k)
            dc_.Text(x0 + k * CW_, labelY, FormatInt(k * 100 - 100), HAlign::Centre, VAlign::Top);
    } else {
        for (int k = 0; k < t_.NX(); k += step)
            dc_.Text(x0 + CW_ / 2 + k * CW_, labelY, t_.xValues[static_cast<size_t>(k)], HAlign::Centre, VAlign::Top);
    }
    const int Y = p_.YAxisVariable;
    if (!(timeAxis_ && Y < 0) && RS_ != 0) {
        const int x = x0 - (3 * GL) / 2;
        const int count = rowAxis_ ? std::min(yTicks, t_.NY()) : yTicks + 1;
        for (int k = 0; k < count; k += step) {
            int y = Clamp32(int64_t{y0} + int64_t{k} * RS_ - int64_t{ySign_} * p_.mainFont.height / 2
                            + (rowAxis_ ? RS_ / 2 : 0));
            std::string text;
            if (Y == AXIS_DEPTH)
                text = FormatInt(Clamp32(int64_t{p_.HistLabelSpacing} * p_.HistBin * k + p_.HistMin));
            else if (!rowAxis_)
                text = FormatInt(Clamp32(int64_t{p_.StepYRange} * k + p_.MinYRange));
            else
                text = t_.yValues[static_cast<size_t>(k)];
            dc_.Text(x, y, text, HAlign::Right, VAlign::Top);
        }
    }
    dc_.Text(x0 + W_ / 2, Clamp32(int64_t{y0} - int64_t{ySign_} * p_.FigBottomMargin), p_.xTitle, HAlign::Centre,
             VAlign::Bottom);
}

void CFigurePainter::Raster(int figure, int x0, int y0)
{
    const int rows = t_.NY() <= 1 ? 1 : t_.NY();
    const int channel = doc_.GetSelectedChannel();
    for (int r = 0; r < rows; ++r) {
        const std::vector<int>* group = t_.Group(figure, r);
        if (!group)
            continue;
        const int band = y0 + r * RS_;
        for (size_t k = 0; k < group->size(); ++k) {
            const CTrial* trial = doc_.GetTrial((*group)[k]);
            if (!trial)
                continue;
            double reference = trial->GetFigOnTime();
            if (align_) {
                // Onset moves on to the next frame of the display.
                double d = ((static_cast<double>(trial->GetStartTime()) - s0_) + reference - phase0_) / framePeriod_;
                double a = (1.0 - d + std::trunc(d)) * framePeriod_;
                if (a >= framePeriod_)
                    a -= framePeriod_;
                reference += a;
            }
            const int y = Clamp32(int64_t{band} + static_cast<int64_t>(k) * rowHeight_);
            trial->Draw(dc_, x0, y, W_, rowHeight_, channel, -100.0f, static_cast<float>(T_),
                        static_cast<float>(reference));
        }
    }
}

void CFigurePainter::ErrorBar(int xc, int yk, int e, bool twoSided)
{
    if (e == 0)
        return;
    const int half = p_.ErrorBarLength / 2;
    dc_.Line(xc, yk + e, xc, twoSided ? yk - e : yk);
    dc_.Line(xc - half, yk + e, xc + half, yk + e);
    if (twoSided)
        dc_.Line(xc - half, yk - e, xc + half, yk - e);
}

void CFigurePainter::Tuning(int figure, int x0, int y0)
{
    const int nX = t_.NX();
    if (nX == 0 || !t_.mean.Has(figure, 0, nX - 1) || t_.mean.Columns() != nX || !t_.error.Has(figure, 0, nX - 1))
        return;
    std::span<const float> mean = t_.mean.Row(figure, 0), error = t_.error.Row(figure, 0);
    const int pw = p_.PenWidth;
    auto point = [&](int xc, int yk) {
        dc_.SetPen(thinPen_);
        dc_.Ellipse(xc - 2 * pw, yk - 2 * pw * ySign_, xc + 2 * pw, yk + 2 * pw * ySign_);
    };
    auto errorLength = [&](int k) { return Coord(error[static_cast<size_t>(k)] * H_ / range_); };

    if (p_.PlotType == PLOT_LINE) {
        dc_.SetBrush(barBrush_);
        bool drawn = false;
        Point last;
        for (int k = 0; k < nX; ++k) {
            if (mean[k] < 0)
                continue;
            const int xc = x0 + CW_ / 2 + k * CW_, yk = ValueY(y0, mean[k]);
            // Across columns without data the line joins the points on either side.
            if (drawn) {
                dc_.SetPen(barPen_);
                dc_.Line(last.x, last.y, xc, yk);
            }
            dc_.SetPen(blackPen_);
            ErrorBar(xc, yk, errorLength(k), true);
            point(xc, yk);
            last = {xc, yk};
            drawn = true;
        }
    } else if (p_.PlotType == PLOT_LINE_SMOOTHED) {
        dc_.SetBrush(barBrush_);
        dc_.SetPen(barPen_);
        if (t_.smoothed.Has(figure, 0, 0) && t_.smoothed.Columns() == 10 * nX) {
            std::span<const float> s = t_.smoothed.Row(figure, 0);
            std::vector<Point> curve(s.size());
            for (size_t j = 0; j < s.size(); ++j)
                curve[j] = {x0 + CW_ / 2 + static_cast<int>(j) * CW_ / 10, ValueY(y0, s[j])};
            dc_.Polyline(curve);
        }
        for (int k = 0; k < nX; ++k) {
            if (mean[k] < 0)
                continue;
            const int xc = x0 + CW_ / 2 + k * CW_, yk = ValueY(y0, mean[k]);
            dc_.SetPen(blackPen_);
            ErrorBar(xc, yk, errorLength(k), true);
            point(xc, yk);
        }
    } else {
        dc_.SetBrush(barBrush_);
        dc_.SetPen(blackPen_);
        for (int k = 0; k < nX; ++k) {
            if (mean[k] < 0)
                continue;
            const int xc = x0 + CW_ / 2 + k * CW_, yk = ValueY(y0, mean[k]);
            dc_.Rectangle(xc - CW_ / 4, yk, xc + CW_ / 4, y0);
            ErrorBar(xc, yk, errorLength(k), false);
        }
    }
}

void CFigurePainter::Map(int figure, int x0, int y0)
{
    const int nX = t_.NX(), nY = t_.NY();
    if (!t_.mean.Has(figure, nY - 1, nX - 1) || t_.mean.Rows() != nY || t_.mean.Columns() != nX)
        return;
    const int type = p_.PlotType;
    const bool shaded = type >= PLOT_BLOB && type <= PLOT_INVERT_EDGE;
    if (shaded)
        doc_.DrawRateLegend(dc_, x0 + W_, y0, H_ * ySign_, p_.FigRightMargin, p_.MinYRange, p_.MaxYRange, ySign_);
    const double span = std::min(static_cast<double>(CW_), static_cast<double>(RS_) * ySign_);
    // The marks' levels come from the values as numbers; a single value has no extent.
    const double xr = ParseDouble(t_.xValues.back()) - ParseDouble(t_.xValues.front());
    const double yr = ParseDouble(t_.yValues.back()) - ParseDouble(t_.yValues.front());
    for (int r = 0; r < nY; ++r) {
        for (int k = 0; k < nX; ++k) {
            const double m = t_.mean.At(figure, r, k);
            if (m < 0)
                continue;
            const double cx = x0 + k * CW_ + 0.5 * CW_, cy = y0 + r * RS_ + 0.5 * RS_;
            if (!shaded) {
                dc_.SetPen(StockBlackPen());
                dc_.SetBrush(barBrush_);
                double rr = 0.5 * span * std::sqrt((m - p_.MinYRange) / range_);
                if (!(rr >= 40)) // also a value below the range, whose root is not a number
                    rr = 40;
                dc_.Ellipse(Coord(std::floor(cx - rr + 0.5)), Coord(std::floor(cy + rr * ySign_ + 0.5)),
                            Coord(std::ceil(cx + rr)), Coord(std::floor(cy - rr * ySign_)));
                continue;
            }
            double g = (m - p_.MinYRange) / range_ * 240;
            largestGrey = std::max(largestGrey, g);
            const int level = Coord(240.0 - std::clamp(g, 0.0, 240.0));
            const COLORREF grey = RGB(level, level, level);
            if (type == PLOT_BLOB) {
                dc_.SetPen(Pen{grey, 0});
                dc_.SetBrush(Brush{grey});
                const double rb = 0.45 * span;
                dc_.Ellipse(Coord(std::floor(cx - rb + 0.5)), Coord(std::floor(cy + rb * ySign_ + 0.5)),
                            Coord(std::ceil(cx + rb)), Coord(std::floor(cy - rb * ySign_)));
                continue;
            }
            if (type == PLOT_ROOF || type == PLOT_EDGE)
                dc_.FillRect(Coord(cx - 0.45 * CW_), Coord(cy - 0.45 * RS_), Coord(cx + 0.45 * CW_), Coord(cy + 0.45 * RS_),
                             grey);
            if (xr == 0 || yr == 0)
                continue;
            const int P = Coord(cy + 0.7 * RS_ * ParseDouble(t_.xValues[static_cast<size_t>(k)]) / xr);
            const int Q = Coord(cy + 0.7 * RS_ * ParseDouble(t_.yValues[static_cast<size_t>(r)]) / yr);
            const int c = Coord(cx);
            const bool roof = type == PLOT_ROOF || type == PLOT_INVERT_ROOF;
            const double wing = type == PLOT_ROOF ? 0.175 * CW_ : 0.35 * CW_;
            dc_.SetPen(type <= PLOT_EDGE ? whitePen_ : PlotPen(grey, p_.PenWidth));
            if (roof) {
                const Point peak[] = {{Coord(cx - wing), Q}, {c, P}, {Coord(cx + wing), Q}};
                dc_.Polyline(peak);
            } else {
                const Point stepMark[] = {{Coord(cx - wing), Q}, {c, Q}, {c, P}, {Coord(cx + wing), P}};
                dc_.Polyline(stepMark);
            }
            if (type == PLOT_INVERT_ROOF || type == PLOT_INVERT_EDGE) {
                dc_.SetPen(blackPen_);
                dc_.SetBrush(StockBlackBrush());
                dc_.Line(Coord(cx - CW_ / 4), Coord(cy), Coord(cx + CW_ / 4), Coord(cy));
            }
        }
    }
}

void CFigurePainter::Histogram(int figure, int x0, int y0)
{
    const int nX = t_.NX(), bins = t_.histogram.Columns();
    if (p_.HistLabelSpacing == 0 || RS_ == 0 || t_.histogram.Rows() != nX)
        return;
    dc_.SetBrush(barBrush_);
    const int bh = RS_ / p_.HistLabelSpacing;
    const int longest = Coord(0.9 * CW_);
    const int ticks = std::min(Div(H_, RS_), kMaxTicks);
    for (int k = 0; k < nX; ++k) {
        if (!t_.histogram.Has(figure, k, 0) || t_.histogram.At(figure, k, 0) < 0)
            continue;
        const int xl = x0 + k * CW_;
        dc_.SetPen(thinPen_);
        for (int b = 0; b < bins && p_.HistMaxCount > 0; ++b) {
            const int n = t_.histogram.At(figure, k, b);
            if (n <= 0)
                continue;
            const int yb = Clamp32(int64_t{y0} + int64_t{b} * bh);
            dc_.Rectangle(xl, yb + bh / 2, xl + Div(int64_t{n} * longest, p_.HistMaxCount), yb - bh / 2);
        }
        dc_.SetPen(StockBlackPen());
        dc_.Line(xl, y0, xl, y0 + H_);
        for (int i = 1; i <= ticks; ++i)
            dc_.Line(xl - p_.GridLength, y0 + i * RS_, xl, y0 + i * RS_);
    }
}

} // namespace

void COrvixDoc::DrawFigures(IDrawContext& dc, int ySign)
{
    if (GetTrialCount() > 0 && plot.YAxisVariable == AXIS_REVCORR) {
        DrawReverseCorrelation(dc);
        return;
    }
    // The limit of the tables holds for each axis: a graph whose tables were built is drawn.
    const CResponseTables& t = responses;
    if (t.NFig() > kMaxAxisValues || t.NY() > kMaxAxisValues || t.NX() > kMaxAxisValues || GetTrialCount() == 0
        || (t.NX() == 0 && plot.XAxisVariable != AXIS_TIME))
        return;
    const DrawState saved = dc.State();
    CFigurePainter painter(*this, dc, ySign < 0 ? -1 : 1);
    painter.Draw();
    // One beep for a run of drawings whose map values overflow the grey scale.
    if (painter.largestGrey > 240) {
        if (!rangeBeeped) {
            rangeBeeped = true;
            UI().Beep();
        }
    } else {
        rangeBeeped = false;
    }
    dc.SetPen(saved.pen);
    dc.SetBrush(saved.brush);
    dc.SetFont(saved.font);
    dc.SetTextColour(saved.textColour);
}

} // namespace orvix
