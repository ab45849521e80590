// Devices, names, the device queue behind StartIo, and request completion.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "platform/kernel/kernel_state.h"
#include "platform/kernel/ntkernel.h"

using orvix::kernel::KernelCall;
using orvix::kernel::detail::CKernel;

struct KDEVICE_QUEUE_STATE {
    std::mutex mutex;
    bool busy = false; // StartIo owns a request
    std::deque<PIRP> waiting;
};

namespace {

std::u16string ToString(const UNICODE_STRING* s)
{
    if (!s || !s->Buffer)
        return {};
    return std::u16string(s->Buffer, s->Length / sizeof(WCHAR));
}

constexpr std::align_val_t kExtensionAlignment{16};

// StartIo runs one request at a time per device. A StartIo that starts the next packet
// does not call itself recursively: the next request runs once it has returned.
thread_local PDEVICE_OBJECT tlStartIoDevice = nullptr;
thread_local PIRP tlDeferredNext = nullptr;

void RunStartIo(PDEVICE_OBJECT device, PIRP irp)
{
    while (irp) {
        PDEVICE_OBJECT outerDevice = tlStartIoDevice;
        PIRP outerNext = tlDeferredNext;
        tlStartIoDevice = device;
        tlDeferredNext = nullptr;
        device->DriverObject->DriverStartIo(device, irp);
        irp = tlDeferredNext;
        tlStartIoDevice = outerDevice;
        tlDeferredNext = outerNext;
    }
}

} // namespace

NTKERNELAPI VOID RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source)
{
    size_t length = 0;
    if (source)
        while (source[length])
            ++length;
    destination->Buffer = const_cast<PWSTR>(source);
    destination->Length = static_cast<USHORT>(length * sizeof(WCHAR));
    destination->MaximumLength = static_cast<USHORT>((length + 1) * sizeof(WCHAR));
}

NTKERNELAPI NTSTATUS IoCreateDevice(PDRIVER_OBJECT driver, ULONG extensionSize, PUNICODE_STRING name,
    ULONG deviceType, ULONG characteristics, BOOLEAN exclusive, PDEVICE_OBJECT* device)
{
    CKernel& k = CKernel::Get();
    *device = nullptr;
    if (auto failure = k.TakeFailure(KernelCall::IoCreateDevice))
        return *failure;
    std::u16string deviceName = ToString(name);
    std::lock_guard lock(k.mutex);
    if (!deviceName.empty())
        for (const auto& record : k.devices)
            if (orvix::kernel::detail::SameName(record.name, deviceName))
                return STATUS_OBJECT_NAME_COLLISION;

    auto* created = new DEVICE_OBJECT{};
    created->DriverObject = driver;
    created->DeviceType = deviceType;
    created->Characteristics = characteristics;
    if (extensionSize) {
        created->DeviceExtension = ::operator new(extensionSize, kExtensionAlignment);
        std::memset(created->DeviceExtension, 0, extensionSize);
    }
    created->DeviceQueue = new KDEVICE_QUEUE_STATE;
    created->NextDevice = driver->DeviceObject;
    driver->DeviceObject = created;
    k.devices.push_back({created, deviceName});
    *device = created;
    return STATUS_SUCCESS;
}

NTKERNELAPI VOID IoDeleteDevice(PDEVICE_OBJECT device)
{
    CKernel& k = CKernel::Get();
    {
        std::lock_guard lock(k.mutex);
        std::erase_if(k.devices, [&](const auto& r) { return r.device == device; });
        PDEVICE_OBJECT* link = &device->DriverObject->DeviceObject;
        while (*link && *link != device)
            link = &(*link)->NextDevice;
        if (*link)
            *link = device->NextDevice;
    }
    if (device->DeviceExtension)
        ::operator delete(device->DeviceExtension, kExtensionAlignment);
    delete device->DeviceQueue;
    delete device;
}

NTKERNELAPI NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING deviceName)
{
    CKernel& k = CKernel::Get();
    if (auto failure = k.TakeFailure(KernelCall::IoCreateSymbolicLink))
        return *failure;
    std::u16string name = ToString(link);
    std::lock_guard lock(k.mutex);
    for (const auto& existing : k.links)
        if (orvix::kernel::detail::SameName(existing.first, name))
            return STATUS_OBJECT_NAME_COLLISION;
    k.links.emplace_back(name, ToString(deviceName));
    return STATUS_SUCCESS;
}

NTKERNELAPI NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING link)
{
    CKernel& k = CKernel::Get();
    std::u16string name = ToString(link);
    std::lock_guard lock(k.mutex);
    size_t erased = std::erase_if(k.links,
        [&](const auto& existing) { return orvix::kernel::detail::SameName(existing.first, name); });
    return erased ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

NTKERNELAPI VOID IoStartPacket(PDEVICE_OBJECT device, PIRP irp, PULONG key, PDRIVER_CANCEL cancel)
{
    KDEVICE_QUEUE_STATE* queue = device->DeviceQueue;
    {
        std::lock_guard lock(queue->mutex);
        if (queue->busy) {
            queue->waiting.push_back(irp);
            return;
        }
        queue->busy = true;
        device->CurrentIrp = irp;
    }
    RunStartIo(device, irp);
}

NTKERNELAPI VOID IoStartNextPacket(PDEVICE_OBJECT device, BOOLEAN cancelable)
{
    KDEVICE_QUEUE_STATE* queue = device->DeviceQueue;
    PIRP next = nullptr;
    {
        std::lock_guard lock(queue->mutex);
        if (queue->waiting.empty()) {
            queue->busy = false;
        } else {
            next = queue->waiting.front();
            queue->waiting.pop_front();
        }
        device->CurrentIrp = next;
    }
    if (!next)
        return;
    if (tlStartIoDevice == device)
        tlDeferredNext = next;
    else
        RunStartIo(device, next);
}

NTKERNELAPI VOID IoCompleteRequest(PIRP irp, CHAR priorityBoost)
{
    using namespace orvix::kernel::detail;
    CKernel& k = CKernel::Get();
    IRP_TRACKER* request = irp->Tracker;
    bool freeRequest = false;
    {
        std::lock_guard lock(request->mutex);
        // Completed before, or a request of an earlier use of the record that the driver kept.
        if (irp != request->Irp() || ++request->completions > 1) {
            ++k.doubleCompletions;
            return;
        }
        ++k.requestsCompleted;
        auto guard = request->buffer.begin() + static_cast<ptrdiff_t>(request->bufferSize);
        if (std::any_of(guard, request->buffer.end(), [](UCHAR b) { return b != kGuardValue; }))
            ++k.bufferOverruns;
        if (request->abandoned)
            freeRequest = true;
        else
            request->done.notify_all();
    }
    if (freeRequest)
        orvix::kernel::detail::FreeRequest(request);
}

namespace orvix::kernel::detail {

namespace {

// Finished request records kept for the next requests, so that a program polling a device
// in its loop does not go to the allocator on every call.
constexpr size_t kSpareRequests = 8;
std::mutex g_spareMutex;
IRP_TRACKER* g_spare[kSpareRequests] = {};
size_t g_spareCount = 0;

IRP_TRACKER* TakeSpareRequest()
{
    {
        std::lock_guard lock(g_spareMutex);
        if (g_spareCount > 0)
            return g_spare[--g_spareCount];
    }
    return new IRP_TRACKER;
}

} // namespace

IRP_TRACKER* NewRequest(PDEVICE_OBJECT device, UCHAR major, ULONG code, const void* input,
    ULONG inLength, ULONG outLength)
{
    IRP_TRACKER* request = TakeSpareRequest();
    // A late completion of an earlier use may be looking at the record.
    std::lock_guard lock(request->mutex);
    ++request->generation;
    request->completions = 0;
    request->abandoned = false;
    request->bufferSize = std::max(inLength, outLength);
    request->buffer.assign(request->bufferSize + kGuardBytes, kGuardValue);
    if (inLength && input)
        std::memcpy(request->buffer.data(), input, inLength);
    IRP& irp = *request->Irp();
    irp = IRP{};
    irp.Tracker = request;
    irp.AssociatedIrp.SystemBuffer = request->bufferSize ? request->buffer.data() : nullptr;
    irp.Stack.MajorFunction = major;
    irp.Stack.DeviceObject = device;
    irp.Stack.Parameters.DeviceIoControl.IoControlCode = code;
    irp.Stack.Parameters.DeviceIoControl.InputBufferLength = inLength;
    irp.Stack.Parameters.DeviceIoControl.OutputBufferLength = outLength;
    return request;
}

NTSTATUS CallDriver(IRP_TRACKER** requestSlot, int timeoutMs)
{
    IRP_TRACKER* request = *requestSlot;
    PIRP irp = request->Irp();
    PDEVICE_OBJECT device = irp->Stack.DeviceObject;
    ++CKernel::Get().requestsIssued;
    NTSTATUS returned = device->DriverObject->MajorFunction[irp->Stack.MajorFunction](device, irp);

    std::unique_lock lock(request->mutex);
    auto completed = [&] { return request->completions > 0; };
    // A routine that returns a final status has completed its request already.
    bool done = returned != STATUS_PENDING
        ? completed()
        : request->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), completed);
    if (!done) {
        request->abandoned = true;
        *requestSlot = nullptr;
        return returned != STATUS_PENDING ? returned : STATUS_IO_TIMEOUT;
    }
    return irp->IoStatus.Status;
}

void FreeRequest(IRP_TRACKER* request)
{
    {
        std::lock_guard lock(g_spareMutex);
        if (g_spareCount < kSpareRequests) {
            g_spare[g_spareCount++] = request;
            return;
        }
    }
    delete request;
}

} // namespace orvix::kernel::detail

bool orvix::kernel::detail::InStartIo() { return tlStartIoDevice != nullptr; }

size_t orvix::kernel::QueuedPackets(PDEVICE_OBJECT device)
{
    std::lock_guard lock(device->DeviceQueue->mutex);
    return device->DeviceQueue->waiting.size();
}
