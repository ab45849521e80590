// The F, chi-square and gamma distributions against closed forms worked out by hand.
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "stats/distributions.h"
#include "tests/stats/stats_test_util.h"

using namespace tarsel;
using stats_test::Col;
using stats_test::ErrorOf;
using stats_test::Row;

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kGrid[] = {1e-6, 0.01, 0.1, 0.35, 0.5, 1, 1.7, 2.5, 4, 7.91137, 12, 28.96769, 60, 150};

double F(double x, double v1, double v2) { return fcdf(mwArray(x), mwArray(v1), mwArray(v2))[0]; }
double Chi2(double x, double v) { return chi2cdf(mwArray(x), mwArray(v))[0]; }
double Gam(double x, double a, double b) { return gamcdf(mwArray(x), mwArray(a), mwArray(b))[0]; }

// P(X <= x) of a gamma with whole shape k: 1 - e^(-z) sum_{i<k} z^i / i!, z = x/b.
double GammaWholeShape(double x, int k, double b)
{
    const double z = x / b;
    double term = 1, sum = 0;
    for (int i = 0; i < k; ++i) {
        sum += term;
        term *= z / (i + 1);
    }
    return 1 - std::exp(-z) * sum;
}

} // namespace

TEST(Distributions, FAgainstClosedForms)
{
    for (double x : kGrid) {
        SCOPED_TRACE(x);
        // F(1, n) is the square of Student's t: t with 1 d.f. is Cauchy, with 2 d.f. s/sqrt(2+s^2).
        EXPECT_NEAR(F(x, 1, 1), 2 / M_PI * std::atan(std::sqrt(x)), 1e-13);
        EXPECT_NEAR(F(x, 1, 2), std::sqrt(x) / std::sqrt(2 + x), 1e-13);
        // I_z(1, b) = 1 - (1-z)^b and I_z(a, 1) = z^a.
        for (double n : {1.0, 3.0, 7.0, 27.0})
            EXPECT_NEAR(F(x, 2, n), 1 - std::pow(1 + 2 * x / n, -n / 2), 1e-13);
        for (double v1 : {3.0, 5.0, 8.0})
            EXPECT_NEAR(F(x, v1, 2), std::pow(v1 * x / (v1 * x + 2), v1 / 2), 1e-13);
        // Infinite degrees of freedom go through the chi-square limits.
        EXPECT_NEAR(F(x, 2, kInf), 1 - std::exp(-x), 1e-13);
        EXPECT_NEAR(F(x, 4, kInf), 1 - std::exp(-2 * x) * (1 + 2 * x), 1e-13);
        EXPECT_NEAR(F(x, kInf, 2), std::exp(-1 / x), 1e-13);
        EXPECT_EQ(F(x, kInf, kInf), x >= 1 ? 1.0 : 0.0);
    }
}

TEST(Distributions, ChiSquareAndGammaAgainstClosedForms)
{
    for (double x : kGrid) {
        SCOPED_TRACE(x);
        EXPECT_NEAR(Chi2(x, 2), 1 - std::exp(-x / 2), 1e-14);
        EXPECT_NEAR(Chi2(x, 4), 1 - std::exp(-x / 2) * (1 + x / 2), 1e-14);
        EXPECT_NEAR(Chi2(x, 1), std::erf(std::sqrt(x / 2)), 1e-14);
        for (int k : {1, 2, 5, 12})
            for (double b : {0.5, 1.0, 3.0})
                EXPECT_NEAR(Gam(x, k, b), GammaWholeShape(x, k, b), 1e-13);
        EXPECT_NEAR(Gam(x, 0.5, 1), std::erf(std::sqrt(x)), 1e-14);
        EXPECT_EQ(gamcdf(Args{mwArray(x), mwArray(3.0)})[0], Gam(x, 3, 1));  // b defaults to 1
    }
}

TEST(Distributions, DomainRulesGiveNaNOrZeroNotErrors)
{
    EXPECT_EQ(F(0, 3, 4), 0.0);
    EXPECT_EQ(F(-2, 3, 4), 0.0);
    EXPECT_TRUE(std::isnan(F(kNaN, 3, 4)));
    EXPECT_TRUE(std::isnan(F(2, 0, 4)));
    EXPECT_TRUE(std::isnan(F(-1, 3, -1)));
    EXPECT_TRUE(std::isnan(F(2, -kInf, 4)));
    EXPECT_EQ(F(2, kNaN, 4), 0.0);  // NaN degrees of freedom select no case
    EXPECT_EQ(F(2, 3, kNaN), 0.0);
    EXPECT_EQ(F(-1, kInf, kInf), 0.0);
    EXPECT_EQ(F(kInf, 3, 4), 1.0);  // the limit, so an infinite F has probability 0 above it
    EXPECT_TRUE(std::isnan(Chi2(3, 0)));
    EXPECT_TRUE(std::isnan(Gam(3, -1, 1)));
    EXPECT_TRUE(std::isnan(Gam(3, 1, 0)));
    EXPECT_EQ(Gam(0, 2, 1), 0.0);
    EXPECT_EQ(Gam(kInf, 2, 1), 1.0);
    EXPECT_LE(Gam(1e300, 1e-3, 1), 1.0);
}

TEST(Distributions, HugeArgumentsAreOneOnlyWhenSomethingIsNotFinite)
{
    // A NaN elsewhere in a vector call makes every x >= sqrt(realmax) give 1, even one
    // whose own shape is invalid.
    mwArray p = gamcdf(Row({1e155, 1e155, 1}), Row({-1, 2, 2}), mwArray(1.0));
    EXPECT_EQ(p[0], 1.0);
    EXPECT_EQ(p[1], 1.0);
    EXPECT_NEAR(p[2], GammaWholeShape(1, 2, 1), 1e-14);
    // In a matrix the overwrite needs a non-finite element in every column.
    mwArray x = mwArray::Zeros(2, 2), a = mwArray::Zeros(2, 2);
    x.Data() = {1e155, 1, 1e155, 1};
    a.Data() = {-1, 2, 2, 2};
    p = gamcdf(x, a, mwArray(1.0));
    EXPECT_TRUE(std::isnan(p[0]));
    a.Data() = {-1, 2, -1, 2};
    p = gamcdf(x, a, mwArray(1.0));
    EXPECT_EQ(p[0], 1.0);
    EXPECT_EQ(p[2], 1.0);
}

TEST(Distributions, ScalarExpansionAndSizeMessages)
{
    mwArray p = fcdf(mwArray(2.0), Row({1, 2}), Row({3, 4}));
    ASSERT_EQ(p.Cols(), 2u);
    EXPECT_NEAR(p[1], 1 - std::pow(1 + 2 * 2.0 / 4, -2.0), 1e-14);
    const std::string size = "Requires non-scalar arguments to match in size.";
    EXPECT_EQ(ErrorOf([] { fcdf(Row({1, 2}), Row({1, 2, 3}), mwArray(4.0)); }), size);
    EXPECT_EQ(ErrorOf([] { fcdf(Row({1, 2, 3}), Col({1, 2, 3}), mwArray(4.0)); }), size);
    EXPECT_EQ(ErrorOf([] { chi2cdf(Row({1, 2}), Row({1, 2, 3})); }), size);
    EXPECT_EQ(ErrorOf([] { gamcdf(Row({1, 2}), Col({1, 2}), mwArray(1.0)); }), size);
    EXPECT_EQ(ErrorOf([] { fcdf(Args{mwArray(1.0), Row({1, 2, 3})}); }), "Requires three input arguments.");
    EXPECT_EQ(ErrorOf([] { chi2cdf(Args{mwArray(1.0)}); }), "Requires two input arguments.");
    EXPECT_EQ(ErrorOf([] { gamcdf(Args{mwArray(1.0)}); }), "Requires at least two input arguments.");
    p = fcdf(mwArray::Zeros(0, 0), mwArray(1.0), mwArray(2.0));
    EXPECT_TRUE(p.IsEmpty());
}

TEST(Distributions, DistchckExpandsScalarsAndStopsAtAMismatch)
{
    std::vector<mwArray> a{mwArray(1.0), mwArray(2.0)};
    EXPECT_EQ(distchck(2, a), 0);
    EXPECT_TRUE(a[0].IsScalar() && a[1].IsScalar());
    a = {mwArray(5.0), Row({1, 2, 3}), Col({1, 2})};
    EXPECT_EQ(distchck(3, a), 1);
    EXPECT_EQ(a[0].Cols(), 3u);   // expanded before the mismatch
    EXPECT_EQ(a[2].Rows(), 2u);   // left as given
    a = {Row({1, 2}), Row({1, 2, 3})};
    EXPECT_EQ(distchck(1, a), 0);
    EXPECT_EQ(a[0].Cols(), 2u);
    EXPECT_TRUE(a[1].IsEmpty());
}
