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

mwArray fftfilt(const Args& args)
{
    return InRoutine("fftfilt", [&] {
        if (args.size() < 2 || args.size() > 3)
            RuntimePrint(args.size() < 2 ? "Not enough input arguments.\n" : "Too many input arguments.\n");
        if (args.size() < 2)
            Error("Not enough input arguments.");
        const mwArray& bIn = args[0];
        const mwArray& xIn = args[1];
        const bool rowSignal = xIn.Rows() == 1;
        CMatrix x = ToComplex(rowSignal ? xIn.Reshaped(xIn.Numel(), 1) : xIn);
        CMatrix b = ToComplex(bIn);
        if (std::min(b.rows, b.cols) > 1) {
            if (x.cols > 1 && x.cols != b.cols)
                Error("Filter matrix B must have same number of columns as X.");
        } else {
            b.rows = b.v.size();
            b.cols = 1;
        }
        const size_t nb = b.rows, nx = x.rows;
        if (nb == 0 || nx == 0)
            return mwArray::Zeros(xIn.Rows(), xIn.Cols());
        const FftfiltPlan plan = FftfiltLengths(nb, nx, args.size() >= 3 ? args[2].Scalar() : 0);
        const size_t nfft = plan.nfft, L = plan.L;

        const CMatrix B = Fft(b, nfft);
        const size_t ncols = std::max(b.cols, x.cols);
        CMatrix y(nx, ncols);
        for (size_t istart = 0; istart < nx; istart += L) {
            const size_t iend = std::min(istart + L, nx);  // one past the block's last sample
            CMatrix block(iend - istart, x.cols);
            for (size_t c = 0; c < x.cols; ++c)
                for (size_t r = istart; r < iend; ++r)
                    block(r - istart, c) = x(r, c);
            CMatrix X;
            if (iend - istart == 1) {  // one sample: its transform is the sample in every row
                X = CMatrix(nfft, x.cols);
                for (size_t c = 0; c < x.cols; ++c)
                    std::fill_n(X.v.begin() + c * nfft, nfft, block(0, c));
            } else {
                X = Fft(block, nfft);
            }
            CMatrix prod(nfft, ncols);
            for (size_t c = 0; c < ncols; ++c)
                for (size_t r = 0; r < nfft; ++r)
                    prod(r, c) = X(r, x.cols == 1 ? 0 : c) * B(r, b.cols == 1 ? 0 : c);
            const CMatrix Y = Fft(prod, nfft, true);
            const size_t yend = std::min(nx, istart + nfft);
            for (size_t c = 0; c < ncols; ++c)
                for (size_t r = istart; r < yend; ++r)
                    y(r, c) += Y(r - istart, c);
        }
        const auto allReal = [](const mwArray& a) {
            for (double v : a.Imag())
                if (v != 0)
                    return false;
            return true;
        };
        const bool real = allReal(bIn) && allReal(xIn);
        mwArray out = FromComplex(y, real);
        if (rowSignal && out.Cols() == 1)
            out = out.Transposed();
        return out;
    });
}

} // namespace tarsel
