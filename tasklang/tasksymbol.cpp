#include "tasklang/tasksymbol.h"

namespace orvix {

CTaskSymbol* CTaskSymbolTable::FindSymbol(const std::string& name) const
{
    for (const auto& symbol : symbols_)
        if (symbol->name == name)
            return symbol.get();
    return nullptr;
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
    if (symbols_.capacity() == symbols_.size())
        symbols_.reserve(symbols_.size() + 100);
    symbols_.push_back(std::move(symbol));
    return symbols_.back().get();
}

} // namespace orvix
