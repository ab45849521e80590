// The names and statement texts of the database exports, and the connect-string helpers;
// no data source needed.
#include <gtest/gtest.h>

#include "export/odbcnames.h"
#include "export/odbctable.h"
#include "export/odbctrialexport.h"
#include "platform/odbc/odbc.h"

using namespace orvix;

namespace {

TEST(OdbcNames, TablesAndColumnsOfTheTrialExport)
{
    const struct {
        const char* test;
        const char* table;
    } tables[] = {{"2AFC", "T2AFC"}, {"size", "TSIZE"}, {"Size_Spike", "SIZE_SPIKE"}, {"sizes", "SIZES"},
                  {"Orient_Eye", "ORIENT_EYE"}, {"9", "T9"}, {"", ""}};
    for (const auto& t : tables)
        EXPECT_EQ(TrialTableName(t.test), t.table) << t.test;
    const struct {
        const char* name;
        const char* trial;
        const char* graph;
    } columns[] = {{"OR", "ORIENT", "ORIENT"},      {"or", "ORIENT", "ORIENT"},   {"Condition", "COND", "COND"},
                   {"NULL", "NU", "NULL"},          {"Level", "LEVEL", "LEVELL"}, {"INTERVAL", "INTERVAL", "INTERV"},
                   {"SIZE", "SIZE", "SIZE"},        {"ORX", "ORX", "ORX"}};
    for (const auto& c : columns) {
        EXPECT_EQ(TrialColumnName(c.name), c.trial) << c.name;
        EXPECT_EQ(GraphParamColumnName(c.name), c.graph) << c.name;
    }
}

TEST(OdbcNames, OnlyPlainIdentifiersPass)
{
    for (const char* good : {"A", "_x", "T2AFC", "size_Spike", "a1_"})
        EXPECT_TRUE(IsSqlIdentifier(good)) << good;
    for (const char* bad : {"", "2AFC", "A-B", "a b", "x'y", "\"Q\"", "ä", "a;"})
        EXPECT_FALSE(IsSqlIdentifier(bad)) << bad;
    EXPECT_EQ(FirstBadIdentifier({"A", "B-1", "C;"}), "B-1");
    EXPECT_EQ(FirstBadIdentifier({"A", ""}), "(empty)");
    EXPECT_EQ(FirstBadIdentifier({"A", "B"}), "");
    EXPECT_EQ(FirstCollision({"CELLID", "LEVELL", "X", GraphParamColumnName("Level")}), std::make_pair(1, 3));
    EXPECT_EQ(FirstCollision({"Size", "SIZE"}), std::make_pair(0, 1));
    EXPECT_EQ(FirstCollision({"A", "B"}), std::make_pair(-1, -1));
}

TEST(OdbcNames, StatementTexts)
{
    TableColumns spike;
    for (const char* n : {"CELLID", "REP", "TRIALNUM", "SPIKEEVENT", "SPIKETIME"})
        spike.Add(n, "decimal(6)");
    spike.types = {"char(6)", "decimal(2)", "decimal(6)", "decimal(6)", "decimal(9,1)"};
    EXPECT_EQ(COdbcTableCheck::CreateStatement("MYTEST", spike),
              "Create Table MYTEST ( CELLID char(6), REP decimal(2), TRIALNUM decimal(6), SPIKEEVENT decimal(6), "
              "SPIKETIME decimal(9,1) ) ");
    EXPECT_EQ(COdbcTrialExport::InsertStatement("MYTEST", spike, 1, 1),
              "INSERT INTO MYTEST (Cellid, Rep, TrialNum, SpikeEvent, SpikeTime) VALUES (?, ?, ?, ?, ?)");
    EXPECT_EQ(COdbcTrialExport::InsertStatement("MYTEST", spike, 1, 2),
              "INSERT INTO MYTEST (Cellid, Rep, TrialNum, SpikeEvent, SpikeTime) VALUES (?, ?, ?, ?, ?), (?, ?, ?, ?, "
              "?)");
    TableColumns basic;
    for (const char* n : {"CELLID", "REP", "TRIALNUM", "ORIENT", "STATUS", "ACTIVECH", "MAINCH", "FIGONTIME"})
        basic.Add(n, "decimal(6)");
    EXPECT_EQ(COdbcTrialExport::InsertStatement("T2AFC", basic, 0, 1),
              "INSERT INTO T2AFC (Cellid, Rep, TrialNum, ORIENT, STATUS, ActiveCh, MainCh, FigOnTime) VALUES (?, ?, ?, "
              "?, ?, ?, ?, ?)");
}

TEST(OdbcConnectString, ValuesAreBracedWhenTheyWouldEndTheString)
{
    EXPECT_EQ(ConnectValue("lab"), "lab");
    EXPECT_EQ(ConnectValue("p;w"), "{p;w}");
    EXPECT_EQ(ConnectValue("a=b"), "{a=b}");
    EXPECT_EQ(ConnectValue(" x"), "{ x}");
    EXPECT_EQ(ConnectValue(""), "");
    EXPECT_THROW(ConnectValue("a}b"), std::invalid_argument);
}

TEST(OdbcConnectString, UserIsReadFromTheUidAttribute)
{
    const struct {
        const char* connect;
        const char* user;
    } cases[] = {{"DSN=neuron;UID=lab;PWD=x", "lab"},       {"dsn=n;uid={a;b};pwd=c", "a;b"},
                 {"DSN=x", ""},                             {"DSN=x;DATABASE=t;Username=tc;", "tc"},
                 {"DSN=x;PWD={UID=no};UID=yes", "yes"},     {"UID=", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(ConnectStringUser(c.connect), c.user) << c.connect;
}

} // namespace
