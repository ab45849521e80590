// CTaskCompiler: the task language as the runner uses it. It holds the symbol table,
// the scanner and the parser; it compiles a task file into the program (the function
// TaskEntry) and evaluates that program once per pass.
#pragma once
#include <cstddef>
#include <istream>
#include <string>

#include "tasklang/tasklexer.h"
#include "tasklang/taskparser.h"
#include "tasklang/tasksymbol.h"

namespace orvix {

class ITaskHost;

enum class TaskCompileStatus {
    Compiled,       // parsed, and TaskEntry became the program
    NoProgram,      // parsed, but TaskEntry is missing or an error came before its end
    Failed,         // the parse failed (message logged); the caller stops the run. A
                    // TaskEntry completed before the failing text is still the program.
    NotFound,       // no such file: nothing was touched, the previous program stays
    CannotOpen,     // the file exists but cannot be read; the previous program is gone
};

class CTaskCompiler {
public:
    explicit CTaskCompiler(ITaskHost& host);
    ~CTaskCompiler();
    CTaskCompiler(const CTaskCompiler&) = delete;
    CTaskCompiler& operator=(const CTaskCompiler&) = delete;

    // Compiles a task file (an already mapped path). Logs "Loading task file: " with
    // the name the user knows (logName, else the path), registers the built-ins anew,
    // deletes the previous tree, sets nCurrentTime, then parses. Errors go to the host's
    // log; nothing here shows a message box or exits.
    TaskCompileStatus CompileFile(const std::string& path, const std::string& logName = std::string());
    // The same for a task read from a stream, or held in memory (no "Loading" line).
    TaskCompileStatus CompileStream(std::istream& in);
    TaskCompileStatus CompileText(const std::string& text);

    CTaskFunctionNode* GetProgram() const { return parser_.GetProgram(); }

    // Evaluates the program once. On success stores its value in outcome and returns
    // true. A failure (zero divisor, INT_MIN / -1, an exception of a built-in) abandons
    // the evaluation, drops its call frames, logs the reason (once while the failure
    // repeats pass after pass) and leaves outcome untouched. False without a program.
    bool Evaluate(int& outcome);

    CTaskSymbolTable& Symbols() { return symbols_; }
    CTaskParser& Parser() { return parser_; }
    // Largest scanner buffer (tests).
    void SetScannerBufferLimit(size_t bytes) { lexer_.SetBufferLimit(bytes); }

private:
    void BeginCompile();
    TaskCompileStatus Run(std::istream& in);
    void ReportEvalFailure(const char* reason);

    ITaskHost& host_;
    CTaskSymbolTable symbols_;
    CTaskParser parser_;
    CTaskLexer lexer_;
    bool failing_ = false;
};

} // namespace orvix
