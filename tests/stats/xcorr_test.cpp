// Cross-correlation, the overlap-add filter and the trial alignment measure, against
// direct sums written here.
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <limits>

#include "stats/xcorr.h"
#include "tests/stats/stats_test_util.h"

using namespace tarsel;
using stats_test::Col;
using stats_test::ErrorOf;
using stats_test::MessageIs;
using stats_test::Row;

namespace {

using C = std::complex<double>;

std::vector<C> Values(const mwArray& a)
{
    std::vector<C> v(a.Numel());
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = C(a[i], a.IsReal() ? 0.0 : a.Imag()[i]);
    return v;
}

mwArray ComplexCol(const std::vector<C>& v)
{
    mwArray a = mwArray::Zeros(v.size(), 1);
    std::vector<double> im(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        a[i] = v[i].real();
        im[i] = v[i].imag();
    }
    a.SetImag(im);
    return a;
}

// R_xy(m) = sum over n of x(n+m) conj(y(n)).
C Direct(const std::vector<C>& x, const std::vector<C>& y, long m)
{
    C s;
    for (long n = 0; n < static_cast<long>(y.size()); ++n)
        if (n + m >= 0 && n + m < static_cast<long>(x.size()))
            s += x[n + m] * std::conj(y[n]);
    return s;
}

std::vector<C> Signal(size_t n, double seed, bool complex = false)
{
    std::vector<C> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = C(std::sin(seed * (i + 1)) + 0.3 * std::cos(7.0 * i), complex ? std::cos(seed + 2.0 * i) : 0.0);
    return v;
}

mwArray RealCol(const std::vector<C>& v)
{
    std::vector<double> re;
    for (const C& z : v)
        re.push_back(z.real());
    return Col(re);
}

// The first nx samples of the convolution of b with x.
std::vector<C> Convolve(const std::vector<C>& b, const std::vector<C>& x)
{
    std::vector<C> y(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        for (size_t k = 0; k <= i && k < b.size(); ++k)
            y[i] += b[k] * x[i - k];
    return y;
}

void ExpectNear(const std::vector<C>& got, const std::vector<C>& want, double tol)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_LT(std::abs(got[i] - want[i]), tol) << "at " << i;
}

} // namespace

TEST(Fftfilt, LengthsFromTheCostTable)
{
    auto plan = FftfiltLengths(10, 1000, 0);
    EXPECT_EQ(plan.nfft, 64u);
    EXPECT_EQ(plan.L, 55u);
    plan = FftfiltLengths(1, 5000, 0);
    EXPECT_EQ(plan.nfft, 2u);
    EXPECT_EQ(plan.L, 2u);
    plan = FftfiltLengths(10, 56, 0);
    EXPECT_EQ(plan.nfft, 32u);
    EXPECT_EQ(plan.L, 23u);
    plan = FftfiltLengths(10, 1000, 5);  // raised to the filter length, then a power of two
    EXPECT_EQ(plan.nfft, 16u);
    EXPECT_EQ(plan.L, 7u);
    plan = FftfiltLengths(20, 8, 0);     // one block
    EXPECT_EQ(plan.nfft, 32u);
    EXPECT_EQ(plan.L, 8u);
}

TEST(Fftfilt, EqualsTheDirectConvolution)
{
    const auto b = Signal(10, 0.7), x = Signal(56, 1.3);
    ExpectNear(Values(fftfilt({RealCol(b), RealCol(x)})), Convolve(b, x), 1e-12);
    // A last block of one sample (L = 55) goes through the copy path.
    ExpectNear(Values(fftfilt({RealCol(b), RealCol(x), mwArray(64.0)})), Convolve(b, x), 1e-12);
    const auto bc = Signal(4, 0.4, true), xc = Signal(300, 0.9, true);
    const mwArray yc = fftfilt({ComplexCol(bc), ComplexCol(xc)});
    EXPECT_FALSE(yc.IsReal());
    ExpectNear(Values(yc), Convolve(bc, xc), 1e-11);

    const mwArray y = fftfilt({RealCol(b), RealCol(x).Transposed()});
    EXPECT_EQ(y.Rows(), 1u);
    EXPECT_TRUE(y.IsReal());
    const mwArray scaled = fftfilt({mwArray(3.0), RealCol(x)});
    for (size_t i = 0; i < x.size(); ++i)
        EXPECT_NEAR(scaled[i], 3 * x[i].real(), 1e-12);
}

// Each column of a complex signal matrix, a last block of one sample included (nfft 64
// gives blocks of 55), goes through the complex transforms.
TEST(Fftfilt, ComplexSignalColumns)
{
    const auto b = Signal(10, 0.5, true), x0 = Signal(56, 1.1, true), x1 = Signal(56, 0.2, true);
    mwArray x = mwArray::Zeros(56, 2);
    std::vector<double> im(112);
    for (size_t i = 0; i < 56; ++i) {
        x(i, 0) = x0[i].real(), im[i] = x0[i].imag();
        x(i, 1) = x1[i].real(), im[56 + i] = x1[i].imag();
    }
    x.SetImag(im);
    const std::vector<C> y = Values(fftfilt({ComplexCol(b), x, mwArray(64.0)}));
    ASSERT_EQ(y.size(), 112u);
    ExpectNear({y.begin(), y.begin() + 56}, Convolve(b, x0), 1e-11);
    ExpectNear({y.begin() + 56, y.end()}, Convolve(b, x1), 1e-11);
}

// Transforms worked by hand: [1 2 3 4] -> [10, -2+2i, -2, -2-2i] and [3 5] -> [8, -2]; the
// real transform keeps the first n/2 + 1 bins. [1 i -1 -i] -> [0 4 0 0]. Inverses are unscaled.
TEST(FftPlan, TransformsWorkedByHand)
{
    struct Case {
        std::vector<double> x;
        std::vector<C> bins;
    };
    for (const Case& c : {Case{{1, 2, 3, 4}, {10, C(-2, 2), -2}}, Case{{3, 5}, {8, -2}}}) {
        FftPlan plan(c.x.size());
        std::vector<C> bins(c.bins.size());
        std::vector<double> back(c.x.size());
        plan.Forward(c.x.data(), bins.data());
        plan.Inverse(bins.data(), back.data());
        ExpectNear(bins, c.bins, 1e-14);
        for (size_t i = 0; i < c.x.size(); ++i)
            EXPECT_NEAR(back[i], c.x.size() * c.x[i], 1e-13);
    }
    FftPlan plan(4);
    const std::vector<C> z = {1, C(0, 1), -1, C(0, -1)};
    std::vector<C> Z(4), back(4);
    plan.Forward(z.data(), Z.data());
    plan.Inverse(Z.data(), back.data());
    ExpectNear(Z, {0, 4, 0, 0}, 1e-14);
    ExpectNear(back, {4, C(0, 4), -4, C(0, -4)}, 1e-13);
}

TEST(Fftfilt, FilterMatrices)
{
    mwArray b = mwArray::Zeros(2, 3);
    b.Data() = {1, 1, 1, -1, 2, 0};
    const mwArray x = Col({1, 2, 3, 4});
    const mwArray y = fftfilt({b, x});
    ASSERT_EQ(y.Cols(), 3u);
    EXPECT_NEAR(y(3, 1), 4 - 3, 1e-12);  // column 2: x(n) - x(n-1)
    EXPECT_NEAR(y(3, 2), 8, 1e-12);
    EXPECT_TRUE(MessageIs(ErrorOf([&] { fftfilt({b, mwArray::Zeros(4, 2)}); }),
                          "Filter matrix B must have same number of columns as X."));
}

TEST(Fftfilt, TransformLengthBeyondMemoryIsTheRuntimesAllocationFailure)
{
    const mwArray b = Col({1, 2}), x = Col({1, 2, 3, 4});
    // 1e9 rounds to 2^30, beyond the library's arrays; 1e18 to 2^60, beyond any array;
    // 9.3e18 and more do not even fit a size.
    for (double nfft : {1e9, 1e18, 9.3e18, 1e300, std::numeric_limits<double>::infinity()}) {
        bool badAlloc = false;
        try {
            fftfilt({b, x, mwArray(nfft)});
        } catch (const mwBadAlloc& e) {
            badAlloc = std::string(e.what()) == "A memory allocation request failed.";
        } catch (...) {
        }
        EXPECT_TRUE(badAlloc) << nfft;
    }
}

TEST(Xcorr, AgreesWithTheDefinitionOnEveryPath)
{
    const auto x = Signal(10, 0.8);
    mwArray lags;
    mwArray c = xcorr({RealCol(x)}, &lags);
    ASSERT_EQ(c.Numel(), 19u);
    EXPECT_EQ(lags.Rows(), 1u);
    EXPECT_EQ(lags[0], -9);
    for (long m = -9; m <= 9; ++m)
        EXPECT_NEAR(c[m + 9], Direct(x, x, m).real(), 1e-12);

    // Lengths 10 and 100 take one transform, 10 and 101 the filter; lags the shorter
    // signal cannot reach are 0.
    for (size_t ly : {100u, 101u}) {
        SCOPED_TRACE(ly);
        const auto y = Signal(ly, 1.7);
        c = xcorr({RealCol(x), RealCol(y)}, &lags);
        const long maxlag = static_cast<long>(ly) - 1;
        ASSERT_EQ(c.Numel(), static_cast<size_t>(2 * maxlag + 1));
        for (long m = -maxlag; m <= maxlag; ++m)
            EXPECT_NEAR(c[m + maxlag], Direct(x, y, m).real(), 1e-11) << m;
        EXPECT_EQ(c[2 * maxlag], ly == 101 ? 0.0 : c[2 * maxlag]);  // exactly 0 through the filter
    }
    const auto xc = Signal(12, 0.3, true), yc = Signal(12, 0.6, true);
    c = xcorr({ComplexCol(xc), ComplexCol(yc), mwArray(14.0)});
    EXPECT_FALSE(c.IsReal());
    for (long m = -14; m <= 14; ++m)
        EXPECT_LT(std::abs(Values(c)[m + 14] - Direct(xc, yc, m)), 1e-11);
    EXPECT_EQ(c[0], 0.0);  // |lag| >= M is exactly 0
}

TEST(Xcorr, ScalingsOrientationAndMatrices)
{
    const auto x = Signal(8, 1.1);
    const mwArray row = RealCol(x).Transposed();
    mwArray c = xcorr({row, mwArray(3.0), mwArray::Text("COE")});
    EXPECT_EQ(c.Rows(), 1u);
    EXPECT_EQ(c[3], 1.0);
    c = xcorr({row, mwArray(9.0), mwArray::Text("u")});
    EXPECT_EQ(c[0], 0.0);
    EXPECT_NEAR(c[9 + 2], Direct(x, x, 2).real() / 6, 1e-12);
    c = xcorr({row, mwArray(2.0), mwArray::Text("biased")});
    EXPECT_NEAR(c[2 + 1], Direct(x, x, 1).real() / 8, 1e-12);

    // A matrix: every ordered column pair, conj-symmetric, "coeff" 1 on the autocorrelations.
    mwArray m = mwArray::Zeros(5, 2);
    m.Data() = {1, 2, 0, 3, 1, 2, 0, 1, 1, 4};
    c = xcorr({m, mwArray(2.0), mwArray::Text("coeff")});
    ASSERT_EQ(c.Cols(), 4u);
    EXPECT_NEAR(c(2, 0), 1.0, 1e-15);
    EXPECT_NEAR(c(2, 3), 1.0, 1e-15);
    EXPECT_NEAR(c(0, 1), c(4, 2), 1e-12);
    EXPECT_NEAR(c(2, 1), 9.0 / std::sqrt(15.0 * 22.0), 1e-12);
    // A zero signal with "coeff": NaN, not an error.
    EXPECT_TRUE(std::isnan(xcorr({Col({0, 0, 0}), mwArray(0.0), mwArray::Text("c")})[0]));
}

TEST(Xcorr, ArgumentFaults)
{
    const mwArray x = Col({1, 2, 3, 4}), X = mwArray::Zeros(4, 2);
    auto fault = [](const Args& a) { return ErrorOf([&] { xcorr(a); }); };
    EXPECT_TRUE(MessageIs(fault({x, mwArray::Text("coefficient")}), "Input argument is not recognized."));
    EXPECT_TRUE(MessageIs(fault({x, mwArray::Text("biased"), mwArray(5.0)}), "Input argument is not recognized."));
    EXPECT_TRUE(MessageIs(fault({x, mwArray(), mwArray::Text("coeff")}), "B must be a vector (min(size(B))==1)."));
    EXPECT_TRUE(MessageIs(fault({x, mwArray::Zeros(2, 2)}), "B must be a vector (min(size(B))==1)."));
    EXPECT_TRUE(MessageIs(fault({X, Col({1, 2})}), "When B is a vector, A must be a vector."));
    EXPECT_TRUE(MessageIs(fault({x, Row({1, 2}), Row({3, 4})}), "Maximum lag must be a scalar."));
    EXPECT_TRUE(MessageIs(fault({x, mwArray(2.5)}), "Maximum lag must be an integer."));
    EXPECT_TRUE(MessageIs(fault({x, Col({1, 2}), mwArray::Text("biased")}),
                          "Scale option must be 'none' for different length vectors A and B."));
    EXPECT_NE(fault({x, x, mwArray(1.0), mwArray::Text("n"), mwArray(1.0)}), "");

    XcorrArgs a = parseinput(x, {mwArray(-5.0)});
    EXPECT_EQ(a.maxlag, 5);
    a = parseinput(x, {mwArray(3.0), mwArray(5.0)});
    EXPECT_FALSE(a.autoFlag);
    EXPECT_EQ(a.maxlag, 5);
    a = parseinput(x, {Col({1, 2, 3, 4, 5, 6})});
    EXPECT_EQ(a.maxlag, 5);
    EXPECT_EQ(a.scaleType, "none");
    a = parseinput(X, {mwArray(0.0), mwArray::Text("coeff")});
    EXPECT_TRUE(a.xIsMatrix && a.autoFlag);
    EXPECT_EQ(a.scaleType, "coeff");
}

TEST(AllTrialsXcorr, HistogramAgreement)
{
    auto trials = [](std::vector<std::vector<double>> spikes) {
        mwArray c = mwArray::Cells(1, spikes.size());
        for (size_t i = 0; i < spikes.size(); ++i)
            if (!spikes[i].empty())
                c.Cell(i) = Col(spikes[i]);
        return c;
    };
    // Reference times 10 and 95 moved by 10 with period 100 become 20 and 5.
    const mwArray ref = Row({10, 95});
    const mwArray same = trials({{20, 50, 320}, {5, 35, 305}});
    EXPECT_NEAR(alltrialsxcorr(mwArray(10.0), mwArray(100.0), ref, same)[0], 0.0, 1e-12);
    const mwArray disjoint = trials({{20, 25}, {105}});
    EXPECT_NEAR(alltrialsxcorr(mwArray(10.0), mwArray(100.0), ref, disjoint)[0], 0.5, 1e-12);
    // Times at 0 and 300 after the reference count; 300.5 and negative ones do not.
    const mwArray edges = trials({{20, 320}, {5, 305, 305.5, 4}});
    EXPECT_NEAR(alltrialsxcorr(mwArray(10.0), mwArray(100.0), ref, edges)[0], 0.0, 1e-12);
    EXPECT_NEAR(alltrialsxcorr(mwArray(0.0), mwArray(1.0), Row({0.0}), trials({{3}}))[0], 0.0, 1e-12);
    EXPECT_TRUE(std::isnan(alltrialsxcorr(mwArray(0.0), mwArray(1.0), ref, trials({{3}, {}}))[0]));
    EXPECT_EQ(ref[1], 95);  // the caller's arrays are untouched
    EXPECT_EQ(same.Cell(0)[0], 20);
}
