// The Transform expression language: one-line expressions over trial parameters, e.g.
// (A - B) / 2 or (A < B) ? 'yes' : 'no'. Values are CParam: numbers compute as reals,
// comparisons and logic give integers, quoted texts stay texts.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "model/param.h"

namespace orvix {

class CTransformNode {
public:
    CTransformNode() : result_(&value_) {}
    explicit CTransformNode(double v) : value_(nullptr, v), result_(&value_) {}
    explicit CTransformNode(const CParam& v) : value_(v), result_(&value_) {}
    // A node that reads a variable of the caller.
    explicit CTransformNode(CParam* outside) : result_(outside) {}
    virtual ~CTransformNode() = default;
    CTransformNode(const CTransformNode&) = delete;
    CTransformNode& operator=(const CTransformNode&) = delete;

    // Computes the node and returns its value, valid until the next evaluation.
    virtual CParam* Eval() { return result_; }

protected:
    CParam value_;
    CParam* result_;
};

class CTransformBinaryNode : public CTransformNode {
public:
    // op: '+', '-', '*', '/', '>', '<', or one of the two-character tokens below.
    CTransformBinaryNode(CTransformNode* left, CTransformNode* right, int op) : left_(left), right_(right), op_(op) {}
    CParam* Eval() override;

private:
    CTransformNode* left_;
    CTransformNode* right_;
    int op_;
};

class CTransformUnaryNode : public CTransformNode {
public:
    CTransformUnaryNode(CTransformNode* operand, int op) : operand_(operand), op_(op) {}
    CParam* Eval() override;

private:
    CTransformNode* operand_;
    int op_;
};

class CTransformIfNode : public CTransformNode {
public:
    CTransformIfNode(CTransformNode* cond, CTransformNode* then, CTransformNode* otherwise)
        : cond_(cond), then_(then), else_(otherwise) {}
    CParam* Eval() override;

private:
    CTransformNode* cond_;
    CTransformNode* then_;
    CTransformNode* else_;
};

class CTransformFunctionNode : public CTransformNode {
public:
    CTransformFunctionNode(CTransformNode* operand, int function) : operand_(operand), function_(function) {}
    CParam* Eval() override;

private:
    CTransformNode* operand_;
    int function_;
};

// Token codes of the language.
enum TransformToken {
    TT_END = 0,
    TT_EQ = 257, TT_GE, TT_NE, TT_LE, TT_AND, TT_OR,
    TT_SIN, TT_COS, TT_TAN, TT_ASIN, TT_ACOS, TT_ATAN,
    TT_UNKNOWN, TT_NUMBER, TT_VARIABLE, TT_STRING,
};

class CTransformLexer {
public:
    static constexpr size_t kMaxLength = 1000;

    // Takes the expression and the variables it may name. False when the text is longer
    // than the language allows: it is refused, not cut into another expression.
    bool SetInput(const std::string& text, std::vector<CParam*>& variables);
    // The first variable whose name equals the text exactly, or null.
    CParam* FindVariable(const std::string& name) const;

    // The next token; its value is in Number() / Param().
    int Lex();
    double Number() const { return number_; }
    CParam* Param() const { return param_; }
    std::unique_ptr<CParam> TakeString() { return std::move(string_); }
    // The first identifier of the input that named no variable ("" while there is none),
    // so that a refused expression can say what it did not know.
    const std::string& UnknownName() const { return unknown_; }

private:
    std::string text_;
    std::string unknown_;
    size_t pos_ = 0;
    std::vector<CParam*>* variables_ = nullptr;
    double number_ = 0;
    CParam* param_ = nullptr;
    std::unique_ptr<CParam> string_;
};

class CTransformParser {
public:
    explicit CTransformParser(CTransformLexer& lexer) : lexer_(lexer) {}
    // Deletes every node of the previous parse and clears the result.
    void Reset();
    // 0 on success, 1 on failure. After success Result() is the last expression of the
    // input, or null when the input held none.
    int Parse();
    CTransformNode* Result() const { return result_; }

private:
    struct Failure {};
    int Peek();
    int Take();
    CTransformNode* Expression(int minLevel);
    CTransformNode* Primary();
    [[noreturn]] void SyntaxError();
    template <class Node, class... Args>
    Node* Make(Args&&... args)
    {
        nodes_.push_back(std::make_unique<Node>(std::forward<Args>(args)...));
        return static_cast<Node*>(nodes_.back().get());
    }

    CTransformLexer& lexer_;
    std::vector<std::unique_ptr<CTransformNode>> nodes_;
    CTransformNode* result_ = nullptr;
    int lookahead_ = -1;
    double lookNumber_ = 0;
    CParam* lookParam_ = nullptr;
};

} // namespace orvix
