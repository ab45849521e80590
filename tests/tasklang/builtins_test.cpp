// Built-in functions, bound variables and named constants: registration order, values
// worked out by hand, range checks of indexes and object ids, and the host calls.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>
#include <regex>
#include <set>

#include "platform/runtime/clock.h"
#include "tests/tasklang/test_host.h"

using orvix::TaskCompileStatus;
using orvix_test::TaskFixture;

namespace {

class TaskBuiltinTest : public ::testing::Test, public TaskFixture {};

TEST_F(TaskBuiltinTest, RegistrationOrderAndKinds)
{
    Compile("");
    const char* expected[] = {
        "GetTime", "OnFP", "GetKeyPos", "TurnOnTarget", "TurnOffTarget", "FlipTarget", "TurnOnFig",
        "TurnOffFig", "DoEarlyAct", "DoHitAct", "DoMissAct", "Recording", "GetFPH_Min", "GetFPV_Min",
        "GetGraphParam", "GetGraphParam10", "GetBehavParam", "GetBehavParam10", "SaveKeyState",
        "sin_1000", "cos_1000", "tan_1000", "asin_1000", "acos_1000", "atan_1000", "abs",
        "DisplayVariable", "KeyDown", "FPUpdate",
        "Rand", "ReadAICh_mv", "SendUserMsg", "SetGraphParam", "SetGraphParam10", "SetGraphParamBoth",
        "FPCircle",
        "SaveResponse0", "SaveResponse", "FPRectangle",
        "nCurrentTime", "nKeyPos", "nTaskState",
        "TRUE", "FALSE", "ITI", "ITI2", "TARGET_ON", "TARGET_FLIP", "TARGET_OFF", "FOREP",
        "FOREP1", "FOREP2", "FOREP3", "FOREP4", "FOREP5", "FOREP6", "FOREP7", "FOREP8", "FOREP9", "FOREP10",
        "ISI", "ISI2", "USER_STATE", "KEY_CENTER", "KEY_BACK", "KEY_FORTH", "KEY_LEFT", "KEY_RIGHT",
        "TRIAL_NONE", "TRIAL_EARLY", "TRIAL_HIT", "TRIAL_MISS", "TRIAL_CONTINUE", "TRIAL_END",
        "TRIAL_FAIL", "TRIAL_REPEAT", "VK_CONTROL", "VK_LCONTROL", "VK_RCONTROL", "VK_SHIFT",
        "VK_LSHIFT", "VK_RSHIFT", "VK_LEFT", "VK_RIGHT", "VK_UP", "VK_DOWN",
    };
    const int values[] = {1, 0, 0, 1, 2, 4, 5, 3, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 100,
                          67, 66, 70, 76, 82, 0, 1, 2, 3, 4, 5, 6, 7, 17, 162, 163, 16, 160, 161, 37, 39, 38, 40};
    auto& table = compiler.Symbols();
    ASSERT_EQ(table.Count(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < table.Count(); ++i)
        EXPECT_EQ(table.At(i).name, expected[i]) << i;
    EXPECT_EQ(table.At(13).kind, 0);
    EXPECT_EQ(table.At(14).kind, 4);
    EXPECT_EQ(table.At(29).kind, 5);
    EXPECT_EQ(table.At(35).kind, 7);
    EXPECT_EQ(table.At(38).kind, 8);
    EXPECT_EQ(table.At(39).kind, 1);
    for (int i = 42; i < table.Count(); ++i) {
        EXPECT_EQ(table.At(i).kind, 2);
        EXPECT_EQ(table.At(i).value, values[i - 42]) << table.At(i).name;
    }
    // A second symbol of a name stays in its place in the order, but the first is found.
    orvix::CTaskSymbol* later = table.AddSymbol("TRUE");
    EXPECT_EQ(&table.At(table.Count() - 1), later);
    EXPECT_EQ(table.FindSymbol("TRUE"), &table.At(42));
    table.Clear();
    EXPECT_EQ(table.FindSymbol("TRUE"), nullptr);
}

// The guide for those who write tasks (docs/tasklang.md) lists every built-in function with
// its arguments, every variable the program provides and every constant with its value, as
// the compiler registers them: the page cannot fall behind the language.
TEST_F(TaskBuiltinTest, TheGuideListsWhatTheCompilerKnows)
{
    Compile("");
    std::ifstream guide(std::string(ORVIX_TEST_SOURCE_DIR) + "/../../docs/tasklang.md");
    ASSERT_TRUE(guide);
    const std::regex function(R"(^\| `(\w+)\(([^)]*)\)` \|)"), constant(R"(^\| `(\w+)` \| (-?\d+) \|)"),
        variable(R"(^\| `(\w+)` \|)");
    std::set<std::string> documented, registered;
    std::string section;
    for (std::string line; std::getline(guide, line);) {
        if (line.rfind("## ", 0) == 0)
            section = line.substr(3);
        std::smatch m;
        if (section == "Built-in functions" && std::regex_search(line, m, function)) {
            const std::string args = m[2];
            const long n = args.empty() ? 0 : std::count(args.begin(), args.end(), ',') + 1;
            documented.insert(m[1].str() + "/" + std::to_string(n));
        } else if (section == "Named constants" && std::regex_search(line, m, constant)) {
            documented.insert(m[1].str() + " = " + m[2].str());
        } else if (section == "Variables the program provides" && std::regex_search(line, m, variable)) {
            documented.insert(m[1].str());
        }
    }
    const orvix::CTaskSymbolTable& table = compiler.Symbols();
    for (int i = 0; i < table.Count(); ++i) {
        const orvix::CTaskSymbol& symbol = table.At(i);
        if (orvix::BuiltinArgCount(symbol.kind) >= 0)
            registered.insert(symbol.name + "/" + std::to_string(orvix::BuiltinArgCount(symbol.kind)));
        else if (symbol.kind == orvix::SYM_CONSTANT)
            registered.insert(symbol.name + " = " + std::to_string(symbol.value));
        else
            registered.insert(symbol.name);
    }
    std::vector<std::string> notInTheGuide, unknown;
    std::set_difference(registered.begin(), registered.end(), documented.begin(), documented.end(),
                        std::back_inserter(notInTheGuide));
    std::set_difference(documented.begin(), documented.end(), registered.begin(), registered.end(),
                        std::back_inserter(unknown));
    EXPECT_EQ(notInTheGuide, std::vector<std::string>{});
    EXPECT_EQ(unknown, std::vector<std::string>{});
}

TEST_F(TaskBuiltinTest, BoundVariablesAreTheHostsFields)
{
    host.nKeyPos = 'R';
    EXPECT_EQ(Eval("", "{ nTaskState = TARGET_ON; nCurrentTime = 5; return nKeyPos; }"), 82);
    EXPECT_EQ(host.nTaskState, 2);
    EXPECT_EQ(host.nCurrentTime, 5);
}

TEST_F(TaskBuiltinTest, TrigonometryInThousandths)
{
    EXPECT_EQ(Eval("", "return sin_1000(90000);"), 1000);
    EXPECT_EQ(Eval("", "return sin_1000(30000);"), 499); // 0.49999999998: truncated
    EXPECT_EQ(Eval("", "return cos_1000(0);"), 1000);
    EXPECT_EQ(Eval("", "return tan_1000(45000);"), 999); // pi taken as 3.1415926535
    EXPECT_EQ(Eval("", "return atan_1000(1000);"), 45000);
    EXPECT_EQ(Eval("", "return asin_1000(1000);"), 90000);
    EXPECT_EQ(Eval("", "return acos_1000(0);"), 90000);
    EXPECT_EQ(Eval("", "return asin_1000(-500);"), -30000);
    EXPECT_EQ(Eval("", "return abs(-5) * 10 + abs(3);"), 53);
    EXPECT_EQ(Eval("", "return abs(0 - 2147483647 - 1);"), -2147483647 - 1);
}

TEST_F(TaskBuiltinTest, RandCoversLoToHi)
{
    EXPECT_EQ(Eval("", "return Rand(5, 5);"), 5);
    host.randoms = {16383, 16384, 0, 32767, 16384};
    Compile("int TaskEntry() Rand(0, 1);\n");
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(Pass(), 1);
    Compile("int TaskEntry() Rand(10, 20);\n");
    EXPECT_EQ(Pass(), 10);
    EXPECT_EQ(Pass(), 20);
    // 10 + 16384 * 10 / 32767 + 0.5 = 15.50015...
    EXPECT_EQ(Pass(), 15);
}

TEST_F(TaskBuiltinTest, ParameterReadsAreRangeChecked)
{
    host.graph = {{"RESET", 0}, {"SIZE", 2.37}, {"NEG", -1.25}};
    host.behav = {{"FPWinRad", 300}};
    EXPECT_EQ(Eval("", "return GetGraphParam10(\"SIZE\");"), 23);
    EXPECT_EQ(Eval("", "return GetGraphParam10(2);"), -12);
    EXPECT_EQ(Eval("", "return GetGraphParam(1);"), 2);
    EXPECT_EQ(Eval("", "return GetBehavParam10(0);"), 3000);
    EXPECT_EQ(Eval("", "return GetGraphParam(3) + GetGraphParam(-1) + GetGraphParam10(99) + GetBehavParam(1) + GetBehavParam10(-7);"), 0);
}

TEST_F(TaskBuiltinTest, RendererCommandsCheckTheObjectId)
{
    host.graph = {{"RESET", 0}, {"TARGET", 0}};
    Eval("", "{ SetGraphParam(1, 5); SetGraphParam10(1, 5); SetGraphParam10(0, -3); SendUserMsg(255, 12); }");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"Send 1 5", "Send 1 0.5", "Send 0 -0.3", "Send 255 12"}));
    EXPECT_EQ(host.graph[1].value, 0);

    host.calls.clear();
    Eval("", "{ SendUserMsg(256, 1); SendUserMsg(-1, 1); SetGraphParam(\"Nope\", 1); SetGraphParamBoth(300, 1); }");
    EXPECT_TRUE(host.calls.empty());

    Eval("", "SetGraphParamBoth(1, 7);");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"Send 1 7", "SetGraphParamValue 1,7"}));
    EXPECT_EQ(host.graph[1].value, 7);
}

TEST_F(TaskBuiltinTest, HostCallsAndResults)
{
    host.onFP = 1;
    host.keyPos = 'F';
    host.recording = 1;
    host.fpH = 1.5f;
    host.fpV = -0.51f;
    const char* body =
        "{ TurnOnTarget(); TurnOffTarget(); FlipTarget(); TurnOnFig(); TurnOffFig();\n"
        "  DoEarlyAct(); DoHitAct(); DoMissAct(); SaveKeyState(KEY_LEFT); FPUpdate(0);\n"
        "  FPCircle(1, 2, 3, 4); FPRectangle(1, 2, 3, 4, 5); SaveResponse0(5, 4, 3, 2, 1);\n"
        "  DisplayVariable(42);\n"
        "  return OnFP() * 1000000 + (GetKeyPos() == KEY_FORTH) * 100000 + Recording() * 10000\n"
        "       + KeyDown(VK_SHIFT) * 1000 + KeyDown(VK_UP) * 100 + ReadAICh_mv(2, 1) - 1234; }";
    EXPECT_EQ(Eval("", body), 1111000);
    std::vector<std::string> expected = {
        "TurnOnTarget", "TurnOffTarget", "FlipTarget", "TurnOnFig", "TurnOffFig", "DoEarlyAct",
        "DoHitAct", "DoMissAct", "SaveKeyState 76", "FPUpdate 0", "FPCircle 1,2,3,4",
        "FPRectangle 1,2,3,4,5", "SaveResponse0 5,4,3,2,1",
        // The right operand of + first.
        "ReadAICh_mv 2,1", "KeyDown 38", "KeyDown 16", "GetKeyPos", "OnFP"};
    EXPECT_EQ(host.calls, expected);
    EXPECT_EQ(host.log, std::vector<std::string>{"Task variable evaluating: 42"});
    // Minutes of arc, truncated toward zero: 90 and -30.6.
    EXPECT_EQ(Eval("", "return GetFPH_Min() * 1000 + GetFPV_Min();"), 89970);
}

TEST_F(TaskBuiltinTest, GetTimeReadsTheClock)
{
    orvix::CFakeClock clock;
    orvix::SetClock(&clock);
    clock.SetMs(1234);
    EXPECT_EQ(Eval("", "return GetTime() - GetTime() + GetTime();"), 1234);
    // The compilation sets nCurrentTime.
    EXPECT_EQ(host.nCurrentTime, 1234);
    orvix::SetClock(nullptr);
}

} // namespace
