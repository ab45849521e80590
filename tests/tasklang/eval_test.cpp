// Evaluation: values and order of every operator, call frames and return, static
// variables, and the clean end of an evaluation that meets a zero divisor.
#include <gtest/gtest.h>

#include "tests/tasklang/test_host.h"

using orvix::TaskCompileStatus;
using orvix_test::TaskFixture;

namespace {

class TaskEvalTest : public ::testing::Test, public TaskFixture {};

TEST_F(TaskEvalTest, EntryValueIsItsReturnOrItsLastStatement)
{
    const char* body = "{ nTaskState = 3; if (nKeyPos == KEY_LEFT) return TRIAL_HIT; 4; }";
    Compile(std::string("int TaskEntry()\n") + body);
    host.nKeyPos = 'L';
    EXPECT_EQ(Pass(), 2);
    EXPECT_EQ(host.nTaskState, 3);
    host.nKeyPos = 'C';
    EXPECT_EQ(Pass(), 4);
    // if (0) ... as the last statement gives the condition's value.
    EXPECT_EQ(Eval("int x;", "{ x = 7; if (0) x = 1; }"), 0);
    EXPECT_EQ(Var("x"), 7);
}

TEST_F(TaskEvalTest, ReturnLeavesNestedBlocksAndOnlyItsOwnFunction)
{
    EXPECT_EQ(Eval("int x;", "{ { if (1) { return 1; x = 5; } } x = 6; }"), 1);
    EXPECT_EQ(Var("x"), 0);
    const char* decl =
        "int x;\n"
        "int f() { if (x) { return 10; } x = 99; 20; }\n";
    EXPECT_EQ(Eval(decl, "{ x = 1; x = f() + 1; return x + 100; }"), 111);
    EXPECT_EQ(Eval(decl, "{ x = 0; f(); return x; }"), 99);
    EXPECT_TRUE(orvix::g_taskFrames.Empty());
}

TEST_F(TaskEvalTest, OperandsRunRightToLeft)
{
    const char* decl =
        "int s;\n"
        "int f() s = s * 10 + 1;\n"
        "int g() s = s * 10 + 2;\n"
        "int h() s = s * 10 + 3;\n";
    EXPECT_EQ(Eval(decl, "{ f() + g(); return s; }"), 21);
    EXPECT_EQ(Eval(decl, "{ f() < g(); return s; }"), 21);
    // Built-in arguments: last first, handed over in written order.
    EXPECT_EQ(Eval(decl, "{ SaveResponse(f(), g(), h(), 4, 5); return s; }"), 321);
    EXPECT_EQ(host.calls.back(), "SaveResponse 321,32,3,4,5");
    // Compound assignment: the left, then the right, then the update; so s is read
    // after h() has changed it: 3 + 3.
    EXPECT_EQ(Eval(decl, "{ s = 0; s += h(); return s; }"), 6);
    // Assignment evaluates the right only.
    EXPECT_EQ(Eval(decl, "{ s = 5; s = s * 2; return s; }"), 10);
}

TEST_F(TaskEvalTest, LogicShortCircuits)
{
    const char* decl =
        "int s;\n"
        "int f() { s = s + 1; 1; }\n";
    EXPECT_EQ(Eval(decl, "{ 0 && f(); return s; }"), 0);
    EXPECT_EQ(Eval(decl, "{ 1 || f(); return s; }"), 0);
    EXPECT_EQ(Eval(decl, "{ 2 && f(); return s; }"), 1);
    EXPECT_EQ(Eval(decl, "{ 0 || f(); return s; }"), 1);
    EXPECT_EQ(Eval("", "return 5 && 7;"), 1);
    EXPECT_EQ(Eval("", "return 0 || -3;"), 1);
    EXPECT_EQ(Eval("", "return 0 || 0;"), 0);
    // Only the chosen branch of a conditional runs.
    EXPECT_EQ(Eval(decl, "{ 1 ? 5 : f(); return s; }"), 0);
    EXPECT_EQ(Eval(decl, "return 0 ? 5 : f() + 7;"), 8);
}

TEST_F(TaskEvalTest, ArithmeticWrapsAndTruncates)
{
    EXPECT_EQ(Eval("", "return 2147483647 + 1;"), -2147483647 - 1);
    EXPECT_EQ(Eval("", "return 0 - 2147483647 - 2;"), 2147483647);
    EXPECT_EQ(Eval("", "return 65536 * 65536;"), 0);
    EXPECT_EQ(Eval("", "return 65537 * 65537;"), 131073); // 2^32 + 2^17 + 1 wraps
    EXPECT_EQ(Eval("", "return -(2147483648);"), -2147483647 - 1);
    EXPECT_EQ(Eval("", "return -7 / 2;"), -3);
    EXPECT_EQ(Eval("", "return -7 % 2;"), -1);
    EXPECT_EQ(Eval("", "return 7 % -2;"), 1);
    EXPECT_EQ(Eval("", "return 7 / -2;"), -3);
}

TEST_F(TaskEvalTest, ComparisonsGiveOneOrZero)
{
    EXPECT_EQ(Eval("", "return (3 < 4) * 100000 + (4 < 3) * 10000 + (3 > 2) * 1000 + (3 <= 3) * 100 + (4 >= 5) * 10 + (2 == 2);"),
              101101);
    EXPECT_EQ(Eval("", "return (2 != 2) * 10 + (2 != 3);"), 1);
    EXPECT_EQ(Eval("", "return (-1 < 0) + (2147483647 > -2147483647);"), 2);
}

TEST_F(TaskEvalTest, AssignmentOperators)
{
    const char* decl = "int x; int y;";
    EXPECT_EQ(Eval(decl, "{ x = 10; y = (x += 5); return y * 100 + x; }"), 1515);
    EXPECT_EQ(Eval(decl, "{ x = 10; x -= 15; return x; }"), -5);
    EXPECT_EQ(Eval(decl, "{ x = 10; x *= -3; return x; }"), -30);
    EXPECT_EQ(Eval(decl, "{ x = -7; x /= 2; return x; }"), -3);
    EXPECT_EQ(Eval(decl, "{ x = 2147483647; x += 1; return x; }"), -2147483647 - 1);
    EXPECT_EQ(Eval(decl, "{ x = 1; y = 2; x = y = 9; return x * 10 + y; }"), 99);
}

TEST_F(TaskEvalTest, IncrementsAndDecrements)
{
    const char* decl = "int x; int y;";
    EXPECT_EQ(Eval(decl, "{ x = 5; y = x++; return y * 10 + x; }"), 56);
    EXPECT_EQ(Eval(decl, "{ x = 5; y = ++x; return y * 10 + x; }"), 66);
    EXPECT_EQ(Eval(decl, "{ x = 5; y = x--; return y * 10 + x; }"), 54);
    EXPECT_EQ(Eval(decl, "{ x = 5; y = --x; return y * 10 + x; }"), 44);
    EXPECT_EQ(Eval(decl, "{ x = 2147483647; x++; return x; }"), -2147483647 - 1);
    // A literal's own storage is incremented from pass to pass.
    Compile("int TaskEntry() 5++;\n");
    EXPECT_EQ(Pass(), 5);
    EXPECT_EQ(Pass(), 6);
    EXPECT_EQ(Pass(), 7);
}

TEST_F(TaskEvalTest, ConstantsAreCopiedPerOccurrence)
{
    EXPECT_EQ(Eval("", "{ TRIAL_HIT = 9; return TRIAL_HIT; }"), 2);
    EXPECT_EQ(compiler.Symbols().FindSymbol("TRIAL_HIT")->value, 2);
    EXPECT_EQ(Eval("", "{ TRIAL_MISS++; return TRIAL_MISS; }"), 3);
}

TEST_F(TaskEvalTest, VariablesKeepTheirValuesAcrossPasses)
{
    Compile("int n;\nint f() { static int k = 10; k = k + 1; }\nint TaskEntry() { n = n + 1; f(); return n * 100 + f(); }\n");
    EXPECT_EQ(Pass(), 112);
    EXPECT_EQ(Pass(), 214);
    // A global of a local's name wins.
    EXPECT_EQ(Eval("int t;", "{ t = 4; return t; }"), 4);
}

TEST_F(TaskEvalTest, ZeroDivisorEndsThePassAndLeavesNoFrame)
{
    const char* text =
        "int zero; int after;\n"
        "int inner() { if (1) { return 10 / zero; } 5; }\n"
        "int outer() { return inner() + 1; }\n"
        "int TaskEntry() { if (nTaskState == 1) return outer(); after = after + 1; return TRIAL_CONTINUE; }\n";
    ASSERT_EQ(Compile(text), TaskCompileStatus::Compiled);
    int outcome = 0;
    EXPECT_TRUE(compiler.Evaluate(outcome));
    EXPECT_EQ(outcome, 4);
    host.nTaskState = 1;
    outcome = 77;
    EXPECT_FALSE(compiler.Evaluate(outcome));
    EXPECT_EQ(outcome, 77);
    EXPECT_TRUE(orvix::g_taskFrames.Empty());
    EXPECT_FALSE(compiler.Evaluate(outcome));
    // Logged once while the failure repeats.
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], "Task evaluation stopped: Division by zero");
    // No abandoned frame makes the next pass think it is returning.
    host.nTaskState = 0;
    EXPECT_TRUE(compiler.Evaluate(outcome));
    EXPECT_EQ(outcome, 4);
    EXPECT_EQ(Var("after"), 2);
    host.nTaskState = 1;
    EXPECT_FALSE(compiler.Evaluate(outcome));
    EXPECT_EQ(host.log.size(), 2u);
}

TEST_F(TaskEvalTest, DivisionOverflowAndRemainderFail)
{
    const char* decl = "int x; int m;";
    int outcome = 3;
    Compile(std::string(decl) + "\nint TaskEntry() { m = 0 - 2147483647 - 1; return m / -1; }\n");
    EXPECT_FALSE(compiler.Evaluate(outcome));
    EXPECT_EQ(host.log.back(), "Task evaluation stopped: Division overflow");
    Compile(std::string(decl) + "\nint TaskEntry() { m = 0 - 2147483647 - 1; return m % -1; }\n");
    EXPECT_FALSE(compiler.Evaluate(outcome));
    Compile(std::string(decl) + "\nint TaskEntry() return 5 % x;\n");
    EXPECT_FALSE(compiler.Evaluate(outcome));
    // A compound division by zero leaves its variable as it was.
    Compile(std::string(decl) + "\nint TaskEntry() { m = 8; m /= x; }\n");
    EXPECT_FALSE(compiler.Evaluate(outcome));
    EXPECT_EQ(Var("m"), 8);
    EXPECT_EQ(outcome, 3);
    EXPECT_EQ(Eval("int y;", "{ y = 0 - 2147483647 - 1; return y / 1; }"), -2147483647 - 1);
}

TEST_F(TaskEvalTest, StaticInitialisationProblemsAtCompileTime)
{
    // A zero divisor while compiling is a task-file error, not a crash.
    EXPECT_EQ(Compile("static int x = 1 / 0;\nint TaskEntry() 4;\n"), TaskCompileStatus::NoProgram);
    EXPECT_EQ(host.log[0], "Task file - Division by zero at line: 1");
    // A return outside any function only gives its value.
    EXPECT_EQ(Compile("static int y = return 6;\nint TaskEntry() y;\n"), TaskCompileStatus::Compiled);
    EXPECT_EQ(Pass(), 6);
    EXPECT_TRUE(orvix::g_taskFrames.Empty());
    // Static initialisers may call functions defined before them.
    EXPECT_EQ(Compile("int f() 3 * 4;\nstatic int z = f();\nint TaskEntry() z;\n"), TaskCompileStatus::Compiled);
    EXPECT_EQ(Pass(), 12);
}

} // namespace
