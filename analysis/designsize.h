// The size of an analysis of variance before it runs: observations, levels, model terms and
// columns, and about how much work and memory the library's fits need. The Statistics page
// refuses what could not finish in reasonable time, before handing it to the library.
#pragma once
#include <string>
#include <vector>

class CTableModel;

namespace orvix {

struct DesignSize {
    int observations = 0;        // rows without a missing value (NaN, empty text)
    std::vector<int> levels;     // distinct values of each factor among those rows
    double terms = 0;            // model terms up to the order
    double columns = 0;          // columns of the design matrix, the constant included
    double operations = 0;       // floating-point operations of the fits, about
    double bytes = 0;            // memory of the design matrix and the fits' copies, about
};

// A design of a selection table (column 0 the dependent variable, then the factors) with
// all interactions up to `order`. The library fits the whole model by a pivoted QR on the
// observations, then refits, on the reduced problem of m = min(observations, columns) rows,
// the model without each term and once more for the coefficients; a QR of r rows and c
// columns costs about 2 r c min(r, c) operations, and each refit copies and pivots its
// m x c matrix for about kCopyAndPivot operations per element more (measured: what dominates
// when there are few observations and many terms).
DesignSize MeasureDesign(const CTableModel& selection, int order);
constexpr double kCopyAndPivot = 80;

// Largest designs the page runs: a few seconds of work on a current desktop, and memory
// well within a lab machine's.
constexpr double kMaxDesignOperations = 2e10;
constexpr double kMaxDesignBytes = 512.0 * 1024 * 1024;

// A factor of at most this many levels is never refused for its levels alone: a table
// with fewer than twice as many observations is small, and a short pilot may well have
// nearly as many conditions as trials.
constexpr int kFewLevels = 20;

// Empty when the design may run; otherwise the message that refuses it: a factor of more
// than kFewLevels levels and more levels than half the observations (a continuous value or
// a running number, no factor), or a design whose work or memory exceeds the limits above.
std::string RefuseDesign(const CTableModel& selection, const DesignSize& size, int order);

} // namespace orvix
