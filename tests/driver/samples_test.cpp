// Timed samples: the record format, the time base, the count limit, clear and start, and
// requests that meet new samples or other requests on their way through the queue.
#include <chrono>
#include <thread>

#include "tests/common/test_support.h"
#include "tests/driver/trovik_fixture.h"

namespace trovik_test {
namespace {

using orvix_test::Hex;
using orvix_test::ToHex;

using TrovikSampleTest = TrovikTest;

TEST_F(TrovikSampleTest, RecordsCarryInputsAndTimesFromTheTimeBase)
{
    ASSERT_EQ(Control(IOCTL_TROVIK_SET_TIME_BASE, Int32(5000), 0).status, STATUS_SUCCESS);
    Tick(3);
    Reply r = Control(IOCTL_TROVIK_READ_SAMPLES, {}, 24);
    ASSERT_EQ(r.status, STATUS_SUCCESS);
    // 0x1A5, 0x3C, then 5000 + 0, 5000 + 100/72, 5000 + 200/72 (0x1388, 0x1389, 0x138A)
    EXPECT_EQ(ToHex(r.data), "A5 01 3C 00 88 13 00 00 "
                             "A5 01 3C 00 89 13 00 00 "
                             "A5 01 3C 00 8A 13 00 00");
    // A read empties the store; ticks count on: tick 3 is at 5000 + 300/72 = 5004.
    EXPECT_TRUE(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 0).data.empty());
    Board().SetSampleInputs(0x0FF, 0xFF);
    Tick(1);
    EXPECT_EQ(ToHex(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 64).data), "FF 00 FF 00 8C 13 00 00");
}

TEST_F(TrovikSampleTest, TimesWrapInUnsigned32Bits)
{
    ASSERT_EQ(Control(IOCTL_TROVIK_SET_TIME_BASE, Int32(-1), 0).status, STATUS_SUCCESS);
    Tick(2);
    EXPECT_EQ(Times(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 16).data),
        (std::vector<uint32_t>{0xFFFFFFFFu, 0u}));
}

TEST_F(TrovikSampleTest, TooSmallBuffersChangeNothing)
{
    ASSERT_EQ(Control(IOCTL_TROVIK_SET_TIME_BASE, Int32(100), 0).status, STATUS_SUCCESS);
    Tick(2);
    Reply r = Control(IOCTL_TROVIK_READ_SAMPLES, {}, 15);
    EXPECT_EQ(r.status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ(Control(IOCTL_TROVIK_SET_TIME_BASE, {0x10, 0x27, 0x00}, 0).status, STATUS_BUFFER_TOO_SMALL);
    Tick(1);
    // Still the old time base and tick count: 100, 101, 102.
    EXPECT_EQ(Times(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 24).data),
        (std::vector<uint32_t>{100, 101, 102}));
}

TEST_F(TrovikSampleTest, ClearAndStartEmptyTheStoreAndRestartTime)
{
    ASSERT_EQ(Control(IOCTL_TROVIK_SET_TIME_BASE, Int32(700), 0).status, STATUS_SUCCESS);
    Tick(4);
    ASSERT_EQ(Control(IOCTL_TROVIK_CLEAR, {}, 0).status, STATUS_SUCCESS);
    Tick(2);
    EXPECT_EQ(Times(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 80).data), (std::vector<uint32_t>{0, 1}));

    ASSERT_EQ(Control(IOCTL_TROVIK_SET_TIME_BASE, Int32(700), 0).status, STATUS_SUCCESS);
    Tick(3);
    ASSERT_EQ(Control(IOCTL_TROVIK_START, {}, 0).status, STATUS_SUCCESS);
    EXPECT_TRUE(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 80).data.empty());
    Tick(1);
    EXPECT_EQ(Times(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 80).data), (std::vector<uint32_t>{0}));
}

TEST_F(TrovikSampleTest, StoreStopsAt9999WhileTicksCountOn)
{
    Tick(10001);
    Reply tooSmall = Control(IOCTL_TROVIK_READ_SAMPLES, {}, 9998 * 8);
    EXPECT_EQ(tooSmall.status, STATUS_BUFFER_TOO_SMALL);
    Reply r = Control(IOCTL_TROVIK_READ_SAMPLES, {}, 80000);
    ASSERT_EQ(r.status, STATUS_SUCCESS);
    ASSERT_EQ(r.data.size(), 79992u); // 9999 records
    std::vector<uint32_t> times = Times(r.data);
    EXPECT_EQ(times[0], 0u);
    EXPECT_EQ(times[9998], 13886u); // 999800 / 72
    Tick(1);
    EXPECT_EQ(Times(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 8).data),
        (std::vector<uint32_t>{13890u})); // tick 10001: 1000100 / 72
}

// Left to itself, the board ticks while the run control says running, and only then.
TEST_F(TrovikSampleTest, TheBoardTicksOnItsOwnWhileRunning)
{
    Board().SetAutoTick(true);
    ASSERT_EQ(Control(IOCTL_TROVIK_START, {}, 0).status, STATUS_SUCCESS);
    Bytes records;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (records.size() < 16 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Bytes more = Control(IOCTL_TROVIK_READ_SAMPLES, {}, 80000).data;
        records.insert(records.end(), more.begin(), more.end());
    }
    ASSERT_GE(records.size(), 16u);
    EXPECT_EQ(Times(records)[0], 0u);
    EXPECT_EQ(Times(records)[1], 1u);

    // A tick the board took before the stop is pending by then, so idle means served.
    ASSERT_EQ(Control(IOCTL_TROVIK_STOP, {}, 0).status, STATUS_SUCCESS);
    ASSERT_TRUE(orvix::kernel::WaitForInterruptsIdle());
    Control(IOCTL_TROVIK_CLEAR, {}, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(orvix::kernel::WaitForInterruptsIdle());
    EXPECT_TRUE(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 80000).data.empty());
}

// The samples that arrive between the size check and the copy must not run past the
// caller's buffer; they stay for the next read.
TEST_F(TrovikSampleTest, SamplesArrivingAfterTheSizeCheckWaitForTheNextRead)
{
    Tick(2);
    orvix::kernel::SetBeforeSynchronizeHook([this] { Tick(3); });
    uint64_t overrunsBefore = orvix::kernel::Counts().bufferOverruns;
    Reply first = Control(IOCTL_TROVIK_READ_SAMPLES, {}, 16);
    ASSERT_EQ(first.status, STATUS_SUCCESS);
    EXPECT_EQ(Times(first.data), (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(orvix::kernel::Counts().bufferOverruns, overrunsBefore);
    // Ticks 2, 3, 4: 200/72, 300/72, 400/72.
    EXPECT_EQ(Times(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 24).data), (std::vector<uint32_t>{2, 4, 5}));
}

// A request queued while StartIo works on another must not lend it its code or buffer.
TEST_F(TrovikSampleTest, QueuedRequestsKeepTheirOwnCodeAndBuffer)
{
    Tick(2);
    PDEVICE_OBJECT device = orvix::kernel::FindDevice(u"\\Device\\Trovik");
    ASSERT_NE(device, nullptr);
    std::thread other;
    NTSTATUS otherStatus = STATUS_UNSUCCESSFUL;
    orvix::kernel::SetBeforeSynchronizeHook([&] {
        other = std::thread([&] { otherStatus = Control(IOCTL_TROVIK_SET_TIME_BASE, Int32(777), 0).status; });
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (orvix::kernel::QueuedPackets(device) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    Reply read = Control(IOCTL_TROVIK_READ_SAMPLES, {}, 16);
    other.join();
    ASSERT_EQ(read.status, STATUS_SUCCESS);
    EXPECT_EQ(Times(read.data), (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(otherStatus, STATUS_SUCCESS);
    Tick(1);
    EXPECT_EQ(Times(Control(IOCTL_TROVIK_READ_SAMPLES, {}, 8).data), (std::vector<uint32_t>{777}));
}

} // namespace
} // namespace trovik_test
