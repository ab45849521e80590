// Linear algebra for the fits, behind a plain interface (Eigen stays in linalg.cpp).
#pragma once

#include <vector>

#include "stats/mwarray.h"

namespace tarsel {

// Economy-size QR decomposition with column pivoting, a(:, perm) = q * r, together with
// q' * y. r is min(n, k) x k upper triangular with |diag(r)| non-increasing; perm holds
// 1-based column numbers; qty holds the first min(n, k) entries of q' * y, so q itself is
// never formed. a is n x k, y has n entries. a is taken by value and decomposed in its own
// storage: a caller that moves its design in saves a copy of the largest array of the fit.
struct PivotedQr {
    mwArray r;
    std::vector<double> perm;
    std::vector<double> qty;
};
PivotedQr QrPivoted(mwArray a, const mwArray& y);

// a \ b: the least-squares solution; with fewer equations than unknowns a basic solution
// (at most rank(a) non-zero entries). b is a column.
mwArray Mldivide(const mwArray& a, const mwArray& b);

} // namespace tarsel
