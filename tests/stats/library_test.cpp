// The shared libraries as the program meets them: loaded by path, anova bound by name,
// a table built here handed over, the library's result table read back.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <set>
#include <string>

#include "analysis/tablemodel.h"

namespace {

using AnovaFn = CTableModel* (*)(CTableModel*, int);

class Library : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        m_handle = dlopen(GetParam(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_handle, nullptr) << dlerror();
        m_anova = reinterpret_cast<AnovaFn>(dlsym(m_handle, "anova"));
        ASSERT_NE(m_anova, nullptr);
    }
    void TearDown() override
    {
        if (m_handle)
            dlclose(m_handle);
    }
    void* m_handle = nullptr;
    AnovaFn m_anova = nullptr;
};

// The battery-life example: three materials x temperatures 15, 70, 125, four each.
const int kLife[3][3][4] = {
    {{130, 155, 74, 180}, {34, 40, 80, 75}, {20, 70, 82, 58}},
    {{150, 188, 159, 126}, {136, 122, 106, 115}, {25, 70, 58, 45}},
    {{138, 110, 168, 160}, {174, 120, 150, 139}, {96, 104, 82, 60}},
};
const int kTemperature[3] = {15, 70, 125};

// textMaterial: the life as a double and the material as text, else all as numbers of
// the other kinds (integer life, double factors).
void BatteryTable(CTableModel& t, bool textMaterial)
{
    if (textMaterial)
        t.DefineColumns({"Life", "Material", "Temp"}, {TABLE_DOUBLE, TABLE_TEXT, TABLE_INT});
    else
        t.DefineColumns({"Life", "Material", "Temp"}, {TABLE_INT, TABLE_DOUBLE, TABLE_DOUBLE});
    t.SetRowCount(36);
    int row = 0;
    for (int m = 0; m < 3; ++m)
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 4; ++i, ++row) {
                if (textMaterial) {
                    t.SetDouble(row, 0, kLife[m][k][i]);
                    t.SetString(row, 1, ("type" + std::to_string(m + 1)).c_str());
                    t.SetInt(row, 2, kTemperature[k]);
                } else {
                    t.SetInt(row, 0, kLife[m][k][i]);
                    t.SetDouble(row, 1, m + 1);
                    t.SetDouble(row, 2, kTemperature[k]);
                }
            }
}

void ExpectBattery(const CTableModel& r)
{
    ASSERT_EQ(r.GetColumnCount(), 7);
    EXPECT_STREQ(r.GetText(-1, -1), "Source\tSum Sq.\td.f.\tSingular?\tMean Sq.\tF\tProb>F");
    ASSERT_EQ(r.GetRowCount(), 5);
    const char* sources[] = {"Material", "Temp", "Material*Temp", "Error", "Total"};
    const double ss[] = {10683.722, 39118.722, 9613.778, 18230.75, 77646.97};
    const double df[] = {2, 2, 4, 27, 35};
    const double f[] = {7.91137, 28.96769, 3.55954};
    const double p[] = {0.0019761, 1.9086e-07, 0.0186112};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(sources[i]);
        EXPECT_STREQ(r.GetText(i, 0), sources[i]);
        EXPECT_NEAR(r.GetDouble(i, 1), ss[i], 5e-3);
        EXPECT_EQ(r.GetDouble(i, 2), df[i]);
        EXPECT_EQ(r.GetDouble(i, 3), 0.0);
        if (i < 3) {
            EXPECT_NEAR(r.GetDouble(i, 4), ss[i] / df[i], 5e-3);
            EXPECT_NEAR(r.GetDouble(i, 5), f[i], 5e-6);
            EXPECT_NEAR(r.GetDouble(i, 6), p[i], p[i] * 5e-5);
        }
    }
    // Blank cells of the analysis are the empty-cell marker and show as nothing.
    EXPECT_EQ(r.GetDouble(3, 5), DBL_MIN);
    EXPECT_EQ(r.GetDouble(4, 4), DBL_MIN);
    EXPECT_STREQ(r.GetText(3, -1), "Error\t18230.7500\t27.0000\t0.0000\t675.2130\t\t");
}

void ExpectException(const CTableModel* r, const std::string& message)
{
    ASSERT_EQ(r->GetColumnCount(), 1);
    EXPECT_EQ(r->GetColumnType(0), TABLE_TEXT);
    EXPECT_EQ(r->GetRowCount(), 0);
    EXPECT_EQ(std::string(r->GetColumnName(0)).rfind("Exception! " + message, 0), 0u) << r->GetColumnName(0);
}

} // namespace

TEST_P(Library, BatteryLifeTwoFactorExample)
{
    CTableModel data;
    BatteryTable(data, true);
    CTableModel* r = m_anova(&data, 2);
    ASSERT_NE(r, nullptr);
    ExpectBattery(*r);

    // A selection sharing the columns of a copy, as the Statistics page passes it.
    CTableModel numbers;
    BatteryTable(numbers, false);
    CTableModel copy(numbers);
    CTableModel sel(copy, {0, 1, 2}, false);
    EXPECT_EQ(m_anova(&sel, 2), r);  // the one result table, refilled
    ExpectBattery(*r);
}

TEST_P(Library, FailuresComeBackAsExceptionTables)
{
    CTableModel empty;
    ExpectException(m_anova(&empty, 1), "");
    ExpectException(m_anova(nullptr, 1), "");

    CTableModel noRows;
    noRows.DefineColumns({"y", "g"}, {TABLE_DOUBLE, TABLE_INT});
    ExpectException(m_anova(&noRows, 1), "");

    CTableModel text;
    BatteryTable(text, true);
    CTableModel textFirst(text, {1, 2}, false);  // a text dependent variable
    ExpectException(m_anova(&textFirst, 1), "The dependent variable must be a number column.");

    CTableModel data;
    BatteryTable(data, false);
    ExpectException(m_anova(&data, 0), "Third argument is invalid.");
    CTableModel* r = m_anova(&data, 5);  // more interaction than factors
    ExpectException(r, "");

    // A design the machine cannot hold fails cleanly instead of exhausting memory.
    CTableModel huge;
    huge.DefineColumns({"y", "id"}, {TABLE_DOUBLE, TABLE_INT});
    huge.SetRowCount(40000);
    for (int i = 0; i < 40000; ++i)
        huge.SetInt(i, 1, i);
    ExpectException(m_anova(&huge, 1), "A memory allocation request failed.");

    // The next good call replaces the exception table.
    EXPECT_EQ(m_anova(&data, 1), r);
    EXPECT_EQ(r->GetRowCount(), 4);
    EXPECT_STREQ(r->GetText(2, 0), "Error");
}

TEST_P(Library, DependentVariableAloneLeavesErrorAndTotal)
{
    CTableModel t;
    t.DefineColumns({"y"}, {TABLE_DOUBLE});
    t.SetRowCount(3);
    for (int i = 0; i < 3; ++i)
        t.SetDouble(i, 0, i * 2.0);  // 0, 2, 4: total SS 8
    const CTableModel* r = m_anova(&t, 1);
    ASSERT_EQ(r->GetRowCount(), 2);
    EXPECT_STREQ(r->GetText(0, -1), "Error\t8.0000\t2.0000\t0.0000\t4.0000\t\t");
    EXPECT_STREQ(r->GetText(1, -1), "Total\t8.0000\t2.0000\t0.0000\t\t\t");
}

TEST_P(Library, OnlyTheExportsAreVisible)
{
    const std::string command = std::string("nm -D --defined-only ") + GetParam();
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        char address[64], kind[8], name[400];
        if (sscanf(line, "%63s %7s %399s", address, kind, name) == 3)
            names.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(names, (std::set<std::string>{"aligntrials", "alltrialsxcorr", "anova", "fnTarsel", "nTarsel"}));

    using Stub = int (*)();
    const auto fn = reinterpret_cast<Stub>(dlsym(m_handle, "fnTarsel"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 42);
    EXPECT_EQ(*static_cast<int*>(dlsym(m_handle, "nTarsel")), 0);
}

TEST_P(Library, AligntrialsFindsTheDelayThatLinesTrialsUp)
{
    struct Series {  // the library's record: a word, a count, a pointer to the doubles
        int32_t reserved;
        int32_t count;
        const double* values;
    };
    static_assert(sizeof(Series) == 16);
    using AlignFn = double (*)(double, const Series*, const Series*);
    const auto align = reinterpret_cast<AlignFn>(dlsym(m_handle, "aligntrials"));
    ASSERT_NE(align, nullptr);

    // References 0 and 0.1 with the period 0.35: only at the delay 0.1+0.1+0.1 does the
    // second wrap (to 0.05), and then both spikes sit 2.45 after their references, in one
    // bin; at every earlier delay they straddle the bin edge at 2.5.
    const double refs[] = {0.0, 0.1};
    const double s1[] = {2.75}, s2[] = {2.5};
    const Series ref{0, 2, refs};
    const Series spikes[] = {{0, 1, s1}, {0, 1, s2}};
    EXPECT_EQ(align(0.35, &ref, spikes), 0.1 + 0.1 + 0.1);
    EXPECT_EQ(align(0.0, &ref, spikes), 0.0);

    // Equal measures keep the smallest delay; a trial without spikes makes every measure
    // NaN, which never replaces the first.
    const Series same[] = {{0, 1, s1}, {0, 1, s1}};
    const double zero[] = {0.0, 0.0};
    const Series refZero{0, 2, zero};
    EXPECT_EQ(align(1.0, &refZero, same), 0.0);
    const Series empty[] = {{0, 1, s1}, {0, 0, nullptr}};
    EXPECT_EQ(align(0.35, &ref, empty), 0.0);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, Library, testing::Values(TARSEL_LIBRARY, TARSELD_LIBRARY),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "Release" : "Debug");
                         });
