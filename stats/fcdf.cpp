#include <cmath>
#include <limits>

#include "stats/distributions.h"
#include "stats/betagamma.h"

namespace tarsel {

mwArray fcdf(const Args& args)
{
    if (args.size() < 3)
        Error("Requires three input arguments.");
    std::vector<mwArray> a(args.begin(), args.begin() + 3);
    for (const mwArray& arg : a)
        if (!arg.IsNumeric())
            Error("Arguments must be numeric.");
    if (distchck(3, a) > 0)
        Error("Requires non-scalar arguments to match in size.");
    const mwArray &x = a[0], &v1 = a[1], &v2 = a[2];
    mwArray p = mwArray::Zeros(x.Rows(), x.Cols());
    const size_t n = p.Numel();

    bool anyInfinite = false;
    for (size_t i = 0; i < n; ++i)
        anyInfinite = anyInfinite || !std::isfinite(v1[i]) || !std::isfinite(v2[i]);

    for (size_t i = 0; i < n; ++i) {
        const double xi = x[i], d1 = v1[i], d2 = v2[i];
        const bool t = d1 <= 0 || d2 <= 0 || std::isnan(xi);
        if (t) {
            p[i] = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        if (!(xi > 0))
            continue;
        const bool f1 = std::isfinite(d1), f2 = std::isfinite(d2);
        if (f1 && f2) {
            // x = +Inf would make x / (x + v2/v1) the undefined Inf/Inf: the limit is 1.
            const double xx = std::isinf(xi) ? 1.0 : xi / (xi + d2 / d1);
            p[i] = Betainc(xx, d1 / 2, d2 / 2);
        } else if (anyInfinite) {
            if (f1 && !f2 && d2 > 0)
                p[i] = chi2cdf(mwArray(d1 * xi), mwArray(d1))[0];
            else if (!f1 && d1 > 0 && f2)
                p[i] = 1 - chi2cdf(mwArray(d2 / xi), mwArray(d2))[0];
            else if (!f1 && d1 > 0 && !f2 && d2 > 0)
                p[i] = xi >= 1 ? 1.0 : 0.0;
        }
    }
    return p;
}

} // namespace tarsel
