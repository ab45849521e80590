// libFuzzer target: the task compiler over arbitrary bytes, then two passes of whatever it
// compiled, as the runner would run them. Every input must end in a program, a logged
// task-file error or a logged evaluation failure, with no call frame left behind; a crash,
// a leak, a huge allocation or an input that takes long (libFuzzer's -timeout: the compiler
// bounds the work of a pass and of the static initialisations) is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ui/ui.h"
#include "tests/tasklang/test_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static orvix::CScriptedUI ui;
    ui.messages.clear();
    orvix_test::CTestTaskHost host;
    // Quoted parameter names that resolve, so that calls reading them are reached.
    host.behav = {{"FixTime", 300}, {"FPWinRad", 100}};
    host.graph = {{"TARGET", 1}, {"FIGURE", 2}, {"OR", 0}};
    orvix::CTaskCompiler compiler(host);
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (compiler.CompileText(text) == orvix::TaskCompileStatus::Compiled) {
        for (int pass = 0; pass < 2; ++pass) {
            host.nCurrentTime = pass * 500;
            host.onFP = pass;
            int outcome = 0;
            compiler.Evaluate(outcome);
            host.calls.clear();
        }
    }
    if (!orvix::g_taskFrames.Empty())
        abort();
    return 0;
}
