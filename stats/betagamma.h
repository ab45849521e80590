// Special functions for the distributions, behind a plain interface (Boost.Math stays in
// betagamma.cpp). Both screen their arguments: NaN and out-of-domain values give NaN and
// never reach Boost.
#pragma once

namespace tarsel {

// Regularised incomplete beta function I_x(a, b); x in [0, 1], a and b positive and finite.
double Betainc(double x, double a, double b);

// Regularised lower incomplete gamma function P(a, z); z >= 0, a > 0. P(a, +Inf) is 1,
// P(+Inf, z) is 0 for finite z.
double Gammainc(double z, double a);

} // namespace tarsel
