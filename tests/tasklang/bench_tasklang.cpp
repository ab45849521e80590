// Cost of one evaluation of a typical TaskEntry, as the runner does it once per pass.
// A benchmark, not a test: run build/tests/tasklang/bench_tasklang.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

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

} // namespace

BENCHMARK_MAIN();
