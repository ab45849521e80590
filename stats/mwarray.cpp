#include "stats/mwarray.h"

#include <algorithm>
#include <cmath>

namespace tarsel {

void Error(const std::string& msg)
{
    throw mwException(msg);
}

mwArray::mwArray(Class c, size_t rows, size_t cols) : m_class(c), m_rows(rows), m_cols(cols)
{
    // Refuse what the machine cannot hold before the system grants it lazily and the
    // program is killed on first touch: 2^29 elements are 4 GiB of doubles.
    constexpr size_t kMaxElements = size_t(1) << 29;
    if (cols != 0 && rows > kMaxElements / cols)
        throw mwBadAlloc();
    switch (c) {
    case Class::Double:
    case Class::Logical: m_num.assign(rows * cols, 0.0); break;
    case Class::Char: m_chars.assign(rows * cols, ' '); break;
    case Class::Cell: m_cells.resize(rows * cols); break;
    }
}

mwArray mwArray::Filled(size_t rows, size_t cols, double value)
{
    mwArray a(Class::Double, 0, 0);
    if (cols != 0 && rows > (size_t(1) << 29) / cols)
        throw mwBadAlloc();
    a.m_rows = rows;
    a.m_cols = cols;
    a.m_num.assign(rows * cols, value);
    return a;
}

mwArray mwArray::Column(const std::vector<double>& values)
{
    mwArray a(Class::Double, values.size(), 1);
    a.m_num = values;
    return a;
}

mwArray mwArray::FromData(size_t rows, size_t cols, std::vector<double>&& data)
{
    if (data.size() != rows * cols)
        Error("To RESHAPE the number of elements must not change.");
    mwArray a;
    a.m_rows = rows;
    a.m_cols = cols;
    a.m_num = std::move(data);
    return a;
}

mwArray mwArray::Text(const std::string& text)
{
    mwArray a(Class::Char, text.empty() ? 0 : 1, text.size());
    a.m_chars = text;
    return a;
}

mwArray mwArray::CharMatrix(const std::vector<std::string>& rows)
{
    size_t width = 0;
    for (const std::string& r : rows)
        width = std::max(width, r.size());
    mwArray a(Class::Char, rows.size(), width);
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t j = 0; j < rows[i].size(); ++j)
            a.m_chars[j * rows.size() + i] = rows[i][j];
    return a;
}

mwArray mwArray::CellColumn(const std::vector<std::string>& texts)
{
    mwArray a(Class::Cell, texts.size(), 1);
    for (size_t i = 0; i < texts.size(); ++i)
        a.m_cells[i] = Text(texts[i]);
    return a;
}

bool mwArray::IsCellstr() const
{
    if (m_class != Class::Cell)
        return false;
    for (const mwArray& c : m_cells)
        if (!(c.IsChar() && c.m_rows <= 1) && !(c.IsEmpty() && c.m_class == Class::Char))
            return false;
    return true;
}

double mwArray::Scalar() const
{
    if (!IsNumeric() || m_num.empty())
        Error("Index exceeds matrix dimensions.");
    return m_num[0];
}

std::string mwArray::RowText(size_t r) const
{
    std::string s(m_cols, ' ');
    for (size_t j = 0; j < m_cols; ++j)
        s[j] = m_chars[j * m_rows + r];
    return s;
}

mwArray mwArray::Reshaped(size_t rows, size_t cols) const
{
    if (rows * cols != Numel())
        Error("To RESHAPE the number of elements must not change.");
    mwArray a = *this;
    a.m_rows = rows;
    a.m_cols = cols;
    return a;
}

mwArray mwArray::Transposed() const
{
    mwArray a(m_class, m_cols, m_rows);
    for (size_t r = 0; r < m_rows; ++r)
        for (size_t c = 0; c < m_cols; ++c) {
            const size_t from = c * m_rows + r, to = r * m_cols + c;
            switch (m_class) {
            case Class::Double:
            case Class::Logical: a.m_num[to] = m_num[from]; break;
            case Class::Char: a.m_chars[to] = m_chars[from]; break;
            case Class::Cell: a.m_cells[to] = m_cells[from]; break;
            }
        }
    if (!m_imag.empty()) {  // the non-conjugating transpose
        a.m_imag.resize(m_imag.size());
        for (size_t r = 0; r < m_rows; ++r)
            for (size_t c = 0; c < m_cols; ++c)
                a.m_imag[r * m_cols + c] = m_imag[c * m_rows + r];
    }
    return a;
}

mwArray mwArray::SelectRows(const std::vector<bool>& keep) const
{
    size_t n = 0;
    for (size_t r = 0; r < m_rows; ++r)
        n += keep[r];
    mwArray a(m_class, n, m_cols);
    for (size_t c = 0; c < m_cols; ++c) {
        size_t to = c * n;
        for (size_t r = 0; r < m_rows; ++r) {
            if (!keep[r])
                continue;
            const size_t from = c * m_rows + r;
            switch (m_class) {
            case Class::Double:
            case Class::Logical: a.m_num[to] = m_num[from]; break;
            case Class::Char: a.m_chars[to] = m_chars[from]; break;
            case Class::Cell: a.m_cells[to] = m_cells[from]; break;
            }
            ++to;
        }
    }
    return a;
}

std::string TrimTrailing(const std::string& s)
{
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\0'))
        --end;
    return s.substr(0, end);
}

mwArray Cellstr(const mwArray& chars)
{
    if (chars.IsCell())
        return chars;
    if (!chars.IsChar())
        Error("Input must be a string or a cell array of strings.");
    mwArray out = mwArray::Cells(chars.Rows(), 1);
    for (size_t r = 0; r < chars.Rows(); ++r)
        out.Cell(r) = mwArray::Text(TrimTrailing(chars.RowText(r)));
    return out;
}

std::string CellText(const mwArray& cell)
{
    if (!cell.IsChar()) {
        if (cell.IsEmpty())
            return std::string();
        Error("Cell array must contain only strings.");
    }
    return cell.Chars();
}

bool IsWhole(double v)
{
    return std::isfinite(v) && std::floor(v) == v;
}

} // namespace tarsel
