// Selecting a test type: the save question, a new document, names that differ only in case.
#include "doc_fixture.h"

using namespace orvix;

TEST_F(DocTest, SwitchingTypesAsksBeforeDroppingTrials)
{
    COrvixDoc doc;
    ASSERT_TRUE(doc.AddTestType("A"));
    ASSERT_TRUE(doc.AddTestType("B"));
    doc.AddTrial(new CTrial);
    doc.SetModifiedFlag(true);

    ui.answers = {IDCANCEL};
    EXPECT_FALSE(doc.SetTestType(0));
    EXPECT_EQ(doc.GetCurrentTestType(), 1);
    EXPECT_EQ(doc.GetTrialCount(), 1);
    EXPECT_EQ(ui.Texts().back(), "Save changes to Untitled?");

    ui.answers = {IDNO};
    doc.GetExpParam("AccumedTimes", CParam(nullptr, 0)) = 4;
    EXPECT_TRUE(doc.SetTestType(0));
    EXPECT_EQ(doc.GetCurrentTestType(), 0);
    EXPECT_EQ(doc.GetTrialCount(), 0);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetExpParam("AccumedTimes", CParam()).GetInt(), 0);
    EXPECT_FALSE(doc.SetTestType(2));
    EXPECT_FALSE(doc.SetTestType(-1));

    // Yes for a document without a file asks for one in the data folder; Cancel there
    // keeps everything as it was.
    doc.AddTrial(new CTrial);
    doc.SetModifiedFlag(true);
    std::vector<std::string> offered;
    ui.onAskSaveAsFile = [&](std::string& path) {
        offered.push_back(path);
        path = dir + "/run";
        return offered.size() > 1;
    };
    ui.answers = {IDYES, IDYES};
    EXPECT_FALSE(doc.SetTestType(1));
    EXPECT_EQ(doc.GetTrialCount(), 1);
    EXPECT_TRUE(doc.SetTestType(1));
    EXPECT_EQ(offered, (std::vector<std::string>{"c:\\data\\", "c:\\data\\"}));
    EXPECT_TRUE(std::filesystem::exists(dir + "/run.oxv"));
}

TEST_F(DocTest, SelectingTheCurrentTypeStartsANewDocumentOnly)
{
    COrvixDoc doc;
    doc.GetBehavParam("Rate", CParam(nullptr, 5));
    ASSERT_TRUE(doc.AddTestType("A"));
    CParam& rate = doc.GetBehavParam("Rate", CParam());
    ASSERT_TRUE(doc.AddInitParam(KIND_BEHAV, rate, CParam("Rate", 7)));
    rate = 9; // changed by hand after the type was applied
    doc.AddTrial(new CTrial);
    EXPECT_TRUE(doc.SetTestType(0));
    EXPECT_EQ(doc.GetTrialCount(), 0);
    EXPECT_EQ(rate.GetText(), "9");
}

TEST_F(DocTest, TestTypeNamesIgnoreLetterCase)
{
    COrvixDoc doc;
    ASSERT_TRUE(doc.AddTestType("Orient"));
    EXPECT_EQ(doc.FindTestType("oRIENT"), 0);
    EXPECT_EQ(doc.FindTestType("Size"), -1);
    EXPECT_FALSE(doc.AddTestType("ORIENT"));
    EXPECT_EQ(doc.GetTestTypeNames(), std::vector<std::string>{"Orient"});
    EXPECT_TRUE(doc.AddTestType("Size"));
    EXPECT_EQ(doc.GetTestTypeCount(), 2);
}

TEST_F(DocTest, TrialExtentIsTheLongestTrialAndTheCount)
{
    COrvixDoc doc;
    int w = -1, h = -1;
    doc.GetTrialExtent(w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    for (uint32_t length : {1200u, 3400u, 800u}) {
        auto* t = new CTrial;
        t->SetLength(length);
        doc.AddTrial(t);
    }
    doc.GetTrialExtent(w, h);
    EXPECT_EQ(w, 3400);
    EXPECT_EQ(h, 3);
}
