// CTaskParser: the compiler's back half. It owns every node a parse builds (nodes never
// own each other), keeps the compiler state shared with the scanner (line counter,
// first-error flag, name of the function being defined), reports task-file errors and
// runs the generated LALR(1) grammar.
#pragma once
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "tasklang/tasknode.h"

namespace orvix {

class CTaskLexer;
class CTaskSymbolTable;
class ITaskHost;
struct CTaskSymbol;

class CTaskParser {
public:
    CTaskParser(CTaskSymbolTable& symbols, ITaskHost& host);
    ~CTaskParser();
    CTaskParser(const CTaskParser&) = delete;
    CTaskParser& operator=(const CTaskParser&) = delete;

    // Deletes every node of the previous parse, forgets the program, line 1, first-error
    // flag set, no current function.
    void Reset();
    // Parses what the lexer reads: 0 on success, 1 on failure. Never exits the process.
    int Parse(CTaskLexer& lexer);

    // The function node of TaskEntry, when it was compiled before any error; else null.
    CTaskFunctionNode* GetProgram() const { return program_; }
    void ClearProgram() { program_ = nullptr; }

    // Logs "Task file - <message> at line: <n>"; the first error of a parse also beeps.
    // The parse goes on.
    void ReportTaskError(const std::string& message);

    int line = 1;
    bool firstError = true;
    std::string functionName;

    CTaskSymbolTable& Symbols() { return symbols_; }
    ITaskHost& Host() { return host_; }
    size_t NodeCount() const { return nodes_.size(); }

    // ---- Used by the grammar's actions ----
    // Deepest tree the evaluation may recurse through; a deeper one fails the
    // compilation instead of overflowing the machine stack when it runs.
    static constexpr int kMaxDepth = 10000;
    // Most work one call of a function may do, in steps (CTaskNode::cost): some tens of
    // milliseconds. A function that could do more fails the compilation, so that no task
    // file can stall the experiment loop; a typical TaskEntry needs a few hundred steps.
    // The static initialisations of one compilation share the same allowance.
    static constexpr int kMaxWork = 10'000'000;

    template <class T, class... Args>
    T* New(Args&&... args)
    {
        auto node = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = node.get();
        nodes_.push_back(std::move(node));
        if (raw->depth > kMaxDepth)
            TooDeep();
        // Outside functions only static initialisations run; StaticInit weighs them.
        if (raw->cost > kMaxWork && !functionName.empty())
            TooMuchWork("Too much work in one call of \"" + functionName + "\"");
        return raw;
    }
    CTaskNode* MakeVariable(CTaskSymbol* symbol);
    CTaskNode* MakeCall(CTaskSymbol* symbol);
    CTaskNode* MakeBuiltin(CTaskSymbol* symbol, std::initializer_list<CTaskNode*> args);
    // A static initialisation runs now, at compile time; its node is the left side.
    CTaskNode* StaticInit(CTaskNode* left, CTaskNode* right);
    CTaskNode* FinishFunction(CTaskSymbol* symbol, CTaskNode* body);

private:
    [[noreturn]] void TooDeep();
    [[noreturn]] void TooMuchWork(const std::string& what);

    CTaskSymbolTable& symbols_;
    ITaskHost& host_;
    std::vector<std::unique_ptr<CTaskNode>> nodes_;
    CTaskFunctionNode* program_ = nullptr;
    // Steps the static initialisations of this compilation may still take.
    long long staticWorkLeft_ = kMaxWork;
};

} // namespace orvix
