// The results table: named, typed columns with a common row count.
//
// The program and the statistics library (tarsel, tarseld) each compile this class and
// run their own code on the other's objects: the program hands its table to the library,
// and reads the library's result table back. So the record layout of CTableModel and the
// slot order of the column operations below are a binary contract. Nothing may be added
// to, removed from or reordered in them; the static_asserts at the end pin the layout.
//
// Build flavours (compile definitions):
//   ORVIX_TABLE_LIBRARY    the library's copy: single-cell GetText returns the column's
//                          text for every type, and DefineColumns takes (name, type) pairs.
//   ORVIX_TABLE_DEBUG_OPS  the debug library's extra operations (constructors from a
//                          definition, assignment, AddColumn, RemoveColumns, WriteCsv).
// The library's copy lives in its own inline namespace, so a test program that links both
// copies keeps them apart; the layout and the virtual order are the same.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#ifdef _GLIBCXX_DEBUG
#error "The table is shared with the statistics library: containers must keep their normal layout"
#endif

#ifdef ORVIX_TABLE_LIBRARY
inline namespace tarsel_side {
#endif

// Type codes of a column (the parameter type codes): there is no code 2.
enum { TABLE_TEXT = 0, TABLE_INT = 1, TABLE_DOUBLE = 3 };

// One column: a typed vector behind twelve virtual operations, in this slot order.
// A column answers a get of another type with 0, 0.0 or empty text and ignores a set of
// another type; no operation tests its row index.
class CTableColumn {
public:
    virtual ~CTableColumn();                                    // slot 0
    virtual int GetSize() const = 0;                            // slot 1
    virtual void Resize(int n) = 0;                             // slot 2
    virtual void Erase(int first, int count) = 0;               // slot 3
    virtual int GetInt(int row) const;                          // slot 4
    virtual double GetDouble(int row) const;                    // slot 5
    virtual const char* GetString(int row) const;               // slot 6
    virtual void SetString(int row, const char* text);          // slot 7
    virtual void SetDouble(int row, double value);              // slot 8
    virtual void SetInt(int row, int value);                    // slot 9
    virtual void Reserve(int n) = 0;                            // slot 10
    virtual int GetCapacity() const = 0;                        // slot 11
};

class CStringColumn : public CTableColumn {
public:
    ~CStringColumn() override;
    int GetSize() const override;
    void Resize(int n) override;
    void Erase(int first, int count) override;
    const char* GetString(int row) const override;
    void SetString(int row, const char* text) override;
    void Reserve(int n) override;
    int GetCapacity() const override;

    std::vector<std::string> m_values;
};

class CIntColumn : public CTableColumn {
public:
    ~CIntColumn() override;
    int GetSize() const override;
    void Resize(int n) override;
    void Erase(int first, int count) override;
    int GetInt(int row) const override;
    void SetInt(int row, int value) override;
    void Reserve(int n) override;
    int GetCapacity() const override;

    std::vector<int> m_values;
};

class CDoubleColumn : public CTableColumn {
public:
    ~CDoubleColumn() override;
    int GetSize() const override;
    void Resize(int n) override;
    void Erase(int first, int count) override;
    double GetDouble(int row) const override;
    void SetDouble(int row, double value) override;
    void Reserve(int n) override;
    int GetCapacity() const override;

    std::vector<double> m_values;
};

// The table. Rows and columns are 0-based; row comes before column in every argument
// list. Valid indexes are the caller's responsibility: nothing here reports errors.
// A column entry left null by an unknown type code is skipped by every operation.
class CTableModel {
public:
    CTableModel();
    CTableModel(const CTableModel& source);                    // deep copy, owns its columns
    // Columns of source in the order of cols (an index may repeat). Without copyColumns
    // the new table shares source's column objects and must not outlive source.
    CTableModel(const CTableModel& source, std::vector<int> cols, bool copyColumns);
    virtual ~CTableModel();

    void DefineColumns(const std::vector<std::string>& names, const std::vector<int>& types);
    void Clear();

    int GetColumnType(int col) const;
    int GetColumnCount() const;
    const char* GetColumnName(int col) const;
    int GetRowCount() const;

    int GetInt(int row, int col) const;
    double GetDouble(int row, int col) const;
    // A cell's text (row >= 0 and col >= 0), or a whole line: row < 0 gives the header of
    // column names, row >= 0 with col < 0 the row; cells are separated by tabs. The text
    // stays valid until the next GetText on any table.
    const char* GetText(int row, int col) const;

    void SetInt(int row, int col, int value);
    void SetDouble(int row, int col, double value);
    void SetString(int row, int col, const char* text);

    void SetRowCount(int n);
    void EraseRows(int first, int count);
    void ReserveRows(int n);
    void InsertColumn(int pos, const char* name, int type);

#ifdef ORVIX_TABLE_LIBRARY
    // Up to ten (name, type) pairs; the first is always taken, a later pair without a
    // name is skipped.
    void DefineColumns(const char* name1, int type1,
                       const char* name2 = nullptr, int type2 = 0,
                       const char* name3 = nullptr, int type3 = 0,
                       const char* name4 = nullptr, int type4 = 0,
                       const char* name5 = nullptr, int type5 = 0,
                       const char* name6 = nullptr, int type6 = 0,
                       const char* name7 = nullptr, int type7 = 0,
                       const char* name8 = nullptr, int type8 = 0,
                       const char* name9 = nullptr, int type9 = 0,
                       const char* name10 = nullptr, int type10 = 0);
#endif
#ifdef ORVIX_TABLE_DEBUG_OPS
    CTableModel(const std::vector<std::string>& names, const std::vector<int>& types);
    CTableModel(const char* name1, int type1,
                const char* name2 = nullptr, int type2 = 0,
                const char* name3 = nullptr, int type3 = 0,
                const char* name4 = nullptr, int type4 = 0,
                const char* name5 = nullptr, int type5 = 0,
                const char* name6 = nullptr, int type6 = 0,
                const char* name7 = nullptr, int type7 = 0,
                const char* name8 = nullptr, int type8 = 0,
                const char* name9 = nullptr, int type9 = 0,
                const char* name10 = nullptr, int type10 = 0);
    CTableModel& operator=(const CTableModel& other);
    void AddColumn(const char* name, int type);
    void RemoveColumns(int first, int count);
    // Comma-separated text, cells written raw; nothing is written when the file cannot
    // be opened.
    void WriteCsv(const char* path) const;
#else
    CTableModel& operator=(const CTableModel&) = delete;
#endif

private:
    friend struct CTableModelLayout;
    CTableColumn* Column(int col) const { return m_columns[col]; }

    std::vector<CTableColumn*> m_columns;
    std::vector<std::string> m_names;
    std::vector<int> m_types;
    bool m_bNotOwner;
};

// The x86-64 layout both sides rely on (libstdc++ containers, no debug mode).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CTableModelLayout {
    static_assert(sizeof(void*) == 8, "the table layout is pinned for x86-64");
    static_assert(sizeof(std::vector<CTableColumn*>) == 24 && sizeof(std::vector<int>) == 24);
    static_assert(sizeof(std::vector<std::string>) == 24 && sizeof(std::string) == 32);
    static_assert(offsetof(CTableModel, m_columns) == 8);
    static_assert(offsetof(CTableModel, m_names) == 32);
    static_assert(offsetof(CTableModel, m_types) == 56);
    static_assert(offsetof(CTableModel, m_bNotOwner) == 80);
    static_assert(sizeof(CTableModel) == 88);
    static_assert(sizeof(CTableColumn) == 8);
    static_assert(offsetof(CStringColumn, m_values) == 8 && sizeof(CStringColumn) == 32);
    static_assert(offsetof(CIntColumn, m_values) == 8 && sizeof(CIntColumn) == 32);
    static_assert(offsetof(CDoubleColumn, m_values) == 8 && sizeof(CDoubleColumn) == 32);
};
#pragma GCC diagnostic pop

#ifdef ORVIX_TABLE_LIBRARY
} // inline namespace tarsel_side
#endif
