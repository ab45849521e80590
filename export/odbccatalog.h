// The catalogue record sets of the database exports: CTables lists a data source's tables,
// CColumns a table's columns, CExistRecordset reads one count. Each lives for one check on
// an open connection; a failing call throws COdbcError.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/odbc/odbc.h"

namespace orvix {

class CTables {
public:
    explicit CTables(COdbcConnection& db);

    // Filters; an empty one matches every value.
    std::string m_strQualifierParam, m_strOwnerParam, m_strNameParam, m_strTypeParam;

    // Runs the catalogue call and moves to the first row.
    void Open();
    bool IsEOF() const { return eof_; }
    void MoveNext();
    void Close();

    std::string m_strQualifier; // "table_qualifier"
    std::string m_strOwner;     // "table_owner"
    std::string m_strName;      // "table_name", as the data source spells it
    std::string m_strType;      // "table_type": "TABLE", "VIEW", ...
    std::string m_strRemarks;   // "remarks"

private:
    void Read();

    COdbcStatement statement_;
    bool eof_ = true;
};

class CColumns {
public:
    explicit CColumns(COdbcConnection& db);

    std::string m_strQualifierParam, m_strOwnerParam, m_strTableNameParam;

    void Open();
    bool IsEOF() const { return eof_; }
    void MoveNext();
    void Close();

    std::string m_strQualifier, m_strOwner, m_strTableName, m_strColumnName;
    int16_t m_nDataType = 0;
    std::string m_strTypeName;
    long m_lPrecision = 0, m_lLength = 0;
    int16_t m_nScale = 0, m_nRadix = 0, m_nNullable = 0;

private:
    void Read();

    COdbcStatement statement_;
    bool eof_ = true;
};

// The count of a "SELECT count(...) as COUNTCELLID ..." statement, read as a 64-bit
// number: a table of more than 32767 rows of one file must not read as a negative count.
class CExistRecordset {
public:
    explicit CExistRecordset(COdbcConnection& db);

    // Runs the statement with up to three text parameters (the cell id, the test name...)
    // and an integer one after them, bound in that order, and reads the first row.
    void Open(const std::string& sql, const std::vector<std::string>& textParams, const int* intParam);
    int64_t m_nCountCellId = 0;

private:
    COdbcConnection& db_;
};

} // namespace orvix
