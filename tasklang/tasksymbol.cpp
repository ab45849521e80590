#include "tasklang/tasksymbol.h"

namespace orvix {

CTaskSymbol* CTaskSymbolTable::FindSymbol(const std::string& name) const
{
    const auto found = first_.find(name);
    return found == first_.end() ? nullptr : found->second;
}

CTaskSymbol* CTaskSymbolTable::AddSymbol(const std::string& name)
{
    auto symbol = std::make_unique<CTaskSymbol>();
    symbol->name = name;
    symbol->kind = SYM_VARIABLE;
    symbol->target = &symbol->value;
    return AppendSymbol(std::move(symbol));
}

CTaskSymbol* CTaskSymbolTable::AppendSymbol(std::unique_ptr<CTaskSymbol> symbol)
{
    CTaskSymbol* added = symbol.get();
    symbols_.push_back(std::move(symbol));
    // A later symbol of the same name is in the table but never found, as in a search in order.
    first_.try_emplace(added->name, added);
    return added;
}

} // namespace orvix
