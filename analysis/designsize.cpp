#include "analysis/designsize.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "analysis/tablemodel.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {

bool Missing(const CTableModel& t, int row, int col)
{
    switch (t.GetColumnType(col)) {
    case TABLE_DOUBLE: return std::isnan(t.GetDouble(row, col));
    case TABLE_TEXT: return t.GetText(row, col)[0] == '\0';
    default: return false;
    }
}

int CountLevels(const CTableModel& t, int col, const std::vector<bool>& keep)
{
    const int rows = t.GetRowCount();
    if (t.GetColumnType(col) == TABLE_TEXT) {
        std::set<std::string> seen;
        for (int r = 0; r < rows; ++r)
            if (keep[static_cast<size_t>(r)])
                seen.insert(t.GetText(r, col));
        return static_cast<int>(seen.size());
    }
    std::set<double> seen;
    for (int r = 0; r < rows; ++r)
        if (keep[static_cast<size_t>(r)])
            seen.insert(t.GetColumnType(col) == TABLE_INT ? t.GetInt(r, col) : t.GetDouble(r, col));
    return static_cast<int>(seen.size());
}

} // namespace

DesignSize MeasureDesign(const CTableModel& selection, int order)
{
    DesignSize size;
    const int rows = selection.GetRowCount();
    const int cols = selection.GetColumnCount();
    std::vector<bool> keep(static_cast<size_t>(rows), true);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols && keep[static_cast<size_t>(r)]; ++c)
            keep[static_cast<size_t>(r)] = !Missing(selection, r, c);
    size.observations = static_cast<int>(std::count(keep.begin(), keep.end(), true));
    for (int c = 1; c < cols; ++c)
        size.levels.push_back(CountLevels(selection, c, keep));

    // A term of the factors S has prod(levels - 1) columns; the sums over the terms of each
    // size are the elementary symmetric sums, built factor by factor.
    const size_t k = static_cast<size_t>(std::clamp(order, 0, static_cast<int>(size.levels.size())));
    std::vector<double> columns(k + 1, 0.0), terms(k + 1, 0.0);
    columns[0] = terms[0] = 1;
    for (int levels : size.levels)
        for (size_t j = k; j >= 1; --j) {
            columns[j] += columns[j - 1] * std::max(levels - 1, 0);
            terms[j] += terms[j - 1];
        }
    for (size_t j = 0; j <= k; ++j) {
        size.columns += columns[j];
        size.terms += j ? terms[j] : 0;
    }
    const double n = size.observations;
    const double p = size.columns;
    const double m = std::min(n, p);
    const double fits = size.terms + 1;
    size.operations = 2 * p * m * n + fits * p * m * (2 * m + kCopyAndPivot);
    // The models' term lists are terms x terms bits, four such tables while they are compared.
    size.bytes = 8 * p * (n + 2 * m) + size.terms * size.terms / 2;
    return size;
}

std::string RefuseDesign(const CTableModel& selection, const DesignSize& size, int order)
{
    const int n = size.observations;
    for (size_t f = 0; f < size.levels.size(); ++f) {
        const int levels = size.levels[f];
        if (levels > kFewLevels && 2.0 * levels > n)
            return Format("Factor \"%s\" has %d levels in %d observations: too many to analyse. "
                          "A factor of more than %d levels may have at most half as many levels as there "
                          "are observations.",
                          selection.GetColumnName(static_cast<int>(f) + 1), levels, n, kFewLevels);
    }
    if (size.operations > kMaxDesignOperations || size.bytes > kMaxDesignBytes)
        return Format("The design is too large to analyse: %d observations and %.0f model columns at level %d "
                      "need about %.0f billion operations and %.0f MB (at most %.0f billion and %.0f MB). "
                      "Choose a lower level, fewer factors or factors with fewer levels.",
                      n, size.columns, order, size.operations / 1e9, size.bytes / (1024 * 1024),
                      kMaxDesignOperations / 1e9, kMaxDesignBytes / (1024 * 1024));
    return std::string();
}

} // namespace orvix
