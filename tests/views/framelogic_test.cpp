// What the main frame shows and decides, without a window: channel buttons, pane sizes,
// status panes, comment keys, the input-file box and its navigator, the history.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "document/orvixdoc.h"
#include "runner/experiment.h"
#include "tests/document/doc_fixture.h"
#include "views/framelogic.h"
#include "views/viewcommands.h"

using namespace orvix;

TEST(FrameLogic, ChannelLevelImagesAndButtonTexts)
{
    struct {
        int level, image;
    } levels[] = {{70, 12}, {64, 12}, {60, 12}, {59, 11}, {5, 1}, {4, 0}, {0, 0}, {-3, 0}, {-100, 0}};
    for (auto c : levels)
        EXPECT_EQ(ChannelLevelImage(c.level), c.image) << c.level;

    struct {
        int channel, grid, cell;
        bool active, main;
        const char* text;
    } texts[] = {{0, 0, 1, true, false, "1-1-a* "},
                 {7, 6, 26, false, true, "8-7-z @"},
                 {3, 3, 2, true, true, "4-4-b*@"},
                 {2, 7, 3, false, false, "3-8-c  "}};
    for (auto c : texts)
        EXPECT_EQ(ChannelButtonText(c.channel, c.grid, c.cell, c.active, c.main), c.text);
}

TEST(FrameLogic, PaneSizesAndHitRate)
{
    PaneSizes s = DefaultPaneSizes(1600, 1000);
    EXPECT_EQ(s.graphWidth, 1356);
    EXPECT_EQ(s.trialHeight, 678);
    s = DefaultPaneSizes(100, 200);
    EXPECT_EQ(s.graphWidth, 0);
    EXPECT_EQ(s.trialHeight, 0);

    struct {
        int hits, actions;
        const char* text;
    } rates[] = {{0, 0, "0%"}, {3, 0, "300%"}, {1, 3, "33%"}, {2, 2, "100%"}, {2, 3, "66%"}};
    for (auto c : rates)
        EXPECT_EQ(HitRateText(c.hits, c.actions), c.text);
}

TEST_F(DocTest, StatusPanesShowTheDocumentAndTheRunner)
{
    COrvixDoc doc;
    experiment.Attach(&doc);
    CTaskRunner& runner = experiment.runner;
    auto pane = [&](int id) { return StatusPaneText(id, doc, runner); };

    EXPECT_EQ(pane(ID_INDICATOR_ACCUM), "Accum: 0");
    EXPECT_GE(doc.FindExpParam("AccumedTimes", false, CParam(nullptr, 0)), 0); // added
    doc.GetExpParam("AccumedTimes", CParam(nullptr, 0)) = 7;
    EXPECT_EQ(pane(ID_INDICATOR_ACCUM), "Accum: 7");

    EXPECT_EQ(pane(ID_INDICATOR_H), "H:0");
    EXPECT_EQ(doc.FindGraphParam("POSH"), -1); // not added
    doc.Table(KIND_GRAPH).Add(new CParam("POSH", "12"));
    doc.Table(KIND_GRAPH).Add(new CParam("POSV", "-3"));
    EXPECT_EQ(pane(ID_INDICATOR_H), "H:12");
    EXPECT_EQ(pane(ID_INDICATOR_V), "V:-3");

    // The subject's default is "Monkey1", and it is only added to the table, not stored.
    EXPECT_EQ(pane(ID_INDICATOR_SUBJECT), "Monkey1");
    std::string stored = GetReg("Parameters", "SubjectName");
    EXPECT_TRUE(stored == "<no key>" || stored == "<no value>") << stored;

    doc.commandLines = {"OR 0", "OR 45", "OR 90"};
    EXPECT_EQ(pane(ID_INDICATOR_CMDN), "CmdN:3");
    EXPECT_EQ(pane(ID_INDICATOR_HITRATE), "0%");
    runner.CountAction(true);
    runner.CountAction(false);
    runner.CountAction(false);
    EXPECT_EQ(pane(ID_INDICATOR_HITRATE), "33%");
    runner.nKeyPos = 'L';
    EXPECT_EQ(pane(ID_INDICATOR_KEYPOS), "LEFT");
    EXPECT_EQ(pane(ID_INDICATOR_S), "");
    experiment.Attach(nullptr);
}

TEST(FrameLogic, CommentKeysMoveTheCommentTrial)
{
    struct {
        CommentKey key;
        int index, count, expected;
    } cases[] = {
        {CommentKey::PageUp, 5, 30, -1},  {CommentKey::PageUp, 25, 30, 15}, {CommentKey::PageDown, 5, 10, 9},
        {CommentKey::PageDown, -1, 30, 9}, {CommentKey::Home, 7, 30, -1},   {CommentKey::End, 2, 10, 9},
        {CommentKey::Up, 0, 10, -1},      {CommentKey::Up, -1, 10, -1},    {CommentKey::Down, 9, 10, 9},
        {CommentKey::Down, -1, 10, 0},    {CommentKey::Enter, 4, 10, 4},   {CommentKey::End, -1, 0, -1},
    };
    for (auto c : cases)
        EXPECT_EQ(CommentKeyTarget(c.key, c.index, c.count), c.expected)
            << static_cast<int>(c.key) << " at " << c.index;
    EXPECT_TRUE(CommentKeyStoresFirst(CommentKey::Up));
    EXPECT_TRUE(CommentKeyStoresFirst(CommentKey::Enter));
    EXPECT_FALSE(CommentKeyStoresFirst(CommentKey::PageUp));
    EXPECT_FALSE(CommentKeyStoresFirst(CommentKey::Home));
}

TEST(FrameLogic, OdbcSources)
{
    struct {
        const char* text;
        bool ok;
        const char* user;
        const char* database;
        const char* statement;
        const char* connect;
    } cases[] = {
        {"ODBC://u:pw@neuron:select fileName from test", true, "u", "neuron", "select fileName from test",
         "ODBC;UID=u;PWD=pw;"},
        {"odbc://neuron:   select a", true, "", "neuron", "select a", "ODBC;"},
        {"ODBC://u@db:sel:ect", true, "u", "db", "sel:ect", "ODBC;UID=u;"},
        {"ODBC://u@db:", false, "u", "db", "", ""},
        {"ODBC://u@db", false, "u", "db", "", ""},
        {"ODBC://:select x", false, "", "", "select x", ""},
    };
    for (auto c : cases) {
        OdbcSource s;
        EXPECT_EQ(ParseOdbcSource(c.text, s), c.ok) << c.text;
        EXPECT_EQ(s.user, c.user) << c.text;
        EXPECT_EQ(s.database, c.database) << c.text;
        EXPECT_EQ(s.statement, c.statement) << c.text;
        if (c.ok) {
            EXPECT_EQ(s.ConnectString(), c.connect) << c.text;
        }
    }
    EXPECT_TRUE(IsOdbcSource("oDbC://x"));
    EXPECT_FALSE(IsOdbcSource("ODBC:/x"));
    EXPECT_EQ(InputText("ODBC://db:select *\xB6" "from t"), "ODBC://db:select * from t");
}

TEST(FrameLogic, MultiLineFormOfTheBox)
{
    EXPECT_EQ(ToMultiLine("a\xB6" "b"), "a\nb");
    struct {
        const char* text;
        const char* box;
    } cases[] = {{"a\nb", "a\xB6" "b"}, {"a\r\nb", "a\xB6" "b"}, {"a\n\rb", "a\xB6" "b"},
                 {"a\n\nb", "a\xB6\xB6" "b"}, {"plain", "plain"}};
    for (auto c : cases)
        EXPECT_EQ(FromMultiLine(c.text), c.box) << c.text;
}

TEST_F(DocTest, PatternsFindDataFilesOldestFirst)
{
    EXPECT_EQ(DataFilePattern("c:\\data\\*"), "c:\\data\\*.oxv");
    EXPECT_EQ(DataFilePattern("x.OXV"), "x.OXV");
    EXPECT_EQ(DataFilePattern("x.oxv"), "x.oxv");
    EXPECT_EQ(DataFilePattern("MO"), "MO.oxv");

    struct {
        const char* name;
        long when;
    } files[] = {{"a.oxv", 3000}, {"B.OXV", 1000}, {"c.txt", 500}, {"d.oxv", 2000}, {"ab.oxv", 4000},
                 {"a.oxv.tmp-4242-Ab12Cd", 5000}}; // a killed save's temporary: never listed
    for (auto f : files) {
        std::string path = dir + "/" + f.name;
        orvix_test::WriteFile(path, "x");
        utimbuf times{f.when, f.when};
        utime(path.c_str(), &times);
    }
    auto names = [&](std::vector<InputFileEntry> found) {
        std::string out;
        for (const auto& e : found)
            out += e.path.substr(dir.size() + 1) + " ";
        return out;
    };
    std::vector<InputFileEntry> found = FindMatchingFiles(DataFilePattern(dir + "/*"));
    SortByWriteTime(found);
    EXPECT_EQ(names(found), "B.OXV d.oxv a.oxv ab.oxv ");
    EXPECT_EQ(found[0].lastWrite, 1000);
    EXPECT_EQ(names(FindMatchingFiles(dir + "/?.oxv")), "B.OXV a.oxv d.oxv ");
    EXPECT_EQ(names(FindMatchingFiles(dir + "/A*")), "a.oxv ab.oxv ");
    EXPECT_TRUE(FindMatchingFiles(dir + "/nothing/*.oxv").empty());

    // A Windows path form goes through the drive folders.
    mkdir((dir + "/drives").c_str(), 0700);
    mkdir((dir + "/drives/c").c_str(), 0700);
    orvix_test::WriteFile(dir + "/drives/c/MO01.oxv", "x");
    EXPECT_EQ(FindMatchingFiles("c:\\MO*.oxv").size(), 1u);
}

TEST(FrameLogic, TheNavigatorStepsThroughTheList)
{
    CInputFileList list;
    EXPECT_TRUE(list.IsStale());
    EXPECT_EQ(list.PositionText(), "no file");
    std::vector<InputFileEntry> files(25);
    list.Rebuild(files);
    EXPECT_FALSE(list.IsStale());
    EXPECT_EQ(list.PositionText(), "1 of 25");

    using B = CInputFileList;
    struct {
        B::Button button;
        bool shift, justRebuilt;
        int expected; // -1: nothing opened
        int current;
    } steps[] = {
        {B::Next, false, true, -1, 0},    // the rebuild opened the first file already
        {B::First, false, false, -1, 0},  // already there
        {B::Previous, false, false, -1, 0},
        {B::Next, false, false, 1, 1},
        {B::Next, false, false, 2, 2},
        {B::Next, false, false, 3, 3},
        {B::Previous, true, false, 0, 0}, // 3 - 10 stops at the first
        {B::Next, true, false, 10, 10},
        {B::Next, true, false, 20, 20},
        {B::Next, true, false, 24, 24},   // stops at the last
        {B::Next, false, false, -1, 24},
        {B::Last, false, false, -1, 24},
        {B::First, false, false, 0, 0},
        {B::Last, false, true, 24, 24},   // Last on a stale list: the first, then the last
    };
    for (auto s : steps) {
        EXPECT_EQ(list.Navigate(s.button, s.shift, s.justRebuilt), s.expected);
        EXPECT_EQ(list.Current(), s.current);
    }
    EXPECT_EQ(list.PositionText(), "25 of 25");

    CInputFileList empty;
    empty.Rebuild({});
    for (auto b : {B::First, B::Previous, B::Next, B::Last})
        EXPECT_EQ(empty.Navigate(b, false, false), -1);
    EXPECT_EQ(empty.PositionText(), "no file");
}

TEST_F(DocTest, TheInputHistoryKeepsTwentyItems)
{
    std::vector<std::string> items;
    for (int i = 0; i < 25; ++i)
        items.push_back("c:\\data\\M" + std::to_string(i) + "*");
    SaveInputHistory(items);
    EXPECT_EQ(GetReg("Input Files", "0"), "c:\\data\\M0*");
    EXPECT_EQ(GetReg("Input Files", "19"), "c:\\data\\M19*");
    EXPECT_EQ(GetReg("Input Files", "20"), "<no value>");
    std::vector<std::string> loaded = LoadInputHistory();
    ASSERT_EQ(loaded.size(), 20u);
    EXPECT_EQ(loaded[19], "c:\\data\\M19*");

    SaveInputHistory({"one", "two"});
    EXPECT_EQ(GetReg("Input Files", "1"), "two");
    EXPECT_EQ(GetReg("Input Files", "2"), "<no value>");
    EXPECT_EQ(LoadInputHistory().size(), 2u);

    EXPECT_EQ(FindHistoryPrefix({"c:\\data\\MO*", "x"}, "C:\\DATA"), 0);
    EXPECT_EQ(FindHistoryPrefix({"c:\\data\\MO*", "x"}, "x"), 1);
    EXPECT_EQ(FindHistoryPrefix({"c:\\data\\MO*"}, "c:\\data\\MO*.oxv"), -1);
}
