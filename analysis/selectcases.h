// The Statistics page's case condition: rows of a table kept by one comparison on one column.
#pragma once
#include <string>

class CTableModel;

namespace orvix {

// The comparison operators in the page's order: "=", ">", "<", ">=", "<=", "<>".
constexpr int kCaseOperatorCount = 6;
extern const char* const kCaseOperators[kCaseOperatorCount];

// Erases in place the rows whose cell of `column` does not satisfy "cell op value". Double
// columns compare as doubles with atof(value), integer columns with that number rounded to
// single precision, text columns by byte order. An operator out of range removes nothing.
void SelectCaseRows(CTableModel& table, int column, int op, const std::string& value);

} // namespace orvix
