#include "views/trialcells.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "document/orvixdoc.h"
#include "model/param.h"
#include "model/trial.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {

constexpr int kLeadMs = 300;  // shown before the figure onset
constexpr int kTolerance = 10; // divider hit tolerance, 1 mm
constexpr int kGridDotStep = 20;

int Round(double v) { return static_cast<int>(std::lround(v)); }

// A behaviour parameter's value without adding it.
double BehavValue(COrvixDoc& doc, const char* name, double def)
{
    int i = doc.FindBehavParam(name, false, CParam(name, 0));
    return i >= 0 ? doc.GetBehavParam(i).GetDouble() : def;
}

// Cuts the segment a-b to the band lo <= y <= hi; false when nothing of it lies inside.
bool ClipToBand(Point& a, Point& b, int lo, int hi)
{
    auto cut = [](Point& p, const Point& q, int y) {
        // p lies outside; it moves along p-q to height y.
        double t = static_cast<double>(y - p.y) / (q.y - p.y);
        p.x = p.x + Round((q.x - p.x) * t);
        p.y = y;
    };
    if ((a.y < lo && b.y < lo) || (a.y > hi && b.y > hi))
        return false;
    if (a.y < lo)
        cut(a, b, lo);
    else if (a.y > hi)
        cut(a, b, hi);
    if (b.y < lo)
        cut(b, a, lo);
    else if (b.y > hi)
        cut(b, a, hi);
    return true;
}

// One eye trace: samples joined by lines, cut to the band around its centre.
template <class Value>
void DrawEyeTrace(IDrawContext& dc, const CTrial& trial, const TrialViewLayout& layout, int left, int axisWidth,
                  int start, int centre, double bin, Value value)
{
    int g = (layout.traceHeight - 2 * layout.inset) / 10;
    if (layout.showGrid) {
        for (int x = left; x - left < axisWidth; x += kGridDotStep)
            for (int j = -4; j <= 4; ++j)
                dc.SetPixel(x, centre + j * g, RGB(0, 0, 0));
    }
    size_t n = std::min(trial.hSamples.size(), trial.vSamples.size());
    if (n == 0 || layout.degreeScale == 0.0f)
        return;
    const int lo = centre - 5 * g, hi = centre + 5 * g;
    const double k = layout.traceHeight / static_cast<double>(layout.degreeScale);
    auto y = [&](size_t i) { return centre + DoubleToInt(value(i) * k); };

    std::vector<Point> run;
    auto flush = [&] {
        if (run.size() >= 2)
            dc.Polyline(run);
        run.clear();
    };
    Point prev{left, y(0)};
    for (size_t i = 1; i < n; ++i) {
        int x = left + DoubleToInt((static_cast<double>(i) * bin - start) / layout.msPerUnit);
        if (x - left > axisWidth)
            break;
        if (x < left)
            continue;
        Point p{x, y(i)};
        Point a = prev, b = p;
        bool inside = a.y >= lo && a.y <= hi && b.y >= lo && b.y <= hi;
        if (inside) {
            if (run.empty())
                run.push_back(a);
            run.push_back(b);
        } else {
            flush();
            if (ClipToBand(a, b, lo, hi))
                dc.Line(a.x, a.y, b.x, b.y);
        }
        prev = p;
    }
    flush();
}

Pen SolidPen(COLORREF colour) { return Pen{colour, 0, PenStyle::Solid}; }

} // namespace

int MetricScale::ToPxX(int units) const { return Round(units * pxPerUnitX); }
int MetricScale::ToPxY(int units) const { return Round(units * pxPerUnitY); }
int MetricScale::ToUnitsX(int px) const { return Round(px / pxPerUnitX); }
int MetricScale::ToUnitsY(int px) const { return Round(px / pxPerUnitY); }

void TrialViewLayout::Compute(const MetricScale& scale, int clientWidthPx, int clientHeightPx, int longestTrial,
                              int trials)
{
    spikeHeight = scale.ToUnitsY(scale.ToPxY(spikeHeight));
    traceHeight = scale.ToUnitsY(scale.ToPxY(traceHeight));
    inset = scale.ToUnitsY(scale.ToPxY(inset));
    trialCount = trials;
    timeSpan = fixedSpan == -1 ? longestTrial : fixedSpan;

    // A drag may shrink everything to nothing: a row and a cell keep one pixel, so that
    // nothing divides by zero.
    lineStep = std::max(1, scale.ToUnitsX(1));
    int onePxY = std::max(1, scale.ToUnitsY(1));
    rowHeight = std::max(spikeHeight + 2 * traceHeight, onePxY);
    rowStepPx = std::max(1, scale.ToPxY(rowHeight));
    cellWidth = std::max(timeSpan / std::max(1, msPerUnit) + captionWidth, lineStep);

    clientWidth = scale.ToUnitsX(clientWidthPx);
    clientHeight = scale.ToUnitsY(clientHeightPx);
    pageWidth = clientWidth;
    columns = clientWidth / cellWidth;
    if (columns >= 1) {
        hRange = 0;
    } else {
        hRange = cellWidth - clientWidth;
        columns = 1;
    }
    trialsPerPage = std::max(1, columns * std::max(1, clientHeight / rowHeight));
    vRange = std::max(0, trialCount - trialsPerPage);
    rowsPerPage = std::max(1, clientHeightPx / rowStepPx);
}

std::string TrialCaption(COrvixDoc& doc, const CTrial& trial, int index)
{
    std::string text = Format("%d:%d:%d_%d:%d\n", index + 1, trial.repetition + 1, trial.commandIndex + 1,
                              trial.responses[2], trial.responses[3]);
    if (trial.commandIndex >= 0 && trial.commandIndex < doc.GetCommandRowCount())
        for (CParam& p : doc.GetCommand(trial.commandIndex))
            text += p.GetName() + ":" + p.GetText() + "\n";
    return text;
}

int TraceStartTime(const CTrial& trial)
{
    uint32_t figOn = trial.GetFigOnTime();
    return figOn > static_cast<uint32_t>(kLeadMs) ? static_cast<int>(std::min<uint32_t>(figOn - kLeadMs, INT32_MAX))
                                                  : 0;
}

int TraceAxisWidth(const CTrial& trial, const TrialViewLayout& layout, int areaWidth)
{
    // A figure onset past the trial's end leaves nothing to show.
    int64_t span = static_cast<int64_t>(trial.GetLength()) - TraceStartTime(trial);
    if (span <= 0)
        return 0;
    return static_cast<int>(std::min<int64_t>(areaWidth, span / std::max(1, layout.msPerUnit)));
}

void DrawTrialTraces(IDrawContext& dc, const CTrial& trial, const TrialViewLayout& layout, const TraceArea& area,
                     const TraceSettings& settings)
{
    if (trial.GetLength() == 0)
        return;
    const int L = area.left, R = area.right, T = area.top;
    const int bottom = T - layout.rowHeight;
    const int mpu = std::max(1, layout.msPerUnit);
    const int start = TraceStartTime(trial);
    const int axisWidth = TraceAxisWidth(trial, layout, R - L);
    const int64_t figOn = trial.GetFigOnTime();
    // x offset of a time (ms) from the trace area's left edge; -1 when it lies outside the axis.
    auto markX = [&](int64_t ms) -> int {
        int64_t dx = (ms - start) / mpu;
        return dx >= 0 && dx <= axisWidth ? static_cast<int>(dx) : -1;
    };
    const int figX = markX(figOn);
    const int endX = settings.analysisTime != 0 ? markX(figOn + settings.analysisTime) : -1;
    // The ticks of a channel: x offsets of its spikes from the start, up to the axis width.
    auto forEachSpike = [&](int channel, auto&& tick) {
        size_t n = std::min(trial.spikeMasks.size(), trial.spikeTimes.size());
        for (size_t i = 0; i < n; ++i) {
            if (!((trial.spikeMasks[i] >> channel) & 1))
                continue;
            double t = trial.spikeTimes[i] * 0.1 - start;
            if (t < 0)
                continue;
            int x = DoubleToInt(t / mpu);
            if (x > axisWidth)
                break;
            tick(L + x);
        }
    };

    if (settings.channel < 0) {
        // All eight channels, one band each, no eye traces.
        dc.SetPen(SolidPen(kTraceBlue));
        dc.Line(L, T, L, bottom);
        const int eighth = layout.rowHeight / 8;
        const int band = (layout.rowHeight - 7 * layout.inset) / 8;
        for (int ch = 0; ch < kTrialChannels; ++ch) {
            bool active = (trial.activeChannels >> ch) & 1;
            dc.SetPen(SolidPen(active ? kTraceRed : kTraceGrey));
            int y0 = T - ch * eighth, y1 = T - (ch + 1) * eighth;
            if (figX >= 0)
                dc.Line(L + figX, y0, L + figX, y1);
            if (endX >= 0)
                dc.Line(L + endX, y0, L + endX, y1);
            COLORREF bandColour = active ? kTraceBlue : kTraceGrey;
            dc.SetPen(SolidPen(bandColour));
            int top = T - ch * (band + layout.inset);
            forEachSpike(ch, [&](int x) { dc.Line(x, top - band, x, top); });
            if (layout.showGrid && ch < kTrialChannels - 1) {
                int y = top - band - layout.inset / 2;
                dc.Line(L, y, R, y);
            }
        }
        return;
    }

    const int channel = settings.channel;
    const bool active = (trial.activeChannels >> channel) & 1;
    const Pen axisPen = SolidPen(active ? kTraceBlue : kTraceGrey);
    dc.SetPen(axisPen);
    dc.Line(L, T, L, bottom);
    if (figX >= 0)
        dc.Line(L + figX, T, L + figX, bottom);
    if (endX >= 0)
        dc.Line(L + endX, T, L + endX, bottom);

    dc.SetPen(SolidPen(active ? kTraceRed : kTraceGrey));
    const int spikeBase = T - layout.spikeHeight;
    forEachSpike(channel, [&](int x) { dc.Line(x, spikeBase, x, T); });
    dc.SetPen(axisPen);
    dc.Line(L, spikeBase, R, spikeBase);

    // Eye traces with the trial's own calibration.
    const double bin = settings.eyePointBin;
    const double h0 = trial.H0, v0 = trial.V0;
    auto eyeH = [&](size_t i) { return (trial.hSamples[i] + h0) * trial.DtoAH + (trial.vSamples[i] + v0) * trial.DtoAH2; };
    auto eyeV = [&](size_t i) { return (trial.hSamples[i] + h0) * trial.DtoAV2 + (trial.vSamples[i] + v0) * trial.DtoAV; };
    const int centreH = spikeBase - layout.traceHeight / 2;
    DrawEyeTrace(dc, trial, layout, L, axisWidth, start, centreH, bin, eyeH);
    dc.SetPen(axisPen);
    dc.Line(L, centreH - layout.traceHeight / 2, R, centreH - layout.traceHeight / 2);
    DrawEyeTrace(dc, trial, layout, L, axisWidth, start, centreH - layout.traceHeight, bin, eyeV);
}

void DrawTrialCells(IDrawContext& dc, COrvixDoc& doc, const TrialViewLayout& layout, int firstTrial,
                    const LogicalBox& clip, const Font& font)
{
    const int count = doc.GetTrialCount();
    if (count == 0)
        return;
    TraceSettings settings;
    settings.channel = doc.GetSelectedChannel();
    settings.analysisTime = DoubleToInt(BehavValue(doc, "AnalysisTime", 0.0));
    settings.eyePointBin = BehavValue(doc, "EyePointBin", 16.6667);
    const int onePxY = std::max(1, layout.lineStep);
    dc.SetFont(font);
    dc.SetTextColour(RGB(0, 0, 0));

    for (int r = 0; firstTrial + r < count; ++r) {
        const int top = -r * layout.rowHeight;
        const int bottom = top - layout.rowHeight;
        if (top < clip.bottom)
            break;
        if (bottom > clip.top)
            continue;
        for (int c = 0; c < layout.columns; ++c) {
            int index = firstTrial + c * layout.rowsPerPage + r;
            if (index < 0 || index >= count)
                continue;
            const int left = c * layout.cellWidth;
            const int right = left + layout.cellWidth;
            if (right < clip.left || left > clip.right)
                continue;
            const CTrial& trial = *doc.GetTrial(index);
            int captionLeft = left + layout.inset, captionRight = left + layout.captionWidth - layout.inset;
            if (captionRight > clip.left && captionLeft < clip.right && captionRight > captionLeft)
                dc.TextBox(captionLeft, top, captionRight, bottom, TrialCaption(doc, trial, index));
            int traceLeft = left + layout.captionWidth;
            if (right > clip.left && traceLeft < clip.right)
                DrawTrialTraces(dc, trial, layout, TraceArea{traceLeft, right, top}, settings);
            dc.SetPen(SolidPen(RGB(0, 0, 0)));
            dc.Line(left, bottom + onePxY, right - layout.lineStep, bottom + onePxY);
            dc.Line(right - layout.lineStep, bottom + onePxY, right - layout.lineStep, top);
        }
    }
}

DividerHitResult HitTestDivider(const TrialViewLayout& layout, int x, int y)
{
    DividerHitResult hit;
    if (x < kTolerance || y >= -(kTolerance - 1) || layout.cellWidth <= 0 || layout.rowHeight <= 0)
        return hit;
    hit.column = (x + kTolerance) / layout.cellWidth;
    hit.row = (kTolerance - y) / layout.rowHeight;
    const int xm = x % layout.cellWidth;
    const int ym = y % layout.rowHeight; // 0 or negative
    const bool insideRow = kTolerance - layout.rowHeight <= ym && ym < -(kTolerance - 1);
    if (xm < kTolerance || xm > layout.cellWidth - kTolerance)
        hit.code = insideRow ? HIT_CELL_RIGHT : HIT_CORNER;
    else if (!insideRow)
        hit.code = HIT_ROW_BORDER;
    else if (std::abs(xm - layout.captionWidth) < kTolerance)
        hit.code = HIT_CAPTION;
    else if (-kTolerance - layout.spikeHeight < ym && ym < kTolerance - layout.spikeHeight && xm > layout.captionWidth)
        hit.code = HIT_SPIKE_BAND;
    return hit;
}

void ApplyDividerDrag(TrialViewLayout& L, const DividerHitResult& hit, int dx, int dy)
{
    const int column = std::max(1, hit.column);
    const int row = std::max(1, hit.row);
    if (hit.code == HIT_CELL_RIGHT || hit.code == HIT_CORNER)
        L.fixedSpan = std::max(0, L.fixedSpan + L.msPerUnit * dx / column);
    if (hit.code == HIT_ROW_BORDER || hit.code == HIT_CORNER)
        L.traceHeight = std::max(0, L.traceHeight - (dy / row) / 2);
    if (hit.code == HIT_CAPTION) {
        L.captionWidth = std::clamp(L.captionWidth + dx, 0, std::max(0, L.cellWidth));
        L.fixedSpan = std::clamp(L.fixedSpan - L.msPerUnit * dx, 0, std::max(0, L.cellWidth * L.msPerUnit));
    }
    if (hit.code == HIT_SPIKE_BAND) {
        L.spikeHeight = std::clamp(L.spikeHeight - dy, 0, std::max(0, L.rowHeight));
        L.traceHeight = std::clamp(L.traceHeight + dy / 2, 0, std::max(0, L.rowHeight / 2));
    }
}

} // namespace orvix
