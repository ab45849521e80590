#include <cmath>
#include <limits>

#include "stats/distributions.h"
#include "stats/betagamma.h"

namespace tarsel {

namespace {

// The square root of the largest finite double.
constexpr double kHuge = 1.3407807929942596e154;

// The truth of any(k) by the run-time's rule: a vector gives one value, a matrix one value
// per column, and the result is true when it is non-empty and all its values are true.
bool AnyTruth(const std::vector<bool>& k, size_t rows, size_t cols)
{
    if (rows * cols == 0)
        return false;
    if (rows == 1 || cols == 1) {
        for (bool b : k)
            if (b)
                return true;
        return false;
    }
    for (size_t c = 0; c < cols; ++c) {
        bool any = false;
        for (size_t r = 0; r < rows && !any; ++r)
            any = k[c * rows + r];
        if (!any)
            return false;
    }
    return true;
}

} // namespace

mwArray gamcdf(const Args& args)
{
    if (args.size() < 2)
        Error("Requires at least two input arguments.");
    std::vector<mwArray> a(args.begin(), args.begin() + 2);
    a.push_back(args.size() >= 3 ? args[2] : mwArray(1.0));
    for (const mwArray& arg : a)
        if (!arg.IsNumeric())
            Error("Arguments must be numeric.");
    if (distchck(3, a) > 0)
        Error("Requires non-scalar arguments to match in size.");
    const mwArray &x = a[0], &shape = a[1], &scale = a[2];
    mwArray p = mwArray::Zeros(x.Rows(), x.Cols());
    const size_t n = p.Numel();
    std::vector<bool> nonFinite(n);
    for (size_t i = 0; i < n; ++i) {
        const bool bad = shape[i] <= 0 || scale[i] <= 0;
        if (bad)
            p[i] = std::numeric_limits<double>::quiet_NaN();
        else if (x[i] > 0)
            p[i] = Gammainc(x[i] / scale[i], shape[i]);
        if (p[i] > 1)
            p[i] = 1;
        nonFinite[i] = !std::isfinite(p[i]);
    }
    if (AnyTruth(nonFinite, p.Rows(), p.Cols()))
        for (size_t i = 0; i < n; ++i)
            if (x[i] >= kHuge)
                p[i] = 1;
    return p;
}

} // namespace tarsel
