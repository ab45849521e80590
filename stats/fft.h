// Discrete Fourier transforms for the correlation routines, behind a plain interface
// (Eigen's FFT module stays in fft.cpp).
#pragma once

#include <complex>
#include <vector>

namespace tarsel {

using Complex = std::complex<double>;

// A column-major complex matrix, the working type of the correlation routines.
struct CMatrix {
    size_t rows = 0, cols = 0;
    std::vector<Complex> v;

    CMatrix() = default;
    CMatrix(size_t r, size_t c) : rows(r), cols(c), v(r * c) {}
    Complex& operator()(size_t r, size_t c) { return v[c * rows + r]; }
    const Complex& operator()(size_t r, size_t c) const { return v[c * rows + r]; }
};

// fft(a, n) or ifft(a, n): each column cut or padded with zeros to n rows, then transformed.
// The inverse is scaled by 1/n.
CMatrix Fft(const CMatrix& a, size_t n, bool inverse = false);

// The smallest p >= 0 with 2^p >= v (for v >= 1).
int Nextpow2(double v);

} // namespace tarsel
