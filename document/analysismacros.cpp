// The analyses of the test types: each computes its derived columns from Transform
// expressions, then sets the axes, the filter, the plot type and the figure layout for
// that experiment. And "Switch RIDGE", which flips one merged file's ridge before the
// random-dot edges are drawn.
#include <cmath>

#include "document/orvixdoc.h"
#include "document/responsegraph.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

struct DerivedColumn {
    const char* name;
    std::string expression;
    bool roundToInt;
};

// What a macro sets. An axis named by a column takes that column; a null name takes the
// special value beside it.
struct MacroLayout {
    std::vector<DerivedColumn> columns;
    const char* axisNames[3];
    int axisValues[3];
    bool eyeFilter; // the filter keeps the binocular commands (EYE = 3)
    int plotType;
    int width, height, left, right, top, bottom;
};

const char* const kRidge = "Ridge distance (mm)";
const char* const kEaves = "Eaves distance (mm)";
// Depth steps of the random-dot displays to millimetres of disparity.
const char* const kRidgeExpression = "(POSD+ROOFDEPTH)*(-0.116)";
const char* const kEavesExpression = "POSD*(-0.116)";

const char* const kContrastExpression =
    "(RANDOMDOT == 0 && ((ORIGIN == '0 -1 0' && REVCOL == 0) || (ORIGIN == '0 1 0' && REVCOL == 1)))?'UFS':"
    "((RANDOMDOT == 0 && ((ORIGIN == '0 -1 0' && REVCOL == 1) || (ORIGIN == '0 1 0' && REVCOL == 0)))?'UFS_R':("
    "(RANDOMDOT == 1 && ((ORIGIN == '0 -1 0' && RIDGE == 0) || (ORIGIN == '0 1 0' && RIDGE == 14)))?'RDS':'RDS_R'"
    "))";

bool RowHas(const CommandRow& row, const char* name)
{
    for (const CParam& p : row)
        if (p.GetName() == name)
            return true;
    return false;
}

// The configuration of the solid roof: which side the light comes from and whether both
// eyes saw it, by the roof's orientation.
std::string ConfExpression(COrvixDoc& doc)
{
    float a = doc.FindGraphParam("OR") >= 0 ? static_cast<float>(doc.GetGraphParam("OR").GetDouble()) : 0.0f;
    if (doc.FindGraphParam("OR2") >= 0)
        a += static_cast<float>(doc.GetGraphParam("OR2").GetDouble());
    if (a >= 360.0f)
        a -= 360.0f;
    if (a < 0.0f)
        a += 360.0f;
    const bool upper = (a >= 0.0f && a < 90.0f) || (a >= 270.0f && a < 360.0f);
    if (RowHas(doc.GetCommand(0), "LIGHTDIR"))
        return upper ? "LIGHTDIR == '0 .5 -.5' ? (EYE == 3 ? 'Bino_Bottom' : 'Mono_Bottom') : "
                       "(EYE == 3 ? 'Bino_Top' : 'Mono_Top')"
                     : "LIGHTDIR == '0 .5 -.5' ? (EYE == 3 ? 'Bino_Top' : 'Mono_Top') : "
                       "(EYE == 3 ? 'Bino_Bottom' : 'Mono_Bottom')";
    return upper ? "EYE == 3 ? 'Bino_Top' : 'Mono_Top'" : "EYE == 3 ? 'Bino_Bottom' : 'Mono_Bottom'";
}

MacroLayout LayoutOf(AnalysisMacro macro, COrvixDoc& doc)
{
    switch (macro) {
    case AnalysisMacro::RDRoof:
        return {{{kRidge, kRidgeExpression, true}, {kEaves, kEavesExpression, true}},
                {kRidge, kEaves, nullptr}, {0, 0, AXIS_ALL}, true, PLOT_ROOF, 8500, 7300, 1250, 1250, 300, 1000};
    case AnalysisMacro::RDEdge:
        return {{{"Side 1 distance (mm)", "(RIDGE==0?(POSD+ROOFDEPTH):POSD)*(-0.116)", true},
                 {"Side 2 distance (mm)", "(RIDGE==0?POSD:(POSD+ROOFDEPTH))*(-0.116)", true}},
                {"Side 1 distance (mm)", "Side 2 distance (mm)", nullptr}, {0, 0, AXIS_ALL}, true, PLOT_EDGE,
                8500, 7300, 1250, 1250, 300, 1000};
    case AnalysisMacro::SolidRoof:
        return {{{kRidge, kRidgeExpression, true}, {kEaves, kEavesExpression, true}, {"Conf", ConfExpression(doc), false}},
                {kRidge, kEaves, "Conf"}, {0, 0, 0}, false, PLOT_ROOF, 8500, 7300, 1250, 1250, 300, 1000};
    case AnalysisMacro::BorderOwnership:
        return {{{"Contrast", kContrastExpression, false}},
                {"ORIGIN", nullptr, "Contrast"}, {0, AXIS_SPIKE_RATE, 0}, false, PLOT_BUBBLE,
                8500, 5800, 1250, 1250, 300, 1000};
    case AnalysisMacro::Orientation:
        return {{{"Orientation (deg)", "OR>=180?OR-180:OR", false}},
                {"Orientation (deg)", nullptr, nullptr}, {0, AXIS_SPIKE_RATE, AXIS_ALL}, false, PLOT_LINE_SMOOTHED,
                10000, 9000, 1250, 1250, 500, 1000};
    case AnalysisMacro::OrientationRDEdge:
        return {{{"Orientation (deg)", "OR", false}},
                {"Orientation (deg)", nullptr, nullptr}, {0, AXIS_SPIKE_RATE, AXIS_ALL}, false, PLOT_LINE_SMOOTHED,
                14000, 9000, 1250, 1250, 500, 1000};
    case AnalysisMacro::None: break;
    }
    return {};
}

} // namespace

void CResponseGraph::RunAnalysisMacro(AnalysisMacro macro)
{
    if (macro == AnalysisMacro::None || !HasCommands())
        return;
    const MacroLayout layout = LayoutOf(macro, doc_);
    for (const DerivedColumn& c : layout.columns) {
        std::string problem;
        // A file without the macro's parameters keeps its columns; the layout still applies.
        if (!doc_.InsertExpressionColumn(c.name, c.expression, c.roundToInt, true, &problem) && !problem.empty())
            doc_.AddLogLine("\"" + std::string(c.name) + "\": " + problem);
    }
    CPlotSettings& p = doc_.plot;
    const CommandRow& row = doc_.GetCommand(0);
    const int n = static_cast<int>(row.size());
    for (int axis : {AXIS_X, AXIS_Y, AXIS_FIGURE}) {
        if (!layout.axisNames[axis]) {
            Variable(p, axis) = layout.axisValues[axis];
            continue;
        }
        for (int i = 0; i < n; ++i)
            if (row[static_cast<size_t>(i)].GetName() == layout.axisNames[axis])
                Variable(p, axis) = n - i - 1;
    }
    doc_.selectionList1.clear();
    doc_.selectionList2.clear();
    if (layout.eyeFilter)
        doc_.selectionList1.emplace_back("EYE", "3");
    p.PlotType = layout.plotType;
    p.FigWidth = layout.width;
    p.FigHeight = layout.height;
    p.FigLeftMargin = layout.left;
    p.FigRightMargin = layout.right;
    p.FigTopMargin = layout.top;
    p.FigBottomMargin = layout.bottom;
    p.mainFont.height = p.verticalFont.height = -318;
    RebuildAndRedraw();
    // Five labelled steps up to the largest mean.
    p.StepYRange = DoubleToInt(std::ceil(doc_.responses.maxMean * 0.2));
    p.MaxYRange = 5 * p.StepYRange;
    Changed(true);
}

int CResponseGraph::SwitchRidgeSources()
{
    if (!HasCommands())
        return -1;
    if (!doc_.IsMergeMode()) {
        MessageBox("This function only exists in file merging mode.");
        return -1;
    }
    return doc_.IsMergeMode();
}

void CResponseGraph::SwitchRidge(int source)
{
    if (source < 0 || !HasCommands())
        return;
    doc_.InsertExpressionColumn("RIDGE", Format("in==%d?(RIDGE==0?14:0):RIDGE", source + 1), true, true);
    RunAnalysisMacro(AnalysisMacro::RDEdge);
}

} // namespace orvix
