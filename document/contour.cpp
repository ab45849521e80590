#include "document/contour.h"

#include <cmath>
#include <utility>

#include "platform/text/numbers.h"

namespace orvix {

namespace {

// Where the level crosses the edge from a to b, in whole logical units: the point itself is
// truncated, not its distance from a.
Point Crossing(Point a, float va, Point b, float vb, float level)
{
    double t = (static_cast<double>(level) - va) / (static_cast<double>(vb) - va);
    return {DoubleToInt(a.x + t * (b.x - a.x)), DoubleToInt(a.y + t * (b.y - a.y))};
}

} // namespace

COLORREF ContourColour(int v)
{
    // Each part wraps modulo 256, as a byte would take it.
    auto byte = [](int x) { return static_cast<uint8_t>(x & 0xFF); };
    if (v < 128)
        return RGB(0, 0, byte(128 + v));
    if (v < 384)
        return RGB(0, byte(v + 128), 255);
    if (v < 640)
        return RGB(byte(v + 128), 255, byte(127 - v));
    if (v < 896)
        return RGB(255, byte(127 - v), 0);
    return RGB(byte(117 - v), 0, 0);
}

void AddContourSegment(ContourSegments& list, Point p1, Point p2, bool forward)
{
    if (p1 == p2)
        return;
    list.push_back(forward ? ContourSegment{p1, p2} : ContourSegment{p2, p1});
}

void ContourTriangle(ContourSegments& list, const Point corners[3], const float values[3], float level)
{
    Point p[3] = {corners[0], corners[1], corners[2]};
    float v[3] = {values[0], values[1], values[2]};
    bool forward = true;
    auto order = [&](int i, int j) {
        if (v[i] > v[j]) {
            std::swap(v[i], v[j]);
            std::swap(p[i], p[j]);
            forward = !forward;
        }
    };
    order(0, 1);
    order(1, 2);
    order(0, 1);
    if (level < v[0] || level > v[2])
        return;
    if (level == v[0] && level == v[1] && v[1] != v[2]) {
        AddContourSegment(list, p[0], p[1], forward);
        return;
    }
    if (level == v[2] && level == v[1] && v[0] != v[1])
        return;
    if (level == v[1]) {
        if (v[2] != v[0])
            AddContourSegment(list, Crossing(p[0], v[0], p[2], v[2], level), p[1], forward);
        return;
    }
    Point a = Crossing(p[0], v[0], p[2], v[2], level);
    if (level < v[1])
        AddContourSegment(list, a, Crossing(p[0], v[0], p[1], v[1], level), forward);
    else
        AddContourSegment(list, a, Crossing(p[1], v[1], p[2], v[2], level), forward);
}

bool ContourBorderEdge(ContourSegments& list, Point a, float va, Point b, float vb, float level)
{
    bool forward = true;
    if (va > vb) {
        std::swap(a, b);
        std::swap(va, vb);
        forward = false;
    }
    if (level >= vb || (level == va && level == vb))
        return false;
    size_t before = list.size();
    if (level > va)
        AddContourSegment(list, Crossing(a, va, b, vb, level), b, forward);
    else
        AddContourSegment(list, a, b, forward);
    return list.size() != before;
}

double TurnSum(const std::vector<Point>& points)
{
    // The polygon's corners without repeats, the closing point included only once.
    std::vector<Point> v;
    for (const Point& p : points)
        if (v.empty() || !(p == v.back()))
            v.push_back(p);
    while (v.size() > 1 && v.front() == v.back())
        v.pop_back();
    const size_t n = v.size();
    if (n < 3)
        return 0.0;
    auto direction = [&](size_t i) {
        const Point& a = v[i];
        const Point& b = v[(i + 1) % n];
        return std::atan2(static_cast<double>(b.y - a.y), static_cast<double>(b.x - a.x));
    };
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        double turn = direction((i + 1) % n) - direction(i);
        while (turn > M_PI)
            turn -= 2 * M_PI;
        while (turn < -M_PI)
            turn += 2 * M_PI;
        sum += turn;
    }
    return sum;
}

std::vector<ContourOutline> ChainContourSegments(ContourSegments s)
{
    std::vector<ContourOutline> outlines;
    size_t next = 0;
    while (next < s.size()) {
        const Point start = s[next].start;
        Point end = s[next].end;
        size_t first = next++;
        // The segments after the chain are scanned in order, each that goes on from the
        // chain's end moved behind it. A scan that ends with the outline still open starts
        // again: the segment it needs may lie before the place where it found the last one.
        bool grew = true;
        while (!(end == start) && grew) {
            grew = false;
            for (size_t k = next; k < s.size() && !(end == start); ++k) {
                if (s[k].start == end) {
                    ContourSegment moved = s[k];
                    s.erase(s.begin() + static_cast<std::ptrdiff_t>(k));
                    s.insert(s.begin() + static_cast<std::ptrdiff_t>(next), moved);
                    end = moved.end;
                    ++next;
                    grew = true;
                }
            }
        }
        ContourOutline outline;
        for (size_t k = first; k < next; ++k)
            outline.points.push_back(s[k].start);
        outline.points.push_back(end);
        outline.hole = TurnSum(outline.points) > 0;
        outlines.push_back(std::move(outline));
    }
    return outlines;
}

} // namespace orvix
