// Internal bookkeeping of the kernel stand-in, shared by its source files. Not for drivers.
#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/kernel_control.h"

namespace orvix::kernel::detail {

// Object names compare without regard to ASCII letter case, as the object manager's do.
inline bool SameName(const std::u16string& a, const std::u16string& b)
{
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

struct DeviceRecord {
    PDEVICE_OBJECT device;
    std::u16string name;
};

struct ClaimRecord {
    PDRIVER_OBJECT owner;
    std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> resources;
};

class CKernel {
public:
    static CKernel& Get();

    // Injected failure of the next `call`, taken (cleared) by this query.
    std::optional<NTSTATUS> TakeFailure(KernelCall call);

    std::mutex mutex; // guards the members up to the counters
    std::vector<DeviceRecord> devices;
    std::vector<std::pair<std::u16string, std::u16string>> links; // link, device name
    std::vector<ClaimRecord> claims;
    std::map<void*, size_t> pool;
    std::map<KernelCall, NTSTATUS> failures;
    bool conflictPending = false;
    std::function<void()> beforeSynchronize;
    IPortDevice* portDevice = nullptr; // the port members are guarded by the port lock instead
    ULONG portBase = 0;
    ULONG portLength = 0;

    std::atomic<uint64_t> requestsIssued{0};
    std::atomic<uint64_t> requestsCompleted{0};
    std::atomic<uint64_t> doubleCompletions{0};
    std::atomic<uint64_t> bufferOverruns{0};
    std::atomic<uint64_t> unmappedPortAccesses{0};
    std::atomic<uint64_t> lostInterrupts{0};
};

// True on a thread that is running a StartIo routine (io_manager.cpp).
bool InStartIo();

// Interrupt side, implemented in interrupts.cpp.
size_t ConnectedInterruptCount();

// Guard bytes behind every system buffer, checked when the request completes.
constexpr size_t kGuardBytes = 16;
constexpr UCHAR kGuardValue = 0xA5;

} // namespace orvix::kernel::detail

// The issuer's record of one request: the request itself, its system buffer and its
// completion, counted so that a second completion is seen. A finished record serves later
// requests; each use hands the driver the next of its request objects, so that a driver
// completing a request of one of the last kIrpSlots - 1 uses again completes no later one.
struct IRP_TRACKER {
    static constexpr unsigned kIrpSlots = 16;
    IRP irps[kIrpSlots]{};
    unsigned generation = 0; // uses so far; picks the current request object
    std::vector<UCHAR> buffer; // system buffer followed by guard bytes
    size_t bufferSize = 0;
    std::mutex mutex;
    std::condition_variable done;
    int completions = 0;
    bool abandoned = false; // the issuer stopped waiting; the completer frees the record

    PIRP Irp() { return &irps[generation % kIrpSlots]; }
};

namespace orvix::kernel::detail {

// A request for `device` with a system buffer of max(inLength, outLength) bytes
// holding the input.
IRP_TRACKER* NewRequest(PDEVICE_OBJECT device, UCHAR major, ULONG code, const void* input,
    ULONG inLength, ULONG outLength);
// Hands the request to the device's driver and waits for its completion. On time-out the
// request is abandoned (freed by whoever completes it), `*request` becomes null and
// STATUS_IO_TIMEOUT is returned; otherwise the request's final status.
NTSTATUS CallDriver(IRP_TRACKER** request, int timeoutMs);
void FreeRequest(IRP_TRACKER* request);

} // namespace orvix::kernel::detail
