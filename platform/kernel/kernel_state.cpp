// The stand-in's bookkeeping and the controls of kernel_control.h.
#include "platform/kernel/kernel_state.h"

namespace orvix::kernel {
namespace detail {

CKernel& CKernel::Get()
{
    static CKernel kernel;
    return kernel;
}

std::optional<NTSTATUS> CKernel::TakeFailure(KernelCall call)
{
    std::lock_guard lock(mutex);
    auto it = failures.find(call);
    if (it == failures.end())
        return std::nullopt;
    NTSTATUS status = it->second;
    failures.erase(it);
    return status;
}

} // namespace detail

using detail::CKernel;

void InjectFailure(KernelCall call, NTSTATUS status)
{
    CKernel& k = CKernel::Get();
    std::lock_guard lock(k.mutex);
    k.failures[call] = status;
}

void InjectResourceConflict()
{
    CKernel& k = CKernel::Get();
    std::lock_guard lock(k.mutex);
    k.conflictPending = true;
}

void ClearInjectedFailures()
{
    CKernel& k = CKernel::Get();
    std::lock_guard lock(k.mutex);
    k.failures.clear();
    k.conflictPending = false;
}

KernelCounts Counts()
{
    CKernel& k = CKernel::Get();
    KernelCounts counts;
    counts.connectedInterrupts = detail::ConnectedInterruptCount();
    std::lock_guard lock(k.mutex);
    counts.devices = k.devices.size();
    counts.symbolicLinks = k.links.size();
    counts.resourceClaims = k.claims.size();
    counts.poolBlocks = k.pool.size();
    counts.requestsIssued = k.requestsIssued;
    counts.requestsCompleted = k.requestsCompleted;
    counts.doubleCompletions = k.doubleCompletions;
    counts.bufferOverruns = k.bufferOverruns;
    counts.unmappedPortAccesses = k.unmappedPortAccesses;
    counts.lostInterrupts = k.lostInterrupts;
    return counts;
}

PDEVICE_OBJECT FindDevice(const std::u16string& name)
{
    CKernel& k = CKernel::Get();
    std::lock_guard lock(k.mutex);
    for (const auto& record : k.devices)
        if (detail::SameName(record.name, name))
            return record.device;
    return nullptr;
}

std::u16string ResolveSymbolicLink(const std::u16string& link)
{
    CKernel& k = CKernel::Get();
    std::lock_guard lock(k.mutex);
    for (const auto& [name, device] : k.links)
        if (detail::SameName(name, link))
            return device;
    return {};
}

void SetBeforeSynchronizeHook(std::function<void()> hook)
{
    CKernel& k = CKernel::Get();
    std::lock_guard lock(k.mutex);
    k.beforeSynchronize = std::move(hook);
}

} // namespace orvix::kernel
