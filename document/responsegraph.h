// CResponseGraph: the response-graph view's analysis without the window. It turns the
// document's trials into the response tables (mean, error and count per stimulus
// condition; rasters' trial groups; the depth histogram; the smoothed curve), keeps the
// per-command index arrays of the three axes and answers the document's update hints.
// The view owns one and only shows what it builds; tests and benchmarks drive it alone.
#pragma once
#include <string>
#include <vector>

#include "document/commandfile.h"
#include "document/observer.h"
#include "model/param.h"

namespace orvix {

class COrvixDoc;
class CTrial;

enum GraphAxis { AXIS_X = 0, AXIS_Y = 1, AXIS_FIGURE = 2 };

// Special values of the axis variables.
enum : int {
    AXIS_TIME = -1,       // x: "Time (ms)"
    AXIS_SPIKE_RATE = -1, // y: "Spikes/S"
    AXIS_DEPTH = -2,      // y: "Depth matched"
    AXIS_REVCORR = -3,    // y: "RevCorr"
    AXIS_ALL = -1,        // figure: "all"
};

// No table is built for more values than this on any axis.
constexpr int kMaxAxisValues = 100;

// The analysis that a test type runs on an opened file when "apply macro" is on.
enum class AnalysisMacro { None, RDRoof, RDEdge, SolidRoof, BorderOwnership, Orientation, OrientationRDEdge };
AnalysisMacro MacroForTestType(const std::string& testType);

// Sort order of axis values: -1, 0 or 1. Texts starting with an ASCII letter compare as
// bytes, anything else by its number.
int CompareValueText(const std::string& a, const std::string& b);
// Sorts with CompareValueText; stays within the list even where mixed names and numbers
// make the order inconsistent.
void SortValueTexts(std::vector<std::string>& values);

// The command filter: passes when both lists are empty, or the row holds every entry of a
// non-empty list (entries compared with CParam ==; the two lists or-ed).
bool PassesSelection(const CommandRow& row, const std::vector<CParam>& list1, const std::vector<CParam>& list2);

// The figure-on time (ms) rounded up to whole frames of a 72 Hz display, as the
// reverse-correlation window.
int RevCorrDuration(int figOnDur);

// Convolves the samples with the kernel, both taken circularly: out[i] = sum over j of
// kernel[j] * s[(i + j - half) mod n], half = (kernel size - 1) / 2.
void SmoothCircular(const std::vector<float>& samples, const std::vector<float>& kernel, std::vector<float>& out);

class CResponseGraph {
public:
    explicit CResponseGraph(COrvixDoc& doc) : doc_(doc) {}
    CResponseGraph(const CResponseGraph&) = delete;
    CResponseGraph& operator=(const CResponseGraph&) = delete;

    // Answers an update hint: 0, 2 and 3 build the tables (hint 2 adds the new trials to
    // them when nothing else changed), 8 sets the axes up again; others do nothing.
    void OnUpdate(const DocUpdate& update);

    // The value list and the index array of one axis.
    void BuildAxisValues(int axis);
    // Selection clean-up, then the three axes in the order x, y, figure; with
    // onlyBeyondRow only the axes whose variable lies beyond the command row.
    void RebuildAxes(bool onlyBeyondRow);
    // All tables from all trials.
    void RebuildTables();

    // The position of command `command`'s value in the axis's value list; -1 when it is
    // not plotted or lies beyond the index array (a command list newer than the axes).
    int IndexOf(int axis, int command) const;
    const std::vector<int>& Index(int axis) const { return index_[axis]; }
    bool HasTrials() const;
    // How often the tables were built from all trials (a hint 2 normally adds to them).
    int FullBuilds() const { return fullBuilds_; }

    // What the last calls asked of whoever shows the graph; reading clears them.
    bool TakeExtentChanged() { return Take(extentChanged_); }
    bool TakeRepaint() { return Take(repaint_); }

    // ---- Work of the graph's commands, called from here ----
    // The axes from the behaviour parameters that name them.
    void SetupAxesFromTest();
    // Drops filter entries that no longer apply.
    void PruneSelectionLists();
    // Fills the mean table with the reverse-correlation map.
    void UpdateReverseCorrelation(int latency, int duration, float minimum, float maximum);
    // A test type's analysis: derived columns, axes, filter and figure layout.
    void RunAnalysisMacro(AnalysisMacro macro);

private:
    // Which table kind the axis choice makes.
    enum class Mode { Time, Histogram, Tuning };
    // Everything a table build depends on besides the trials; hint 2 may add to tables
    // built under the same key.
    struct BuildKey {
        Mode mode = Mode::Tuning;
        int channel = 0;
        int x = 0, y = 0, figure = 0;
        int nX = 0, nY = 0, nFig = 0;
        int histBin = 0, histMin = 0, histMax = 0;
        size_t kernelSize = 0;
        unsigned axesGeneration = 0;
        bool operator==(const BuildKey&) const = default;
    };

    BuildKey CurrentKey() const;
    // Adds trial i to the tables being built; false when it takes part in none.
    void AddToTables(int i, bool incremental);
    bool AcceptedResponse(const CTrial& trial, double& response) const;
    void FinishTuningCell(int cell);
    void UpdateMaxMean();
    void Smooth(int figure);
    static bool Take(bool& flag)
    {
        bool was = flag;
        flag = false;
        return was;
    }

    COrvixDoc& doc_;
    std::vector<int> index_[3];
    // The command list the index arrays were built for.
    unsigned commandsVersion_ = ~0u;
    unsigned axesGeneration_ = 0;
    // The tuning cells' accepted responses in trial order, so that a new trial recomputes
    // its own cell exactly as a full build would.
    std::vector<std::vector<double>> cellResponses_;
    BuildKey built_;
    bool tablesBuilt_ = false;
    int builtTrials_ = 0;
    int fullBuilds_ = 0;
    const CTrial* lastBuiltTrial_ = nullptr;
    bool extentChanged_ = false;
    bool repaint_ = false;
};

} // namespace orvix
