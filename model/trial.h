// CTrial: the record of one trial. The task runner fills it while the trial runs; the
// document owns it afterwards, stores it in its data file and hands it to the views and
// analyses. The fields are open because the runner appends to the arrays directly.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files/archive.h"

namespace orvix {

class IDrawContext;

// Task states that the trial's events record and that its analyses look for.
enum : uint8_t { EVENT_FIG_ON = 6, EVENT_FIG_OFF = 7 };

constexpr int kTrialChannels = 8;

class CTrial : public CObject {
    ORVIX_DECLARE_SERIAL(CTrial)
public:
    // The record version this program writes; readers take 0 to this and treat a larger
    // one as this.
    static constexpr uint16_t kVersion = 6;

    CTrial();
    ~CTrial() override = default;

    // Responses and length back to their start values, every array emptied. The command
    // index, repetition, calibration, channel mask, comment and start time stay.
    void Reset();

    void SetLength(uint32_t ms) { length = ms; }
    uint32_t GetLength() const { return length; }
    void SetStartTime(uint32_t ms) { startTime = ms; }
    uint32_t GetStartTime() const { return startTime; }
    void AddSpike(uint16_t mask, uint32_t time);
    void SetResponse(int r1, int r2, int r3, int r4, int r5);

    // Spike rates per active channel (spikes/s) from figure onset over `window` ms, or to
    // the trial's end when window <= 0; -1.0 where no rate can be computed. Returns the
    // problem the user should hear of ("" none); the caller decides how to tell it.
    std::string ComputeResponse(int window);
    // Channel 0..7: its rate; -1: the mean of the computed rates of the active channels.
    double GetChannelResponse(int channel) const;
    // The time of the first figure-on event; with none, 0 and index = the event count.
    uint32_t GetFigOnTime(int* index = nullptr) const;
    // Calibrated eye position of sample i.
    double GetEyeH(int i, int h, int v) const;
    double GetEyeV(int i, int h, int v) const;

    // One raster row of a channel: a tick per spike between tFrom and tTo (ms, moved by
    // shift) across width from x0, each height - height / 10 tall from y downwards, in the
    // pen in force.
    void Draw(IDrawContext& dc, int x0, int y, int width, int height, int channel, float tFrom, float tTo,
              float shift) const;

    void Serialize(CArchive& ar) override;

    uint32_t fileWord = 0; // carried through the file, 16 bits there
    uint32_t length = 0;   // ms
    float DtoAH = 1.0f;
    int32_t H0 = -2560;
    float DtoAV = 1.0f;
    int32_t V0 = -1280;
    float DtoAH2 = 1.0f;
    float DtoAV2 = 1.0f;
    int32_t commandIndex = -1;
    int32_t repetition = -1;
    std::array<int32_t, 4> responses{0, -1, 0, 0};
    std::vector<uint16_t> spikeMasks;  // bit i = channel i fired
    std::vector<uint32_t> spikeTimes;  // 0.1 ms since the trial start
    std::vector<int16_t> hSamples;     // raw eye tracker values
    std::vector<int16_t> vSamples;
    std::vector<uint32_t> keyTimes;    // ms since the trial start
    std::vector<uint16_t> keyCodes;
    std::vector<uint32_t> eventTimes;  // ms since the trial start
    std::vector<uint8_t> eventCodes;   // the task state entered
    uint8_t activeChannels = 0xFF;
    std::string comment;
    int32_t response5 = 0; // the status value
    uint32_t startTime = 0; // ms, the clock at trial start
    std::array<float, kTrialChannels> channelResponses{};
};

} // namespace orvix
