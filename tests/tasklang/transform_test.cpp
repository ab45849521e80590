#include "tasklang/transform.h"

#include <QLineEdit>
#include <cmath>
#include <gtest/gtest.h>

#include "platform/ui/ui.h"
#include "tasklang/transformdlg.h"

using namespace orvix;

namespace {

class TransformTest : public testing::Test {
protected:
    TransformTest() : parser(lexer)
    {
        a = CParam("A", 3);
        b = CParam("B", 4);
        vars = {&a, &b, &sinVar, &t};
        sinVar = CParam("sin", 2);
        t = CParam("T", "hello");
    }
    // Parses; the result's value, or nullptr when the parse failed or gave nothing.
    CParam* Run(const std::string& text)
    {
        if (!lexer.SetInput(text, vars))
            return nullptr;
        parser.Reset();
        if (parser.Parse() != 0 || !parser.Result())
            return nullptr;
        return parser.Result()->Eval();
    }

    CScriptedUI ui;
    CParam a, b, sinVar, t;
    std::vector<CParam*> vars;
    CTransformLexer lexer;
    CTransformParser parser;
};

} // namespace

TEST_F(TransformTest, ArithmeticIsRealAndComparisonsAreIntegers)
{
    CParam* r = Run("A + B / 2");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetType(), PARAM_REAL);
    EXPECT_EQ(r->GetDouble(), 5.0);
    r = Run("A > B");
    EXPECT_EQ(r->GetType(), PARAM_INT);
    EXPECT_EQ(r->GetInt(), 0);
    EXPECT_EQ(Run("7")->GetType(), PARAM_REAL);
    EXPECT_EQ(Run("-A * 2")->GetDouble(), -6.0);
    EXPECT_EQ(Run("2 * (A + 1)")->GetDouble(), 8.0);
    EXPECT_EQ(Run("10 - 4 - 3")->GetDouble(), 3.0);
    EXPECT_EQ(Run(".5 + 1.")->GetDouble(), 1.5);
    EXPECT_TRUE(std::isinf(Run("1 / 0")->GetDouble()));
}

TEST_F(TransformTest, ConditionalYieldsTexts)
{
    CParam* r = Run("(A < B) ? 'yes' : 'no'");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetType(), PARAM_TEXT);
    EXPECT_EQ(r->GetText(), "yes");
    // Right-associative; the copy of a variable keeps its name.
    EXPECT_EQ(Run("A > B ? 1 : A == 3 ? 'three' : 'other'")->GetText(), "three");
    r = Run("1 ? T : A");
    EXPECT_EQ(r->GetName(), "T");
    EXPECT_EQ(r->GetText(), "hello");
}

TEST_F(TransformTest, TextComparisons)
{
    EXPECT_EQ(Run("'abc' < 'abd'")->GetInt(), 1);
    EXPECT_EQ(Run("'b' > 'a'")->GetInt(), 0); // ">" is always numeric: both texts are 0
    EXPECT_EQ(Run("'b' >= 'a'")->GetInt(), 1);
    EXPECT_EQ(Run("T == 'hello'")->GetInt(), 1);
    // Two variables with different names are never equal, and then not unequal either.
    b = 3;
    EXPECT_EQ(Run("A == B")->GetInt(), 0);
    EXPECT_EQ(Run("A != B")->GetInt(), 0);
    EXPECT_EQ(Run("A + 0 == B")->GetInt(), 1);
}

TEST_F(TransformTest, LogicShortCircuitsAndNot)
{
    EXPECT_EQ(Run("A && B")->GetInt(), 1);
    EXPECT_EQ(Run("0 && B")->GetInt(), 0);
    EXPECT_EQ(Run("0 || B")->GetInt(), 1);
    EXPECT_EQ(Run("!A")->GetInt(), 0);
    EXPECT_EQ(Run("!0")->GetInt(), 1);
    EXPECT_EQ(Run("'x' || 0")->GetInt(), 0); // a text counts by its value
    EXPECT_EQ(Run("1 || 0 && 0")->GetInt(), 0); // one level, left to right
}

TEST_F(TransformTest, Functions)
{
    EXPECT_EQ(Run("sin(0)")->GetDouble(), 0.0);
    EXPECT_DOUBLE_EQ(Run("atan(1)")->GetDouble(), 0.7853981633974483);
    EXPECT_DOUBLE_EQ(Run("cos (0)")->GetDouble(), 1.0);
    EXPECT_EQ(Run("sin + 1")->GetDouble(), 3.0); // a variable named sin
}

TEST_F(TransformTest, SequencesAndFailures)
{
    EXPECT_EQ(Run("A B")->GetInt(), 4); // the last expression wins
    EXPECT_EQ(parser.Parse(), 0);
    ASSERT_TRUE(lexer.SetInput("   ", vars));
    parser.Reset();
    EXPECT_EQ(parser.Parse(), 0);
    EXPECT_EQ(parser.Result(), nullptr);

    int beeps = ui.beeps;
    EXPECT_EQ(Run("A + Nope"), nullptr);
    EXPECT_EQ(ui.beeps, beeps + 1);
    EXPECT_EQ(Run("A +"), nullptr);
    EXPECT_EQ(ui.beeps, beeps + 2);
    EXPECT_EQ(Run("(A"), nullptr);
    EXPECT_EQ(Run("A % B"), nullptr);
    EXPECT_EQ(Run("'open"), nullptr);
    EXPECT_EQ(Run("sin(1"), nullptr);
}

TEST_F(TransformTest, OverlongTextIsRefusedNotCut)
{
    std::string text = "A" + std::string(998, ' ') + "+B"; // 1001 characters
    EXPECT_FALSE(lexer.SetInput(text, vars));
    EXPECT_TRUE(lexer.SetInput(text.substr(1), vars));
}

TEST_F(TransformTest, VariablesAreReadAtEvaluation)
{
    ASSERT_TRUE(lexer.SetInput("A * 2", vars));
    parser.Reset();
    ASSERT_EQ(parser.Parse(), 0);
    EXPECT_EQ(parser.Result()->Eval()->GetDouble(), 6.0);
    a = 10;
    EXPECT_EQ(parser.Result()->Eval()->GetDouble(), 20.0);
}

TEST(TransformDlg, AcceptTakesBothFields)
{
    CTransformDlg dlg;
    dlg.NameEdit()->setText("Diff");
    dlg.ExpressionEdit()->setText("A - B");
    dlg.accept();
    EXPECT_EQ(dlg.name, "Diff");
    EXPECT_EQ(dlg.expression, "A - B");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}
