// The trial's analyses: response rates, the figure-on look-up, eye positions and the
// raster row it paints.
#include "model/trial.h"

#include <gtest/gtest.h>

#include "platform/ui/drawing.h"
#include "platform/ui/ui.h"

using namespace orvix;

namespace {

// A trial of the given length with figure on (and optionally off) events.
CTrial MakeTrial(uint32_t length, uint32_t figOn, int64_t figOff = -1)
{
    CTrial t;
    t.SetLength(length);
    t.eventTimes = {0, figOn};
    t.eventCodes = {1, EVENT_FIG_ON};
    if (figOff >= 0) {
        t.eventTimes.push_back(static_cast<uint32_t>(figOff));
        t.eventCodes.push_back(EVENT_FIG_OFF);
    }
    // Times in 0.1 ms: 299.9 ms (before onset), 300 ms, 500 ms, 1100 ms, 1101 ms.
    t.AddSpike(0x01, 2999);
    t.AddSpike(0x03, 3000);
    t.AddSpike(0x01, 5000);
    t.AddSpike(0x04, 11000);
    t.AddSpike(0x01, 11010);
    return t;
}

void ExpectAllNotComputed(const CTrial& t)
{
    for (int c = 0; c < kTrialChannels; ++c)
        EXPECT_EQ(t.GetChannelResponse(c), -1.0) << "channel " << c;
}

} // namespace

TEST(CTrial, StartsWithTheRecordDefaultsAndResetKeepsTheSetUp)
{
    CTrial t;
    EXPECT_EQ(t.commandIndex, -1);
    EXPECT_EQ(t.repetition, -1);
    EXPECT_EQ(t.responses, (std::array<int32_t, 4>{0, -1, 0, 0}));
    EXPECT_EQ(t.H0, -2560);
    EXPECT_EQ(t.V0, -1280);
    EXPECT_EQ(t.activeChannels, 0xFF);
    EXPECT_EQ(t.GetChannelResponse(3), 0.0);

    t.commandIndex = 4;
    t.comment = "kept";
    t.SetStartTime(77);
    t.activeChannels = 0x0F;
    t.SetResponse(1, 2, 3, 4, 5);
    t.SetLength(900);
    t.AddSpike(1, 10);
    t.hSamples = {1};
    t.vSamples = {2};
    t.keyTimes = {3};
    t.keyCodes = {4};
    t.eventTimes = {0};
    t.eventCodes = {1};
    t.Reset();
    EXPECT_EQ(t.responses, (std::array<int32_t, 4>{0, -1, 0, 0}));
    EXPECT_EQ(t.response5, 0);
    EXPECT_EQ(t.GetLength(), 0u);
    EXPECT_TRUE(t.spikeMasks.empty() && t.spikeTimes.empty() && t.hSamples.empty() && t.vSamples.empty());
    EXPECT_TRUE(t.keyTimes.empty() && t.keyCodes.empty() && t.eventTimes.empty() && t.eventCodes.empty());
    EXPECT_EQ(t.commandIndex, 4);
    EXPECT_EQ(t.comment, "kept");
    EXPECT_EQ(t.GetStartTime(), 77u);
    EXPECT_EQ(t.activeChannels, 0x0F);
}

TEST(CTrial, ResponseOverAWindowCountsBothEndsOfTheInterval)
{
    // Window 800 from onset 300 ends at 1100: a 1000 ms trial is too short.
    CTrial shortTrial = MakeTrial(1000, 300);
    shortTrial.ComputeResponse(800);
    ExpectAllNotComputed(shortTrial);

    CTrial t = MakeTrial(1100, 300);
    t.ComputeResponse(800);
    // Counted: 300 ms (ch 0, 1), 500 ms (ch 0), 1100 ms (ch 2); not 299.9 ms or 1101 ms.
    EXPECT_FLOAT_EQ(t.GetChannelResponse(0), 2 * 1000.0f / 800);
    EXPECT_FLOAT_EQ(t.GetChannelResponse(1), 1000.0f / 800);
    EXPECT_FLOAT_EQ(t.GetChannelResponse(2), 1000.0f / 800);
    for (int c = 3; c < kTrialChannels; ++c)
        EXPECT_EQ(t.GetChannelResponse(c), 0.0);
    EXPECT_DOUBLE_EQ(t.GetChannelResponse(-1), (2.5 + 1.25 + 1.25) / 8);
}

TEST(CTrial, ResponseWithoutWindowRunsToTheTrialEndAndSkipsInactiveChannels)
{
    CTrial t = MakeTrial(1100, 300, 500); // figure off at 500 does not end the interval
    t.activeChannels = 0x05;
    t.ComputeResponse(0);
    EXPECT_FLOAT_EQ(t.GetChannelResponse(0), 2.5f);
    EXPECT_EQ(t.GetChannelResponse(1), -1.0);
    EXPECT_FLOAT_EQ(t.GetChannelResponse(2), 1.25f);
    EXPECT_EQ(t.GetChannelResponse(3), -1.0);
    // The mean takes the active channels with a rate.
    EXPECT_DOUBLE_EQ(t.GetChannelResponse(-1), (2.5 + 1.25) / 2);
    t.ComputeResponse(-5); // a negative window counts like 0
    EXPECT_FLOAT_EQ(t.GetChannelResponse(0), 2.5f);
    // Channels outside 0..7 have no rate.
    EXPECT_EQ(t.GetChannelResponse(8), -1.0);
    EXPECT_EQ(t.GetChannelResponse(-2), -1.0);
}

TEST(CTrial, ResponseIsNotComputedWithoutFigureOnsetLengthOrChannels)
{
    CScriptedUI ui;
    CTrial none;
    none.SetLength(1000);
    none.eventTimes = {0, 200};
    none.eventCodes = {1, EVENT_FIG_OFF};
    none.AddSpike(1, 3000);
    none.ComputeResponse(0);
    ExpectAllNotComputed(none);
    EXPECT_EQ(none.GetChannelResponse(-1), 0.0);

    CTrial empty = MakeTrial(0, 300);
    empty.ComputeResponse(0);
    ExpectAllNotComputed(empty);

    CTrial silent = MakeTrial(1100, 300);
    silent.activeChannels = 0;
    silent.ComputeResponse(0);
    ExpectAllNotComputed(silent);
    EXPECT_TRUE(ui.messages.empty());

    // A figure-off event before onset is not the one that closes it.
    CTrial early = MakeTrial(1100, 300);
    early.eventTimes = {0, 100, 300};
    early.eventCodes = {1, EVENT_FIG_OFF, EVENT_FIG_ON};
    early.ComputeResponse(0);
    EXPECT_FLOAT_EQ(early.GetChannelResponse(0), 2.5f);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(CTrial, FigureOffAtOnsetIsReportedAndPastTheEndGivesNoRate)
{
    // The problem goes back to the caller; the record itself shows nothing.
    CScriptedUI ui;
    CTrial same = MakeTrial(1100, 300, 300);
    EXPECT_EQ(same.ComputeResponse(0), "Fig off before fig on!");
    ExpectAllNotComputed(same);

    // Onset at the trial's end with the figure-off event after it: an empty interval,
    // which must not divide by zero.
    CTrial late = MakeTrial(1000, 1000, 2000);
    EXPECT_EQ(late.ComputeResponse(0), "");
    ExpectAllNotComputed(late);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(CTrial, FigureOnTimeAndIndex)
{
    CTrial t;
    t.eventTimes = {0, 250, 400};
    t.eventCodes = {1, EVENT_FIG_ON, EVENT_FIG_ON};
    int index = -7;
    EXPECT_EQ(t.GetFigOnTime(&index), 250u);
    EXPECT_EQ(index, 1);
    t.eventCodes = {1, 2, EVENT_FIG_OFF};
    EXPECT_EQ(t.GetFigOnTime(&index), 0u);
    EXPECT_EQ(index, 3);
}

TEST(CTrial, EyePositionUsesBothCalibrationTerms)
{
    CTrial t;
    t.hSamples = {100};
    t.vSamples = {-200};
    t.DtoAH = 0.5f;
    t.DtoAH2 = 0.25f;
    t.DtoAV = -1.0f;
    t.DtoAV2 = 2.0f;
    // H: (-200 + 20) * 0.25 + (100 + 10) * 0.5; V: (100 + 10) * 2 + (-200 + 20) * -1.
    EXPECT_DOUBLE_EQ(t.GetEyeH(0, 10, 20), 10.0);
    EXPECT_DOUBLE_EQ(t.GetEyeV(0, 10, 20), 400.0);
    EXPECT_EQ(t.GetEyeH(1, 0, 0), 0.0);
}

namespace {

using Lines = std::vector<std::array<int, 4>>;

// The ticks of one raster row as x1, y1, x2, y2; they must be drawn in the pen in force.
Lines Raster(const CTrial& t, int channel, float from, float to, float shift)
{
    const Pen pen{RGB(200, 0, 0), 3, PenStyle::Dot};
    CRecordingDC dc;
    dc.SetPen(pen);
    t.Draw(dc, 10, 5, 80, 40, channel, from, to, shift);
    Lines lines;
    for (const DrawOp& op : dc.ops) {
        EXPECT_EQ(op.kind, DrawOp::Kind::Line);
        EXPECT_EQ(op.state.pen, pen);
        lines.push_back({op.points.at(0).x, op.points.at(0).y, op.points.at(1).x, op.points.at(1).y});
    }
    return lines;
}

} // namespace

TEST(CTrial, DrawPutsOneTickPerSpikeOfTheChannelInTheRange)
{
    CTrial t;
    t.AddSpike(0x1, 1000); // 100 ms
    t.AddSpike(0x2, 1500); // 150 ms, channel 1
    t.AddSpike(0x1, 2000); // 200 ms
    t.AddSpike(0x1, 2600); // 260 ms
    t.AddSpike(0x1, 4000); // 400 ms, after the range

    // Range 100..300 ms over 80 units from x 10: x = 10 + trunc((t - 100) / 200 * 80);
    // ticks run from y 5 down by 40 - 40 / 10 = 36.
    EXPECT_EQ(Raster(t, 0, 100, 300, 0), (Lines{{10, 5, 10, 41}, {50, 5, 50, 41}, {74, 5, 74, 41}}));
    EXPECT_EQ(Raster(t, 1, 100, 300, 0), (Lines{{30, 5, 30, 41}}));

    // A shift of 50 ms looks at 150..350 ms and draws it where 100..300 would be.
    EXPECT_EQ(Raster(t, 0, 100, 300, 50), (Lines{{30, 5, 30, 41}, {54, 5, 54, 41}}));

    EXPECT_TRUE(Raster(t, -1, 100, 300, 0).empty());
    // No time scale, no ticks (and no division by zero).
    EXPECT_TRUE(Raster(t, 0, 200, 200, 0).empty());
}
