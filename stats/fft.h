// Discrete Fourier transforms for the correlation routines, behind a plain interface
// (Eigen's FFT module stays in fft.cpp).
#pragma once

#include <complex>
#include <memory>
#include <new>
#include <vector>

namespace tarsel {

using Complex = std::complex<double>;

// The library's bound on the elements of an array: a larger one is refused as a failed
// allocation before the system grants the memory lazily and the program is killed on its
// first touch.
constexpr size_t kMaxMatrixElements = size_t(1) << 29;

// A column-major complex matrix, the working type of the correlation routines.
struct CMatrix {
    size_t rows = 0, cols = 0;
    std::vector<Complex> v;

    CMatrix() = default;
    CMatrix(size_t r, size_t c) : rows(r), cols(c), v(Elements(r, c)) {}
    Complex& operator()(size_t r, size_t c) { return v[c * rows + r]; }
    const Complex& operator()(size_t r, size_t c) const { return v[c * rows + r]; }

private:
    static size_t Elements(size_t r, size_t c)
    {
        if (c != 0 && r > kMaxMatrixElements / c)
            throw std::bad_alloc();
        return r * c;
    }
};

// fft(a, n) or ifft(a, n): each column cut or padded with zeros to n rows, then transformed.
// The inverse is scaled by 1/n.
CMatrix Fft(const CMatrix& a, size_t n, bool inverse = false);

// Transforms of one length n, made for many calls: the twiddle tables and the work buffers
// are built on first use and kept, so a transform allocates nothing after its first call.
// The inverses are not scaled by 1/n.
class FftPlan {
public:
    explicit FftPlan(size_t n);
    ~FftPlan();
    FftPlan(const FftPlan&) = delete;
    FftPlan& operator=(const FftPlan&) = delete;
    size_t Size() const { return m_n; }

    // n real samples in, the first n/2 + 1 bins of their transform out (the others are the
    // mirrored conjugates). For n a multiple of 4 this costs one complex transform of n/2.
    void Forward(const double* in, Complex* out);
    // The n real samples whose transform has the n/2 + 1 bins given.
    void Inverse(const Complex* in, double* out);
    void Forward(const Complex* in, Complex* out);
    void Inverse(const Complex* in, Complex* out);

private:
    struct Impl;
    size_t m_n;
    std::unique_ptr<Impl> m_impl;
};

// The smallest p >= 0 with 2^p >= v (for v >= 1).
int Nextpow2(double v);

} // namespace tarsel
