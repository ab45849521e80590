#include "analysis/selectcases.h"

#include <cstring>

#include "analysis/tablemodel.h"
#include "platform/text/numbers.h"

namespace orvix {

const char* const kCaseOperators[kCaseOperatorCount] = {"=", ">", "<", ">=", "<=", "<>"};

namespace {

// c < 0, 0 or > 0 as the cell is below, equal to or above the value.
bool Keep(int op, int c)
{
    switch (op) {
    case 0: return c == 0;
    case 1: return c > 0;
    case 2: return c < 0;
    case 3: return c >= 0;
    case 4: return c <= 0;
    case 5: return c != 0;
    default: return true;
    }
}

// NaN compares as neither below nor above, nor equal: only "<>" keeps it.
int Compare(double cell, double value)
{
    if (cell < value)
        return -1;
    if (cell > value)
        return 1;
    return cell == value ? 0 : 2;
}

bool KeepNumber(int op, double cell, double value)
{
    int c = Compare(cell, value);
    return c == 2 ? op == 5 : Keep(op, c);
}

} // namespace

void SelectCaseRows(CTableModel& table, int column, int op, const std::string& value)
{
    if (op < 0 || op >= kCaseOperatorCount || column < 0 || column >= table.GetColumnCount())
        return;
    const int type = table.GetColumnType(column);
    const double number = ParseDouble(value);
    const double single = static_cast<float>(number);
    int n = table.GetRowCount();
    for (int r = 0; r < n;) {
        bool keep = true;
        if (type == TABLE_DOUBLE)
            keep = KeepNumber(op, table.GetDouble(r, column), number);
        else if (type == TABLE_INT)
            keep = KeepNumber(op, table.GetInt(r, column), single);
        else if (type == TABLE_TEXT)
            keep = Keep(op, -strcmp(value.c_str(), table.GetText(r, column)));
        if (keep) {
            ++r;
        } else {
            table.EraseRows(r, 1);
            --n;
        }
    }
}

} // namespace orvix
