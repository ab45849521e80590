#include <cmath>

#include "stats/anovan.h"

namespace tarsel {

mwArray idummy(const mwArray& x, double method)
{
    return InRoutine("idummy", [&] {
        const size_t n = x.Length();
        double g = 0;  // max(x), NaN ignored
        for (size_t i = 0; i < x.Numel(); ++i)
            if (x[i] > g)
                g = x[i];
        if (!std::isfinite(g))
            Error("Maximum variable size allowed by the program is exceeded.");
        const size_t levels = static_cast<size_t>(g);
        const size_t ncols = method == 3 ? levels : (levels > 0 ? levels - 1 : 0);
        mwArray d = mwArray::Zeros(n, ncols);
        if (levels > 1) {
            const size_t m3 = method == 3 ? 1 : 0;
            for (size_t r = 0; r < n; ++r) {
                const double v = x[r];
                if (v == 1 && method == 1) {
                    for (size_t c = 0; c < ncols; ++c)
                        d(r, c) = -1;
                } else if (v >= 2 - static_cast<double>(m3) && v <= g && IsWhole(v)) {
                    d(r, static_cast<size_t>(v) - 2 + m3) = 1;
                }
            }
        }
        return d;
    });
}

} // namespace tarsel
