// The database tests' fixture: the same tests run against SQLite through its ODBC driver
// (a fresh database file per test) and against the throw-away PostgreSQL cluster of the
// CTest fixture (an emptied schema per test), chosen when the test program is built.
#pragma once
#include <string>
#include <vector>

#include "export/odbctable.h"
#include "export/odbctrialexport.h"
#include "platform/odbc/odbc.h"
#include "tests/export/export_fixture.h"

namespace odbc_test {

bool IsPostgres();
// Points unixODBC at the build folder's driver list and data sources.
void UsePrivateOdbcFiles();
// Stops and starts the PostgreSQL cluster of the fixture (its data kept).
void HaltServer();
void ResumeServer();

// Every row of a query, each column as text (NULL as "").
std::vector<std::vector<std::string>> Query(orvix::COdbcConnection& db, const std::string& sql);
long long Count(orvix::COdbcConnection& db, const std::string& sql);
// What the database's own client (sqlite3, psql) prints for a query: its rows' bytes, UTF-8,
// one row a line, columns joined by '|'.
std::string ClientQuery(const std::string& sqliteFile, const std::string& sql);

} // namespace odbc_test

class OdbcTest : public LoopTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The connect string of the test's database.
    std::string connect;
    // The tests' own connection, for looking at what the export wrote.
    orvix::COdbcConnection db;
    // The export's connection and options, as an export dialog holds them.
    orvix::COdbcConnection exportDb;
    orvix::OdbcOptions options;
    // Rows per multi-row INSERT of the export.
    size_t blockRows = 1000;

    // The data files' names pass the program's limit of 255 characters on a name from a query
    // and fill columns of 255: a temporary folder whose name leaves them no room skips a test.
    bool NamesFit() const { return data.size() + 32 < 256; }
    static constexpr const char* kNamesDoNotFit = "the temporary folder's name is too long for the data files' names";

    // Runs the trial export of every data file into the database.
    bool Export(int eventType, const std::string& input = "");
    std::vector<std::vector<std::string>> Query(const std::string& sql) { return odbc_test::Query(db, sql); }
    long long Count(const std::string& sql) { return odbc_test::Count(db, sql); }
    std::string ClientQuery(const std::string& sql) { return odbc_test::ClientQuery(dir + "/test.db", sql); }
};
