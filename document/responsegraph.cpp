#include "document/responsegraph.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "document/orvixdoc.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool RowContains(const CommandRow& row, const CParam& entry)
{
    return std::any_of(row.begin(), row.end(), [&](const CParam& p) { return p == entry; });
}

bool RowContainsAll(const CommandRow& row, const std::vector<CParam>& list)
{
    return std::all_of(list.begin(), list.end(), [&](const CParam& e) { return RowContains(row, e); });
}

// The histogram's cells are capped so that a wild range from a file cannot exhaust memory.
constexpr int64_t kMaxHistogramCells = int64_t{1} << 24;

// A full build reads a few fields of every trial, each trial in its own heap block: beyond
// the cache every trial was a wait on memory. Asking for the trials some way ahead lets
// those waits overlap, so the build's cost per trial stays flat as documents grow.
constexpr int kPrefetchAhead = 16;

} // namespace

AnalysisMacro MacroForTestType(const std::string& t)
{
    if (t == "Depth_RandomRoof")
        return AnalysisMacro::RDRoof;
    if (t == "Depth_RandomEdge")
        return AnalysisMacro::RDEdge;
    if (t == "Depth_SolidRoof")
        return AnalysisMacro::SolidRoof;
    if (t == "Border_Ownership")
        return AnalysisMacro::BorderOwnership;
    for (const char* name : {"Orient_Bar", "Orient_Grating", "Orient_RDRoof", "Orient", "Orient_Roof"})
        if (t == name)
            return AnalysisMacro::Orientation;
    if (t == "Orient_RDEdge")
        return AnalysisMacro::OrientationRDEdge;
    return AnalysisMacro::None;
}

int CompareValueText(const std::string& a, const std::string& b)
{
    if (!a.empty() && IsAsciiLetter(a[0]))
        return a < b ? -1 : a == b ? 0 : 1;
    double x = ParseDouble(a), y = ParseDouble(b);
    return x < y ? -1 : x == y ? 0 : 1;
}

void SortValueTexts(std::vector<std::string>& values)
{
    // A bottom-up merge: with names and numbers mixed the order is not consistent, and a
    // merge never leaves the list whatever the comparisons answer.
    auto less = [](const std::string& a, const std::string& b) { return CompareValueText(a, b) < 0; };
    std::vector<std::string> buffer(values.size());
    for (size_t width = 1; width < values.size(); width *= 2) {
        for (size_t lo = 0; lo < values.size(); lo += 2 * width) {
            size_t mid = std::min(lo + width, values.size()), hi = std::min(lo + 2 * width, values.size());
            std::merge(std::make_move_iterator(values.begin() + lo), std::make_move_iterator(values.begin() + mid),
                       std::make_move_iterator(values.begin() + mid), std::make_move_iterator(values.begin() + hi),
                       buffer.begin() + lo, less);
        }
        values.swap(buffer);
    }
}

bool PassesSelection(const CommandRow& row, const std::vector<CParam>& list1, const std::vector<CParam>& list2)
{
    if (list1.empty() && list2.empty())
        return true;
    return (!list1.empty() && RowContainsAll(row, list1)) || (!list2.empty() && RowContainsAll(row, list2));
}

int RevCorrDuration(int figOnDur)
{
    return DoubleToInt(std::ceil(figOnDur * 0.072) * 13.888888888888888);
}

void SmoothCircular(const std::vector<float>& s, const std::vector<float>& kernel, std::vector<float>& out)
{
    const int64_t n = static_cast<int64_t>(s.size());
    out.assign(s.size(), 0.0f);
    if (n == 0 || kernel.empty())
        return;
    const int64_t half = static_cast<int64_t>(kernel.size() - 1) / 2;
    for (int64_t i = 0; i < n; ++i) {
        float sum = 0.0f;
        for (size_t j = 0; j < kernel.size(); ++j) {
            // A true modulo: a kernel wider than the curve wraps round it more than once.
            int64_t k = ((i + static_cast<int64_t>(j) - half) % n + n) % n;
            sum += kernel[j] * s[static_cast<size_t>(k)];
        }
        out[static_cast<size_t>(i)] = sum;
    }
}

// ---- Axes ----

int CResponseGraph::IndexOf(int axis, int command) const
{
    const std::vector<int>& index = index_[axis];
    return command >= 0 && static_cast<size_t>(command) < index.size() ? index[static_cast<size_t>(command)] : -1;
}

bool CResponseGraph::HasTrials() const { return doc_.GetTrialCount() != 0; }

void CResponseGraph::BuildAxisValues(int axis)
{
    CResponseTables& t = doc_.responses;
    CPlotSettings& plot = doc_.plot;
    int& variable = axis == AXIS_X ? plot.XAxisVariable : axis == AXIS_Y ? plot.YAxisVariable : plot.FigureAxisVariable;
    std::vector<std::string>& values = axis == AXIS_X ? t.xValues : axis == AXIS_Y ? t.yValues : t.figureValues;
    const int commands = doc_.GetCommandRowCount();
    const int P = commands > 0 ? static_cast<int>(doc_.GetCommand(0).size()) : 0;

    // The distinct texts of the axis's parameter, each with the position it gets.
    std::vector<std::string> texts(static_cast<size_t>(commands));
    std::unordered_map<std::string, int> position;
    values.clear();
    if (variable >= 0 && variable < P) {
        position.reserve(static_cast<size_t>(3 * commands));
        for (int i = 0; i < commands; ++i) {
            CommandRow& row = doc_.GetCommand(i);
            size_t k = static_cast<size_t>(P - variable - 1);
            if (k >= row.size())
                continue;
            texts[static_cast<size_t>(i)] = row[k].GetText();
            if (position.emplace(texts[static_cast<size_t>(i)], 0).second)
                values.push_back(texts[static_cast<size_t>(i)]);
        }
        if (values.size() > kMaxAxisValues && axis != AXIS_X) {
            variable = -1;
            values.clear();
            position.clear();
        }
    }
    SortValueTexts(values);
    for (size_t k = 0; k < values.size(); ++k)
        position[values[k]] = static_cast<int>(k);

    std::vector<int>& index = index_[axis];
    index.assign(static_cast<size_t>(commands), -1);
    for (int i = 0; i < commands; ++i) {
        int& at = index[static_cast<size_t>(i)];
        if (variable >= 0) {
            auto found = values.empty() ? position.end() : position.find(texts[static_cast<size_t>(i)]);
            if (found != position.end() && PassesSelection(doc_.GetCommand(i), doc_.selectionList1, doc_.selectionList2))
                at = found->second;
        } else if (axis == AXIS_X && variable == AXIS_TIME) {
            at = PassesSelection(doc_.GetCommand(i), doc_.selectionList1, doc_.selectionList2) ? 0 : -1;
        }
    }
    if (axis == AXIS_FIGURE)
        doc_.figureCount = t.NFig();
    ++axesGeneration_;
}

void CResponseGraph::RebuildAxes(bool onlyBeyondRow)
{
    PruneSelectionLists();
    const int commands = doc_.GetCommandRowCount();
    const int P = commands > 0 ? static_cast<int>(doc_.GetCommand(0).size()) : 0;
    const int variables[3] = {doc_.plot.XAxisVariable, doc_.plot.YAxisVariable, doc_.plot.FigureAxisVariable};
    for (int axis : {AXIS_X, AXIS_Y, AXIS_FIGURE})
        if (!onlyBeyondRow || variables[axis] >= P)
            BuildAxisValues(axis);
    commandsVersion_ = doc_.commandListVersion;
}

// ---- Tables ----

CResponseGraph::BuildKey CResponseGraph::CurrentKey() const
{
    const CPlotSettings& plot = doc_.plot;
    const CResponseTables& t = doc_.responses;
    BuildKey key;
    key.mode = plot.XAxisVariable == AXIS_TIME ? Mode::Time
        : (plot.YAxisVariable < -1 || plot.XAxisVariable < 0) ? Mode::Histogram : Mode::Tuning;
    key.channel = doc_.GetSelectedChannel();
    key.x = plot.XAxisVariable;
    key.y = plot.YAxisVariable;
    key.figure = plot.FigureAxisVariable;
    key.nX = t.NX();
    key.nY = t.NY();
    key.nFig = t.NFig();
    key.histBin = plot.HistBin;
    key.histMin = plot.HistMin;
    key.histMax = plot.HistMax;
    key.kernelSize = doc_.smoothKernel.size();
    key.axesGeneration = axesGeneration_;
    return key;
}

bool CResponseGraph::AcceptedResponse(const CTrial& trial, double& response) const
{
    int c = built_.channel;
    if (c == -1) {
        // A trial in which no active channel has a rate (an early answer, no figure onset)
        // would read as a mean of 0: it has no response to count.
        bool anyRate = false;
        for (int k = 0; k < kChannelCount; ++k)
            anyRate |= (trial.activeChannels & (1u << k)) && trial.GetChannelResponse(k) >= 0;
        response = trial.GetChannelResponse(-1);
        return anyRate;
    }
    if (c < 0 || c >= kChannelCount || !(trial.activeChannels & (1u << c)))
        return false;
    response = trial.GetChannelResponse(c);
    return response >= 0;
}

void CResponseGraph::RebuildTables()
{
    CResponseTables& t = doc_.responses;
    built_ = CurrentKey();
    ++fullBuilds_;
    const int figures = std::max(t.NFig(), 1), rows = std::max(t.NY(), 1), nX = t.NX();
    switch (built_.mode) {
    case Mode::Time:
        t.groupRows = rows;
        t.groups.assign(static_cast<size_t>(figures) * rows, {});
        break;
    case Mode::Histogram: {
        const CPlotSettings& plot = doc_.plot;
        // A bin width of 0 or less, or a range turned round, has no bins at all.
        int64_t bins = plot.HistBin > 0 && plot.HistMax >= plot.HistMin
            ? (static_cast<int64_t>(plot.HistMax) - plot.HistMin) / plot.HistBin + 1
            : 0;
        if (bins * figures * nX > kMaxHistogramCells)
            bins = 0;
        t.histogram.Resize(figures, nX, static_cast<int>(bins), 0);
        if (bins > 0)
            for (int f = 0; f < figures; ++f)
                for (int x = 0; x < nX; ++x)
                    t.histogram.At(f, x, 0) = -1;
        break;
    }
    case Mode::Tuning:
        t.count.Resize(figures, rows, nX, 0);
        t.mean.Resize(figures, rows, nX, kNoMean);
        t.error.Resize(figures, rows, nX, 0.0f);
        cellResponses_.assign(t.mean.Cells().size(), {});
        break;
    }
    const int n = doc_.GetTrialCount();
    for (int i = 0; i < n; ++i) {
        if (const CTrial* ahead = i + kPrefetchAhead < n ? doc_.GetTrial(i + kPrefetchAhead) : nullptr) {
            __builtin_prefetch(&ahead->commandIndex);
            __builtin_prefetch(&ahead->activeChannels);
            __builtin_prefetch(&ahead->channelResponses.back());
        }
        AddToTables(i, false);
    }
    if (built_.mode == Mode::Histogram) {
        int32_t most = 1;
        for (int32_t v : t.histogram.Cells())
            most = std::max(most, v);
        doc_.plot.HistMaxCount = most;
    } else if (built_.mode == Mode::Tuning) {
        for (size_t cell = 0; cell < cellResponses_.size(); ++cell)
            FinishTuningCell(static_cast<int>(cell));
        UpdateMaxMean();
        t.smoothed.Resize(figures, 1, 10 * nX, 0.0f);
        for (int f = 0; f < figures; ++f)
            Smooth(f);
    }
    tablesBuilt_ = true;
    builtTrials_ = n;
    lastBuiltTrial_ = n > 0 ? doc_.GetTrial(n - 1) : nullptr;
}

void CResponseGraph::AddToTables(int i, bool incremental)
{
    const CTrial* trial = doc_.GetTrial(i);
    if (!trial)
        return;
    const int cmd = trial->commandIndex;
    if (cmd < 0 || cmd >= doc_.GetCommandRowCount())
        return;
    const int xi = IndexOf(AXIS_X, cmd);
    if (xi < 0)
        return;
    CResponseTables& t = doc_.responses;
    const int fi = std::max(IndexOf(AXIS_FIGURE, cmd), 0);
    const int yi = std::max(IndexOf(AXIS_Y, cmd), 0);
    switch (built_.mode) {
    case Mode::Time: {
        const int c = built_.channel;
        if (c < 0 || c >= kChannelCount || !(trial->activeChannels & (1u << c)) || trial->GetChannelResponse(c) < 0)
            return;
        size_t g = static_cast<size_t>(fi) * t.groupRows + yi;
        if (yi < t.groupRows && g < t.groups.size())
            t.groups[g].push_back(i);
        return;
    }
    case Mode::Histogram: {
        if (!t.histogram.Has(fi, xi, 0))
            return;
        const CPlotSettings& plot = doc_.plot;
        int32_t& first = t.histogram.At(fi, xi, 0);
        if (first < 0)
            first = 0;
        // Whole-number quotients truncated towards zero, as the bins have always counted.
        int64_t b = (plot.HistBin / 2 + static_cast<int64_t>(trial->responses[3]) - plot.HistMin) / plot.HistBin;
        if (b >= 0 && b < t.histogram.Columns()) {
            int32_t& bin = t.histogram.At(fi, xi, static_cast<int>(b));
            ++bin;
            if (incremental)
                doc_.plot.HistMaxCount = std::max(doc_.plot.HistMaxCount, bin);
        }
        return;
    }
    case Mode::Tuning: {
        double response = 0;
        if (!t.mean.Has(fi, yi, xi) || !AcceptedResponse(*trial, response))
            return;
        int cell = (fi * t.mean.Rows() + yi) * t.mean.Columns() + xi;
        cellResponses_[static_cast<size_t>(cell)].push_back(response);
        if (incremental) {
            FinishTuningCell(cell);
            UpdateMaxMean();
            if (yi == 0)
                Smooth(fi);
        }
        return;
    }
    }
}

void CResponseGraph::FinishTuningCell(int cell)
{
    CResponseTables& t = doc_.responses;
    const std::vector<double>& responses = cellResponses_[static_cast<size_t>(cell)];
    const int n = static_cast<int>(responses.size());
    float mean = kNoMean;
    if (n > 0) {
        mean = 0.0f;
        for (double r : responses)
            mean = static_cast<float>(mean + r);
        mean /= static_cast<float>(n);
    }
    float error = 0.0f;
    if (n > 1) {
        for (double r : responses)
            error = static_cast<float>(error + (r - mean) * (r - mean));
        error = static_cast<float>(std::sqrt(error / (static_cast<double>(n - 1) * n)));
    }
    t.mean.Cells()[static_cast<size_t>(cell)] = mean;
    t.error.Cells()[static_cast<size_t>(cell)] = error;
    t.count.Cells()[static_cast<size_t>(cell)] = n;
}

void CResponseGraph::UpdateMaxMean()
{
    float most = 1.0f;
    for (float m : doc_.responses.mean.Cells())
        most = std::max(most, m);
    doc_.responses.maxMean = most;
}

void CResponseGraph::Smooth(int figure)
{
    CResponseTables& t = doc_.responses;
    const int nX = t.mean.Columns();
    if (!t.smoothed.Has(figure, 0, 0) || t.smoothed.Columns() != 10 * nX)
        return;
    // Ten samples per x step, joined linearly and round from the last x value to the first.
    std::vector<float> samples(static_cast<size_t>(10 * nX));
    std::span<const float> m = t.mean.Row(figure, 0);
    for (int x = 0; x < nX; ++x) {
        int next = x + 1 < nX ? x + 1 : 0;
        for (int j = 0; j < 10; ++j)
            samples[static_cast<size_t>(10 * x + j)] = static_cast<float>(m[x] + (m[next] - m[x]) * j * 0.1);
    }
    std::vector<float> out;
    SmoothCircular(samples, doc_.smoothKernel, out);
    std::copy(out.begin(), out.end(), t.smoothed.Row(figure, 0).begin());
}

// ---- Updates ----

void CResponseGraph::OnUpdate(const DocUpdate& update)
{
    if (update.hint == HINT_AXES) {
        SetupAxesFromTest();
        return;
    }
    if (update.hint != HINT_REBUILD && update.hint != HINT_TRIAL_ADDED && update.hint != HINT_COLUMN_CHANGED)
        return;
    const int n = doc_.GetTrialCount();
    if (n == 0) {
        // The tables stay for whoever still shows them; the next trials build them anew.
        tablesBuilt_ = false;
        extentChanged_ = repaint_ = true;
        return;
    }
    if (doc_.GetCommandRowCount() == 0)
        return;
    // Index arrays of another command list would plot its values under this one's. A time
    // axis has no values of its own: its axes stand once they are built for the list.
    if (update.hint == HINT_COLUMN_CHANGED || commandsVersion_ != doc_.commandListVersion)
        RebuildAxes(false);
    else if (doc_.responses.NX() == 0 && doc_.plot.XAxisVariable != AXIS_TIME)
        SetupAxesFromTest();

    CPlotSettings& plot = doc_.plot;
    if (plot.YAxisVariable == AXIS_REVCORR) {
        int figOnDur = doc_.GetBehavParam("FigOnDur", CParam(nullptr, 0)).GetInt();
        UpdateReverseCorrelation(plot.revCorrLatency, RevCorrDuration(figOnDur), 0.0f, 1.0f);
        repaint_ = true;
        return;
    }
    const CResponseTables& t = doc_.responses;
    if (t.NX() > kMaxAxisValues || t.NY() > kMaxAxisValues || t.NFig() > kMaxAxisValues)
        return;

    bool added = false;
    if (update.hint == HINT_TRIAL_ADDED && tablesBuilt_ && CurrentKey() == built_ && n >= builtTrials_
        && (builtTrials_ == 0 ? lastBuiltTrial_ == nullptr : doc_.GetTrial(builtTrials_ - 1) == lastBuiltTrial_)) {
        for (int i = builtTrials_; i < n; ++i)
            AddToTables(i, true);
        builtTrials_ = n;
        lastBuiltTrial_ = doc_.GetTrial(n - 1);
        added = true;
    }
    if (!added)
        RebuildTables();
    extentChanged_ = repaint_ = true;
}

} // namespace orvix
