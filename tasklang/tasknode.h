// The node tree of a compiled task program and its evaluation. Every node evaluates its
// children through one virtual call and hands back a pointer to the int holding its
// value; the pointer stays valid until the node is evaluated again, so callers copy the
// int at once. Nodes never own their children: the parser owns every node.
#pragma once
#include <algorithm>
#include <array>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvix {

class ITaskHost;

// Where the work count of a node stops growing: far above any limit the compiler sets, far
// below what the sum of a node's children could overflow.
inline constexpr int kTaskCostCap = 1 << 28;

// An evaluation that cannot go on (zero divisor, INT_MIN / -1). The evaluation is
// abandoned; the caller keeps its previous result.
class CTaskEvalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One call of a user function, for carrying `return` out of nested statements.
struct TaskFrame {
    int returned = 0;
    int returnValue = 0;
};

// The call-frame stack: innermost frame last. Empty between evaluations.
class CTaskFrameStack {
public:
    CTaskFrameStack() { frames_.reserve(64); }
    bool Returning() const { return !frames_.empty() && frames_.back().returned != 0; }
    bool Empty() const { return frames_.empty(); }
    size_t Depth() const { return frames_.size(); }
    void Push() { frames_.push_back(TaskFrame{}); }
    void Pop() { frames_.pop_back(); }
    TaskFrame& Innermost() { return frames_.back(); }
    // Drops the frames of an abandoned evaluation.
    void Truncate(size_t depth)
    {
        if (frames_.size() > depth)
            frames_.resize(depth);
    }

private:
    std::vector<TaskFrame> frames_;
};

extern CTaskFrameStack g_taskFrames;

// The plain value node: a literal (result = its own value) or a reference to outside
// storage such as a variable (result = that storage).
class CTaskNode {
public:
    explicit CTaskNode(int number) : value(number), result(&value) {}
    explicit CTaskNode(int* storage) : value(0), result(storage) {}
    virtual ~CTaskNode() = default;
    CTaskNode(const CTaskNode&) = delete;
    CTaskNode& operator=(const CTaskNode&) = delete;

    virtual int* Eval() { return result; }

    int value;
    int* result;
    // Levels of evaluation below and including this node (a call counts its callee), so
    // that the compiler can refuse trees too deep for the machine stack.
    int depth = 1;
    // Most work one evaluation of this node can do, in steps (one per node evaluated, more
    // for a built-in that reaches a device, the renderer or the log; a call counts its
    // callee). The language has no loops and no recursion, so this bounds a pass, and the
    // compiler refuses what would stall the experiment loop. Saturates at kTaskCostCap.
    int cost = 1;

protected:
    static int Deeper(std::initializer_list<const CTaskNode*> children)
    {
        int deepest = 0;
        for (const CTaskNode* child : children)
            if (child && child->depth > deepest)
                deepest = child->depth;
        return deepest + 1;
    }
    // own + the children's costs (a child evaluated twice is listed twice).
    static int Costlier(long long own, std::initializer_list<const CTaskNode*> children)
    {
        long long sum = own;
        for (const CTaskNode* child : children)
            if (child)
                sum += child->cost;
        return sum > kTaskCostCap ? kTaskCostCap : static_cast<int>(sum);
    }
};

// A named constant: the value field holds it, Eval hands out a copy, so writing through
// the returned pointer never changes the constant.
class CTaskConstNode : public CTaskNode {
public:
    explicit CTaskConstNode(int constant) : CTaskNode(constant) {}
    int* Eval() override
    {
        copy = value;
        return &copy;
    }
    int copy = 0;
};

// A function definition: one frame per call.
class CTaskFunctionNode : public CTaskNode {
public:
    explicit CTaskFunctionNode(CTaskNode* body) : CTaskNode(0), body(body)
    {
        depth = Deeper({body});
        cost = Costlier(1, {body});
    }
    int* Eval() override;
    CTaskNode* body;
};

class CTaskCallNode : public CTaskNode {
public:
    explicit CTaskCallNode(CTaskFunctionNode* function) : CTaskNode(0), function(function)
    {
        depth = Deeper({function});
        cost = Costlier(1, {function});
    }
    int* Eval() override
    {
        value = *function->Eval();
        return &value;
    }
    CTaskFunctionNode* function;
};

class CTaskReturnNode : public CTaskNode {
public:
    explicit CTaskReturnNode(CTaskNode* operand) : CTaskNode(0), operand(operand)
    {
        depth = Deeper({operand});
        cost = Costlier(1, {operand});
    }
    int* Eval() override;
    CTaskNode* operand;
};

// if/else and the conditional operator.
class CTaskIfNode : public CTaskNode {
public:
    CTaskIfNode(CTaskNode* condition, CTaskNode* thenNode, CTaskNode* elseNode)
        : CTaskNode(0), condition(condition), thenNode(thenNode), elseNode(elseNode)
    {
        depth = Deeper({condition, thenNode, elseNode});
        cost = Costlier(1, {condition, thenNode, elseNode});
    }
    int* Eval() override;
    CTaskNode* condition;
    CTaskNode* thenNode;
    CTaskNode* elseNode;
};

// Binary operator codes; besides C's operators, the statement sequence and if-then.
enum TaskBinaryOp : char {
    OP_ASSIGN = '=',
    OP_ADD = '+',
    OP_SUB = '-',
    OP_MUL = '*',
    OP_DIV = '/',
    OP_MOD = '%',
    OP_LT = '<',
    OP_GT = '>',
    OP_LE = 'l',
    OP_GE = 'g',
    OP_EQ = 'e',
    OP_NE = 'n',
    OP_AND = '&',
    OP_OR = '|',
    OP_SEQUENCE = ';',
    OP_IF_THEN = 'i',
    OP_ADD_ASSIGN = 'A',
    OP_SUB_ASSIGN = 'S',
    OP_MUL_ASSIGN = 'M',
    OP_DIV_ASSIGN = 'D',
};

class CTaskBinaryNode : public CTaskNode {
public:
    CTaskBinaryNode(char op, CTaskNode* left, CTaskNode* right)
        : CTaskNode(0), left(left), right(right), op(op)
    {
        depth = Deeper({left, right});
        if (op == OP_ASSIGN)  // the left side is only written to
            cost = Costlier(1, {right});
        else if (op == OP_ADD_ASSIGN || op == OP_SUB_ASSIGN || op == OP_MUL_ASSIGN || op == OP_DIV_ASSIGN)
            cost = Costlier(1, {left, left, right});
        else
            cost = Costlier(1, {left, right});
    }
    int* Eval() override;
    CTaskNode* left;
    CTaskNode* right;
    char op;
};

enum TaskUnaryOp : char {
    OP_NEGATE = '-',
    OP_NOT = '!',
    OP_PRE_INC = 'I',
    OP_POST_INC = 'i',
    OP_PRE_DEC = 'D',
    OP_POST_DEC = 'd',
};

class CTaskUnaryNode : public CTaskNode {
public:
    CTaskUnaryNode(char op, CTaskNode* operand) : CTaskNode(0), operand(operand), op(op)
    {
        depth = Deeper({operand});
        cost = Costlier(1, {operand});
    }
    int* Eval() override;
    CTaskNode* operand;
    char op;
};

// A built-in function: the arguments arrive as pointers to their ints (a plain variable
// argument is the variable's own storage), in written order.
using TaskBuiltinFn = int (*)(ITaskHost& host, int* const* args);

template <int N>
class CTaskBuiltinNode : public CTaskNode {
public:
    // weight: the steps the built-in itself counts for.
    CTaskBuiltinNode(TaskBuiltinFn fn, ITaskHost* host, const std::array<CTaskNode*, N>& args, int weight)
        : CTaskNode(0), args(args), fn(fn), host(host)
    {
        long long sum = weight;
        for (const CTaskNode* arg : args) {
            depth = std::max(depth, arg->depth + 1);
            sum += arg->cost;
        }
        cost = sum > kTaskCostCap ? kTaskCostCap : static_cast<int>(sum);
    }
    int* Eval() override
    {
        if constexpr (N == 0) {
            value = fn(*host, nullptr);
        } else {
            int* pointers[N];
            // Last argument first.
            for (int i = N - 1; i >= 0; --i)
                pointers[i] = args[i]->Eval();
            value = fn(*host, pointers);
        }
        return &value;
    }
    std::array<CTaskNode*, N> args;
    TaskBuiltinFn fn;
    ITaskHost* host;
};

} // namespace orvix
