// Bus addresses, port I/O, resource claims and pool memory.
#include <algorithm>
#include <cstdlib>
#include <shared_mutex>

#include "platform/kernel/kernel_state.h"
#include "platform/kernel/ntkernel.h"

using orvix::kernel::KernelCall;
using orvix::kernel::detail::CKernel;
using orvix::kernel::detail::ClaimRecord;

namespace {

// Guards the bus's attached device. Port accesses share it, so that an access made from
// inside another (a board callback that reaches the driver) cannot deadlock.
std::shared_mutex portMutex;

bool Overlap(const CM_PARTIAL_RESOURCE_DESCRIPTOR& a, const CM_PARTIAL_RESOURCE_DESCRIPTOR& b)
{
    if (a.Type != b.Type)
        return false;
    if (a.Type == CmResourceTypeInterrupt)
        return a.u.Interrupt.Level == b.u.Interrupt.Level;
    if (a.Type == CmResourceTypePort) {
        LONGLONG aStart = a.u.Port.Start.QuadPart, bStart = b.u.Port.Start.QuadPart;
        return aStart < bStart + b.u.Port.Length && bStart < aStart + a.u.Port.Length;
    }
    return false;
}

// The partial descriptors of a list, or false when the list does not fit its stated size.
bool ReadResourceList(const CM_RESOURCE_LIST* list, ULONG size,
    std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>& out)
{
    const auto* start = reinterpret_cast<const UCHAR*>(list);
    const UCHAR* end = start + size;
    if (size < offsetof(CM_RESOURCE_LIST, List))
        return false;
    const UCHAR* p = reinterpret_cast<const UCHAR*>(list->List);
    for (ULONG f = 0; f < list->Count; ++f) {
        constexpr size_t head = offsetof(CM_FULL_RESOURCE_DESCRIPTOR, PartialResourceList.PartialDescriptors);
        if (static_cast<size_t>(end - p) < head)
            return false;
        const auto* full = reinterpret_cast<const CM_FULL_RESOURCE_DESCRIPTOR*>(p);
        ULONG count = full->PartialResourceList.Count;
        if (static_cast<size_t>(end - p - head) / sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR) < count)
            return false;
        const CM_PARTIAL_RESOURCE_DESCRIPTOR* partial = full->PartialResourceList.PartialDescriptors;
        out.insert(out.end(), partial, partial + count);
        p += head + count * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
    }
    return true;
}

} // namespace

NTKERNELAPI BOOLEAN HalTranslateBusAddress(INTERFACE_TYPE bus, ULONG busNumber,
    PHYSICAL_ADDRESS busAddress, PULONG addressSpace, PPHYSICAL_ADDRESS translated)
{
    if (CKernel::Get().TakeFailure(KernelCall::HalTranslateBusAddress))
        return FALSE;
    if (bus != Isa || busNumber != 0)
        return FALSE;
    // I/O space maps one to one; the address space stays what the caller asked for.
    *translated = busAddress;
    return TRUE;
}

NTKERNELAPI UCHAR READ_PORT_UCHAR(PUCHAR port)
{
    CKernel& k = CKernel::Get();
    auto address = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(port));
    std::shared_lock lock(portMutex);
    if (!k.portDevice || address < k.portBase || address - k.portBase >= k.portLength) {
        ++k.unmappedPortAccesses;
        return 0xFF;
    }
    return k.portDevice->ReadPort(address - k.portBase);
}

NTKERNELAPI VOID WRITE_PORT_UCHAR(PUCHAR port, UCHAR value)
{
    CKernel& k = CKernel::Get();
    auto address = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(port));
    std::shared_lock lock(portMutex);
    if (!k.portDevice || address < k.portBase || address - k.portBase >= k.portLength) {
        ++k.unmappedPortAccesses;
        return;
    }
    k.portDevice->WritePort(address - k.portBase, value);
}

NTKERNELAPI NTSTATUS IoReportResourceUsage(PUNICODE_STRING driverClassName, PDRIVER_OBJECT driver,
    PCM_RESOURCE_LIST driverList, ULONG driverListSize, PDEVICE_OBJECT device,
    PCM_RESOURCE_LIST deviceList, ULONG deviceListSize, BOOLEAN overrideConflict,
    PBOOLEAN conflictDetected)
{
    CKernel& k = CKernel::Get();
    *conflictDetected = FALSE;
    if (auto failure = k.TakeFailure(KernelCall::IoReportResourceUsage))
        return *failure;
    if (!driver || (deviceList && deviceListSize))
        return STATUS_NOT_SUPPORTED; // claims are made for drivers only
    std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> resources;
    if (driverList && !ReadResourceList(driverList, driverListSize, resources))
        return STATUS_INVALID_PARAMETER;

    std::lock_guard lock(k.mutex);
    if (!resources.empty()) {
        bool conflict = k.conflictPending;
        k.conflictPending = false;
        for (const ClaimRecord& claim : k.claims)
            for (const auto& held : claim.resources)
                for (const auto& wanted : resources)
                    if (claim.owner != driver && Overlap(held, wanted))
                        conflict = true;
        if (conflict && !overrideConflict) {
            *conflictDetected = TRUE;
            return STATUS_SUCCESS;
        }
    }
    std::erase_if(k.claims, [&](const ClaimRecord& c) { return c.owner == driver; });
    if (!resources.empty())
        k.claims.push_back({driver, std::move(resources)});
    return STATUS_SUCCESS;
}

NTKERNELAPI PVOID ExAllocatePoolWithTag(POOL_TYPE type, size_t bytes, ULONG tag)
{
    CKernel& k = CKernel::Get();
    if (k.TakeFailure(KernelCall::ExAllocatePoolWithTag))
        return nullptr;
    void* block = std::calloc(1, bytes ? bytes : 1);
    if (!block)
        return nullptr;
    std::lock_guard lock(k.mutex);
    k.pool[block] = bytes;
    return block;
}

NTKERNELAPI VOID ExFreePool(PVOID block)
{
    CKernel& k = CKernel::Get();
    {
        std::lock_guard lock(k.mutex);
        if (!k.pool.erase(block))
            return; // not ours: leave it rather than corrupt the heap
    }
    std::free(block);
}

void orvix::kernel::AttachPortDevice(IPortDevice* device, ULONG base, ULONG length)
{
    CKernel& k = CKernel::Get();
    std::unique_lock lock(portMutex);
    k.portDevice = device;
    k.portBase = base;
    k.portLength = device ? length : 0;
}
