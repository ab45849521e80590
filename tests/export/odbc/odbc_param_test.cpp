// The test-parameter export into GRAPHPARAM and BEHAVPARAM, against SQLite and PostgreSQL.
#include <gtest/gtest.h>

#include "document/paramtable.h"
#include "export/odbcnames.h"
#include "export/paramexport.h"
#include "tests/export/odbc/odbc_fixture.h"

using namespace orvix;
using odbc_test::IsPostgres;
using Rows = std::vector<std::vector<std::string>>;

namespace {

std::vector<double> Numbers(const Rows& rows)
{
    std::vector<double> v;
    for (const auto& row : rows)
        for (const std::string& cell : row)
            v.push_back(std::stod(cell));
    return v;
}

class OdbcParamTest : public OdbcTest {
protected:
    bool Run(int kind = PARAM_KIND_GRAPH)
    {
        ParamExportSettings s;
        s.input = data + "/*.oxv";
        s.kind = kind;
        s.format = PARAM_FORMAT_ODBC;
        CParamExport e(doc.get(), opener, progress);
        e.db = &exportDb;
        e.options = &options;
        return e.Run(s);
    }
    // "NAME type" of each column, the type in the CREATE statement's words.
    std::vector<std::string> Columns(const std::string& table)
    {
        std::vector<std::string> out;
        for (const auto& row : Query(IsPostgres() ? "SELECT upper(column_name), data_type, numeric_precision, "
                                                    "numeric_scale, character_maximum_length FROM "
                                                    "information_schema.columns WHERE table_name = '"
                                                        + std::string(table == "GRAPHPARAM" ? "graphparam" : "behavparam")
                                                        + "' ORDER BY ordinal_position"
                                                  : "SELECT upper(name), type, '', '', '' FROM pragma_table_info('"
                                                        + table + "')")) {
            std::string type = row[1];
            if (type == "numeric")
                type = row[3] == "0" ? "decimal(" + row[2] + ")" : "decimal(" + row[2] + "," + row[3] + ")";
            else if (type == "character varying")
                type = "varchar(" + row[4] + ")";
            else if (type == "character")
                type = "char(" + row[4] + ")";
            out.push_back(row[0] + " " + type);
        }
        return out;
    }
};

TEST_F(OdbcParamTest, GraphParametersMakeTypedRenamedColumns)
{
    SaveWithParams("M1H3P2ORIENT01.oxv", {{"Interval", "12"}, {"Level", "1.5"}, {"OR", "abc"}, {".", "3"}});
    ASSERT_TRUE(Run());
    EXPECT_EQ(Columns("GRAPHPARAM"),
              (std::vector<std::string>{"CELLID char(6)", "TESTNAME varchar(50)", "REP decimal(2)", "INTERV decimal(6)",
                                        "LEVELL decimal(10,2)", "ORIENT varchar(20)"}));
    Rows rows = Query("SELECT CELLID, TESTNAME, REP, INTERV, LEVELL, ORIENT FROM GRAPHPARAM");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "M1H3P2");
    EXPECT_EQ(rows[0][1], "ORIENT");
    EXPECT_EQ(std::stod(rows[0][2]), 1);
    EXPECT_EQ(std::stod(rows[0][3]), 12);
    EXPECT_EQ(std::stod(rows[0][4]), 1.5);
    EXPECT_EQ(rows[0][5], "abc");
    EXPECT_TRUE(ui.messages.empty());
}

// A later file with another parameter widens the table; an existing column keeps its
// type; Skip adds nothing again, DELETE first replaces the file's row.
TEST_F(OdbcParamTest, LaterFilesWidenTheTableAndDuplicatesFollowTheOption)
{
    SaveWithParams("M1H3P2ORIENT01.oxv", {{"SIZE", "2"}});
    SaveWithParams("M1H3P2ORIENT02.oxv", {{"SIZE", "2.5"}, {"Q", "it's"}});
    ASSERT_TRUE(Run());
    EXPECT_EQ(Columns("GRAPHPARAM").back(), "Q varchar(20)");
    EXPECT_EQ(Columns("GRAPHPARAM")[3], "SIZE decimal(6)");
    EXPECT_EQ(Query("SELECT REP, Q FROM GRAPHPARAM ORDER BY REP"), (Rows{{"1", ""}, {"2", "it's"}}));
    ASSERT_TRUE(Run());
    EXPECT_EQ(Count("SELECT count(*) FROM GRAPHPARAM"), 2);
    SaveWithParams("M1H3P2ORIENT02.oxv", {{"SIZE", "4"}, {"Q", "new"}});
    options.duplicates = DUPLICATE_DELETE_FIRST;
    ASSERT_TRUE(Run());
    EXPECT_EQ(Query("SELECT REP, Q FROM GRAPHPARAM ORDER BY REP"), (Rows{{"1", ""}, {"2", "new"}}));
}

// Behaviour parameters keep their names; a name that the renames make twice leaves its
// file out with a message.
TEST_F(OdbcParamTest, BehaviourNamesStayAndCollisionsAreRefused)
{
    if (!NamesFit())
        GTEST_SKIP() << kNamesDoNotFit;
    SaveWithParams("M1H3P2ORIENT01.oxv", {{"Level", "1"}, {"LEVELL", "2"}}, {{"Interval", "250"}});
    SaveWithParams("M1H3P2ORIENT02.oxv", {{"Level", "1"}}, {{"Interval", "300"}});
    EXPECT_FALSE(Run());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Can't export the parameters of \"" + data
                                       + "/M1H3P2ORIENT01.oxv\": its parameters 1 and 2 would both be the column "
                                         "LEVELL of GRAPHPARAM.\nThe file is left out.");
    EXPECT_EQ(Query("SELECT REP FROM GRAPHPARAM"), (Rows{{"2"}}));
    ui.messages.clear();
    ASSERT_TRUE(Run(PARAM_KIND_BEHAV)) << ui.Texts()[0];
    EXPECT_EQ(Numbers(Query("SELECT INTERVAL FROM BEHAVPARAM ORDER BY REP")), (std::vector<double>{250, 300}));
    // The data folder, longer than 20 characters, has room.
    auto columns = Columns("BEHAVPARAM");
    EXPECT_NE(std::find(columns.begin(), columns.end(), "DATAPATH varchar(255)"), columns.end());
    EXPECT_EQ(Query("SELECT DataPath FROM BEHAVPARAM WHERE REP = 1"), (Rows{{data}}));
}

// SQLite refuses GRANT: said once, the export goes on. PostgreSQL grants.
TEST_F(OdbcParamTest, GrantIsReportedOnceOrGiven)
{
    SaveWithParams("M1H3P2ORIENT01.oxv", {{"SIZE", "2"}});
    SaveWithParams("M1H3P2ORIENT02.oxv", {{"SIZE", "3"}});
    options.grant = true;
    ASSERT_TRUE(Run());
    EXPECT_EQ(Count("SELECT count(*) FROM GRAPHPARAM"), 2);
    if (IsPostgres())
        EXPECT_EQ(Query("SELECT has_table_privilege('public', 'graphparam', 'SELECT')"), (Rows{{"1"}}));
    else
        EXPECT_EQ(ui.messages.size(), 1u);
}

} // namespace
