// Discrete Fourier transforms for the correlation routines, behind a plain interface
// (Eigen's FFT module stays in fft.cpp).
#pragma once

#include <complex>
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

// The smallest p >= 0 with 2^p >= v (for v >= 1).
int Nextpow2(double v);

} // namespace tarsel
