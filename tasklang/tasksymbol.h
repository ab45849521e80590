// The task language's symbol table: built-in functions, bound variables, named
// constants, and the variables and functions a task file declares. Lookup is by exact
// name in table order, so a built-in always wins over a later user symbol.
#pragma once
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tasklang/tasknode.h"

namespace orvix {

enum TaskSymbolKind : int {
    SYM_BUILTIN0 = 0,
    SYM_VARIABLE = 1,
    SYM_CONSTANT = 2,
    SYM_FUNCTION = 3,
    SYM_BUILTIN1 = 4,
    SYM_BUILTIN2 = 5,
    SYM_BUILTIN3 = 6,
    SYM_BUILTIN4 = 7,
    SYM_BUILTIN5 = 8,
};

// Argument count of a built-in kind, -1 for any other kind.
inline int BuiltinArgCount(int kind)
{
    if (kind == SYM_BUILTIN0)
        return 0;
    if (kind >= SYM_BUILTIN1 && kind <= SYM_BUILTIN5)
        return kind - 3;
    return -1;
}

struct CTaskSymbol {
    std::string name;
    int value = 0;
    int kind = SYM_VARIABLE;
    // Variables and constants: the int that holds the value (the symbol's own value, or a
    // runner field for a bound variable).
    int* target = nullptr;
    // Built-ins: the operation, and the steps one call counts for in a pass's work.
    TaskBuiltinFn builtin = nullptr;
    int weight = 1;
    // User functions: the definition, null while it is still being read.
    CTaskFunctionNode* function = nullptr;
};

class CTaskSymbolTable {
public:
    CTaskSymbolTable() = default;
    CTaskSymbolTable(const CTaskSymbolTable&) = delete;
    CTaskSymbolTable& operator=(const CTaskSymbolTable&) = delete;

    // First symbol of that name, or null. Constant time, whatever the table's size.
    CTaskSymbol* FindSymbol(const std::string& name) const;
    // A new user variable (value 0, stored in the symbol itself), appended.
    CTaskSymbol* AddSymbol(const std::string& name);
    // Appended; a symbol's name does not change once it is in the table.
    CTaskSymbol* AppendSymbol(std::unique_ptr<CTaskSymbol> symbol);
    // Deletes every symbol.
    void Clear()
    {
        first_.clear();
        symbols_.clear();
    }

    int Count() const { return static_cast<int>(symbols_.size()); }
    CTaskSymbol& At(int i) const { return *symbols_[static_cast<size_t>(i)]; }

private:
    std::vector<std::unique_ptr<CTaskSymbol>> symbols_; // in the order appended
    std::unordered_map<std::string, CTaskSymbol*> first_; // the first symbol of each name
};

} // namespace orvix
