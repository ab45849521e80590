#include "tests/export/odbc/odbc_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

#include "tests/common/test_support.h"

using namespace orvix;

namespace odbc_test {

bool IsPostgres()
{
#ifdef ORVIX_TEST_DATABASE_PG
    return true;
#else
    return false;
#endif
}

void UsePrivateOdbcFiles()
{
    setenv("ODBCSYSINI", ORVIX_ODBC_DIR, 1);
    setenv("ODBCINI", IsPostgres() ? ORVIX_PG_INI : ORVIX_ODBC_DIR "/odbc.ini", 1);
}

static void Cluster(const char* command)
{
    std::string line = std::string("'") + ORVIX_PG_SCRIPT + "' " + command + " '" + ORVIX_PG_STATE + "'";
    ASSERT_EQ(system(line.c_str()), 0) << line;
}

void HaltServer() { Cluster("halt"); }
void ResumeServer() { Cluster("resume"); }

std::vector<std::vector<std::string>> Query(COdbcConnection& db, const std::string& sql)
{
    COdbcStatement s(db);
    s.ExecDirect(sql);
    int n = s.ResultColumns();
    std::vector<std::vector<std::string>> rows;
    while (s.Fetch()) {
        std::vector<std::string> row;
        for (int c = 1; c <= n; ++c)
            row.push_back(s.GetText(c));
        rows.push_back(std::move(row));
    }
    return rows;
}

long long Count(COdbcConnection& db, const std::string& sql)
{
    auto rows = Query(db, sql);
    return rows.empty() || rows[0].empty() ? -1 : std::stoll(rows[0][0]);
}

std::string ClientQuery(const std::string& sqliteFile, const std::string& sql)
{
    std::string command;
    if (IsPostgres()) {
        std::map<std::string, std::string> state;
        std::istringstream in(orvix_test::ReadFile(ORVIX_PG_STATE));
        for (std::string line; std::getline(in, line);)
            if (size_t eq = line.find('='); eq != std::string::npos)
                state[line.substr(0, eq)] = line.substr(eq + 1);
        command = "PGCLIENTENCODING=UTF8 '" + state["bindir"] + "/psql' -X -w -A -t -U tc -d tctest -p " + state["port"]
                  + " -h '" + state["dir"] + "' -c \"" + sql + "\"";
    } else {
        command = "sqlite3 -batch -noheader '" + sqliteFile + "' \"" + sql + "\"";
    }
    std::string output;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return "popen failed";
    for (char buffer[256]; fgets(buffer, sizeof buffer, p);)
        output += buffer;
    pclose(p);
    return output;
}

} // namespace odbc_test

void OdbcTest::SetUp()
{
    LoopTest::SetUp();
    odbc_test::UsePrivateOdbcFiles();
    if (odbc_test::IsPostgres()) {
        if (!std::filesystem::exists(ORVIX_PG_STATE))
            FAIL() << "No PostgreSQL cluster: ctest starts it (odbc_pg_start), or run " ORVIX_PG_SCRIPT
                      " start " ORVIX_PG_STATE " " ORVIX_PG_INI;
        connect = "DSN=orvix_pg";
        db.Open(connect);
        db.ExecuteSQL("DROP SCHEMA public CASCADE");
        db.ExecuteSQL("CREATE SCHEMA public");
    } else {
        connect = "Driver=SQLite3;Database=" + dir + "/test.db";
        db.Open(connect);
    }
    exportDb.Open(connect);
}

void OdbcTest::TearDown()
{
    exportDb.Close();
    db.Close();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    LoopTest::TearDown();
}

bool OdbcTest::Export(int eventType, const std::string& input)
{
    ExportSettings s;
    s.input = input.empty() ? data + "/*.oxv" : input;
    s.format = EXPORT_ODBC;
    s.eventType = eventType;
    COdbcTrialExport writer(exportDb, options);
    writer.blockRows = blockRows;
    CTrialExport e(doc.get(), opener, progress);
    e.tableExporter = &writer;
    return e.Run(s);
}
