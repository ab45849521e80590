// What the host and the tests can see and steer of the kernel stand-in: object counts,
// injected failures of single kernel calls, the interrupt line and the I/O space.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/kernel/nt_objects.h"

namespace orvix::kernel {

// Kernel calls whose next use can be made to fail.
enum class KernelCall {
    HalTranslateBusAddress, // returns FALSE
    IoCreateDevice,         // returns the given status
    ExAllocatePoolWithTag,  // returns NULL
    IoReportResourceUsage,  // returns the given status, claims nothing
    IoConnectInterrupt,     // returns the given status
    IoCreateSymbolicLink,   // returns the given status
};

// Makes the next call of `call` fail as noted above.
void InjectFailure(KernelCall call, NTSTATUS status = STATUS_UNSUCCESSFUL);
// Makes the next resource claim report a conflict (another driver owns the resources).
void InjectResourceConflict();
void ClearInjectedFailures();

// Live kernel objects and request statistics since the process started.
struct KernelCounts {
    size_t devices = 0;
    size_t symbolicLinks = 0;
    size_t resourceClaims = 0; // drivers holding a claim
    size_t connectedInterrupts = 0;
    size_t poolBlocks = 0;
    uint64_t requestsIssued = 0;
    uint64_t requestsCompleted = 0;   // first completions
    uint64_t doubleCompletions = 0;   // completions of an already completed request
    uint64_t bufferOverruns = 0;      // writes past a request's system buffer
    uint64_t unmappedPortAccesses = 0;
    uint64_t lostInterrupts = 0;      // requested while nothing was connected
};
KernelCounts Counts();

// Names compare without regard to letter case.
// A device by its kernel name, e.g. u"\\Device\\Trovik"; nullptr when there is none.
PDEVICE_OBJECT FindDevice(const std::u16string& name);
// The device a symbolic link names, e.g. u"\\DosDevices\\TROVIK"; empty when no such link.
std::u16string ResolveSymbolicLink(const std::u16string& link);
// Requests waiting in a device's queue behind the one StartIo works on.
size_t QueuedPackets(PDEVICE_OBJECT device);

// Runs `hook` once, the next time a StartIo routine calls KeSynchronizeExecution, before
// the interrupt lock is taken. Lets a test act between a queued request's dispatch and
// its synchronised work.
void SetBeforeSynchronizeHook(std::function<void()> hook);

// A device on the I/O bus: ports [base, base + length) reach it by offset.
class IPortDevice {
public:
    virtual ~IPortDevice() = default;
    virtual UCHAR ReadPort(ULONG offset) = 0;
    virtual void WritePort(ULONG offset, UCHAR value) = 0;
};
// Puts `device` on the bus in place of the one there (nullptr removes it). Unmapped reads give 0xFF.
void AttachPortDevice(IPortDevice* device, ULONG base, ULONG length);

// The interrupt line of ISA level `level` fires once (latched: one service call each).
void RequestInterrupt(ULONG level);
// Waits until no interrupt is pending or in service and no deferred call is queued.
// False when `timeoutMs` passed first.
bool WaitForInterruptsIdle(int timeoutMs = 5000);

} // namespace orvix::kernel
