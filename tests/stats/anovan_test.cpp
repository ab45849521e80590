// The n-way analysis of variance: checks and messages, table layout, and the sums of
// squares of an unbalanced design against an independent least-squares computation.
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

#include "stats/anovan.h"
#include "tests/stats/stats_test_util.h"

using namespace tarsel;
using stats_test::Col;
using stats_test::ErrorOf;
using stats_test::MessageIs;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

mwArray Group(std::vector<mwArray> factors)
{
    mwArray g = mwArray::Cells(factors.size(), 1);
    for (size_t i = 0; i < factors.size(); ++i)
        g.Cell(i) = factors[i];
    return g;
}

AnovanResult Anova(const mwArray& y, const mwArray& group, const mwArray& model, double sstype = 3,
                 const mwArray& names = mwArray(), int nargout = 4)
{
    return myanovan(5, y, group, model, mwArray(sstype), names, nargout);
}

// Cell (r, c) of the analysis table, 0-based, as text or number.
std::string Text(const mwArray& t, size_t r, size_t c) { return t.Cell(c * t.Rows() + r).Chars(); }
double Num(const mwArray& t, size_t r, size_t c) { return t.Cell(c * t.Rows() + r).Scalar(); }
bool Blank(const mwArray& t, size_t r, size_t c) { return t.Cell(c * t.Rows() + r).IsEmpty(); }

// --- an independent least-squares computation for the unbalanced design ---

// Residual sum of squares of y on the given columns (plus a constant), by the normal
// equations in long double with a Cholesky factorisation.
double Rss(const std::vector<std::vector<double>>& cols, const std::vector<double>& y)
{
    const size_t n = y.size(), k = cols.size() + 1;
    auto x = [&](size_t r, size_t c) -> long double { return c == 0 ? 1.0L : cols[c - 1][r]; };
    std::vector<long double> a(k * k), b(k);
    for (size_t i = 0; i < k; ++i) {
        for (size_t j = 0; j < k; ++j)
            for (size_t r = 0; r < n; ++r)
                a[i * k + j] += x(r, i) * x(r, j);
        for (size_t r = 0; r < n; ++r)
            b[i] += x(r, i) * y[r];
    }
    for (size_t j = 0; j < k; ++j) {  // a = L L'
        for (size_t p = 0; p < j; ++p)
            a[j * k + j] -= a[j * k + p] * a[j * k + p];
        a[j * k + j] = std::sqrt(a[j * k + j]);
        for (size_t i = j + 1; i < k; ++i) {
            for (size_t p = 0; p < j; ++p)
                a[i * k + j] -= a[i * k + p] * a[j * k + p];
            a[i * k + j] /= a[j * k + j];
        }
    }
    std::vector<long double> z(k), beta(k);
    for (size_t i = 0; i < k; ++i) {
        z[i] = b[i];
        for (size_t p = 0; p < i; ++p)
            z[i] -= a[i * k + p] * z[p];
        z[i] /= a[i * k + i];
    }
    for (size_t i = k; i-- > 0;) {
        beta[i] = z[i];
        for (size_t p = i + 1; p < k; ++p)
            beta[i] -= a[p * k + i] * beta[p];
        beta[i] /= a[i * k + i];
    }
    long double rss = 0;
    for (size_t r = 0; r < n; ++r) {
        long double fit = 0;
        for (size_t c = 0; c < k; ++c)
            fit += beta[c] * x(r, c);
        rss += (y[r] - fit) * (y[r] - fit);
    }
    return static_cast<double>(rss);
}

struct Design {
    std::vector<int> a, b, c;  // levels 0-based
    std::vector<double> y;
};

// Three factors (3, 2 and 2 levels) with 1 to 4 observations per cell.
Design Unbalanced()
{
    Design d;
    uint32_t state = 12345;
    auto noise = [&] {
        state = state * 214013u + 2531011u;
        return ((state >> 16) & 0x7FFF) / 16383.5 - 1.0;
    };
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 2; ++b)
            for (int c = 0; c < 2; ++c)
                for (int k = 0; k <= (a * 3 + b * 2 + c) % 4; ++k) {
                    d.a.push_back(a);
                    d.b.push_back(b);
                    d.c.push_back(c);
                    d.y.push_back(5 + 1.3 * a - 0.7 * b + 0.4 * c + 0.9 * a * b + noise());
                }
    return d;
}

// Sum-to-zero columns with the last level as the one that takes -1.
std::vector<std::vector<double>> Effects(const std::vector<int>& level, int levels)
{
    std::vector<std::vector<double>> cols(levels - 1, std::vector<double>(level.size()));
    for (size_t r = 0; r < level.size(); ++r)
        for (int k = 0; k < levels - 1; ++k)
            cols[k][r] = level[r] == k ? 1 : (level[r] == levels - 1 ? -1 : 0);
    return cols;
}

std::vector<std::vector<double>> Cross(const std::vector<std::vector<double>>& p,
                                       const std::vector<std::vector<double>>& q)
{
    std::vector<std::vector<double>> out;
    for (const auto& u : p)
        for (const auto& v : q) {
            std::vector<double> w(u.size());
            for (size_t r = 0; r < u.size(); ++r)
                w[r] = u[r] * v[r];
            out.push_back(w);
        }
    return out;
}

} // namespace

TEST(Anovan, ArgumentMessages)
{
    const mwArray y = Col({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const mwArray g1 = Col({1, 1, 2, 2, 1, 1, 2, 2, 1, 2});
    const mwArray g = Group({g1});
    auto msg = [&](const std::function<void()>& f, const std::string& expected) {
        const std::string m = ErrorOf(f);
        EXPECT_TRUE(MessageIs(m, expected)) << m;
    };
    msg([&] { myanovan(1, y, mwArray(), mwArray(), mwArray(), mwArray(), 1); }, "Not enough input arguments.");
    msg([&] { Anova(mwArray::Zeros(2, 3), g, mwArray(1.0)); }, "The first argument must be a vector.");
    msg([&] { Anova(y, g1, mwArray(1.0)); }, "The second argument must be a cell array.");
    msg([&] { Anova(y, Group(std::vector<mwArray>(54, g1)), mwArray(1.0)); }, "No more than 53 groups allowed.");
    const mwArray g3 = Group({g1, g1, g1});
    msg([&] { Anova(y, g3, mwArray(1.0), 3, mwArray::CellColumn({"a", "b"})); }, "Fifth argument must have 3 rows");
    msg([&] { Anova(y, g3, mwArray(1.0), 3, Col({1, 2, 3})); },
        "Fifth argument must be a character matrix or cell array of strings.");
    msg([&] { Anova(y, g, mwArray(1.0), 4); }, "Fourth argument must be 1, 2, or 3.");
    for (double bad : {0.0, -1.0, 1.5})
        msg([&] { Anova(y, g, mwArray(bad)); }, "Third argument is invalid.");
    msg([&] { Anova(y, g, Col({1, 0})); }, "Third argument is invalid.");
    msg([&] { Anova(y, g, Col({1, 2.5})); }, "Third argument is invalid.");
    msg([&] { Anova(y, g, mwArray::Text("Full")); }, "Third argument is invalid.");
    msg([&] { Anova(y, Group({g1, Col({1, 2, 3, 4, 5, 6, 7, 8, 9})}), mwArray(1.0)); },
        "Group variable 2 must have 10 elements.");
    // 53 factors pass the count check (and fail later only on their own merits).
    EXPECT_FALSE(MessageIs(ErrorOf([&] { Anova(y, Group(std::vector<mwArray>(53, g1)), mwArray(1.0)); }),
                           "No more than 53 groups allowed."));
}

TEST(Anovan, BalancedTwoFactorLayout)
{
    // 2 x 3 levels, two observations per combination.
    std::vector<double> a, b, y;
    for (int rep = 0; rep < 2; ++rep)
        for (int i = 1; i <= 2; ++i)
            for (int j = 1; j <= 3; ++j) {
                a.push_back(i);
                b.push_back(j);
                y.push_back(i * 2 + j * j + rep * 0.5 + (i == 2 && j == 3 ? 1 : 0));
            }
    const AnovanResult r = Anova(Col(y), Group({Col(a), Col(b)}), mwArray(2.0));
    const mwArray& t = r.t;
    ASSERT_EQ(t.Rows(), 6u);
    ASSERT_EQ(t.Cols(), 7u);
    const char* heading[] = {"Source", "Sum Sq.", "d.f.", "Singular?", "Mean Sq.", "F", "Prob>F"};
    for (size_t c = 0; c < 7; ++c)
        EXPECT_EQ(Text(t, 0, c), heading[c]);
    const char* sources[] = {"X1", "X2", "X1*X2", "Error", "Total"};
    const double df[] = {1, 2, 2, 6, 11};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Text(t, i + 1, 0), sources[i]);
        EXPECT_EQ(Num(t, i + 1, 2), df[i]);
        EXPECT_EQ(Num(t, i + 1, 3), 0);
    }
    EXPECT_TRUE(Blank(t, 4, 5) && Blank(t, 4, 6));
    EXPECT_TRUE(Blank(t, 5, 4) && Blank(t, 5, 5) && Blank(t, 5, 6));
    // Replicates differ by 0.5 only: error SS 6 * 2 * 0.25^2.
    EXPECT_NEAR(Num(t, 4, 1), 0.75, 1e-12);
    EXPECT_EQ(r.terms.Data(), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(r.stats.nlevels.Data(), (std::vector<double>{2, 3}));
    EXPECT_EQ(r.stats.termcols.Data(), (std::vector<double>{1, 1, 2, 2}));
    // Keywords and the equivalent orders.
    EXPECT_EQ(Anova(Col(y), Group({Col(a), Col(b)}), mwArray::Text("full")).p.Data(), r.p.Data());
    EXPECT_EQ(Anova(Col(y), Group({Col(a), Col(b)}), mwArray::Text("i")).p.Data(), r.p.Data());
    EXPECT_EQ(Anova(Col(y), Group({Col(a), Col(b)}), mwArray::Text("l")).p.Data(),
              Anova(Col(y), Group({Col(a), Col(b)}), mwArray(1.0)).p.Data());
    // A row y gives what the same column gives; an empty sstype is type 3.
    EXPECT_EQ(Anova(Col(y).Transposed(), Group({Col(a), Col(b)}), mwArray(2.0)).p.Data(), r.p.Data());
    EXPECT_EQ(myanovan(5, Col(y), Group({Col(a), Col(b)}), mwArray(2.0), mwArray(), mwArray(), 1).p.Data(),
              r.p.Data());
}

TEST(Anovan, TermNamesAndOrder)
{
    const mwArray y = Col({1, 3, 2, 5, 4, 6, 8, 7});
    const mwArray f = Col({1, 2, 1, 2, 1, 2, 1, 2}), g = Col({1, 1, 2, 2, 1, 1, 2, 2}),
                  h = Col({1, 1, 1, 1, 2, 2, 2, 2});
    const AnovanResult r = Anova(y, Group({f, g, h}), Col({2, 5}), 3, mwArray::CharMatrix({"Ab", "B ", "C"}));
    EXPECT_EQ(Text(r.t, 1, 0), "B");
    EXPECT_EQ(Text(r.t, 2, 0), "C*Ab");
    const AnovanResult full = Anova(y, Group({f, g, h}), mwArray(3.0));
    EXPECT_EQ(Text(full.t, 7, 0), "X1*X2*X3");
    EXPECT_EQ(Anova(y, Group({f, g, h}), mwArray(2.0)).terms.Data(), (std::vector<double>{1, 2, 4, 3, 5, 6}));
}

TEST(Anovan, MissingObservationsAreRemovedEverywhere)
{
    const mwArray y = Col({1, 2, kNaN, 4, 5, 6, 7});
    const mwArray f = Col({1, 1, 2, 2, 3, 3, kNaN});
    const mwArray g = mwArray::CellColumn({"a", "b", "a", "", "a", "b", "a"});
    const AnovanResult r = Anova(y, Group({f, g}), mwArray(1.0));
    EXPECT_EQ(Num(r.t, 4, 2), 3);  // total d.f.: 4 observations left
    EXPECT_EQ(r.stats.nlevels.Data(), (std::vector<double>{2, 2}));  // level 2 of f is gone
    EXPECT_TRUE(MessageIs(ErrorOf([&] { Anova(Col({kNaN, kNaN}), Group({Col({1, 2})}), mwArray(1.0)); }),
                          "No observations are left once the missing ones are removed."));
}

TEST(Anovan, PerfectFitsAndEmptyCells)
{
    // One observation per combination in a full model: no error degrees of freedom.
    const mwArray a = Col({1, 1, 2, 2}), b = Col({1, 2, 1, 2});
    AnovanResult r = Anova(Col({1, 2, 4, 3}), Group({a, b}), mwArray(2.0));
    EXPECT_EQ(Num(r.t, 4, 2), 0);
    EXPECT_EQ(Num(r.t, 4, 4), 0);
    for (size_t i = 1; i <= 3; ++i) {
        EXPECT_TRUE(std::isinf(Num(r.t, i, 5)));
        EXPECT_TRUE(std::isnan(Num(r.t, i, 6)));
    }
    // A perfect fit with error degrees of freedom left: F is infinite and Prob>F is 0.
    r = Anova(Col({1, 2, 4, 3, 1, 2, 4, 3}), Group({Col({1, 1, 2, 2, 1, 1, 2, 2}), Col({1, 2, 1, 2, 1, 2, 1, 2})}),
            mwArray(2.0));
    EXPECT_EQ(Num(r.t, 4, 2), 4);
    EXPECT_NEAR(Num(r.t, 4, 1), 0.0, 1e-12);
    for (size_t i = 1; i <= 3; ++i) {
        // Rounding may leave a residual of 1e-30 or so; without it F is infinite.
        const double f = Num(r.t, i, 5), p = Num(r.t, i, 6);
        EXPECT_GT(f, 1e10);
        EXPECT_LT(p, 1e-12);
        if (std::isinf(f)) {
            EXPECT_EQ(p, 0.0);
        }
    }
    // One combination never observed: the interaction loses a degree of freedom.
    r = Anova(Col({1, 2, 3, 5, 4, 6, 2, 3, 7}), Group({Col({1, 1, 1, 2, 2, 2, 3, 3, 3}),
                                                      Col({1, 2, 1, 2, 1, 2, 1, 1, 1})}),
            mwArray(2.0));
    EXPECT_EQ(Num(r.t, 3, 2), 1);
    EXPECT_EQ(Num(r.t, 3, 3), 1);  // Singular?
}

TEST(Anovan, UnbalancedSumsOfSquaresMatchAnIndependentFit)
{
    const Design d = Unbalanced();
    const auto ea = Effects(d.a, 3), eb = Effects(d.b, 2), ec = Effects(d.c, 2);
    const std::vector<std::vector<std::vector<double>>> term = {ea, eb, ec, Cross(ea, eb), Cross(ea, ec),
                                                                Cross(eb, ec)};
    const std::vector<unsigned> code = {1, 2, 4, 3, 5, 6};
    auto rss = [&](auto include) {
        std::vector<std::vector<double>> cols;
        for (size_t i = 0; i < term.size(); ++i)
            if (include(i))
                cols.insert(cols.end(), term[i].begin(), term[i].end());
        return Rss(cols, d.y);
    };
    const size_t nterms = term.size();
    std::vector<double> ss1(nterms), ss2(nterms), ss3(nterms);
    for (size_t t = 0; t < nterms; ++t) {
        ss1[t] = rss([&](size_t i) { return i < t; }) - rss([&](size_t i) { return i <= t; });
        auto notContaining = [&](size_t i) { return (code[i] & code[t]) != code[t]; };
        ss2[t] = rss(notContaining) - rss([&](size_t i) { return notContaining(i) || i == t; });
        ss3[t] = rss([&](size_t i) { return i != t; }) - rss([](size_t) { return true; });
    }
    const double sse = rss([](size_t) { return true; });

    std::vector<double> a(d.a.begin(), d.a.end()), c;
    std::vector<std::string> b;
    for (size_t r = 0; r < d.y.size(); ++r) {
        a[r] = 10.0 * (d.a[r] + 1);
        b.push_back(d.b[r] ? "hi" : "lo");
        c.push_back(d.c[r] + 1);
    }
    const mwArray group = Group({Col(a), mwArray::CellColumn(b), Col(c)});
    const mwArray names = mwArray::CellColumn({"A", "B", "C"});
    const char* sources[] = {"A", "B", "C", "A*B", "A*C", "B*C"};
    const std::vector<double>* expected[] = {&ss1, &ss2, &ss3};
    for (int type = 1; type <= 3; ++type) {
        SCOPED_TRACE(type);
        const AnovanResult r = Anova(Col(d.y), group, mwArray(2.0), type, names);
        for (size_t t = 0; t < nterms; ++t) {
            EXPECT_EQ(Text(r.t, t + 1, 0), sources[t]);
            const double want = (*expected[type - 1])[t];
            EXPECT_NEAR(Num(r.t, t + 1, 1), want, 1e-9 * std::fabs(want)) << sources[t];
        }
        EXPECT_NEAR(Num(r.t, 7, 1), sse, 1e-9 * sse);
        EXPECT_EQ(Num(r.t, 7, 2), d.y.size() - 10.0);
    }
    // The full model adds the three-factor term; its columns come from crossing C with the
    // columns of the earlier term A*B.
    auto full = term;
    full.push_back(Cross(Cross(ea, eb), ec));
    auto rssFull = [&](size_t drop) {
        std::vector<std::vector<double>> cols;
        for (size_t i = 0; i < full.size(); ++i)
            if (i != drop)
                cols.insert(cols.end(), full[i].begin(), full[i].end());
        return Rss(cols, d.y);
    };
    const AnovanResult rf = Anova(Col(d.y), group, mwArray(3.0), 3, names);
    EXPECT_EQ(Text(rf.t, 7, 0), "A*B*C");
    for (size_t t = 0; t < full.size(); ++t) {
        const double want = rssFull(t) - rssFull(full.size());
        EXPECT_NEAR(Num(rf.t, t + 1, 1), want, 1e-9 * want) << t;
    }

    // The sequential and the other types really differ here, except for the last term.
    EXPECT_GT(std::fabs(ss1[0] - ss3[0]), 1e-3);
    EXPECT_NEAR(ss1[5], ss3[5], 1e-9 * ss3[5]);
}
