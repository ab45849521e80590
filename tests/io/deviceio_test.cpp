// Opening the devices (each optional, each logged), the key, the outputs, the spike
// counter and the analog inputs.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <sys/resource.h>
#include <thread>

#include "io/iohost.h"
#include "io_fixture.h"
#include "platform/devices/simsubject.h"
#include "platform/kernel/sim_board.h"
#include "platform/runtime/library.h"

using namespace orvix;

namespace {

// The analog stand-in's scripting entries, reached through the library the I/O layer loaded.
struct AnalogSim {
    AnalogSim()
    {
        module = LoadLibrary("nidaq32");
        setVolts = reinterpret_cast<void (*)(int, double)>(GetProcAddress(module, "AISim_SetVolts"));
        failReads = reinterpret_cast<void (*)(int)>(GetProcAddress(module, "AISim_FailReads"));
        reset = reinterpret_cast<void (*)()>(GetProcAddress(module, "AISim_Reset"));
        configureArg = reinterpret_cast<int (*)(int)>(GetProcAddress(module, "AISim_LastConfigureArg"));
        configureCalls = reinterpret_cast<int (*)()>(GetProcAddress(module, "AISim_ConfigureCalls"));
        if (reset)
            reset();
    }
    ~AnalogSim() { FreeLibrary(module); }
    HMODULE module;
    void (*setVolts)(int, double) = nullptr;
    void (*failReads)(int) = nullptr;
    void (*reset)() = nullptr;
    int (*configureArg)(int) = nullptr;
    int (*configureCalls)() = nullptr;
};

// A host that keeps the log in memory: it needs no file descriptor to write a line.
struct MemoryHost : IIoHost {
    std::vector<std::string> lines;
    std::map<std::string, CParam> params;
    void AddLogLine(const std::string& text) override { lines.push_back(text); }
    CParam& GetBehavParam(const char* name, CParam& def) override { return params.emplace(name, def).first->second; }
    bool OnRendererReceive() override { return false; }
    bool Logged(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
};

// The highest file descriptor the process holds.
int HighestDescriptor()
{
    int highest = 2;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d))
            highest = std::max(highest, atoi(e->d_name));
        closedir(d);
    }
    return highest;
}

} // namespace

TEST_F(IoTest, CommandSocketFailuresHaveTheirLogLines)
{
    CTcpListener renderer;
    ASSERT_EQ(renderer.Listen(0), 0);
    setenv("ORVIX_RENDERER_PORT", std::to_string(renderer.Port()).c_str(), 1);
    MemoryHost host;
    host.params.emplace("SGI", CParam("SGI", "127.0.0.1"));
    host.params.emplace("SerialPort", CParam("SerialPort", "/nonexistent/orvix-tty"));
    deviceIO.SetAnalogLibraryName("orvix-no-such-library");

    // No descriptor is left for a socket. The undefined-behaviour sanitizer needs a pipe to
    // check a virtual call's object when its type is not in its cache: an open while
    // descriptors are left shows it every type an open calls. No device whose driver starts
    // threads is opened (the TROVIK driver's interrupt and board threads): their first checks
    // would race this thread's for the cache's entries, so the open runs on this thread alone
    // and meets its types in the same order both times.
    UnregisterDevice(kTrovikDeviceName);
    deviceIO.Open(&host);
    deviceIO.Close();
    {
        int base = open("/dev/null", O_RDONLY | O_CLOEXEC);
        ASSERT_GE(base, 0);
        rlimit old;
        ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
        rlimit low = old;
        low.rlim_cur = static_cast<rlim_t>(HighestDescriptor() + 1);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        std::vector<int> taken;
        for (int fd; (fd = fcntl(base, F_DUPFD_CLOEXEC, 0)) >= 0;)
            taken.push_back(fd);
        deviceIO.Open(&host);
        for (int fd : taken)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &old);
        close(base);
    }
    ResetDeviceRegistry();
    EXPECT_TRUE(host.Logged("Socket creation error!")) << host.lines.back();
    EXPECT_FALSE(deviceIO.GetCmdSocket().IsConnected());

    // Opened from a thread that no event loop serves: the link connects, but waiting data
    // cannot be notified.
    host.lines.clear();
    std::thread other([&] { deviceIO.Open(&host); });
    other.join();
    EXPECT_TRUE(deviceIO.GetCmdSocket().IsConnected());
    EXPECT_TRUE(host.Logged("AsyncSelect error!")) << host.lines.back();
    deviceIO.Close();
    deviceIO.SetHost(doc.get());
}

TEST_F(IoTest, OpenWithoutAnyDeviceLogsOneLinePerDeviceAndRunsWithout)
{
    CFakeClock& clock = UseFakeClock(); // the refused connection is retried for 5 s of it
    UnregisterDevice(kSpikeDeviceName);
    UnregisterDevice(kTrovikDeviceName);
    deviceIO.SetAnalogLibraryName("orvix-no-such-library");
    PointAt(ClosedPort());

    EXPECT_TRUE(deviceIO.Open(doc.get()));
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "Can't load library \"nidaq32.dll\". ",
                         "Device driver \"SPIKE\" not found!",
                         "Device driver \"TROVIK\" not found!",
                         "Serial port /nonexistent/orvix-tty error. No such file or directory",
                         "Socket connect error! Connection refused",
                     }));
    EXPECT_GE(clock.TickMs(), 5000u);
    EXPECT_FALSE(deviceIO.IsRendererRunning());

    // Every operation is neutral.
    EXPECT_EQ(deviceIO.ReadDigitalInput(), 'C');
    deviceIO.StartSpikeCounter();
    EXPECT_TRUE(deviceIO.ReadSpikes().empty());
    EXPECT_EQ(deviceIO.GetSpikeStartTime(), 0u);
    deviceIO.ReadEyeSamples();
    clock.AdvanceMs(20);
    EXPECT_TRUE(deviceIO.ReadEyeSamples().empty());
    EXPECT_EQ(deviceIO.ReadVolts(0, 1), 0.0);
    deviceIO.PulseHit();
    deviceIO.SetOutputBit2(true);
    EXPECT_EQ(deviceIO.GetOutputLatch(), 4);
    EXPECT_FALSE(deviceIO.SendCommand(0, "1", true));
    deviceIO.ResetSerial();
    deviceIO.StopSerial();
}

TEST_F(IoTest, DriverOpenFailuresAreLoggedByTheirErrorCode)
{
    UseFakeClock();
    PointAt(ClosedPort());
    deviceIO.SetAnalogLibraryName("orvix-no-such-library");
    RegisterDevice(kTrovikDeviceName, [](uint32_t& e) {
        e = ERROR_NOT_SUPPORTED;
        return std::unique_ptr<IDevice>();
    });
    RegisterDevice(kSpikeDeviceName, [](uint32_t& e) {
        e = ERROR_GEN_FAILURE;
        return std::unique_ptr<IDevice>();
    });
    deviceIO.Open(doc.get());
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], "Device driver \"SPIKE\" error!");
    EXPECT_EQ(log[2], "Device driver \"TROVIK\" doesn't support DeviceIOControl interface!");
}

TEST_F(IoTest, ReopenAfterAMissedAcknowledgementClosesWhatIsStillOpen)
{
    UseFakeClock();
    PointAt(ClosedPort());
    UseRecordingTrovik();
    deviceIO.Open(doc.get());
    ClearLog();
    // No Close in between, as after a missed acknowledgement: devices are exclusive.
    deviceIO.Open(doc.get());
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "Library \"nidaq32.dll\" loaded.");
    EXPECT_EQ(log[1], "Device driver \"SPIKE\" loaded.");
    EXPECT_EQ(log[2], "Device driver \"TROVIK\" loaded.");
    // And a second open of a held device really is refused.
    EXPECT_EQ(CreateFile(kTrovikDeviceName), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
}

TEST_F(IoTest, OutcomePulsesWriteTheirByteSequences)
{
    UseFakeClock();
    PointAt(ClosedPort());
    UseRecordingTrovik();
    deviceIO.Open(doc.get());

    // Latch 0.
    deviceIO.PulseEarly();
    deviceIO.PulseHit();
    deviceIO.PulseMiss();
    EXPECT_EQ(orvix_test::ToHex(trovik.written), "09 08 03 00 01 00");
    trovik.written.clear();

    // With the experiment-enabled bit 2 on: SetOutputBit2 then a hit writes 4, 7, 4.
    deviceIO.SetOutputBit2(true);
    deviceIO.PulseHit();
    deviceIO.PulseEarly();
    deviceIO.PulseMiss();
    deviceIO.SetOutputBit2(false);
    EXPECT_EQ(orvix_test::ToHex(trovik.written), "04 07 04 0D 0C 05 04 00");
    EXPECT_EQ(deviceIO.GetOutputLatch(), 0);
}

TEST_F(IoTest, KeyReadKeepsThePreviousByteWhenTheCallFails)
{
    UseFakeClock();
    PointAt(ClosedPort());
    UseRecordingTrovik();
    deviceIO.Open(doc.get());
    trovik.keys = {'L', 'R'};
    EXPECT_EQ(deviceIO.ReadDigitalInput(), 'L');
    trovik.failKeys = 1;
    EXPECT_EQ(deviceIO.ReadDigitalInput(), 'L');
    EXPECT_EQ(deviceIO.ReadDigitalInput(), 'R');
    EXPECT_EQ(trovik.codes.back(), 0x8300201Cu);
    deviceIO.Close();
    EXPECT_EQ(deviceIO.ReadDigitalInput(), 'C');
}

TEST_F(IoTest, SpikeRecordsComeAsWordsAndADriverCountBeyondTheBufferIsClamped)
{
    CFakeClock& clock = UseFakeClock();
    PointAt(ClosedPort());
    deviceIO.Open(doc.get());
    clock.SetMs(1234);
    deviceIO.StartSpikeCounter();
    EXPECT_EQ(deviceIO.GetSpikeStartTime(), 1234u);
    EXPECT_EQ(SpikeSim().starts, 1);

    SpikeSim().reads.push_back({0x0005, 0x86A0, 0x0001, 0x0002, 0x0010});
    EXPECT_EQ(deviceIO.ReadSpikes(), (std::vector<uint16_t>{5, 0x86A0, 1, 2, 16}));

    // A driver that claims more bytes than the buffer holds gets the buffer's worth.
    SpikeSim().reads.push_back({1, 2, 3});
    SpikeSim().reportBytes = 200000;
    EXPECT_EQ(deviceIO.ReadSpikes().size(), CDeviceIO::kSpikeBufferBytes / 2);

    SpikeSim().failNext = ERROR_GEN_FAILURE;
    EXPECT_TRUE(deviceIO.ReadSpikes().empty());
    deviceIO.StopSpikeCounter();
    EXPECT_EQ(SpikeSim().stops, 1);
}

TEST_F(IoTest, SimulatedSpikeCounterFiresLikeACellTunedToTheFigure)
{
    CFakeClock& clock = UseFakeClock();
    SpikeSim().seed = 3;
    PointAt(ClosedPort());
    deviceIO.Open(doc.get());
    deviceIO.StartSpikeCounter();
    // 10 s each; spikes/s of the eight channels together, from 5 + 25 exp(-(OR - 10)^2 / 50)
    // per channel while the figure is on, 5 while it is off.
    struct Phase {
        const char* figure;
        const char* orientation;
        double rate;
    } phases[] = {{"0", "10", 40.0}, {"1", "10", 240.0}, {"1", "5", 8 * 20.16}, {"1", "-20", 40.0}, {"0", "10", 40.0}};
    uint32_t phaseStart = 0;
    for (const Phase& p : phases) {
        SCOPED_TRACE(std::string("FIGURE ") + p.figure + ", OR " + p.orientation);
        SpikeSimSee("OR", p.orientation);
        SpikeSimSee("FIGURE", p.figure);
        clock.AdvanceMs(10000);
        std::vector<uint16_t> words = deviceIO.ReadSpikes();
        ASSERT_EQ(words.size() % 3, 0u);
        int spikes = 0;
        uint32_t previous = phaseStart;
        for (size_t i = 0; i < words.size(); i += 3) {
            uint32_t t = words[i + 1] | (static_cast<uint32_t>(words[i + 2]) << 16);
            EXPECT_NE(words[i], 0);
            EXPECT_LE(words[i], 0xFF);
            // In time order, and within the phase: the rate changed where the renderer was told.
            EXPECT_GE(t, previous);
            EXPECT_LE(t, phaseStart + 100000u);
            previous = t;
            spikes += std::popcount(words[i]);
        }
        phaseStart += 100000u;
        // Poisson counts: within 4 standard deviations of rate x 10 s.
        EXPECT_NEAR(spikes, p.rate * 10, 4 * std::sqrt(p.rate * 10));
    }
}

TEST_F(IoTest, AnalogLibraryIsConfiguredAndReadThroughItsEntries)
{
    UseFakeClock();
    PointAt(ClosedPort());
    AnalogSim sim;
    ASSERT_TRUE(sim.setVolts && sim.failReads && sim.configureArg);
    deviceIO.Open(doc.get());
    EXPECT_EQ(Log()[0], "Library \"nidaq32.dll\" loaded.");
    ASSERT_TRUE(deviceIO.HasAnalogInput());
    EXPECT_EQ(sim.configureCalls(), 1);
    int args[6];
    for (int i = 0; i < 6; ++i)
        args[i] = sim.configureArg(i);
    EXPECT_EQ(std::vector<int>(args, args + 6), (std::vector<int>{1, -1, 2, 0, 0, 0}));

    sim.setVolts(2, 0.55);
    EXPECT_EQ(deviceIO.ReadVolts(2, 1), 0.55);
    EXPECT_EQ(deviceIO.ReadMillivolts(2, 1), 550);
    sim.setVolts(3, -1.2345);
    EXPECT_EQ(deviceIO.ReadMillivolts(3, 1), -1234); // toward zero
    // A failed read keeps the previous voltage.
    sim.failReads(1);
    EXPECT_EQ(deviceIO.ReadVolts(2, 1), -1.2345);
}

TEST_F(IoTest, AnalogSwitchAngleAndPositionSteps)
{
    UseFakeClock();
    PointAt(ClosedPort());
    AnalogSim sim;
    deviceIO.Open(doc.get());

    // The switch answers 1 only after it has once been at or below 2.5 V.
    sim.setVolts(0, 3.0);
    EXPECT_EQ(deviceIO.ReadAnalogSwitch(), 0);
    EXPECT_EQ(deviceIO.ReadAngleStep(), 0);
    sim.setVolts(0, 2.5);
    EXPECT_EQ(deviceIO.ReadAnalogSwitch(), 0);
    sim.setVolts(0, 3.0);
    EXPECT_EQ(deviceIO.ReadAnalogSwitch(), 1);

    // Angle = (v + 4) * 359.99 / 8, truncated; limits -4 and 4 V.
    auto angleAt = [&](double v) {
        sim.setVolts(1, v);
        return deviceIO.ReadAngleStep();
    };
    EXPECT_EQ(angleAt(0.0), 0);    // 179: a jump of 179 is swallowed, reference 179
    EXPECT_EQ(angleAt(0.08), 4);   // 183
    EXPECT_EQ(angleAt(0.1), 0);    // 184: 1 degree, reference stays 183
    EXPECT_EQ(angleAt(0.0), 356);  // 179: a step of -4
    EXPECT_EQ(angleAt(0.4335), 0); // 199: 20 degrees moves the reference
    EXPECT_EQ(angleAt(0.5), 3);    // 202

    // Position: x = v * -60, truncated; steps below 2 are ignored.
    sim.setVolts(2, 0.5);
    EXPECT_EQ(deviceIO.ReadPosStepH(), -30);
    sim.setVolts(2, 0.51);
    EXPECT_EQ(deviceIO.ReadPosStepH(), 0); // -30.6 -> -30
    sim.setVolts(2, 0.55);
    EXPECT_EQ(deviceIO.ReadPosStepH(), -3);
    sim.setVolts(3, -0.125);
    EXPECT_EQ(deviceIO.ReadPosStepV(), 7); // 7.5 -> 7
    sim.setVolts(0, 5.0);                     // still armed: the switch gives 1
    sim.setVolts(3, -0.25);
    EXPECT_EQ(deviceIO.ReadPosStepV(), 8);
    // With the switch at or below 2.5 V the reference moves but no step is reported.
    sim.setVolts(0, 0.0);
    sim.setVolts(3, -0.375);
    EXPECT_EQ(deviceIO.ReadPosStepV(), 0);
    sim.setVolts(0, 3.0);
    sim.setVolts(3, -0.125);
    EXPECT_EQ(deviceIO.ReadPosStepV(), -15);
}

TEST_F(IoTest, CloseThenOpenStartsFromTheStateOfTheFirstOpen)
{
    CFakeClock& clock = UseFakeClock();
    PointAt(ClosedPort());
    AnalogSim sim;
    // What a session sees from the layer, changing everything the layer keeps on the way:
    // the last voltage (a failed read gives it), the switch's arming, the angle limits (6 V
    // widens them, last) and references, the position references, the spike start, the latch.
    auto session = [&] {
        std::vector<double> seen{static_cast<double>(deviceIO.GetSpikeStartTime()),
                                 static_cast<double>(deviceIO.GetOutputLatch())};
        sim.failReads(1);
        seen.push_back(deviceIO.ReadVolts(5, 1));
        sim.setVolts(0, 3.0);
        seen.push_back(deviceIO.ReadAnalogSwitch());
        sim.setVolts(0, 1.0);
        deviceIO.ReadAnalogSwitch();
        sim.setVolts(0, 3.0);
        for (double v : {0.0, 0.08, 6.0}) {
            sim.setVolts(1, v);
            seen.push_back(deviceIO.ReadAngleStep());
        }
        for (double v : {0.5, 0.55}) {
            sim.setVolts(2, v);
            sim.setVolts(3, -v);
            seen.push_back(deviceIO.ReadPosStepH());
            seen.push_back(deviceIO.ReadPosStepV());
        }
        sim.setVolts(5, 1.5);
        deviceIO.ReadVolts(5, 1);
        clock.AdvanceMs(1000);
        deviceIO.StartSpikeCounter();
        deviceIO.SetOutputBit2(true);
        return seen;
    };
    deviceIO.Open(doc.get());
    const std::vector<double> first = session();
    EXPECT_EQ(deviceIO.GetSpikeStartTime(), clock.TickMs());
    deviceIO.Close();
    deviceIO.Open(doc.get());
    EXPECT_EQ(session(), first);
    // And an Open without a Close in between (after a missed acknowledgement) the same.
    deviceIO.Open(doc.get());
    EXPECT_EQ(session(), first);
}

TEST_F(IoTest, AnalogLibraryWithoutItsEntriesIsLogged)
{
    UseFakeClock();
    PointAt(ClosedPort());
    // A library that has AI_Configure only.
    deviceIO.SetAnalogLibraryName("orvix_nidaq_partial");
    deviceIO.Open(doc.get());
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "Library \"nidaq32.dll\" loaded.");
    EXPECT_EQ(log[1], "Can't GetProcAddress of \"AI_VRead\".");
    EXPECT_FALSE(deviceIO.HasAnalogInput());

    deviceIO.SetAnalogLibraryName("orvix_nidaq_empty");
    ClearLog();
    deviceIO.Open(doc.get());
    log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], "Can't GetProcAddress of \"AI_Configure\".");
    EXPECT_EQ(log[2], "Can't GetProcAddress of \"AI_VRead\".");
}

TEST_F(IoTest, TheRealDriverServesTheKeyAndTheOutputs)
{
    UseFakeClock();
    PointAt(ClosedPort());
    kernel::Board().Reset();
    std::vector<uint8_t> outputs;
    kernel::Board().SetOutputListener([&](::ULONG offset, ::UCHAR value) {
        if (offset == 0x08) // digital output A
            outputs.push_back(value);
    });
    ASSERT_TRUE(deviceIO.Open(doc.get()));
    std::vector<std::string> log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Device driver \"TROVIK\" loaded."), log.end());
    EXPECT_EQ(deviceIO.ReadDigitalInput(), 'C');
    kernel::Board().StrobeKey('L');
    // The interrupt is delivered on the board's own thread: wait for it, with a deadline.
    int key = 'C';
    for (int i = 0; i < 200 && key != 'L'; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        key = deviceIO.ReadDigitalInput();
    }
    EXPECT_EQ(key, 'L');
    outputs.clear(); // opening the device programs the board, port A included
    deviceIO.PulseHit();
    EXPECT_EQ(orvix_test::ToHex(outputs), "03 00");
    deviceIO.Close();
    kernel::Board().SetOutputListener(nullptr);
}

TEST_F(IoTest, TheSimulatedSubjectAnswersOnTheBoardsKey)
{
    kernel::Board().Reset();
    PointAt(ClosedPort());
    ASSERT_TRUE(deviceIO.Open(doc.get()));
    EXPECT_EQ(deviceIO.ReadDigitalInput(), 'C');
    CSimulatedSubject subject(CSimulatedSubject::Settings(), 7, {}, false);
    subject.See("OR", "-20", 0);
    subject.See("FIGURE", "1", 0);
    // The board's interrupt comes on its own thread: each key is waited for, with a deadline.
    auto keyAfter = [&](uint32_t now, auto wanted) {
        subject.Tick(now);
        int key = deviceIO.ReadDigitalInput();
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
             !wanted(key) && std::chrono::steady_clock::now() < until; key = deviceIO.ReadDigitalInput())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return key;
    };
    int key = keyAfter(3000, [](int k) { return k == 'L' || k == 'R'; }); // past any reaction time
    EXPECT_TRUE(key == 'L' || key == 'R') << key;
    EXPECT_EQ(keyAfter(4000, [](int k) { return k == 'C'; }), 'C'); // and up again
    deviceIO.Close();
}
