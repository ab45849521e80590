// File names from a database query: rowsets of 100, names too long for their buffers,
// failures with their reasons and the password the history did not keep; against SQLite
// and PostgreSQL.
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "export/odbcfilename.h"
#include "tests/export/odbc/odbc_fixture.h"

using namespace orvix;
using odbc_test::IsPostgres;

namespace {

class OdbcFilenameTest : public OdbcTest {
protected:
    void SetUp() override
    {
        OdbcTest::SetUp();
        if (!NamesFit())
            GTEST_SKIP() << kNamesDoNotFit;
        // The "ODBC://" text names a data source: the SQLite one of the build folder is
        // shared by the tests, so each uses a table of its own.
        table = "files_" + std::to_string(getpid());
        if (!IsPostgres()) {
            source.Open("DSN=orvix_sqlite");
            source.ExecuteSQL("DROP TABLE IF EXISTS " + table);
        }
        Source().ExecuteSQL("Create Table " + table + " ( N decimal(6), fileName varchar(400) ) ");
    }
    void TearDown() override
    {
        if (source.IsOpen()) {
            source.ExecuteSQL("DROP TABLE " + table);
            source.Close();
        }
        OdbcTest::TearDown();
    }
    COdbcConnection& Source() { return IsPostgres() ? db : source; }
    std::string Dsn() const { return IsPostgres() ? "orvix_pg" : "orvix_sqlite"; }
    void Insert(int n, const std::string& name)
    {
        Source().ExecuteSQL("INSERT INTO " + table + " (N, fileName) VALUES (" + std::to_string(n) + ", '" + name + "')");
    }

    std::string table;
    COdbcConnection source;
};

TEST_F(OdbcFilenameTest, NamesArriveInRowsetsOfAHundred)
{
    Source().BeginTrans();
    for (int i = 0; i < 250; ++i)
        Insert(i, "file" + std::to_string(i));
    Source().CommitTrans();
    COdbcFilename names(Source());
    names.Open("select fileName from " + table + " order by N");
    std::vector<size_t> fetches;
    std::vector<std::string> all;
    for (; !names.IsEOF(); names.MoveNext()) {
        fetches.push_back(names.RowsFetched());
        for (size_t r = 0; r < names.RowsFetched(); ++r)
            all.push_back(names.Name(r));
    }
    EXPECT_EQ(fetches, (std::vector<size_t>{100, 100, 50}));
    ASSERT_EQ(all.size(), 250u);
    EXPECT_EQ(all[0], "file0");
    EXPECT_EQ(all[249], "file249");
}

TEST_F(OdbcFilenameTest, NameTooLongForItsBufferIsMarked)
{
    const std::string fits(255, 'a'), longer(256, 'b');
    Insert(1, fits);
    Insert(2, longer);
    COdbcFilename names(Source());
    names.Open("select fileName from " + table + " order by N");
    ASSERT_EQ(names.RowsFetched(), 2u);
    EXPECT_FALSE(names.IsCut(0));
    EXPECT_EQ(names.Name(0), fits);
    EXPECT_TRUE(names.IsCut(1));
}

OdbcInputSpec Spec(const std::string& database, const std::string& statement, const std::string& user = "")
{
    OdbcInputSpec spec;
    spec.database = database;
    spec.statement = statement;
    spec.user = user;
    spec.hasUser = !user.empty();
    return spec;
}

// The names come in the query's order; names too long for their buffers are reported.
TEST_F(OdbcFilenameTest, QueryGivesTheNames)
{
    Insert(1, data + "/M1bb2bB01.oxv");
    Insert(2, data + "/M1aa1a*.oxv");
    Insert(3, std::string(300, 'c'));
    Insert(4, "");
    std::vector<std::string> names;
    std::string error;
    ASSERT_TRUE(ReadOdbcFileNames(Spec(Dsn(), "select fileName from " + table + " order by N"), names, error)) << error;
    EXPECT_EQ(names, (std::vector<std::string>{data + "/M1bb2bB01.oxv", data + "/M1aa1a*.oxv"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("1 file name(s) of the query are 256 characters or longer", 0), 0u);
}

// Names are read as characters and become the program's text; a name holding a letter the
// code page lacks is left out and reported.
TEST_F(OdbcFilenameTest, NamesAreTheProgramsTextAndALetterItLacksIsReported)
{
    Insert(1, "c:\\data\\5\xB5V caf\xE9 30\xB0.oxv");
    Source().ExecuteSQL("INSERT INTO " + table + " (N, fileName) VALUES (2, 'x' || " + (IsPostgres() ? "chr" : "char")
                        + "(937))");
    std::vector<std::string> names;
    std::string error;
    ASSERT_TRUE(ReadOdbcFileNames(Spec(Dsn(), "select fileName from " + table + " order by N"), names, error)) << error;
    EXPECT_EQ(names, (std::vector<std::string>{"c:\\data\\5\xB5V caf\xE9 30\xB0.oxv"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "1 file name(s) of the query were left out. The letter U+03A9 in the name of row 2 "
                                   "cannot be kept: the program's text holds only the letters of the code page "
                                   "Windows-1252.");
}

TEST_F(OdbcFilenameTest, RefusedQueryAndUnknownSourceGiveTheReason)
{
    std::vector<std::string> names;
    std::string error;
    EXPECT_FALSE(ReadOdbcFileNames(Spec(Dsn(), "select nothing from nowhere"), names, error));
    EXPECT_EQ(error.rfind("the statement \"select nothing from nowhere\" failed: ", 0), 0u) << error;
    EXPECT_FALSE(ReadOdbcFileNames(Spec("no_such_source", "select f from t", "lab"), names, error));
    EXPECT_NE(error.find("State: IM002"), std::string::npos) << error;
    EXPECT_EQ(ui.modalRuns, 0); // no password asked for a source that does not exist
    EXPECT_TRUE(ui.messages.empty());
}

// A user whose password the history did not keep is asked for it.
TEST_F(OdbcFilenameTest, MissingPasswordIsAskedFor)
{
    if (!IsPostgres())
        GTEST_SKIP() << "SQLite asks no passwords";
    db.ExecuteSQL("DROP ROLE IF EXISTS orvix_pw");
    db.ExecuteSQL("CREATE ROLE orvix_pw LOGIN PASSWORD 'p;w=x'");
    db.ExecuteSQL("GRANT USAGE ON SCHEMA public TO orvix_pw");
    db.ExecuteSQL("GRANT SELECT ON " + table + " TO orvix_pw");
    Insert(1, data + "/M1aa1aA01.oxv");
    std::string asked;
    ui.onAskPassword = [&](const std::string& prompt, std::string& password) {
        asked = prompt;
        password = "p;w=x";
        return true;
    };
    std::vector<std::string> names;
    std::string error;
    EXPECT_TRUE(ReadOdbcFileNames(Spec("orvix_pg", "select fileName from " + table, "orvix_pw"), names, error))
        << error;
    EXPECT_EQ(asked, "Password of orvix_pw for the data source orvix_pg:");
    EXPECT_EQ(names, std::vector<std::string>{data + "/M1aa1aA01.oxv"});
    // Refused: the driver's reason.
    ui.onAskPassword = [](const std::string&, std::string& password) { return password = "wrong", true; };
    EXPECT_FALSE(ReadOdbcFileNames(Spec("orvix_pg", "select fileName from " + table, "orvix_pw"), names, error));
    EXPECT_NE(error.find("password authentication failed"), std::string::npos) << error;
    db.ExecuteSQL("DROP OWNED BY orvix_pw");
    db.ExecuteSQL("DROP ROLE orvix_pw");
}

} // namespace
