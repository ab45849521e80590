#include "analysis/tablemodel.h"

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// A table with the columns Name (text), N (integer), X (double) and rows rows.
void Fill(CTableModel& t, int rows)
{
    t.DefineColumns({"Name", "N", "X"}, {TABLE_TEXT, TABLE_INT, TABLE_DOUBLE});
    t.SetRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        t.SetString(r, 0, ("row" + std::to_string(r)).c_str());
        t.SetInt(r, 1, r * 10);
        t.SetDouble(r, 2, r + 0.5);
    }
}

// Byte offset of a virtual function in its class's table of virtual operations.
template <class F>
std::ptrdiff_t VtableOffset(F f)
{
    std::ptrdiff_t raw;
    static_assert(sizeof(F) >= sizeof raw);
    std::memcpy(&raw, &f, sizeof raw);
    return raw - 1;  // Itanium ABI: a virtual member pointer holds 1 + the offset
}

} // namespace

TEST(TableModel, VirtualOperationsKeepTheirSlots)
{
    // The destructor takes the two first entries (complete and deleting); the other
    // operations follow in the order shared with the statistics library.
    EXPECT_EQ(VtableOffset(&CTableColumn::GetSize), 2 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::Resize), 3 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::Erase), 4 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::GetInt), 5 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::GetDouble), 6 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::GetString), 7 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::SetString), 8 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::SetDouble), 9 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::SetInt), 10 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::Reserve), 11 * 8);
    EXPECT_EQ(VtableOffset(&CTableColumn::GetCapacity), 12 * 8);
}

TEST(TableModel, ColumnsDoNotConvertBetweenTypes)
{
    CTableModel t;
    Fill(t, 2);
    EXPECT_EQ(t.GetRowCount(), 2);
    EXPECT_EQ(t.GetColumnCount(), 3);
    EXPECT_EQ(t.GetDouble(1, 1), 0.0);   // integer column asked for a double
    EXPECT_EQ(t.GetInt(1, 2), 0);        // double column asked for an int
    t.SetDouble(1, 1, 7.5);              // ignored
    t.SetInt(1, 0, 3);                   // ignored
    EXPECT_EQ(t.GetInt(1, 1), 10);
    EXPECT_STREQ(t.GetText(1, 0), "row1");
}

TEST(TableModel, HeaderLineWhateverTheColumn)
{
    CTableModel t;
    Fill(t, 1);
    EXPECT_STREQ(t.GetText(-1, 5), "Name\tN\tX");
    EXPECT_STREQ(t.GetText(-1, -1), "Name\tN\tX");
    CTableModel empty;
    EXPECT_STREQ(empty.GetText(-1, -1), "");
    EXPECT_EQ(empty.GetRowCount(), 0);
}

TEST(TableModel, RowLineCutsAndPlaceholders)
{
    CTableModel t;
    t.DefineColumns({"S", "I", "D"}, {TABLE_TEXT, TABLE_INT, TABLE_DOUBLE});
    t.SetRowCount(6);
    t.SetString(0, 0, "abcdefghijklmnop");  // 16 characters
    t.SetInt(0, 1, INT32_MIN);
    t.SetDouble(0, 2, 123456789012.5);       // 17 characters in %.4f
    t.SetDouble(1, 2, 12345678901.25);       // 16 characters
    t.SetDouble(2, 2, 1234567890.25);        // 15 characters
    t.SetDouble(3, 2, DBL_MIN);
    t.SetDouble(4, 2, std::nan(""));
    t.SetDouble(5, 2, -1e300);

    EXPECT_STREQ(t.GetText(0, -1), "abcdefghijkl\t-2147483648\t####");
    EXPECT_STREQ(t.GetText(0, 0), "abcdefghijklmnop");
    EXPECT_STREQ(t.GetText(1, -1), "\t0\t####");
    EXPECT_STREQ(t.GetText(2, -1), "\t0\t1234567890.2500");
    EXPECT_STREQ(t.GetText(3, -1), "\t0\t");
    EXPECT_STREQ(t.GetText(4, -1), "\t0\t.");
    EXPECT_STREQ(t.GetText(5, -1), "\t0\t####");
}

TEST(TableModel, SingleCellNumbersUsePrintfForms)
{
    CTableModel t;
    t.DefineColumns({"I", "D"}, {TABLE_INT, TABLE_DOUBLE});
    t.SetRowCount(4);
    t.SetInt(0, 0, -42);
    t.SetDouble(0, 1, DBL_MIN);
    t.SetDouble(1, 1, 1e6);
    t.SetDouble(2, 1, 0.0001234567);
    t.SetDouble(3, 1, 2.5);
    EXPECT_STREQ(t.GetText(0, 0), "-42");
    EXPECT_STREQ(t.GetText(0, 1), "2.22507e-308");
    EXPECT_STREQ(t.GetText(1, 1), "1e+06");
    EXPECT_STREQ(t.GetText(2, 1), "0.000123457");
    EXPECT_STREQ(t.GetText(3, 1), "2.5");
}

TEST(TableModel, EraseRowsMovesLaterRowsUpInEveryColumn)
{
    CTableModel t;
    Fill(t, 5);
    t.EraseRows(3, 1);
    ASSERT_EQ(t.GetRowCount(), 4);
    EXPECT_STREQ(t.GetText(3, 0), "row4");
    EXPECT_EQ(t.GetInt(3, 1), 40);
    EXPECT_EQ(t.GetDouble(3, 2), 4.5);
    EXPECT_EQ(t.GetInt(2, 1), 20);
}

TEST(TableModel, InsertColumnTakesRowsAndRoomOfTheFirstColumn)
{
    CTableModel t;
    Fill(t, 10);
    t.ReserveRows(40);
    t.InsertColumn(0, "New", TABLE_INT);
    ASSERT_EQ(t.GetColumnCount(), 4);
    EXPECT_STREQ(t.GetText(-1, -1), "New\tName\tN\tX");
    EXPECT_EQ(t.GetColumnType(0), TABLE_INT);
    for (int r = 0; r < 10; ++r)
        EXPECT_EQ(t.GetInt(r, 0), 0);
    EXPECT_EQ(t.GetInt(9, 2), 90);
    t.SetRowCount(12);  // all columns grow together
    EXPECT_EQ(t.GetInt(11, 0), 0);
    EXPECT_STREQ(t.GetText(11, 1), "");

    t.InsertColumn(4, "Last", TABLE_TEXT);
    EXPECT_STREQ(t.GetColumnName(4), "Last");
    EXPECT_STREQ(t.GetText(11, 4), "");
}

TEST(TableModel, UnknownTypeLeavesAHoleThatIsSkipped)
{
    CTableModel t;
    t.DefineColumns({"A", "B"}, {TABLE_INT, 2});
    t.SetRowCount(2);
    t.SetInt(1, 1, 5);
    EXPECT_EQ(t.GetInt(1, 1), 0);
    EXPECT_STREQ(t.GetText(1, -1), "0\t");
}

TEST(TableModel, SelectionSharesColumnsAndLeavesThemToTheSource)
{
    CTableModel source;
    Fill(source, 3);
    {
        CTableModel sel(source, {2, 0}, false);
        ASSERT_EQ(sel.GetColumnCount(), 2);
        EXPECT_STREQ(sel.GetColumnName(0), "X");
        EXPECT_EQ(sel.GetColumnType(0), TABLE_DOUBLE);
        sel.SetDouble(1, 0, 99.0);  // the same column object as the source's column 2
        EXPECT_EQ(source.GetDouble(1, 2), 99.0);

        CTableModel copy(sel);      // a copy of a sharing table owns new columns
        copy.SetDouble(1, 0, -1.0);
        EXPECT_EQ(source.GetDouble(1, 2), 99.0);
        EXPECT_STREQ(copy.GetText(2, 1), "row2");
    }
    // The selection is gone; the source's columns are intact (ASan would see a double free).
    EXPECT_EQ(source.GetDouble(2, 2), 2.5);
    EXPECT_STREQ(source.GetText(0, 0), "row0");
}

TEST(TableModel, CopiesAreDeepAndIndependent)
{
    CTableModel source;
    Fill(source, 4);
    CTableModel sel(source, {1, 1, 0}, true);
    CTableModel copy(source);
    source.SetInt(0, 1, -5);
    source.SetString(0, 0, "changed");
    EXPECT_EQ(sel.GetInt(0, 0), 0);
    EXPECT_EQ(sel.GetInt(3, 1), 30);
    EXPECT_STREQ(sel.GetText(0, 2), "row0");
    EXPECT_STREQ(copy.GetText(0, 0), "row0");
    EXPECT_STREQ(copy.GetText(-1, -1), "Name\tN\tX");

    source.DefineColumns({"Only"}, {TABLE_TEXT});  // redefinition frees the old columns
    EXPECT_EQ(source.GetRowCount(), 0);
    EXPECT_EQ(copy.GetRowCount(), 4);
}

TEST(TableModel, NumbersIgnoreTheUsersLocale)
{
    const std::string previous = setlocale(LC_NUMERIC, nullptr);
    if (!setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no German locale here";
    CTableModel t;
    t.DefineColumns({"D"}, {TABLE_DOUBLE});
    t.SetRowCount(1);
    t.SetDouble(0, 0, 2.5);
    const std::string cell = t.GetText(0, 0), line = t.GetText(0, -1);
    setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(cell, "2.5");
    EXPECT_EQ(line, "2.5000");
}
