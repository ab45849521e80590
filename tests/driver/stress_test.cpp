// The interrupt thread at a high rate beside concurrent requests of every kind that meets
// the sample store. Bounded by request counts and a deadline; run it under the thread and
// address sanitizers too (docs/driver.md).
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/driver/trovik_fixture.h"

namespace trovik_test {
namespace {

using Clock = std::chrono::steady_clock;

struct ClientResult {
    int requests = 0;
    int failures = 0; // a status or a reply that must not happen
};

ClientResult RunClient(orvix::kernel::DeviceHandle handle, int seed, Clock::time_point deadline)
{
    static const ULONG readLengths[] = {0, 8, 64, 800, 80000};
    ClientResult result;
    for (int i = 0; i < 3000 && Clock::now() < deadline; ++i) {
        ++result.requests;
        switch ((i + seed) % 5) {
        case 0: {
            ULONG length = readLengths[(i / 5 + seed) % 5];
            Reply r = Control(handle, IOCTL_TROVIK_READ_SAMPLES, {}, length);
            bool ok = r.status == STATUS_BUFFER_TOO_SMALL ? r.data.empty()
                : r.status == STATUS_SUCCESS && r.data.size() % 8 == 0 && r.data.size() <= length;
            for (size_t k = 0; ok && k < r.data.size(); k += 8)
                ok = r.data[k] == 0xA5 && r.data[k + 1] == 0x01 && r.data[k + 2] == 0x3C && r.data[k + 3] == 0;
            result.failures += !ok;
            break;
        }
        case 1:
            result.failures += Control(handle, IOCTL_TROVIK_CLEAR, {}, 0).status != STATUS_SUCCESS;
            break;
        case 2:
            result.failures += Control(handle, IOCTL_TROVIK_SET_TIME_BASE, Int32(i * 10), 0).status != STATUS_SUCCESS;
            break;
        case 3:
            result.failures += Control(handle, IOCTL_TROVIK_START, {}, 0).status != STATUS_SUCCESS;
            break;
        case 4: {
            Reply r = Control(handle, IOCTL_TROVIK_GET_KEY, {}, 1);
            bool ok = r.status == STATUS_SUCCESS && r.data.size() == 1
                && std::string("BCFLR").find(static_cast<char>(r.data[0])) != std::string::npos;
            result.failures += !ok;
            break;
        }
        }
    }
    return result;
}

using TrovikStressTest = TrovikTest;

TEST_F(TrovikStressTest, EveryRequestCompletesOnceBesideABusyInterruptLine)
{
    orvix::kernel::KernelCounts before = orvix::kernel::Counts();
    auto deadline = Clock::now() + std::chrono::milliseconds(1500);

    std::atomic<bool> stop{false};
    std::thread interrupts([&] {
        static const char keys[] = "FBLRC";
        for (unsigned n = 0; !stop; ++n) {
            Board().TickTimer();
            if (n % 7 == 0)
                Board().StrobeKey(keys[n / 7 % 5]);
            if (n % 50 == 0)
                Board().CounterInterrupt();
            if (n % 16 == 0)
                std::this_thread::yield();
        }
    });

    constexpr int kClients = 4;
    ClientResult results[kClients];
    std::thread clients[kClients];
    for (int c = 0; c < kClients; ++c)
        clients[c] = std::thread([&, c] { results[c] = RunClient(handle_, c, deadline); });
    for (std::thread& t : clients)
        t.join();
    stop = true;
    interrupts.join();
    ASSERT_TRUE(orvix::kernel::WaitForInterruptsIdle());

    int requests = 0;
    for (const ClientResult& r : results) {
        EXPECT_EQ(r.failures, 0);
        requests += r.requests;
    }
    orvix::kernel::KernelCounts after = orvix::kernel::Counts();
    EXPECT_EQ(after.requestsIssued - before.requestsIssued, static_cast<uint64_t>(requests));
    EXPECT_EQ(after.requestsCompleted - before.requestsCompleted, static_cast<uint64_t>(requests));
    EXPECT_EQ(after.doubleCompletions, before.doubleCompletions);
    EXPECT_EQ(after.bufferOverruns, before.bufferOverruns);
    EXPECT_EQ(after.unmappedPortAccesses, before.unmappedPortAccesses);
}

} // namespace
} // namespace trovik_test
