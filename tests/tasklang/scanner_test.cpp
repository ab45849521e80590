// Scanning and parsing: declarations made by the scanner, every error message with its
// line number, the rule priorities and trailing contexts, precedence, and the rule that
// an error before the end of TaskEntry leaves no program.
#include <gtest/gtest.h>

#include "tests/tasklang/test_host.h"

using orvix::TaskCompileStatus;
using orvix_test::TaskFixture;

namespace {

class TaskScannerTest : public ::testing::Test, public TaskFixture {};

TEST_F(TaskScannerTest, UndefinedVariableIsReportedWithItsLine)
{
    std::string text;
    for (int i = 1; i < 12; ++i)
        text += "\n";
    text += "x = 1;\n";
    EXPECT_EQ(Compile(text), TaskCompileStatus::Failed);
    ASSERT_GE(host.log.size(), 2u);
    EXPECT_EQ(host.log[0], "Task file - Variable undefined: \"x\" at line: 12");
    // The name gave no token, so "= 1;" is a syntax error on the same line.
    EXPECT_EQ(host.log[1], "Task file - Unknown task file format at line: 12");
    EXPECT_EQ(ui.beeps, 1);
}

TEST_F(TaskScannerTest, RedeclarationLogsOneErrorAndKeepsOneVariable)
{
    EXPECT_EQ(Compile("int x; int x;\nint TaskEntry() return 4;\n"), TaskCompileStatus::NoProgram);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], "Task file - Variable redefinition: \"int x;\" at line: 1");
    int count = 0;
    for (int i = 0; i < compiler.Symbols().Count(); ++i)
        count += compiler.Symbols().At(i).name == "x";
    EXPECT_EQ(count, 1);
    EXPECT_EQ(compiler.GetProgram(), nullptr);
}

TEST_F(TaskScannerTest, FunctionVariablesAreStoredUnderTheFunctionName)
{
    EXPECT_EQ(Compile("int f() { int t; t = 3; }\nint TaskEntry() { f(); }\n"), TaskCompileStatus::Compiled);
    Pass();
    EXPECT_EQ(Var("ft"), 3);
    EXPECT_EQ(compiler.Symbols().FindSymbol("t"), nullptr);

    // A global of the same name makes the local a redefinition.
    EXPECT_EQ(Compile("int t;\nint f() { static int t; 1; }\n"), TaskCompileStatus::NoProgram);
    EXPECT_EQ(host.log.back(), "Task file - Variable redefinition: \"static int t;\" at line: 2");
}

TEST_F(TaskScannerTest, InitialisersRunAsStatementsOrAtCompileTime)
{
    const char* text =
        "int a = 5;\n"
        "static int b = 5;\n"
        "int f() { int c = 5; static int d = 5; c = c + 1; d = d + 1; }\n"
        "int TaskEntry() f();\n";
    EXPECT_EQ(Compile(text), TaskCompileStatus::Compiled);
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(Var("a"), 0); // a top-level statement never runs
    EXPECT_EQ(Var("b"), 5);
    EXPECT_EQ(Var("fd"), 5);
    Pass();
    Pass();
    EXPECT_EQ(Var("fc"), 6); // assigned 5 at every call
    EXPECT_EQ(Var("fd"), 7); // initialised once
}

TEST_F(TaskScannerTest, IfNeedsAnOpeningParenthesis)
{
    EXPECT_EQ(Eval("int a; int b;", "{ a = 1; if (a) b = 1; if(a)b=b+1; return b; }"), 2);
    EXPECT_EQ(Compile("if = 3;\n"), TaskCompileStatus::Failed);
    EXPECT_EQ(host.log[0], "Task file - Variable undefined: \"if\" at line: 1");
    EXPECT_EQ(Eval("int if;", "{ if = 3; return if; }"), 3);
}

TEST_F(TaskScannerTest, NumbersKeepTheirLeadingDigits)
{
    EXPECT_EQ(Eval("int x;", "{ x = 2.9; return x; }"), 2);
    EXPECT_EQ(Eval("", "return .5;"), 0);
    // 4294967297 = 2^32 + 1 wraps to 1.
    EXPECT_EQ(Eval("", "return 4294967297;"), 1);
    EXPECT_EQ(Eval("", "return 2147483648;"), -2147483647 - 1);
}

TEST_F(TaskScannerTest, KeywordsBeforeAParenthesis)
{
    // The word yields no token; what is left, (1);, still parses.
    EXPECT_EQ(Compile("int TaskEntry() { else (1); }\n"), TaskCompileStatus::NoProgram);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], "Task file - Function undefined: \"else\" at line: 1");
    EXPECT_EQ(Compile("int TaskEntry() { static  (1); }\n"), TaskCompileStatus::NoProgram);
    EXPECT_EQ(host.log.back(), "Task file - Function undefined: \"static\" at line: 1");
    EXPECT_EQ(Eval("", "return(3);"), 3);
    EXPECT_EQ(Eval("", "return (4);"), 4);
}

TEST_F(TaskScannerTest, QuotedParameterNamesBecomeIndexes)
{
    host.behav = {{"FPWinRad", 300}, {"UnitsPerDeg", 60}};
    host.graph = {{"RESET", 0}, {"FPWinRad", 7}, {"TARGET", 1}};
    EXPECT_EQ(Eval("", "return \"UnitsPerDeg\";"), 1);
    // The behaviour table is asked first.
    EXPECT_EQ(Eval("", "return \"FPWinRad\";"), 0);
    EXPECT_EQ(Eval("", "return \"TARGET\";"), 2);
    EXPECT_EQ(Eval("", "return GetBehavParam(\"FPWinRad\");"), 300);
    // An unknown name is -1; reported after TaskEntry, the program stands.
    const char* text =
        "int TaskEntry() 1;\n"
        "static int v = GetBehavParam(\"NoSuchName\") - 5;\n"
        "static int w = \"NoSuchName\";\n";
    EXPECT_EQ(Compile(text), TaskCompileStatus::Compiled);
    EXPECT_EQ(host.log, (std::vector<std::string>{"Task file - Parameter \"NoSuchName\" not found at line: 2",
                                                  "Task file - Parameter \"NoSuchName\" not found at line: 3"}));
    EXPECT_EQ(Var("v"), -5);
    EXPECT_EQ(Var("w"), -1);
}

TEST_F(TaskScannerTest, SyntaxErrorReportsTheLineAndFails)
{
    std::string text = "int x;\n\n\nint TaskEntry()\n{\n  x = 1;\n  x = = 2;\n}\n";
    EXPECT_EQ(Compile(text), TaskCompileStatus::Failed);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], "Task file - Unknown task file format at line: 7");
    EXPECT_EQ(compiler.GetProgram(), nullptr);
}

TEST_F(TaskScannerTest, EmptyBlocksAndEmptyStatementsAreSyntaxErrors)
{
    EXPECT_EQ(Compile("int TaskEntry() {}\n"), TaskCompileStatus::Failed);
    EXPECT_EQ(Compile("int TaskEntry() { ; }\n"), TaskCompileStatus::Failed);
    EXPECT_EQ(Compile("int TaskEntry() return 1;\n"), TaskCompileStatus::Compiled);
    EXPECT_EQ(Compile("int TaskEntry() return 1 \xe9;\n"), TaskCompileStatus::Failed);
    // A NUL byte is no end of the input.
    EXPECT_EQ(Compile(std::string("int TaskEntry() return 1;\n\0 junk", 32)), TaskCompileStatus::Failed);
}

TEST_F(TaskScannerTest, ErrorsBeforeAndAfterTaskEntry)
{
    EXPECT_EQ(Compile("int TaskEntry() return 4;\nint g() return \"Nope\";\n"), TaskCompileStatus::Compiled);
    EXPECT_EQ(host.log.back(), "Task file - Parameter \"Nope\" not found at line: 2");
    EXPECT_EQ(Pass(), 4);

    EXPECT_EQ(Compile("int g() return \"Nope\";\nint TaskEntry() return 4;\n"), TaskCompileStatus::NoProgram);
    EXPECT_EQ(compiler.GetProgram(), nullptr);

    // A syntax error after TaskEntry fails the parse but leaves TaskEntry compiled.
    EXPECT_EQ(Compile("int TaskEntry() return 4;\nint g() { }\n"), TaskCompileStatus::Failed);
    EXPECT_EQ(host.log, std::vector<std::string>{"Task file - Unknown task file format at line: 2"});
    EXPECT_EQ(Pass(), 4);
}

TEST_F(TaskScannerTest, FunctionDefinitionErrors)
{
    Compile("int f() 1;\nint f() 2;\n");
    EXPECT_EQ(host.log[0], "Task file - Function redefinition: \"int f\" at line: 2");

    Compile("int f() {\nint g() 2;\n}\n");
    EXPECT_EQ(host.log[0], "Task file - Local function not allowed: \"int g\" at line: 2");

    // A function can be called only after its definition.
    Compile("int TaskEntry() later();\nint later() 1;\n");
    EXPECT_EQ(host.log[0], "Task file - Function undefined: \"later\" at line: 1");

    // A function name where a value is wanted.
    Compile("int f() 1;\nint f = 2;\n");
    ASSERT_GE(host.log.size(), 2u);
    EXPECT_EQ(host.log[0], "Task file - Variable redefinition: \"int f\" at line: 2");
    EXPECT_EQ(host.log[1], "Task file - Unknow type: \"f\" at line: 2");
}

TEST_F(TaskScannerTest, RecursiveCallIsRefusedAtCompileTime)
{
    EXPECT_EQ(Compile("int f() { return f() + 1; }\nint TaskEntry() return f();\n"), TaskCompileStatus::NoProgram);
    EXPECT_EQ(host.log[0], "Task file - Recursive call not allowed: \"f\" at line: 1");
    EXPECT_EQ(Compile("int TaskEntry() { if (nTaskState) TaskEntry(); 4; }\n"), TaskCompileStatus::NoProgram);
    EXPECT_EQ(host.log.back(), "Task file - Recursive call not allowed: \"TaskEntry\" at line: 1");
    int outcome = 9;
    EXPECT_FALSE(compiler.Evaluate(outcome));
}

TEST_F(TaskScannerTest, HeadingsAndCommentsCountTheirLines)
{
    const char* text =
        "/* a comment\n"
        "   over // lines */ int\n"
        "TaskEntry\n"
        "(\n"
        ") { y; }\n";
    Compile(text);
    EXPECT_EQ(host.log[0], "Task file - Variable undefined: \"y\" at line: 5");

    // "int" at the end of a comment line defines nothing.
    Compile("/* int\nf() */ int g() 1;\nint TaskEntry() f();\n");
    EXPECT_EQ(host.log[0], "Task file - Function undefined: \"f\" at line: 3");
    EXPECT_EQ(Eval("", "return 1; /* unterminated * "), 1);
    // A "*" that is the last character of the input.
    EXPECT_EQ(Compile("int TaskEntry() return 2; /* ends in a star *"), TaskCompileStatus::Compiled);
    EXPECT_EQ(Pass(), 2);
    EXPECT_EQ(Eval("", "return 3; /** / **/ // rest"), 3);
}

TEST_F(TaskScannerTest, CrLfLinesReadAsText)
{
    EXPECT_EQ(Compile("int x;\r\nint TaskEntry()\r\n{\r\n  y = 1;\r\n}\r\n"), TaskCompileStatus::Failed);
    EXPECT_EQ(host.log[0], "Task file - Variable undefined: \"y\" at line: 4");
    EXPECT_EQ(Eval("", "{\r\n return 7;\r\n}"), 7);
}

TEST_F(TaskScannerTest, ErrorTextIsNeverAFormat)
{
    compiler.Parser().ReportTaskError("100%s %d %n");
    EXPECT_EQ(host.log.back(), "Task file - 100%s %d %n at line: 1");
}

TEST_F(TaskScannerTest, PrecedenceAndAssociativity)
{
    const char* vars = "int a; int b; int c; int d;";
    EXPECT_EQ(Eval(vars, "{ a = 1; b = 0; c = 0; return a || b && c; }"), 0);
    // a == b < c is (a == b) < c.
    EXPECT_EQ(Eval(vars, "{ a = 2; b = 2; c = 1; return a == b < c; }"), 0);
    EXPECT_EQ(Eval(vars, "return 2 + 3 * 4 - 6 / 2 % 2;"), 13);
    EXPECT_EQ(Eval(vars, "{ a = b = 3; return a + b; }"), 6);
    // ++a++ is (++a)++: the outer increment changes the inner node's own value, not a.
    EXPECT_EQ(Eval(vars, "{ a = 5; b = ++a++; return b * 100 + a; }"), 606);
    // Postfix binds tighter than negation.
    EXPECT_EQ(Eval(vars, "{ a = 5; b = -a++; return b * 100 + a; }"), -494);
    // In a ? b : c = d the conditional is assigned to: a, b, c keep their values.
    EXPECT_EQ(Eval(vars, "{ a = 1; b = 2; c = 3; a ? b : c = 9; return a * 100 + b * 10 + c; }"), 123);
    EXPECT_EQ(Eval(vars, "{ a = 0; return a ? 1 : b ? 2 : 3; }"), 3);
    // return reaches as far right as it can.
    EXPECT_EQ(Eval(vars, "{ a = 2; return a + 3 * 2; }"), 8);
    // A dangling else belongs to the nearest if.
    EXPECT_EQ(Eval(vars, "{ a = 0; b = 5; if (1) if (a) b = 1; else b = 2; return b; }"), 2);
    EXPECT_EQ(Eval(vars, "{ b = 5; if (0) if (1) b = 1; else b = 2; return b; }"), 5);
    EXPECT_EQ(Eval(vars, "return !0 + !7 + - -3;"), 4);
}

} // namespace
