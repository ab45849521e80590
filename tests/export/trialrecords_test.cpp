#include "export/trialrecords.h"

#include <clocale>
#include <cmath>
#include <gtest/gtest.h>

#include "export/dbfwriter.h"
#include "export/exportfile.h"
#include "tests/export/export_fixture.h"

using namespace orvix;

namespace {

const char* const kPrefix = "\"M1aa1a\",1,";

class RecordsTest : public ExportTest {
protected:
    // Two commands: OR integer, SIZE real, NAME text (one with a quote in it).
    void TwoTrials()
    {
        TrialSpec a;
        a.start = 1000;
        a.figOn = 500;
        a.spikes = {{5, 12345}, {1, 4999}};
        TrialSpec b;
        b.start = 3000;
        b.figOn = 505;
        b.command = 1;
        Fill(*doc, {"OR 0, SIZE 2.5, NAME a", "OR 90, SIZE 3, NAME b\"c"}, {a, b});
        // Trial 1's main-channel response was never computed: a missing value.
        doc->GetTrial(1)->channelResponses[3] = -1.0f;
        doc->FillTrialRow(1);
    }
    std::string HeaderOf(int eventType)
    {
        std::string csv = Csv(eventType);
        return csv.substr(0, csv.find("\r\n") + 2);
    }
    std::string Csv(int eventType)
    {
        CTrialData data(*doc);
        ExportColumns columns = ExportedColumns(data.Table());
        std::string out = CsvHeader(eventType, columns);
        std::vector<int> map = IdentityMap(static_cast<int>(columns.names.size()));
        for (int i = 0; i < data.TrialCount(); ++i)
            AppendCsvRows(out, data, i, eventType, map);
        return out;
    }
};

TEST(DataFileName, PartsAndOutputNames)
{
    struct Case {
        const char* path;
        const char* cell;
        const char* test;
        const char* rep;
        int repetition;
    } cases[] = {
        {"c:\\data\\M1aa1aOrient01.oxv", "M1aa1a", "Orient", "01", 1},
        {"/home/lab/data/M1aa1aOrient12.oxv", "M1aa1a", "Orient", "12", 12},
        {"/d/M1aa1a07.oxv", "M1aa1a", "", "07", 7},
        {"/d/M1aa1a7.oxv", "M1aa1a", "", "", 0}, // 7 characters
        {"/d/ABC.oxv", "ABC", "", "", 0},
        {"/d/.oxv", "", "", "", 0},
        {"/d.x/M1aa1aSize02", "M1aa1a", "Size", "02", 2},
    };
    for (const Case& c : cases) {
        DataFileParts p = SplitDataFileName(c.path);
        EXPECT_EQ(p.cellId, c.cell) << c.path;
        EXPECT_EQ(p.testName, c.test) << c.path;
        EXPECT_EQ(p.repetitionText, c.rep) << c.path;
        EXPECT_EQ(p.repetition, c.repetition) << c.path;
    }
    const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
    DataFileParts p = SplitDataFileName("c:\\data\\M1aa1a" + forty + "03.oxv");
    EXPECT_EQ(ExportFileName(p, EXPORT_BASIC, ".csv"), "M1aa1aABCDEFGHIJKLMNOPQRSTUVWXYZabcd03.csv");
    EXPECT_EQ(ExportFileName(p, EXPORT_SPIKE, ".csv"), "M1aa1aABCDEFGHIJKLMNOPQRSTUVWX_Spike03.csv");
    EXPECT_EQ(ExportFileName(p, EXPORT_EYE, ".dbf"), "M1aa1aABCDEFGHIJKLMNOPQRSTUVWXYZ_Eye03.dbf");
    EXPECT_EQ(ExportFileName(p, EXPORT_KEY, ".csv"), "M1aa1aABCDEFGHIJKLMNOPQRSTUVWXYZ_Key03.csv");
    EXPECT_EQ(ExportFileName(SplitDataFileName("/d/M1aa1a01.oxv"), EXPORT_SPIKE, ".csv"), "M1aa1a_Spike01.csv");
    EXPECT_EQ(ExportFileName(SplitDataFileName("/d/ABC.oxv"), EXPORT_SPIKE, ".csv"), "ABC_Spike.csv");
}

TEST_F(RecordsTest, CsvHeadersAndBasicRows)
{
    TwoTrials();
    EXPECT_EQ(Csv(EXPORT_BASIC),
              "CellID$,Rep,TrialNum,Set,Item,OR,SIZE,NAME$,Status,RTime,V1,V2,V3,Resp,ActiveCh,MainCh,FigOnTime\r\n"
              "\"M1aa1a\",1,0,0,0,0,2.5,\"a\",0,-1,0,0,0,0,255,3,500.0\r\n"
              "\"M1aa1a\",1,1,0,1,90,3,\"b\"\"c\",0,-1,0,0,0,-1,255,3,2505.0\r\n");
    EXPECT_EQ(HeaderOf(EXPORT_SPIKE), "CellID$,Rep,TrialNum,SpikeEvent,SpikeTime\r\n");
    EXPECT_EQ(HeaderOf(EXPORT_EYE), "CellID$,Rep,TrialNum,FPX,FPY,FPTime\r\n");
    EXPECT_EQ(HeaderOf(EXPORT_KEY), "CellID$,Rep,TrialNum,KeyAction,KeyTime\r\n");
}

// Times count from each trial's figure onset; the closing row carries the trial's end.
TEST_F(RecordsTest, SpikeRowsAndTheClosingRow)
{
    TwoTrials();
    std::string p = kPrefix;
    EXPECT_EQ(Csv(EXPORT_SPIKE), "CellID$,Rep,TrialNum,SpikeEvent,SpikeTime\r\n"
                                     + p + "0,5,734.5\r\n" + p + "0,1,-0.1\r\n" + p + "0,-1,1500.0\r\n"
                                     + p + "1,-1,1495.0\r\n");
}

TEST_F(RecordsTest, EyeRowsThroughTheTrialsCalibrationAndKeyRows)
{
    TrialSpec s;
    s.figOn = 100;
    s.eye = {{30, 20}, {-10, 0}};
    s.keys = {{0xFFFF, 350}, {2, 1200}};
    Fill(*doc, {"OR 0"}, {s});
    CTrial& t = *doc->GetTrial(0);
    t.DtoAH = 0.5f;
    t.H0 = 10;
    t.DtoAH2 = 0.0f;
    t.DtoAV = 2.0f;
    t.V0 = -10;
    t.DtoAV2 = 0.25f;
    std::string p = kPrefix;
    // A recorded file has no "EyePointBin": 60 Hz, and the document gets that value, not 0.
    EXPECT_EQ(Csv(EXPORT_EYE), "CellID$,Rep,TrialNum,FPX,FPY,FPTime\r\n" + p + "0,20.00,30.00,-100.0\r\n" + p
                                   + "0,0.00,-20.00,-83.3\r\n");
    EXPECT_EQ(doc->GetBehavParam("EyePointBin", CParam(nullptr, 0)).GetDouble(), double(16.6667f));
    doc->GetBehavParam("EyePointBin", CParam(nullptr, 0)) = 16.5;
    EXPECT_EQ(Csv(EXPORT_EYE), "CellID$,Rep,TrialNum,FPX,FPY,FPTime\r\n" + p + "0,20.00,30.00,-100.0\r\n" + p
                                   + "0,0.00,-20.00,-83.5\r\n");
    EXPECT_EQ(Csv(EXPORT_KEY),
              "CellID$,Rep,TrialNum,KeyAction,KeyTime\r\n" + p + "0,-1,250.0\r\n" + p + "0,2,1100.0\r\n");
}

// 100 Hz, trial 0's onset at 503: the grid lies at 503 + 10 k on the file's time line. A
// trial 1000 ms later with its onset at 505 moves to the next line, 513. With a 4 ms delay
// the grid is 507 + 10 k: both onsets move to 507.
TEST_F(RecordsTest, OnsetsMoveToTheNextDisplayFrame)
{
    TrialSpec a;
    a.start = 1000;
    a.figOn = 503;
    TrialSpec b;
    b.start = 2000;
    b.figOn = 505;
    b.spikes = {{1, 6000}};
    Fill(*doc, {"OR 0"}, {a, b});
    doc->alignOnFigOnset = 1;
    doc->frameRate = 100.0;
    doc->estimatedDelay = 0.0;
    CTrialData data(*doc);
    EXPECT_FLOAT_EQ(data.TimeBase(0), 503.0f);
    EXPECT_FLOAT_EQ(data.TimeBase(1), 513.0f);
    EXPECT_EQ(Csv(EXPORT_SPIKE).substr(Csv(EXPORT_SPIKE).find(std::string(kPrefix) + "1,1,")),
              std::string(kPrefix) + "1,1,87.0\r\n" + kPrefix + "1,-1,1487.0\r\n");
    std::string basic = Csv(EXPORT_BASIC);
    EXPECT_NE(basic.find(",503.0\r\n"), std::string::npos);
    EXPECT_NE(basic.find(",1513.0\r\n"), std::string::npos);

    doc->estimatedDelay = 4.0;
    CTrialData delayed(*doc);
    EXPECT_FLOAT_EQ(delayed.TimeBase(0), 507.0f);
    EXPECT_FLOAT_EQ(delayed.TimeBase(1), 507.0f);

    // No usable frame period: the onsets stay as recorded.
    for (double rate : {0.0, -72.0, std::nan(""), double(INFINITY)}) {
        doc->frameRate = rate;
        CTrialData plain(*doc);
        EXPECT_FALSE(plain.Aligned()) << rate;
        EXPECT_FLOAT_EQ(plain.TimeBase(1), 505.0f) << rate;
    }
}

// Without a FIG_ON event F is 0: times from the trial's start, FigOnTime = its start minus
// trial 0's (modulo 2^32 across a clock wrap).
TEST_F(RecordsTest, TrialWithoutFigureOnsetAndClockWrap)
{
    TrialSpec a;
    a.start = 0xFFFFFF00u;
    a.figOn = 10;
    TrialSpec b;
    b.start = 0x00000100u;
    Fill(*doc, {"OR 0"}, {a, b});
    std::string basic = Csv(EXPORT_BASIC);
    EXPECT_NE(basic.find(",255,3,10.0\r\n"), std::string::npos) << basic;
    EXPECT_NE(basic.find(",255,3,512.0\r\n"), std::string::npos) << basic;
}

TEST_F(RecordsTest, DbfRecordOfABasicTrial)
{
    TwoTrials();
    std::string path = dir + "/b.dbf";
    CExportFile file;
    ASSERT_TRUE(file.Open(path));
    CDbfWriter w(&file);
    CTrialData data(*doc);
    ExportColumns columns = ExportedColumns(data.Table());
    ASSERT_TRUE(DefineDbfFields(w, EXPORT_BASIC, columns));
    RecordingProgress progress;
    ASSERT_TRUE(WriteDbfRows(w, data, EXPORT_BASIC, columns, IdentityMap(static_cast<int>(columns.names.size())),
                             progress));
    w.Close();
    ASSERT_TRUE(file.Commit());
    // 17 fields: 32 + 17 x 32 + 1 header bytes; records of 108.
    EXPECT_EQ(w.HeaderLength(), 577);
    EXPECT_EQ(w.RecordLength(), 108);
    std::string bytes = orvix_test::ReadFile(path);
    ASSERT_EQ(bytes.size(), 577u + 2 * 108u);
    EXPECT_EQ(bytes.substr(577 + 108),
              " M1aa1a 1     1     0     1    90     3.00b\"c              0    -1     0     0     0    -1.00 255 3"
              "   2505.0");
    EXPECT_EQ(progress.trials, 2);
}

// The user's locale never reaches the numbers: a German locale gives the same bytes.
TEST_F(RecordsTest, ExportIsTheSameUnderAGermanLocale)
{
    TrialSpec s;
    s.figOn = 100;
    s.spikes = {{1, 12345}};
    s.eye = {{30, 20}};
    s.keys = {{3, 350}};
    Fill(*doc, {"OR 0.5, SIZE 2.5"}, {s});
    doc->GetBehavParam("EyePointBin", CParam(nullptr, 16.5));
    auto dbf = [&](int eventType) {
        std::string path = dir + "/l.dbf";
        CExportFile file;
        EXPECT_TRUE(file.Open(path));
        CDbfWriter w(&file);
        CTrialData data(*doc);
        ExportColumns columns = ExportedColumns(data.Table());
        DefineDbfFields(w, eventType, columns);
        RecordingProgress progress;
        WriteDbfRows(w, data, eventType, columns, IdentityMap(static_cast<int>(columns.names.size())), progress);
        w.Close();
        EXPECT_TRUE(file.Commit());
        return orvix_test::ReadFile(path);
    };
    std::string c[4], d[4];
    for (int e = 0; e < 4; ++e) {
        c[e] = Csv(e);
        d[e] = dbf(e);
    }
    if (!setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "no German locale";
    for (int e = 0; e < 4; ++e) {
        EXPECT_EQ(Csv(e), c[e]);
        EXPECT_EQ(dbf(e), d[e]);
    }
    setlocale(LC_ALL, "C");
    EXPECT_NE(d[EXPORT_BASIC].find("     0.50     2.50"), std::string::npos);
    EXPECT_NE(c[EXPORT_BASIC].find(",0.5,2.5,"), std::string::npos);
}

} // namespace
