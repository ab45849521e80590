// Term algebra, grouping and the fits behind the analysis.
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "stats/anovan.h"
#include "stats/grp2idx.h"
#include "tests/stats/stats_test_util.h"

using namespace tarsel;
using stats_test::Col;
using stats_test::ErrorOf;
using stats_test::MessageIs;

namespace {

std::vector<double> Values(const mwArray& a) { return a.Data(); }

std::vector<std::string> Names(const mwArray& cells)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < cells.Numel(); ++i)
        out.push_back(cells.Cell(i).Chars());
    return out;
}

mwArray Matrix(size_t rows, size_t cols, const std::vector<double>& byRows)
{
    mwArray m = mwArray::Zeros(rows, cols);
    for (size_t r = 0; r < rows; ++r)
        for (size_t c = 0; c < cols; ++c)
            m(r, c) = byRows[r * cols + c];
    return m;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(Terms, MakemodelListsTermsByOrder)
{
    EXPECT_EQ(Values(makemodel(3, 3)), (std::vector<double>{1, 2, 4, 3, 5, 6, 7}));
    EXPECT_EQ(Values(makemodel(1, 4)), (std::vector<double>{1, 2, 4, 8}));
    EXPECT_EQ(Values(makemodel(2, 4)), (std::vector<double>{1, 2, 4, 8, 3, 5, 9, 6, 10, 12}));
    EXPECT_EQ(Values(makemodel(0, 2)), (std::vector<double>{1, 2}));
}

TEST(Terms, TermsnotcontainedMarksNonContainmentAndTheDiagonal)
{
    EXPECT_EQ(Values(termsnotcontained(Col({1, 2, 3})).Transposed()),
              (std::vector<double>{1, 1, 0, 1, 1, 0, 1, 1, 1}));
}

TEST(Terms, IdummyCodings)
{
    const mwArray x = Col({1, 2, 3, 2});
    EXPECT_EQ(idummy(x, 1).Data(), Matrix(4, 2, {-1, -1, 1, 0, 0, 1, 1, 0}).Data());
    EXPECT_EQ(idummy(x).Data(), idummy(x, 1).Data());
    EXPECT_EQ(idummy(x, 2).Data(), Matrix(4, 2, {0, 0, 1, 0, 0, 1, 1, 0}).Data());
    EXPECT_EQ(idummy(x, 3).Data(), Matrix(4, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0}).Data());
    EXPECT_EQ(idummy(x, 7).Data(), idummy(x, 2).Data());

    const mwArray ones = Col({1, 1, 1});
    EXPECT_EQ(idummy(ones, 1).Cols(), 0u);
    EXPECT_EQ(idummy(ones, 2).Cols(), 0u);
    EXPECT_EQ(idummy(ones, 3).Data(), (std::vector<double>{0, 0, 0}));
    // Level 2 never occurs: its column stays zero.
    EXPECT_EQ(idummy(Col({1, 3}), 2).Data(), Matrix(2, 2, {0, 0, 0, 1}).Data());
}

TEST(Terms, TermcrossRunsTheFirstFactorFastest)
{
    const mwArray a = Matrix(2, 2, {1, 2, 3, 4});
    const mwArray b = Matrix(2, 3, {10, 20, 30, 40, 50, 60});
    const mwArray ab = termcross(a, b);
    ASSERT_EQ(ab.Cols(), 6u);
    EXPECT_EQ(ab.Data(), Matrix(2, 6, {10, 20, 20, 40, 30, 60, 120, 160, 150, 200, 180, 240}).Data());
    EXPECT_EQ(termcross(mwArray(), b).Data(), b.Data());
    EXPECT_EQ(termcross(a, mwArray()).Data(), a.Data());
    EXPECT_NE(ErrorOf([&] { termcross(a, mwArray::Zeros(3, 1)); }), "");
}

TEST(Grouping, TextByFirstAppearanceNumbersByValue)
{
    mwArray gn;
    mwArray g = grp2idx(mwArray::CellColumn({"red", "green", "red", "blue"}), &gn);
    EXPECT_EQ(Values(g), (std::vector<double>{1, 2, 1, 3}));
    EXPECT_EQ(Names(gn), (std::vector<std::string>{"red", "green", "blue"}));

    g = grp2idx(Col({3, 1, 3, 2}), &gn);
    EXPECT_EQ(Values(g), (std::vector<double>{3, 1, 3, 2}));
    EXPECT_EQ(Names(gn), (std::vector<std::string>{"1", "2", "3"}));

    g = grp2idx(Col({0.5, -2, 0.5}).Transposed(), &gn);  // a row is read as a column
    EXPECT_EQ(Values(g), (std::vector<double>{2, 1, 2}));
    EXPECT_EQ(Names(gn), (std::vector<std::string>{"-2", "0.5"}));
}

TEST(Grouping, MissingGroups)
{
    mwArray gn;
    mwArray g = grp2idx(Col({2, kNaN, 1, kNaN}), &gn);
    EXPECT_EQ(g[0], 2);
    EXPECT_TRUE(std::isnan(g[1]) && std::isnan(g[3]));
    EXPECT_EQ(g[2], 1);
    EXPECT_EQ(Names(gn), (std::vector<std::string>{"1", "2"}));

    g = grp2idx(mwArray::CellColumn({"x", "", "y", ""}), &gn);
    EXPECT_EQ(g[0], 1);
    EXPECT_TRUE(std::isnan(g[1]));
    EXPECT_EQ(g[2], 2);
    EXPECT_EQ(Names(gn), (std::vector<std::string>{"x", "y"}));

    // The empty name wins over "NaN", which stays a named group.
    g = grp2idx(mwArray::CellColumn({"NaN", "a", "", "NaN"}), &gn);
    EXPECT_EQ(g[0], 1);
    EXPECT_EQ(g[1], 2);
    EXPECT_TRUE(std::isnan(g[2]));
    EXPECT_EQ(Names(gn), (std::vector<std::string>{"NaN", "a"}));

    // A blank row of a character matrix is the empty name.
    g = grp2idx(mwArray::CharMatrix({"ab", "  ", "ab"}), &gn);
    EXPECT_TRUE(std::isnan(g[1]));
    EXPECT_EQ(Names(gn), (std::vector<std::string>{"ab"}));
    g = grp2idx(mwArray::Text("abc"), &gn);  // one row: one name
    EXPECT_EQ(Values(g), (std::vector<double>{1}));
}

TEST(Grouping, UniquepGivesFirstPositions)
{
    const Uniquep u = uniquep(Col({5, kNaN, 5, 1, kNaN}));
    EXPECT_EQ(Names(u.b), (std::vector<std::string>{"1", "5", "NaN"}));
    EXPECT_EQ(Values(u.i), (std::vector<double>{4, 1, 2}));
    EXPECT_EQ(Values(u.j), (std::vector<double>{2, 3, 2, 1, 3}));
}

TEST(Fits, RankFollowsTheFixedTolerance)
{
    // Columns 1, x, and x again: the duplicate falls below the tolerance.
    const mwArray d = Matrix(4, 3, {1, 1, 1, 1, 2, 2, 1, 3, 3, 1, 5, 5});
    const mwArray y = Col({1, 2, 2, 4});
    Fit f = anovanfit(d, y);
    EXPECT_EQ(f.dfx, 2);
    // The projection onto the span of (1, x), y = 2/7 + 5/7 x: n ybar^2 + Sxy^2 / Sxx.
    EXPECT_NEAR(f.ssx, 4 * 2.25 * 2.25 + 6.25 * 6.25 / 8.75, 1e-12);

    EXPECT_EQ(anovanfit(Col({0, 0, 0}), Col({1, 2, 3})).dfx, 0);
    EXPECT_EQ(anovanfit(Col({1e-14, 0, 0}), Col({1, 2, 3})).dfx, 0);  // below 100 eps
    EXPECT_EQ(anovanfit(Col({1e-12, 0, 0}), Col({1, 2, 3})).dfx, 1);
    EXPECT_NE(ErrorOf([&] { anovanfit(d, Col({1, 2})); }), "");
}

TEST(Fits, InitfitReturnsTheReducedProblemAndStatistics)
{
    const mwArray d = Matrix(4, 3, {1, 1, 1, 1, 2, 2, 1, 3, 3, 1, 5, 5});
    const mwArray y = Col({1, 2, 2, 4});
    const InitFit f = initfit(d, y, stats_test::Row({0, 1, 2}), 30.0, 10.0);
    EXPECT_EQ(f.dfx, 2);
    EXPECT_EQ(f.dmat2.Rows(), 2u);
    EXPECT_EQ(f.dmat2.Cols(), 3u);
    EXPECT_EQ(f.y2.Numel(), 2u);
    EXPECT_EQ(f.stats.source, "anovan");
    EXPECT_EQ(f.stats.dfe, 2);
    EXPECT_NEAR(f.stats.mse, (30.0 - f.ssx) / 2, 1e-12);
    // A basic solution: at most two non-zero coefficients, and the fit it gives is the
    // least-squares line (intercept plus mu, slope split over the duplicated columns).
    const mwArray& c = f.stats.coeffs;
    EXPECT_TRUE(c[1] == 0 || c[2] == 0);
    EXPECT_NEAR(c[0] - 10.0, 2.0 / 7, 1e-12);
    EXPECT_NEAR(c[1] + c[2], 5.0 / 7, 1e-12);
    EXPECT_EQ(f.stats.Rtr.Rows(), 3u);
    EXPECT_EQ(f.stats.Rtr.Cols(), 2u);
    // Rtr * Rtr' reproduces d' * d restricted to the kept rank (Gram matrix of the design).
    double g00 = 0;
    for (size_t k = 0; k < 2; ++k)
        g00 += f.stats.Rtr(0, k) * f.stats.Rtr(0, k);
    EXPECT_NEAR(g00, 4, 1e-12);
}

TEST(Fits, GenericCallInterfaceChecksDeclaredCounts)
{
    const std::string head = "Run-time Error: File: ";
    EXPECT_EQ(ErrorOf([] { CallLocal("myanovan/termsnotcontained", 1, {Col({1}), Col({2})}); }),
              head + "myanovan/termsnotcontained Line: 349 Column: 1 The function "
                     "\"myanovan/termsnotcontained\" was called with more than the declared number of inputs (1).");
    EXPECT_EQ(ErrorOf([] { CallLocal("myanovan/makemodel", 2, {mwArray(1.0), mwArray(2.0)}); }),
              head + "myanovan/makemodel Line: 360 Column: 1 The function \"myanovan/makemodel\" was called "
                     "with more than the declared number of outputs (1).");
    EXPECT_EQ(ErrorOf([] { CallLocal("termcross", 1, {mwArray(), mwArray(), mwArray()}); }),
              head + "termcross Line: 1 Column: 1 The function \"termcross\" was called with more than the "
                     "declared number of inputs (2).");
    EXPECT_EQ(ErrorOf([] { CallLocal("myanovan/anovanfit", 3, {}); }),
              head + "myanovan/anovanfit Line: 370 Column: 1 The function \"myanovan/anovanfit\" was called "
                     "with more than the declared number of outputs (2).");
    EXPECT_EQ(ErrorOf([] { CallLocal("myanovan/initfit", 1, std::vector<mwArray>(6)); }),
              head + "myanovan/initfit Line: 389 Column: 1 The function \"myanovan/initfit\" was called "
                     "with more than the declared number of inputs (5).");
    EXPECT_EQ(ErrorOf([] { CallLocal("grp2idx/uniquep", 4, {Col({1})}); }),
              head + "grp2idx/uniquep Line: 36 Column: 1 The function \"grp2idx/uniquep\" was called "
                     "with more than the declared number of outputs (3).");
    const std::vector<mwArray> out = CallLocal("myanovan/makemodel", 1, {mwArray(2.0), mwArray(2.0)});
    EXPECT_EQ(Values(out[0]), (std::vector<double>{1, 2, 3}));
    EXPECT_TRUE(MessageIs(ErrorOf([] { makemodel(3, 2); }), "K must be an integer between 0 and N."));
}
