// The task runner's test fixture: a document with the scene's graph parameters, the I/O
// layer opened on a recording digital-I/O device, the scripted spike counter and an eye
// tracker on a pseudo-terminal, a fake clock, and the renderer stood in for by a hook
// that records every command.
#pragma once
#include <fcntl.h>
#include <pty.h>
#include <termios.h>

#include "model/trial.h"
#include "platform/devices/spikesim.h"
#include "runner/taskrunner.h"
#include "tests/io/io_fixture.h"

struct SentCommand {
    int id;
    std::string text;
    bool wait;
    uint32_t at;
    bool operator==(const SentCommand& o) const { return id == o.id && text == o.text && wait == o.wait; }
};

inline std::ostream& operator<<(std::ostream& os, const SentCommand& c)
{
    return os << "{" << c.id << " \"" << c.text << "\"" << (c.wait ? " wait" : "") << "}";
}

class RunnerTest : public IoTest {
protected:
    // Graph parameter indexes (renderer object ids) of the scene.
    enum { G_RESET = 0, G_TARGET = 1, G_FIGURE = 2, G_TPOSH = 3, G_TPOSV = 4, G_SIZE = 5 };

    void SetUp() override
    {
        IoTest::SetUp();
        UseFakeClock();
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);

        const char* names[] = {"RESET", "TARGET", "FIGURE", "TPOSH", "TPOSV", "SIZE"};
        const char* values[] = {"0", "0", "0", "120", "-60", "2.37"};
        auto& graph = doc->Table(orvix::KIND_GRAPH);
        for (int i = 0; i < 6; ++i)
            graph.Add(new orvix::CParam(names[i], values[i]));
        UseRecordingTrovik();
        orvix::SpikeSim().generate = false;
        PointAt(ClosedPort(), ttyname(slave));
        deviceIO.SetAnalogLibraryName("orvix-no-such-library");
        deviceIO.Open(doc.get());
        fakeClock.SetMs(100000);
        deviceIO.ReadEyeSamples(); // starts the tracker's read clock
        deviceIO.SetRendererRunningForTest(true);
        deviceIO.sendHookForTest = [this](int id, const std::string& text, bool wait) {
            sent.push_back({id, text, wait, orvix::TickMs()});
        };
        runner.SetDocument(doc.get());
        runner.nTaskState = 0;
        runner.nKeyPos = 'C';
        runner.SetPendingTrial(nullptr);
        runner.SeedRandom(1);
        trovik.written.clear();
        ClearLog();
    }
    void TearDown() override
    {
        runner.EndTrial();
        runner.SetPendingTrial(nullptr);
        runner.nTaskState = 0;
        runner.frameHooks = {};
        deviceIO.sendHookForTest = nullptr;
        deviceIO.SetRendererRunningForTest(false);
        runner.SetDocument(nullptr);
        IoTest::TearDown();
        close(master);
        close(slave);
    }

    // Writes the task file, names it in the behaviour parameters and loads the
    // parameters, which compiles it (the renderer is up).
    void LoadTask(const std::string& text)
    {
        std::string path = dir + "/task.c";
        orvix_test::WriteFile(path, text);
        SetTaskFile(path);
        runner.LoadParameters(doc.get());
        ASSERT_TRUE(runner.HasProgram()) << orvix_test::ReadFile(logPath);
        runner.SetRunFlag(1);
        ClearLog();
        trovik.written.clear();
    }
    // Names the task file in the test settings and the behaviour parameters.
    void SetTaskFile(const std::string& path)
    {
        doc->GetBehavParam("TaskFile", orvix::CParam()) = path;
        doc->GetExpParam("TaskFile", orvix::CParam()) = path;
    }
    // A TaskEntry around a body.
    void LoadEntry(const std::string& body, const std::string& globals = "")
    {
        LoadTask(globals + "int TaskEntry() {\n" + body + "\n}\n");
    }

    // Eye-tracker records (raw H, V) that the next SampleEye reads.
    void SendEye(const std::vector<std::pair<int, int>>& samples)
    {
        std::vector<uint8_t> bytes;
        for (auto [h, v] : samples)
            for (int x : {int('D'), int('D'), h & 0xFF, (h >> 8) & 0xFF, v & 0xFF, (v >> 8) & 0xFF})
                bytes.push_back(static_cast<uint8_t>(x));
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        pollfd p{slave, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 2000), 1);
    }
    // Puts the eye at raw values and samples it (past the tracker's 16 ms read gate).
    void EyeAt(int h, int v)
    {
        SendEye({{h, v}});
        fakeClock.AdvanceMs(16);
        runner.SampleEye();
    }

    orvix::CTaskRunner& runner = experiment.runner;
    // The trial of a test; the runner may still hold it when the test ends.
    orvix::CTrial trial;
    std::vector<SentCommand> sent;
    int master = -1, slave = -1;
};
