#include "analysis/tablemodel.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#ifdef ORVIX_TABLE_DEBUG_OPS
#include <cassert>
#endif

#ifdef ORVIX_TABLE_LIBRARY
inline namespace tarsel_side {
#endif

namespace {

const char kEmpty[] = "";

// Texts handed out by GetText, shared by all tables (not reentrant, as documented).
std::string g_line;
#ifndef ORVIX_TABLE_LIBRARY
char g_number[32];
#endif

// Formatting is locale-free (to_chars behaves as printf in the C locale), so a user's
// decimal comma never reaches a table's text.
const char* FormatIntTo(char* buf, size_t size, int value)
{
    auto r = std::to_chars(buf, buf + size - 1, value);
    *r.ptr = '\0';
    return buf;
}

#ifndef ORVIX_TABLE_LIBRARY
const char* FormatGTo(char* buf, size_t size, double value)
{
    auto r = std::to_chars(buf, buf + size - 1, value, std::chars_format::general, 6);
    if (r.ec != std::errc())
        return strcpy(buf, "####");
    *r.ptr = '\0';
    return buf;
}
#endif

// A number in a row line: "####" when its text would be longer than 15 characters.
void AppendNumber(std::string& line, const char* text)
{
    line += strlen(text) > 15 ? "####" : text;
}

void AppendFixed4(std::string& line, double value)
{
    char buf[400];  // "%.4f" of the largest double fits
    auto r = std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::fixed, 4);
    if (r.ec != std::errc()) {
        line += "####";
        return;
    }
    *r.ptr = '\0';
    AppendNumber(line, buf);
}

CTableColumn* CreateColumn(int type)
{
    switch (type) {
    case TABLE_TEXT: return new CStringColumn;
    case TABLE_INT: return new CIntColumn;
    case TABLE_DOUBLE: return new CDoubleColumn;
    default:
#ifdef ORVIX_TABLE_DEBUG_OPS
        assert(false);
#endif
        return nullptr;
    }
}

// A new column of the given type holding the rows of source.
CTableColumn* CopyColumn(int type, const CTableColumn* source, int rows)
{
    CTableColumn* column = CreateColumn(type);
    if (!column || !source)
        return column;
    column->Resize(rows);
    for (int r = 0; r < rows; ++r) {
        if (type == TABLE_TEXT)
            column->SetString(r, source->GetString(r));
        else if (type == TABLE_INT)
            column->SetInt(r, source->GetInt(r));
        else
            column->SetDouble(r, source->GetDouble(r));
    }
    return column;
}

template <class V>
void EraseRange(V& values, int first, int count)
{
    values.erase(values.begin() + first, values.begin() + first + count);
}

} // namespace

// --- columns ---

CTableColumn::~CTableColumn() = default;
int CTableColumn::GetInt(int) const { return 0; }
double CTableColumn::GetDouble(int) const { return 0.0; }
const char* CTableColumn::GetString(int) const { return kEmpty; }
void CTableColumn::SetString(int, const char*) {}
void CTableColumn::SetDouble(int, double) {}
void CTableColumn::SetInt(int, int) {}

CStringColumn::~CStringColumn() = default;
int CStringColumn::GetSize() const { return static_cast<int>(m_values.size()); }
void CStringColumn::Resize(int n) { m_values.resize(n); }
void CStringColumn::Erase(int first, int count) { EraseRange(m_values, first, count); }
const char* CStringColumn::GetString(int row) const { return m_values[row].c_str(); }
void CStringColumn::SetString(int row, const char* text) { m_values[row] = text ? text : ""; }
void CStringColumn::Reserve(int n) { m_values.reserve(n); }
int CStringColumn::GetCapacity() const { return static_cast<int>(m_values.capacity()); }

CIntColumn::~CIntColumn() = default;
int CIntColumn::GetSize() const { return static_cast<int>(m_values.size()); }
void CIntColumn::Resize(int n) { m_values.resize(n); }
void CIntColumn::Erase(int first, int count) { EraseRange(m_values, first, count); }
int CIntColumn::GetInt(int row) const { return m_values[row]; }
void CIntColumn::SetInt(int row, int value) { m_values[row] = value; }
void CIntColumn::Reserve(int n) { m_values.reserve(n); }
int CIntColumn::GetCapacity() const { return static_cast<int>(m_values.capacity()); }

CDoubleColumn::~CDoubleColumn() = default;
int CDoubleColumn::GetSize() const { return static_cast<int>(m_values.size()); }
void CDoubleColumn::Resize(int n) { m_values.resize(n); }
void CDoubleColumn::Erase(int first, int count) { EraseRange(m_values, first, count); }
double CDoubleColumn::GetDouble(int row) const { return m_values[row]; }
void CDoubleColumn::SetDouble(int row, double value) { m_values[row] = value; }
void CDoubleColumn::Reserve(int n) { m_values.reserve(n); }
int CDoubleColumn::GetCapacity() const { return static_cast<int>(m_values.capacity()); }

// --- table ---

CTableModel::CTableModel() : m_bNotOwner(false) {}

CTableModel::CTableModel(const CTableModel& source) : m_bNotOwner(false)
{
    const int n = source.GetColumnCount();
    m_names.resize(n);
    m_types.resize(n, 0);
    m_columns.resize(n, nullptr);
    const int rows = source.GetRowCount();
    for (int i = 0; i < n; ++i) {
        m_names[i] = source.m_names[i];
        m_types[i] = source.m_types[i];
        m_columns[i] = CopyColumn(m_types[i], source.Column(i), rows);
    }
}

CTableModel::CTableModel(const CTableModel& source, std::vector<int> cols, bool copyColumns)
    : m_bNotOwner(!copyColumns)
{
    const int n = static_cast<int>(cols.size());
    m_names.resize(n);
    m_types.resize(n, 0);
    m_columns.resize(n, nullptr);
    const int rows = source.GetRowCount();
    for (int i = 0; i < n; ++i) {
        const int j = cols[i];
        m_names[i] = source.m_names[j];
        m_types[i] = source.m_types[j];
        m_columns[i] = copyColumns ? CopyColumn(m_types[i], source.Column(j), rows) : source.Column(j);
    }
}

CTableModel::~CTableModel()
{
    Clear();
}

void CTableModel::DefineColumns(const std::vector<std::string>& names, const std::vector<int>& types)
{
    Clear();
    m_names = names;
    m_types = types;
    m_columns.resize(names.size(), nullptr);
    for (size_t i = 0; i < names.size(); ++i)
        m_columns[i] = CreateColumn(types[i]);
}

void CTableModel::Clear()
{
    if (!m_bNotOwner) {
        const int n = GetColumnCount();
        for (int i = 0; i < n && i < static_cast<int>(m_columns.size()); ++i)
            delete m_columns[i];
    }
    m_columns.clear();
    m_names.clear();
    m_types.clear();
}

int CTableModel::GetColumnType(int col) const { return m_types[col]; }
int CTableModel::GetColumnCount() const { return static_cast<int>(m_names.size()); }
const char* CTableModel::GetColumnName(int col) const { return m_names[col].c_str(); }

int CTableModel::GetRowCount() const
{
    if (m_columns.empty() || !m_columns[0])
        return 0;
    return m_columns[0]->GetSize();
}

int CTableModel::GetInt(int row, int col) const
{
    const CTableColumn* c = Column(col);
    return c ? c->GetInt(row) : 0;
}

double CTableModel::GetDouble(int row, int col) const
{
    const CTableColumn* c = Column(col);
    return c ? c->GetDouble(row) : 0.0;
}

const char* CTableModel::GetText(int row, int col) const
{
    if (row >= 0 && col >= 0) {
        const CTableColumn* c = Column(col);
        if (!c)
            return kEmpty;
#ifdef ORVIX_TABLE_LIBRARY
        // The library reads only text cells this way.
        return c->GetString(row);
#else
        switch (m_types[col]) {
        case TABLE_TEXT: return c->GetString(row);
        case TABLE_INT: return FormatIntTo(g_number, sizeof g_number, c->GetInt(row));
        default: return FormatGTo(g_number, sizeof g_number, c->GetDouble(row));
        }
#endif
    }
    g_line.clear();
    const int n = GetColumnCount();
    for (int i = 0; i < n; ++i) {
        if (row < 0) {
            g_line += m_names[i];
        } else if (const CTableColumn* c = Column(i)) {
            char buf[32];
            switch (m_types[i]) {
            case TABLE_TEXT: {
                const char* text = c->GetString(row);
                g_line.append(text, strnlen(text, 12));
                break;
            }
            case TABLE_INT:
                AppendNumber(g_line, FormatIntTo(buf, sizeof buf, c->GetInt(row)));
                break;
            case TABLE_DOUBLE: {
                const double v = c->GetDouble(row);
                if (std::isnan(v))
                    g_line += '.';
                else if (v != DBL_MIN)  // the library's empty cell shows as nothing
                    AppendFixed4(g_line, v);
                break;
            }
            default:
                break;
            }
        }
#ifdef ORVIX_TABLE_DEBUG_OPS
        assert(row < 0 || m_types[i] == TABLE_TEXT || m_types[i] == TABLE_INT || m_types[i] == TABLE_DOUBLE);
#endif
        if (i + 1 < n)
            g_line += '\t';
    }
    return g_line.c_str();
}

void CTableModel::SetInt(int row, int col, int value)
{
    if (CTableColumn* c = Column(col))
        c->SetInt(row, value);
}

void CTableModel::SetDouble(int row, int col, double value)
{
    if (CTableColumn* c = Column(col))
        c->SetDouble(row, value);
}

void CTableModel::SetString(int row, int col, const char* text)
{
    if (CTableColumn* c = Column(col))
        c->SetString(row, text);
}

void CTableModel::SetRowCount(int n)
{
    const int count = GetColumnCount();
    for (int i = 0; i < count; ++i)
        if (CTableColumn* c = Column(i))
            c->Resize(n);
}

void CTableModel::EraseRows(int first, int count)
{
    const int n = GetColumnCount();
    for (int i = 0; i < n; ++i)
        if (CTableColumn* c = Column(i))
            c->Erase(first, count);
}

void CTableModel::ReserveRows(int n)
{
    const int count = GetColumnCount();
    for (int i = 0; i < count; ++i)
        if (CTableColumn* c = Column(i))
            c->Reserve(n);
}

void CTableModel::InsertColumn(int pos, const char* name, int type)
{
    int rows = 0;
    int cap = 0;
    if (!m_columns.empty() && m_columns[0]) {
        rows = m_columns[0]->GetSize();
        cap = m_columns[0]->GetCapacity();
    }
    m_names.insert(m_names.begin() + pos, name ? name : "");
    m_types.insert(m_types.begin() + pos, type);
    CTableColumn* column = CreateColumn(type);
    m_columns.insert(m_columns.begin() + pos, column);
    if (column) {
        column->Resize(rows);
        column->Reserve(cap);
    }
}

#ifdef ORVIX_TABLE_LIBRARY

void CTableModel::DefineColumns(const char* name1, int type1, const char* name2, int type2,
                                const char* name3, int type3, const char* name4, int type4,
                                const char* name5, int type5, const char* name6, int type6,
                                const char* name7, int type7, const char* name8, int type8,
                                const char* name9, int type9, const char* name10, int type10)
{
    const char* names[] = {name1, name2, name3, name4, name5, name6, name7, name8, name9, name10};
    const int types[] = {type1, type2, type3, type4, type5, type6, type7, type8, type9, type10};
    std::vector<std::string> n;
    std::vector<int> t;
    for (int i = 0; i < 10; ++i) {
        if (i > 0 && !names[i])
            continue;
        n.emplace_back(names[i] ? names[i] : "");
        t.push_back(types[i]);
    }
    DefineColumns(n, t);
}

#endif

#ifdef ORVIX_TABLE_LIBRARY
} // inline namespace tarsel_side
#endif
