// Auto- and cross-correlation sequences by FFT, with four scalings.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "stats/xcorr.h"

namespace tarsel {

namespace {

const char kErrMsg[] = "Input argument is not recognized.";
const char* const kScaleOpts[] = {"biased", "unbiased", "coeff", "none"};

std::string Lower(std::string s)
{
    for (char& ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

// parse_maxlag: the default, the magnitude, and the checks.
std::string ParseMaxlag(const mwArray* maxlag, size_t m, double& out)
{
    if (!maxlag || maxlag->IsEmpty()) {
        out = static_cast<double>(m) - 1;
        return "";
    }
    if (maxlag->Numel() > 1)
        return "Maximum lag must be a scalar.";
    if (!maxlag->IsNumeric())
        return kErrMsg;
    out = std::fabs((*maxlag)[0]);
    if (out != std::round(out))
        return "Maximum lag must be an integer.";
    return "";
}

// parse_scaleType: prefix match, case ignored, and the rule for vectors of other lengths.
std::string ParseScaleType(const mwArray* scale, bool autoFlag, size_t m, const Args& extra, std::string& out)
{
    if (!scale || scale->IsEmpty()) {
        out = "none";
        return "";
    }
    if (!scale->IsChar())
        return kErrMsg;
    const std::string word = Lower(scale->Chars());
    out.clear();
    for (const char* opt : kScaleOpts)
        if (std::string(opt).compare(0, word.size(), word) == 0 && word.size() <= std::string(opt).size()) {
            out = opt;
            break;
        }
    if (out.empty())
        return kErrMsg;
    if (!autoFlag && out != "none" && extra[0].Length() != m)
        return "Scale option must be 'none' for different length vectors A and B.";
    return "";
}

// Raw correlation of every ordered pair of columns, in FFT order.
CMatrix MatrixCorr(const CMatrix& x, size_t& M, size_t& N)
{
    M = x.rows;
    N = x.cols;
    const size_t nfft = size_t(1) << Nextpow2(2.0 * M - 1);
    const CMatrix X = Fft(x, nfft);
    CMatrix C(nfft, N * N);
    for (size_t n = 0; n < N; ++n)
        for (size_t k = 0; k < N; ++k)
            for (size_t r = 0; r < nfft; ++r)
                C(r, n * N + k) = X(r, n) * std::conj(X(r, k));
    return Fft(C, nfft, true);
}

CMatrix Column(const mwArray& a)
{
    CMatrix c = ToComplex(a);
    c.rows = c.v.size();
    c.cols = 1;
    return c;
}

CMatrix Flipud(CMatrix c)
{
    std::reverse(c.v.begin(), c.v.end());
    return c;
}

CMatrix Conj(CMatrix c)
{
    for (Complex& z : c.v)
        z = std::conj(z);
    return c;
}

mwArray ToArray(const CMatrix& c)
{
    return FromComplex(c, false);
}

CMatrix VectorXcorr(const CMatrix& xIn, bool autoFlag, const Args& extra, size_t& M)
{
    CMatrix x = xIn;
    x.rows = x.v.size();
    x.cols = 1;
    M = x.rows;
    if (autoFlag) {
        CMatrix X = Fft(x, size_t(1) << Nextpow2(2.0 * M - 1));
        for (Complex& z : X.v)
            z = std::norm(z);
        return Fft(X, X.rows, true);
    }
    CMatrix y = Column(extra[0]);
    const size_t L = y.rows, Mcached = M;
    M = std::max(Mcached, L);
    if (L == 0 || Mcached == 0)  // nothing to correlate: every lag is 0
        return CMatrix(M > 0 ? 2 * M - 1 : 1, 1);
    const double ratio = static_cast<double>(L) / static_cast<double>(Mcached);
    if (L != Mcached && (ratio > 10 || 1 / ratio > 10)) {
        const CMatrix negC = Conj(ToComplex(fftfilt({ToArray(Conj(x)), ToArray(Flipud(y))})));
        const CMatrix posC = Flipud(ToComplex(fftfilt({ToArray(Conj(y)), ToArray(Flipud(x))})));
        const size_t lneg = negC.v.size(), lpos = posC.v.size();
        CMatrix c(2 * M - 1, 1);
        // Lags 0 .. M-1, padded; then lags -(M-1) .. -1 (lag 0 of neg_c dropped).
        std::copy(posC.v.begin(), posC.v.end(), c.v.begin());
        const size_t negStart = M + (lpos > lneg ? lpos - lneg : 0);
        std::copy(negC.v.begin(), negC.v.end() - 1, c.v.begin() + negStart);
        return c;
    }
    if (L > Mcached)
        x.v.resize(M), x.rows = M;
    else
        y.v.resize(M), y.rows = M;
    const size_t nfft = size_t(1) << Nextpow2(2.0 * M - 1);
    CMatrix X = Fft(x, nfft);
    const CMatrix Y = Fft(y, nfft);
    for (size_t r = 0; r < nfft; ++r)
        X.v[r] *= std::conj(Y.v[r]);
    return Fft(X, nfft, true);
}

void ScaleXcorr(CMatrix& c, const XcorrArgs& a, size_t M, const CMatrix& x, const Args& extra)
{
    const std::string& s = a.scaleType;
    const auto maxlag = static_cast<size_t>(a.maxlag);
    if (s == "biased") {
        for (Complex& z : c.v)
            z /= static_cast<double>(M);
    } else if (s == "unbiased") {
        for (size_t r = 0; r < c.rows; ++r) {
            double scale = static_cast<double>(M) - std::fabs(static_cast<double>(r) - a.maxlag);
            if (scale <= 0)
                scale = 1;
            for (size_t k = 0; k < c.cols; ++k)
                c(r, k) /= scale;
        }
    } else if (s == "coeff") {
        if (!a.autoFlag) {
            double cxx0 = 0, cyy0 = 0;
            for (const Complex& z : x.v)
                cxx0 += std::norm(z);
            for (const Complex& z : ToComplex(extra[0]).v)
                cyy0 += std::norm(z);
            const double scale = std::sqrt(cxx0 * cyy0);
            for (Complex& z : c.v)
                z /= scale;
        } else if (!a.xIsMatrix) {
            const Complex lag0 = c.v[maxlag];
            for (Complex& z : c.v)
                z /= lag0;
        } else {
            const size_t N = static_cast<size_t>(std::lround(std::sqrt(static_cast<double>(c.cols))));
            std::vector<Complex> root(N);
            for (size_t n = 0; n < N; ++n)
                root[n] = std::sqrt(c(maxlag, n * N + n));
            for (size_t n = 0; n < N; ++n)
                for (size_t k = 0; k < N; ++k)
                    for (size_t r = 0; r < c.rows; ++r)
                        c(r, n * N + k) /= root[n] * root[k];
        }
    }
}

} // namespace

XcorrArgs parseinput(const mwArray& x, const Args& extra)
{
    XcorrArgs a;
    const mwArray *y = nullptr, *maxlag = nullptr, *scale = nullptr;
    const size_t n = extra.size() + 1;
    if (n == 2) {
        if (extra[0].IsChar())
            scale = &extra[0];
        else if (extra[0].IsNumeric() && extra[0].Length() == 1)
            maxlag = &extra[0];
        else if (extra[0].IsNumeric())
            a.autoFlag = false, y = &extra[0];
        else
            return a.msg = kErrMsg, a;
    } else if (n == 3) {
        bool maxlagflag = false;
        if (extra[1].IsChar())
            scale = &extra[1];
        else if (extra[1].IsNumeric())
            maxlagflag = true, maxlag = &extra[1];
        else
            return a.msg = kErrMsg, a;
        if (!extra[0].IsNumeric())
            return a.msg = kErrMsg, a;
        if (maxlagflag || extra[0].Length() != 1)
            a.autoFlag = false, y = &extra[0];
        else
            maxlag = &extra[0];
    } else if (n == 4) {
        a.autoFlag = false;
        y = &extra[0];
        maxlag = &extra[1];
        scale = &extra[2];
    }
    a.xIsMatrix = x.Cols() > 1;
    const size_t m = x.Rows();
    mwArray widened;
    if (!a.autoFlag) {
        if (y->Rows() != 1 && y->Cols() != 1)
            return a.msg = "B must be a vector (min(size(B))==1).", a;
        if (a.xIsMatrix)
            return a.msg = "When B is a vector, A must be a vector.", a;
        if (y->Length() > m && (!maxlag || maxlag->IsEmpty())) {
            widened = mwArray(static_cast<double>(y->Length()) - 1);
            maxlag = &widened;
        }
    }
    if (!(a.msg = ParseMaxlag(maxlag, m, a.maxlag)).empty())
        return a;
    a.msg = ParseScaleType(scale, a.autoFlag, m, extra, a.scaleType);
    return a;
}

mwArray xcorr(const Args& args, mwArray* lagsOut)
{
    return InRoutine("xcorr", [&] {
        if (args.empty())
            Error("Not enough input arguments.");
        if (args.size() > 4)
            Error("Too many input arguments.");
        const bool shifted = args[0].Rows() == 1 && args[0].Cols() != 1;
        const mwArray x = shifted ? args[0].Transposed() : args[0];
        const Args extra(args.begin() + 1, args.end());
        const XcorrArgs a = parseinput(x, extra);
        if (!a.msg.empty())
            Error(a.msg);
        if (a.maxlag > (1 << 28))
            throw mwBadAlloc();
        if (a.maxlag < 0) {  // an empty signal: no lags at all
            if (lagsOut)
                *lagsOut = mwArray::Zeros(1, 0);
            return mwArray::Zeros(0, x.Cols() > 1 ? x.Cols() * x.Cols() : 1);
        }
        const auto maxlag = static_cast<size_t>(a.maxlag);

        const CMatrix xc = ToComplex(x);
        size_t M = 0, N = 1;
        CMatrix raw = a.xIsMatrix ? MatrixCorr(xc, M, N) : VectorXcorr(xc, a.autoFlag, extra, M);
        // forceRealCorr: a real x correlated with itself or with a real y is real.
        const bool forceReal = x.IsReal() && (a.autoFlag || extra[0].IsReal());
        if (forceReal)
            for (Complex& z : raw.v)
                z = z.real();

        // From FFT order to lags -maxlag .. maxlag.
        const size_t rows = 2 * maxlag + 1;
        CMatrix c(rows, raw.cols);
        for (size_t i = 0; i < rows; ++i) {
            const long lag = static_cast<long>(i) - static_cast<long>(maxlag);
            if (lag >= static_cast<long>(M) || -lag >= static_cast<long>(M))
                continue;  // beyond the signals' reach: 0
            const size_t from = lag >= 0 ? static_cast<size_t>(lag) : raw.rows - static_cast<size_t>(-lag);
            for (size_t k = 0; k < raw.cols; ++k)
                c(i, k) = raw(from, k);
        }
        ScaleXcorr(c, a, M, xc, extra);

        if (lagsOut) {
            *lagsOut = mwArray::Zeros(1, rows);
            for (size_t i = 0; i < rows; ++i)
                (*lagsOut)[i] = static_cast<double>(i) - a.maxlag;
        }
        mwArray out = FromComplex(c, forceReal);
        return shifted ? out.Transposed() : out;
    });
}

} // namespace tarsel
