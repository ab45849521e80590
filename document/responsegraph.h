// CResponseGraph: the response-graph view's analysis without the window. It turns the
// document's trials into the response tables (mean, error and count per stimulus
// condition; rasters' trial groups; the depth histogram; the smoothed curve), keeps the
// per-command index arrays of the three axes and answers the document's update hints.
// The view owns one and only shows what it builds; tests and benchmarks drive it alone.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "document/commandfile.h"
#include "document/observer.h"
#include "document/plotsettings.h"
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

// One step of the shift register of a maximal-length binary sequence of n bits.
int NextMSequenceState(int taps, int n, int state);

// The stimulus sequences of the reverse correlation: the first 144 tap patterns of 12 bits
// whose sequence from state 1 has the full period 4095, each sequence's states in order
// from 1 (entry 4095 unused).
struct MSequenceSet {
    static constexpr int kCount = 144;
    static constexpr int kBits = 12;
    static constexpr int kPeriod = 4095;
    std::vector<int> taps;
    std::vector<std::vector<uint16_t>> states;
};
// Worked out once, on first use.
const MSequenceSet& MSequences();

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

    // ---- The graph's commands (document/responsegraph_commands.cpp) ----
    // Whether the document has stimulus commands; without them every command does nothing.
    bool HasCommands() const;
    // The columns an axis may show: the trial-parameter table's columns but its last 14
    // (the responses). Column i shows the parameter C - 15 - i places from a row's end.
    int OfferedColumnCount() const;
    std::string ColumnName(int column) const;
    // The column of an axis variable k >= 0 (C - 15 - k); -1 for the special values.
    int ColumnOfVariable(int variable) const;
    static int& Variable(CPlotSettings& plot, int axis);

    // Clamps the axis variables, writes their names into "Param2ShowX/Y/Z" and the titles,
    // and builds the axes and tables again.
    void RebuildAndRedraw();
    // The reverse: the axes from the behaviour parameters that name them.
    void SetupAxesFromTest();
    // Drops filter entries that name no offered column or a plotted one.
    void PruneSelectionLists();
    // Every distinct parameter of the command rows but the plotted ones, sorted by name,
    // then by value as a number ("COL" as text): what "Set selection" offers.
    std::vector<CParam> SelectionCandidates();

    // The axis menus: a parameter k places from the row's end (filter emptied), or one of
    // the special values (AXIS_TIME, AXIS_SPIKE_RATE, ...).
    void SelectAxisParam(int axis, int k);
    void SelectAxisSpecial(int axis, int value);
    void SetPlotType(int plotType);
    // "Small View" / "Big View": preset figure geometry and font height.
    void SetPresetSize(bool big);
    // A test type's analysis: derived columns, axes, filter and figure layout.
    void RunAnalysisMacro(AnalysisMacro macro);
    // "Switch RIDGE: 0<->14": the number of sources to choose from, or -1 when the command
    // does nothing (no commands; outside merge mode, after saying so).
    int SwitchRidgeSources();
    // Flips RIDGE between 0 and 14 for the commands of merged source `source` (0-based),
    // then draws the random-dot edges.
    void SwitchRidge(int source);

    // Figure editing by dragging (document/graphinteraction.cpp): the change a drag of a
    // region makes, dx and dy in 0.01 mm; and the live y range of region 8, dy in device
    // pixels, returning how far the drag's start moves.
    void ApplyDrag(int region, int dx, int dy);
    int DragYRange(int dyDevice);
    // "Set Optimal Value": the value under the cross-hair into the graph parameter it
    // belongs to, and on to the renderer.
    void SetOptimalValue(const std::string& stimulusText, const std::string& responseText);

    // Fills the mean table with the reverse-correlation maps (document/revcorr.cpp).
    void UpdateReverseCorrelation(int latency, int duration, float minimum, float maximum);

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
    // The tables and the picture follow a change of the settings.
    void Changed(bool extent)
    {
        repaint_ = true;
        extentChanged_ = extentChanged_ || extent;
    }
    void ClampAxisVariables();
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
