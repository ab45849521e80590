// The eight control codes by their numbers, their buffer rules, the key letter and the
// port writes of open, close and the interrupt routine.
#include "tests/driver/trovik_fixture.h"

namespace trovik_test {
namespace {

using Access = CSimBoard::PortAccess;

Access W(ULONG offset, UCHAR value) { return {true, offset, value}; }
Access R(ULONG offset, UCHAR value) { return {false, offset, value}; }

// Codes written out by hand: device type 0x8300 in the high word, function << 2 below.
constexpr uint32_t kStart = 0x8300200C, kStop = 0x83002010, kClear = 0x83002014,
                   kReadSamples = 0x83002018, kGetKey = 0x8300201C, kWriteA = 0x83002020,
                   kSetTimeBase = 0x83002024, kWriteB = 0x83002028;
constexpr NTSTATUS kBufferTooSmall = static_cast<NTSTATUS>(0xC0000023);

TEST(TrovikCodes, HaveTheirPublishedNumbers)
{
    EXPECT_EQ(IOCTL_TROVIK_START, kStart);
    EXPECT_EQ(IOCTL_TROVIK_STOP, kStop);
    EXPECT_EQ(IOCTL_TROVIK_CLEAR, kClear);
    EXPECT_EQ(IOCTL_TROVIK_READ_SAMPLES, kReadSamples);
    EXPECT_EQ(IOCTL_TROVIK_GET_KEY, kGetKey);
    EXPECT_EQ(IOCTL_TROVIK_WRITE_A, kWriteA);
    EXPECT_EQ(IOCTL_TROVIK_SET_TIME_BASE, kSetTimeBase);
    EXPECT_EQ(IOCTL_TROVIK_WRITE_B, kWriteB);
    EXPECT_EQ(STATUS_BUFFER_TOO_SMALL, kBufferTooSmall);
}

using TrovikKeyTest = TrovikTest;

TEST_F(TrovikKeyTest, IsCAfterOpenAndNeedsOneOutputByte)
{
    Reply r = Control(kGetKey, {}, 4);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.data, Bytes{67}); // 'C', one byte reported
    r = Control(kGetKey, {}, 0);
    EXPECT_EQ(r.status, kBufferTooSmall);
    EXPECT_TRUE(r.data.empty());
}

TEST_F(TrovikKeyTest, FollowsTheFirstKeyBitInPriorityOrder)
{
    struct Case {
        uint8_t flags;
        char key;
    } cases[] = {
        {0x01, 'F'}, {0x02, 'B'}, {0x04, 'L'}, {0x08, 'R'}, {0x10, 'C'},
        {0x03, 'B'}, // bit 1 outranks bit 0
        {0x05, 'F'}, {0x0C, 'R'}, {0x14, 'L'}, {0x1F, 'B'}, {0x1D, 'F'},
    };
    for (const Case& c : cases) {
        Strobe(c.flags);
        EXPECT_EQ(Key(), c.key) << "flags " << int(c.flags);
    }
}

TEST_F(TrovikKeyTest, StaysWhenNoKeyBitIsSetAndReturnsToCOnOpen)
{
    Strobe(0x08);
    Strobe(0x20); // a tick alone
    Strobe(0xC0); // bits not examined
    EXPECT_EQ(Key(), 'R');

    orvix::kernel::DeviceHandle second;
    ASSERT_EQ(Host().Open(trovik::kWin32DeviceName, &second), STATUS_SUCCESS);
    EXPECT_EQ(Key(), 'C');
    Strobe(0x04);
    ASSERT_EQ(Host().Close(second), STATUS_SUCCESS);
    EXPECT_EQ(Key(), 'L'); // close leaves the key
}

using TrovikOutputTest = TrovikTest;

TEST_F(TrovikOutputTest, WriteAAndBGoToTheirPortsAndNeedOneInputByte)
{
    EXPECT_EQ(Control(kWriteA, {0x5A, 0x11}, 0).status, STATUS_SUCCESS);
    EXPECT_EQ(Control(kWriteB, {0xA7}, 0).status, STATUS_SUCCESS);
    EXPECT_EQ(Board().OutputA(), 0x5A);
    EXPECT_EQ(Board().OutputB(), 0xA7);

    Board().SetRecording(true);
    Reply a = Control(kWriteA, {}, 1);
    Reply b = Control(kWriteB, {}, 1);
    EXPECT_EQ(a.status, kBufferTooSmall);
    EXPECT_EQ(b.status, kBufferTooSmall);
    EXPECT_TRUE(a.data.empty());
    EXPECT_TRUE(Board().TakeAccessLog().empty());
    EXPECT_EQ(Board().OutputA(), 0x5A);
    EXPECT_EQ(Board().OutputB(), 0xA7);
}

TEST_F(TrovikOutputTest, StartAndStopSetTheRunControl)
{
    EXPECT_EQ(Board().RunControl(), 1); // open leaves it stopped
    EXPECT_EQ(Control(kStart, {}, 0).status, STATUS_SUCCESS);
    EXPECT_EQ(Board().RunControl(), 3);
    Tick(2);
    EXPECT_EQ(Control(kStop, {}, 0).status, STATUS_SUCCESS);
    EXPECT_EQ(Board().RunControl(), 1);
    EXPECT_EQ(Control(kReadSamples, {}, 16).data.size(), 16u); // stop keeps the samples
}

TEST_F(TrovikOutputTest, UnknownCodesSucceedWithoutDataOrEffect)
{
    Tick(1);
    Strobe(0x02);
    Board().SetRecording(true);
    for (uint32_t code : {0x8300202Cu, 0x83002008u, 0x0u, 0x8301201Cu}) {
        Reply r = Control(code, {1, 2, 3, 4}, 8);
        EXPECT_EQ(r.status, STATUS_SUCCESS) << std::hex << code;
        EXPECT_TRUE(r.data.empty());
    }
    EXPECT_TRUE(Board().TakeAccessLog().empty());
    EXPECT_EQ(Key(), 'B');
    EXPECT_EQ(Control(kReadSamples, {}, 8).data.size(), 8u);
}

using TrovikPortTest = TrovikTest;

TEST_F(TrovikPortTest, OpenProgramsTheBoardInOrder)
{
    Board().SetRecording(true);
    orvix::kernel::DeviceHandle second;
    ASSERT_EQ(Host().Open(trovik::kWin32DeviceName, &second), STATUS_SUCCESS);
    std::vector<Access> expected = {
        W(0x14, 0), W(0x15, 0),
        W(0x13, 0x34), W(0x10, 0x20), W(0x10, 0x4E),
        W(0x13, 0x70), W(0x11, 0xFF), W(0x11, 0xFF),
        W(0x14, 1), W(0x15, 7),
        W(0x01, 0xFF), W(0x01, 0x00),
        W(0x03, 0xB9), W(0x03, 0x09), W(0x07, 0xB9), W(0x07, 0x09),
        W(0x0B, 0x80), W(0x0F, 0x9B),
        W(0x0A, 1), W(0x08, 0),
    };
    EXPECT_EQ(Board().TakeAccessLog(), expected);
    ASSERT_EQ(Host().Close(second), STATUS_SUCCESS);
}

TEST_F(TrovikPortTest, CloseStopsTheCountersAndIdlesTheBoard)
{
    orvix::kernel::DeviceHandle second;
    ASSERT_EQ(Host().Open(trovik::kWin32DeviceName, &second), STATUS_SUCCESS);
    Control(kWriteA, {0xFF}, 0);
    Board().SetRecording(true);
    ASSERT_EQ(Host().Close(second), STATUS_SUCCESS);
    std::vector<Access> expected = {
        W(0x13, 0x30), W(0x13, 0x70),
        W(0x14, 0), W(0x15, 0),
        W(0x13, 0x34), W(0x13, 0x70),
        W(0x14, 1), W(0x15, 7),
        W(0x01, 0xFF), W(0x01, 0x00),
        W(0x0A, 1), W(0x08, 0),
    };
    EXPECT_EQ(Board().TakeAccessLog(), expected);
    EXPECT_EQ(Board().OutputA(), 0);
}

TEST_F(TrovikPortTest, InterruptRoutineReadsAndClearsTheEventLatch)
{
    Board().SetRecording(true);
    Strobe(0x02);
    std::vector<Access> key = {
        R(0x02, 0x38), R(0x00, 0x02), W(0x01, 0x02), W(0x01, 0x02), W(0x01, 0), W(0x01, 0),
    };
    EXPECT_EQ(Board().TakeAccessLog(), key);

    Strobe(0x20); // inputs 0x1A5 and 0x3C
    std::vector<Access> tick = {
        R(0x02, 0x38), R(0x00, 0x20), W(0x01, 0x20), W(0x01, 0x20),
        R(0x0E, 0x01), R(0x0D, 0xA5), R(0x0C, 0x3C), W(0x01, 0), W(0x01, 0),
    };
    EXPECT_EQ(Board().TakeAccessLog(), tick);

    Strobe(0x00);
    std::vector<Access> empty = {R(0x02, 0x38), R(0x00, 0x00), W(0x01, 0), W(0x01, 0)};
    EXPECT_EQ(Board().TakeAccessLog(), empty);
}

TEST_F(TrovikPortTest, InterruptWithoutLatchedEventReloadsTheCounters)
{
    Strobe(0x04);
    Board().SetRecording(true);
    Board().CounterInterrupt();
    ASSERT_TRUE(orvix::kernel::WaitForInterruptsIdle());
    std::vector<Access> expected = {
        R(0x02, 0x10), // only INTE A
        W(0x13, 0x70), W(0x13, 0x34), W(0x13, 0x70), W(0x13, 0x34),
        W(0x10, 0x20), W(0x10, 0x4E), W(0x11, 0xFF), W(0x11, 0xFF),
        W(0x01, 0), W(0x01, 0), // the flags of the last event are still non-zero
    };
    EXPECT_EQ(Board().TakeAccessLog(), expected);
    EXPECT_EQ(Key(), 'L');
    EXPECT_EQ(Control(kReadSamples, {}, 8).data.size(), 0u);
}

} // namespace
} // namespace trovik_test
