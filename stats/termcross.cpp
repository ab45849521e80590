#include "stats/anovan.h"

namespace tarsel {

mwArray termcross(const mwArray& a, const mwArray& b)
{
    return InRoutine("termcross", [&] {
        if (a.IsEmpty())
            return b;
        if (b.IsEmpty())
            return a;
        if (a.Rows() != b.Rows())
            Error("Matrix dimensions must agree.");
        const size_t n = a.Rows(), na = a.Cols(), nb = b.Cols();
        if (na * nb != 0 && n > (size_t(1) << 29) / (na * nb))
            throw mwBadAlloc();
        std::vector<double> ab(n * na * nb);
        double* out = ab.data();
        for (size_t jb = 0; jb < nb; ++jb)
            for (size_t ja = 0; ja < na; ++ja, out += n) {
                const double* pa = a.Data().data() + ja * n;
                const double* pb = b.Data().data() + jb * n;
                for (size_t r = 0; r < n; ++r)
                    out[r] = pa[r] * pb[r];
            }
        return mwArray::FromData(n, na * nb, std::move(ab));
    });
}

} // namespace tarsel
