// The response graph's commands: the axes kept in step with the behaviour parameters
// "Param2ShowX/Y/Z" and the titles, the filter's upkeep and its candidates, the axis
// menus, the plot type and the preset figure sizes.
#include <algorithm>
#include <cstring>

#include "document/orvixdoc.h"
#include "document/responsegraph.h"

namespace orvix {

namespace {

// The answers of the responses' 14 columns at the table's end: an axis never offers them.
constexpr int kResponseColumns = 14;

const char* const kShowNames[3] = {"Param2ShowX", "Param2ShowY", "Param2ShowZ"};
const char* const kTitleNames[3] = {"XTitle", "YTitle", "ZTitle"};
// What "Param2Show" holds before anyone wrote it.
const char* const kShowDefaults[3] = {"X", "Spikes/S", "all"};
// The lowest value of each axis variable.
constexpr int kLowest[3] = {AXIS_TIME, AXIS_REVCORR, AXIS_ALL};

// The name of a special axis value; null for a value that is none.
const char* SpecialName(int axis, int value)
{
    switch (axis) {
    case AXIS_X: return value == AXIS_TIME ? "Time (ms)" : nullptr;
    case AXIS_Y:
        return value == AXIS_REVCORR ? "RevCorr"
            : value == AXIS_DEPTH    ? "Depth matched"
            : value == AXIS_SPIKE_RATE ? "Spikes/S"
                                       : nullptr;
    default: return value == AXIS_ALL ? "all" : nullptr;
    }
}

// The special value a name stands for on an axis; false when it is none.
bool SpecialValue(int axis, const std::string& name, int& value)
{
    for (int v = -1; v >= kLowest[axis]; --v)
        if (const char* special = SpecialName(axis, v); special && name == special) {
            value = v;
            return true;
        }
    return false;
}

std::string& TitleOf(CPlotSettings& plot, int axis)
{
    return axis == AXIS_X ? plot.xTitle : axis == AXIS_Y ? plot.yTitle : plot.zTitle;
}

// The order of "Set selection": by name, then by value as a number; "COL" values (colour
// texts) as text.
bool SelectionEntryLess(const CParam& a, const CParam& b)
{
    int byName = strcmp(a.GetName().c_str(), b.GetName().c_str());
    if (byName != 0)
        return byName < 0;
    if (a.GetName() == "COL") {
        CParam x(a), y(b);
        return strcmp(x.GetText().c_str(), y.GetText().c_str()) < 0;
    }
    return a.GetDouble() < b.GetDouble();
}

} // namespace

bool CResponseGraph::HasCommands() const { return doc_.GetCommandRowCount() > 0; }

int CResponseGraph::OfferedColumnCount() const
{
    return std::max(doc_.trialTable.GetColumnCount() - kResponseColumns, 0);
}

std::string CResponseGraph::ColumnName(int column) const
{
    if (column < 0 || column >= doc_.trialTable.GetColumnCount())
        return {};
    return doc_.trialTable.GetColumnName(column);
}

int CResponseGraph::ColumnOfVariable(int variable) const
{
    return variable >= 0 ? doc_.trialTable.GetColumnCount() - kResponseColumns - 1 - variable : -1;
}

int& CResponseGraph::Variable(CPlotSettings& plot, int axis)
{
    return axis == AXIS_X ? plot.XAxisVariable : axis == AXIS_Y ? plot.YAxisVariable : plot.FigureAxisVariable;
}

void CResponseGraph::ClampAxisVariables()
{
    const int top = doc_.trialTable.GetColumnCount() - kResponseColumns - 1;
    for (int axis : {AXIS_X, AXIS_Y, AXIS_FIGURE}) {
        int& v = Variable(doc_.plot, axis);
        v = std::max(std::min(v, top), kLowest[axis]);
    }
}

void CResponseGraph::RebuildAndRedraw()
{
    if (!HasCommands())
        return;
    ClampAxisVariables();
    std::string names[3];
    for (int axis : {AXIS_X, AXIS_Y, AXIS_FIGURE}) {
        const int v = Variable(doc_.plot, axis);
        const char* special = SpecialName(axis, v);
        names[axis] = special ? special : ColumnName(ColumnOfVariable(v));
        doc_.GetBehavParam(kShowNames[axis], CParam(nullptr, 0)) = names[axis];
        doc_.UpdateBehavParamItem(kShowNames[axis]);
    }
    for (int axis : {AXIS_X, AXIS_Y, AXIS_FIGURE}) {
        doc_.GetExpParam(kTitleNames[axis], CParam(nullptr, 0)) = names[axis];
        TitleOf(doc_.plot, axis) = names[axis];
    }
    OnUpdate(DocUpdate{HINT_COLUMN_CHANGED});
}

void CResponseGraph::SetupAxesFromTest()
{
    if (!HasCommands())
        return;
    ClampAxisVariables();
    const int offered = OfferedColumnCount();
    std::string names[3];
    for (int axis : {AXIS_X, AXIS_Y, AXIS_FIGURE}) {
        int& v = Variable(doc_.plot, axis);
        CParam& show = doc_.GetBehavParam(kShowNames[axis], CParam(nullptr, kShowDefaults[axis]));
        const std::string name = show.GetText();
        bool found = SpecialValue(axis, name, v);
        for (int j = 0; !found && !name.empty() && j < offered; ++j)
            if (ColumnName(j) == name) {
                v = ColumnOfVariable(j);
                found = true;
            }
        if (found) {
            names[axis] = name;
            continue;
        }
        // A name of no column: the axis stays, and the parameter shows what it is. A special
        // value is written by its own name (its "column" would be a response column).
        const char* special = SpecialName(axis, v);
        names[axis] = special ? special : ColumnName(ColumnOfVariable(v));
        show = names[axis];
        doc_.UpdateBehavParamItem(kShowNames[axis]);
    }
    for (int axis : {AXIS_X, AXIS_Y, AXIS_FIGURE}) {
        doc_.GetExpParam(kTitleNames[axis], CParam(nullptr, 0)) = names[axis];
        TitleOf(doc_.plot, axis) = names[axis];
    }
    OnUpdate(DocUpdate{HINT_COLUMN_CHANGED});
}

void CResponseGraph::PruneSelectionLists()
{
    if (!HasCommands())
        return;
    const int offered = OfferedColumnCount();
    const int plotted[3] = {ColumnOfVariable(doc_.plot.XAxisVariable), ColumnOfVariable(doc_.plot.YAxisVariable),
                            ColumnOfVariable(doc_.plot.FigureAxisVariable)};
    auto stale = [&](const CParam& entry) {
        int j = 0;
        while (j < offered && ColumnName(j) != entry.GetName())
            ++j;
        return j == offered || std::find(std::begin(plotted), std::end(plotted), j) != std::end(plotted);
    };
    for (std::vector<CParam>* list : {&doc_.selectionList1, &doc_.selectionList2})
        list->erase(std::remove_if(list->begin(), list->end(), stale), list->end());
}

std::vector<CParam> CResponseGraph::SelectionCandidates()
{
    std::vector<CParam> candidates;
    const int commands = doc_.GetCommandRowCount();
    const int variables[3] = {doc_.plot.XAxisVariable, doc_.plot.YAxisVariable, doc_.plot.FigureAxisVariable};
    for (int i = 0; i < commands; ++i) {
        const CommandRow& row = doc_.GetCommand(i);
        const int n = static_cast<int>(row.size());
        for (int k = 0; k < n; ++k) {
            // The plotted parameters are chosen by the axes, not by the filter.
            if (std::find(std::begin(variables), std::end(variables), n - k - 1) != std::end(variables))
                continue;
            const CParam& p = row[static_cast<size_t>(k)];
            if (std::none_of(candidates.begin(), candidates.end(), [&](const CParam& c) { return c == p; }))
                candidates.push_back(p);
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), SelectionEntryLess);
    return candidates;
}

void CResponseGraph::SelectAxisParam(int axis, int k)
{
    doc_.selectionList1.clear();
    doc_.selectionList2.clear();
    Variable(doc_.plot, axis) = k;
    RebuildAndRedraw();
}

void CResponseGraph::SelectAxisSpecial(int axis, int value)
{
    Variable(doc_.plot, axis) = value;
    if (axis == AXIS_Y && (value == AXIS_SPIKE_RATE || value == AXIS_DEPTH))
        doc_.GetExpParam("YTitle", CParam(nullptr, 0)) =
            value == AXIS_SPIKE_RATE ? "Firing rate (spikes/s)" : "Depth matched";
    RebuildAndRedraw();
}

void CResponseGraph::SetPlotType(int plotType)
{
    doc_.plot.PlotType = plotType;
    Changed(false);
}

void CResponseGraph::SetPresetSize(bool big)
{
    CPlotSettings& p = doc_.plot;
    const int scale = big ? 2 : 1;
    p.FigWidth = 5000 * scale;
    p.FigHeight = 4000 * scale;
    p.FigLeftMargin = 600 * scale;
    p.FigRightMargin = 150 * scale;
    p.FigTopMargin = 250 * scale;
    p.FigBottomMargin = 500 * scale;
    p.mainFont.height = p.verticalFont.height = big ? -318 : -159;
    Changed(true);
}

} // namespace orvix
