// What the response graph's mouse, status panes and clipboard work out, without a window:
// which part of a figure a point lies on, the values under the cross-hair and the tables as
// text. Points and lengths are in 0.01 mm, the view's logical units, y downwards.
#pragma once
#include <string>

#include "document/plotsettings.h"

namespace orvix {

class COrvixDoc;

// The parts of a figure that a drag edits, tested in the order of GraphHitTest.
enum GraphRegion : int {
    REGION_NONE = 0,
    REGION_FIGURE_RIGHT = 1,
    REGION_FIGURE_BOTTOM = 2,
    REGION_FIGURE_CORNER = 3,
    REGION_PLOT_LEFT = 4,
    REGION_PLOT_RIGHT = 5,
    REGION_PLOT_TOP = 6,
    REGION_PLOT_BOTTOM = 7,
    REGION_Y_RANGE = 8,
    REGION_X_BAND = 9,
    REGION_Y_BAND = 10,
    REGION_FIGURE_BAND = 11,
};

// The region under a point of the first figure; the first of the regions 9, 10, 11, 8, 4,
// 5, 6, 7, 3, 1, 2 whose bounds (all strict) hold it, else 0.
int GraphHitTest(const CPlotSettings& plot, int x, int y);

// The status panes' texts for the cross-hair at logical x (stimulus) or y (response):
// "S:%5.1f" and "R:%5.1f" (a map's position reads "S:" on both). False when the pane keeps
// its text: fewer than two x values, or a plot or grid of no extent.
bool StimulusPaneText(COrvixDoc& doc, int x, std::string& text);
bool ResponsePaneText(COrvixDoc& doc, int y, std::string& text);

// "Copy Data": the tuning means with their errors (and the smoothed curve of "Line
// smoothed"), or the depth histogram, as lines of tab-separated values ended by CR LF;
// empty when the table is.
std::string CopyDataText(COrvixDoc& doc);

} // namespace orvix
