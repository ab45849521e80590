#include "runner/testsequence.h"

#include <gtest/gtest.h>

using namespace orvix;

namespace {

// Rows whose first values are given; a second value keeps rows distinct.
std::vector<std::vector<CParam>> Rows(std::vector<int> first)
{
    std::vector<std::vector<CParam>> rows;
    for (size_t i = 0; i < first.size(); ++i)
        rows.push_back({CParam("A", first[i]), CParam("B", static_cast<int>(i))});
    return rows;
}

// Draws until the end, marking every trial done.
std::vector<int> RunAll(CTestSequence& seq, int limit = 1000)
{
    std::vector<int> out;
    for (int i = 0; i < limit; ++i) {
        int c = seq.Next(true);
        if (c < 0)
            break;
        out.push_back(c);
        seq.MarkDone();
    }
    return out;
}

} // namespace

// The expected orders below were worked out with a separate model of the generator
// (state * 214013 + 2531011, 15 bits; index = floor(r * m / 32768)).

TEST(TestSequence, BalancedBlocks)
{
    CTestSequence seq(Rows({0, 1, 2}), {2, 0, 0, 1}, 1);
    EXPECT_EQ(RunAll(seq), (std::vector<int>{0, 2, 1, 2, 1, 0}));
    EXPECT_EQ(seq.Next(true), -1);
    EXPECT_EQ(seq.GetMaxRepeats(), 2);
}

TEST(TestSequence, BalancedFailedTrialStaysInTheBlock)
{
    CTestSequence seq(Rows({0, 1, 2}), {1, 0, 0, 1}, 1);
    EXPECT_EQ(seq.Next(true), 0);
    // Not marked: the next draw is from the full block again (18467 * 3 / 32768 -> 1).
    EXPECT_EQ(seq.Next(true), 1);
    seq.MarkDone();
    EXPECT_EQ(seq.GetRepeat(), 1);
}

TEST(TestSequence, PlainRandomPool)
{
    CTestSequence seq(Rows({0, 1, 2}), {2, 0, 0, 0}, 7);
    EXPECT_EQ(RunAll(seq), (std::vector<int>{0, 0, 2, 1, 1, 2}));
    EXPECT_EQ(seq.Next(true), -1);
}

TEST(TestSequence, GroupsOfTwoOrMore)
{
    CTestSequence seq(Rows({1, 1, 2, 2, 3}), {1, 2, 1, 0}, 3);
    EXPECT_EQ(seq.GetGroupCount(), 3);
    EXPECT_EQ(RunAll(seq), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(TestSequence, GroupsOfOneWalkInListOrder)
{
    CTestSequence seq(Rows({1, 1, 2, 2, 3}), {2, 1, 1, 0}, 5);
    std::vector<int> out;
    for (int i = 0; i < 20; ++i) {
        int c = seq.Next(i % 2 == 0);
        if (c < 0)
            break;
        out.push_back(c);
        seq.MarkDone();
    }
    EXPECT_EQ(out, (std::vector<int>{4, 4, 2, 3, 0, 1, 0, 1, 2, 3}));
}

TEST(TestSequence, OneGroupHoldingEveryCommand)
{
    // All equal in the first value: one group; with groups of 2 the draw of a new group
    // always lands on the same one again.
    CTestSequence seq(Rows({5, 5, 5}), {2, 2, 1, 0}, 9);
    EXPECT_EQ(seq.GetGroupCount(), 1);
    auto out = RunAll(seq);
    EXPECT_EQ(out.size(), 6u);
    EXPECT_EQ(seq.GetMaxRepeats(), 2);
}

TEST(TestSequence, EmptyListsAndZeroRepeatsEndAtOnce)
{
    CTestSequence none({}, {5, 0, 0, 1}, 1);
    EXPECT_EQ(none.Next(true), -1);
    EXPECT_EQ(none.GetMaxRepeats(), -1);
    CTestSequence zero(Rows({0, 1}), {0, 0, 0, 0}, 1);
    EXPECT_EQ(zero.Next(true), -1);
    CTestSequence groupedZero(Rows({0, 1}), {0, 2, 1, 0}, 1);
    EXPECT_EQ(groupedZero.Next(true), -1);
    // More grouping parameters than a row has: only existing positions are compared.
    CTestSequence wide(Rows({0, 0}), {1, 1, 9, 0}, 1);
    EXPECT_EQ(wide.GetGroupCount(), 2);
    EXPECT_EQ(RunAll(wide).size(), 2u);
}

TEST(TestSequence, MaxRepeatsCountsTheLeader)
{
    CTestSequence seq(Rows({0, 1, 2}), {3, 0, 0, 1}, 1);
    for (int i = 0; i < 4; ++i) { // one block and one more success
        seq.Next(true);
        seq.MarkDone();
    }
    EXPECT_EQ(seq.GetMaxRepeats(), 2);
}
