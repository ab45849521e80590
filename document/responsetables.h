// The response tables of the graph: what the response-graph model builds from the trials
// and every response figure draws from (the view, the printed page, a picture of the plot).
// They belong to the document, so that whatever draws the figures finds them there.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvix {

// A three-index table [figure][row][column] in one block. Its dimensions travel with it,
// so a reader whose idea of the dimensions has moved on (settings edited after the build)
// can check them instead of reading past the end.
template <class T>
class CCellTable {
public:
    // Every cell becomes `fill`; the memory is kept when the table shrinks.
    void Resize(int figures, int rows, int columns, T fill)
    {
        figures_ = figures > 0 ? figures : 0;
        rows_ = rows > 0 ? rows : 0;
        columns_ = columns > 0 ? columns : 0;
        cells_.assign(static_cast<size_t>(figures_) * rows_ * columns_, fill);
    }
    void Clear() { Resize(0, 0, 0, T{}); }
    int Figures() const { return figures_; }
    int Rows() const { return rows_; }
    int Columns() const { return columns_; }
    bool Has(int figure, int row, int column) const
    {
        return figure >= 0 && figure < figures_ && row >= 0 && row < rows_ && column >= 0 && column < columns_;
    }
    // The caller keeps the indices within the dimensions (Has).
    T& At(int figure, int row, int column) { return cells_[Offset(figure, row, column)]; }
    const T& At(int figure, int row, int column) const { return cells_[Offset(figure, row, column)]; }
    std::span<T> Row(int figure, int row) { return {cells_.data() + Offset(figure, row, 0), static_cast<size_t>(columns_)}; }
    std::span<const T> Row(int figure, int row) const
    {
        return {cells_.data() + Offset(figure, row, 0), static_cast<size_t>(columns_)};
    }
    std::vector<T>& Cells() { return cells_; }
    const std::vector<T>& Cells() const { return cells_; }

private:
    size_t Offset(int figure, int row, int column) const
    {
        return (static_cast<size_t>(figure) * rows_ + row) * columns_ + column;
    }

    int figures_ = 0, rows_ = 0, columns_ = 0;
    std::vector<T> cells_;
};

// A mean below 0 marks a cell without trials.
constexpr float kNoMean = -1.0f;

struct CResponseTables {
    // The distinct values of the x, row and figure parameters over the stimulus commands,
    // sorted (numbers by value, names alphabetically).
    std::vector<std::string> xValues, yValues, figureValues;
    int NX() const { return static_cast<int>(xValues.size()); }
    int NY() const { return static_cast<int>(yValues.size()); }
    int NFig() const { return static_cast<int>(figureValues.size()); }

    // Tuning curves and maps: [figure][row][x]; the reverse-correlation map puts its grid
    // there as [figure][VGRID][HGRID].
    CCellTable<float> mean;
    CCellTable<float> error; // standard error of each mean
    CCellTable<int32_t> count;
    float maxMean = 1.0f; // the largest mean, at least 1
    // Row 0 of each figure smoothed: [figure][0][10 samples per x value].
    CCellTable<float> smoothed;
    // The depth-matched histogram: [figure][x][bin]; bin 0 holds -1 while no trial fell
    // into the column.
    CCellTable<int32_t> histogram;
    // The trials of each figure and row, in order, for rasters against time:
    // [figure * rows + row], with `groupRows` rows per figure.
    std::vector<std::vector<int>> groups;
    int groupRows = 1;
    // The colour scale of the reverse-correlation map.
    float revCorrMaximum = 1.0f;
    float revCorrMinimum = 0.0f;

    const std::vector<int>* Group(int figure, int row) const
    {
        size_t i = static_cast<size_t>(figure) * groupRows + row;
        return figure >= 0 && row >= 0 && row < groupRows && i < groups.size() ? &groups[i] : nullptr;
    }
};

} // namespace orvix
