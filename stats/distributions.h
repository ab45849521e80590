// F, chi-square and gamma cumulative distribution functions, element by element with
// scalar expansion. An entry point takes the arguments that are present; parameters
// outside a distribution's domain give NaN elements, not errors.
#pragma once

#include <vector>

#include "stats/mwarray.h"

namespace tarsel {

using Args = std::vector<mwArray>;

// Brings arrays to one common size: scalars expand to the size of the first non-scalar
// array. Returns 0, or 1 when a non-scalar array has another size (arrays from that one
// on are left as given). With nparms 1 only the first array is kept.
int distchck(int nparms, std::vector<mwArray>& arrays);

mwArray fcdf(const Args& args);      // x, v1, v2
mwArray chi2cdf(const Args& args);   // x, v
mwArray gamcdf(const Args& args);    // x, a[, b]

inline mwArray fcdf(const mwArray& x, const mwArray& v1, const mwArray& v2) { return fcdf(Args{x, v1, v2}); }
inline mwArray chi2cdf(const mwArray& x, const mwArray& v) { return chi2cdf(Args{x, v}); }
inline mwArray gamcdf(const mwArray& x, const mwArray& a, const mwArray& b) { return gamcdf(Args{x, a, b}); }

} // namespace tarsel
