// The document's construction, new-document step, clearing, trial ownership and channel
// rates.
#include <cmath>
#include <regex>

#include "doc_fixture.h"
#include "runner/taskrunner.h"

using namespace orvix;

namespace {

struct HintRecorder : IDocObserver {
    std::vector<int> hints;
    void OnUpdate(IDocObserver*, const DocUpdate& u) override { hints.push_back(u.hint); }
};

// A trial that counts its own deletion.
struct CountedTrial : CTrial {
    explicit CountedTrial(int* deleted) : deleted(deleted) {}
    ~CountedTrial() override { ++*deleted; }
    int* deleted;
};

CTrial* TrialWithRates(std::array<float, kChannelCount> rates)
{
    auto* t = new CTrial;
    t->channelResponses = rates;
    return t;
}

} // namespace

TEST_F(DocTest, ConstructionSetsTheDocumentDefaults)
{
    COrvixDoc doc;
    EXPECT_EQ(doc.smoothWidth, 3);
    ASSERT_EQ(doc.smoothKernel.size(), 19u);
    // exp(-(i - 9)^2 / 18) / (3 * sqrt(2 pi)), with 3 * sqrt(2 pi) = 7.5198848.
    EXPECT_NEAR(doc.smoothKernel[9], 0.13298076, 1e-7);
    EXPECT_NEAR(doc.smoothKernel[12], 0.08065691, 1e-7); // exp(-0.5) / 7.5198848
    EXPECT_NEAR(doc.smoothKernel[6], doc.smoothKernel[12], 1e-9);
    EXPECT_NEAR(doc.smoothKernel[0], 0.00147728, 1e-8);  // exp(-4.5) / 7.5198848
    EXPECT_EQ(doc.alignOnFigOnset, 0);
    EXPECT_EQ(doc.estimatedDelay, 7.0);
    EXPECT_EQ(doc.frameRate, 72.207067);
    EXPECT_EQ(doc.GetTrialCount(), 0);
    EXPECT_EQ(doc.GetTrial(0), nullptr);
    EXPECT_EQ(doc.IsMergeMode(), 0);
    EXPECT_EQ(doc.notes, "");
    EXPECT_EQ(doc.dataFilePath, "");
    EXPECT_EQ(doc.channelSums, (std::array<float, kChannelCount>{}));
    EXPECT_EQ(doc.GetCurrentTestType(), -1);
    EXPECT_EQ(doc.GetSelectedChannel(), 1);
    EXPECT_EQ(doc.mainChannel, 3);
    EXPECT_EQ(doc.GetExperiment(), nullptr);

    EXPECT_EQ(BuildSmoothingKernel(1).size(), 7u);
    EXPECT_EQ(BuildSmoothingKernel(0), std::vector<float>{1.0f});
}

TEST_F(DocTest, AnAttachedDocumentReachesTheRunnerUntilItGoes)
{
    auto doc = std::make_unique<COrvixDoc>();
    experiment.Attach(doc.get());
    EXPECT_EQ(doc->GetExperiment(), &experiment);
    EXPECT_EQ(experiment.runner.GetDocument(), doc.get());
    EXPECT_EQ(deviceIO.GetHost(), doc.get());
    doc.reset();
    EXPECT_EQ(experiment.Document(), nullptr);
    EXPECT_EQ(experiment.runner.GetDocument(), nullptr);
    EXPECT_EQ(deviceIO.GetHost(), nullptr);
}

TEST_F(DocTest, NewDocumentStartsTheSessionAgain)
{
    COrvixDoc doc;
    experiment.Attach(&doc);
    HintRecorder view;
    doc.AddObserver(&view);
    experiment.runner.CountAction(true);
    experiment.runner.CountAction(false);
    doc.GetExpParam("AccumedTimes", CParam(nullptr, "7"));
    doc.AddTrial(TrialWithRates({1, 2, 3, 4, 5, 6, 7, 8}));
    doc.UpdateChannelRates(doc.GetTrial(0));
    doc.notes = "notes";
    doc.dataFilePath = "c:\\data\\x01.oxv";
    doc.SetPathName(doc.dataFilePath);
    doc.fileLoaded = 1;
    doc.reservedArrays[4] = {1, 2};
    doc.SetModifiedFlag();

    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(experiment.runner.GetHitCount(), 0);
    EXPECT_EQ(experiment.runner.GetActionCount(), 0);
    CParam& accumed = doc.GetExpParam("AccumedTimes", CParam(nullptr, 99));
    EXPECT_EQ(accumed.GetType(), PARAM_INT);
    EXPECT_EQ(accumed.GetInt(), 0);
    EXPECT_EQ(doc.GetTrialCount(), 0);
    EXPECT_EQ(doc.channelSums, (std::array<float, kChannelCount>{}));
    EXPECT_EQ(doc.GetChannelLevels(), (std::array<int, kChannelCount>{}));
    EXPECT_EQ(doc.notes, "");
    EXPECT_TRUE(doc.reservedArrays[4].empty());
    EXPECT_EQ(doc.dataFilePath, "");
    EXPECT_EQ(doc.GetPathName(), "");
    EXPECT_EQ(doc.fileLoaded, 0);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(view.hints, std::vector<int>{HINT_REBUILD});
    doc.RemoveObserver(&view);

    // A document without the setting gets it as integer 0.
    COrvixDoc fresh;
    ASSERT_TRUE(fresh.OnNewDocument());
    EXPECT_EQ(fresh.GetExpParam("AccumedTimes", CParam(nullptr, 5)).GetText(), "0");
}

TEST_F(DocTest, ClearingKeepsTheTrialsOnlyWhileMerging)
{
    int deleted = 0;
    COrvixDoc doc;
    doc.AddTrial(new CountedTrial(&deleted));
    doc.AddTrial(new CountedTrial(&deleted));
    doc.mergeMode = 2;
    doc.notes = "n";
    doc.channelSums[3] = 4.0f;
    doc.reservedArrays[0] = {9};
    doc.DeleteContents();
    EXPECT_EQ(doc.GetTrialCount(), 2);
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(doc.notes, "");
    EXPECT_EQ(doc.channelSums[3], 0.0f);
    EXPECT_TRUE(doc.reservedArrays[0].empty());

    doc.mergeMode = 0;
    doc.DeleteContents();
    EXPECT_EQ(doc.GetTrialCount(), 0);
    EXPECT_EQ(deleted, 2);
}

TEST_F(DocTest, TheDocumentOwnsItsTrials)
{
    int deleted = 0;
    {
        COrvixDoc doc;
        doc.AddTrial(new CountedTrial(&deleted));
        doc.AddTrial(nullptr); // ignored
        doc.AddTrial(new CountedTrial(&deleted));
        doc.AddTrial(new CountedTrial(&deleted));
        EXPECT_EQ(doc.GetTrialCount(), 3);
        doc.RemoveTrial(1);
        EXPECT_EQ(deleted, 1);
        doc.RemoveTrial(5);
        doc.RemoveTrial(-1);
        EXPECT_EQ(doc.GetTrialCount(), 2);
    }
    EXPECT_EQ(deleted, 3);
}

TEST_F(DocTest, ChannelRatesSumPositiveResponsesAndDivideByTheTrialCount)
{
    COrvixDoc doc;
    // No trials: the sums are divided by 1.
    CTrial loose;
    loose.channelResponses = {-1.0f, 0.0f, 10.0f, 5.5f, 0, 0, 0, 0};
    doc.UpdateChannelRates(&loose);
    EXPECT_EQ(doc.channelSums, (std::array<float, kChannelCount>{0, 0, 10.0f, 5.5f, 0, 0, 0, 0}));
    EXPECT_EQ(doc.GetChannelLevels(), (std::array<int, kChannelCount>{0, 0, 10, 5, 0, 0, 0, 0}));

    doc.AddTrial(TrialWithRates({-1.0f, 0, 10.0f, 5.5f, 0, 0, 0, 0}));
    doc.AddTrial(TrialWithRates({3.0f, -1.0f, 4.0f, 0, 0, 0, 0, 0}));
    doc.UpdateChannelRates(doc.GetTrial(1));
    // Sums 3, 0, 14, 5.5 over two trials, truncated.
    EXPECT_EQ(doc.GetChannelLevels(), (std::array<int, kChannelCount>{1, 0, 7, 2, 0, 0, 0, 0}));

    // Removing takes out the rates that are >= 0, not the -1.0 of a channel not computed.
    doc.RemoveTrial(1);
    EXPECT_EQ(doc.channelSums, (std::array<float, kChannelCount>{0, 0, 10.0f, 5.5f, 0, 0, 0, 0}));
    doc.RemoveTrial(0);
    EXPECT_EQ(doc.channelSums, (std::array<float, kChannelCount>{0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(DocTest, CellIdsStayLetters)
{
    COrvixDoc doc;
    doc.SetCellId(2, 27);
    EXPECT_EQ(doc.cellIds[2], 26);
    doc.SetCellId(2, 0);
    EXPECT_EQ(doc.cellIds[2], 1);
    doc.SetCellId(2, -40000);
    EXPECT_EQ(doc.cellIds[2], 1);
    doc.SetCellId(2, 5);
    EXPECT_EQ(doc.cellIds[2], 5);
    doc.SetCellId(8, 3); // no such channel
    doc.SetCellId(-1, 3);
    EXPECT_EQ(doc.cellIds, (std::array<int16_t, kChannelCount>{1, 1, 5, 1, 1, 1, 1, 1}));
}

TEST_F(DocTest, LogLinesCarryTheTimeAndReachTheLogFile)
{
    std::string log = dir + "/orvix.log";
    setenv("ORVIX_LOG", log.c_str(), 1);
    COrvixDoc doc;
    doc.AddLogLine("Device driver \"TROVIK\" not found!");
    doc.AddLogLine("100% done"); // text is never a format
    unsetenv("ORVIX_LOG");
    std::string text = orvix_test::ReadFile(log);
    EXPECT_TRUE(std::regex_match(text, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]: Device driver \"TROVIK\" not found!\n"
                                                  "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]: 100% done\n")))
        << text;
}
