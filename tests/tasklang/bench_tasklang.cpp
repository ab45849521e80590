// Cost of one evaluation of a typical TaskEntry, as the runner does it once per pass, and
// of compiling task files of 125 KB, 500 KB and 1 MB such as generators write (one branch
// per condition); the compile time should grow with the file, not faster.
// A benchmark, not a test: run build/tests/tasklang/bench_tasklang.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include "tests/common/tempdir.h"
#include "tests/tasklang/sample_task.h"
#include "tests/tasklang/test_host.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Host calls cost what a virtual call costs; nothing is recorded.
class CQuietHost : public orvix_test::CTestTaskHost {
public:
    int OnFP() override { return onFP; }
    void TurnOnTarget() override {}
    void TurnOffTarget() override {}
    void DoHitAct() override {}
    void DoMissAct() override {}
    void DoEarlyAct() override {}
    void SaveResponse(const std::array<int, 5>&, bool) override {}
};

// Passes through whole trials: fixation, target, left key every 40 passes.
void BM_TaskEntryPass(benchmark::State& state)
{
    CQuietHost host;
    host.behav = {{"FixTime", 10}};
    orvix::CTaskCompiler compiler(host);
    if (compiler.CompileText(orvix_test::kSampleTask) != orvix::TaskCompileStatus::Compiled) {
        state.SkipWithError("task did not compile");
        return;
    }
    int outcome = 0;
    int pass = 0;
    long allocationsBefore = g_allocations;
    for (auto _ : state) {
        host.nCurrentTime = pass;
        host.onFP = 1;
        host.nKeyPos = pass % 40 == 39 ? 'L' : 'C';
        compiler.Evaluate(outcome);
        benchmark::DoNotOptimize(outcome);
        ++pass;
    }
    state.counters["allocs/pass"] =
        benchmark::Counter(static_cast<double>(g_allocations - allocationsBefore) / static_cast<double>(pass));
}
BENCHMARK(BM_TaskEntryPass)->Repetitions(5)->ReportAggregatesOnly(true);

// The commonest pass: waiting in FOREP for fixation time to pass.
void BM_TaskEntryWaiting(benchmark::State& state)
{
    CQuietHost host;
    host.behav = {{"FixTime", 1000000000}};
    orvix::CTaskCompiler compiler(host);
    compiler.CompileText(orvix_test::kSampleTask);
    int outcome = 0;
    host.onFP = 1;
    compiler.Evaluate(outcome); // ITI -> FOREP
    for (auto _ : state) {
        compiler.Evaluate(outcome);
        benchmark::DoNotOptimize(outcome);
    }
}
BENCHMARK(BM_TaskEntryWaiting)->Repetitions(5)->ReportAggregatesOnly(true);

// The most work the compiler lets one pass do: calls fanning out to just under its limit
// (about 9.9 million steps). What a task file can at worst cost the experiment loop.
void BM_LargestAllowedPass(benchmark::State& state)
{
    CQuietHost host;
    std::string text = "int x;\nint f0() { x++; }\n";
    for (int k = 1; k <= 6; ++k) {
        text += "int f" + std::to_string(k) + "() {";
        for (int i = 0; i < 10; ++i)
            text += " f" + std::to_string(k - 1) + "();";
        text += " }\n";
    }
    text += "int TaskEntry() { f6(); f5(); f5(); f5(); f5(); f5(); f5(); f5(); f5(); f5(); return 4; }\n";
    orvix::CTaskCompiler compiler(host);
    if (compiler.CompileText(text) != orvix::TaskCompileStatus::Compiled) {
        state.SkipWithError("task did not compile");
        return;
    }
    int outcome = 0;
    for (auto _ : state) {
        compiler.Evaluate(outcome);
        benchmark::DoNotOptimize(outcome);
    }
}
BENCHMARK(BM_LargestAllowedPass)->Unit(benchmark::kMillisecond);

// Compiling the task file.
void BM_CompileTask(benchmark::State& state)
{
    CQuietHost host;
    host.behav = {{"FixTime", 10}};
    orvix::CTaskCompiler compiler(host);
    for (auto _ : state)
        benchmark::DoNotOptimize(compiler.CompileText(orvix_test::kSampleTask));
}
BENCHMARK(BM_CompileTask);

// A generated task of about `bytes` bytes: a function and a counter per condition, ten
// conditions to a group function, groups tried in turn by TaskEntry. Its comments carry letters
// beyond ASCII, as a lab's files do, so the file's text is converted too.
std::string GeneratedTask(size_t bytes)
{
    std::string text = "// Generated: one branch per condition (OR in 0.5\u00b0 steps).\nint tStart;\n";
    std::string groups, entry = "int TaskEntry()\n{\n";
    int group = 0;
    for (int k = 0; text.size() + groups.size() + entry.size() < bytes; ++k) {
        const std::string n = std::to_string(k);
        text += "// Condition " + n + ": 5 \u00b5V at " + n + " \u00d7 0.5\u00b0\nint nCount" + n + ";\nint Cond" + n
                + "()\n{\n    if (GetGraphParam(\"OR\") == " + n + ") {\n        nCount" + n
                + "++;\n        if (nTaskState == ITI && nCurrentTime - tStart >= 500) {\n            TurnOnTarget();\n"
                  "            tStart = nCurrentTime;\n            nTaskState = FOREP;\n        } else if (nTaskState == "
                  "FOREP && OnFP()) {\n            nTaskState = FOREP1;\n        }\n        return TRIAL_CONTINUE;\n"
                  "    }\n    return 0;\n}\n";
        if (k % 10 == 0)
            groups += "int Group" + std::to_string(group) + "()\n{\n";
        groups += "    if (Cond" + n + "()) return TRIAL_CONTINUE;\n";
        if (k % 10 == 9) {
            groups += "    return 0;\n}\n";
            entry += "    if (Group" + std::to_string(group++) + "()) return TRIAL_CONTINUE;\n";
            text += groups;
            groups.clear();
        }
    }
    if (!groups.empty()) {
        text += groups + "    return 0;\n}\n";
        entry += "    if (Group" + std::to_string(group) + "()) return TRIAL_CONTINUE;\n";
    }
    return text + entry + "    return TRIAL_CONTINUE;\n}\n";
}

// Compiling a generated task file, read from the disk as the runner reads it.
void BM_CompileTaskFile(benchmark::State& state)
{
    orvix_test::ScopedTempDir dir("orvix-bench-tasklang");
    const std::string path = dir.Path() + "/Task.c";
    const std::string text = GeneratedTask(static_cast<size_t>(state.range(0)) * 1024);
    std::ofstream(path, std::ios::binary) << text;
    CQuietHost host;
    host.graph = {{"OR", 0}};
    orvix::CTaskCompiler compiler(host);
    for (auto _ : state) {
        if (compiler.CompileFile(path) != orvix::TaskCompileStatus::Compiled) {
            state.SkipWithError(host.log.empty() ? "task did not compile" : host.log.back().c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["symbols"] = compiler.Symbols().Count();
}
BENCHMARK(BM_CompileTaskFile)->Arg(125)->Arg(500)->Arg(1024)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
