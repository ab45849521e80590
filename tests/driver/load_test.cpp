// Loading and unloading the driver, a failure at each load step, the resource claim, and
// opening devices through the host.
#include "platform/kernel/ntkernel.h"
#include "tests/driver/trovik_fixture.h"

namespace trovik_test {
namespace {

using orvix::kernel::Counts;
using orvix::kernel::KernelCall;

void ExpectNothingLeft()
{
    orvix::kernel::KernelCounts c = Counts();
    EXPECT_EQ(c.devices, 0u);
    EXPECT_EQ(c.symbolicLinks, 0u);
    EXPECT_EQ(c.resourceClaims, 0u);
    EXPECT_EQ(c.connectedInterrupts, 0u);
    EXPECT_EQ(c.poolBlocks, 0u);
}

// Claims resources for a driver other than Trovik, straight from the kernel.
struct OtherDriver {
    DRIVER_OBJECT object{};

    bool Claim(UCHAR type, ULONG start, ULONG length)
    {
        CM_RESOURCE_LIST list{};
        list.Count = 1;
        list.List[0].InterfaceType = Isa;
        list.List[0].PartialResourceList.Count = 1;
        CM_PARTIAL_RESOURCE_DESCRIPTOR& d = list.List[0].PartialResourceList.PartialDescriptors[0];
        d.Type = type;
        d.ShareDisposition = CmResourceShareDriverExclusive;
        if (type == CmResourceTypePort) {
            d.u.Port.Start.QuadPart = start;
            d.u.Port.Length = length;
        } else {
            d.u.Interrupt.Level = d.u.Interrupt.Vector = start;
        }
        BOOLEAN conflict = FALSE;
        NTSTATUS status = IoReportResourceUsage(nullptr, &object, &list, sizeof list, nullptr, nullptr, 0,
            FALSE, &conflict);
        return status == STATUS_SUCCESS && !conflict;
    }

    void Release()
    {
        CM_RESOURCE_LIST empty{};
        BOOLEAN conflict;
        IoReportResourceUsage(nullptr, &object, &empty, sizeof empty, nullptr, nullptr, 0, FALSE, &conflict);
    }
};

class TrovikLoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QuietBoard();
        Host().SetLibraryPath("trovik", TROVIK_LIBRARY_PATH);
        orvix::kernel::ClearInjectedFailures();
    }
    void TearDown() override
    {
        orvix::kernel::ClearInjectedFailures();
        Host().UnloadDriver("trovik");
    }
};

TEST_F(TrovikLoadTest, CreatesDeviceLinkClaimAndInterruptAndUnloadRemovesThem)
{
    ASSERT_EQ(Host().LoadDriver("trovik"), STATUS_SUCCESS);
    orvix::kernel::KernelCounts c = Counts();
    EXPECT_EQ(c.devices, 1u);
    EXPECT_EQ(c.symbolicLinks, 1u);
    EXPECT_EQ(c.resourceClaims, 1u);
    EXPECT_EQ(c.connectedInterrupts, 1u);
    EXPECT_EQ(c.poolBlocks, 0u); // the claim's list is freed
    EXPECT_NE(orvix::kernel::FindDevice(u"\\Device\\Trovik"), nullptr);
    EXPECT_EQ(orvix::kernel::ResolveSymbolicLink(u"\\DosDevices\\TROVIK"), u"\\Device\\Trovik");

    Board().SetRecording(true);
    ASSERT_EQ(Host().UnloadDriver("trovik"), STATUS_SUCCESS);
    EXPECT_TRUE(Board().TakeAccessLog().empty()); // neither load nor unload touch the board
    ExpectNothingLeft();
    EXPECT_FALSE(Host().IsLoaded("trovik"));
}

TEST_F(TrovikLoadTest, ClaimsFourPortsAtTheBoardAndItsInterrupt)
{
    ASSERT_EQ(Host().LoadDriver("trovik"), STATUS_SUCCESS);
    OtherDriver other;
    EXPECT_FALSE(other.Claim(CmResourceTypePort, 0x183, 1));
    EXPECT_FALSE(other.Claim(CmResourceTypePort, 0x170, 0x11));
    EXPECT_FALSE(other.Claim(CmResourceTypeInterrupt, 5, 0));
    EXPECT_TRUE(other.Claim(CmResourceTypePort, 0x184, 4));
    other.Release();
}

TEST_F(TrovikLoadTest, AConflictingClaimFailsTheLoad)
{
    OtherDriver other;
    ASSERT_TRUE(other.Claim(CmResourceTypeInterrupt, 5, 0));
    EXPECT_EQ(Host().LoadDriver("trovik"), STATUS_INSUFFICIENT_RESOURCES);
    other.Release();
    ExpectNothingLeft();
    EXPECT_EQ(Host().LoadDriver("trovik"), STATUS_SUCCESS);
}

TEST_F(TrovikLoadTest, AFailureAtAnyStepFailsTheLoadAndLeavesNothing)
{
    struct Step {
        const char* what;
        KernelCall call;
        NTSTATUS injected;
        NTSTATUS expected;
    } steps[] = {
        {"bus address", KernelCall::HalTranslateBusAddress, 0, NtStatus(0x00000107)},
        {"device", KernelCall::IoCreateDevice, STATUS_OBJECT_NAME_COLLISION, STATUS_OBJECT_NAME_COLLISION},
        {"claim list", KernelCall::ExAllocatePoolWithTag, 0, NtStatus(0xC000009A)},
        {"claim report", KernelCall::IoReportResourceUsage, STATUS_INVALID_PARAMETER, NtStatus(0xC000009A)},
        {"interrupt", KernelCall::IoConnectInterrupt, STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER},
        {"link", KernelCall::IoCreateSymbolicLink, STATUS_OBJECT_NAME_COLLISION, STATUS_OBJECT_NAME_COLLISION},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        orvix::kernel::InjectFailure(step.call, step.injected);
        EXPECT_EQ(Host().LoadDriver("trovik"), step.expected);
        EXPECT_FALSE(Host().IsLoaded("trovik"));
        ExpectNothingLeft();
        orvix::kernel::ClearInjectedFailures();
    }
    SCOPED_TRACE("conflict");
    orvix::kernel::InjectResourceConflict();
    EXPECT_EQ(Host().LoadDriver("trovik"), NtStatus(0xC000009A));
    ExpectNothingLeft();

    ASSERT_EQ(Host().LoadDriver("trovik"), STATUS_SUCCESS);
    ASSERT_EQ(Host().UnloadDriver("trovik"), STATUS_SUCCESS);
    ExpectNothingLeft();
}

TEST_F(TrovikLoadTest, OpeningLoadsTheDriverAndUnloadWaitsForTheLastClose)
{
    orvix::kernel::DeviceHandle handle;
    ASSERT_EQ(Host().Open("\\\\.\\TROVIK", &handle), STATUS_SUCCESS);
    EXPECT_TRUE(Host().IsLoaded("trovik"));
    EXPECT_EQ(Host().UnloadDriver("trovik"), STATUS_DEVICE_BUSY);
    orvix::kernel::DeviceHandle lowerCase;
    ASSERT_EQ(Host().Open("\\\\.\\trovik", &lowerCase), STATUS_SUCCESS); // names ignore case
    EXPECT_NE(lowerCase, handle);
    EXPECT_EQ(Host().Close(lowerCase), STATUS_SUCCESS);
    EXPECT_EQ(Host().UnloadDriver("trovik"), STATUS_DEVICE_BUSY);
    EXPECT_EQ(Host().Close(handle), STATUS_SUCCESS);
    EXPECT_EQ(Host().Close(handle), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Host().UnloadDriver("trovik"), STATUS_SUCCESS);
    ExpectNothingLeft();
}

TEST_F(TrovikLoadTest, FindsTheLibraryWithoutAGivenPath)
{
    Host().SetLibraryPath("trovik", "");
    EXPECT_EQ(Host().LoadDriver("trovik"), STATUS_SUCCESS); // the build tree's driver folder
    EXPECT_EQ(Host().LoadDriver("nosuchdriver"), STATUS_DLL_NOT_FOUND);
}

TEST_F(TrovikLoadTest, MissingDevicesAndDriversAreNotFound)
{
    orvix::kernel::DeviceHandle handle = 99;
    EXPECT_EQ(Host().Open("\\\\.\\NOSUCHDEV", &handle), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(handle, orvix::kernel::kInvalidDeviceHandle);
    EXPECT_EQ(Host().Open("TROVIK", &handle), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(orvix::kernel::Win32ErrorFromStatus(STATUS_OBJECT_NAME_NOT_FOUND), 2u);

    // A driver that fails to load leaves its device unknown.
    orvix::kernel::InjectFailure(KernelCall::IoCreateDevice, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(Host().Open("\\\\.\\TROVIK", &handle), STATUS_OBJECT_NAME_NOT_FOUND);
    orvix::kernel::ClearInjectedFailures();
    ExpectNothingLeft();
}

TEST(DeviceCallErrors, MapToWin32Codes)
{
    using orvix::kernel::Win32ErrorFromStatus;
    EXPECT_EQ(Win32ErrorFromStatus(STATUS_SUCCESS), 0u);
    EXPECT_EQ(Win32ErrorFromStatus(STATUS_NOT_SUPPORTED), 50u);
    EXPECT_EQ(Win32ErrorFromStatus(STATUS_BUFFER_TOO_SMALL), 122u);
    EXPECT_EQ(Win32ErrorFromStatus(STATUS_INVALID_DEVICE_REQUEST), 1u);
    EXPECT_EQ(Win32ErrorFromStatus(NtStatus(0xC0000999)), 31u);
}

} // namespace
} // namespace trovik_test
