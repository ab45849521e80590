// The values of the open document's trials as the exports write them: the data file's
// name parts, the exported columns of the trial-parameter table, and each trial's time
// base (figure onset, optionally moved to the next display frame). The CSV, dBASE and
// database writers all take their values from here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class CTableModel;

namespace orvix {

class COrvixDoc;
class CTrial;

// What one exported row stands for.
enum ExportEvent : int { EXPORT_BASIC = 0, EXPORT_SPIKE = 1, EXPORT_EYE = 2, EXPORT_KEY = 3 };

// The parts of a data file's name "<cell id 6><test name><repetition 2>.oxv". A base name
// shorter than 8 characters has no test name and no repetition (0): the cell id takes what
// there is.
struct DataFileParts {
    std::string baseName;
    std::string cellId;
    std::string testName;
    std::string repetitionText;
    int repetition = 0;
};
DataFileParts SplitDataFileName(const std::string& path);

// The test name cut so that it and the event's suffix ("_Spike", "_Eye", "_Key") never
// exceed 30 characters.
std::string SuffixedTestName(const std::string& testName, int eventType);
// "<cell id><suffixed test name><repetition><extension>", e.g. "M1aa1aOrient_Spike01.csv".
std::string ExportFileName(const DataFileParts& parts, int eventType, const char* extension);

// The exported columns of a trial-parameter table: all but the eight per-channel
// responses, i.e. the parameter columns and then Status, RTime, V1, V2, V3, Resp.
struct ExportColumns {
    std::vector<std::string> names;
    std::vector<int> types;
    int parameterCount = 0;
};
constexpr int kPerChannelColumns = 8;
constexpr int kFixedColumns = 14;
ExportColumns ExportedColumns(const CTableModel& table);

// Where each reference column is found in a table: its index there, by name (the first
// column of that name), or -1.
std::vector<int> MapColumns(const ExportColumns& reference, const CTableModel& table);
std::vector<int> IdentityMap(int count);

class CTrialData {
public:
    explicit CTrialData(COrvixDoc& doc);

    const DataFileParts& Name() const { return name_; }
    int TrialCount() const;
    const CTrial& Trial(int i) const;
    const CTableModel& Table() const;
    uint8_t MainChannel() const { return mainChannel_; }
    // The time between two eye samples in ms.
    double EyePointBin() const { return eyePointBin_; }
    // Whether figure onsets are moved to the display's frames (the document asks for it
    // and its frame rate is a finite number above 0).
    bool Aligned() const { return aligned_; }

    // Trial i's figure onset F in ms from its start: its first FIG_ON event (0 without
    // one), moved to the next frame when aligning. Every time of the trial's rows is
    // counted from it.
    float TimeBase(int i) const;
    // The figure onset on the file's time line: ms from trial 0's start.
    double FigOnTime(int i, float timeBase) const;

    // Eye sample j of a trial in calibrated units, and its time from F.
    static double EyeX(const CTrial& t, size_t j);
    static double EyeY(const CTrial& t, size_t j);
    double EyeTime(size_t j, float timeBase) const { return static_cast<double>(j) * eyePointBin_ - timeBase; }
    static size_t EyeSampleCount(const CTrial& t);
    static size_t KeyEventCount(const CTrial& t);
    static size_t SpikeCount(const CTrial& t);
    // A spike's time in ms from F; the closing row's time (the trial's end).
    static double SpikeTime(const CTrial& t, size_t k, float timeBase);
    static double EndTime(const CTrial& t, float timeBase);

private:
    // ms since trial 0 started, taken modulo 2^32 as the clock wraps.
    double SinceFirstTrial(int i) const;

    COrvixDoc& doc_;
    DataFileParts name_;
    uint8_t mainChannel_;
    double eyePointBin_;
    bool aligned_ = false;
    double period_ = 0.0;
    double phase_ = 0.0;
    uint32_t firstStart_ = 0;
};

} // namespace orvix
