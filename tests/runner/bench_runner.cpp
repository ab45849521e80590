// Cost of one whole experiment pass of the task runner (Step, then SampleEye) with a
// typical fixation task, the simulated digital-I/O board and spike counter, and a renderer
// that takes commands without a network round trip. A benchmark, not a test: run
// build/tests/runner/bench_runner.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "model/trial.h"
#include "platform/devices/devicecall.h"
#include "platform/runtime/clock.h"
#include "platform/settings/registry.h"
#include "runner/experiment.h"
#include "tests/common/tempdir.h"
#include "tests/common/test_support.h"
#include "tests/runner/fixation_task.h"

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


// A key that always reads centre, answered in place: the pass without the simulated
// driver's request objects.
class CCentreKey : public orvix::IDevice {
public:
    uint32_t DeviceIoControl(uint32_t, const void*, uint32_t, void* out, uint32_t outSize, uint32_t& returned) override
    {
        if (outSize >= 1) {
            *static_cast<uint8_t*>(out) = 'C';
            returned = 1;
        }
        return 0;
    }
};

// range(0): 0 the simulated digital-I/O driver, 1 a key answered in place.
void BM_StepPass(benchmark::State& state)
{
    using namespace orvix;
    // Declared first: removed after everything that may still write into it.
    orvix_test::ScopedTempDir temp("orvix-bench");
    const std::string& dir = temp.Path();
    ResetDeviceRegistry();
    if (state.range(0) == 1)
        RegisterDevice(kTrovikDeviceName, [](uint32_t&) { return std::unique_ptr<IDevice>(new CCentreKey); });
    setenv("ORVIX_REGISTRY", (dir + "/Orvix.reg").c_str(), 1);
    ReloadRegistry();
    CExperiment experiment;
    CDeviceIO& deviceIO = experiment.deviceIO;
    COrvixDoc doc;
    experiment.Attach(&doc);
    const char* names[] = {"RESET", "TARGET", "FIGURE", "TPOSH", "TPOSV"};
    for (int i = 0; i < 5; ++i)
        doc.Table(KIND_GRAPH).Add(new CParam(names[i], "0"));
    doc.GetBehavParam("SGI", CParam(nullptr, "127.0.0.1"));
    doc.GetBehavParam("SerialPort", CParam(nullptr, "/nonexistent/orvix-tty"));
    doc.GetBehavParam("FixTime", CParam(nullptr, 20));
    doc.GetBehavParam("FPWinRad", CParam(nullptr, 100000));
    setenv("ORVIX_RENDERER_PORT", "1", 1);
    deviceIO.SetAnalogLibraryName("orvix-no-such-library");
    deviceIO.Open(&doc);
    deviceIO.SetRendererRunningForTest(true);
    long commands = 0;
    deviceIO.sendHookForTest = [&](int, const std::string&, bool) { ++commands; };
    std::string task = dir + "/task.c";
    orvix_test::WriteFile(task, FixationTask(50, "SaveResponse0"));
    doc.GetBehavParam("TaskFile", CParam(nullptr, task.c_str()));
    experiment.runner.LoadParameters(&doc);
    if (!experiment.runner.HasProgram()) {
        state.SkipWithError("task did not compile");
        return;
    }
    experiment.runner.SetRunFlag(1);

    // Trials are reused as the Test page would create them; their arrays keep capacity.
    CTrial trials[2];
    int next = 0;
    long trialsRun = 0;
    experiment.runner.SetPendingTrial(&trials[next]);
    auto pass = [&] {
        int outcome = experiment.runner.Step();
        experiment.runner.SampleEye();
        if (outcome != TRIAL_CONTINUE) {
            ++trialsRun;
            next ^= 1;
            experiment.runner.SetPendingTrial(&trials[next]);
        }
        return outcome;
    };
    // Two trials on each record first, so that their event arrays have their room.
    while (trialsRun < 4)
        pass();
    trialsRun = 0;
    // Allocations of the passes, and those of the passes that end a trial, where the trial's
    // own arrays may still grow (a trial with more spikes than any before it).
    long passAllocations = 0, endAllocations = 0;
    for (auto _ : state) {
        long before = g_allocations.load(std::memory_order_relaxed);
        int outcome = pass();
        long made = g_allocations.load(std::memory_order_relaxed) - before;
        (outcome == TRIAL_CONTINUE ? passAllocations : endAllocations) += made;
        benchmark::DoNotOptimize(outcome);
    }
    long passes = static_cast<long>(state.iterations()) - trialsRun;
    state.counters["allocs/pass"] = passes > 0 ? static_cast<double>(passAllocations) / passes : 0.0;
    state.counters["allocs/trial end"] = trialsRun > 0 ? static_cast<double>(endAllocations) / trialsRun : 0.0;
    state.counters["trials"] = static_cast<double>(trialsRun);
    state.counters["commands"] = static_cast<double>(commands);
    experiment.runner.EndTrial();
    experiment.runner.SetPendingTrial(nullptr);
    deviceIO.sendHookForTest = nullptr;
    deviceIO.Close();
}
BENCHMARK(BM_StepPass)->Arg(0)->Arg(1)->Repetitions(5)->ReportAggregatesOnly(true)->MinTime(0.5);

} // namespace

BENCHMARK_MAIN();
