// Interrupt objects, each served by its own thread, deferred procedure calls and
// KeSynchronizeExecution. A latched line: every request leads to one service call.
#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/kernel/kernel_state.h"
#include "platform/kernel/ntkernel.h"

using orvix::kernel::KernelCall;
using orvix::kernel::detail::CKernel;

struct KINTERRUPT {
    PKSERVICE_ROUTINE routine = nullptr;
    PVOID context = nullptr;
    ULONG level = 0;
    bool stop = false; // guarded by the controller's mutex
    std::mutex lock;   // the interrupt lock: held by the service routine and synchronised work
    std::thread thread;
};

namespace {

// ISA levels map to system vectors and IRQLs by fixed offsets of our choosing.
constexpr ULONG kVectorBase = 0x30;
constexpr ULONG kIsaLevels = 16;
constexpr KIRQL kIrqlTop = 27;

class CInterruptController {
public:
    static CInterruptController& Get()
    {
        static CInterruptController controller;
        return controller;
    }

    std::mutex mutex; // guards everything below and KDPC::Inserted
    std::condition_variable wake;
    std::condition_variable idle;
    std::vector<KINTERRUPT*> connected;
    int pending[kIsaLevels] = {};
    int inService = 0;
    std::deque<PKDPC> dpcs;

    bool IsIdle() const
    {
        return inService == 0 && dpcs.empty()
            && std::all_of(std::begin(pending), std::end(pending), [](int n) { return n == 0; });
    }
};

void RunQueuedDpcs(CInterruptController& c)
{
    for (;;) {
        PKDPC dpc;
        PVOID argument1, argument2;
        {
            std::lock_guard lock(c.mutex);
            if (c.dpcs.empty())
                return;
            dpc = c.dpcs.front();
            c.dpcs.pop_front();
            dpc->Inserted = false;
            argument1 = dpc->SystemArgument1;
            argument2 = dpc->SystemArgument2;
        }
        dpc->DeferredRoutine(dpc, dpc->DeferredContext, argument1, argument2);
    }
}

void ServeInterrupts(KINTERRUPT* interrupt)
{
    CInterruptController& c = CInterruptController::Get();
    for (;;) {
        {
            std::unique_lock lock(c.mutex);
            c.wake.wait(lock, [&] { return interrupt->stop || c.pending[interrupt->level] > 0; });
            if (interrupt->stop)
                return;
            --c.pending[interrupt->level];
            ++c.inService;
        }
        {
            std::lock_guard serviceLock(interrupt->lock);
            interrupt->routine(interrupt, interrupt->context);
        }
        RunQueuedDpcs(c);
        {
            std::lock_guard lock(c.mutex);
            --c.inService;
        }
        c.idle.notify_all();
    }
}

} // namespace

NTKERNELAPI ULONG HalGetInterruptVector(INTERFACE_TYPE bus, ULONG busNumber, ULONG level,
    ULONG vector, PKIRQL irql, PKAFFINITY affinity)
{
    if (bus != Isa || busNumber != 0 || level >= kIsaLevels)
        return 0;
    *irql = static_cast<KIRQL>(kIrqlTop - level);
    *affinity = 1;
    return kVectorBase + level;
}

NTKERNELAPI NTSTATUS IoConnectInterrupt(PKINTERRUPT* interrupt, PKSERVICE_ROUTINE routine,
    PVOID context, PKSPIN_LOCK spinLock, ULONG vector, KIRQL irql, KIRQL synchronizeIrql,
    KINTERRUPT_MODE mode, BOOLEAN shareVector, KAFFINITY processors, BOOLEAN floatingSave)
{
    *interrupt = nullptr;
    if (auto failure = CKernel::Get().TakeFailure(KernelCall::IoConnectInterrupt))
        return *failure;
    if (vector < kVectorBase || vector >= kVectorBase + kIsaLevels || !routine)
        return STATUS_INVALID_PARAMETER;
    CInterruptController& c = CInterruptController::Get();
    auto* created = new KINTERRUPT;
    created->routine = routine;
    created->context = context;
    created->level = vector - kVectorBase;
    {
        std::lock_guard lock(c.mutex);
        for (KINTERRUPT* other : c.connected)
            if (other->level == created->level) {
                delete created;
                return STATUS_INVALID_PARAMETER; // the line is not shared
            }
        c.connected.push_back(created);
    }
    created->thread = std::thread(ServeInterrupts, created);
    *interrupt = created;
    return STATUS_SUCCESS;
}

NTKERNELAPI VOID IoDisconnectInterrupt(PKINTERRUPT interrupt)
{
    CInterruptController& c = CInterruptController::Get();
    {
        std::lock_guard lock(c.mutex);
        interrupt->stop = true;
    }
    c.wake.notify_all();
    interrupt->thread.join();
    {
        std::lock_guard lock(c.mutex);
        std::erase(c.connected, interrupt);
        c.pending[interrupt->level] = 0;
    }
    c.idle.notify_all();
    delete interrupt;
}

NTKERNELAPI BOOLEAN KeSynchronizeExecution(PKINTERRUPT interrupt, PKSYNCHRONIZE_ROUTINE routine,
    PVOID context)
{
    CKernel& k = CKernel::Get();
    std::function<void()> hook;
    if (orvix::kernel::detail::InStartIo()) {
        std::lock_guard lock(k.mutex);
        hook.swap(k.beforeSynchronize);
    }
    if (hook)
        hook();
    std::lock_guard serviceLock(interrupt->lock);
    return routine(context);
}

NTKERNELAPI VOID KeInitializeDpc(PKDPC dpc, PKDEFERRED_ROUTINE routine, PVOID context)
{
    dpc->DeferredRoutine = routine;
    dpc->DeferredContext = context;
    dpc->SystemArgument1 = nullptr;
    dpc->SystemArgument2 = nullptr;
    dpc->Inserted = false;
}

NTKERNELAPI BOOLEAN KeInsertQueueDpc(PKDPC dpc, PVOID argument1, PVOID argument2)
{
    CInterruptController& c = CInterruptController::Get();
    std::lock_guard lock(c.mutex);
    if (dpc->Inserted)
        return FALSE;
    dpc->Inserted = true;
    dpc->SystemArgument1 = argument1;
    dpc->SystemArgument2 = argument2;
    c.dpcs.push_back(dpc);
    return TRUE;
}

namespace orvix::kernel {

void RequestInterrupt(ULONG level)
{
    CInterruptController& c = CInterruptController::Get();
    {
        std::lock_guard lock(c.mutex);
        bool served = level < kIsaLevels
            && std::any_of(c.connected.begin(), c.connected.end(),
                [&](KINTERRUPT* i) { return i->level == level; });
        if (!served) {
            ++detail::CKernel::Get().lostInterrupts;
            return;
        }
        ++c.pending[level];
    }
    c.wake.notify_all();
}

bool WaitForInterruptsIdle(int timeoutMs)
{
    CInterruptController& c = CInterruptController::Get();
    std::unique_lock lock(c.mutex);
    return c.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return c.IsIdle(); });
}

namespace detail {

size_t ConnectedInterruptCount()
{
    CInterruptController& c = CInterruptController::Get();
    std::lock_guard lock(c.mutex);
    return c.connected.size();
}

} // namespace detail
} // namespace orvix::kernel
