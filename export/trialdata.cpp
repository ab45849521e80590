#include "export/trialdata.h"

#include <algorithm>
#include <cmath>

#include "analysis/tablemodel.h"
#include "document/orvixdoc.h"
#include "model/trial.h"
#include "platform/text/numbers.h"

namespace orvix {

namespace {

double Frac(double x) { return x - std::trunc(x); }

} // namespace

DataFileParts SplitDataFileName(const std::string& path)
{
    DataFileParts p;
    size_t slash = path.find_last_of("\\/");
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = file.find_last_of('.');
    p.baseName = dot == std::string::npos ? file : file.substr(0, dot);
    const std::string& b = p.baseName;
    p.cellId = b.substr(0, std::min<size_t>(6, b.size()));
    if (b.size() >= 8) {
        p.testName = b.substr(6, b.size() - 8);
        p.repetitionText = b.substr(b.size() - 2);
        p.repetition = ParseInt(p.repetitionText);
    }
    return p;
}

std::string SuffixedTestName(const std::string& testName, int eventType)
{
    static const struct {
        size_t kept;
        const char* suffix;
    } kCuts[] = {{30, ""}, {24, "_Spike"}, {26, "_Eye"}, {26, "_Key"}};
    const auto& cut = kCuts[eventType >= 0 && eventType <= 3 ? eventType : 0];
    return testName.substr(0, std::min(cut.kept, testName.size())) + cut.suffix;
}

std::string ExportFileName(const DataFileParts& parts, int eventType, const char* extension)
{
    return parts.cellId + SuffixedTestName(parts.testName, eventType) + parts.repetitionText + extension;
}

ExportColumns ExportedColumns(const CTableModel& table)
{
    ExportColumns c;
    int n = std::max(0, table.GetColumnCount() - kPerChannelColumns);
    for (int k = 0; k < n; ++k) {
        c.names.emplace_back(table.GetColumnName(k));
        c.types.push_back(table.GetColumnType(k));
    }
    c.parameterCount = std::max(0, table.GetColumnCount() - kFixedColumns);
    return c;
}

std::vector<int> MapColumns(const ExportColumns& reference, const CTableModel& table)
{
    ExportColumns own = ExportedColumns(table);
    std::vector<int> map;
    for (const std::string& name : reference.names) {
        auto it = std::find(own.names.begin(), own.names.end(), name);
        map.push_back(it == own.names.end() ? -1 : static_cast<int>(it - own.names.begin()));
    }
    return map;
}

std::vector<int> IdentityMap(int count)
{
    std::vector<int> map(static_cast<size_t>(std::max(count, 0)));
    for (size_t k = 0; k < map.size(); ++k)
        map[k] = static_cast<int>(k);
    return map;
}

CTrialData::CTrialData(COrvixDoc& doc)
    : doc_(doc), name_(SplitDataFileName(doc.dataFilePath)), mainChannel_(static_cast<uint8_t>(doc.mainChannel)),
      // A recorded file has no "EyePointBin" (play-back adds it): its default is the
      // tracker's 60 Hz, as the views read it, not 0, which would put every sample at one time
      // and store that 0 in the document.
      eyePointBin_(doc.GetBehavParam("EyePointBin", CParam(nullptr, 16.6667f)).GetDouble())
{
    if (doc.GetTrialCount() == 0)
        return;
    firstStart_ = doc.GetTrial(0)->GetStartTime();
    // A rate of 0, below 0 or not a number has no frame period: the onsets stay as
    // recorded rather than turning into "nan".
    const double rate = doc.frameRate;
    if (doc.alignOnFigOnset && std::isfinite(rate) && rate > 0.0 && std::isfinite(doc.estimatedDelay)) {
        period_ = 1000.0 / rate;
        aligned_ = std::isfinite(period_) && period_ > 0.0;
        float first = static_cast<float>(doc.GetTrial(0)->GetFigOnTime());
        phase_ = period_ * Frac((first + doc.estimatedDelay) / period_);
    }
}

int CTrialData::TrialCount() const { return doc_.GetTrialCount(); }
const CTrial& CTrialData::Trial(int i) const { return *doc_.GetTrial(i); }
const CTableModel& CTrialData::Table() const { return doc_.trialTable; }

double CTrialData::SinceFirstTrial(int i) const
{
    return static_cast<double>(static_cast<uint32_t>(doc_.GetTrial(i)->GetStartTime() - firstStart_));
}

float CTrialData::TimeBase(int i) const
{
    float f = static_cast<float>(doc_.GetTrial(i)->GetFigOnTime());
    if (!aligned_)
        return f;
    double y = (SinceFirstTrial(i) + f - phase_) / period_;
    double a = period_ * (1.0 - Frac(y));
    if (a >= period_)
        a -= period_;
    return static_cast<float>(f + a);
}

double CTrialData::FigOnTime(int i, float timeBase) const { return SinceFirstTrial(i) + timeBase; }

size_t CTrialData::EyeSampleCount(const CTrial& t) { return std::min(t.hSamples.size(), t.vSamples.size()); }
size_t CTrialData::KeyEventCount(const CTrial& t) { return std::min(t.keyTimes.size(), t.keyCodes.size()); }
size_t CTrialData::SpikeCount(const CTrial& t) { return std::min(t.spikeMasks.size(), t.spikeTimes.size()); }

double CTrialData::EyeX(const CTrial& t, size_t j) { return t.GetEyeH(static_cast<int>(j), t.H0, t.V0); }
double CTrialData::EyeY(const CTrial& t, size_t j) { return t.GetEyeV(static_cast<int>(j), t.H0, t.V0); }

double CTrialData::SpikeTime(const CTrial& t, size_t k, float timeBase)
{
    return t.spikeTimes[k] * 0.1 - timeBase;
}

double CTrialData::EndTime(const CTrial& t, float timeBase) { return static_cast<double>(t.GetLength()) - timeBase; }

} // namespace orvix
