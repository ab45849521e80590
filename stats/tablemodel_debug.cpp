// Table operations of the debug build of the library only: constructors from a definition,
// assignment, adding and removing columns, and a comma-separated writer.
#include <cassert>
#include <charconv>
#include <cstdio>

#include "analysis/tablemodel.h"

namespace {

CTableColumn* NewColumn(int type)
{
    switch (type) {
    case TABLE_TEXT: return new CStringColumn;
    case TABLE_INT: return new CIntColumn;
    case TABLE_DOUBLE: return new CDoubleColumn;
    default: assert(false); return nullptr;
    }
}

} // namespace

CTableModel::CTableModel(const std::vector<std::string>& names, const std::vector<int>& types)
    : m_bNotOwner(false)
{
    DefineColumns(names, types);
}

CTableModel::CTableModel(const char* name1, int type1, const char* name2, int type2, const char* name3,
                         int type3, const char* name4, int type4, const char* name5, int type5,
                         const char* name6, int type6, const char* name7, int type7, const char* name8,
                         int type8, const char* name9, int type9, const char* name10, int type10)
    : m_bNotOwner(false)
{
    DefineColumns(name1, type1, name2, type2, name3, type3, name4, type4, name5, type5, name6, type6,
                  name7, type7, name8, type8, name9, type9, name10, type10);
}

CTableModel& CTableModel::operator=(const CTableModel& other)
{
    if (&other == this)
        return *this;
    Clear();
    m_bNotOwner = false;
    const int n = other.GetColumnCount();
    m_names.assign(n, std::string());
    m_types.assign(n, 0);
    m_columns.assign(n, nullptr);
    const int rows = other.GetRowCount();
    for (int i = 0; i < n; ++i) {
        m_names[i] = other.m_names[i];
        m_types[i] = other.m_types[i];
        CTableColumn* c = NewColumn(m_types[i]);
        m_columns[i] = c;
        const CTableColumn* from = other.m_columns[i];
        if (!c || !from)
            continue;
        c->Resize(rows);
        for (int r = 0; r < rows; ++r) {
            if (m_types[i] == TABLE_TEXT)
                c->SetString(r, from->GetString(r));
            else if (m_types[i] == TABLE_INT)
                c->SetInt(r, from->GetInt(r));
            else
                c->SetDouble(r, from->GetDouble(r));
        }
    }
    return *this;
}

void CTableModel::AddColumn(const char* name, int type)
{
    const int rows = GetRowCount();
    m_names.emplace_back(name ? name : "");
    m_types.push_back(type);
    CTableColumn* c = NewColumn(type);
    m_columns.push_back(c);
    if (c)
        c->Resize(rows);
}

void CTableModel::RemoveColumns(int first, int count)
{
    if (!m_bNotOwner)
        for (int i = first; i < first + count; ++i)
            delete m_columns[i];
    m_columns.erase(m_columns.begin() + first, m_columns.begin() + first + count);
    m_names.erase(m_names.begin() + first, m_names.begin() + first + count);
    m_types.erase(m_types.begin() + first, m_types.begin() + first + count);
}

void CTableModel::WriteCsv(const char* path) const
{
    FILE* f = fopen(path, "w");
    if (!f)
        return;
    const int n = GetColumnCount();
    for (int i = 0; i < n; ++i)
        fprintf(f, "%s%s", m_names[i].c_str(), i + 1 < n ? ", " : "\n");
    const int rows = GetRowCount();
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < n; ++i) {
            const CTableColumn* c = m_columns[i];
            if (c && m_types[i] == TABLE_TEXT)
                fprintf(f, "%s", c->GetString(r));
            else if (c && (m_types[i] == TABLE_INT || m_types[i] == TABLE_DOUBLE)) {
                // %d and %g as the C locale writes them, whatever locale the program set
                char buf[32];
                auto end = m_types[i] == TABLE_INT
                               ? std::to_chars(buf, buf + sizeof buf, c->GetInt(r)).ptr
                               : std::to_chars(buf, buf + sizeof buf, c->GetDouble(r),
                                               std::chars_format::general, 6).ptr;
                fwrite(buf, 1, end - buf, f);
            }
            fputs(i + 1 < n ? ", " : "\n", f);
        }
    fclose(f);
}
