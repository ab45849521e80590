// Filled contours of a value grid: level lines through triangulated cells, closed along the
// grid's border, chained into outlines that are outer edges or holes. Every segment runs
// with the values at or above its level on its left as seen on a y-down surface, so an
// outer outline turns counter-clockwise as seen and a hole clockwise.
#pragma once
#include <vector>

#include "platform/ui/drawing.h"

namespace orvix {

// The colour of v in 0..1023: dark blue through blue, cyan, yellow and red to dark red.
COLORREF ContourColour(int v);

struct ContourSegment {
    Point start, end;
};
using ContourSegments = std::vector<ContourSegment>;

// Appends (p1, p2), or (p2, p1) when not forward; a segment of one point is dropped.
void AddContourSegment(ContourSegments& list, Point p1, Point p2, bool forward);

// The piece of the level line that crosses the triangle. The corners go round
// counter-clockwise as seen on a y-down surface.
void ContourTriangle(ContourSegments& list, const Point corners[3], const float values[3], float level);

// The part of a border edge from a to b at or above the level, running from a towards b;
// true when something was appended. The grid's inside lies left of a -> b as seen.
bool ContourBorderEdge(ContourSegments& list, Point a, float va, Point b, float vb, float level);

struct ContourOutline {
    std::vector<Point> points;
    bool hole = false;
};

// Chains segments end to start into outlines (the start of each segment, then the last
// end) and marks each outer or hole by the sum of its turns.
std::vector<ContourOutline> ChainContourSegments(ContourSegments segments);

// The signed sum of the turns (radians) between successive edges of the closed polygon
// through the points, each turn taken in [-pi, pi]: about +2 pi clockwise as seen on a
// y-down surface, -2 pi counter-clockwise.
double TurnSum(const std::vector<Point>& points);

} // namespace orvix
