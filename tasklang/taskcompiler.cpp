#include "tasklang/taskcompiler.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/runtime/clock.h"
#include "platform/text/codepage.h"
#include "tasklang/taskbuiltins.h"
#include "tasklang/taskhost.h"

namespace orvix {

CTaskCompiler::CTaskCompiler(ITaskHost& host) : host_(host), parser_(symbols_, host)
{
    lexer_.Link(&parser_);
}

CTaskCompiler::~CTaskCompiler()
{
    // The tree refers to the symbols' storage: it goes first.
    parser_.Reset();
    symbols_.Clear();
}

void CTaskCompiler::BeginCompile()
{
    parser_.ClearProgram();
    RegisterTaskBuiltins(symbols_, host_);
    parser_.Reset();
    lexer_.Reset();
    failing_ = false;
}

TaskCompileStatus CTaskCompiler::CompileFile(const std::string& path, const std::string& logName)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return TaskCompileStatus::NotFound;
    host_.LogLine("Loading task file: " + (logName.empty() ? path : logName));
    BeginCompile();
    // Binary, with CR LF read as LF by the scanner: a text-mode read.
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return TaskCompileStatus::CannotOpen;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return TaskCompileStatus::CannotOpen;
    // The file is UTF-8 (a line that is not: the code page, as the original's files are);
    // the scanner reads the program's text.
    std::string text;
    TextRefusal why;
    if (!DecodeText(bytes, text, &why)) {
        parser_.line = static_cast<int>(why.line);
        std::string message = RefusalMessage(why, "the task file", false);
        message.pop_back(); // the error's own form ends it with the line
        parser_.ReportTaskError(message);
        return TaskCompileStatus::Failed;
    }
    std::istringstream decoded(std::move(text));
    return Run(decoded);
}

TaskCompileStatus CTaskCompiler::CompileStream(std::istream& in)
{
    BeginCompile();
    return Run(in);
}

TaskCompileStatus CTaskCompiler::CompileText(const std::string& text)
{
    std::istringstream in(text);
    return CompileStream(in);
}

TaskCompileStatus CTaskCompiler::Run(std::istream& in)
{
    if (int* now = host_.BoundVariables().nCurrentTime)
        *now = static_cast<int>(TickMs());
    lexer_.SetInput(&in);
    int result = 1;
    try {
        result = parser_.Parse(lexer_);
    } catch (const std::exception& e) {
        // A built-in run by a static initialisation may throw; the compilation fails.
        parser_.ReportTaskError(e.what());
    } catch (...) {
        parser_.ReportTaskError("Unknown failure");
    }
    lexer_.SetInput(nullptr);
    if (result != 0)
        return TaskCompileStatus::Failed;
    return parser_.GetProgram() ? TaskCompileStatus::Compiled : TaskCompileStatus::NoProgram;
}

bool CTaskCompiler::Evaluate(int& outcome)
{
    CTaskFunctionNode* program = parser_.GetProgram();
    if (!program)
        return false;
    size_t depth = g_taskFrames.Depth();
    try {
        outcome = *program->Eval();
        failing_ = false;
        return true;
    } catch (const std::exception& e) {
        g_taskFrames.Truncate(depth);
        ReportEvalFailure(e.what());
    } catch (...) {
        g_taskFrames.Truncate(depth);
        ReportEvalFailure("unknown failure");
    }
    return false;
}

void CTaskCompiler::ReportEvalFailure(const char* reason)
{
    // A failure that repeats every pass is logged once, not once per pass.
    if (failing_)
        return;
    failing_ = true;
    host_.LogLine(std::string("Task evaluation stopped: ") + reason);
}

} // namespace orvix
