#include "export/trialexport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "platform/files/paths.h"
#include "tests/export/export_fixture.h"

using namespace orvix;
using orvix_test::ReadFile;

namespace {

TEST_F(LoopTest, OneFilePerDataFileAndEventType)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(3));
    Save("M1aa1aOrient02.oxv", {"OR 0", "OR 90"}, Trials(2));
    Save("M1ab2bSize01.oxv", {"SIZE 1", "SIZE 2"}, Trials(1));
    orvix_test::WriteFile(data + "/notes.txt", "not a data file");
    ASSERT_TRUE(Run(EXPORT_CSV, EXPORT_SPIKE));
    EXPECT_EQ(opener.opened, (std::vector<std::string>{"M1aa1aOrient01.oxv", "M1aa1aOrient02.oxv", "M1ab2bSize01.oxv"}));
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"M1aa1aOrient_Spike01.csv", "M1aa1aOrient_Spike02.csv",
                                                    "M1ab2bSize_Spike01.csv"}));
    // Trial 1 of file 2: onset 301, spikes at 351.0 and 400.0 ms, length 2000.
    EXPECT_EQ(ReadFile(out + "/M1aa1aOrient_Spike02.csv"),
              "CellID$,Rep,TrialNum,SpikeEvent,SpikeTime\r\n"
              "\"M1aa1a\",2,0,1,50.0\r\n\"M1aa1a\",2,0,6,100.0\r\n\"M1aa1a\",2,0,-1,1700.0\r\n"
              "\"M1aa1a\",2,1,1,50.0\r\n\"M1aa1a\",2,1,6,99.0\r\n\"M1aa1a\",2,1,-1,1699.0\r\n");
    EXPECT_EQ(progress.trials, 6);
    EXPECT_TRUE(ui.messages.empty());

    ASSERT_TRUE(Run(EXPORT_DBF, EXPORT_BASIC));
    EXPECT_TRUE(std::filesystem::exists(out + "/M1ab2bSize01.dbf"));
}

// A temporary file beside a data file (a killed save's, of the older form or with its
// writer's pid) is never taken for a data file, whatever the pattern.
TEST_F(LoopTest, PatternsNeverTakeATemporaryFile)
{
    Save("M1small.oxv", {"OR 0"}, Trials(1, 1));
    const std::string bytes = ReadFile(data + "/M1small.oxv");
    for (const char* left : {"/M1small.oxv.tmp-Ab12Cd", "/M1small.oxv.tmp-4242-Ab12Cd"})
        orvix_test::WriteFile(data + left, bytes);
    EXPECT_EQ(FindDataFiles(data + "/M1*"), std::vector<std::string>{data + "/M1small.oxv"});
}

// Relative patterns and output folders, of one folder or more, with '/' or '\\'.
TEST_F(LoopTest, RelativePatternsAndOutputFoldersAtAnyDepth)
{
    Save("M1aa1aOrient04.oxv", {"OR 0", "OR 90"}, Trials(1));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const std::pair<const char*, const char*> cases[] = {
        {"data/M1*", "out"}, {"data\\M1*", "out\\deep"}, {"./data/M1*", "out/deeper/still"}};
    for (auto [pattern, folder] : cases) {
        std::filesystem::create_directories(orvix::MapPath(folder));
        EXPECT_TRUE(Run(EXPORT_CSV, EXPORT_BASIC, false, pattern, folder)) << pattern;
        EXPECT_TRUE(std::filesystem::exists(orvix::MapPath(folder) + "/M1aa1aOrient04.csv")) << pattern;
    }
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
}

// The document may not be replaced (the user kept unsaved trials): nothing is opened.
TEST_F(LoopTest, NothingStartsWhenTheDocumentMustStay)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(1));
    opener.mayReplace = false;
    EXPECT_FALSE(Run(EXPORT_CSV, EXPORT_BASIC));
    EXPECT_FALSE(Run(EXPORT_CSV, EXPORT_BASIC, true));
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_TRUE(OutFiles().empty());
}

// A file that cannot be read is reported and skipped; the document still holds the file
// before it, which is not exported again under the broken file's name.
TEST_F(LoopTest, UnreadableFileIsSkippedWithAMessage)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(2));
    orvix_test::WriteFile(data + "/M1aa1aOrient02.oxv", "garbage, not an archive");
    Save("M1aa1aOrient03.oxv", {"OR 0", "OR 90"}, Trials(1));
    EXPECT_FALSE(Run(EXPORT_CSV, EXPORT_BASIC)); // no success
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"M1aa1aOrient01.csv", "M1aa1aOrient03.csv"}));
    // The document's own refusal of the file.
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("open this data file"), std::string::npos) << ui.messages[0].text;
}

TEST_F(LoopTest, StopEndsTheExportAfterTheTrialInHand)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(4));
    Save("M1aa1aOrient02.oxv", {"OR 0", "OR 90"}, Trials(4));
    progress.stopAfter = 2;
    ASSERT_TRUE(Run(EXPORT_DBF, EXPORT_BASIC));
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"M1aa1aOrient01.dbf"});
    std::string bytes = ReadFile(out + "/M1aa1aOrient01.dbf");
    // The rows written so far, counted in the header.
    EXPECT_EQ(bytes[4], 2);
    uint16_t header = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
    uint16_t record = static_cast<uint8_t>(bytes[10]) | static_cast<uint8_t>(bytes[11]) << 8;
    EXPECT_EQ(bytes.size(), header + 2u * record);
}

TEST_F(LoopTest, OutputFolderThatCannotBeWrittenAsksWhetherToGoOn)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(1));
    Save("M1aa1aOrient02.oxv", {"OR 0", "OR 90"}, Trials(1));
    orvix_test::WriteFile(dir + "/plain", "a file, not a folder");
    out = dir + "/plain";
    ui.answers = {IDYES, IDNO};
    // Whichever the answer, nothing was written: no success.
    EXPECT_FALSE(Run(EXPORT_CSV, EXPORT_BASIC));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Can't open output file: \"" + out
                                       + "/M1aa1aOrient01.csv\".\nThe \"Output file, dir or table\" should be a "
                                         "writable directory.\nContinue?");
    EXPECT_EQ(opener.opened.size(), 2u);
    ui.answers = {IDNO};
    opener.opened.clear();
    EXPECT_FALSE(Run(EXPORT_CSV, EXPORT_BASIC));
    EXPECT_EQ(opener.opened.size(), 1u);
}

// A full disk: reported, the export stops without success, no half file is left.
TEST_F(LoopTest, WriteErrorIsReportedAndLeavesNoFile)
{
    Save("M1aa1aOrient01.oxv", {"OR 0", "OR 90"}, Trials(300));
    Save("M1aa1aOrient02.oxv", {"OR 0", "OR 90"}, Trials(1));
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = {8192, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    bool ok = Run(EXPORT_CSV, EXPORT_EYE);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(OutFiles().empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Can't write the output file \"" + out
                                       + "/M1aa1aOrient_Eye01.csv\": File too large.\nThe file was not written; the "
                                         "export stops.");
    EXPECT_EQ(opener.opened.size(), 1u);
}

// The second file holds its parameters in another order, and both tables have a computed
// column at the front: the rows follow the header by column name.
TEST_F(LoopTest, SingleFileMapsColumnsByTheTablesOwnNames)
{
    Save("M1aa1aA01.oxv", {"OR 0, SIZE 2", "OR 90, SIZE 3"}, Trials(2));
    Save("M1aa1aB01.oxv", {"SIZE 4, OR 45", "SIZE 5, OR 135"}, Trials(2));
    opener.afterOpen = [](COrvixDoc& d) { ASSERT_TRUE(d.InsertExpressionColumn("AREA", "SIZE*SIZE", true, false)); };
    ASSERT_TRUE(Run(EXPORT_CSV, EXPORT_BASIC, true));
    std::string csv = ReadFile(out + "/all.csv");
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "CellID$,Rep,TrialNum,Set,Item,AREA,OR,SIZE,Status,RTime,V1,V2,V3,Resp,ActiveCh,MainCh,FigOnTime");
    EXPECT_NE(csv.find("\"M1aa1a\",1,0,0,0,4,0,2,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\"M1aa1a\",1,0,0,0,16,45,4,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\"M1aa1a\",1,1,0,1,25,135,5,"), std::string::npos) << csv;
}

// Files whose parameters disagree are asked about once, then copied to the refused-files
// folder without a shell (a name full of shell syntax stays a name) and left out.
TEST_F(LoopTest, SingleFileCopiesRefusedFilesAndAsksOnce)
{
    Save("M1aa1aA01.oxv", {"OR 0, SIZE 2"}, Trials(1, 1));
    Save("M1aa1aB01.oxv", {"OR 0"}, Trials(1, 1));
    const std::string odd = "M1aa1aC;$(touch pwned)01.oxv";
    Save(odd, {"OR 0"}, Trials(1, 1));
    Save("M1aa1aD01.oxv", {"OR 0, SF 2"}, Trials(1, 1));
    Save("M1aa1aE01.oxv", {"OR 0, SIZE 7"}, Trials(1, 1));
    ui.answers = {IDYES, IDYES};
    ASSERT_TRUE(Run(EXPORT_CSV, EXPORT_BASIC, true));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text,
              "Parameter numbers in the command files are not consistent.\nFile \"" + data
                  + "/M1aa1aB01.oxv\" has 1 parameters.\nFirst file has \"2\" parameters.\nContinue?\n\nIf continue, "
                    "the underlining file will be copied to c:\\temp\\ but not exported.");
    EXPECT_EQ(ui.messages[1].text, "Parameter name \"SIZE\" not found!\nContinue?\nIf yes, the underlining file will be "
                                   "copied to c:\\temp\\ but not exported.");
    const std::string temp = dir + "/drives/c/temp/";
    EXPECT_EQ(ReadFile(temp + "M1aa1aB01.oxv"), ReadFile(data + "/M1aa1aB01.oxv"));
    EXPECT_TRUE(std::filesystem::exists(temp + odd));
    EXPECT_TRUE(std::filesystem::exists(temp + "M1aa1aD01.oxv"));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    std::string csv = ReadFile(out + "/all.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3); // header, file A, file E
    EXPECT_NE(csv.find(",0,0,0,7,"), std::string::npos);

    // "No" ends the export there; what was written stays.
    ui.messages.clear();
    ui.answers = {IDNO};
    ASSERT_TRUE(Run(EXPORT_CSV, EXPORT_BASIC, true));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(opener.opened.back(), "M1aa1aB01.oxv");
}

// Nothing matched: no writer to close, no file, and the user hears of it.
TEST_F(LoopTest, SingleFileWithNoMatchWritesNothing)
{
    EXPECT_FALSE(Run(EXPORT_DBF, EXPORT_BASIC, true));
    EXPECT_TRUE(OutFiles().empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "No data file matches \"" + data + "/*.oxv\".");
}

// The dBASE file read by an independent reader (Python's dbfread) gives the CSV's values;
// its length is exactly the header and the records.
TEST_F(LoopTest, DbfReadsBackWithTheCsvsValues)
{
    if (system("/usr/bin/python3 -c 'import dbfread' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-dbfread is not installed (scripts/setup.sh installs it)";
    Save("M1aa1aOrient01.oxv", {"OR 0, SIZE 2.5, NAME ab", "OR 90, SIZE 3.25, NAME c"}, Trials(3));
    for (int e = 0; e < 4; ++e) {
        ASSERT_TRUE(Run(EXPORT_CSV, e));
        ASSERT_TRUE(Run(EXPORT_DBF, e));
    }
    std::string bytes = ReadFile(out + "/M1aa1aOrient01.dbf");
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x03\x61\x04\x19", 4));
    EXPECT_EQ(bytes[29], 3);
    EXPECT_EQ(bytes[4], 3);
    uint16_t header = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
    uint16_t record = static_cast<uint8_t>(bytes[10]) | static_cast<uint8_t>(bytes[11]) << 8;
    EXPECT_EQ(bytes.size(), header + 3u * record);

    const std::string script = std::string(ORVIX_TEST_SOURCE_DIR) + "/compare_dbf_csv.py";
    for (const char* stem : {"M1aa1aOrient01", "M1aa1aOrient_Spike01", "M1aa1aOrient_Eye01", "M1aa1aOrient_Key01"}) {
        std::string base = out + "/" + stem;
        // Quoted: the temporary folder's name may hold blanks.
        std::string command = "/usr/bin/python3 '" + script + "' '" + base + ".dbf' '" + base + ".csv' > '" + dir +
                              "/cmp.txt' 2>&1";
        EXPECT_EQ(system(command.c_str()), 0) << stem << ": " << ReadFile(dir + "/cmp.txt");
    }
}

} // namespace

namespace {

// The program's text is the code page: the CSV holds it as UTF-8 without a byte-order mark,
// the dBASE file as the code page's own bytes under its mark (byte 29 = 0x03).
TEST_F(LoopTest, TextIsUtf8InTheCsvAndTheCodePageInTheDbf)
{
    Save("M1aa1aLabel01.oxv", {"Label 5\xB5V", "Label caf\xE9", "Label 30\xB0"}, Trials(3, 3));
    ASSERT_TRUE(Run(EXPORT_CSV, EXPORT_BASIC));
    const std::string csv = ReadFile(out + "/M1aa1aLabel01.csv");
    EXPECT_EQ(csv.substr(0, 6), "CellID");
    for (const char* value : {",\"5\xC2\xB5V\",", ",\"caf\xC3\xA9\",", ",\"30\xC2\xB0\","})
        EXPECT_NE(csv.find(value), std::string::npos) << value << " in " << csv;
    ASSERT_TRUE(Run(EXPORT_DBF, EXPORT_BASIC));
    const std::string dbf = ReadFile(out + "/M1aa1aLabel01.dbf");
    ASSERT_GT(dbf.size(), 32u);
    EXPECT_EQ(dbf[29], '\x03');
    for (const char* value : {"5\xB5V ", "caf\xE9 ", "30\xB0 "})
        EXPECT_NE(dbf.find(value), std::string::npos) << value;
    EXPECT_EQ(dbf.find('\xC2'), std::string::npos);
}

} // namespace
