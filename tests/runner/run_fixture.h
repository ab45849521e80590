// A document with graph and behaviour parameters, a record of the renderer commands, and
// a scripted task engine whose trials end with the outcomes it is given.
#pragma once
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "model/trial.h"
#include "runner/taskrunner.h"
#include "runner/testrun.h"
#include "tests/document/doc_fixture.h"

namespace orvix_test {

class CScriptedEngine : public orvix::ITrialEngine {
public:
    int runFlag = 1;
    int state = 0;
    // Outcome of each trial in turn; TRIAL_END when the script is used up.
    std::deque<int> outcomes;
    // Passes of a trial, the last one returning its outcome.
    int passesPerTrial = 2;
    // Called at every pass before the outcome is decided (may throw, stop, switch off).
    std::function<void(int pass)> onPass;
    orvix::CTrial* pending = nullptr;
    orvix::CTrial* current = nullptr;
    int passes = 0, steps = 0, trialsStarted = 0, endTrialCalls = 0;
    std::vector<std::string> figureCalls;

    int GetRunFlag() override { return runFlag; }
    int GetTaskState() override { return state; }
    bool IsSwitchJoystick() override { return true; }
    void SetPendingTrial(orvix::CTrial* t) override { pending = t; }
    int Step() override
    {
        ++steps;
        if (!current && pending && state == 0) {
            current = pending;
            pending = nullptr;
            current->Reset();
            passes = 0;
            ++trialsStarted;
        }
        if (onPass)
            onPass(steps);
        if (!current)
            return orvix::TRIAL_CONTINUE;
        if (++passes < passesPerTrial)
            return orvix::TRIAL_CONTINUE;
        int r = orvix::TRIAL_END;
        if (!outcomes.empty()) {
            r = outcomes.front();
            outcomes.pop_front();
        }
        current->activeChannels = 0x0F;
        current = nullptr;
        return r;
    }
    void EndTrial() override
    {
        ++endTrialCalls;
        current = nullptr;
    }
    void SampleEye() override {}
    void TurnOnFig() override { figureCalls.push_back("TurnOnFig"); }
    void TurnOffFig() override { figureCalls.push_back("TurnOffFig"); }
    void TurnOffTarget() override { figureCalls.push_back("TurnOffTarget"); }
    void RequestReload() override { figureCalls.push_back("RequestReload"); }
    void StopSpikeCounter() override { ++spikeStops; }
    int spikeStops = 0;
};

class CHints : public orvix::IDocObserver {
public:
    struct Hint {
        int hint;
        const orvix::CTrial* object;
    };
    std::vector<Hint> hints;
    void OnUpdate(orvix::IDocObserver*, const orvix::DocUpdate& u) override
    {
        if (u.hint != orvix::HINT_PASS)
            hints.push_back({u.hint, u.trial});
    }
};

struct Command {
    int id;
    std::string text;
    bool operator==(const Command& o) const { return id == o.id && text == o.text; }
};
inline std::ostream& operator<<(std::ostream& out, const Command& c) { return out << c.id << ":" << c.text; }

} // namespace orvix_test

class RunTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        doc = std::make_unique<orvix::COrvixDoc>();
        doc->AddObserver(&views);
        experiment.Attach(doc.get());
        AddGraph("FIGURE", "0");
        orIndex = AddGraph("OR", "7");
        sizeIndex = AddGraph("SIZE", "2.0");
        speedIndex = AddBehav("Speed", "10");
        deviceIO.SetRendererRunningForTest(true);
        deviceIO.sendHookForTest = [this](int id, const std::string& text, bool) {
            sent.push_back({id, text});
        };
        run = std::make_unique<orvix::CTestRun>(*doc, engine);
        run->pump = [this](int) {
            ++pumps;
            return onPump ? onPump() : true;
        };
        run->onRunning = [this](bool on) { runningCalls.push_back(on); };
        run->onFinished = [this](bool discard, bool save) {
            finished.push_back(std::make_pair(discard, save));
        };
        settings.Load(*doc);
    }
    void TearDown() override
    {
        run.reset();
        deviceIO.sendHookForTest = nullptr;
        deviceIO.SetRendererRunningForTest(false);
        doc.reset();
        DocTest::TearDown();
    }
    int AddGraph(const char* name, const char* value)
    {
        return doc->Table(orvix::KIND_GRAPH).Add(new orvix::CParam(name, value));
    }
    int AddBehav(const char* name, const char* value)
    {
        return doc->Table(orvix::KIND_BEHAV).Add(new orvix::CParam(name, value));
    }
    std::string WriteCommandFile(const std::string& text)
    {
        std::string path = dir + "/commands.oxq";
        orvix_test::WriteFile(path, text);
        return path;
    }
    // Three conditions of two graph parameters, from a command file.
    void UseThreeConditions(int accumTimes, int isRandom)
    {
        settings.useCustomItems = 1;
        settings.customItems = WriteCommandFile("OR 0, SIZE 1\nOR 45, SIZE 2\nOR 90, SIZE 3\n");
        settings.accumTimes = accumTimes;
        settings.isRandom = isRandom;
        settings.isBalanced = 1;
        settings.Save(*doc);
    }
    void Start() { run->OnStart(settings); }
    // (command index, repetition) of every stored trial.
    std::vector<std::pair<int, int>> Trials() const
    {
        std::vector<std::pair<int, int>> out;
        for (int i = 0; i < doc->GetTrialCount(); ++i)
            out.emplace_back(doc->GetTrial(i)->commandIndex, doc->GetTrial(i)->repetition);
        return out;
    }
    int Accumed() { return doc->GetExpParam("AccumedTimes", orvix::CParam(nullptr, 0)).GetInt(); }

    std::unique_ptr<orvix::COrvixDoc> doc;
    orvix_test::CScriptedEngine engine;
    orvix_test::CHints views;
    std::unique_ptr<orvix::CTestRun> run;
    orvix::CTestSettings settings;
    std::vector<orvix_test::Command> sent;
    std::vector<bool> runningCalls;
    std::vector<std::pair<bool, bool>> finished;
    std::function<bool()> onPump;
    int pumps = 0;
    int orIndex = -1, sizeIndex = -1, speedIndex = -1;
};
