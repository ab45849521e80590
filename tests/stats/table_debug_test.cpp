// The library's own copy of the table: its single-cell text form and the operations of
// the debug build (this file is compiled as the library compiles the table).
#include <cfloat>
#include <gtest/gtest.h>
#include <unistd.h>

#include "analysis/tablemodel.h"
#include "tests/common/test_support.h"

namespace {

void Fill(CTableModel& t)
{
    t.DefineColumns({"Name", "N", "X"}, {TABLE_TEXT, TABLE_INT, TABLE_DOUBLE});
    t.SetRowCount(1);
    t.SetString(0, 0, "ab");
    t.SetInt(0, 1, 3);
    t.SetDouble(0, 2, 0.5);
}

} // namespace

TEST(LibraryTable, SingleCellTextOfNumbersIsEmpty)
{
    CTableModel t;
    Fill(t);
    EXPECT_STREQ(t.GetText(0, 0), "ab");
    EXPECT_STREQ(t.GetText(0, 1), "");
    EXPECT_STREQ(t.GetText(0, 2), "");
    EXPECT_STREQ(t.GetText(0, -1), "ab\t3\t0.5000");  // the line forms are the program's
}

TEST(LibraryTable, PairsFormSkipsUnnamedPairs)
{
    CTableModel t;
    t.DefineColumns("Exception! boom", TABLE_TEXT);
    EXPECT_EQ(t.GetColumnCount(), 1);
    EXPECT_EQ(t.GetRowCount(), 0);
    EXPECT_STREQ(t.GetColumnName(0), "Exception! boom");

    t.DefineColumns("a", TABLE_INT, nullptr, TABLE_DOUBLE, "c", TABLE_DOUBLE);
    EXPECT_STREQ(t.GetText(-1, -1), "a\tc");
    EXPECT_EQ(t.GetColumnType(1), TABLE_DOUBLE);

    CTableModel ten("1", 0, "2", 1, "3", 3, "4", 0, "5", 1, "6", 3, "7", 0, "8", 1, "9", 3, "10", 0);
    EXPECT_EQ(ten.GetColumnCount(), 10);
    EXPECT_STREQ(ten.GetColumnName(9), "10");
    CTableModel defined({"p", "q"}, {TABLE_INT, TABLE_TEXT});
    EXPECT_STREQ(defined.GetText(-1, 0), "p\tq");
}

TEST(LibraryTable, AssignmentMakesOwnedDeepCopies)
{
    CTableModel source;
    Fill(source);
    CTableModel t;
    t = t;  // self-assignment leaves it alone
    {
        CTableModel sel(source, {2, 0}, false);
        t = sel;
    }
    source.SetDouble(0, 2, 9.0);
    EXPECT_STREQ(t.GetText(0, -1), "0.5000\tab");
    t = t;
    EXPECT_EQ(t.GetDouble(0, 0), 0.5);
}

TEST(LibraryTable, AddAndRemoveColumns)
{
    CTableModel t;
    Fill(t);
    t.SetRowCount(4);
    t.AddColumn("Y", TABLE_DOUBLE);
    ASSERT_EQ(t.GetColumnCount(), 4);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(t.GetDouble(r, 3), 0.0);
    t.AddColumn("Z", TABLE_INT);
    t.RemoveColumns(1, 2);
    EXPECT_STREQ(t.GetText(-1, -1), "Name\tY\tZ");

    CTableModel none;
    none.AddColumn("only", TABLE_TEXT);
    EXPECT_EQ(none.GetColumnCount(), 1);
    EXPECT_EQ(none.GetRowCount(), 0);

    // A sharing table removes its entries without deleting the source's columns.
    CTableModel sel(t, {0, 1, 2}, false);
    sel.RemoveColumns(0, 2);
    EXPECT_STREQ(t.GetText(0, 0), "ab");
}

TEST(LibraryTable, WriteCsvWritesRawCells)
{
    const std::string dir = orvix_test::MakeTempDir("tarsel-csv");
    CTableModel t;
    Fill(t);
    t.WriteCsv((dir + "/t.csv").c_str());
    EXPECT_EQ(orvix_test::ReadFile(dir + "/t.csv"), "Name, N, X\nab, 3, 0.5\n");

    t.AddColumn("E", TABLE_DOUBLE);
    t.SetDouble(0, 3, DBL_MIN);  // the empty-cell marker is written as its number
    t.WriteCsv((dir + "/t.csv").c_str());
    EXPECT_EQ(orvix_test::ReadFile(dir + "/t.csv"), "Name, N, X, E\nab, 3, 0.5, 2.22507e-308\n");

    t.WriteCsv((dir + "/missing/t.csv").c_str());  // cannot be opened: nothing, no report
    EXPECT_EQ(access((dir + "/missing").c_str(), F_OK), -1);
    unlink((dir + "/t.csv").c_str());
    rmdir(dir.c_str());
}
