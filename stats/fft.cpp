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

struct FftPlan::Impl {
    Eigen::FFT<double> fft;
    Impl()
    {
        fft.SetFlag(Eigen::FFT<double>::HalfSpectrum);
        fft.SetFlag(Eigen::FFT<double>::Unscaled);
    }
};

FftPlan::FftPlan(size_t n) : m_n(n), m_impl(std::make_unique<Impl>())
{
    if (n > kMaxMatrixElements)
        throw std::bad_alloc();
}

FftPlan::~FftPlan() = default;

void FftPlan::Forward(const double* in, Complex* out)
{
    m_impl->fft.fwd(out, in, static_cast<Eigen::Index>(m_n));
}

void FftPlan::Inverse(const Complex* in, double* out)
{
    m_impl->fft.inv(out, in, static_cast<Eigen::Index>(m_n));
}

void FftPlan::Forward(const Complex* in, Complex* out)
{
    m_impl->fft.fwd(out, in, static_cast<Eigen::Index>(m_n));
}

void FftPlan::Inverse(const Complex* in, Complex* out)
{
    m_impl->fft.inv(out, in, static_cast<Eigen::Index>(m_n));
}

int Nextpow2(double v)
{
    int p = 0;
    while (p < 1100 && std::ldexp(1.0, p) < v)  // bounded for an infinite v
        ++p;
    return p;
}

} // namespace tarsel
