// Overlap-add FIR filtering with power-of-two transforms.
#include <algorithm>
#include <cmath>

#include "stats/runtime.h"
#include "stats/xcorr.h"

namespace tarsel {

namespace {

// Estimated flops of one transform of length 2^k, k = 1..20: the cost model.
const double kFftFlops[20] = {18, 59, 138, 303, 660, 1441, 3150, 6875, 14952, 32373, 69762, 149647,
                              319644, 680105, 1441974, 3047619, 6422736, 13500637, 28311786, 59244791};

} // namespace

CMatrix ToComplex(const mwArray& a)
{
    if (!a.IsNumeric())
        Error("Arguments must be numeric.");
    CMatrix c(a.Rows(), a.Cols());
    for (size_t i = 0; i < c.v.size(); ++i)
        c.v[i] = Complex(a[i], a.IsReal() ? 0.0 : a.Imag()[i]);
    return c;
}

mwArray FromComplex(const CMatrix& c, bool forceReal)
{
    mwArray a = mwArray::Zeros(c.rows, c.cols);
    bool real = true;
    for (size_t i = 0; i < c.v.size(); ++i) {
        a[i] = c.v[i].real();
        real = real && c.v[i].imag() == 0;
    }
    if (!forceReal && !real) {
        std::vector<double> im(c.v.size());
        for (size_t i = 0; i < c.v.size(); ++i)
            im[i] = c.v[i].imag();
        a.SetImag(std::move(im));
    }
    return a;
}

FftfiltPlan FftfiltLengths(size_t nb, size_t nx, double nfftGiven)
{
    FftfiltPlan plan;
    if (nfftGiven > 0) {
        double n = std::max(nfftGiven, static_cast<double>(nb));
        const double p = std::ceil(std::log(n) / std::log(2.0));
        // A length no array may have is an allocation that fails; it must not wrap on its
        // way to a size either.
        if (p > 63 || std::ldexp(1.0, static_cast<int>(p)) > static_cast<double>(kMaxMatrixElements))
            throw mwBadAlloc();
        n = std::ldexp(1.0, static_cast<int>(p));
        plan.nfft = static_cast<size_t>(n);
        plan.L = plan.nfft - nb + 1;
    } else if (nb >= nx) {
        plan.nfft = size_t(1) << Nextpow2(static_cast<double>(nb + nx - 1));
        plan.L = nx;
    } else {
        double best = 0;
        for (int k = 1; k <= 20; ++k) {
            const size_t n = size_t(1) << k;
            if (n <= nb - 1)
                continue;
            const size_t L = n - (nb - 1);
            const double cost = std::ceil(static_cast<double>(nx) / static_cast<double>(L)) * kFftFlops[k - 1];
            if (plan.nfft == 0 || cost < best) {
                best = cost;
                plan.nfft = n;
                plan.L = L;
            }
        }
        if (plan.nfft == 0)
            Error("Filter is longer than the longest transform.");
    }
    return plan;
}

namespace {

// Half a spectrum is enough for real data; complex data needs all of it.
size_t Bins(size_t nfft, const double*) { return nfft / 2 + 1; }
size_t Bins(size_t nfft, const Complex*) { return nfft; }

// The spectra of the filter columns, with the inverse transform's 1/nfft folded in. block
// is the caller's work buffer of nfft samples.
template <class T>
std::vector<Complex> FilterSpectra(FftPlan& plan, const T* b, size_t nb, size_t cols, std::vector<T>& block)
{
    const size_t nfft = plan.Size(), bins = Bins(nfft, b);
    std::vector<Complex> spectra(bins * cols);
    for (size_t c = 0; c < cols; ++c) {
        std::fill(std::copy_n(b + c * nb, std::min(nb, nfft), block.begin()), block.end(), T());
        plan.Forward(block.data(), spectra.data() + c * bins);
    }
    for (Complex& z : spectra)
        z /= static_cast<double>(nfft);
    return spectra;
}

// Adds the filtered signal x (nx samples) into y, block by block. block and spectrum are
// the caller's, sized once for all blocks and columns.
template <class T>
void OverlapAdd(FftPlan& plan, const Complex* B, const T* x, size_t nx, size_t L, T* y, std::vector<T>& block,
                std::vector<Complex>& spectrum)
{
    const size_t nfft = plan.Size(), bins = Bins(nfft, x);
    for (size_t istart = 0; istart < nx; istart += L) {
        const size_t n = std::min(L, nx - istart);
        if (n == 1) {  // one sample: its transform is the sample in every bin
            std::fill_n(spectrum.begin(), bins, Complex(x[istart]));
        } else {
            std::fill(std::copy_n(x + istart, n, block.begin()), block.end(), T());
            plan.Forward(block.data(), spectrum.data());
        }
        for (size_t k = 0; k < bins; ++k)
            spectrum[k] *= B[k];
        plan.Inverse(spectrum.data(), block.data());
        const size_t m = std::min(nfft, nx - istart);  // output beyond the signal's end is dropped
        for (size_t r = 0; r < m; ++r)
            y[istart + r] += block[r];
    }
}

// Filters every column pair: column c of the result takes column c of b and of x, or
// their only one. b and x are column-major; y is zeroed, nx by max(bCols, xCols).
template <class T>
void Filter(const T* b, size_t nb, size_t bCols, const T* x, size_t nx, size_t xCols, const FftfiltPlan& lengths,
            T* y)
{
    FftPlan plan(lengths.nfft);
    std::vector<T> block(lengths.nfft);
    const std::vector<Complex> B = FilterSpectra(plan, b, nb, bCols, block);
    const size_t bins = Bins(lengths.nfft, b);
    std::vector<Complex> spectrum(bins);
    for (size_t c = 0; c < std::max(bCols, xCols); ++c)
        OverlapAdd(plan, B.data() + (bCols == 1 ? 0 : c) * bins, x + (xCols == 1 ? 0 : c) * nx, nx, lengths.L,
                   y + c * nx, block, spectrum);
}

bool AllReal(const mwArray& a)
{
    for (double v : a.Imag())
        if (v != 0)
            return false;
    return true;
}

} // namespace

mwArray fftfilt(const Args& args)
{
    return InRoutine("fftfilt", [&] {
        if (args.size() < 2 || args.size() > 3)
            RuntimePrint(args.size() < 2 ? "Not enough input arguments.\n" : "Too many input arguments.\n");
        if (args.size() < 2)
            Error("Not enough input arguments.");
        const mwArray& bIn = args[0];
        const mwArray& xIn = args[1];
        if (!bIn.IsNumeric() || !xIn.IsNumeric())
            Error("Arguments must be numeric.");
        // A row signal is the column of its elements; so is a filter vector (or scalar).
        const bool rowSignal = xIn.Rows() == 1;
        const size_t nx = rowSignal ? xIn.Numel() : xIn.Rows(), xCols = rowSignal ? 1 : xIn.Cols();
        size_t nb = bIn.Rows(), bCols = bIn.Cols();
        if (std::min(nb, bCols) > 1) {
            if (xCols > 1 && xCols != bCols)
                Error("Filter matrix B must have same number of columns as X.");
        } else {
            nb = bIn.Numel();
            bCols = 1;
        }
        if (nb == 0 || nx == 0)
            return mwArray::Zeros(xIn.Rows(), xIn.Cols());
        const FftfiltPlan lengths = FftfiltLengths(nb, nx, args.size() >= 3 ? args[2].Scalar() : 0);
        const size_t cols = std::max(bCols, xCols);
        mwArray out;
        if (AllReal(bIn) && AllReal(xIn)) {
            // Real data: real transforms, and no imaginary residue to drop.
            out = mwArray::Zeros(nx, cols);
            Filter(bIn.Data().data(), nb, bCols, xIn.Data().data(), nx, xCols, lengths, out.Data().data());
        } else {
            const CMatrix b = ToComplex(bIn), x = ToComplex(xIn);
            CMatrix y(nx, cols);
            Filter(b.v.data(), nb, bCols, x.v.data(), nx, xCols, lengths, y.v.data());
            out = FromComplex(y, false);
        }
        if (rowSignal && cols == 1)
            out = out.Reshaped(1, nx);  // a vector's transpose keeps its element order
        return out;
    });
}

} // namespace tarsel
