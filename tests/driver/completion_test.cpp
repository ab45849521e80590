// A faulty driver that completes a request a second time: at once, or after the request's
// record has gone to the next request, which that completion must leave alone.
#include <gtest/gtest.h>

#include <functional>
#include <future>

#include "platform/kernel/driver_host.h"
#include "platform/kernel/kernel_state.h"
#include "platform/kernel/ntkernel.h"

namespace {

using orvix::kernel::Counts;
using orvix::kernel::KernelCounts;

void Complete(PIRP irp, ULONG bytes)
{
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = bytes;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

class FaultyDriverTest : public ::testing::Test {
protected:
    struct Result {
        NTSTATUS status;
        ULONG_PTR bytes;
    };

    void SetUp() override
    {
        driver_.MajorFunction[IRP_MJ_DEVICE_CONTROL] = [](PDEVICE_OBJECT, PIRP irp) { return onRequest_(irp); };
        ASSERT_EQ(IoCreateDevice(&driver_, 0, nullptr, 0, 0, FALSE, &device_), STATUS_SUCCESS);
        before_ = Counts();
    }
    void TearDown() override { IoDeleteDevice(device_); }

    // Sends a request as the driver host does, and hands its record back.
    Result Send()
    {
        IRP_TRACKER* request = orvix::kernel::detail::NewRequest(device_, IRP_MJ_DEVICE_CONTROL, 0, nullptr, 0, 8);
        NTSTATUS status = orvix::kernel::detail::CallDriver(&request, orvix::kernel::kRequestTimeoutMs);
        Result result{status, request->Irp()->IoStatus.Information};
        orvix::kernel::detail::FreeRequest(request);
        return result;
    }

    void ExpectCountsSinceSetUp(uint64_t completed, uint64_t doubles)
    {
        KernelCounts now = Counts();
        EXPECT_EQ(now.requestsCompleted - before_.requestsCompleted, completed);
        EXPECT_EQ(now.doubleCompletions - before_.doubleCompletions, doubles);
    }

    static inline std::function<NTSTATUS(PIRP)> onRequest_; // the driver's dispatch routine
    DRIVER_OBJECT driver_{};
    PDEVICE_OBJECT device_ = nullptr;
    KernelCounts before_;
};

// A second completion is counted and completes nothing: at once, or late, after the
// request's record went to the next request, which stays pending.
TEST_F(FaultyDriverTest, ASecondCompletionIsCountedAndCompletesNothing)
{
    PIRP first = nullptr;
    onRequest_ = [&](PIRP irp) {
        first = irp;
        Complete(irp, 3);
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_SUCCESS;
    };
    Result result = Send();
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.bytes, 3u);
    ExpectCountsSinceSetUp(1, 1);

    std::promise<PIRP> dispatched;
    onRequest_ = [&](PIRP irp) {
        IoMarkIrpPending(irp);
        dispatched.set_value(irp);
        return STATUS_PENDING;
    };
    std::future<Result> pending = std::async(std::launch::async, [&] { return Send(); });
    PIRP second = dispatched.get_future().get();
    EXPECT_EQ(second->Tracker, first->Tracker); // the record was reused

    IoCompleteRequest(first, IO_NO_INCREMENT); // the faulty driver's late completion
    ExpectCountsSinceSetUp(1, 2);

    Complete(second, 5);
    result = pending.get();
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.bytes, 5u);
    ExpectCountsSinceSetUp(2, 2);
}

} // namespace
