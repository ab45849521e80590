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
        mwArray ab = mwArray::Zeros(n, na * nb);
        for (size_t jb = 0; jb < nb; ++jb)
            for (size_t ja = 0; ja < na; ++ja) {
                const size_t k = jb * na + ja;
                for (size_t r = 0; r < n; ++r)
                    ab(r, k) = a(r, ja) * b(r, jb);
            }
        return ab;
    });
}

} // namespace tarsel
