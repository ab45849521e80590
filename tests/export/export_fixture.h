// Documents with trials for the export tests: commands from command lines, trials built
// field by field, and the data file's path that names the outputs.
#pragma once
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/orvixdoc.h"
#include "export/exportprogress.h"
#include "export/trialexport.h"
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

// Opens each file into the test's one document, as the application does.
struct TestOpener : orvix::IDocumentOpener {
    orvix::COrvixDoc* OpenDataFile(const std::string& path) override
    {
        opened.push_back(std::filesystem::path(path).filename().string());
        if (!doc->OnOpenDocument(path))
            return nullptr;
        if (afterOpen)
            afterOpen(*doc);
        return doc;
    }
    bool MayReplaceDocument() override { return mayReplace; }
    bool mayReplace = true;
    orvix::COrvixDoc* doc = nullptr;
    std::vector<std::string> opened;
    std::function<void(orvix::COrvixDoc&)> afterOpen;
};

// A folder of data files saved by the program and an output folder.
class LoopTest : public ExportTest {
protected:
    void SetUp() override
    {
        ExportTest::SetUp();
        data = dir + "/data";
        out = dir + "/out";
        std::filesystem::create_directories(data);
        std::filesystem::create_directories(out);
        opener.doc = doc.get();
    }
    // A data file saved by the program.
    void Save(const std::string& name, const std::vector<std::string>& commands, const std::vector<TrialSpec>& trials)
    {
        orvix::COrvixDoc d;
        Fill(d, commands, trials, data + "/" + name);
        ASSERT_TRUE(d.OnSaveDocument(data + "/" + name));
    }
    // A data file of one trial with graph and behaviour parameters of its own.
    void SaveWithParams(const std::string& name, const std::vector<std::pair<const char*, const char*>>& graph,
                        const std::vector<std::pair<const char*, const char*>>& behav = {})
    {
        orvix::COrvixDoc d;
        Fill(d, {"OR 0"}, Trials(1, 1), data + "/" + name);
        for (auto [n, v] : graph) {
            auto* p = new orvix::CParam(n, v);
            p->SetFromText(v);
            d.Table(orvix::KIND_GRAPH).Add(p);
        }
        for (auto [n, v] : behav)
            d.GetBehavParam(n, orvix::CParam(nullptr, 0)).SetFromText(v);
        ASSERT_TRUE(d.OnSaveDocument(data + "/" + name));
    }
    static std::vector<TrialSpec> Trials(int n, int commands = 2)
    {
        std::vector<TrialSpec> v;
        for (int i = 0; i < n; ++i) {
            TrialSpec s;
            s.start = 10000 + 3000u * static_cast<uint32_t>(i);
            s.figOn = 300 + i;
            s.command = i % commands;
            s.repetition = i / commands;
            s.spikes = {{1, 3500u + 10u * static_cast<uint32_t>(i)}, {6, 4000}};
            s.eye = {{2600, 1300}, {2610, 1290}};
            s.keys = {{1, 900}};
            v.push_back(s);
        }
        return v;
    }
    bool Run(int format, int eventType, bool single = false, const std::string& input = "",
             const std::string& output = "")
    {
        orvix::ExportSettings s;
        s.input = input.empty() ? data + "/*.oxv" : input;
        s.output = !output.empty() ? output : single ? out + "/all" + (format == orvix::EXPORT_DBF ? ".dbf" : ".csv") : out;
        s.format = format;
        s.eventType = eventType;
        s.singleFile = single;
        orvix::CTrialExport e(doc.get(), opener, progress);
        return e.Run(s);
    }
    std::vector<std::string> OutFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(out))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string data, out;
    TestOpener opener;
    RecordingProgress progress;
};
