// What the database exports share: the four options of the "Export ODBC Options" dialog,
// and the table check that finds a table (its name compared in upper case), creates it or
// adds its missing columns as the options allow, and grants it to PUBLIC.
#pragma once
#include <string>
#include <vector>

#include "platform/odbc/odbc.h"

namespace orvix {

enum DuplicateHandling : int { DUPLICATE_SKIP = 0, DUPLICATE_DELETE_FIRST = 1 };

struct OdbcOptions {
    int duplicates = DUPLICATE_SKIP;
    bool autoCreate = true;
    bool autoAdd = true;
    bool grant = false;
};

// A table's columns: names and SQL type texts ("char(6)", "decimal(9,2)").
struct TableColumns {
    std::vector<std::string> names, types;
    void Add(std::string name, std::string type)
    {
        names.push_back(std::move(name));
        types.push_back(std::move(type));
    }
};

class COdbcTableCheck {
public:
    COdbcTableCheck(COdbcConnection& db, const OdbcOptions& options);

    // Makes `table` ready for the columns: true when it is. The table's and the columns'
    // names are upper-cased in place; columns are added under the name as the data source
    // spells it. False when the user refuses to create the table or add a column, or when another
    // kind of object holds the name (nonTableMessage is shown). A refused CREATE or ALTER
    // throws COdbcError.
    bool PrepareTable(std::string& table, TableColumns& columns, const std::string& nonTableMessage);

    // A GRANT that the data source refuses (SQLite knows none) is reported the first time
    // only; a new export run reports again.
    void NewRun() { grantReported_ = false; }

    // "Create Table T ( C1 t1, C2 t2 ) ".
    static std::string CreateStatement(const std::string& table, const TableColumns& columns);

private:
    // The first table whose name, upper-cased, is `upper`; false when there is none.
    bool FindTable(const std::string& upper, const std::string& owner, std::string& qualifier, std::string& ownerOut,
                   std::string& name, std::string& type);
    void Grant(const std::string& table);

    COdbcConnection& db_;
    const OdbcOptions& options_;
    bool grantReported_ = false;
};

// "The data source said: ...\nState: 22003, native error: 7", for messages.
std::string DiagnosticText(const COdbcError& e);

} // namespace orvix
