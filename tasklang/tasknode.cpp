#include "tasklang/tasknode.h"

#include "platform/text/numbers.h"

namespace orvix {

CTaskFrameStack g_taskFrames;

namespace {

// Removes the frame it pushed even when the body is abandoned by an exception.
struct FrameGuard {
    FrameGuard() { g_taskFrames.Push(); }
    ~FrameGuard() { g_taskFrames.Pop(); }
    FrameGuard(const FrameGuard&) = delete;
    FrameGuard& operator=(const FrameGuard&) = delete;
};

[[noreturn]] void DivisionFault(int divisor)
{
    throw CTaskEvalError(divisor == 0 ? "Division by zero" : "Division overflow");
}

int Divide(int l, int r)
{
    int q;
    if (!CheckedDiv(l, r, q))
        DivisionFault(r);
    return q;
}

int Remainder(int l, int r)
{
    int q;
    if (!CheckedMod(l, r, q))
        DivisionFault(r);
    return q;
}

} // namespace

int* CTaskFunctionNode::Eval()
{
    FrameGuard frame;
    value = *body->Eval();
    TaskFrame& innermost = g_taskFrames.Innermost();
    if (innermost.returned)
        value = innermost.returnValue;
    return &value;
}

int* CTaskReturnNode::Eval()
{
    value = *operand->Eval();
    // Outside any function (a top-level static initialiser) there is nothing to leave.
    if (!g_taskFrames.Empty()) {
        TaskFrame& innermost = g_taskFrames.Innermost();
        innermost.returned = 1;
        innermost.returnValue = value;
    }
    return &value;
}

int* CTaskIfNode::Eval()
{
    if (g_taskFrames.Returning())
        return result;
    if (*condition->Eval())
        value = *thenNode->Eval();
    else
        value = *elseNode->Eval();
    return &value;
}

int* CTaskBinaryNode::Eval()
{
    if (g_taskFrames.Returning())
        return result;
    switch (op) {
    case OP_ASSIGN:
        value = *right->Eval();
        *left->result = value;
        return &value;
    case OP_SEQUENCE:
        value = *left->Eval();
        if (!g_taskFrames.Returning())
            value = *right->Eval();
        return &value;
    case OP_IF_THEN:
        value = *left->Eval();
        if (value)
            value = *right->Eval();
        return &value;
    case OP_AND:
        value = *left->Eval() != 0 && *right->Eval() != 0;
        return &value;
    case OP_OR:
        value = *left->Eval() != 0 || *right->Eval() != 0;
        return &value;
    case OP_ADD_ASSIGN:
    case OP_SUB_ASSIGN:
    case OP_MUL_ASSIGN:
    case OP_DIV_ASSIGN: {
        int* p = left->Eval();
        int r = *right->Eval();
        if (op == OP_ADD_ASSIGN)
            *p = WrapAdd(*p, r);
        else if (op == OP_SUB_ASSIGN)
            *p = WrapSub(*p, r);
        else if (op == OP_MUL_ASSIGN)
            *p = WrapMul(*p, r);
        else
            *p = Divide(*p, r);
        result = left->Eval();
        return result;
    }
    default:
        break;
    }
    // Plain operators: the right operand runs first.
    int r = *right->Eval();
    int l = *left->Eval();
    switch (op) {
    case OP_ADD: value = WrapAdd(l, r); break;
    case OP_SUB: value = WrapSub(l, r); break;
    case OP_MUL: value = WrapMul(l, r); break;
    case OP_DIV: value = Divide(l, r); break;
    case OP_MOD: value = Remainder(l, r); break;
    case OP_LT: value = l < r; break;
    case OP_GT: value = l > r; break;
    case OP_LE: value = l <= r; break;
    case OP_GE: value = l >= r; break;
    case OP_EQ: value = l == r; break;
    case OP_NE: value = l != r; break;
    default: value = 0; break;
    }
    return &value;
}

int* CTaskUnaryNode::Eval()
{
    if (g_taskFrames.Returning())
        return result;
    int* p = operand->Eval();
    switch (op) {
    case OP_NEGATE: value = WrapNeg(*p); break;
    case OP_NOT: value = *p == 0; break;
    case OP_PRE_INC: value = *p = WrapAdd(*p, 1); break;
    case OP_PRE_DEC: value = *p = WrapSub(*p, 1); break;
    case OP_POST_INC: value = *p; *p = WrapAdd(value, 1); break;
    case OP_POST_DEC: value = *p; *p = WrapSub(value, 1); break;
    default: break;
    }
    return &value;
}

} // namespace orvix
