#include "doc_fixture.h"

#include "platform/files/atomic_file.h"

using namespace orvix;

TEST_F(DocTest, GetOrAddFixesTypeAndValueOnFirstUse)
{
    COrvixDoc doc;
    CParam& h0 = doc.GetBehavParam("H0", CParam(nullptr, -2560));
    EXPECT_EQ(h0.GetType(), PARAM_INT);
    EXPECT_EQ(h0.GetInt(), -2560);
    // A later caller's default is not used.
    EXPECT_EQ(doc.GetBehavParam("H0", CParam(nullptr, 5)).GetInt(), -2560);
    CParam def(nullptr, 0.02f);
    EXPECT_EQ(doc.GetBehavParam("DtoAH", def).GetText(), "0.02");
    EXPECT_EQ(def.GetName(), "DtoAH"); // the caller's object takes the name
    EXPECT_EQ(doc.FindBehavParam("Nope", false, CParam()), -1);
    EXPECT_EQ(doc.GetBehavParamCount(), 2);

    EXPECT_EQ(doc.GetExpParam("IsRandom", CParam(nullptr, 1)).GetInt(), 1);
    EXPECT_EQ(doc.FindExpParam("IsRandom", false, CParam()), 0);
}

TEST_F(DocTest, OutOfRangeLookupsGiveTheEmptyParameter)
{
    COrvixDoc doc;
    doc.GetBehavParam("A", CParam(nullptr, 1));
    for (int i : {-1, 1, 1000}) {
        CParam& p = doc.GetBehavParam(i);
        EXPECT_EQ(p.GetName(), "");
        EXPECT_EQ(p.GetType(), PARAM_TEXT);
        EXPECT_EQ(p.GetText(), "");
        p = 99; // a caller that writes to it is not seen by the next one
        EXPECT_EQ(doc.GetGraphParam(i).GetText(), "");
        EXPECT_EQ(doc.GetBehavParam(i).GetText(), "");
    }
    EXPECT_EQ(doc.GetGraphParam("nothing").GetName(), "");
    EXPECT_EQ(doc.GetInitParam(KIND_BEHAV, 3).GetInt(), 0);
}

TEST_F(DocTest, ReadRegistryShrinksTheTableAndKeepsTheIndexInside)
{
    SetReg("Parameters", "A", "1");
    SetReg("Parameters", "B", "2");
    SetReg("Parameters", "C", "3");
    COrvixDoc doc;
    ASSERT_EQ(doc.GetBehavParamCount(), 3);
    EXPECT_EQ(doc.GetBehavParam(1).GetName(), "B");
    EXPECT_EQ(doc.GetBehavParam(1).GetType(), PARAM_TEXT);

    HKEY root;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Morvane\\Orvix", &root), ERROR_SUCCESS);
    ASSERT_TRUE(DeleteRegistryTree(root, "Parameters"));
    RegCloseKey(root);
    SetReg("Parameters", "C", "30");
    doc.ReadRegistry();
    ASSERT_EQ(doc.GetBehavParamCount(), 1);
    EXPECT_EQ(doc.FindBehavParam("C", false, CParam()), 0);
    EXPECT_EQ(doc.FindBehavParam("A", false, CParam()), -1);
    EXPECT_EQ(doc.FindBehavParam("B", false, CParam()), -1);
    EXPECT_EQ(doc.GetBehavParam(0).GetText(), "30");
}

TEST_F(DocTest, TestTypeListForms)
{
    SetReg("TestType", nullptr, "Orient");
    {
        COrvixDoc doc;
        EXPECT_EQ(doc.GetTestTypeNames(), std::vector<std::string>{"Orient"});
        EXPECT_EQ(doc.GetCurrentTestType(), -1);
    }
    SetReg("TestType", nullptr, "A | B | C");
    COrvixDoc doc;
    EXPECT_EQ(doc.GetTestTypeNames(), (std::vector<std::string>{"A", "B", "C"}));
    // An empty list leaves the types in memory as they were.
    SetReg("TestType", nullptr, "");
    doc.ReadRegistry();
    EXPECT_EQ(doc.GetTestTypeCount(), 3);
}

TEST_F(DocTest, SaveWritesBaseValuesAndKeepsOverridesApplied)
{
    SetReg("Parameters", "Speed", "10");
    SetReg("Parameters", "Size", "2");
    COrvixDoc doc;
    ASSERT_TRUE(doc.AddTestType("Orient"));
    ASSERT_EQ(doc.GetCurrentTestType(), 0);
    CParam& speed = doc.GetBehavParam("Speed", CParam());
    EXPECT_TRUE(doc.AddInitParam(KIND_BEHAV, speed, CParam("Speed", 25)));
    doc.GetExpParam("AccumedTimes", CParam(nullptr, 0)) = 100; // kept in the type's set-up
    doc.LoadInitParams(KIND_BEHAV);
    EXPECT_EQ(speed.GetText(), "25");

    doc.OnSaveParameters();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(GetReg("Parameters", "Speed"), "10");
    EXPECT_EQ(GetReg("TestType", nullptr), "Orient");
    EXPECT_EQ(GetReg("TestType\\Orient\\BehavParam", "Speed"), "25");
    EXPECT_EQ(speed.GetText(), "25");

    // A new document reads the base values and the type's list back.
    ReloadRegistry();
    COrvixDoc again;
    EXPECT_EQ(again.GetBehavParam("Speed", CParam()).GetText(), "10");
    ASSERT_TRUE(again.SetTestType(0));
    EXPECT_EQ(again.GetBehavParam("Speed", CParam()).GetText(), "25");
    EXPECT_EQ(again.GetInitParamCount(KIND_BEHAV), 1);
    EXPECT_EQ(again.GetExpParam("AccumedTimes", CParam()).GetText(), "0"); // a new document's count
}

TEST_F(DocTest, SaveWithTwoTypesJoinsTheNames)
{
    // An older file's type without a name is read; it is not written again, nor its lists.
    SetReg("TestType", nullptr, " | A");
    COrvixDoc doc;
    doc.AddTestType("B");
    doc.OnSaveParameters();
    EXPECT_EQ(GetReg("TestType", nullptr), "A | B");
    EXPECT_EQ(GetReg("TestType\\ExpParam", "IsRandom"), "<no key>");
}

TEST_F(DocTest, SaveWithNoTestTypesWritesAnEmptyList)
{
    SetReg("TestType", nullptr, "Old");
    COrvixDoc doc;
    doc.RemoveTestType(0);
    doc.OnSaveParameters();
    EXPECT_EQ(GetReg("TestType", nullptr), "");
    EXPECT_EQ(GetReg("TestType\\Old\\BehavParam", "x"), "<no key>");
}

// A write that fails, or a file of another version that is never written: Save parameters
// says so once, with the reason, and the file stays as it was.
TEST_F(DocTest, FailedSaveLeavesThePreviousRegistryAndSaysSo)
{
    for (bool newer : {false, true}) {
        SetReg("Parameters", "Keep", "1");
        SetReg("TestType", nullptr, "A");
        std::string before = orvix_test::ReadFile(regPath);
        if (newer) {
            orvix_test::WriteFile(regPath, before.replace(0, 16, "ORVIX REGISTRY 2"));
            ReloadRegistry();
        }
        ui.messages.clear();
        COrvixDoc doc;
        doc.GetBehavParam("Keep", CParam()) = 2;
        FailAtomicWritesForTesting(!newer);
        doc.OnSaveParameters();
        FailAtomicWritesForTesting(false);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text.rfind(newer ? "Can't save the parameters to the registry. The settings file \""
                                                        + regPath + "\" is of a version this program does not know"
                                                  : "Can't save the parameters to the registry. Changes of the settings "
                                                    "are not saved to \"" + regPath + "\": ",
                                            0),
                  0u)
            << ui.messages[0].text;
        EXPECT_EQ(orvix_test::ReadFile(regPath), before);
        EXPECT_EQ(GetReg("Parameters", "Keep"), newer ? "2" : "1"); // a file kept as it is: for the run
        EXPECT_EQ(GetReg("TestType", nullptr), "A");
    }
}

TEST_F(DocTest, RegistryThatCannotBeWrittenFailsAtTheRootKey)
{
    // Nothing can be written from the start: not even the keys the document makes.
    FailAtomicWritesForTesting(true);
    COrvixDoc doc;
    doc.OnSaveParameters();
    FailAtomicWritesForTesting(false);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Couldn't open registry key \"Parameters\".");
    EXPECT_EQ(ui.messages[1].text, "Can't open registry key \"HKEY_CURRENT_USER\\Software\\Morvane\\Orvix\".");
}

TEST_F(DocTest, InitParamsPerTestType)
{
    COrvixDoc doc;
    doc.GetBehavParam("Rate", CParam(nullptr, 5));
    EXPECT_FALSE(doc.AddInitParam(KIND_BEHAV, CParam("Rate", 5), CParam("Rate", 7))); // no type yet
    ASSERT_TRUE(doc.AddTestType("T1"));
    CParam& rate = doc.GetBehavParam("Rate", CParam());
    EXPECT_TRUE(doc.AddInitParam(KIND_BEHAV, rate, CParam("Rate", 7)));
    EXPECT_EQ(doc.SavedList(KIND_BEHAV).size(), 1u);
    // The same name again changes the entry and leaves the saved list alone.
    EXPECT_FALSE(doc.AddInitParam(KIND_BEHAV, rate, CParam("Rate", 8)));
    EXPECT_EQ(doc.SavedList(KIND_BEHAV).size(), 1u);
    EXPECT_EQ(doc.GetInitParam(KIND_BEHAV, 0).GetText(), "8");
    doc.LoadInitParams(KIND_BEHAV);
    EXPECT_EQ(rate.GetText(), "8");

    // A second type starts as a copy of the current one; switching back and forth
    // restores and reapplies the overrides.
    ASSERT_TRUE(doc.AddTestType("T2"));
    doc.RemoveInitParam(KIND_BEHAV, 0);
    doc.RestoreParams(KIND_BEHAV);
    EXPECT_EQ(rate.GetText(), "5");
    ASSERT_TRUE(doc.SetTestType(0));
    EXPECT_EQ(rate.GetText(), "8");
    ASSERT_TRUE(doc.SetTestType(1));
    EXPECT_EQ(rate.GetText(), "5");
}

TEST_F(DocTest, TestSettingsFollowTheirType)
{
    COrvixDoc doc;
    ASSERT_TRUE(doc.AddTestType("A"));
    doc.GetExpParam("Begin", CParam(nullptr, 0)) = 10;
    ASSERT_TRUE(doc.AddTestType("B"));
    EXPECT_EQ(doc.GetExpParam("Begin", CParam()).GetInt(), 10);
    doc.GetExpParam("Begin", CParam()) = 20;
    ASSERT_TRUE(doc.SetTestType(0));
    EXPECT_EQ(doc.GetExpParam("Begin", CParam()).GetInt(), 10);
    ASSERT_TRUE(doc.SetTestType(1));
    EXPECT_EQ(doc.GetExpParam("Begin", CParam()).GetInt(), 20);
    EXPECT_FALSE(doc.SetTestType(5));
    EXPECT_EQ(doc.GetCurrentTestType(), 1);
}

TEST_F(DocTest, RemovingTestTypesKeepsAValidCurrentIndex)
{
    COrvixDoc doc;
    doc.AddTestType("A");
    doc.AddTestType("B");
    doc.AddTestType("C");
    ASSERT_TRUE(doc.SetTestType(1));
    doc.RemoveTestType(1); // the current one: the same index now names C
    EXPECT_EQ(doc.GetCurrentTestType(), 1);
    EXPECT_EQ(doc.GetTestTypeName(), "C");
    doc.RemoveTestType(0); // below the current one
    EXPECT_EQ(doc.GetCurrentTestType(), 0);
    EXPECT_EQ(doc.GetTestTypeName(), "C");
    doc.RemoveTestType(0); // the last one
    EXPECT_EQ(doc.GetCurrentTestType(), -1);
    EXPECT_EQ(doc.GetInitParamCount(KIND_EXP), 0);
    doc.AddTestType("X");
    doc.AddTestType("Y");
    doc.RemoveTestType(1); // current and last of two
    EXPECT_EQ(doc.GetCurrentTestType(), 0);
    EXPECT_EQ(doc.GetTestTypeName(), "X");
}

TEST_F(DocTest, RemoveBehavParamRebuildsTheIndex)
{
    COrvixDoc doc;
    experiment.Attach(&doc);
    doc.GetBehavParam("A", CParam(nullptr, 1));
    doc.GetBehavParam("B", CParam(nullptr, 2));
    doc.GetBehavParam("C", CParam(nullptr, 3));
    doc.RemoveBehavParam(0);
    EXPECT_EQ(doc.FindBehavParam("A", false, CParam()), -1);
    EXPECT_EQ(doc.FindBehavParam("B", false, CParam()), 0);
    EXPECT_EQ(doc.FindBehavParam("C", false, CParam()), 1);
    // B, C and the ten the task runner looks up again after every change.
    EXPECT_EQ(doc.GetBehavParamCount(), 12);
    doc.RemoveBehavParam(70);
    EXPECT_EQ(doc.GetBehavParamCount(), 12);
}

TEST_F(DocTest, ResetParametersRereadsTheRegistry)
{
    SetReg("Parameters", "A", "1");
    SetReg("TestType", nullptr, "T");
    SetReg("TestType\\T\\BehavParam", "A", "9");
    COrvixDoc doc;
    doc.GetBehavParam("A", CParam()) = 5;
    doc.OnResetParameters();
    EXPECT_EQ(doc.GetCurrentTestType(), 0);
    EXPECT_EQ(doc.GetBehavParam("A", CParam()).GetText(), "9");
    EXPECT_EQ(doc.SavedList(KIND_BEHAV).at(0).GetText(), "1");
}
