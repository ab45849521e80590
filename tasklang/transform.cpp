#include "tasklang/transform.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

double D(const CParam* p) { return p->GetDouble(); }
bool T(const CParam* p) { return !(*p == 0); }

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Binding strength of a binary operator; 0 for anything else. The conditional is 1.
int Level(int token)
{
    switch (token) {
    case '?': return 1;
    case TT_AND: case TT_OR: return 2;
    case TT_EQ: case TT_NE: case '<': case '>': case TT_LE: case TT_GE: return 3;
    case '+': case '-': return 4;
    case '*': case '/': return 5;
    default: return 0;
    }
}

} // namespace

CParam* CTransformBinaryNode::Eval()
{
    CParam* l = left_->Eval();
    switch (op_) {
    case TT_AND:
        value_ = T(l) ? static_cast<int>(T(right_->Eval())) : 0;
        return result_;
    case TT_OR:
        value_ = T(l) ? 1 : static_cast<int>(T(right_->Eval()));
        return result_;
    default:
        break;
    }
    CParam* r = right_->Eval();
    switch (op_) {
    case '+': value_ = D(l) + D(r); break;
    case '-': value_ = D(l) - D(r); break;
    case '*': value_ = D(l) * D(r); break;
    case '/': value_ = D(l) / D(r); break;
    case '>': value_ = D(l) > D(r) ? 1 : 0; break;
    case '<': value_ = *l < *r ? 1 : 0; break;
    case TT_LE: value_ = *l <= *r ? 1 : 0; break;
    case TT_GE: value_ = *l >= *r ? 1 : 0; break;
    case TT_EQ: value_ = *l == *r ? 1 : 0; break;
    case TT_NE: value_ = *l != *r ? 1 : 0; break;
    default: break;
    }
    return result_;
}

CParam* CTransformUnaryNode::Eval()
{
    double x = D(operand_->Eval());
    if (op_ == '-')
        value_ = -x;
    else
        value_ = x == 0 ? 1 : 0;
    return result_;
}

CParam* CTransformIfNode::Eval()
{
    value_ = *(T(cond_->Eval()) ? then_->Eval() : else_->Eval());
    return result_;
}

CParam* CTransformFunctionNode::Eval()
{
    double x = D(operand_->Eval());
    switch (function_) {
    case TT_SIN: value_ = std::sin(x); break;
    case TT_COS: value_ = std::cos(x); break;
    case TT_TAN: value_ = std::tan(x); break;
    case TT_ASIN: value_ = std::asin(x); break;
    case TT_ACOS: value_ = std::acos(x); break;
    default: value_ = std::atan(x); break;
    }
    return result_;
}

bool CTransformLexer::SetInput(const std::string& text, std::vector<CParam*>& variables)
{
    variables_ = &variables;
    pos_ = 0;
    unknown_.clear();
    if (text.size() > kMaxLength) {
        text_.clear();
        return false;
    }
    text_ = text;
    return true;
}

CParam* CTransformLexer::FindVariable(const std::string& name) const
{
    if (!variables_)
        return nullptr;
    for (CParam* v : *variables_)
        if (v && v->GetName() == name)
            return v;
    return nullptr;
}

int CTransformLexer::Lex()
{
    static const struct {
        const char* name;
        int token;
    } kFunctions[] = {{"sin", TT_SIN}, {"cos", TT_COS}, {"tan", TT_TAN},
                      {"asin", TT_ASIN}, {"acos", TT_ACOS}, {"atan", TT_ATAN}};
    const size_t n = text_.size();
    while (pos_ < n && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n'))
        ++pos_;
    if (pos_ >= n)
        return TT_END;
    const char c = text_[pos_];
    const char next = pos_ + 1 < n ? text_[pos_ + 1] : '\0';
    static const struct {
        char a, b;
        int token;
    } kPairs[] = {{'>', '=', TT_GE}, {'<', '=', TT_LE}, {'=', '=', TT_EQ},
                  {'!', '=', TT_NE}, {'&', '&', TT_AND}, {'|', '|', TT_OR}};
    for (const auto& p : kPairs) {
        if (c == p.a && next == p.b) {
            pos_ += 2;
            return p.token;
        }
    }
    if (IsDigit(c) || (c == '.' && IsDigit(next))) {
        size_t start = pos_;
        while (pos_ < n && IsDigit(text_[pos_]))
            ++pos_;
        if (pos_ < n && text_[pos_] == '.') {
            ++pos_;
            while (pos_ < n && IsDigit(text_[pos_]))
                ++pos_;
        }
        number_ = ParseDouble(text_.substr(start, pos_ - start));
        return TT_NUMBER;
    }
    if (IsIdentStart(c)) {
        size_t start = pos_;
        while (pos_ < n && IsIdentChar(text_[pos_]))
            ++pos_;
        std::string name = text_.substr(start, pos_ - start);
        // A function name counts only when "(" follows, blanks allowed between.
        size_t after = pos_;
        while (after < n && (text_[after] == ' ' || text_[after] == '\t'))
            ++after;
        if (after < n && text_[after] == '(') {
            for (const auto& f : kFunctions)
                if (name == f.name)
                    return f.token;
        }
        param_ = FindVariable(name);
        if (param_)
            return TT_VARIABLE;
        if (unknown_.empty())
            unknown_ = name;
        UI().Beep();
        return TT_UNKNOWN;
    }
    if (c == '\'') {
        size_t close = text_.find('\'', pos_ + 1);
        if (close != std::string::npos) {
            string_ = std::make_unique<CParam>("", text_.substr(pos_ + 1, close - pos_ - 1).c_str());
            param_ = string_.get();
            pos_ = close + 1;
            return TT_STRING;
        }
    }
    ++pos_;
    return static_cast<unsigned char>(c);
}

void CTransformParser::Reset()
{
    nodes_.clear();
    result_ = nullptr;
    lookahead_ = -1;
}

int CTransformParser::Peek()
{
    if (lookahead_ < 0) {
        lookahead_ = lexer_.Lex();
        lookNumber_ = lexer_.Number();
        lookParam_ = lexer_.Param();
    }
    return lookahead_;
}

int CTransformParser::Take()
{
    int t = Peek();
    lookahead_ = -1;
    return t;
}

void CTransformParser::SyntaxError()
{
    fputs("syntax error\n", stderr);
    UI().Beep();
    throw Failure();
}

CTransformNode* CTransformParser::Primary()
{
    int t = Peek();
    switch (t) {
    case TT_NUMBER:
        Take();
        return Make<CTransformNode>(lookNumber_);
    case TT_VARIABLE:
        Take();
        return Make<CTransformNode>(lookParam_);
    case TT_STRING: {
        Take();
        std::unique_ptr<CParam> text = lexer_.TakeString();
        return Make<CTransformNode>(*text);
    }
    case TT_UNKNOWN:
        throw Failure();
    case TT_SIN: case TT_COS: case TT_TAN: case TT_ASIN: case TT_ACOS: case TT_ATAN: {
        Take();
        if (Take() != '(')
            SyntaxError();
        CTransformNode* operand = Expression(1);
        if (Take() != ')')
            SyntaxError();
        return Make<CTransformFunctionNode>(operand, t);
    }
    case '(': {
        Take();
        CTransformNode* inner = Expression(1);
        if (Take() != ')')
            SyntaxError();
        return inner;
    }
    case '-':
    case '!':
        Take();
        return Make<CTransformUnaryNode>(Primary(), t);
    default:
        SyntaxError();
    }
}

CTransformNode* CTransformParser::Expression(int minLevel)
{
    CTransformNode* lhs = Primary();
    for (;;) {
        int op = Peek();
        int level = Level(op);
        if (level == 0 || level < minLevel)
            return lhs;
        Take();
        if (op == '?') {
            CTransformNode* then = Expression(1);
            if (Take() != ':')
                SyntaxError();
            CTransformNode* otherwise = Expression(1); // right-associative
            lhs = Make<CTransformIfNode>(lhs, then, otherwise);
            continue;
        }
        CTransformNode* rhs = Expression(level + 1);
        lhs = Make<CTransformBinaryNode>(lhs, rhs, op);
    }
}

int CTransformParser::Parse()
{
    try {
        while (Peek() != TT_END)
            result_ = Expression(1);
        return 0;
    } catch (const Failure&) {
        result_ = nullptr;
        lookahead_ = -1;
        return 1;
    }
}

} // namespace orvix
