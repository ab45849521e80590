// The list-line formats of the panel, checked against lines written out by hand.
#include <gtest/gtest.h>

#include "panel/lines.h"

using namespace orvix;

TEST(PanelLines, ParameterLinesPadNamesToLineUpValues)
{
    CParam a("A", 5);
    EXPECT_EQ(ParamLine(a), "A                \t5"); // k = 12, q = 4: 16 blanks
    CParam ten("ABCDEFGHIJ", "x");
    EXPECT_EQ(ParamLine(ten), "ABCDEFGHIJ    \tx"); // k = 3, q = 1
    CParam twelve("ABCDEFGHIJKL", 1.5);
    EXPECT_EQ(ParamLine(twelve), "ABCDEFGHIJKL \t1.5"); // k = 1, q = 0
    CParam long13("ABCDEFGHIJKLM", "v");
    EXPECT_EQ(ParamLine(long13), "ABCDEFGHIJKLM\tv");
    CParam longer("ABCDEFGHIJKLMNOP", "v");
    EXPECT_EQ(ParamLine(longer), "ABCDEFGHIJKLMNOP\tv");

    CParam sep("S", ".");
    EXPECT_TRUE(IsSeparator(sep));
    EXPECT_FALSE(IsSeparator(a));
    EXPECT_EQ(SeparatorLine(3), "===");

    EXPECT_EQ(LineValue("NAME   \tvalue\twith tab"), "value\twith tab");
    EXPECT_EQ(LineValue("no tab"), "no tab");
    EXPECT_EQ(LineName("NAME    \tv"), "NAME");
    EXPECT_EQ(LineName("A B  \tv"), "A B");
}

TEST(PanelLines, ResponseLinesShowOutcomeWords)
{
    const int hit[5] = {2, 350, 1, 2, 3};
    EXPECT_EQ(ResponseLine(7, hit), "     7\tHIT\t   350\t     1\t     2\t     3");
    const int early[5] = {1, -20, 0, 0, 12345};
    EXPECT_EQ(ResponseLine(12, early), "    12\tEARLY\t   -20\t     0\t     0\t 12345");
    const int miss[5] = {3, 0, 0, 0, 0};
    EXPECT_EQ(ResponseLine(1234567, miss), "1234567\tMISS\t     0\t     0\t     0\t     0");
    const int none[5] = {0, 350, 1, 2, 3};
    EXPECT_EQ(ResponseLine(7, none), "     7\t     0\t   350\t     1\t     2\t     3");
    const int other[5] = {6, 1, 2, 3, 4};
    EXPECT_EQ(ResponseLine(1, other), "     1\t     6\t     1\t     2\t     3\t     4");
}

TEST(PanelLines, LogTextSplitsAtEveryLineBreak)
{
    EXPECT_EQ(SplitLogText("one\ntwo"), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(SplitLogText("one\n"), (std::vector<std::string>{"one", ""}));
    EXPECT_EQ(SplitLogText(""), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitLogText("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
}

TEST(PanelLines, ViewListLinesAreNumberedFromOne)
{
    EXPECT_EQ(ViewListLine(1, "POSH 1"), "001: POSH 1");
    EXPECT_EQ(ViewListLine(999, ""), "999: ");
    EXPECT_EQ(ViewListLine(1000, "x"), "1000: x");
}
