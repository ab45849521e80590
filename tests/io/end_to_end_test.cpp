// The experiment switch against the stand-in renderer program and the simulated devices:
// connect, announce, load the scene, receive its definitions, run; and the ways it stops.
#include <sys/stat.h>

#include "app/controlpanel_owner.h"
#include "io/sockets.h"
#include "io_fixture.h"
#include "model/trial.h"
#include "platform/devices/serialport.h"
#include "platform/runtime/eventpump.h"
#include "standin_process.h"

using namespace orvix;

class EnableTest : public IoTest {
protected:
    void UseRenderer(const StandInProcess& r)
    {
        setenv("ORVIX_RENDERER_PORT", std::to_string(r.commandPort).c_str(), 1);
        setenv("ORVIX_CONSOLE_PORT", std::to_string(r.consolePort).c_str(), 1);
        doc->GetBehavParam("SGI", CParam(nullptr, "127.0.0.1"));
        doc->GetBehavParam("SerialPort", CParam(nullptr, kSimulatedSerialPort));
        doc->GetExpParam("IVFile", CParam(nullptr, "mytest.iv"));
        // Enabling compiles the task file; without one the run stops at once.
        std::string task = dir + "/task.c";
        orvix_test::WriteFile(task, "int TaskEntry() { return TRIAL_CONTINUE; }\n");
        doc->GetBehavParam("TaskFile", CParam(nullptr, task.c_str()));
        // The Test page's setting names the task file once the page exists.
        doc->GetExpParam("TaskFile", CParam(nullptr, "")) = task.c_str();
    }
    // Starts the stand-in on the scenes of a folder and enables against it: the experiment runs.
    void EnableWith(StandInProcess& r, const std::string& scenes)
    {
        ASSERT_TRUE(r.Start(scenes));
        UseRenderer(r);
        doc->OnEnable();
        ASSERT_EQ(experiment.runner.GetRunFlag(), 1);
    }
};

TEST_F(EnableTest, EnableReachesARunningExperimentWithTheScenesDefinitions)
{
    std::string scenes = dir + "/scenes";
    mkdir(scenes.c_str(), 0700);
    orvix_test::WriteFile(scenes + "/mytest.iv.params",
                          "# the test scene\nRESET 0\nTARGET 0\nFIGURE 0\nTPOSH 1.5\nTPOSV -2\n"
                          "POSH 0\nPOSV 0\nOR 45\n\nCOLOR red|green\nLABEL\n");
    StandInProcess renderer;
    ASSERT_TRUE(renderer.Start(scenes));
    UseRenderer(renderer);
    UseRecordingTrovik();
    bool saved = false;
    // The Test page of the panel sets the hook; the test watches it being called.
    CControlPanelOwner panels(*doc, experiment);
    panels.Create();
    auto pageSave = doc->hooks.saveTestSettings;
    ASSERT_TRUE(pageSave);
    doc->hooks.saveTestSettings = [&] {
        saved = true;
        pageSave();
    };

    doc->OnEnable();

    EXPECT_TRUE(deviceIO.IsRendererRunning());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
    EXPECT_TRUE(doc->OnUpdateEnable());
    EXPECT_TRUE(saved);
    EXPECT_EQ(doc->loadedScene, "mytest.iv");
    ASSERT_EQ(doc->GetGraphParamCount(), 10);
    const char* names[] = {"RESET", "TARGET", "FIGURE", "TPOSH", "TPOSV", "POSH", "POSV", "OR", "COLOR", "LABEL"};
    const char* values[] = {"0", "0", "0", "1.5", "-2", "0", "0", "45", "red", ""};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(doc->GetGraphParam(i).GetName(), names[i]);
        EXPECT_EQ(doc->GetGraphParam(i).GetText(), values[i]);
        EXPECT_EQ(doc->FindGraphParam(names[i]), i);
    }
    EXPECT_EQ(orvix_test::ToHex(trovik.written), "04");
    ASSERT_FALSE(experiment.console.lines.empty());
    EXPECT_EQ(experiment.console.lines[0], "Inventor started!");

    // Commands are acknowledged; the simulated devices deliver.
    EXPECT_TRUE(deviceIO.SendCommand(doc->FindGraphParam("TARGET"), "1", true));
    EXPECT_TRUE(deviceIO.IsSerialOpen());
    EXPECT_EQ(deviceIO.ReadDigitalInput(), 'C');
    deviceIO.StartSpikeCounter();
    // Without the figure the four channels fire at 5 spikes/s each: records come within seconds.
    size_t spikeWords = 0;
    for (int waited = 0; spikeWords < 12 && waited < 5000; waited += 20) {
        Clock().SleepMs(20);
        spikeWords += deviceIO.ReadSpikes().size();
    }
    EXPECT_GE(spikeWords, 12u);
    deviceIO.ReadEyeSamples();
    Clock().SleepMs(40);
    EXPECT_FALSE(deviceIO.ReadEyeSamples().empty());

    // Later uses pause and resume.
    doc->OnEnable();
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
    EXPECT_FALSE(doc->OnUpdateEnable());
    doc->OnEnable();
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
    EXPECT_EQ(orvix_test::ToHex(trovik.written), "04 00 04");

    // A value the user set survives loading the scene again.
    doc->GetGraphParam("POSH") = "7";
    EXPECT_TRUE(doc->LoadScene("mytest.iv", false));
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
    EXPECT_EQ(doc->GetGraphParam("POSH").GetText(), "7");
    EXPECT_EQ(doc->GetGraphParam("OR").GetText(), "45");

    // The renderer goes away: the next acknowledged command finds the link down.
    renderer.Stop();
    EXPECT_FALSE(deviceIO.SendCommand(doc->FindGraphParam("TARGET"), "0", true));
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
}

TEST_F(EnableTest, SceneWithoutADescriptionGetsTheBuiltInDefinitions)
{
    StandInProcess renderer;
    ASSERT_NO_FATAL_FAILURE(EnableWith(renderer, dir));
    for (const char* name : {"POSH", "POSV", "OR", "TPOSH", "TPOSV", "RESET", "TARGET", "FIGURE"})
        EXPECT_GE(doc->FindGraphParam(name), 0) << name;
}

TEST_F(EnableTest, NoRendererGivesTheConnectionMessage)
{
    setenv("ORVIX_CONSOLE_PORT", std::to_string(ClosedPort()).c_str(), 1);
    doc->GetBehavParam("SGI", CParam(nullptr, "127.0.0.1"));
    doc->OnEnable();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Can't make a network connection with \"127.0.0.1\"\nConnection refused\n"
                                   "Please check the network connection, then restart the program.");
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
}

TEST_F(EnableTest, AnotherInstanceOwningTheHardwareRefuses)
{
    doc->hooks.askOtherInstances = [] { return true; };
    doc->OnEnable();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Only one copy of the Orvix program can access the system resources at the same "
                                   "time.\nPlease close other running Orvix programs first.");
    EXPECT_FALSE(experiment.console.IsConnected());
}

TEST_F(EnableTest, RendererThatNeverAnnouncesItselfEndsTheWaitSilently)
{
    CFakeClock& clock = UseFakeClock();
    CTcpListener console;
    ASSERT_EQ(console.Listen(0), 0);
    ASSERT_EQ(listener.Listen(0), 0);
    setenv("ORVIX_CONSOLE_PORT", std::to_string(console.Port()).c_str(), 1);
    PointAt(listener.Port());
    int pumps = 0;
    doc->hooks.pumpMessages = [&](int) {
        // A second click during the wait is ignored: no switch inside the switch.
        if (++pumps == 3)
            doc->OnEnable();
        clock.AdvanceMs(100);
        return true;
    };
    doc->OnEnable();
    EXPECT_GE(pumps, 50);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
    peer = listener.Accept(1000);
    ASSERT_GE(peer, 0);
    int second = listener.Accept(100);
    EXPECT_LT(second, 0) << "a second connection";
    if (second >= 0)
        close(second);
    EXPECT_TRUE(PeerRead(1, 50).empty()); // no scene was asked for
}

TEST_F(EnableTest, SceneWhoseDefinitionsNeverComeTimesOutAfterAMinute)
{
    OpenWithPeer();
    CFakeClock& clock = UseFakeClock();
    doc->hooks.pumpMessages = [&](int) {
        clock.AdvanceMs(1000);
        return true;
    };
    EXPECT_TRUE(doc->LoadScene("x.iv", false));
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
    EXPECT_GE(clock.TickMs(), 60000u);
    EXPECT_EQ(orvix_test::ToHex(PeerRead(7)), "05 05 78 2E 69 76 00");
    EXPECT_EQ(Log(), std::vector<std::string>{
                         "The renderer did not answer the scene \"x.iv\" within 60 s: no graph parameters came."});

    // A name too long for the packet is refused and nothing is waited for.
    uint32_t before = clock.TickMs();
    EXPECT_TRUE(doc->LoadScene(std::string(300, 's').c_str(), false));
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
    EXPECT_EQ(clock.TickMs(), before);
    EXPECT_TRUE(PeerRead(1, 50).empty());

    // A quit message during the wait ends the load with false.
    doc->hooks.pumpMessages = [](int) { return false; };
    EXPECT_FALSE(doc->LoadScene("x.iv", false));
}

TEST_F(EnableTest, RendererClosingTheLinkEndsTheExperimentAndEnableConnectsAgain)
{
    auto first = std::make_unique<StandInProcess>();
    ASSERT_TRUE(first->Start(dir));
    UseRenderer(*first);
    doc->OnEnable();
    ASSERT_EQ(experiment.runner.GetRunFlag(), 1);
    doc->AddTrial(new CTrial);
    doc->AddTrial(new CTrial);
    // The renderer's console line about the scene comes on its own time: it is waited for, so
    // that it does not land among the lines below.
    auto sceneLogged = [&] {
        for (const std::string& line : Log())
            if (line.rfind("Scene ", 0) == 0)
                return true;
        return false;
    };
    for (uint32_t t = TickMs(); !sceneLogged() && TickMs() - t < 3000;)
        PumpEvents(20);
    ClearLog();

    // The renderer goes away: its closing is noticed through the event loop.
    first->Stop();
    uint32_t t0 = TickMs();
    while (experiment.runner.GetRunFlag() != 0 && TickMs() - t0 < 3000)
        PumpEvents(20);
    EXPECT_EQ(experiment.runner.GetRunFlag(), 0);
    EXPECT_FALSE(deviceIO.IsRendererRunning());
    EXPECT_EQ(Log(), std::vector<std::string>{"The renderer closed the link."});
    EXPECT_EQ(doc->GetTrialCount(), 2);

    StandInProcess second;
    ASSERT_TRUE(second.Start(dir));
    UseRenderer(second);
    doc->OnEnable();
    EXPECT_TRUE(deviceIO.IsRendererRunning());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
    EXPECT_EQ(doc->GetTrialCount(), 2);
}

// A stand-in that serves this program refuses another program's links, with a line on the
// newcomer's console, and this program's link stays; after its own link broke, this program's
// next Enable connects again and is served.
TEST_F(EnableTest, AStandInServingAProgramRefusesANewcomerAndServesTheProgramsReconnect)
{
    StandInProcess renderer;
    ASSERT_NO_FATAL_FAILURE(EnableWith(renderer, dir));

    CTcpSocket console, command;
    ASSERT_EQ(console.Connect("127.0.0.1", renderer.consolePort, 1000), 0);
    std::string said;
    char buffer[256];
    for (long n; (n = console.Recv(buffer, sizeof buffer, 2000)) > 0;)
        said.append(buffer, static_cast<size_t>(n));
    EXPECT_EQ(said, "Renderer busy: it serves another program; this connection is refused.\n");
    ASSERT_EQ(command.Connect("127.0.0.1", renderer.commandPort, 1000), 0);
    EXPECT_EQ(command.Recv(buffer, sizeof buffer, 2000), kRecvClosed);
    EXPECT_TRUE(deviceIO.SendCommand(doc->FindGraphParam("TARGET"), "1", true));
    EXPECT_TRUE(deviceIO.IsRendererRunning());

    // As after a missed acknowledgement: the link is down, its sockets still open.
    deviceIO.SetRendererRunning(false);
    experiment.runner.SetRunFlag(0);
    doc->OnEnable();
    EXPECT_TRUE(deviceIO.IsRendererRunning());
    EXPECT_EQ(experiment.runner.GetRunFlag(), 1);
    EXPECT_TRUE(deviceIO.SendCommand(doc->FindGraphParam("TARGET"), "0", true));
    for (const std::string& line : Log())
        EXPECT_EQ(line.find("Renderer busy"), std::string::npos) << line;
}
