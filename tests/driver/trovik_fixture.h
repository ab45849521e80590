// A loaded and opened Trovik driver over the kernel stand-in, with a quiet simulated board.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/trovik_ioctl.h"
#include "platform/kernel/driver_host.h"
#include "platform/kernel/kernel_control.h"
#include "platform/kernel/sim_board.h"

namespace trovik_test {

using orvix::kernel::CSimBoard;
using Bytes = std::vector<uint8_t>;

struct Reply {
    NTSTATUS status;
    Bytes data; // the bytes returned
};

inline orvix::kernel::CDriverHost& Host() { return orvix::kernel::CDriverHost::Instance(); }
inline CSimBoard& Board() { return orvix::kernel::Board(); }

// The board as a test wants it: power-on state, no ticks of its own, known inputs.
inline void QuietBoard()
{
    Board().Reset();
    Board().SetAutoTick(false);
    Board().SetSampleInputs(0x1A5, 0x3C);
}

inline Reply Control(orvix::kernel::DeviceHandle handle, uint32_t code, const Bytes& in, ULONG outLength)
{
    Bytes out(outLength);
    ULONG got = 0;
    NTSTATUS status = Host().DeviceControl(handle, code, in.empty() ? nullptr : in.data(),
        static_cast<ULONG>(in.size()), out.empty() ? nullptr : out.data(), outLength, &got);
    out.resize(got);
    return {status, out};
}

inline Bytes Int32(int32_t value)
{
    auto u = static_cast<uint32_t>(value);
    return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

// Times of the records in a sample reply, read byte by byte.
inline std::vector<uint32_t> Times(const Bytes& records)
{
    std::vector<uint32_t> times;
    for (size_t i = 0; i + 8 <= records.size(); i += 8)
        times.push_back(records[i + 4] | records[i + 5] << 8 | records[i + 6] << 16 | uint32_t(records[i + 7]) << 24);
    return times;
}

class TrovikTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QuietBoard();
        Host().SetLibraryPath("trovik", TROVIK_LIBRARY_PATH);
        ASSERT_EQ(Host().Open(trovik::kWin32DeviceName, &handle_), STATUS_SUCCESS);
    }

    void TearDown() override
    {
        ASSERT_TRUE(orvix::kernel::WaitForInterruptsIdle());
        EXPECT_EQ(Host().Close(handle_), STATUS_SUCCESS);
        EXPECT_EQ(Host().UnloadDriver("trovik"), STATUS_SUCCESS);
        Board().SetRecording(false);
    }

    Reply Control(uint32_t code, const Bytes& in, ULONG outLength)
    {
        return trovik_test::Control(handle_, code, in, outLength);
    }

    char Key()
    {
        Reply r = Control(IOCTL_TROVIK_GET_KEY, {}, 1);
        EXPECT_EQ(r.status, STATUS_SUCCESS);
        return r.data.size() == 1 ? static_cast<char>(r.data[0]) : '?';
    }

    // Strobes events and waits until the driver has served them.
    void Strobe(uint8_t flags)
    {
        Board().StrobeEvent(flags);
        ASSERT_TRUE(orvix::kernel::WaitForInterruptsIdle());
    }

    void Tick(int ticks = 1)
    {
        for (int done = 0; done < ticks;) {
            int batch = std::min<int>(ticks - done, CSimBoard::kEventQueueLimit);
            Board().TickTimer(batch);
            ASSERT_TRUE(orvix::kernel::WaitForInterruptsIdle());
            done += batch;
        }
    }

    orvix::kernel::DeviceHandle handle_ = orvix::kernel::kInvalidDeviceHandle;
};

} // namespace trovik_test
