// The trial export into a database: tables, columns, rows and their values, duplicates,
// refusals and failures, against SQLite and against PostgreSQL.
#include <cmath>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

#include "export/odbccatalog.h"
#include "export/odbcnames.h"
#include "export/odbctrialexport.h"
#include "platform/text/numbers.h"
#include "tests/export/odbc/odbc_fixture.h"

using namespace orvix;
using odbc_test::IsPostgres;
using Rows = std::vector<std::vector<std::string>>;

namespace {

// The columns of a table as "NAME type", the type as the data source reports it turned
// back into the text of the CREATE statement.
std::vector<std::string> TableColumnsOf(COdbcConnection& db, const std::string& table)
{
    CTables t(db);
    t.m_strNameParam = table;
    t.Open();
    if (t.IsEOF())
        return {"<no table>"};
    CColumns c(db);
    c.m_strQualifierParam = t.m_strQualifier;
    c.m_strOwnerParam = t.m_strOwner;
    c.m_strTableNameParam = t.m_strName;
    c.Open();
    std::vector<std::string> out;
    for (; !c.IsEOF(); c.MoveNext()) {
        std::string type = c.m_strTypeName;
        if (type == "numeric")
            type = c.m_nScale ? Format("decimal(%ld,%d)", c.m_lPrecision, c.m_nScale) : Format("decimal(%ld)", c.m_lPrecision);
        else if (type == "bpchar")
            type = Format("char(%ld)", c.m_lPrecision);
        else if (type == "varchar")
            type = Format("varchar(%ld)", c.m_lPrecision);
        out.push_back(UpperCase(c.m_strColumnName) + " " + type);
    }
    return out;
}

// Numbers as the data source writes them ("1500", "1500.0"), compared as numbers.
std::vector<double> Numbers(const Rows& rows)
{
    std::vector<double> v;
    for (const auto& row : rows)
        for (const std::string& cell : row)
            v.push_back(std::stod(cell));
    return v;
}

struct HookProgress : RecordingProgress {
    void OnTrial(int done) override
    {
        RecordingProgress::OnTrial(done);
        if (onTrial)
            onTrial(trials);
    }
    std::function<void(int)> onTrial;
};

class OdbcExportTest : public OdbcTest {
protected:
    // A file of two trials: onsets 500 and 300, spikes, eye samples and key readings.
    void SaveSmall(const std::string& name, const std::vector<std::string>& commands = {"OR 0, SIZE 2.5, NAME ab",
                                                                                         "OR 90, SIZE 3.25, NAME c"})
    {
        TrialSpec a;
        a.start = 10000;
        a.figOn = 500;
        a.spikes = {{1, 12345}, {6, 20000}};
        a.eye = {{100, 200}};
        a.keys = {{3, 900}, {-2, 1200}};
        TrialSpec b;
        b.start = 13000;
        b.figOn = 300;
        b.command = 1;
        b.length = 2500;
        Save(name, commands, {a, b});
    }
};

TEST_F(OdbcExportTest, TablesHaveTheColumnsOfTheirEventType)
{
    SaveSmall("M1H3P22AFC01.oxv");
    SaveSmall("M1H3P2size01.oxv");
    ASSERT_TRUE(Export(EXPORT_BASIC));
    const std::vector<std::string> basic = {
        "CELLID char(6)", "REP decimal(2)",    "TRIALNUM decimal(6)", "ORIENT decimal(6)",   "SIZE decimal(9,2)",
        "NAME varchar(12)", "STATUS decimal(6)", "RTIME decimal(6)", "V1 decimal(6)",       "V2 decimal(6)",
        "V3 decimal(6)",   "RESP decimal(9,2)", "ACTIVECH decimal(4)", "MAINCH decimal(2)", "FIGONTIME decimal(9,1)"};
    EXPECT_EQ(TableColumnsOf(db, "T2AFC"), basic);
    EXPECT_EQ(TableColumnsOf(db, "TSIZE"), basic);
    ASSERT_TRUE(Export(EXPORT_SPIKE));
    EXPECT_EQ(TableColumnsOf(db, "T2AFC_SPIKE"), (std::vector<std::string>{"CELLID char(6)", "REP decimal(2)",
                                                                           "TRIALNUM decimal(6)", "SPIKEEVENT decimal(6)",
                                                                           "SPIKETIME decimal(9,1)"}));
    ASSERT_TRUE(Export(EXPORT_EYE));
    EXPECT_EQ(TableColumnsOf(db, "SIZE_EYE"), (std::vector<std::string>{"CELLID char(6)", "REP decimal(2)",
                                                                        "TRIALNUM decimal(6)", "FPX decimal(9,2)",
                                                                        "FPY decimal(9,2)", "FPTIME decimal(9,1)"}));
    ASSERT_TRUE(Export(EXPORT_KEY));
    EXPECT_EQ(TableColumnsOf(db, "SIZE_KEY"), (std::vector<std::string>{"CELLID char(6)", "REP decimal(2)",
                                                                        "TRIALNUM decimal(6)", "KEYACTION decimal(6)",
                                                                        "KEYTIME decimal(9,1)"}));
    EXPECT_TRUE(ui.messages.empty()) << ui.Texts()[0];
}

// The values of each event type's rows, worked out by hand from the trials above; the six
// spike rows go as one INSERT of four rows and an array of two.
TEST_F(OdbcExportTest, RowsOfEachEventType)
{
    SaveSmall("M1H3P22AFC01.oxv");
    blockRows = 4;
    for (int e = 0; e < 4; ++e)
        ASSERT_TRUE(Export(e));
    EXPECT_EQ(Query("SELECT CELLID, REP, TRIALNUM, ORIENT, SIZE, NAME, ACTIVECH, MAINCH FROM T2AFC ORDER BY TRIALNUM")
                  .size(),
              2u);
    Rows basic = Query("SELECT NAME FROM T2AFC ORDER BY TRIALNUM");
    EXPECT_EQ(basic, (Rows{{"ab"}, {"c"}}));
    // FigOnTime: 500, then 3000 + 300.
    EXPECT_EQ(Numbers(Query("SELECT REP, TRIALNUM, ORIENT, SIZE, ACTIVECH, FIGONTIME FROM T2AFC ORDER BY TRIALNUM")),
              (std::vector<double>{1, 0, 0, 2.5, 255, 500, 1, 1, 90, 3.25, 255, 3300}));
    EXPECT_EQ(Query("SELECT DISTINCT CELLID FROM T2AFC"), (Rows{{"M1H3P2"}}));
    // Spikes 12345 and 20000 (0.1 ms) from the onset 500: 734.5 and 1500; the closing rows
    // are 65535 at the trials' ends from their onsets.
    EXPECT_EQ(Numbers(Query("SELECT TRIALNUM, SPIKEEVENT, SPIKETIME FROM T2AFC_SPIKE ORDER BY TRIALNUM, SPIKETIME, "
                            "SPIKEEVENT")),
              (std::vector<double>{0, 1, 734.5, 0, 6, 1500, 0, 65535, 1500, 1, 65535, 2200}));
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC_EYE"), 1);
    EXPECT_EQ(Numbers(Query("SELECT TRIALNUM, KEYACTION, KEYTIME FROM T2AFC_KEY ORDER BY KEYTIME")),
              (std::vector<double>{0, 3, 400, 0, -2, 700}));
}

// unixODBC's trace shows the statements exactly as the data source receives them.
TEST_F(OdbcExportTest, TraceShowsTheCreateAndInsertTexts)
{
    SaveSmall("M1H3P2MYTEST01.oxv");
    const std::string trace = dir + "/trace.log";
    exportDb.traceFile = trace;
    exportDb.Open(connect);
    ASSERT_TRUE(Export(EXPORT_SPIKE));
    std::string log = orvix_test::ReadFile(trace);
    // The trace of the wide calls shows the first 127 characters of a statement and its whole
    // length.
    const std::string create = "Create Table MYTEST_SPIKE ( CELLID char(6), REP decimal(2), TRIALNUM decimal(6), "
                               "SPIKEEVENT decimal(6), SPIKETIME decimal(9,1) ) ";
    EXPECT_NE(log.find("SQL = [" + create.substr(0, 127) + "...][length = " + std::to_string(create.size()) + " "),
              std::string::npos)
        << log.substr(log.find("Create"), 300);
    EXPECT_NE(log.find("INSERT INTO MYTEST_SPIKE (Cellid, Rep, TrialNum, SpikeEvent, SpikeTime) VALUES (?, ?, ?, ?, "
                       "?)]"),
              std::string::npos);
    EXPECT_NE(log.find("SELECT count(cellid) as COUNTCELLID from MYTEST_SPIKE where cellid = ? and rep = ?"),
              std::string::npos);
    EXPECT_EQ(log.find("GRANT"), std::string::npos);
}

// Skip leaves the table as it was; DELETE first replaces the file's rows in one go.
TEST_F(OdbcExportTest, DuplicatesAreSkippedOrReplaced)
{
    SaveSmall("M1H3P22AFC01.oxv");
    SaveSmall("M1H3P22AFC02.oxv");
    ASSERT_TRUE(Export(EXPORT_SPIKE));
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC_SPIKE"), 8);
    ASSERT_TRUE(Export(EXPORT_SPIKE));
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC_SPIKE"), 8);
    options.duplicates = DUPLICATE_DELETE_FIRST;
    ASSERT_TRUE(Export(EXPORT_SPIKE));
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC_SPIKE"), 8);
    // The file now has one trial: its old rows go, the other file's stay.
    Save("M1H3P22AFC02.oxv", {"OR 0"}, Trials(1, 1));
    ASSERT_TRUE(Export(EXPORT_SPIKE));
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC_SPIKE where rep = 2"), 3);
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC_SPIKE where rep = 1"), 4);
}

// More than 40,000 rows of one file are still found: a second export adds nothing.
TEST_F(OdbcExportTest, LargeFileIsStillFoundAsADuplicate)
{
    std::vector<TrialSpec> trials(201);
    for (size_t i = 0; i < trials.size(); ++i) {
        trials[i].start = 10000 + 3000 * static_cast<uint32_t>(i);
        for (uint32_t k = 0; k < 200; ++k)
            trials[i].spikes.push_back({1, 100 + 10 * k});
    }
    Save("M1H3P2BIG01.oxv", {"OR 0"}, trials);
    ASSERT_TRUE(Export(EXPORT_SPIKE));
    EXPECT_EQ(Count("SELECT count(*) FROM BIG_SPIKE"), 201 * 201);
    ASSERT_TRUE(Export(EXPORT_SPIKE));
    EXPECT_EQ(Count("SELECT count(*) FROM BIG_SPIKE"), 201 * 201);
    EXPECT_EQ(Count("SELECT count(*) FROM BIG_SPIKE where spikeevent = 65535"), 201);
}

// A basic table of 15 columns and 1000 trials: every row comes back with its values, on
// PostgreSQL too, where a statement of more than about 7500 parameters makes the driver
// lose the connection.
TEST_F(OdbcExportTest, ThousandBasicTrialsComeBackWhole)
{
    const int n = 1000;
    COrvixDoc d;
    const std::string path = data + "/M1H3P2WIDE01.oxv";
    Fill(d, {"OR 0, SIZE 2.5, NAME ab", "OR 90, SIZE 3.25, NAME c"}, {}, path);
    const std::vector<TrialSpec> specs = Trials(n);
    for (int i = 0; i < n; ++i) {
        CTrial* t = MakeTrial(specs[static_cast<size_t>(i)]);
        t->SetResponse(i % 8, 200 + i, 2 * i, -i, i % 5);
        d.AddTrial(t);
    }
    ASSERT_TRUE(d.OnSaveDocument(path));
    ASSERT_TRUE(Export(EXPORT_BASIC)) << (ui.messages.empty() ? "" : ui.messages[0].text);
    ASSERT_EQ(Count("SELECT count(*) FROM WIDE"), n);
    // Trial i: command i % 2; FigOnTime 3000 i (start) + 300 + i (onset). Resp is main
    // channel 3's rate over 800 ms from the onset, worked out on opening: 0 (the spikes are
    // on channels 0 to 2) while onset + 800 fits in the 2000 ms trial (i <= 900), else none (-1).
    std::vector<double> numbers;
    Rows texts;
    for (int i = 0; i < n; ++i) {
        const bool odd = i % 2;
        numbers.insert(numbers.end(), {1.0, double(i), odd ? 90.0 : 0.0, odd ? 3.25 : 2.5, double(i % 8), 200.0 + i,
                                       2.0 * i, -double(i), double(i % 5), i <= 900 ? 0.0 : -1.0, 255, 3,
                                       3001.0 * i + 300});
        texts.push_back({"M1H3P2", odd ? "c" : "ab"});
    }
    EXPECT_EQ(Numbers(Query("SELECT REP, TRIALNUM, ORIENT, SIZE, STATUS, RTIME, V1, V2, V3, RESP, ACTIVECH, MAINCH, "
                            "FIGONTIME FROM WIDE ORDER BY TRIALNUM")),
              numbers);
    EXPECT_EQ(Query("SELECT CELLID, NAME FROM WIDE ORDER BY TRIALNUM"), texts);
}

// A quote in a cell id or a value is data, not SQL.
TEST_F(OdbcExportTest, QuotesInCellIdsAndValuesAreHarmless)
{
    SaveSmall("M1'3P2QUOTE01.oxv", {"OR 0, NAME a'b", "OR 90, NAME x');DROP"});
    ASSERT_TRUE(Export(EXPORT_BASIC));
    EXPECT_EQ(Query("SELECT CELLID, NAME FROM QUOTE ORDER BY TRIALNUM"), (Rows{{"M1'3P2", "a'b"}, {"M1'3P2", "x');DROP"}}));
    ASSERT_TRUE(Export(EXPORT_BASIC));
    EXPECT_EQ(Count("SELECT count(*) FROM QUOTE"), 2);
}

// Text goes to the driver as characters: "5µV", "café", "30°" and the é of a cell id (from a
// folder's UTF-8 name) are what sqlite3 and psql read back, and come back as the program's
// text; the file is found again by its cell id. A letter the code page lacks is refused.
TEST_F(OdbcExportTest, TextIsStoredAsItsCharacters)
{
    Save("M1\xC3\xA9" "3P2LAT01.oxv", {"NAME 5\xB5V", "NAME caf\xE9", "NAME 30\xB0"}, Trials(3, 3));
    ASSERT_TRUE(Export(EXPORT_BASIC)) << (ui.messages.empty() ? "" : ui.messages[0].text);
    EXPECT_EQ(ClientQuery("SELECT CELLID || '|' || NAME FROM LAT ORDER BY TRIALNUM"),
              "M1\xC3\xA9" "3P2|5\xC2\xB5V\nM1\xC3\xA9" "3P2|caf\xC3\xA9\nM1\xC3\xA9" "3P2|30\xC2\xB0\n");
    EXPECT_EQ(Query("SELECT CELLID, NAME FROM LAT ORDER BY TRIALNUM"),
              (Rows{{"M1\xE9" "3P2", "5\xB5V"}, {"M1\xE9" "3P2", "caf\xE9"}, {"M1\xE9" "3P2", "30\xB0"}}));
    ASSERT_TRUE(Export(EXPORT_BASIC));
    EXPECT_EQ(Count("SELECT count(*) FROM LAT"), 3);
    try {
        Query(IsPostgres() ? "SELECT chr(937)" : "SELECT char(937)");
        ADD_FAILURE() << "the letter was not refused";
    } catch (const COdbcError& e) {
        EXPECT_EQ(e.Text(), "The letter U+03A9 in column 1 of the result cannot be kept: the program's text holds only "
                            "the letters of the code page Windows-1252.");
    }
}

// A text cell is stored as its first 12 characters.
TEST_F(OdbcExportTest, TextCellsKeepTwelveCharacters)
{
    SaveSmall("M1H3P2LONG01.oxv", {"NAME abcdefghijklmnopqrst", "NAME x"});
    ASSERT_TRUE(Export(EXPORT_BASIC));
    EXPECT_EQ(Query("SELECT NAME FROM LONG ORDER BY TRIALNUM"), (Rows{{"abcdefghijkl"}, {"x"}}));
}

// PostgreSQL refuses a value too large for its column: the file's rows are rolled back,
// the user is told why, and the next file goes in.
TEST_F(OdbcExportTest, RefusedRowRollsBackTheFile)
{
    if (!IsPostgres())
        GTEST_SKIP() << "SQLite keeps any number in a decimal column";
    SaveSmall("M1H3P2OVER01.oxv", {"SIZE 2.5", "SIZE 123456789.5"});
    SaveSmall("M1H3P2OVER02.oxv", {"SIZE 2.5", "SIZE 3.5"});
    EXPECT_FALSE(Export(EXPORT_BASIC));
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(text.rfind("Can't store the trials of \"" + data + "/M1H3P2OVER01.oxv\" in table OVER:\n", 0), 0u) << text;
    EXPECT_NE(text.find("numeric field overflow"), std::string::npos) << text;
    EXPECT_NE(text.find("State: 22003"), std::string::npos) << text;
    EXPECT_NE(text.find("None of the file's rows were stored."), std::string::npos) << text;
    EXPECT_EQ(Count("SELECT count(*) FROM OVER WHERE rep = 1"), 0);
    EXPECT_EQ(Count("SELECT count(*) FROM OVER WHERE rep = 2"), 2);
}

// The database stops in the middle of a file: a clear message, the export ends, and the
// table holds nothing of that file.
TEST_F(OdbcExportTest, DatabaseGoingAwayLeavesNoPartialFile)
{
    if (!IsPostgres())
        GTEST_SKIP() << "SQLite has no server to lose";
    std::vector<TrialSpec> trials(20);
    for (size_t i = 0; i < trials.size(); ++i) {
        trials[i].start = 10000 + 3000 * static_cast<uint32_t>(i);
        for (uint32_t k = 0; k < 150; ++k)
            trials[i].spikes.push_back({1, 100 + 10 * k});
    }
    Save("M1H3P2GONE01.oxv", {"OR 0"}, trials);
    Save("M1H3P2GONE02.oxv", {"OR 0"}, trials);
    HookProgress hook;
    bool halted = false;
    hook.onTrial = [&](int done) {
        if (done == 5) {
            odbc_test::HaltServer();
            halted = true;
        }
    };
    ExportSettings s;
    s.input = data + "/*.oxv";
    s.format = EXPORT_ODBC;
    s.eventType = EXPORT_SPIKE;
    COdbcTrialExport writer(exportDb, options);
    CTrialExport e(doc.get(), opener, hook);
    e.tableExporter = &writer;
    bool ok = e.Run(s);
    odbc_test::ResumeServer();
    ASSERT_TRUE(halted);
    EXPECT_FALSE(ok);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("The connection to the database was lost while exporting \"" + data
                                            + "/M1H3P2GONE01.oxv\" to table GONE_SPIKE:\n",
                                        0),
              0u)
        << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find("The export stops."), std::string::npos);
    EXPECT_EQ(opener.opened.size(), 1u);
    EXPECT_FALSE(exportDb.IsOpen());
    db.Close();
    db.Open(connect);
    EXPECT_EQ(Count("SELECT count(*) FROM GONE_SPIKE"), 0);
}

// GRANT: PostgreSQL lets PUBLIC read the new tables; SQLite knows no GRANT, which is
// reported once while the export goes on.
TEST_F(OdbcExportTest, GrantGivesPublicSelectOrIsReportedOnce)
{
    SaveSmall("M1H3P2GRA01.oxv");
    SaveSmall("M1H3P2GRB01.oxv");
    options.grant = true;
    ASSERT_TRUE(Export(EXPORT_BASIC));
    EXPECT_EQ(Count("SELECT count(*) FROM GRA"), 2);
    EXPECT_EQ(Count("SELECT count(*) FROM GRB"), 2);
    if (IsPostgres()) {
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(Query("SELECT has_table_privilege('public', 'gra', 'SELECT'), has_table_privilege('public', 'grb', "
                        "'SELECT'), has_table_privilege('public', 'gra', 'INSERT')"),
                  (Rows{{"1", "1", "0"}}));
    } else {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text.rfind("Error executing SQL statement:\nGRANT SELECT ON GRA TO PUBLIC\n", 0), 0u)
            << ui.messages[0].text;
    }
}

// Without auto-create the user is asked; No ends the export before any row.
TEST_F(OdbcExportTest, MissingTableIsCreatedOnlyWhenTheUserAgrees)
{
    SaveSmall("M1H3P22AFC01.oxv");
    options.autoCreate = false;
    ui.answers = {IDNO};
    EXPECT_FALSE(Export(EXPORT_BASIC));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Table 'T2AFC' doesn't exist. Create the table?");
    EXPECT_EQ(TableColumnsOf(db, "T2AFC"), std::vector<std::string>{"<no table>"});
    ui.answers = {IDYES};
    EXPECT_TRUE(Export(EXPORT_BASIC));
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC"), 2);
}

// A table made earlier in lower case is found; its missing columns are added under its
// own spelling, after a question when auto-add is off.
TEST_F(OdbcExportTest, ExistingTableGetsItsMissingColumns)
{
    db.ExecuteSQL("create table t2afc_key (cellid char(6), rep decimal(2), trialnum decimal(6), keyaction decimal(6))");
    SaveSmall("M1H3P22AFC01.oxv");
    options.autoAdd = false;
    ui.answers = {IDNO};
    EXPECT_FALSE(Export(EXPORT_KEY));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Column 'KEYTIME' doesn't exist in table 't2afc_key'. Add the column?");
    ui.answers = {IDYES};
    EXPECT_TRUE(Export(EXPORT_KEY));
    EXPECT_EQ(TableColumnsOf(db, "T2AFC_KEY").back(), "KEYTIME decimal(9,1)");
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC_KEY"), 2);
}

// A view holds the table's name: the export stops with the design's message.
TEST_F(OdbcExportTest, ViewOfTheTablesNameStopsTheExport)
{
    db.ExecuteSQL("create table other (cellid char(6))");
    db.ExecuteSQL("create view T2AFC as select cellid from other");
    SaveSmall("M1H3P22AFC01.oxv");
    EXPECT_FALSE(Export(EXPORT_BASIC));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "Non-table orjbect 'T2AFC' exists in the data source.\nPlease drop it and try to export again.");
}

// Names that are no SQL identifiers, an empty table name and two parameters that become
// the same column leave their files out with a message; the others go in.
TEST_F(OdbcExportTest, FilesWithUnusableNamesAreLeftOut)
{
    SaveSmall("M1H3P201.oxv");
    SaveSmall("M1H3P2A-B01.oxv");
    SaveSmall("M1H3P2COL01.oxv", {"OR 0, ORIENT 1", "OR 1, ORIENT 2"});
    SaveSmall("M1H3P2GOOD01.oxv");
    EXPECT_FALSE(Export(EXPORT_BASIC));
    auto texts = ui.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(texts[0].find("M1H3P201.oxv\" to the database: its name has no test name"), std::string::npos) << texts[0];
    EXPECT_EQ(texts[1], "Can't export \"" + data + "/M1H3P2A-B01.oxv\" to the database: the table name \"A-B\" is not a "
                        "plain SQL name (letters, digits and _, not starting with a digit).\nThe file is left out.");
    EXPECT_NE(texts[2].find("two columns would both be named ORIENT in table COL."), std::string::npos) << texts[2];
    EXPECT_EQ(Count("SELECT count(*) FROM GOOD"), 2);
}

// Stop while a file goes in: that file goes in whole (one transaction), the next is not
// opened.
TEST_F(OdbcExportTest, StopLetsTheFileInHandFinish)
{
    Save("M1H3P2STOP01.oxv", {"OR 0", "OR 90"}, Trials(4));
    Save("M1H3P2STOP02.oxv", {"OR 0", "OR 90"}, Trials(4));
    progress.stopAfter = 1;
    EXPECT_TRUE(Export(EXPORT_BASIC));
    EXPECT_EQ(Count("SELECT count(*) FROM STOP"), 4);
    EXPECT_EQ(opener.opened.size(), 1u);
}

} // namespace
