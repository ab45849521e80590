#include "export/odbctable.h"

#include <unordered_set>

#include "export/odbccatalog.h"
#include "export/odbcnames.h"
#include "platform/ui/ui.h"

namespace orvix {

std::string DiagnosticText(const COdbcError& e) { return e.Text() + "\n" + e.StateText(); }

COdbcTableCheck::COdbcTableCheck(COdbcConnection& db, const OdbcOptions& options) : db_(db), options_(options) {}

std::string COdbcTableCheck::CreateStatement(const std::string& table, const TableColumns& columns)
{
    std::string sql = "Create Table " + table + " ( ";
    for (size_t k = 0; k < columns.names.size(); ++k) {
        if (k)
            sql += ", ";
        sql += columns.names[k] + " " + columns.types[k];
    }
    return sql + " ) ";
}

bool COdbcTableCheck::FindTable(const std::string& upper, const std::string& owner, std::string& qualifier,
                                std::string& ownerOut, std::string& name, std::string& type)
{
    // First as asked: this name, of the connection's user when it names one. A driver
    // whose catalogue matches names with their letter case, or an owner that is not the
    // schema (PostgreSQL's tables belong to "public"), finds nothing that way: the whole
    // catalogue is then searched by the upper-cased name.
    for (int pass = 0; pass < 2; ++pass) {
        CTables tables(db_);
        if (pass == 0) {
            tables.m_strNameParam = upper;
            tables.m_strOwnerParam = owner;
        }
        tables.Open();
        for (; !tables.IsEOF(); tables.MoveNext()) {
            if (UpperCase(tables.m_strName) == upper) {
                qualifier = tables.m_strQualifier;
                ownerOut = tables.m_strOwner;
                name = tables.m_strName;
                type = tables.m_strType;
                return true;
            }
        }
    }
    return false;
}

void COdbcTableCheck::Grant(const std::string& table)
{
    const std::string sql = "GRANT SELECT ON " + table + " TO PUBLIC";
    try {
        db_.ExecuteSQL(sql);
    } catch (const COdbcError& e) {
        if (e.ConnectionLost())
            throw;
        // The table is made; only who may read it is left as the data source has it.
        if (!grantReported_)
            MessageBox("Error executing SQL statement:\n" + sql + "\n" + DiagnosticText(e)
                       + "\nThe export goes on; later refusals of GRANT are not shown.");
        grantReported_ = true;
    }
}

bool COdbcTableCheck::PrepareTable(std::string& table, TableColumns& columns, const std::string& nonTableMessage)
{
    table = UpperCase(table);
    for (std::string& name : columns.names)
        name = UpperCase(name);
    std::string user = db_.UserName();
    std::string owner = user.empty() ? std::string() : UpperCase(user);

    std::string qualifier, tableOwner, spelled, type;
    if (!FindTable(table, owner, qualifier, tableOwner, spelled, type)) {
        if (!options_.autoCreate
            && MessageBox("Table '" + table + "' doesn't exist. Create the table?", MB_YESNO) != IDYES)
            return false;
        db_.ExecuteSQL(CreateStatement(table, columns));
        if (options_.grant)
            Grant(table);
        return true;
    }
    if (type != "TABLE") {
        MessageBox(nonTableMessage);
        return false;
    }
    std::unordered_set<std::string> present;
    {
        CColumns query(db_);
        query.m_strQualifierParam = qualifier;
        query.m_strOwnerParam = tableOwner;
        query.m_strTableNameParam = spelled;
        query.Open();
        for (; !query.IsEOF(); query.MoveNext())
            present.insert(UpperCase(query.m_strColumnName));
    }
    for (size_t k = 0; k < columns.names.size(); ++k) {
        const std::string& column = columns.names[k];
        if (present.count(column))
            continue;
        if (!options_.autoAdd
            && MessageBox("Column '" + column + "' doesn't exist in table '" + spelled + "'. Add the column?", MB_YESNO)
                   != IDYES)
            return false;
        // The standard form: "Add ( C t )" is refused by SQLite and PostgreSQL alike.
        db_.ExecuteSQL("Alter Table " + spelled + " Add " + column + " " + columns.types[k]);
        present.insert(column);
    }
    return true;
}

} // namespace orvix
