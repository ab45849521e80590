// A task host for tests: parameter tables by name, bound variables, scripted random
// values, and a record of every call and log line.
#pragma once
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/text/numbers.h"
#include "platform/ui/ui.h"
#include "tasklang/taskcompiler.h"
#include "tasklang/taskhost.h"

namespace orvix_test {

class CTestTaskHost : public orvix::ITaskHost {
public:
    struct Param {
        std::string name;
        double value;
    };

    int FindBehavParam(const std::string& name) override { return Find(behav, name); }
    int FindGraphParam(const std::string& name) override { return Find(graph, name); }
    void LogLine(const std::string& text) override { log.push_back(text); }
    orvix::TaskBoundVariables BoundVariables() override { return {&nCurrentTime, &nKeyPos, &nTaskState}; }

    int GetGraphParamCount() override { return static_cast<int>(graph.size()); }
    int GetGraphParamInt(int i) override { return static_cast<int>(graph.at(i).value); }
    double GetGraphParamReal(int i) override { return graph.at(i).value; }
    int GetBehavParamCount() override { return static_cast<int>(behav.size()); }
    int GetBehavParamInt(int i) override { return static_cast<int>(behav.at(i).value); }
    double GetBehavParamReal(int i) override { return behav.at(i).value; }
    void SetGraphParamValue(int i, int v) override
    {
        graph.at(i).value = v;
        Call("SetGraphParamValue", {i, v});
    }

    void SendObjectCommand(int id, const std::string& text, bool wait) override
    {
        calls.push_back("Send " + orvix::FormatInt(id) + " " + text + (wait ? " wait" : ""));
    }
    void TurnOnTarget() override { Call("TurnOnTarget"); }
    void TurnOffTarget() override { Call("TurnOffTarget"); }
    void FlipTarget() override { Call("FlipTarget"); }
    void TurnOnFig() override { Call("TurnOnFig"); }
    void TurnOffFig() override { Call("TurnOffFig"); }

    int OnFP() override { Call("OnFP"); return onFP; }
    int GetKeyPos() override { Call("GetKeyPos"); return keyPos; }
    float GetFPH() override { return fpH; }
    float GetFPV() override { return fpV; }
    void DoEarlyAct() override { Call("DoEarlyAct"); }
    void DoHitAct() override { Call("DoHitAct"); }
    void DoMissAct() override { Call("DoMissAct"); }
    int ReadAICh_mv(int ch, int gain) override { Call("ReadAICh_mv", {ch, gain}); return 1234; }
    int KeyDown(int vk) override { Call("KeyDown", {vk}); return vk == 16 ? 1 : 0; }
    int NextRandom() override
    {
        int r = randoms.empty() ? 0 : randoms.front();
        if (!randoms.empty())
            randoms.pop_front();
        return r;
    }

    int Recording() override { return recording; }
    void SaveKeyState(int k) override { Call("SaveKeyState", {k}); }
    void SaveResponse(const std::array<int, 5>& v, bool show) override
    {
        Call(show ? "SaveResponse" : "SaveResponse0", {v[0], v[1], v[2], v[3], v[4]});
    }
    void FPUpdate(int flag) override { Call("FPUpdate", {flag}); }
    void FPCircle(int a, int b, int c, int d) override { Call("FPCircle", {a, b, c, d}); }
    void FPRectangle(int a, int b, int c, int d, int e) override { Call("FPRectangle", {a, b, c, d, e}); }

    void Call(const std::string& name, std::vector<int> args = {})
    {
        std::string text = name;
        for (size_t i = 0; i < args.size(); ++i)
            text += (i ? "," : " ") + orvix::FormatInt(args[i]);
        calls.push_back(text);
    }

    std::vector<Param> behav;
    std::vector<Param> graph;
    int nCurrentTime = 0;
    int nKeyPos = 'C';
    int nTaskState = 0;
    int onFP = 0;
    int keyPos = 'C';
    int recording = 0;
    float fpH = 0, fpV = 0;
    std::deque<int> randoms;
    std::vector<std::string> calls;
    std::vector<std::string> log;

private:
    static int Find(const std::vector<Param>& table, const std::string& name)
    {
        for (size_t i = 0; i < table.size(); ++i)
            if (table[i].name == name)
                return static_cast<int>(i);
        return -1;
    }
};

// A compiler over a test host, with a scripted UI that counts the error beeps.
struct TaskFixture {
    orvix::CScriptedUI ui;
    CTestTaskHost host;
    orvix::CTaskCompiler compiler{host};

    // Compiles from memory; the log and the call record start empty.
    orvix::TaskCompileStatus Compile(const std::string& text)
    {
        host.log.clear();
        host.calls.clear();
        return compiler.CompileText(text);
    }
    // The int value of a global or function variable (by its stored name).
    int Var(const std::string& name)
    {
        orvix::CTaskSymbol* s = compiler.Symbols().FindSymbol(name);
        return s && s->target ? *s->target : -999999;
    }
    // One pass: the program's value, or -999999 when it failed.
    int Pass()
    {
        int outcome = -999999;
        compiler.Evaluate(outcome);
        return outcome;
    }
    // Compiles "int TaskEntry() <body>" after the given declarations and runs it once.
    int Eval(const std::string& declarations, const std::string& body)
    {
        Compile(declarations + "\nint TaskEntry()\n" + body + "\n");
        return Pass();
    }
};

} // namespace orvix_test
