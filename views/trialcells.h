// The trial view's table of cells, free of widgets: the layout of the cells in logical
// units of 0.1 mm (y grows upwards, rows run to negative y), what one cell shows (caption,
// spikes, figure-onset and analysis-end marks, the eye traces) and the divider drag.
#pragma once
#include <string>

#include "platform/ui/drawing.h"

namespace orvix {

class COrvixDoc;
class CTrial;

// Logical units of 0.1 mm against device pixels.
struct MetricScale {
    double pxPerUnitX = 96.0 / 254.0;
    double pxPerUnitY = 96.0 / 254.0;
    static MetricScale ForDpi(double dpiX, double dpiY) { return {dpiX / 254.0, dpiY / 254.0}; }
    int ToPxX(int units) const;
    int ToPxY(int units) const;
    int ToUnitsX(int px) const;
    int ToUnitsY(int px) const;
};

// Pens of the traces.
constexpr COLORREF kTraceBlue = RGB(0, 0, 192);
constexpr COLORREF kTraceGrey = RGB(128, 128, 128);
constexpr COLORREF kTraceRed = RGB(255, 0, 0);

struct TrialViewLayout {
    // ---- Settings, changed by the menu and the divider drag ----
    int spikeHeight = 40;  // the spike band at the top of a trace area
    int traceHeight = 135; // each of the two eye-trace bands
    int inset = 8;         // gap between bands
    int msPerUnit = 4;
    int captionWidth = 360;
    int fixedSpan = 2000; // ms per cell; -1: the longest trial
    float degreeScale = 10.0f;
    bool showGrid = false;

    // ---- Computed by Compute ----
    int rowHeight = 0;
    int rowStepPx = 1;
    int cellWidth = 1;
    int timeSpan = 0;
    int trialCount = 0;
    int hRange = 0;        // horizontal scroll range (0: a cell fits across)
    int vRange = 0;        // the last first trial that can be scrolled to
    int pageWidth = 0;
    int trialsPerPage = 1;
    int lineStep = 1;      // one pixel in logical units
    int columns = 1;
    int clientWidth = 0;   // logical units
    int clientHeight = 0;
    int rowsPerPage = 1;   // client height / row step

    // Lays the cells out for a client area in pixels and the document's longest trial
    // (ms) and trial count. Cell width and row height stay at least one pixel.
    void Compute(const MetricScale& scale, int clientWidthPx, int clientHeightPx, int longestTrial, int trials);
};

// "%d:%d:%d_%d:%d\n" (trial index + 1, repetition + 1, command + 1, responses 3 and 4),
// then "name:value\n" for each parameter of the trial's stimulus command; a command
// outside the list gives no parameter lines.
std::string TrialCaption(COrvixDoc& doc, const CTrial& trial, int index);

// What the traces need besides the trial.
struct TraceSettings {
    int channel = 1;         // 0..7, -1: all eight channels
    int analysisTime = 0;    // ms after figure onset, 0: no mark
    double eyePointBin = 16.6667; // ms between eye samples
};

// Where the traces of a cell go: the trace area's left and right edges and the row's top.
struct TraceArea {
    int left = 0;
    int right = 0;
    int top = 0;
};

// The display starts 300 ms before the figure onset when that lies later than 300 ms.
int TraceStartTime(const CTrial& trial);
// min(the trace area's width, (trial length - start) / ms per unit), never below 0.
int TraceAxisWidth(const CTrial& trial, const TrialViewLayout& layout, int areaWidth);

// The traces of one trial; nothing for a trial of length 0.
void DrawTrialTraces(IDrawContext& dc, const CTrial& trial, const TrialViewLayout& layout, const TraceArea& area,
                     const TraceSettings& settings);

// A clip box in logical units (top > bottom).
struct LogicalBox {
    int left, top, right, bottom;
};

// Every cell whose row meets the clip box, trials running down a column and on at the top
// of the next: cell (column c, row r) shows trial first + c x rows per page + r.
void DrawTrialCells(IDrawContext& dc, COrvixDoc& doc, const TrialViewLayout& layout, int firstTrial,
                    const LogicalBox& clip, const Font& font);

// ---- Divider drag ----
enum DividerHit { HIT_NONE = 0, HIT_CELL_RIGHT = 1, HIT_ROW_BORDER = 2, HIT_CORNER = 3, HIT_CAPTION = 4,
                  HIT_SPIKE_BAND = 5 };
struct DividerHitResult {
    int code = HIT_NONE;
    int column = 0; // the cell column and row under the point
    int row = 0;
};
// A point in logical units (x from the table's left, y <= 0 downwards).
DividerHitResult HitTestDivider(const TrialViewLayout& layout, int x, int y);
// Applies a finished drag of dx, dy logical units; the caller computes the layout again.
void ApplyDividerDrag(TrialViewLayout& layout, const DividerHitResult& hit, int dx, int dy);

} // namespace orvix
