#include "platform/runtime/random.h"
#include "platform/text/numbers.h"

#include <climits>
#include <cmath>
#include <clocale>
#include <gtest/gtest.h>
#include <vector>

using namespace orvix;

namespace {

// Runs the body under a German locale when the machine has one, else under C.
struct GermanLocale {
    GermanLocale() { active = setlocale(LC_ALL, "de_DE.UTF-8") != nullptr; }
    ~GermanLocale() { setlocale(LC_ALL, "C"); }
    bool active;
};

} // namespace

TEST(Numbers, ParseDoubleFollowsAtof)
{
    EXPECT_DOUBLE_EQ(ParseDouble("  2.5abc"), 2.5);
    EXPECT_DOUBLE_EQ(ParseDouble("-1e3"), -1000.0);
    EXPECT_DOUBLE_EQ(ParseDouble("1e+006"), 1e6);
    EXPECT_DOUBLE_EQ(ParseDouble("abc"), 0.0);
    EXPECT_DOUBLE_EQ(ParseDouble(""), 0.0);
    EXPECT_DOUBLE_EQ(ParseDouble(nullptr), 0.0);
}

TEST(Numbers, ParseDoubleReadsOnlyTheDecimalForm)
{
    // What the C library's strtod would also take, read as the decimal prefix it begins with.
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"0x10", 0.0}, {"-0X1p4", -0.0}, {"inf", 0.0}, {"-INFINITY", 0.0}, {"nan", 0.0}, {"NAN(1)", 0.0},
        {"1e", 1.0},   {"2e+", 2.0},     {"3.e-1x", 0.3}, {".5", 0.5},     {"-.", 0.0}, {".", 0.0},
        {"+7.25E2", 725.0}, {"\t 12", 12.0},
    };
    for (const auto& c : cases) {
        double v = ParseDouble(c.text);
        EXPECT_FALSE(std::isnan(v)) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
}

TEST(Numbers, ParseIntFollowsAtoi)
{
    EXPECT_EQ(ParseInt(" 42x"), 42);
    EXPECT_EQ(ParseInt("-17"), -17);
    EXPECT_EQ(ParseInt("+8"), 8);
    EXPECT_EQ(ParseInt("2.9"), 2);
    EXPECT_EQ(ParseInt("x1"), 0);
    EXPECT_EQ(ParseInt("99999999999"), INT_MAX);
    EXPECT_EQ(ParseInt("-99999999999"), INT_MIN);
}

TEST(Numbers, FormattingIgnoresTheUsersLocale)
{
    GermanLocale german;
    EXPECT_EQ(FormatG(0.5), "0.5");
    EXPECT_EQ(FormatG(1e6), "1e+06");
    EXPECT_EQ(FormatG(static_cast<double>(0.02f)), "0.02");
    EXPECT_EQ(FormatG(123456789.0), "1.23457e+08");
    EXPECT_EQ(Format("%.3f MHz", 1000.0), "1000.000 MHz");
    EXPECT_DOUBLE_EQ(ParseDouble("2.75"), 2.75);
    EXPECT_EQ(FormatInt(-2560), "-2560");
}

// The appenders must give printf's own text: ties, carries, tiny and huge values, the
// specials; then a sweep of values of every magnitude, under a German locale.
TEST(Numbers, AppendersGivePrintfText)
{
    GermanLocale german;
    const double values[] = {0.0, -0.0, 0.5, 1.5, 2.5, 0.125, 0.375, 1234.5, 734.5, -1.0, 0.005, 0.015, 0.045,
                             9.995, 99.95, 1e-7, 123456.5, 1e6, 1e15, 1e21, 1e300, 2.2250738585072014e-308,
                             -2.675, 1.0 / 3, 2.0 / 3, 12345678.9, INFINITY, -INFINITY, NAN};
    std::vector<double> all(std::begin(values), std::end(values));
    CRandom15 rnd(7);
    for (int i = 0; i < 3000; ++i) {
        double mantissa = (rnd.Next() * 32768.0 + rnd.Next()) / 1073741824.0;
        all.push_back((i % 2 ? -1 : 1) * mantissa * std::pow(10.0, i % 40 - 20));
    }
    // Exact binary ties at every decimal count (round half to even), and tiny negatives.
    for (int k = -400; k <= 400; ++k)
        all.push_back(k / 32.0);
    for (double v : {-0.04, -0.004, -0.00004, 99999999999999.9, 1e14, -1e14, 1e-4, 9.99999e-5, 0.0001234,
                     999999.0, 999999.4, 999999.5, 1e6, 123456.0, 22.5, 0.1, 1.0 / 8})
        all.push_back(v);
    // Values of one to seven significant digits, whose %g has no rounding to do.
    for (int i = 0; i < 3000; ++i) {
        double v = (rnd.Next() * 32768.0 + rnd.Next()) * std::pow(10.0, i % 16 - 10);
        all.push_back(ParseDouble(Format("%.*g", 1 + i % 7, i % 3 ? v : -v)));
    }
    for (double v : all) {
        for (int decimals : {0, 1, 2, 3, 4, 6}) {
            std::string out = "x";
            AppendFixed(out, v, decimals);
            ASSERT_EQ(out, "x" + Format("%.*f", decimals, v)) << v;
        }
        std::string g;
        AppendG(g, v);
        ASSERT_EQ(g, Format("%g", v)) << v;
    }
    for (long long v : {0LL, 7LL, -1LL, 65535LL, LLONG_MIN, LLONG_MAX}) {
        std::string out;
        AppendInt(out, v);
        EXPECT_EQ(out, Format("%lld", v));
    }
}

TEST(Numbers, LongFormatIsNotCut)
{
    std::string long_text(1000, 'x');
    EXPECT_EQ(Format("%s!", long_text.c_str()).size(), 1001u);
}

TEST(Numbers, DefinedIntegerConversionsAndArithmetic)
{
    EXPECT_EQ(DoubleToInt(2.9), 2);
    EXPECT_EQ(DoubleToInt(-2.9), -2);
    EXPECT_EQ(DoubleToInt(NAN), INT_MIN);
    EXPECT_EQ(DoubleToInt(1e10), INT_MIN);
    EXPECT_EQ(WrapAdd(INT_MAX, 1), INT_MIN);
    EXPECT_EQ(WrapMul(65536, 65536), 0);
    int32_t r = 7;
    EXPECT_FALSE(CheckedDiv(1, 0, r));
    EXPECT_FALSE(CheckedDiv(INT_MIN, -1, r));
    EXPECT_FALSE(CheckedMod(INT_MIN, -1, r));
    EXPECT_EQ(r, 7);
    EXPECT_TRUE(CheckedDiv(-7, 2, r));
    EXPECT_EQ(r, -3);
    EXPECT_TRUE(CheckedMod(-7, 2, r));
    EXPECT_EQ(r, -1);
}

TEST(Random, FifteenBitSequenceOfTheOriginalRuntime)
{
    // Seed 1: the well-known first values of the original run-time's rand().
    CRandom15 rng(1);
    EXPECT_EQ(rng.Next(), 41);
    EXPECT_EQ(rng.Next(), 18467);
    EXPECT_EQ(rng.Next(), 6334);
    EXPECT_EQ(rng.Next(), 26500);
    CRandom15 any;
    for (int i = 0; i < 1000; ++i) {
        int v = any.Next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, CRandom15::Max);
    }
}
