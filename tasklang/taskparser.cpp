#include "tasklang/taskparser.h"

#include <cstdio>
#include <new>

#include "platform/text/numbers.h"
#include "platform/ui/ui.h"
#include "taskgrammar.hpp"
#include "tasklang/taskhost.h"
#include "tasklang/tasklexer.h"
#include "tasklang/tasksymbol.h"

namespace orvix {

namespace {

struct CTaskTooDeep {};
struct CTaskTooMuchWork {
    std::string what;
};

// The token codes scanner and parser have always exchanged.
using Token = CTaskGrammar::token;
static_assert(Token::TOK_EQ == 257 && Token::TOK_GE == 258 && Token::TOK_NE == 259 && Token::TOK_LE == 260);
static_assert(Token::TOK_AND == 261 && Token::TOK_OR == 262 && Token::TOK_IF == 263 && Token::TOK_ELSE == 264);
static_assert(Token::TOK_RETURN == 265 && Token::TOK_STATIC == 266 && Token::TOK_NUMBER == 267);
static_assert(Token::TOK_VARIABLE == 268 && Token::TOK_BUILTIN0 == 269 && Token::TOK_BUILTIN5 == 274);
static_assert(Token::TOK_FUNCDEF == 275 && Token::TOK_FUNCTION == 276 && Token::TOK_ADD_ASSIGN == 277);
static_assert(Token::TOK_SUB_ASSIGN == 278 && Token::TOK_MUL_ASSIGN == 279 && Token::TOK_DIV_ASSIGN == 280);
static_assert(Token::TOK_INC == 282 && Token::TOK_DEC == 283);

} // namespace

void CTaskParser::TooDeep()
{
    throw CTaskTooDeep{};
}

void CTaskParser::TooMuchWork(const std::string& what)
{
    throw CTaskTooMuchWork{Format("%s (more than %d steps)", what.c_str(), kMaxWork)};
}

CTaskParser::CTaskParser(CTaskSymbolTable& symbols, ITaskHost& host) : symbols_(symbols), host_(host) {}

CTaskParser::~CTaskParser() = default;

void CTaskParser::Reset()
{
    program_ = nullptr;
    nodes_.clear();
    line = 1;
    firstError = true;
    functionName.clear();
    staticWorkLeft_ = kMaxWork;
}

void CTaskParser::ReportTaskError(const std::string& message)
{
    host_.LogLine(Format("Task file - %s at line: %d", message.c_str(), line));
    if (firstError) {
        UI().Beep();
        firstError = false;
    }
}

int CTaskParser::Parse(CTaskLexer& lexer)
{
    CTaskGrammar grammar(*this, lexer.Scanner());
    try {
        return grammar.parse() == 0 ? 0 : 1;
    } catch (const CTaskLexerError&) {
        // Only a buffer that could not grow stops the scanner.
        // The refused request was twice the current size plus two end-of-buffer bytes.
        size_t current = lexer.refusedSize_ > 2 ? (lexer.refusedSize_ - 2) / 2 : 0;
        std::string message = Format("lex text buffer overflow (%d)", static_cast<int>(current));
        std::fprintf(stderr, "%s\n", message.c_str());
        ReportTaskError(message);
    } catch (const CTaskTooDeep&) {
        ReportTaskError("Statements nested too deeply");
    } catch (const CTaskTooMuchWork& e) {
        ReportTaskError(e.what);
    } catch (const std::bad_alloc&) {
        std::fputs("yacc stack overflow\n", stderr);
        ReportTaskError("yacc stack overflow");
    }
    return 1;
}

CTaskNode* CTaskParser::MakeVariable(CTaskSymbol* symbol)
{
    if (symbol->kind == SYM_VARIABLE)
        return New<CTaskNode>(symbol->target);
    if (symbol->kind == SYM_CONSTANT)
        return New<CTaskConstNode>(*symbol->target);
    ReportTaskError("Unknow type: \"" + symbol->name + "\"");
    return New<CTaskNode>(0);
}

CTaskNode* CTaskParser::MakeCall(CTaskSymbol* symbol)
{
    // A function is complete only at the end of its definition, so a call from inside
    // it has no callee: refused here, it never reaches evaluation.
    if (!symbol->function) {
        ReportTaskError("Recursive call not allowed: \"" + symbol->name + "\"");
        return New<CTaskNode>(0);
    }
    return New<CTaskCallNode>(symbol->function);
}

CTaskNode* CTaskParser::MakeBuiltin(CTaskSymbol* symbol, std::initializer_list<CTaskNode*> args)
{
    const auto a = args.begin();
    const TaskBuiltinFn fn = symbol->builtin;
    const int w = symbol->weight;
    switch (args.size()) {
    case 0: return New<CTaskBuiltinNode<0>>(fn, &host_, std::array<CTaskNode*, 0>{}, w);
    case 1: return New<CTaskBuiltinNode<1>>(fn, &host_, std::array<CTaskNode*, 1>{a[0]}, w);
    case 2: return New<CTaskBuiltinNode<2>>(fn, &host_, std::array<CTaskNode*, 2>{a[0], a[1]}, w);
    case 3: return New<CTaskBuiltinNode<3>>(fn, &host_, std::array<CTaskNode*, 3>{a[0], a[1], a[2]}, w);
    case 4: return New<CTaskBuiltinNode<4>>(fn, &host_, std::array<CTaskNode*, 4>{a[0], a[1], a[2], a[3]}, w);
    default:
        return New<CTaskBuiltinNode<5>>(fn, &host_, std::array<CTaskNode*, 5>{a[0], a[1], a[2], a[3], a[4]}, w);
    }
}

CTaskNode* CTaskParser::StaticInit(CTaskNode* left, CTaskNode* right)
{
    // They run now, during the compilation: weighed before they run.
    staticWorkLeft_ -= static_cast<long long>(right->cost) + left->cost;
    if (staticWorkLeft_ < 0)
        TooMuchWork("Too much work in static initialisations");
    size_t depth = g_taskFrames.Depth();
    try {
        int value = *right->Eval();
        left->Eval();
        *left->result = value;
    } catch (const CTaskEvalError& e) {
        g_taskFrames.Truncate(depth);
        ReportTaskError(e.what());
    }
    return left;
}

CTaskNode* CTaskParser::FinishFunction(CTaskSymbol* symbol, CTaskNode* body)
{
    auto* function = New<CTaskFunctionNode>(body);
    symbol->function = function;
    if (symbol->name == "TaskEntry" && firstError)
        program_ = function;
    functionName.clear();
    return function;
}

} // namespace orvix
