// What the document's commands and the control panel read of the recorded trials and the
// stimulus commands. The trial list and the command list implement ITrialRecords.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "model/param.h"

namespace orvix {

class CTrial;

// A copy of what a replay needs of one trial, so that a replay never holds on to a trial
// that the document may delete meanwhile (opening another file, a new document).
struct CPlaybackTrial {
    uint32_t length = 0;  // ms
    int commandIndex = -1;
    // Calibration: the eye position is computed as CTrial computes it.
    float dtoAH = 1.0f, dtoAV = 1.0f, dtoAH2 = 1.0f, dtoAV2 = 1.0f;
    int32_t h0 = -2560, v0 = -1280;
    std::vector<int16_t> eyeH, eyeV;      // raw samples
    std::vector<uint32_t> eventTimes;     // ms since the trial start
    std::vector<uint8_t> eventCodes;      // 6 figure on, 7 figure off
    std::vector<uint32_t> keyTimes;       // ms since the trial start
    std::vector<uint16_t> keyCodes;

    int EyeSampleCount() const { return static_cast<int>(std::min(eyeH.size(), eyeV.size())); }
    int EventCount() const { return static_cast<int>(std::min(eventTimes.size(), eventCodes.size())); }
    int KeyCount() const { return static_cast<int>(std::min(keyTimes.size(), keyCodes.size())); }
    // Degrees, with the raw offsets h and v added to the samples.
    double EyeH(int i, int h, int v) const
    {
        return (eyeV[static_cast<size_t>(i)] + v) * static_cast<double>(dtoAH2)
            + (eyeH[static_cast<size_t>(i)] + h) * static_cast<double>(dtoAH);
    }
    double EyeV(int i, int h, int v) const
    {
        return (eyeH[static_cast<size_t>(i)] + h) * static_cast<double>(dtoAV2)
            + (eyeV[static_cast<size_t>(i)] + v) * static_cast<double>(dtoAV);
    }
};

class ITrialRecords {
public:
    virtual ~ITrialRecords() = default;
    virtual int GetTrialCount() const = 0;
    // The five response values of trial i (responses 1..4, then the status); false when
    // there is no such trial.
    virtual bool GetTrialResponse(int i, int values[5]) const = 0;
    // A trial's eight channel responses (spikes/s; -1.0 = not computed).
    virtual void GetChannelResponses(const CTrial& trial, double out[8]) const = 0;
    // Computes trial i's channel responses over the window (ms) and returns them.
    virtual void ComputeChannelResponses(int i, int window, double out[8]) = 0;
    // Copies what a replay needs of trial i; false when there is no such trial.
    virtual bool GetPlaybackTrial(int i, CPlaybackTrial& out) const = 0;
    // The stimulus commands (rows of parameters).
    virtual int GetCommandCount() const = 0;
    // Row i; the caller keeps i within 0 .. GetCommandCount() - 1.
    virtual const std::vector<CParam>& GetCommand(int i) const = 0;
};

} // namespace orvix
