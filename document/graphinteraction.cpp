// The response graph's figure editing, cross-hair readings and text copy.
#include "document/graphinteraction.h"

#include <algorithm>
#include <cstdint>

#include "document/orvixdoc.h"
#include "document/responsegraph.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {

bool Between(int64_t low, int64_t v, int64_t high) { return low < v && v < high; }

int GraphInt(COrvixDoc& doc, const char* name)
{
    return doc.FindGraphParam(name) >= 0 ? doc.GetGraphParam(name).GetInt() : 0;
}

// Where along a map's field a fraction of the plot lies, in the field's units, centred on
// 0 between the first and the last grid centre. False for a grid of no cells.
bool FieldPosition(COrvixDoc& doc, const char* grid, const char* extent, const char* fallback, int at, int length,
                   double& value)
{
    const int n = GraphInt(doc, grid);
    if (n <= 0)
        return false;
    const int len = GraphInt(doc, doc.FindGraphParam(extent) >= 0 ? extent : fallback);
    const double half = 0.5 * len * (n - 1) / n;
    value = -half + 2 * half * at / length;
    return true;
}

// The value after the first two characters ("S:", "R:") and the blanks that follow.
std::string PaneValue(const std::string& text)
{
    std::string value = text.size() > 2 ? text.substr(2) : std::string();
    size_t start = value.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : value.substr(start);
}

} // namespace

int GraphHitTest(const CPlotSettings& p, int x, int y)
{
    const int64_t W = p.FigWidth, H = p.FigHeight, L = p.FigLeftMargin, R = p.FigRightMargin, T = p.FigTopMargin,
                  B = p.FigBottomMargin;
    const int64_t quarterW = W / 4, threeQuarterW = 3 * W / 4;
    if (Between(H - B, y, H - 100) && Between(quarterW, x, threeQuarterW))
        return REGION_X_BAND;
    if (x < L && Between(H / 4, y, 3 * H / 4))
        return REGION_Y_BAND;
    if (Between(quarterW, x, threeQuarterW) && Between(0, y, 600))
        return REGION_FIGURE_BAND;
    const bool plotRows = Between(T, y, H - B), plotColumns = Between(L, x, W - R);
    if (Between(L - 600, x, L - 100) && plotRows)
        return REGION_Y_RANGE;
    if (Between(L - 100, x, L + 100) && plotRows)
        return REGION_PLOT_LEFT;
    if (Between(W - R - 100, x, W - R + 100) && plotRows)
        return REGION_PLOT_RIGHT;
    if (Between(T - 100, y, T + 100) && plotColumns)
        return REGION_PLOT_TOP;
    if (Between(H - B - 100, y, H - B + 100) && plotColumns)
        return REGION_PLOT_BOTTOM;
    const bool rightEdge = Between(W - 100, x, W + 100), bottomEdge = Between(H - 100, y, H + 100);
    if (rightEdge && bottomEdge)
        return REGION_FIGURE_CORNER;
    if (rightEdge)
        return REGION_FIGURE_RIGHT;
    if (bottomEdge)
        return REGION_FIGURE_BOTTOM;
    return REGION_NONE;
}

bool StimulusPaneText(COrvixDoc& doc, int x, std::string& text)
{
    const CPlotSettings& p = doc.plot;
    const int PW = p.FigWidth - p.FigRightMargin - p.FigLeftMargin;
    // A plot dragged to no width has no positions to read.
    if (PW <= 0)
        return false;
    const int px = std::clamp(x - p.FigLeftMargin, 0, PW);
    double value = 0;
    if (p.YAxisVariable == AXIS_REVCORR) {
        if (!FieldPosition(doc, "HGRID", "BGLEN", "LEN", px, PW, value))
            return false;
    } else {
        const std::vector<std::string>& xs = doc.responses.xValues;
        const int nX = static_cast<int>(xs.size());
        if (nX < 2)
            return false;
        const int step = PW / nX;
        const double x0 = ParseDouble(xs[0]), x1 = ParseDouble(xs[1]);
        value = x0 + (x1 - x0) * (px - step / 2) * nX / PW;
    }
    text = Format("S:%5.1f", value);
    return true;
}

bool ResponsePaneText(COrvixDoc& doc, int y, std::string& text)
{
    const CPlotSettings& p = doc.plot;
    const int PH = p.FigHeight - p.FigBottomMargin - p.FigTopMargin;
    if (PH <= 0)
        return false;
    const int py = std::clamp(p.FigHeight - p.FigBottomMargin - y, 0, PH);
    if (p.YAxisVariable == AXIS_REVCORR) {
        double value = 0;
        if (!FieldPosition(doc, "VGRID", "BGWID", "WID", py, PH, value))
            return false;
        text = Format("S:%5.1f", value);
    } else {
        text = Format("R:%5.1f", p.MinYRange + (static_cast<double>(p.MaxYRange) - p.MinYRange) * py / PH);
    }
    return true;
}

std::string CopyDataText(COrvixDoc& doc)
{
    const CPlotSettings& p = doc.plot;
    const CResponseTables& t = doc.responses;
    const int nX = t.NX(), nY = t.NY(), nFig = t.NFig();
    std::string out;
    if (p.YAxisVariable >= AXIS_SPIKE_RATE) {
        if (t.mean.Cells().empty())
            return {};
        // The data file's name without folder, cut to its first six characters.
        const std::string& path = doc.dataFilePath;
        const size_t slash = path.find_last_of("\\/");
        const std::string stem = (slash == std::string::npos ? path : path.substr(slash + 1)).substr(0, 6);
        auto lead = [&](int f, int r) {
            std::string s = stem + "\t";
            if (nFig > 0)
                s += t.figureValues[static_cast<size_t>(f)] + "\t";
            if (nY > 0)
                s += t.yValues[static_cast<size_t>(r)] + "\t";
            return s;
        };
        const int figures = std::max(nFig, 1), rows = std::max(nY, 1);
        for (int f = 0; f < figures; ++f)
            for (int r = 0; r < rows; ++r)
                for (int x = 0; x < nX; ++x)
                    if (t.mean.Has(f, r, x) && t.mean.At(f, r, x) >= 0)
                        out += lead(f, r) + t.xValues[static_cast<size_t>(x)] + "\t"
                            + Format("%g\t%g\r\n", t.mean.At(f, r, x), t.error.Has(f, r, x) ? t.error.At(f, r, x) : 0.0f);
        if (p.PlotType == PLOT_LINE_SMOOTHED) {
            for (int f = 0; f < figures; ++f)
                for (int r = 0; r < rows; ++r)
                    for (int i = 0; i < 10 * nX; ++i) {
                        if (!t.smoothed.Has(f, 0, i))
                            break;
                        const int j = i / 10, k = i % 10;
                        const double xj = ParseDouble(t.xValues[static_cast<size_t>(j)]);
                        double step = 0;
                        if (j + 1 < nX)
                            step = ParseDouble(t.xValues[static_cast<size_t>(j + 1)]) - xj;
                        else if (j > 0)
                            step = xj - ParseDouble(t.xValues[static_cast<size_t>(j - 1)]);
                        out += lead(f, r) + Format("%g\t", xj + step * k * 0.1)
                            + Format("%g\r\n", t.smoothed.At(f, 0, i));
                    }
        }
        return out;
    }

    if (t.histogram.Cells().empty())
        return {};
    const int bins = t.histogram.Columns();
    CommandRow& row = doc.GetCommand(0);
    const int P = static_cast<int>(row.size());
    auto name = [&](int variable) {
        int at = P - variable - 1;
        return at >= 0 && at < P ? row[static_cast<size_t>(at)].GetName() : std::string();
    };
    if (p.FigureAxisVariable > -1)
        out += name(p.FigureAxisVariable) + "\t";
    out += name(p.XAxisVariable) + "\tDepthMatched\tCount\r\n";
    for (int f = 0; f < std::max(nFig, 1); ++f)
        for (int x = 0; x < nX; ++x) {
            if (!t.histogram.Has(f, x, 0) || t.histogram.At(f, x, 0) < 0)
                continue;
            for (int b = 0; b < bins; ++b) {
                if (nFig > 0)
                    out += t.figureValues[static_cast<size_t>(f)] + "\t";
                out += t.xValues[static_cast<size_t>(x)] + "\t"
                    + Format("%d\t%d\r\n", p.HistBin * b + p.HistMin, t.histogram.At(f, x, b));
            }
        }
    return out;
}

// ---- Figure editing and the optimal value ----

void CResponseGraph::ApplyDrag(int region, int dx, int dy)
{
    CPlotSettings& p = doc_.plot;
    // A margin dragged past its own width takes the figure's size with it only so far.
    auto edge = [](int32_t& margin, int32_t& size, int d) {
        if (d >= -margin) {
            margin += d;
            size += d;
        } else {
            size -= margin;
            margin = 0;
        }
    };
    auto band = [&](int axis, int lowest) {
        int& v = Variable(p, axis);
        if (dy > 0 && v > lowest)
            --v;
        else if (dy < 0)
            ++v;
        doc_.selectionList1.clear();
        doc_.selectionList2.clear();
        p.PlotType = PLOT_BUBBLE;
        RebuildAndRedraw();
    };
    switch (region) {
    case REGION_FIGURE_RIGHT: edge(p.FigRightMargin, p.FigWidth, dx); break;
    case REGION_FIGURE_BOTTOM: edge(p.FigBottomMargin, p.FigHeight, dy); break;
    case REGION_PLOT_LEFT: edge(p.FigLeftMargin, p.FigWidth, dx); break;
    case REGION_PLOT_RIGHT: p.FigWidth = std::max(p.FigWidth + dx, p.FigLeftMargin + p.FigRightMargin); break;
    case REGION_PLOT_TOP: edge(p.FigTopMargin, p.FigHeight, dy); break;
    case REGION_PLOT_BOTTOM: p.FigHeight = std::max(p.FigHeight + dy, p.FigTopMargin + p.FigBottomMargin); break;
    case REGION_X_BAND: band(AXIS_X, AXIS_TIME); break;
    case REGION_Y_BAND: band(AXIS_Y, AXIS_DEPTH); break;
    case REGION_FIGURE_BAND: band(AXIS_FIGURE, AXIS_ALL); break;
    default: break;
    }
    Changed(true);
}

int CResponseGraph::DragYRange(int dyDevice)
{
    CPlotSettings& p = doc_.plot;
    const int half = dyDevice / 2;
    p.MaxYRange += half * 5;
    p.StepYRange += half;
    if (p.MaxYRange <= p.MinYRange) {
        p.MaxYRange = p.MinYRange + 5;
        p.StepYRange = 1;
    }
    Changed(false);
    return half * 2;
}

void CResponseGraph::SetOptimalValue(const std::string& stimulusText, const std::string& responseText)
{
    if (!HasCommands())
        return;
    // A pane that never showed a value has none to send.
    auto set = [&](const char* name, const std::string& paneText) {
        const int i = doc_.FindGraphParam(name);
        const std::string value = PaneValue(paneText);
        if (i < 0 || value.empty())
            return;
        doc_.GetGraphParam(i) = value;
        doc_.SendGraphParam(i);
        doc_.UpdateGraphParamItem(i);
    };
    if (doc_.plot.YAxisVariable == AXIS_REVCORR) {
        set("POSX", stimulusText);
        set("POSY", responseText);
        return;
    }
    CommandRow& row = doc_.GetCommand(0);
    const int at = static_cast<int>(row.size()) - doc_.plot.XAxisVariable - 1;
    if (at >= 0 && at < static_cast<int>(row.size()))
        set(row[static_cast<size_t>(at)].GetName().c_str(), stimulusText);
}

} // namespace orvix
