#include "stats/linalg.h"

#include <Eigen/QR>
#include <cmath>

namespace tarsel {

namespace {

using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic>;
using MatrixMap = Eigen::Map<const Matrix>;

// Eigen must not meet NaN or infinity: its pivoting and rank decisions assume finite data.
void CheckFinite(const mwArray& a)
{
    for (double v : a.Data())
        if (!std::isfinite(v))
            Error("Matrix must not contain NaN or Inf.");
}

void CheckNumeric(const mwArray& a)
{
    if (!a.IsNumeric())
        Error("Arguments must be numeric.");
}

} // namespace

PivotedQr QrPivoted(mwArray a, const mwArray& y)
{
    CheckNumeric(a);
    CheckNumeric(y);
    if (y.Numel() != a.Rows())
        Error("Inner matrix dimensions must agree.");
    CheckFinite(a);
    CheckFinite(y);
    const Eigen::Index n = a.Rows(), k = a.Cols(), m = std::min(n, k);
    Eigen::Map<Matrix> storage(a.Data().data(), n, k);
    Eigen::ColPivHouseholderQR<Eigen::Ref<Matrix>> qr(storage);

    PivotedQr out;
    out.r = mwArray::Zeros(m, k);
    const auto& packed = qr.matrixQR();  // a view of our storage, not a copy
    for (Eigen::Index c = 0; c < k; ++c)
        for (Eigen::Index r = 0; r <= std::min(c, m - 1); ++r)
            out.r(r, c) = packed(r, c);
    const auto& indices = qr.colsPermutation().indices();
    out.perm.resize(k);
    for (Eigen::Index c = 0; c < k; ++c)
        out.perm[c] = indices(c) + 1.0;

    Eigen::VectorXd qty = Eigen::Map<const Eigen::VectorXd>(y.Data().data(), n);
    qty.applyOnTheLeft(qr.householderQ().adjoint());  // every reflector, whatever Eigen's own rank
    out.qty.assign(qty.data(), qty.data() + m);
    return out;
}

mwArray Mldivide(const mwArray& a, const mwArray& b)
{
    CheckNumeric(a);
    CheckNumeric(b);
    if (a.Rows() != b.Rows())
        Error("Matrix dimensions must agree.");
    CheckFinite(a);
    CheckFinite(b);
    mwArray x = mwArray::Zeros(a.Cols(), b.Cols());
    if (a.IsEmpty() || b.IsEmpty())
        return x;
    Eigen::ColPivHouseholderQR<Matrix> qr(MatrixMap(a.Data().data(), a.Rows(), a.Cols()));
    Matrix sol = qr.solve(MatrixMap(b.Data().data(), b.Rows(), b.Cols()));
    for (Eigen::Index c = 0; c < sol.cols(); ++c)
        for (Eigen::Index r = 0; r < sol.rows(); ++r)
            x(r, c) = sol(r, c);
    return x;
}

} // namespace tarsel
