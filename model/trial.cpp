#include "model/trial.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/text/numbers.h"
#include "platform/ui/drawing.h"

namespace orvix {

ORVIX_IMPLEMENT_SERIAL(CTrial, 1)

namespace {

void WriteFloat(CArchive& ar, float v)
{
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    ar.WriteDWord(bits);
}

float ReadFloat(CArchive& ar)
{
    uint32_t bits = ar.ReadDWord();
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

// The arrays go through the archive in runs: one count, then the values in one step.
template <class T>
void WriteArray(CArchive& ar, const std::vector<T>& values)
{
    static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4);
    ar.WriteCount(values.size());
    if constexpr (sizeof(T) == 1)
        ar.WriteBytes(values.data(), values.size());
    else if constexpr (sizeof(T) == 2)
        ar.WriteWords(reinterpret_cast<const uint16_t*>(values.data()), values.size());
    else
        ar.WriteDWords(reinterpret_cast<const uint32_t*>(values.data()), values.size());
}

// Element size as stored; the count is checked against what the archive still holds
// before anything is allocated.
template <class T>
void ReadArray(CArchive& ar, std::vector<T>& values, size_t storedSize = sizeof(T))
{
    size_t n = ar.ReadCount();
    ar.CheckCount(n, storedSize);
    values.resize(n);
    if (storedSize != sizeof(T)) { // key codes of old records: a byte each
        for (T& v : values)
            v = static_cast<T>(ar.ReadByte());
    } else if constexpr (sizeof(T) == 1) {
        ar.ReadBytes(values.data(), n);
    } else if constexpr (sizeof(T) == 2) {
        ar.ReadWords(reinterpret_cast<uint16_t*>(values.data()), n);
    } else {
        ar.ReadDWords(reinterpret_cast<uint32_t*>(values.data()), n);
    }
}

// A spike's time in whole ms, computed in single precision as the analyses always did.
int64_t SpikeMs(uint32_t time) { return static_cast<int64_t>(static_cast<float>(time) * 0.1f); }

} // namespace

CTrial::CTrial() { Reset(); }

void CTrial::Reset()
{
    responses = {0, -1, 0, 0};
    response5 = 0;
    length = 0;
    spikeMasks.clear();
    spikeTimes.clear();
    hSamples.clear();
    vSamples.clear();
    keyTimes.clear();
    keyCodes.clear();
    eventTimes.clear();
    eventCodes.clear();
}

void CTrial::AddSpike(uint16_t mask, uint32_t time)
{
    spikeMasks.push_back(mask);
    spikeTimes.push_back(time);
}

void CTrial::SetResponse(int r1, int r2, int r3, int r4, int r5)
{
    responses = {r1, r2, r3, r4};
    response5 = r5;
}

std::string CTrial::ComputeResponse(int window)
{
    channelResponses.fill(-1.0f);
    if (length == 0 || activeChannels == 0)
        return {};
    size_t events = std::min(eventTimes.size(), eventCodes.size());
    size_t on = 0;
    while (on < events && eventCodes[on] != EVENT_FIG_ON)
        ++on;
    if (on == events)
        return {};
    uint32_t tOn = eventTimes[on];
    uint32_t tOff = length;
    for (size_t i = on; i < events; ++i) {
        if (eventCodes[i] == EVENT_FIG_OFF) {
            tOff = eventTimes[i];
            break;
        }
    }
    if (tOn >= tOff)
        return "Fig off before fig on!";
    int64_t end;
    if (window > 0) {
        end = static_cast<int64_t>(tOn) + window;
        if (end > static_cast<int64_t>(length))
            return {};
    } else {
        end = length;
    }
    // A figure-off event past the trial's end can leave no interval: no rate then.
    if (end <= static_cast<int64_t>(tOn))
        return {};

    std::array<uint32_t, kTrialChannels> counts{};
    size_t spikes = std::min(spikeTimes.size(), spikeMasks.size());
    size_t i = 0;
    while (i < spikes && SpikeMs(spikeTimes[i]) < static_cast<int64_t>(tOn))
        ++i;
    // Only the set bits of the eight channels are visited: a spike is mostly on one.
    for (; i < spikes && SpikeMs(spikeTimes[i]) <= end; ++i)
        for (unsigned m = spikeMasks[i] & 0xFFu; m != 0; m &= m - 1)
            ++counts[static_cast<size_t>(std::countr_zero(m))];
    double span = static_cast<double>(end - static_cast<int64_t>(tOn));
    for (int c = 0; c < kTrialChannels; ++c)
        if (activeChannels & (1u << c))
            channelResponses[static_cast<size_t>(c)] = static_cast<float>(counts[static_cast<size_t>(c)] * 1000.0 / span);
    return {};
}

double CTrial::GetChannelResponse(int channel) const
{
    if (channel >= 0 && channel < kTrialChannels)
        return channelResponses[static_cast<size_t>(channel)];
    if (channel != -1)
        return -1.0;
    double sum = 0.0;
    int n = 0;
    for (int c = 0; c < kTrialChannels; ++c) {
        float r = channelResponses[static_cast<size_t>(c)];
        if ((activeChannels & (1u << c)) && r >= 0.0f) {
            sum += r;
            ++n;
        }
    }
    return sum / (n ? n : 1);
}

uint32_t CTrial::GetFigOnTime(int* index) const
{
    size_t events = std::min(eventTimes.size(), eventCodes.size());
    for (size_t i = 0; i < events; ++i) {
        if (eventCodes[i] == EVENT_FIG_ON) {
            if (index)
                *index = static_cast<int>(i);
            return eventTimes[i];
        }
    }
    if (index)
        *index = static_cast<int>(eventCodes.size());
    return 0;
}

double CTrial::GetEyeH(int i, int h, int v) const
{
    if (i < 0 || static_cast<size_t>(i) >= std::min(hSamples.size(), vSamples.size()))
        return 0.0;
    size_t k = static_cast<size_t>(i);
    return (static_cast<double>(vSamples[k]) + v) * DtoAH2 + (static_cast<double>(hSamples[k]) + h) * DtoAH;
}

double CTrial::GetEyeV(int i, int h, int v) const
{
    if (i < 0 || static_cast<size_t>(i) >= std::min(hSamples.size(), vSamples.size()))
        return 0.0;
    size_t k = static_cast<size_t>(i);
    return (static_cast<double>(hSamples[k]) + h) * DtoAV2 + (static_cast<double>(vSamples[k]) + v) * DtoAV;
}

void CTrial::Draw(IDrawContext& dc, int x0, int y, int width, int height, int channel, float tFrom, float tTo,
                  float shift) const
{
    // An empty or reversed time range has no scale; the masks hold 16 channel bits.
    if (channel < 0 || channel >= 16 || !(tTo > tFrom))
        return;
    float lo = tFrom + shift;
    float hi = tTo + shift;
    int tick = height - height / 10;
    unsigned bit = 1u << channel;
    size_t spikes = std::min(spikeTimes.size(), spikeMasks.size());
    for (size_t i = 0; i < spikes; ++i) {
        float t = static_cast<float>(spikeTimes[i]) * 0.1f;
        if (t > hi)
            break;
        if (t < lo || !(spikeMasks[i] & bit))
            continue;
        int x = x0 + DoubleToInt((t - shift - tFrom) / (tTo - tFrom) * static_cast<float>(width));
        dc.Line(x, y, x, y + tick);
    }
}

void CTrial::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteWord(kVersion);
        ar.WriteWord(static_cast<uint16_t>(fileWord));
        ar.WriteDWord(length);
        WriteFloat(ar, DtoAH);
        ar.WriteInt(H0);
        WriteFloat(ar, DtoAV);
        ar.WriteInt(V0);
        ar.WriteInt(commandIndex);
        ar.WriteInt(repetition);
        for (int32_t r : responses)
            ar.WriteInt(r);
        ar.WriteByte(activeChannels);
        ar.WriteString(comment);
        ar.WriteInt(response5);
        WriteFloat(ar, DtoAH2);
        WriteFloat(ar, DtoAV2);
        ar.WriteDWord(startTime);
        WriteArray(ar, spikeMasks);
        WriteArray(ar, spikeTimes);
        WriteArray(ar, hSamples);
        WriteArray(ar, vSamples);
        WriteArray(ar, keyTimes);
        WriteArray(ar, keyCodes);
        WriteArray(ar, eventTimes);
        WriteArray(ar, eventCodes);
        return;
    }

    uint16_t version = ar.ReadWord();
    fileWord = ar.ReadWord();
    length = ar.ReadDWord();
    DtoAH = ReadFloat(ar);
    H0 = ar.ReadInt();
    DtoAV = ReadFloat(ar);
    V0 = ar.ReadInt();
    commandIndex = ar.ReadInt();
    repetition = ar.ReadInt();
    for (int32_t& r : responses)
        r = ar.ReadInt();
    if (version >= 1) {
        activeChannels = ar.ReadByte();
        comment = ar.ReadString();
    }
    if (version >= 3)
        response5 = ar.ReadInt();
    if (version >= 5) {
        DtoAH2 = ReadFloat(ar);
        DtoAV2 = ReadFloat(ar);
    }
    if (version >= 6)
        startTime = ar.ReadDWord();
    ReadArray(ar, spikeMasks);
    ReadArray(ar, spikeTimes);
    ReadArray(ar, hSamples);
    ReadArray(ar, vSamples);
    ReadArray(ar, keyTimes);
    // Records before version 4 kept one byte per key code.
    ReadArray(ar, keyCodes, version < 4 ? 1 : 2);
    ReadArray(ar, eventTimes);
    ReadArray(ar, eventCodes);
}

} // namespace orvix
