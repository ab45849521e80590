#include "model/param.h"

#include <clocale>
#include <cmath>
#include <memory>
#include <gtest/gtest.h>

#include "tests/common/test_support.h"

using namespace orvix;
using orvix_test::Hex;

TEST(CParam, ConstructionAndTextForms)
{
    CParam def;
    EXPECT_EQ(def.GetType(), PARAM_INT);
    EXPECT_EQ(def.GetText(), "0");
    EXPECT_EQ(def.GetName(), "");

    CParam f("f", 0.1f);
    EXPECT_EQ(f.GetType(), PARAM_REAL);
    EXPECT_EQ(f.GetDouble(), static_cast<double>(0.1f));
    EXPECT_NE(f.GetDouble(), 0.1);
    EXPECT_EQ(f.GetText(), "0.1");
    EXPECT_EQ(CParam("x", 0.02f).GetText(), "0.02");
    EXPECT_EQ(CParam("x", 1e6).GetText(), "1e+06");
    EXPECT_EQ(CParam("x", -2560).GetText(), "-2560");
    EXPECT_EQ(CParam("x", "abc").GetText(), "abc");
}

TEST(CParam, CopyKeepsOnlyTheValueOfItsType)
{
    CParam n("n", 5);
    n.FormatValue() = "stale";
    CParam copy(n);
    EXPECT_EQ(copy.GetName(), "n");
    EXPECT_EQ(copy.GetInt(), 5);
    EXPECT_EQ(copy.GetText(), "5");
    CParam t("t", "hello");
    copy = t;
    EXPECT_EQ(copy.GetType(), PARAM_TEXT);
    EXPECT_EQ(copy.GetText(), "hello");
    copy = copy;
    EXPECT_EQ(copy.GetText(), "hello");
    copy = 3;
    EXPECT_EQ(copy.GetName(), "t");
    EXPECT_EQ(copy.GetType(), PARAM_INT);
}

TEST(CParam, SetFromTextClassifies)
{
    CParam p;
    p.SetFromText("42");
    EXPECT_EQ(p.GetType(), PARAM_INT);
    EXPECT_EQ(p.GetInt(), 42);
    p.SetFromText("-3.5");
    EXPECT_EQ(p.GetType(), PARAM_REAL);
    EXPECT_DOUBLE_EQ(p.GetDouble(), -3.5);
    p.SetFromText("1e5");
    EXPECT_EQ(p.GetType(), PARAM_TEXT);
    EXPECT_EQ(p.GetText(), "1e5");
}

TEST(CParam, GetIntRoundsHalfAwayFromZero)
{
    EXPECT_EQ(CParam("", "2.5").GetInt(), 3);
    EXPECT_EQ(CParam("", "-2.5").GetInt(), -3);
    EXPECT_EQ(CParam("", "0.4").GetInt(), 0);
    EXPECT_EQ(CParam("", "abc").GetInt(), 0);
    EXPECT_EQ(CParam("", 2.49).GetInt(), 2);
    EXPECT_EQ(CParam("", -0.6).GetInt(), -1);
    EXPECT_DOUBLE_EQ(CParam("", " 7.25xyz").GetDouble(), 7.25);
}

TEST(CParam, ComparisonRules)
{
    CParam a("a", 5), b("b", 5), anon("", 5);
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a == anon);
    EXPECT_FALSE(a != b); // only == looks at names

    CParam t10("", "10"), t9("", "9"), i10("", 10);
    EXPECT_TRUE(t10 < t9);   // text order
    EXPECT_FALSE(i10 < t9);  // numeric: 10 < 9 is false
    EXPECT_TRUE(t9 <= i10);
    EXPECT_TRUE(i10 >= t10);
    EXPECT_TRUE(CParam("", "abc") == CParam("", "abc"));
    EXPECT_TRUE(CParam("", "2.0") == CParam("", 2));

    EXPECT_TRUE(CParam("", 3) == 3);
    EXPECT_TRUE(CParam("", 3.0) == 3);
    EXPECT_TRUE(CParam("", "3.0") == 3);
    EXPECT_TRUE(CParam("", 3.0) == "3");
    EXPECT_TRUE(CParam("", 3.0) != "3.0");
    EXPECT_TRUE(CParam("", "x") == "x");
}

TEST(CParam, ArithmeticWidens)
{
    CParam i("", 5);
    i += 2;
    EXPECT_EQ(i.GetType(), PARAM_INT);
    EXPECT_EQ(i.GetInt(), 7);
    i += 0.5;
    EXPECT_EQ(i.GetType(), PARAM_REAL);
    EXPECT_DOUBLE_EQ(i.GetDouble(), 7.5);

    CParam t("", "4");
    t += 1;
    EXPECT_EQ(t.GetType(), PARAM_REAL);
    EXPECT_DOUBLE_EQ(t.GetDouble(), 5.0);

    CParam d("", 1);
    d /= 0.0;
    EXPECT_TRUE(std::isinf(d.GetDouble()));
    CParam m("", 3);
    m *= 2;
    EXPECT_EQ(m.GetType(), PARAM_REAL);
    m -= 1.0;
    EXPECT_DOUBLE_EQ(m.GetDouble(), 5.0);

    CParam c("", 1);
    ++c;
    EXPECT_EQ(c.GetType(), PARAM_INT);
    EXPECT_EQ(c.GetInt(), 2);
    CParam ct("", "1.5");
    --ct;
    EXPECT_EQ(ct.GetType(), PARAM_REAL);
    EXPECT_DOUBLE_EQ(ct.GetDouble(), 0.5);
}

TEST(CParam, PostfixReturnsItsOwnOldValue)
{
    CParam a("a", 1), b("b", 10);
    CParam oldA = a++;
    CParam oldB = b++;
    EXPECT_EQ(oldA.GetInt(), 1); // not overwritten by the second call
    EXPECT_EQ(oldB.GetInt(), 10);
    EXPECT_EQ(a.GetInt(), 2);
    CParam oldA2 = a--;
    EXPECT_EQ(oldA2.GetInt(), 2);
    EXPECT_EQ(a.GetInt(), 1);
}

TEST(CParam, ClassifyNumber)
{
    EXPECT_EQ(ClassifyNumber(""), 0);
    EXPECT_EQ(ClassifyNumber(nullptr), 0);
    EXPECT_EQ(ClassifyNumber("-"), 1);
    EXPECT_EQ(ClassifyNumber("007"), 1);
    EXPECT_EQ(ClassifyNumber("."), 3);
    EXPECT_EQ(ClassifyNumber("-."), 3);
    EXPECT_EQ(ClassifyNumber("-3."), 3);
    EXPECT_EQ(ClassifyNumber("1.2.3"), 0);
    EXPECT_EQ(ClassifyNumber("+5"), 0);
    EXPECT_EQ(ClassifyNumber(" 5"), 0);
    EXPECT_EQ(ClassifyNumber("5 "), 0);
    EXPECT_EQ(ClassifyNumber("1e5"), 0);
    EXPECT_EQ(ClassifyNumber("5-"), 0);
}

TEST(CParam, RulesHoldUnderAGermanLocale)
{
    ASSERT_NE(setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "scripts/setup.sh makes this locale";
    char buf[16];
    snprintf(buf, sizeof buf, "%g", 0.5);
    EXPECT_STREQ(buf, "0,5"); // the C library itself would use a comma here
    EXPECT_EQ(CParam("", 0.5).GetText(), "0.5");
    EXPECT_DOUBLE_EQ(CParam("", "2.5").GetDouble(), 2.5);
    EXPECT_EQ(CParam("", "2.5").GetInt(), 3);
    CParam p;
    p.SetFromText("1.25");
    EXPECT_DOUBLE_EQ(p.GetDouble(), 1.25);
    EXPECT_EQ(p.GetText(), "1.25");
    setlocale(LC_ALL, "C");
}

TEST(CParam, ArchiveRecordBytes)
{
    CArchive out;
    CParam h0("H0", -2560);
    h0.Serialize(out);
    EXPECT_EQ(out.Buffer(), Hex("02 48 30 05 2D 32 35 36 30"));

    CArchive in(out.Buffer());
    CParam back("zz", 7);
    back.Serialize(in);
    EXPECT_EQ(back.GetName(), "H0");
    EXPECT_EQ(back.GetType(), PARAM_TEXT); // a loaded number stays text until used
    EXPECT_EQ(back.GetInt(), -2560);
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(CParam, ObjectRecordsWithClassTags)
{
    CArchive out;
    CParam a("A", 5), b("B", "x");
    out.WriteObject(&a);
    out.WriteObject(&b);
    out.WriteObject(nullptr);
    // New class: FFFF, schema 1, name length 6, "CParam"; then the second object names
    // the class by its index 1 (0x8001).
    EXPECT_EQ(out.Buffer(), Hex("FF FF 01 00 06 00 43 50 61 72 61 6D 01 41 01 35 "
                                "01 80 01 42 01 78 00 00"));
    CArchive in(out.Buffer());
    std::unique_ptr<CParam> ra(ReadObjectAs<CParam>(in));
    std::unique_ptr<CParam> rb(ReadObjectAs<CParam>(in));
    EXPECT_EQ(ReadObjectAs<CParam>(in), nullptr);
    EXPECT_EQ(ra->GetText(), "5");
    EXPECT_EQ(rb->GetName(), "B");
}
