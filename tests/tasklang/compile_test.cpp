// Compiling task files: the load policy (a missing file keeps the program, a failed one
// leaves none), reload, scanner buffers that cannot grow, and a typical task run pass
// by pass.
#include <gtest/gtest.h>

#include "tests/common/test_support.h"
#include "tests/tasklang/sample_task.h"
#include "tests/tasklang/test_host.h"

using orvix::TaskCompileStatus;
using orvix_test::TaskFixture;

namespace {

class TaskCompileTest : public ::testing::Test, public TaskFixture {
protected:
    const orvix_test::ScopedTempDir temp{"orvix-task"};
    std::string dir = temp.Path();
    std::string path = dir + "/Task.c";
};

TEST_F(TaskCompileTest, FileReloadReplacesTheProgram)
{
    orvix_test::WriteFile(path, "int x;\nint TaskEntry() { x++; return x; }\n");
    EXPECT_EQ(compiler.CompileFile(path), TaskCompileStatus::Compiled);
    EXPECT_EQ(host.log, std::vector<std::string>{"Loading task file: " + path});
    EXPECT_EQ(Pass(), 1);
    EXPECT_EQ(Pass(), 2);

    // Reloading starts from fresh symbols: x is 0 again.
    orvix_test::WriteFile(path, "int x;\nint TaskEntry() { x += 10; }\n");
    host.log.clear();
    EXPECT_EQ(compiler.CompileFile(path, "c:\\orvix\\task\\Task.c"), TaskCompileStatus::Compiled);
    EXPECT_EQ(host.log, std::vector<std::string>{"Loading task file: c:\\orvix\\task\\Task.c"});
    EXPECT_EQ(Pass(), 10);
}

TEST_F(TaskCompileTest, MissingFileKeepsThePreviousProgram)
{
    orvix_test::WriteFile(path, "int TaskEntry() TRIAL_END;\n");
    ASSERT_EQ(compiler.CompileFile(path), TaskCompileStatus::Compiled);
    host.log.clear();
    EXPECT_EQ(compiler.CompileFile(dir + "/None.c"), TaskCompileStatus::NotFound);
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(Pass(), 5);
    EXPECT_EQ(compiler.CompileFile(dir), TaskCompileStatus::NotFound);
    EXPECT_EQ(Pass(), 5);
}

TEST_F(TaskCompileTest, BadFileLeavesNoProgram)
{
    orvix_test::WriteFile(path, "int TaskEntry() TRIAL_END;\n");
    ASSERT_EQ(compiler.CompileFile(path), TaskCompileStatus::Compiled);
    orvix_test::WriteFile(path, "int TaskEntry() {\n  x = 1;\n}\n");
    EXPECT_EQ(compiler.CompileFile(path), TaskCompileStatus::Failed);
    EXPECT_EQ(host.log.back(), "Task file - Unknown task file format at line: 2");
    EXPECT_EQ(compiler.GetProgram(), nullptr);
    int outcome = 3;
    EXPECT_FALSE(compiler.Evaluate(outcome));
    EXPECT_EQ(outcome, 3);
    // A file without TaskEntry parses but gives no program either.
    orvix_test::WriteFile(path, "int Other() 1;\n");
    EXPECT_EQ(compiler.CompileFile(path), TaskCompileStatus::NoProgram);
    // The file is UTF-8: the lab's letters are text, one the code page lacks fails it.
    orvix_test::WriteFile(path, "// 5\xC2\xB5V caf\xC3\xA9 30\xC2\xB0\nint TaskEntry() TRIAL_END;\n");
    EXPECT_EQ(compiler.CompileFile(path), TaskCompileStatus::Compiled);
    orvix_test::WriteFile(path, "int TaskEntry() TRIAL_END;\n// caf\xC3\xA9\n/* \xCE\xA9 */\n");
    EXPECT_EQ(compiler.CompileFile(path), TaskCompileStatus::Failed);
    EXPECT_EQ(host.log.back(), "Task file - The letter U+03A9 in the task file cannot be kept: the program's text "
                               "holds only the letters of the code page Windows-1252 at line: 3");
    EXPECT_EQ(compiler.GetProgram(), nullptr);
}

TEST_F(TaskCompileTest, ScannerBufferThatCannotGrowFailsTheCompilation)
{
    // One token longer than the scanner's first buffer (16 KiB) makes it grow.
    std::string longName(100000, 'v');
    std::string text = "int " + longName + ";\nint TaskEntry() " + longName + " = 3;\n";
    EXPECT_EQ(Compile(text), TaskCompileStatus::Compiled);
    EXPECT_EQ(Pass(), 3);

    compiler.SetScannerBufferLimit(40000);
    std::string comment = "/*" + std::string(100000, 'c') + "*/\nint TaskEntry() 1;\n";
    orvix_test::WriteFile(path, comment);
    EXPECT_EQ(compiler.CompileFile(path), TaskCompileStatus::Failed);
    ASSERT_FALSE(host.log.empty());
    // The buffer doubles from 16384 to 32768; the next doubling passes the limit.
    EXPECT_EQ(host.log.back(), "Task file - lex text buffer overflow (32768) at line: 1");
    EXPECT_EQ(compiler.GetProgram(), nullptr);
    // The next compilation works again.
    EXPECT_EQ(Compile("int TaskEntry() 2;\n"), TaskCompileStatus::Compiled);
    EXPECT_EQ(Pass(), 2);
}

TEST_F(TaskCompileTest, TreesTooDeepForTheStackFailTheCompilation)
{
    std::string negations;
    for (int i = 0; i < 9990; ++i)
        negations += "- ";
    EXPECT_EQ(Compile("int TaskEntry() return " + negations + "7;\n"), TaskCompileStatus::Compiled);
    EXPECT_EQ(Pass(), 7);
    EXPECT_EQ(Compile("int TaskEntry() return " + negations + negations + "7;\n"), TaskCompileStatus::Failed);
    EXPECT_EQ(host.log.back(), "Task file - Statements nested too deeply at line: 1");
    // A long block is a deep sequence; a call adds its callee's depth.
    std::string block = "int x;\nint f() {\n";
    for (int i = 0; i < 6000; ++i)
        block += "x++;\n";
    block += "}\n";
    EXPECT_EQ(Compile(block + "int TaskEntry() { f(); x; }\n"), TaskCompileStatus::Compiled);
    EXPECT_EQ(Pass(), 6000);
    std::string fewer;
    for (int i = 0; i < 4500; ++i)
        fewer += "- ";
    EXPECT_EQ(Compile(block + "int g() { 1 + " + fewer + "f(); }\n"), TaskCompileStatus::Failed);
    ASSERT_FALSE(host.log.empty());
    EXPECT_EQ(host.log.back(), "Task file - Statements nested too deeply at line: 6004");
}

// f0 adds one to x; each further function calls the one below ten times, so one call of
// f<k> runs f0 10^k times. Line k + 2 defines f<k>.
std::string FanOut(int functions)
{
    std::string text = "int x;\nint f0(){x++;}\n";
    for (int k = 1; k < functions; ++k) {
        std::string below = "f" + std::to_string(k - 1) + "();";
        text += "int f" + std::to_string(k) + "(){";
        for (int i = 0; i < 10; ++i)
            text += below;
        text += "}\n";
    }
    return text;
}

TEST_F(TaskCompileTest, WorkBeyondWhatAPassMayTakeFailsTheCompilation)
{
    // A million calls in a pass are allowed, and run.
    EXPECT_EQ(Compile(FanOut(7) + "int TaskEntry(){f6();return 4;}\n"), TaskCompileStatus::Compiled);
    EXPECT_EQ(Pass(), 4);
    EXPECT_EQ(Var("x"), 1000000);

    // Ten functions, ten calls each: 10^9 calls in a pass. Refused where the work passes
    // the limit, the second call of f6 in f7.
    const std::string tenLevels = FanOut(10) + "int TaskEntry(){f9();return 4;}\n";
    EXPECT_EQ(Compile(tenLevels), TaskCompileStatus::Failed);
    EXPECT_EQ(host.log, std::vector<std::string>{
                            "Task file - Too much work in one call of \"f7\" (more than 10000000 steps) at line: 9"});
    EXPECT_EQ(compiler.GetProgram(), nullptr);
    // Static initialisations run while compiling: together they get the same allowance,
    // weighed before each runs. The first call of f6 runs, the second is refused.
    EXPECT_EQ(Compile(FanOut(7) + "static int a = f6();\nstatic int b = f6();\nint TaskEntry() 4;\n"),
              TaskCompileStatus::Failed);
    EXPECT_EQ(host.log, std::vector<std::string>{
                            "Task file - Too much work in static initialisations (more than 10000000 steps) at line: 10"});
    EXPECT_EQ(Var("x"), 1000000);
    EXPECT_EQ(Compile(FanOut(10) + "int TaskEntry(){static int s = f9(); return 4;}\n"), TaskCompileStatus::Failed);
    EXPECT_EQ(Var("x"), 0);

    // Built-ins that reach the log, a device or the renderer weigh more than arithmetic:
    // a thousand log lines in one pass are refused, a thousand sums are not.
    const std::string thousand = "int g0(){DisplayVariable(1);}\nint g1(){g0();g0();g0();g0();g0();g0();g0();g0();g0();g0();}\n"
                                 "int g2(){g1();g1();g1();g1();g1();g1();g1();g1();g1();g1();}\n"
                                 "int TaskEntry(){g2();g2();g2();g2();g2();g2();g2();g2();g2();g2();}\n";
    EXPECT_EQ(Compile(thousand), TaskCompileStatus::Failed);
    EXPECT_EQ(host.log.back(), "Task file - Too much work in one call of \"TaskEntry\" (more than 10000000 steps) at line: 4");
    std::string sums = thousand;
    sums.replace(sums.find("DisplayVariable(1)"), 18, "abs(1)");
    EXPECT_EQ(Compile(sums), TaskCompileStatus::Compiled);
}

TEST_F(TaskCompileTest, TypicalTaskRunsTrials)
{
    host.behav = {{"FixTime", 300}};
    ASSERT_EQ(Compile(orvix_test::kSampleTask), TaskCompileStatus::Compiled) << ::testing::PrintToString(host.log);
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(Var("nTrials"), 0);

    auto pass = [&](int now, int key, int onFP) {
        host.nCurrentTime = now;
        host.nKeyPos = key;
        host.onFP = onFP;
        return Pass();
    };
    // A hit: fixation held 300 ms, target shown, left key.
    EXPECT_EQ(pass(1000, 'C', 0), 4);
    EXPECT_EQ(host.nTaskState, 3);
    EXPECT_EQ(pass(1100, 'C', 1), 4);
    EXPECT_EQ(pass(1300, 'C', 1), 4);
    EXPECT_EQ(host.nTaskState, 2);
    EXPECT_EQ(pass(1400, 'C', 1), 4);
    EXPECT_EQ(pass(1650, 'L', 1), 2);
    EXPECT_EQ(host.nTaskState, 0);
    EXPECT_EQ(Var("nTrials"), 1);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"OnFP", "OnFP", "TurnOnTarget", "OnFP", "OnFP",
                                                    "TurnOffTarget", "DoHitAct", "SaveResponse 1,350,0,0,0"}));
    // Breaking fixation after the target is early.
    host.calls.clear();
    EXPECT_EQ(pass(3000, 'C', 1), 4);
    EXPECT_EQ(pass(3300, 'C', 1), 4);
    EXPECT_EQ(pass(3400, 'C', 0), 1);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"OnFP", "TurnOnTarget", "OnFP", "DoEarlyAct", "TurnOffTarget"}));
    // No fixation for over 2 s fails the trial.
    EXPECT_EQ(pass(5000, 'C', 0), 4);
    EXPECT_EQ(pass(7001, 'C', 0), 6);
    EXPECT_EQ(Var("nTrials"), 1);
}

} // namespace

TEST_F(TaskCompileTest, TheShippedExampleTasksAndTheFuzzSeedsCompile)
{
    std::vector<std::string> files{std::string(ORVIX_TEST_SOURCE_DIR) + "/../../examples/Task.c",
                                   std::string(ORVIX_TEST_SOURCE_DIR) + "/../../examples/Fixation.c"};
    for (const char* seed : {"example.c", "sample.c", "fanout.c", "everything.c"})
        files.push_back(std::string(ORVIX_TEST_SOURCE_DIR) + "/../fuzz/corpus/task/" + seed);
    host.behav = {{"FixTime", 300}, {"AnalysisTime", 800}, {"FPWinRad", 300}};
    // OR and the fixation point's place: graph parameters of the demonstration scene.
    host.graph = {{"TARGET", 1}, {"OR", 0}, {"TPOSH", 0}, {"TPOSV", 0}};
    for (const std::string& file : files) {
        host.log.clear();
        EXPECT_EQ(compiler.CompileFile(file), TaskCompileStatus::Compiled) << file;
        EXPECT_EQ(host.log.size(), 1u) << host.log.back();
    }
}
