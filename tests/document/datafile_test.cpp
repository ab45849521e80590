#include "doc_fixture.h"

#include "document/datafile_format.h"
#include "platform/files/atomic_file.h"

#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvix;
using orvix_test::Hex;

namespace {

std::vector<uint8_t> Bytes(const std::string& path)
{
    std::string s = orvix_test::ReadFile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string Zeros(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += " 00";
    return s;
}

// A file of any version written field by field, independently of the program's writer.
struct FileBuilder {
    CArchive ar;
    uint16_t version;
    std::vector<std::unique_ptr<CObject>> keep;
    explicit FileBuilder(uint16_t v) : version(v) { ar.WriteWord(v); }

    void Head(const std::string& notes, int32_t selected, const std::string& testType)
    {
        ar.WriteDWord(0);
        if (version == 0 || version >= 2)
            ar.WriteString(notes);
        ar.WriteInt(selected);
        if (version >= 1) {
            ar.WriteByte(5);                      // main channel
            for (int i = 0; i < 8; ++i)
                ar.WriteWord(static_cast<uint16_t>(i + 2)); // cell ids
            for (int i = 0; i < 8; ++i)
                ar.WriteByte(static_cast<uint8_t>(7 - i)); // grid choices
            for (int i = 0; i < 8; ++i)
                ar.WriteWord(static_cast<uint16_t>(-10 * i)); // depths
        }
        ar.WriteCount(1);
        ar.WriteString(testType);
    }
    void Params(std::vector<std::pair<std::string, std::string>> params)
    {
        ar.WriteCount(params.size());
        // Distinct objects: the archive tells objects apart by their address.
        for (auto& [n, v] : params) {
            keep.push_back(std::make_unique<CParam>(n.c_str(), v.c_str()));
            ar.WriteObject(keep.back().get());
        }
    }
    void Commands(std::vector<std::string> lines, int trials)
    {
        ar.WriteStringList(lines);
        ar.WriteCount(static_cast<size_t>(trials));
        for (int i = 0; i < trials; ++i) {
            auto t = std::make_unique<CTrial>();
            t->commandIndex = i % static_cast<int>(lines.size());
            t->activeChannels = static_cast<uint8_t>(0x10 + i);
            ar.WriteObject(t.get());
            keep.push_back(std::move(t));
        }
        for (int i = 0; i < 5; ++i)
            ar.WriteCount(0);
    }
    // The format fields as far as the version carries them.
    void Format()
    {
        for (int f = 0; f < 2; ++f)
            for (int i = 0; i < 60; ++i)
                ar.WriteByte(0xAB);
        for (int32_t v : {111, 222, 1, 2, 3, 4, 99, 70, -5, 7, 98, 0x123456, 97})
            ar.WriteInt(v);
        ar.WriteString("XT");
        ar.WriteString("YT");
        ar.WriteString("ZT");
        for (int32_t v : {2, -50, 50, 3, 4})
            ar.WriteInt(v);
        for (int32_t v : {9, 9, 9})
            ar.WriteInt(v);
        ar.WriteDWord(1);
        CParam sel("P", "5");
        sel.Serialize(ar);
        ar.WriteDWord(0);
        if (version >= 4) {
            ar.WriteInt(6);
            ar.WriteInt(77);
        }
        if (version >= 5)
            ar.WriteStringList({"Q", "P * 2"});
        if (version >= 7) {
            ar.WriteDWord(0);
            ar.WriteDWord(1);
            CParam g("G1", "old");
            g.Serialize(ar);
            ar.WriteDWord(1);
            CParam b("Speed", "1");
            b.Serialize(ar);
        }
    }
    std::string Save(const std::string& path)
    {
        orvix_test::WriteFile(path, std::string(ar.Buffer().begin(), ar.Buffer().end()));
        return path;
    }
};

std::string Standard(FileBuilder& b, const std::string& path, bool format = true, const char* testType = "Orient")
{
    b.Head("notes", 4, testType);
    b.Params({{"IVFile", "a.iv"}, {"ivfile", "dup"}, {".", "x"}, {".", "y"}});
    b.Params({{"Speed", "25"}});
    b.Params({{"G1", "new"}});
    b.Commands({"P 1, R 10", "P 2, R 20", "P 3, R 30"}, 4);
    if (format)
        b.Format();
    return b.Save(path);
}

} // namespace

TEST_F(DocTest, SavedBytesOfASmallDocument)
{
    COrvixDoc doc;
    experiment.Attach(&doc);
    ASSERT_TRUE(doc.AddTestType("T"));
    doc.GetExpParam("A", CParam(nullptr, "1"));
    doc.GetBehavParam("B", CParam(nullptr, 2));
    doc.notes = "n";
    doc.commandLines = {"X 1"};
    std::string path = dir + "/small.oxv";
    ASSERT_TRUE(doc.OnSaveDocument(path));

    std::string face = " 41 72 69 61 6C" + Zeros(27);
    std::string expected =
        "07 00  00 00 00 00  01 6E  01 00 00 00  03"
        "  01 00 01 00 01 00 01 00 01 00 01 00 01 00 01 00"
        "  00 01 02 03 04 05 06 07" + Zeros(16) +
        "  01 00 01 54"
        "  01 00 FF FF 01 00 06 00 43 50 61 72 61 6D 01 41 01 31"
        // "DataPath" came with the data-file name of the selected type, then the task runner's
        // ten parameters with their defaults, then "B"
        "  0C 00 01 80 08 44 61 74 61 50 61 74 68 07 63 3A 5C 64 61 74 61"
        "  01 80 05 44 74 6F 41 48 04 30 2E 30 32"             // DtoAH 0.02
        "  01 80 02 48 30 05 2D 32 35 36 30"                   // H0 -2560
        "  01 80 05 44 74 6F 41 56 05 2D 30 2E 30 34"          // DtoAV -0.04
        "  01 80 02 56 30 05 2D 31 32 38 30"                   // V0 -1280
        "  01 80 06 44 74 6F 41 48 32 01 30"                   // DtoAH2 0
        "  01 80 06 44 74 6F 41 56 32 01 30"                   // DtoAV2 0
        "  01 80 08 46 50 57 69 6E 52 61 64 03 33 30 30"       // FPWinRad 300
        "  01 80 0E 53 77 69 74 63 68 4A 6F 79 73 74 69 63 6B 01 30" // SwitchJoystick 0
        "  01 80 0C 41 6E 61 6C 79 73 69 73 54 69 6D 65 03 38 30 30" // AnalysisTime 800
        "  01 80 0B 55 6E 69 74 73 50 65 72 44 65 67 02 36 30"       // UnitsPerDeg 60
        "  01 80 01 42 01 32"
        "  00 00"
        "  01 00 03 58 20 31"
        "  00 00" + Zeros(10) +
        // main font, then the vertical font (escapement and orientation 900)
        "  C2 FE FF FF 00 00 00 00 00 00 00 00 00 00 00 00 90 01 00 00" + Zeros(8) + face +
        "  C2 FE FF FF 00 00 00 00 84 03 00 00 84 03 00 00 90 01 00 00" + Zeros(8) + face +
        "  10 27 00 00 40 1F 00 00 B0 04 00 00 2C 01 00 00 F4 01 00 00 E8 03 00 00"
        "  64 00 00 00 32 00 00 00 00 00 00 00 0A 00 00 00 64 00 00 00 00 80 FF 00 96 00 00 00"
        "  00 00 00"
        "  0A 00 00 00 38 FF FF FF C8 00 00 00 01 00 00 00 05 00 00 00"
        "  00 00 00 00 01 00 00 00 02 00 00 00"
        "  00 00 00 00 00 00 00 00"
        "  00 00 00 00 14 00 00 00"
        "  00 00" + Zeros(12);
    EXPECT_EQ(orvix_test::ToHex(Bytes(path)), orvix_test::ToHex(Hex(expected)));
}

TEST_F(DocTest, RoundTripThroughAFile)
{
    std::string path = dir + "/round.oxv";
    {
        COrvixDoc doc;
        ASSERT_TRUE(doc.AddTestType("Orient"));
        doc.GetExpParam("IVFile", CParam(nullptr, "scene.iv"));
        doc.GetBehavParam("Speed", CParam(nullptr, 3));
        doc.commandLines = {"OR 0, SF 1.5", "OR 90, SF 2"};
        doc.ParseCommandFile(kNoAngleOffset);
        for (int i = 0; i < 3; ++i) {
            auto* t = new CTrial;
            t->commandIndex = i % 2;
            t->SetResponse(i, 0, 0, 0, 2);
            doc.AddTrial(t);
        }
        doc.notes = "first day";
        ASSERT_TRUE(doc.OnSaveDocument(path));
    }
    COrvixDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path)) << (ui.messages.empty() ? "" : ui.messages.back().text);
    EXPECT_EQ(doc.GetTestTypeName(), "Orient");
    EXPECT_EQ(doc.notes, "first day");
    EXPECT_EQ(doc.GetTrialCount(), 3);
    EXPECT_EQ(doc.GetCommandRowCount(), 2);
    EXPECT_EQ(doc.GetExpParam("IVFile", CParam()).GetText(), "scene.iv");
    EXPECT_EQ(doc.GetBehavParam("Speed", CParam()).GetText(), "3");
    ASSERT_EQ(doc.trialTable.GetRowCount(), 3);
    EXPECT_EQ(doc.trialTable.GetColumnName(0), std::string("OR"));
    EXPECT_EQ(doc.trialTable.GetColumnType(1), 3);
    EXPECT_EQ(doc.trialTable.GetInt(2, 0), 0);
    EXPECT_EQ(doc.trialTable.GetInt(1, 0), 90);
    EXPECT_EQ(doc.trialTable.GetInt(2, 2), 2); // "Status" of trial 2
    EXPECT_EQ(doc.GetBehavParam("DataPath", CParam()).GetText(), dir);
    // Below the drives folder the data folder is named as the program names it.
    std::filesystem::create_directories(dir + "/drives/c/data");
    std::filesystem::copy_file(path, dir + "/drives/c/data/round.oxv");
    ASSERT_TRUE(doc.OnOpenDocument(dir + "/drives/c/data/round.oxv"));
    EXPECT_EQ(doc.GetBehavParam("DataPath", CParam()).GetText(), "c:\\data");
}

TEST_F(DocTest, VersionsAndLoadFormat)
{
    struct Case {
        uint16_t version;
        bool loadFormat;
    };
    for (Case k : {Case{0, true}, Case{1, true}, Case{2, true}, Case{4, true}, Case{5, true}, Case{7, true},
                   Case{7, false}}) {
        SCOPED_TRACE(testing::Message() << "version " << k.version << " loadFormat " << k.loadFormat);
        FileBuilder b(k.version);
        std::string path = Standard(b, dir + "/v.oxv", k.version >= 3);
        COrvixDoc doc;
        doc.loadFormat = k.loadFormat;
        ASSERT_TRUE(doc.OnOpenDocument(path)) << (ui.messages.empty() ? "" : ui.messages.back().text);
        EXPECT_EQ(doc.notes, k.version == 1 ? "" : "notes");
        if (k.version == 0) {
            EXPECT_EQ(doc.mainChannel, 3);
            EXPECT_EQ(doc.cellIds[7], 1);
            EXPECT_EQ(doc.gridChoices[7], 7);
            EXPECT_EQ(doc.depths[7], 0);
        } else {
            EXPECT_EQ(doc.mainChannel, 5);
            EXPECT_EQ(doc.cellIds[7], 9);
            EXPECT_EQ(doc.gridChoices[7], 0);
            EXPECT_EQ(doc.depths[7], -70);
        }
        EXPECT_EQ(doc.GetSelectedChannel(), k.loadFormat ? 4 : doc.mainChannel);
        EXPECT_EQ(doc.activeChannels, 0x13); // the last trial's mask
        bool format = k.loadFormat && k.version >= 3;
        EXPECT_EQ(doc.plot.FigWidth, format ? 111 : 10000);
        EXPECT_EQ(doc.plot.SymbolSize, 100);        // read and not taken
        EXPECT_EQ(doc.plot.BarColor, format ? 0x123456u : 0xFF8000u);
        EXPECT_EQ(doc.plot.xTitle, format ? "XT" : "");
        EXPECT_EQ(doc.selectionList1.size(), format ? 1u : 0u);
        EXPECT_EQ(doc.plot.PlotType, format && k.version >= 4 ? 6 : 0);
        EXPECT_EQ(doc.plot.PenWidth, 20);
        EXPECT_EQ(doc.expressionColumns.size(), format && k.version >= 5 ? 2u : 0u);
        if (format && k.version >= 7) {
            ASSERT_EQ(doc.GetInitParamCount(KIND_GRAPH), 1);
            EXPECT_EQ(doc.GetInitParam(KIND_GRAPH, 0).GetText(), "new");
            EXPECT_EQ(doc.SavedList(KIND_GRAPH).at(0).GetText(), "old");
        }
        if (k.version < 3) {
            // Axis variables brought into the two command parameters: x 0..1, y -3..1
            // and not x, figure -1..1 and neither of the others.
            EXPECT_EQ(doc.plot.XAxisVariable, 0);
            EXPECT_EQ(doc.plot.YAxisVariable, 1);
            EXPECT_EQ(doc.plot.FigureAxisVariable, -1);
        }
    }
}

TEST_F(DocTest, DuplicateNamesAndTheFilesTestType)
{
    FileBuilder b(7);
    std::string path = Standard(b, dir + "/d.oxv");
    SetReg("TestType", nullptr, "Other");
    COrvixDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_EQ(doc.GetExpParamCount(), 3); // "ivfile" dropped, both "." kept
    EXPECT_EQ(doc.GetExpParam("IVFile", CParam()).GetText(), "a.iv");
    EXPECT_EQ(doc.FindExpParam("ivfile", false, CParam()), -1);
    EXPECT_EQ(doc.GetTestTypeNames(), (std::vector<std::string>{"Other", "Orient"}));
    EXPECT_EQ(doc.GetTestTypeName(), "Orient");
    EXPECT_EQ(doc.InitLists(KIND_BEHAV).size(), 2u);
    // A file saved before any test type existed adds none, and keeps its name for its saves.
    FileBuilder none(7);
    ASSERT_TRUE(doc.OnOpenDocument(Standard(none, dir + "/day1.oxv", true, "")));
    EXPECT_EQ(doc.GetTestTypeCount(), 2);
    doc.UpdateDataFileName(); // as a new subject name does
    EXPECT_EQ(doc.GetPathName(), dir + "/day1.oxv");
}

TEST_F(DocTest, AFailedOpenChangesNothing)
{
    FileBuilder b(7);
    std::string good = Standard(b, dir + "/good.oxv");
    std::string bytes = orvix_test::ReadFile(good);
    COrvixDoc doc;
    doc.GetBehavParam("Keep", CParam(nullptr, 5));
    doc.GetExpParam("Mine", CParam(nullptr, 1));
    doc.commandLines = {"A 1"};
    doc.ParseCommandFile(kNoAngleOffset);
    doc.AddTrial(new CTrial);

    auto expectUnchanged = [&] {
        EXPECT_EQ(doc.GetBehavParam("Keep", CParam()).GetInt(), 5);
        EXPECT_EQ(doc.GetExpParamCount(), 1);
        EXPECT_EQ(doc.GetTrialCount(), 1);
        EXPECT_EQ(doc.commandLines, std::vector<std::string>{"A 1"});
    };
    // Cut at many places, a wrong class name, a newer version, no commands.
    for (size_t cut : {size_t{1}, size_t{10}, size_t{60}, bytes.size() / 2, bytes.size() - 1}) {
        orvix_test::WriteFile(dir + "/cut.oxv", bytes.substr(0, cut));
        EXPECT_FALSE(doc.OnOpenDocument(dir + "/cut.oxv")) << cut;
        expectUnchanged();
    }
    std::string renamed = bytes;
    renamed.replace(renamed.find("CParam"), 6, "CParaX");
    orvix_test::WriteFile(dir + "/bad.oxv", renamed);
    EXPECT_FALSE(doc.OnOpenDocument(dir + "/bad.oxv"));
    expectUnchanged();
    std::string newer = bytes;
    newer[0] = 8;
    orvix_test::WriteFile(dir + "/new.oxv", newer);
    EXPECT_FALSE(doc.OnOpenDocument(dir + "/new.oxv"));
    EXPECT_EQ(ui.messages.back().text,
              "What are you doing?\nYou should get a new version of Orvix software to open this data file.");
    expectUnchanged();
    FileBuilder empty(7);
    empty.Head("", 0, "T");
    empty.Params({});
    empty.Params({});
    empty.Params({});
    empty.Commands({}, 0);
    empty.Format();
    EXPECT_FALSE(doc.OnOpenDocument(empty.Save(dir + "/empty.oxv")));
    expectUnchanged();
    EXPECT_FALSE(doc.OnOpenDocument(dir + "/missing.oxv"));
    EXPECT_EQ(ui.messages.back().text, "File \"" + dir + "/missing.oxv\" doesn't exist or couldn't be opened!");
    // Not a regular file: refused before it is opened. (A pipe without a writer would wait
    // for one; this one has a writer, so that the test cannot hang.)
    const std::string pipe = dir + "/pipe.oxv";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    int writer = open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    for (const std::string& path : {pipe, std::string("/dev/null"), dir}) {
        EXPECT_FALSE(doc.OnOpenDocument(path));
        EXPECT_EQ(ui.messages.back().text,
                  "File \"" + path + "\" is not a regular file: it can't be opened as a data file.");
        expectUnchanged();
    }
    close(writer);
}

TEST_F(DocTest, MergingAddsCommandsAndTrials)
{
    FileBuilder b(7);
    std::string other = Standard(b, dir + "/other.oxv");
    COrvixDoc doc;
    doc.commandLines = {"P 9, R 90"};
    doc.ParseCommandFile(kNoAngleOffset);
    doc.AddTrial(new CTrial);
    doc.GetTrial(0)->commandIndex = 0;
    doc.OnFileMergingMode();
    EXPECT_EQ(doc.commandLines[0], "in 1, P 9, R 90");
    doc.OnFileMergingMode();
    doc.OnFileMergingMode(); // on again: no second prefix
    EXPECT_EQ(doc.commandLines[0], "in 1, P 9, R 90");
    ASSERT_TRUE(doc.OnOpenDocument(other)) << (ui.messages.empty() ? "" : ui.messages.back().text);
    EXPECT_EQ(doc.mergeMode, 2);
    ASSERT_EQ(doc.GetCommandCount(), 4);
    EXPECT_EQ(doc.commandLines[1], "in 2, P 1, R 10");
    EXPECT_EQ(doc.GetTrialCount(), 5);
    EXPECT_EQ(doc.GetTrial(1)->commandIndex, 1);
    EXPECT_EQ(doc.GetTrial(4)->commandIndex, 1);
    EXPECT_EQ(doc.trialTable.GetRowCount(), 5);
    EXPECT_EQ(doc.trialTable.GetColumnName(0), std::string("in"));
    EXPECT_EQ(doc.trialTable.GetInt(3, 0), 2);
}

TEST_F(DocTest, ExpressionColumns)
{
    COrvixDoc doc;
    doc.commandLines = {"A 1, B 10", "A 2, B 20"};
    doc.ParseCommandFile(kNoAngleOffset);
    for (int i = 0; i < 2; ++i) {
        auto* t = new CTrial;
        t->commandIndex = i;
        doc.AddTrial(t);
    }
    ASSERT_TRUE(doc.InsertExpressionColumn("S", "A + B / 4", false, true));
    EXPECT_EQ(doc.trialTable.GetColumnName(0), std::string("S"));
    EXPECT_EQ(doc.trialTable.GetColumnType(0), 1);
    EXPECT_EQ(doc.trialTable.GetInt(0, 0), 4);  // 3.5 rounded in the table
    EXPECT_DOUBLE_EQ(doc.GetCommand(0)[0].GetDouble(), 3.5); // the row keeps the real
    EXPECT_EQ(doc.expressionColumns, (std::vector<std::string>{"S", "A + B / 4"}));
    // An existing name is rewritten as text in every row; the table column (integer)
    // takes each trial's new value.
    ASSERT_TRUE(doc.InsertExpressionColumn("B", "A * 100", false, false));
    EXPECT_EQ(doc.GetCommand(1)[2].GetType(), PARAM_TEXT);
    EXPECT_EQ(doc.GetCommand(1)[2].GetText(), "200");
    EXPECT_EQ(doc.trialTable.GetInt(0, 2), 100);
    ASSERT_TRUE(doc.InsertExpressionColumn("B", "A > 1 ? 'big' : 'small'", false, false));
    EXPECT_EQ(doc.GetCommand(1)[2].GetText(), "big");
    EXPECT_FALSE(doc.InsertExpressionColumn("C", "A +", false, true));
    EXPECT_EQ(doc.expressionColumns.size(), 2u);

    // The Transform command says why nothing was computed: a response column is no
    // parameter of the commands, and a broken expression is named.
    const std::pair<const char*, const char*> refused[] = {
        {"RTime * 2", "\"RTime\" is not a parameter of the stimulus commands."},
        {"A +", "\"A +\" is not an expression the Transform can compute."},
    };
    for (auto [expression, message] : refused) {
        ui.messages.clear();
        // Copied into the capture: clang before 16 cannot capture a structured binding.
        ui.onAskTransform = [expression = expression](std::string& name, std::string& text) {
            name = "RT2";
            text = expression;
            return true;
        };
        doc.OnTransform();
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{message});
    }
    COrvixDoc empty;
    std::string problem;
    EXPECT_FALSE(empty.InsertExpressionColumn("C", "1", false, true, &problem));
    EXPECT_EQ(problem, "There are no stimulus commands to compute a column from.");
}

TEST_F(DocTest, TrialRowsAndTheMissingValue)
{
    COrvixDoc doc;
    doc.commandLines = {"A 1"};
    doc.ParseCommandFile(kNoAngleOffset);
    auto* t = new CTrial;
    t->commandIndex = 5; // not in the list: only the response cells are filled
    t->SetResponse(1, 2, 3, 4, 5);
    t->channelResponses[0] = -1.0f; // not computed
    doc.AddTrial(t);
    EXPECT_EQ(doc.trialTable.GetInt(0, 0), 0);
    EXPECT_EQ(doc.trialTable.GetInt(0, 1), 1);
    EXPECT_EQ(doc.trialTable.GetInt(0, 5), 5);
    EXPECT_TRUE(std::isnan(doc.trialTable.GetDouble(0, 7)));
    doc.RemoveTrial(0);
    EXPECT_EQ(doc.trialTable.GetRowCount(), 0);
    int w = 0, h = 0;
    doc.figureCount = 3;
    doc.GetFigureExtent(w, h);
    EXPECT_EQ(w, 20000);
    EXPECT_EQ(h, 16000);
}

TEST_F(DocTest, SaveGoesToTheNamedDataFile)
{
    COrvixDoc doc;
    EXPECT_FALSE(doc.DoFileSave()); // no file yet
    doc.dataFilePath = "c:\\data\\MOaa4aT01.oxv";
    ASSERT_TRUE(doc.DoFileSave());
    std::string mapped = dir + "/drives/c/data/MOaa4aT01.oxv";
    EXPECT_EQ(doc.GetPathName(), mapped);
    EXPECT_EQ(orvix_test::ReadFile(mapped).substr(0, 2), std::string("\x07\x00", 2));
    // A failed write keeps the previous file and says so.
    FailAtomicWritesForTesting(true);
    EXPECT_FALSE(doc.DoFileSave());
    FailAtomicWritesForTesting(false);
    EXPECT_EQ(ui.messages.back().text, "Can't save the data file \"" + mapped + "\".\nInput/output error.");
    EXPECT_EQ(orvix_test::ReadFile(mapped).substr(0, 2), std::string("\x07\x00", 2));
    // The reason is the system's own: here a "folder" that is a file.
    std::string blocked = dir + "/plain";
    orvix_test::WriteFile(blocked, "x");
    EXPECT_FALSE(doc.OnSaveDocument(blocked + "/y.oxv"));
    EXPECT_EQ(ui.messages.back().text, "Can't save the data file \"" + blocked + "/y.oxv\".\nNot a directory.");
}

// A folder named with "ü" opens and saves: the document names it in the program's text
// (the data folder in its "c:\..." form), and the save goes back to the same bytes. A
// folder whose name the code page cannot hold is refused before anything is read or written.
TEST_F(DocTest, FoldersWithTheLabsLettersOpenAndSave)
{
    const std::string folder = dir + "/drives/c/data/m\xC3\xBCller";
    std::filesystem::create_directories(folder);
    COrvixDoc doc;
    doc.commandLines = {"Label 5\xB5V", "Label caf\xE9", "Label 30\xB0"};
    doc.ParseCommandFile(kNoAngleOffset);
    ASSERT_TRUE(doc.OnSaveDocument(folder + "/M1aa1aT01.oxv"));
    COrvixDoc back;
    ASSERT_TRUE(back.OnOpenDocument(folder + "/M1aa1aT01.oxv"));
    EXPECT_EQ(back.GetBehavParam("DataPath", CParam()).GetText(), "c:\\data\\m\xFCller");
    EXPECT_EQ(back.dataFilePath, "c:\\data\\m\xFCller\\M1aa1aT01.oxv");
    EXPECT_EQ(back.commandLines, doc.commandLines);
    back.SetModifiedFlag(true);
    ASSERT_TRUE(back.DoFileSave());
    EXPECT_EQ(std::filesystem::directory_iterator(folder)->path().filename(), "M1aa1aT01.oxv");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir + "/drives/c/data"), {}), 1);

    const std::string omega = dir + "/\xCE\xA9";
    std::filesystem::create_directories(omega);
    std::filesystem::copy_file(folder + "/M1aa1aT01.oxv", omega + "/a.oxv");
    EXPECT_FALSE(back.OnOpenDocument(omega + "/a.oxv"));
    const std::string refusal = "The letter U+03A9 in the path \"" + dir + "/<U+03A9>/a.oxv\" cannot be kept: the "
                                "program's text holds only the letters of the code page Windows-1252.\nPlease name "
                                "the file and its folders with the letters of Windows-1252.";
    EXPECT_EQ(ui.messages.back().text, refusal);
    EXPECT_EQ(back.dataFilePath, "c:\\data\\m\xFCller\\M1aa1aT01.oxv");
    EXPECT_FALSE(back.OnSaveDocument(omega + "/b.oxv"));
    EXPECT_FALSE(std::filesystem::exists(omega + "/b.oxv"));
}

// Over a file-size limit the save fails with the system's reason and the old file stays: the
// limit's signal does not end the process (in a child, which the limit is set for).
TEST_F(DocTest, ASaveOverTheFileSizeLimitFailsWithItsReason)
{
    const std::string path = dir + "/big.oxv";
    orvix_test::WriteFile(path, "previous");
    COrvixDoc doc;
    doc.notes = std::string(100000, 'n');
    EXPECT_EXIT(
        {
            struct rlimit limit;
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 4096;
            setrlimit(RLIMIT_FSIZE, &limit);
            bool failed = !doc.OnSaveDocument(path)
                          && ui.messages.back().text == "Can't save the data file \"" + path + "\".\nFile too large.";
            _exit(failed ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(orvix_test::ReadFile(path), "previous");
}
