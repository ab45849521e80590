// Documents with trials for the export tests: commands from command lines, trials built
// field by field, and the data file's path that names the outputs.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "document/orvixdoc.h"
#include "export/exportprogress.h"
#include "tests/document/doc_fixture.h"

struct TrialSpec {
    uint32_t start = 1000;
    int figOn = -1; // ms; -1: no FIG_ON event
    std::vector<std::pair<uint16_t, uint32_t>> spikes; // mask, 0.1 ms
    std::vector<std::pair<int16_t, int16_t>> eye;       // raw H, V
    std::vector<std::pair<uint16_t, uint32_t>> keys;    // action, ms
    uint32_t length = 2000;
    int command = 0;
    int repetition = 0;
};

inline orvix::CTrial* MakeTrial(const TrialSpec& s)
{
    auto* t = new orvix::CTrial;
    t->SetStartTime(s.start);
    t->SetLength(s.length);
    t->commandIndex = s.command;
    t->repetition = s.repetition;
    t->eventTimes = {0};
    t->eventCodes = {1};
    if (s.figOn >= 0) {
        t->eventTimes.push_back(static_cast<uint32_t>(s.figOn));
        t->eventCodes.push_back(orvix::EVENT_FIG_ON);
    }
    for (auto [mask, time] : s.spikes)
        t->AddSpike(mask, time);
    for (auto [h, v] : s.eye) {
        t->hSamples.push_back(h);
        t->vSamples.push_back(v);
    }
    for (auto [action, time] : s.keys) {
        t->keyCodes.push_back(action);
        t->keyTimes.push_back(time);
    }
    return t;
}

// Counts the progress calls; stops the export after `stopAfter` trials when set.
struct RecordingProgress : orvix::IExportProgress {
    bool IsRunning() const override { return running; }
    void OnFile(const std::string& path, int trialCount) override { files.push_back(path); }
    void OnTrial(int done) override
    {
        ++trials;
        if (stopAfter >= 0 && trials >= stopAfter)
            running = false;
    }
    bool running = true;
    int stopAfter = -1;
    int trials = 0;
    std::vector<std::string> files;
};

class ExportTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        doc = std::make_unique<orvix::COrvixDoc>();
    }
    void TearDown() override
    {
        doc.reset();
        DocTest::TearDown();
    }
    // Commands from their lines, then the trials.
    void Fill(orvix::COrvixDoc& d, const std::vector<std::string>& commands, const std::vector<TrialSpec>& trials,
              const std::string& path = "c:\\data\\M1aa1aOrient01.oxv")
    {
        d.commandLines = commands;
        d.ParseCommandFile(orvix::kNoAngleOffset);
        for (const TrialSpec& t : trials)
            d.AddTrial(MakeTrial(t));
        d.dataFilePath = path;
    }

    std::unique_ptr<orvix::COrvixDoc> doc;
};
