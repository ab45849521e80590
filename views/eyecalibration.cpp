#include "views/eyecalibration.h"

#include <algorithm>

#include "document/orvixdoc.h"
#include "model/param.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {
constexpr int kDefaultDeviation = 240; // target offset of the calibration, 1/60 degree
} // namespace

int CEyeCalibration::Median(std::vector<int16_t> samples)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

int CEyeCalibration::BehavInt(const char* name, int def)
{
    return doc_.GetBehavParam(name, CParam(name, def)).GetInt();
}

double CEyeCalibration::BehavReal(const char* name, double def)
{
    return doc_.GetBehavParam(name, CParam(name, def)).GetDouble();
}

void CEyeCalibration::ClearSamples()
{
    rawH_.clear();
    rawV_.clear();
}

void CEyeCalibration::Reset()
{
    ClearSamples();
    if (!doc_.IsRendererRunning()) {
        targetH_ = targetV_ = -1;
        return;
    }
    std::string nameH = doc_.GetBehavParam("FPParamH", CParam("FPParamH", "TPOSH")).GetText();
    std::string nameV = doc_.GetBehavParam("FPParamV", CParam("FPParamV", "TPOSV")).GetText();
    targetH_ = doc_.FindGraphParam(nameH.c_str());
    targetV_ = doc_.FindGraphParam(nameV.c_str());
    updateOffsets_ = BehavInt("FPUpdate", 0);
}

void CEyeCalibration::SetTarget(int index, int value)
{
    if (index < 0 || index >= doc_.GetGraphParamCount())
        return;
    doc_.GetGraphParam(index) = value;
    doc_.SendGraphParam(index);
    doc_.UpdateGraphParamItem(index);
}

void CEyeCalibration::RestoreTargets()
{
    SetTarget(targetH_, savedH_);
    SetTarget(targetV_, savedV_);
}

void CEyeCalibration::OnCalibrate()
{
    if (calibrating_) {
        calibrating_ = false;
        ClearSamples();
        RestoreTargets();
        return;
    }
    Reset();
    // Everything is checked before a target moves, so that a calibration that cannot run
    // leaves the stimulus as it was.
    if (targetH_ < 0 || targetV_ < 0)
        return;
    int frames = BehavInt("FPCalFrames", kDefaultFramesPerStep);
    if (frames < 1) {
        MessageBox("\"FPCalFrames\" not found!");
        return;
    }
    savedH_ = doc_.GetGraphParam(targetH_).GetInt();
    SetTarget(targetH_, 0);
    savedV_ = doc_.GetGraphParam(targetV_).GetInt();
    SetTarget(targetV_, 0);
    framesPerStep_ = frames;
    step_ = 0;
    ClearSamples();
    rawH_.reserve(static_cast<size_t>(frames));
    rawV_.reserve(static_cast<size_t>(frames));
    calibrating_ = true;
}

void CEyeCalibration::OnPass(int rawH, int rawV, int taskState)
{
    if (!calibrating_ && !updateOffsets_)
        return;
    if (sampling_ && SampleCount() < framesPerStep_) {
        rawH_.push_back(static_cast<int16_t>(rawH));
        rawV_.push_back(static_cast<int16_t>(rawV));
        return;
    }
    if (SampleCount() >= framesPerStep_ && taskState == 0) {
        int mH = Median(rawH_), mV = Median(rawV_);
        ClearSamples();
        if (calibrating_)
            CalibrationStep(mH, mV);
        else
            OffsetUpdate(mH, mV);
    }
}

void CEyeCalibration::CalibrationStep(int mH, int mV)
{
    const int devH = BehavInt("FPCalDevH", kDefaultDeviation);
    switch (step_) {
    case 0:
        doc_.GetBehavParam("H0", CParam("H0", -2560)) = -mH;
        doc_.GetBehavParam("V0", CParam("V0", -1280)) = -mV;
        doc_.UpdateBehavParamItem("H0");
        doc_.UpdateBehavParamItem("V0");
        offsetH_ = -mH;
        offsetV_ = -mV;
        step_ = 1;
        SetTarget(targetH_, -devH);
        return;
    case 1:
        slots_[1] = {mH, mV};
        step_ = 2;
        SetTarget(targetH_, devH);
        return;
    case 2:
        slots_[2] = {mH, mV};
        step_ = 3;
        SetTarget(targetH_, 0);
        SetTarget(targetV_, -BehavInt("FPCalDevV", kDefaultDeviation));
        return;
    case 3:
        slots_[3] = {mH, mV};
        step_ = 4;
        SetTarget(targetV_, BehavInt("FPCalDevV", kDefaultDeviation));
        return;
    default:
        slots_[4] = {mH, mV};
        Finish();
        return;
    }
}

void CEyeCalibration::Finish()
{
    const float units = static_cast<float>(BehavReal("UnitsPerDeg", 60.0f));
    const int devV = BehavInt("FPCalDevV", kDefaultDeviation);
    const int devH = BehavInt("FPCalDevH", kDefaultDeviation);
    calibrating_ = false;
    if (units != 0.0f) {
        const float dH = static_cast<float>(devH) / units;
        const float dV = static_cast<float>(devV) / units;
        float a[kSteps], b[kSteps];
        for (int i = 1; i < kSteps; ++i) {
            // A place seen exactly at the centre would divide by zero: it moves by one.
            Slot s = slots_[i];
            if (s.h == -offsetH_)
                s.h += 1;
            if (s.v == -offsetV_)
                s.v += 1;
            a[i] = static_cast<float>(s.h + offsetH_);
            b[i] = static_cast<float>(s.v + offsetV_);
        }
        const float dtoAH = 0.5f * (dH / a[2] - dH / a[1]);
        const float dtoAV = 0.5f * (dV / b[4] - dV / b[3]);
        const float dtoAH2 = -0.5f * (a[3] * dtoAH / b[3] + a[4] * dtoAH / b[4]);
        const float dtoAV2 = -0.5f * (b[1] * dtoAV / a[1] + b[2] * dtoAV / a[2]);
        const std::pair<const char*, float> results[] = {
            {"DtoAH", dtoAH}, {"DtoAV", dtoAV}, {"DtoAH2", dtoAH2}, {"DtoAV2", dtoAV2}};
        for (const auto& [name, value] : results) {
            // A zero product of a negative factor is -0, which would show and be kept as "-0".
            doc_.GetBehavParam(name, CParam(name, 0.0)) = value == 0.0f ? 0.0f : value;
            doc_.UpdateBehavParamItem(name);
        }
    }
    RestoreTargets();
}

void CEyeCalibration::OffsetUpdate(int mH, int mV)
{
    const double dtoAH = BehavReal("DtoAH", 0.02);
    const double dtoAH2 = BehavReal("DtoAH2", 0.0);
    const double dtoAV = BehavReal("DtoAV", -0.04);
    const double dtoAV2 = BehavReal("DtoAV2", 0.0);
    const double units = BehavReal("UnitsPerDeg", 60.0f);
    auto target = [&](int index) {
        return index >= 0 && index < doc_.GetGraphParamCount() && units != 0.0
                   ? doc_.GetGraphParam(index).GetInt() / units
                   : 0.0;
    };
    const double tH = target(targetH_), tV = target(targetV_);
    const double det = dtoAV * dtoAH - dtoAV2 * dtoAH2;
    int h0 = -mH, v0 = -mV;
    if (det != 0.0) {
        h0 = DoubleToInt((tH * dtoAV - tV * dtoAH2) / det - mH);
        v0 = DoubleToInt((tV * dtoAH - tH * dtoAV2) / det - mV);
    }
    doc_.GetBehavParam("H0", CParam("H0", -2560)) = h0;
    doc_.GetBehavParam("V0", CParam("V0", -1280)) = v0;
    doc_.UpdateBehavParamItem("H0");
    doc_.UpdateBehavParamItem("V0");
}

void CEyeCalibration::CorrectOffsets(double h, double v)
{
    const double units = BehavReal("UnitsPerDeg", 60.0f);
    auto target = [&](int index) {
        return index >= 0 && index < doc_.GetGraphParamCount() && units != 0.0
                   ? doc_.GetGraphParam(index).GetInt() / units
                   : 0.0;
    };
    const double dtoAH = BehavReal("DtoAH", 0.02);
    const double dtoAV = BehavReal("DtoAV", -0.04);
    // An axis without a scale cannot be corrected.
    if (dtoAH != 0.0) {
        doc_.GetBehavParam("H0", CParam("H0", -2560)) += (target(targetH_) - h) / dtoAH;
        doc_.UpdateBehavParamItem("H0");
    }
    if (dtoAV != 0.0) {
        doc_.GetBehavParam("V0", CParam("V0", -1280)) += (target(targetV_) - v) / dtoAV;
        doc_.UpdateBehavParamItem("V0");
    }
}

} // namespace orvix
