#include "document/commandfile.h"

#include <gtest/gtest.h>

using namespace orvix;

TEST(CommandFile, ItemsSplitAtTheFirstBlankAndStayText)
{
    CommandRow row = ParseCommandLine("OR 45, P1 2.5,P2   80 , Label a b,NoBlank,  ", kNoAngleOffset);
    ASSERT_EQ(row.size(), 4u);
    EXPECT_EQ(row[0].GetName(), "OR");
    EXPECT_EQ(row[0].GetType(), PARAM_TEXT);
    EXPECT_EQ(row[0].GetText(), "45");
    EXPECT_EQ(row[1].GetText(), "2.5");
    EXPECT_EQ(row[2].GetName(), "P2");
    EXPECT_EQ(row[2].GetText(), "80");
    EXPECT_EQ(row[3].GetText(), "a b");
}

TEST(CommandFile, AngleOffsetTurnsOr2IntoOr)
{
    CommandRow row = ParseCommandLine("OR2 350, P 1", 30.0f);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[0].GetName(), "OR");
    EXPECT_EQ(row[0].GetType(), PARAM_REAL);
    EXPECT_DOUBLE_EQ(row[0].GetDouble(), 20.0);
    EXPECT_DOUBLE_EQ(ParseCommandLine("OR2 10", -30.0f)[0].GetDouble(), 340.0);
    CommandRow plain = ParseCommandLine("OR2 350", kNoAngleOffset);
    EXPECT_EQ(plain[0].GetName(), "OR2");
    EXPECT_EQ(plain[0].GetText(), "350");
}

TEST(CommandFile, RowsMustAgreeInNamesAndOrder)
{
    std::string error;
    EXPECT_EQ(ParseCommandLines({"A 1, B 2"}, kNoAngleOffset, error).size(), 1u);
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(ParseCommandLines({"OR 10,P1 2", "P1 2, OR 10"}, kNoAngleOffset, error).empty());
    EXPECT_EQ(error, "Command file format error!\nParameters in every command should be in the same order.");
    EXPECT_TRUE(ParseCommandLines({"OR 10, P1 2", "OR 20"}, kNoAngleOffset, error).empty());
    EXPECT_EQ(error, "Command file format error!\nEach command should contain same parameters.");
}

TEST(CommandFile, ColumnTypesFollowEveryRow)
{
    std::string error;
    auto rows = ParseCommandLines({"R 1, I 1, T 1, N 1", "R 2.5, I 2, T abc, N -3", "R 3, I -3, T 2, N 4"},
                                  kNoAngleOffset, error);
    std::vector<std::string> names;
    std::vector<int> types;
    AnalysisColumns(rows, names, types);
    ASSERT_EQ(names.size(), 4u + 5u + 9u);
    EXPECT_EQ(std::vector<int>(types.begin(), types.begin() + 4), (std::vector<int>{3, 1, 0, 1}));
    EXPECT_EQ(names[4], "Status");
    EXPECT_EQ(names[8], "V3");
    EXPECT_EQ(types[8], 1);
    EXPECT_EQ(names[9], "Resp");
    EXPECT_EQ(names[17], "Resp7");
    EXPECT_EQ(types[17], 3);
    AnalysisColumns({}, names, types);
    EXPECT_TRUE(names.empty());
}
