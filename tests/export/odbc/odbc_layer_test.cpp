// The ODBC layer and the catalogue record sets against a real data source.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <unistd.h>

#include "export/odbccatalog.h"
#include "platform/odbc/odbc.h"
#include "tests/common/test_support.h"
#include "tests/export/odbc/odbc_fixture.h"

using namespace orvix;
using odbc_test::IsPostgres;

namespace {

using OdbcLayerTest = OdbcTest;

// A refused statement carries the driver's text, SQLSTATE and native code; nothing is
// swallowed.
TEST_F(OdbcLayerTest, RefusedStatementCarriesTheDiagnostics)
{
    try {
        db.ExecuteSQL("SELEKT 1");
        FAIL() << "no error";
    } catch (const COdbcError& e) {
        EXPECT_EQ(e.State(), IsPostgres() ? "42601" : "HY000");
        EXPECT_NE(e.Text().find("syntax error"), std::string::npos) << e.Text();
        EXPECT_FALSE(e.ConnectionLost());
        if (!IsPostgres()) {
            EXPECT_EQ(e.NativeError(), 1); // SQLITE_ERROR
        }
    }
}

// Rows of a rolled-back transaction are gone; committed ones stay; a parameter array
// inserts every set.
TEST_F(OdbcLayerTest, TransactionsAndParameterArrays)
{
    db.ExecuteSQL("Create Table T ( A decimal(6), B varchar(12) ) ");
    int32_t a[3] = {1, 2, 3};
    char b[3][13] = {"x", "y'z", "w"};
    OdbcLen lengths[3] = {kOdbcNts, kOdbcNts, kOdbcNts};
    auto insert = [&] {
        COdbcStatement s(db);
        s.Prepare("INSERT INTO T (A, B) VALUES (?, ?)");
        s.SetParamSetSize(3);
        s.BindParameter(1, OdbcC::SLong, OdbcSql::Numeric, 6, 0, a);
        s.BindParameter(2, OdbcC::Char, OdbcSql::Varchar, 12, 0, b, 13, lengths);
        s.Execute();
    };
    db.BeginTrans();
    insert();
    EXPECT_TRUE(db.Rollback());
    EXPECT_EQ(Count("SELECT count(*) FROM T"), 0);
    db.BeginTrans();
    insert();
    db.CommitTrans();
    EXPECT_EQ(Query("SELECT A, B FROM T ORDER BY A"),
              (std::vector<std::vector<std::string>>{{"1", "x"}, {"2", "y'z"}, {"3", "w"}}));
    // Back in automatic commit: another connection sees a single insert at once.
    insert();
    EXPECT_EQ(odbc_test::Count(exportDb, "SELECT count(*) FROM T"), 6);
}

// A value that PostgreSQL refuses in the middle of a parameter array fails the Execute.
TEST_F(OdbcLayerTest, RefusedRowOfAnArrayFailsTheExecute)
{
    if (!IsPostgres())
        GTEST_SKIP() << "SQLite keeps any number in a decimal column";
    db.ExecuteSQL("Create Table T ( X decimal(9,2) ) ");
    double x[3] = {1.5, 1e12, 2.5};
    COdbcStatement s(db);
    s.Prepare("INSERT INTO T (X) VALUES (?)");
    s.SetParamSetSize(3);
    s.BindParameter(1, OdbcC::Double, OdbcSql::Numeric, 9, 2, x);
    db.BeginTrans();
    try {
        s.Execute();
        FAIL() << "no error";
    } catch (const COdbcError& e) {
        EXPECT_EQ(e.State(), "22003") << e.what();
    }
    db.Rollback();
    EXPECT_EQ(Count("SELECT count(*) FROM T"), 0);
}

// The catalogue: empty filters list every table; a table is found by its name in any
// letter case; its columns come in order with their types.
TEST_F(OdbcLayerTest, CatalogueListsTablesAndColumns)
{
    db.ExecuteSQL("Create Table T2AFC ( CELLID char(6), REP decimal(2), FPX decimal(9,2), NAME varchar(12) ) ");
    db.ExecuteSQL("Create Table OTHER ( A decimal(6) ) ");
    db.ExecuteSQL("Create View V2AFC as SELECT CELLID FROM T2AFC");
    std::vector<std::pair<std::string, std::string>> all;
    {
        CTables t(db);
        t.Open();
        for (; !t.IsEOF(); t.MoveNext())
            all.emplace_back(t.m_strName, t.m_strType);
    }
    std::sort(all.begin(), all.end());
    const char* t2afc = IsPostgres() ? "t2afc" : "T2AFC";
    using Named = std::vector<std::pair<std::string, std::string>>;
    const Named expected = {
        {IsPostgres() ? "other" : "OTHER", "TABLE"}, {t2afc, "TABLE"}, {IsPostgres() ? "v2afc" : "V2AFC", "VIEW"}};
    EXPECT_EQ(all, expected);

    CTables one(db);
    one.m_strNameParam = "T2AFC";
    one.Open();
    ASSERT_FALSE(one.IsEOF());
    EXPECT_EQ(one.m_strName, t2afc);

    CColumns c(db);
    c.m_strQualifierParam = one.m_strQualifier;
    c.m_strOwnerParam = one.m_strOwner;
    c.m_strTableNameParam = one.m_strName;
    c.Open();
    std::vector<std::string> names;
    for (; !c.IsEOF(); c.MoveNext()) {
        names.push_back(c.m_strColumnName);
        if (c.m_strColumnName == "FPX" || c.m_strColumnName == "fpx") {
            if (IsPostgres()) {
                EXPECT_EQ(c.m_strTypeName, "numeric");
                EXPECT_EQ(c.m_lPrecision, 9);
                EXPECT_EQ(c.m_nScale, 2);
            } else {
                EXPECT_EQ(c.m_strTypeName, "decimal(9,2)");
            }
        }
    }
    const std::vector<std::string> lower = {"cellid", "rep", "fpx", "name"}, upper = {"CELLID", "REP", "FPX", "NAME"};
    EXPECT_EQ(names, IsPostgres() ? lower : upper);
}

// PostgreSQL allows a table without columns: its column set is empty at once.
TEST_F(OdbcLayerTest, TableWithoutColumnsHasAnEmptyColumnSet)
{
    if (!IsPostgres())
        GTEST_SKIP() << "SQLite has no table without columns";
    db.ExecuteSQL("CREATE TABLE EMPTY ()");
    CColumns c(db);
    c.m_strTableNameParam = "empty";
    c.Open();
    EXPECT_TRUE(c.IsEOF());
}

// The count of more than 32767 rows reads as itself, not wrapped to a negative number.
TEST_F(OdbcLayerTest, CountIsReadAsA64BitNumber)
{
    db.ExecuteSQL("Create Table T ( CELLID char(6), REP decimal(2) ) ");
    const size_t n = 40000;
    std::vector<char> cells(n * 7);
    std::vector<int32_t> reps(n, 1);
    for (size_t i = 0; i < n; ++i)
        memcpy(&cells[i * 7], "M1H3P2", 7);
    std::vector<OdbcLen> lengths(n, kOdbcNts);
    db.BeginTrans();
    COdbcStatement s(db);
    s.Prepare("INSERT INTO T (CELLID, REP) VALUES (?, ?)");
    s.SetParamSetSize(n);
    s.BindParameter(1, OdbcC::Char, OdbcSql::Varchar, 6, 0, cells.data(), 7, lengths.data());
    s.BindParameter(2, OdbcC::SLong, OdbcSql::Numeric, 2, 0, reps.data());
    s.Execute();
    db.CommitTrans();
    CExistRecordset count(db);
    int rep = 1;
    count.Open("SELECT count(cellid) as COUNTCELLID from T where cellid = ? and rep = ?", {"M1H3P2"}, &rep);
    EXPECT_EQ(count.m_nCountCellId, 40000);
    rep = 2;
    count.Open("SELECT count(cellid) as COUNTCELLID from T where cellid = ? and rep = ?", {"M1H3P2"}, &rep);
    EXPECT_EQ(count.m_nCountCellId, 0);
}

// A connect-string value holding ";" is braced and reaches the driver whole: the
// cluster asks this role for its password. (SQLite's driver reads no braces.)
TEST_F(OdbcLayerTest, PasswordWithASemicolonArrivesWhole)
{
    if (!IsPostgres())
        GTEST_SKIP() << "SQLite's ODBC driver reads no braces";
    db.ExecuteSQL("DROP ROLE IF EXISTS orvix_pw");
    db.ExecuteSQL("CREATE ROLE orvix_pw LOGIN PASSWORD 'p;w=x'");
    COdbcConnection other;
    other.Open("DSN=orvix_pg;UID=orvix_pw;PWD=" + ConnectValue("p;w=x"));
    EXPECT_EQ(odbc_test::Query(other, "SELECT current_user"), (std::vector<std::vector<std::string>>{{"orvix_pw"}}));
    EXPECT_EQ(other.UserName(), "orvix_pw");
    other.Close();
    // Unbraced, the password ends at the ";".
    EXPECT_THROW(other.Open("DSN=orvix_pg;UID=orvix_pw;PWD=p;w=x"), COdbcError);
    db.ExecuteSQL("DROP ROLE orvix_pw");
}

// Nobody else on the machine reaches the tests' cluster: it listens on no TCP port, and another
// user may not enter the folder of its socket.
TEST_F(OdbcLayerTest, AnotherUserCannotConnectToTheCluster)
{
    if (!IsPostgres())
        GTEST_SKIP() << "SQLite has no server";
    EXPECT_EQ(odbc_test::Query(db, "SHOW listen_addresses"), (std::vector<std::vector<std::string>>{{""}}));
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can try it as another user (nobody)";
    std::map<std::string, std::string> state;
    std::istringstream in(orvix_test::ReadFile(ORVIX_PG_STATE));
    for (std::string line; std::getline(in, line);)
        if (size_t eq = line.find('='); eq != std::string::npos)
            state[line.substr(0, eq)] = line.substr(eq + 1);
    for (const std::string& host : {state["dir"], std::string("127.0.0.1")}) {
        std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups '" + state["bindir"] +
                              "/psql' -X -w -U tc -d tctest -p " + state["port"] + " -h '" + host +
                              "' -c 'select 1' 2>&1";
        std::string output;
        FILE* p = popen(command.c_str(), "r");
        ASSERT_NE(p, nullptr);
        for (char buffer[256]; fgets(buffer, sizeof buffer, p);)
            output += buffer;
        EXPECT_NE(pclose(p), 0) << command << "\n" << output;
        EXPECT_NE(output.find(host[0] == '/' ? "Permission denied" : "Connection refused"), std::string::npos)
            << command << "\n" << output;
    }
}

// The data sources that the connection chooser offers come from the private files.
TEST_F(OdbcLayerTest, DataSourcesComeFromTheDriverManager)
{
    std::vector<std::string> names;
    for (const OdbcDataSource& s : ListDataSources())
        names.push_back(s.name);
    EXPECT_NE(std::find(names.begin(), names.end(), IsPostgres() ? "orvix_pg" : "orvix_sqlite"), names.end());
}

} // namespace
