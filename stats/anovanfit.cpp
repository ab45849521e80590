// Least-squares fits of the analysis: a pivoted QR decomposition and a fixed rank tolerance.
#include <cmath>
#include <limits>

#include "stats/anovan.h"
#include "stats/linalg.h"

namespace tarsel {

namespace {

// An absolute tolerance on |diag(r)|: 100 eps per design column.
double Tolerance(size_t ncols)
{
    return 100 * std::ldexp(1.0, -52) * static_cast<double>(ncols);
}

// Numerical rank: the diagonal entries of r above the tolerance.
size_t Rank(const mwArray& r, double tol)
{
    if (r.Cols() <= 1)
        return std::fabs(r.Scalar()) > tol ? 1 : 0;
    const size_t m = std::min(r.Rows(), r.Cols());
    size_t p = 0;
    for (size_t i = 0; i < m; ++i)
        p += std::fabs(r(i, i)) > tol;
    return p;
}

} // namespace

Fit anovanfit(mwArray dmat, const mwArray& y)
{
    return InRoutine("myanovan/anovanfit", [&] {
        const size_t ncols = dmat.Cols();
        const PivotedQr qr = QrPivoted(std::move(dmat), y);
        const size_t p = Rank(qr.r, Tolerance(ncols));
        Fit fit;
        for (size_t i = 0; i < p; ++i)
            fit.ssx += qr.qty[i] * qr.qty[i];
        fit.dfx = static_cast<double>(p);
        return fit;
    });
}

InitFit initfit(mwArray dmat, const mwArray& y, const mwArray& termname, double sst, double mu)
{
    return InRoutine("myanovan/initfit", [&] {
        const size_t ncols = dmat.Cols();
        const PivotedQr qr = QrPivoted(std::move(dmat), y);
        const size_t p = Rank(qr.r, Tolerance(ncols));
        InitFit out;
        std::vector<double> yy(qr.qty.begin(), qr.qty.begin() + p);
        for (double v : yy)
            out.ssx += v * v;
        out.dfx = static_cast<double>(p);
        const size_t n = y.Length();

        out.dmat2 = mwArray::Zeros(p, ncols);
        for (size_t c = 0; c < ncols; ++c)
            for (size_t r = 0; r < p; ++r)
                out.dmat2(r, c) = qr.r(r, c);
        yy.resize(std::min(p, n));
        out.y2 = mwArray::Column(yy);
        out.termname2 = mwArray::Zeros(1, ncols);
        for (size_t c = 0; c < ncols; ++c)
            out.termname2[c] = termname[static_cast<size_t>(qr.perm[c]) - 1];
        if (termname.Cols() == 1)
            out.termname2 = out.termname2.Transposed();

        AnovanStats& s = out.stats;
        s.source = "anovan";
        const mwArray coeffs = Mldivide(out.dmat2, out.y2);
        s.coeffs = mwArray::Filled(ncols, 1, std::numeric_limits<double>::quiet_NaN());
        for (size_t k = 0; k < coeffs.Numel(); ++k)
            s.coeffs[static_cast<size_t>(qr.perm[k]) - 1] = coeffs[k];
        if (ncols > 0)
            s.coeffs[0] += mu;
        mwArray rr = mwArray::Zeros(p, ncols);
        for (size_t k = 0; k < ncols; ++k)
            for (size_t r = 0; r < p; ++r)
                rr(r, static_cast<size_t>(qr.perm[k]) - 1) = out.dmat2(r, k);
        s.Rtr = rr.Transposed();
        s.dfe = static_cast<double>(n) - out.dfx;
        s.mse = (sst - out.ssx) / std::max(1.0, s.dfe);
        s.permvec = mwArray::Zeros(1, ncols);
        s.permvec.Data() = qr.perm;
        return out;
    });
}

} // namespace tarsel
