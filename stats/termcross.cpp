#include <algorithm>

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
        TermcrossInto({a.Data().data(), na}, {b.Data().data(), nb}, n, ab.data());
        return mwArray::FromData(n, na * nb, std::move(ab));
    });
}

size_t TermcrossInto(Columns a, Columns b, size_t n, double* out)
{
    if (a.cols == 0 || b.cols == 0) {
        const Columns& only = a.cols == 0 ? b : a;
        std::copy_n(only.data, n * only.cols, out);
        return only.cols;
    }
    for (size_t jb = 0; jb < b.cols; ++jb)
        for (size_t ja = 0; ja < a.cols; ++ja, out += n) {
            const double* pa = a.data + ja * n;
            const double* pb = b.data + jb * n;
            for (size_t r = 0; r < n; ++r)
                out[r] = pa[r] * pb[r];
        }
    return a.cols * b.cols;
}

} // namespace tarsel
