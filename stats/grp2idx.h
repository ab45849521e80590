// Grouping of factor values: a group number per observation and the list of group names.
#pragma once

#include "stats/mwarray.h"

namespace tarsel {

// s: a numeric vector, a character matrix (one name per row) or a cell array of strings.
// g: column of group numbers 1..K (NaN for the missing group); gn, when asked for: cell
// column of the K names. Text groups are numbered in order of first appearance, numeric
// groups in ascending order of value. The empty name (or, failing that, "NaN") is the
// missing group.
mwArray grp2idx(const mwArray& s, mwArray* gn = nullptr);

// The distinct values b (cell column of strings, in their final order), the first position
// i of each (1-based) and the group number j of each observation, b(j) = s.
struct Uniquep {
    mwArray b, i, j;
};
Uniquep uniquep(const mwArray& s);

// Text of numbers as the run-time's num2str gives a column of them, one per row before
// justification: whole numbers in %d form, others with enough significant digits.
std::vector<std::string> NumbersToText(const std::vector<double>& values);

} // namespace tarsel
