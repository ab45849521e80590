#include "stats/fft.h"

#include <cmath>
#include <unsupported/Eigen/FFT>

namespace tarsel {

CMatrix Fft(const CMatrix& a, size_t n, bool inverse)
{
    CMatrix out(n, a.cols);
    if (n == 0)
        return out;
    Eigen::FFT<double> fft;
    std::vector<Complex> in(n), res(n);
    for (size_t c = 0; c < a.cols; ++c) {
        for (size_t r = 0; r < n; ++r)
            in[r] = r < a.rows ? a(r, c) : Complex();
        if (inverse)
            fft.inv(res.data(), in.data(), static_cast<Eigen::Index>(n));
        else
            fft.fwd(res.data(), in.data(), static_cast<Eigen::Index>(n));
        std::copy(res.begin(), res.end(), out.v.begin() + c * n);
    }
    return out;
}

int Nextpow2(double v)
{
    int p = 0;
    while (p < 1100 && std::ldexp(1.0, p) < v)  // bounded for an infinite v
        ++p;
    return p;
}

} // namespace tarsel
