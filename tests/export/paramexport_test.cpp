// The test-parameter export to comma-separated files, and the names, columns and types it
// gives a database table.
#include "export/paramexport.h"

#include <gtest/gtest.h>

#include "document/paramtable.h"
#include "tests/export/export_fixture.h"

using namespace orvix;
using orvix_test::ReadFile;

namespace {

TEST(ParamExport, NameListIsCutAtCommas)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitParamNames("a, b,,c"), (V{"a", "b", "", "c"}));
    EXPECT_EQ(SplitParamNames(""), (V{""}));
    EXPECT_EQ(SplitParamNames(",OR ,,"), (V{"OR"}));
    EXPECT_EQ(SplitParamNames(" , "), (V{""}));
    EXPECT_EQ(ParamCsvHeader(SplitParamNames("a, b,,c")), "CellID$,TestName,Rep,a,b,,c\r\n");
    EXPECT_EQ(ParamCsvHeader(SplitParamNames("")), "CellID$,TestName,Rep,\r\n");
}

TEST(ParamExport, ColumnTypeFollowsTheValue)
{
    const struct {
        const char* value;
        const char* type;
    } cases[] = {{"12", "decimal(6)"},   {"007", "decimal(6)"},     {"-4", "decimal(6)"},  {"1.5", "decimal(10,2)"},
                 {"-3.", "decimal(10,2)"}, {".5", "decimal(10,2)"}, {"abc", "varchar(20)"}, {"1e5", "varchar(20)"},
                 {"-", "varchar(20)"},   {".", "varchar(20)"},      {"-.", "varchar(20)"}, {"", "varchar(20)"},
                 {"/home/lab/orvix/c/data", "varchar(255)"}};
    for (const auto& c : cases)
        EXPECT_STREQ(ParamColumnType(c.value), c.type) << c.value;
}

class ParamExportTest : public LoopTest {
protected:
    bool RunCsv(const std::string& names, int kind = PARAM_KIND_GRAPH)
    {
        ParamExportSettings s;
        s.input = data + "/*.oxv";
        s.output = out + "/params.csv";
        s.names = names;
        s.kind = kind;
        CParamExport e(doc.get(), opener, progress);
        return e.Run(s);
    }
};

// One line per data file, in name order; a missing parameter is N/A; a value that holds a
// comma is quoted so that the columns stay in place.
TEST_F(ParamExportTest, CsvHasALinePerFile)
{
    SaveWithParams("M1H3P2ORIENT01.oxv", {{"OR", "45"}, {"Interval", "12.5"}, {"Name", "a,b"}});
    SaveWithParams("M1aa1aSize02.oxv", {{"OR", "-10"}, {"Name", "plain"}}, {{"Reward", "3"}});
    ASSERT_TRUE(RunCsv("OR, Interval,,Name"));
    EXPECT_EQ(ReadFile(out + "/params.csv"), "CellID$,TestName,Rep,OR,Interval,,Name\r\n"
                                             "\"M1H3P2\",ORIENT,1,45,12.5,N/A,\"a,b\"\r\n"
                                             "\"M1aa1a\",Size,2,-10,N/A,N/A,plain\r\n");
    EXPECT_EQ(progress.files.size(), 2u);
    ASSERT_TRUE(RunCsv("Reward,OR", PARAM_KIND_BEHAV));
    EXPECT_EQ(ReadFile(out + "/params.csv"), "CellID$,TestName,Rep,Reward,OR\r\n"
                                             "\"M1H3P2\",ORIENT,1,N/A,N/A\r\n"
                                             "\"M1aa1a\",Size,2,3,N/A\r\n");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ParamExportTest, UnwritableOutputExportsNothing)
{
    SaveWithParams("M1H3P2ORIENT01.oxv", {{"OR", "45"}});
    out = dir + "/missing/folder";
    EXPECT_FALSE(RunCsv("OR"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Can't open the output file \"" + out + "/params.csv\"!");
    EXPECT_TRUE(opener.opened.empty());
}

// The table's columns: graph parameters renamed where the data sources reserve the name,
// "." left out; behaviour parameters as they are.
TEST_F(ParamExportTest, TableRowRenamesGraphParameters)
{
    for (auto [n, v] : std::vector<std::pair<const char*, const char*>>{
             {"OR", "abc"}, {"Level", "1.5"}, {".", "7"}, {"Interval", "12"}, {"Condition", "-"}})
        doc->Table(KIND_GRAPH).Add(new CParam(n, v));
    ParamRow row = ParamTableRow(*doc, PARAM_KIND_GRAPH);
    EXPECT_EQ(row.table, "GRAPHPARAM");
    EXPECT_EQ(row.columns.names,
              (std::vector<std::string>{"CELLID", "TESTNAME", "REP", "ORIENT", "LEVELL", "INTERV", "COND"}));
    EXPECT_EQ(row.columns.types, (std::vector<std::string>{"char(6)", "varchar(50)", "decimal(2)", "varchar(20)",
                                                           "decimal(10,2)", "decimal(6)", "varchar(20)"}));
    EXPECT_EQ(row.values, (std::vector<std::string>{"abc", "1.5", "12", "-"}));
    EXPECT_EQ(CParamExport::InsertStatement(row), "INSERT INTO GRAPHPARAM (CELLID, TESTNAME, REP, ORIENT, LEVELL, "
                                                  "INTERV, COND) VALUES (?, ?, ?, ?, ?, ?, ?)");
    doc->GetBehavParam("Interval", CParam(nullptr, 3));
    ParamRow behav = ParamTableRow(*doc, PARAM_KIND_BEHAV);
    EXPECT_EQ(behav.table, "BEHAVPARAM");
    EXPECT_NE(std::find(behav.columns.names.begin(), behav.columns.names.end(), "Interval"), behav.columns.names.end());
}

} // namespace
