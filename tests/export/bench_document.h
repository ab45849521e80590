// The recorded trials of the export benchmarks: a data file of many trials with spikes
// on eight channels, eye samples at 60 Hz over about 2 s and key readings, built in memory.
#pragma once
#include <cstdint>
#include <string>

#include "document/orvixdoc.h"
#include "model/trial.h"
#include "platform/runtime/random.h"

namespace bench {

using namespace orvix;

// One trial as the runner records it: about 2 s, figure on at 300 ms and off at 1800 ms.
inline CTrial* RecordedTrial(CRandom15& rnd, int index, int commands)
{
    auto* t = new CTrial;
    t->commandIndex = index % commands;
    t->repetition = index / commands;
    const uint32_t length = 1900 + static_cast<uint32_t>(rnd.Next() % 200);
    t->SetLength(length);
    // Starts 0.9 s apart, so that 10,000 trials stay within the 2.78 h that the dBASE
    // table's FigOnTime (N 9.1) holds.
    t->SetStartTime(1000000u + static_cast<uint32_t>(index) * 900u);
    t->SetResponse(1, 200 + rnd.Next() % 300, 0, 0, 1);
    uint32_t time = 0;
    while (true) {
        time += 1 + static_cast<uint32_t>(rnd.Next() % 260); // 0.1 ms units
        if (time >= length * 10)
            break;
        t->AddSpike(static_cast<uint16_t>(1u << (rnd.Next() % 8)), time);
    }
    t->DtoAH = 0.02f;
    t->DtoAV = -0.04f;
    for (uint32_t ms = 0; ms < length; ms += 17) {
        t->hSamples.push_back(static_cast<int16_t>(2560 + rnd.Next() % 64 - 32));
        t->vSamples.push_back(static_cast<int16_t>(1280 + rnd.Next() % 64 - 32));
    }
    for (uint32_t ms : {250u, 1200u, 1850u}) {
        t->keyTimes.push_back(ms);
        t->keyCodes.push_back(static_cast<uint16_t>(0x20 + rnd.Next() % 4));
    }
    const uint32_t events[][2] = {{0, 1}, {50, 2}, {150, 3}, {300 + rnd.Next() % 7u, 6}, {1800, 7}, {length, 9}};
    for (const auto& e : events) {
        t->eventTimes.push_back(e[0]);
        t->eventCodes.push_back(static_cast<uint8_t>(e[1]));
    }
    for (int c = 0; c < kTrialChannels; ++c)
        t->channelResponses[static_cast<size_t>(c)] = static_cast<float>(rnd.Next() % 80);
    return t;
}

// A document of `trialCount` such trials over 16 commands (OR, SF, NAME = `name`, the
// program's text), aligned on the display's frames, named "<dir>/M1aa1aOrient01.oxv".
inline void FillBenchDocument(COrvixDoc& doc, int trialCount, const std::string& dir,
                              const std::string& name = "grating")
{
    for (int c = 0; c < 16; ++c)
        doc.commandLines.push_back("OR " + std::to_string(c * 22.5) + ", SF 2, NAME " + name);
    doc.ParseCommandFile(kNoAngleOffset);
    CRandom15 rnd(12345);
    doc.ReserveTrials(trialCount);
    for (int i = 0; i < trialCount; ++i)
        doc.AddTrial(RecordedTrial(rnd, i, 16));
    doc.GetBehavParam("EyePointBin", CParam(nullptr, 16.6667));
    doc.alignOnFigOnset = 1;
    doc.dataFilePath = dir + "/M1aa1aOrient01.oxv";
}

} // namespace bench
