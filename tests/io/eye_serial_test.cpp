// The serial eye tracker over a pseudo-terminal: records cut by reads, bytes between
// records, the 16 ms read gate; and the simulated tracker.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>

#include "io_fixture.h"
#include "platform/devices/serialport.h"

using namespace orvix;

class EyeTest : public IoTest {
protected:
    void SetUp() override
    {
        IoTest::SetUp();
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
        SetClock(&clock);
    }
    void TearDown() override
    {
        IoTest::TearDown();
        close(master);
        close(slave);
    }
    void OpenOnPty()
    {
        PointAt(ClosedPort(), ttyname(slave));
        deviceIO.Open(doc.get());
        ASSERT_TRUE(deviceIO.IsSerialOpen());
        // The first call only starts the read clock.
        EXPECT_TRUE(deviceIO.ReadEyeSamples().empty());
    }
    // Writes bytes to the tracker's side and waits until the port can read them.
    void Send(const std::string& hex)
    {
        std::vector<uint8_t> bytes = orvix_test::Hex(hex);
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        pollfd p{slave, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 2000), 1);
    }
    std::vector<uint16_t> Read()
    {
        clock.AdvanceMs(16);
        return deviceIO.ReadEyeSamples();
    }

    CFakeClock clock;
    int master = -1, slave = -1;
};

TEST_F(EyeTest, OpenLogsThePortAndItsName)
{
    OpenOnPty();
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[3], std::string("Serial port ") + ttyname(slave) + " opened.");
}

TEST_F(EyeTest, RecordCutByAReadIsCompletedByTheNext)
{
    OpenOnPty();
    // A stray byte, one whole record (H 0x0010, V 0x0020), then the start of the next.
    Send("00 44 44 10 00 20 00 44 44 34");
    EXPECT_EQ(Read(), (std::vector<uint16_t>{0x0010, 0x0020}));
    Send("12 56 78");
    EXPECT_EQ(Read(), (std::vector<uint16_t>{0x1234, 0x7856}));
}

TEST_F(EyeTest, BytesOtherThanARecordStartAreSkippedOneAtATime)
{
    OpenOnPty();
    // 'D' 'A' is no start; the record begins at the second 'D' 'D'.
    Send("44 41 44 44 FF FF 01 00 44");
    EXPECT_EQ(Read(), (std::vector<uint16_t>{0xFFFF, 0x0001}));
    // The 'D' left over completes a record that ends exactly at the end of the buffer.
    Send("44 02 00 03 00");
    EXPECT_EQ(Read(), (std::vector<uint16_t>{2, 3}));
}

TEST_F(EyeTest, SecondReadWithin16MsReadsNothing)
{
    OpenOnPty();
    Send("44 44 01 00 02 00");
    clock.AdvanceMs(15);
    EXPECT_TRUE(deviceIO.ReadEyeSamples().empty());
    clock.AdvanceMs(1);
    EXPECT_EQ(deviceIO.ReadEyeSamples(), (std::vector<uint16_t>{1, 2}));
    EXPECT_TRUE(deviceIO.ReadEyeSamples().empty());
}

TEST_F(EyeTest, ResetAndStopDropWhatWaits)
{
    OpenOnPty();
    Send("44 44 01 00");
    deviceIO.ResetSerial();
    Send("44 44 05 00 06 00");
    EXPECT_EQ(Read(), (std::vector<uint16_t>{5, 6}));
    Send("44 44 07 00 08 00");
    deviceIO.StopSerial();
    EXPECT_TRUE(Read().empty());
}

// One record per 16.67 ms over several seconds, however often the port is read, as the runner's
// eye bin and the exports take it: a step rounded per read would add up.
TEST_F(EyeTest, SimulatedTrackerGives60RecordsASecondNearTheCentre)
{
    PointAt(ClosedPort(), kSimulatedSerialPort);
    deviceIO.Open(doc.get());
    ASSERT_TRUE(deviceIO.IsSerialOpen());
    deviceIO.ReadEyeSamples();
    for (uint32_t step : {1u, 7u, 16u, 17u, 100u, 1000u}) {
        deviceIO.ResetSerial(); // drops what came before (Open's connection retries let the clock run)
        size_t records = 0;
        for (uint32_t t = step; t <= 6000; t += step) {
            clock.AdvanceMs(step);
            std::vector<uint16_t>& samples = deviceIO.ReadEyeSamples();
            records += samples.size() / 2;
            for (size_t i = 0; i < samples.size(); i += 2) {
                EXPECT_NEAR(samples[i], 2560, 10);
                EXPECT_NEAR(samples[i + 1], 1280, 10);
            }
        }
        EXPECT_NEAR(static_cast<double>(records), 360.0, 1.0) << "read every " << step << " ms";
    }
}
