// Registration of the task language's built-in functions, bound variables and named
// constants, in the order task programs have always seen them.
#pragma once

namespace orvix {

class CTaskSymbolTable;
class ITaskHost;

// Empties the table, then appends the built-ins (by argument count 0, 1, 2, 4, 5), the
// bound variables of the host, and the named constants.
void RegisterTaskBuiltins(CTaskSymbolTable& table, ITaskHost& host);

} // namespace orvix
