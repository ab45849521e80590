// The eye tracker's calibration, free of widgets: it moves the renderer's target through
// five places (centre, left, right, down, up), takes the median raw eye position at each
// and computes the calibration parameters H0, V0, DtoAH, DtoAH2, DtoAV and DtoAV2. Between
// calibrations it can keep the offsets H0 and V0 up to date ("FPUpdate"), and a double
// click on the eye-position plot corrects them by hand.
#pragma once
#include <cstdint>
#include <vector>

namespace orvix {

class COrvixDoc;

class CEyeCalibration {
public:
    static constexpr int kDefaultFramesPerStep = 600;
    static constexpr int kSteps = 5;

    explicit CEyeCalibration(COrvixDoc& doc) : doc_(doc) {}

    // Empties the samples; with the renderer running, finds the target parameters named by
    // "FPParamH" and "FPParamV" and reads "FPUpdate".
    void Reset();
    // The Calibrate command: starts a calibration, or ends the one running and puts the
    // targets back.
    void OnCalibrate();
    bool IsCalibrating() const { return calibrating_; }
    int Step() const { return step_; }
    // Eye samples are taken only while the task wants them (update hints 6 and 7).
    void SetSampling(bool on) { sampling_ = on; }
    bool IsSampling() const { return sampling_; }
    // After a (display-rate) experiment pass: the raw eye values and the task state.
    void OnPass(int rawH, int rawV, int taskState);
    // A double click on the plot at this eye position (degrees): the offsets move so that
    // the current target is seen there.
    void CorrectOffsets(double h, double v);

    int TargetIndexH() const { return targetH_; }
    int TargetIndexV() const { return targetV_; }
    int SampleCount() const { return static_cast<int>(rawH_.size()); }
    bool UpdatesOffsets() const { return updateOffsets_ != 0; }

    // The element at count / 2 of the sorted samples (the upper middle one for an even
    // count); 0 for none. The samples are signed.
    static int Median(std::vector<int16_t> samples);

private:
    struct Slot {
        int h = 0, v = 0;
    };
    void ClearSamples();
    void CalibrationStep(int mH, int mV);
    void OffsetUpdate(int mH, int mV);
    void Finish();
    // Sets a target parameter (integer), sends it and shows it; nothing for index -1.
    void SetTarget(int index, int value);
    void RestoreTargets();
    int BehavInt(const char* name, int def);
    double BehavReal(const char* name, double def);

    COrvixDoc& doc_;
    bool calibrating_ = false;
    bool sampling_ = false;
    int step_ = 0;
    int framesPerStep_ = kDefaultFramesPerStep;
    int updateOffsets_ = 0;
    int targetH_ = -1, targetV_ = -1;
    int savedH_ = 0, savedV_ = 0;
    int offsetH_ = 0, offsetV_ = 0;
    Slot slots_[kSteps];
    std::vector<int16_t> rawH_, rawV_;
};

} // namespace orvix
