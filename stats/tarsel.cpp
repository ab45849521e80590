// The library's entry points: anova turns the caller's table into the analysis's arrays,
// runs it and turns the analysis table back into the library's result table.
#include "stats/tarsel.h"

#include <algorithm>
#include <cfloat>
#include <new>

#include "stats/anovan.h"
#include "stats/xcorr.h"
#include "stats/runtime.h"

using namespace tarsel;

int nTarsel = 0;

mwArray alltrialsxcorr(mwArray delay, mwArray t, mwArray delay0, mwArray spikes)
{
    return tarsel::alltrialsxcorr(delay, t, delay0, spikes);
}

double aligntrials(double maxDelay, const DoubleSeries* ref, const DoubleSeries* spikes)
{
    const int n = ref && ref->values ? std::max(ref->count, 0) : 0;
    mwArray x = mwArray::Zeros(1, n);
    mwArray trials = mwArray::Cells(1, n);
    for (int i = 0; i < n; ++i) {
        x[i] = ref->values[i];
        if (!spikes)
            continue;  // no spike records: every trial is empty
        const DoubleSeries& s = spikes[i];
        if (s.count > 0 && s.values)
            trials.Cell(i) = mwArray::Column(std::vector<double>(s.values, s.values + s.count));
    }
    double best = tarsel::alltrialsxcorr(mwArray(0.0), mwArray(maxDelay), x, trials).Scalar();
    double bestDelay = 0.0;
    // The delay grows by repeated addition of 0.1, as the search always has.
    for (double d = 0.1; d < maxDelay; d += 0.1) {
        const double v = tarsel::alltrialsxcorr(mwArray(d), mwArray(maxDelay), x, trials).Scalar();
        if (v < best) {
            best = v;
            bestDelay = d;
        }
    }
    return bestDelay;
}

int fnTarsel()
{
    return 42;
}

namespace {

RuntimeUser g_runtime;

mwArray ReadColumn(const CTableModel& data, int col, int rows)
{
    switch (data.GetColumnType(col)) {
    case TABLE_DOUBLE: {
        mwArray v = mwArray::Zeros(rows, 1);
        for (int r = 0; r < rows; ++r)
            v[r] = data.GetDouble(r, col);
        return v;
    }
    case TABLE_INT: {
        mwArray v = mwArray::Zeros(rows, 1);
        for (int r = 0; r < rows; ++r)
            v[r] = data.GetInt(r, col);
        return v;
    }
    case TABLE_TEXT: {
        mwArray v = mwArray::Cells(rows, 1);
        for (int r = 0; r < rows; ++r)
            v.Cell(r) = mwArray::Text(data.GetText(r, col));
        return v;
    }
    default:
        Error("Column " + std::to_string(col) + " has an unknown type.");
    }
}

// The analysis table into the result table: row 1 gives the column names, column 1 the
// row labels; an empty cell becomes DBL_MIN, which the table's lines show as nothing.
void FillResult(CTableModel& result, const mwArray& tbl)
{
    const size_t nr = tbl.Rows(), nc = tbl.Cols();
    if (nr == 0 || nc == 0)
        Error("The analysis returned no table.");
    std::vector<std::string> names(nc);
    std::vector<int> types(nc, TABLE_DOUBLE);
    types[0] = TABLE_TEXT;
    for (size_t k = 0; k < nc; ++k)
        names[k] = CellText(tbl.Cell(k * nr));
    result.DefineColumns(names, types);
    result.SetRowCount(static_cast<int>(nr - 1));
    for (size_t r = 0; r + 1 < nr; ++r)
        result.SetString(static_cast<int>(r), 0, CellText(tbl.Cell(r + 1)).c_str());
    for (size_t k = 1; k < nc; ++k)
        for (size_t r = 0; r + 1 < nr; ++r) {
            const mwArray& v = tbl.Cell(k * nr + r + 1);
            result.SetDouble(static_cast<int>(r), static_cast<int>(k), v.IsEmpty() ? DBL_MIN : v.Scalar());
        }
}

void Analyse(CTableModel& result, const CTableModel* data, int model)
{
    if (!data)
        Error("No table was given.");
    const int m = data->GetColumnCount();
    if (m < 1)
        Error("The table has no columns.");
    const int n = data->GetRowCount();
    if (n < 1)
        Error("The table has no rows.");
    if (data->GetColumnType(0) != TABLE_INT && data->GetColumnType(0) != TABLE_DOUBLE)
        Error("The dependent variable must be a number column.");

    const mwArray y = ReadColumn(*data, 0, n);
    mwArray group = mwArray::Cells(m - 1, 1), gnames = mwArray::Cells(m - 1, 1);
    for (int k = 1; k < m; ++k) {
        group.Cell(k - 1) = ReadColumn(*data, k, n);
        gnames.Cell(k - 1) = mwArray::Text(data->GetColumnName(k));
    }
    const AnovanResult r = myanovan(5, y, group, mwArray(static_cast<double>(model)), mwArray(3.0), gnames, 2);
    FillResult(result, r.t);
}

void Fail(CTableModel& result, const char* message)
{
    try {
        result.DefineColumns((std::string("Exception! ") + message).c_str(), TABLE_TEXT);
    } catch (...) {
        result.Clear();  // not even the message fits: an empty table, still not a crash
    }
}

} // namespace

CTableModel* anova(CTableModel* data, int model)
{
    static CTableModel result;  // built on the first call, destroyed when the library is unloaded
    // Nothing the library meets may end the program: every error of the whole call,
    // reading the caller's table and filling the result included, becomes the result.
    try {
        Analyse(result, data, model);
    } catch (const mwException& e) {
        Fail(result, e.what());
    } catch (const std::bad_alloc&) {
        Fail(result, mwBadAlloc().what());
    } catch (const std::exception& e) {
        Fail(result, e.what());
    } catch (...) {
        Fail(result, "Unknown error.");
    }
    return &result;
}
