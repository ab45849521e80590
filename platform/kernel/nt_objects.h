// Driver, device and request objects, deferred procedure calls and resource lists of the
// kernel stand-in. Fields a driver may touch keep the kernel's names; the stand-in's own
// bookkeeping hangs off opaque pointers.
#pragma once
#include <atomic>

#include "platform/kernel/nt_base.h"

struct DRIVER_OBJECT;
struct DEVICE_OBJECT;
struct IRP;
struct KDPC;
struct KINTERRUPT;          // opaque: defined by the stand-in
struct KDEVICE_QUEUE_STATE; // opaque: the device's queue of started requests
struct IRP_TRACKER;         // opaque: the issuer's completion record

using PDRIVER_OBJECT = DRIVER_OBJECT*;
using PDEVICE_OBJECT = DEVICE_OBJECT*;
using PIRP = IRP*;
using PKDPC = KDPC*;
using PKINTERRUPT = KINTERRUPT*;
using KSPIN_LOCK = ULONG_PTR;
using PKSPIN_LOCK = KSPIN_LOCK*;

using PDRIVER_INITIALIZE = NTSTATUS (*)(PDRIVER_OBJECT, PUNICODE_STRING);
using PDRIVER_DISPATCH = NTSTATUS (*)(PDEVICE_OBJECT, PIRP);
using PDRIVER_STARTIO = VOID (*)(PDEVICE_OBJECT, PIRP);
using PDRIVER_UNLOAD = VOID (*)(PDRIVER_OBJECT);
using PDRIVER_CANCEL = VOID (*)(PDEVICE_OBJECT, PIRP);
using PKSERVICE_ROUTINE = BOOLEAN (*)(PKINTERRUPT, PVOID);
using PKSYNCHRONIZE_ROUTINE = BOOLEAN (*)(PVOID);
using PKDEFERRED_ROUTINE = VOID (*)(PKDPC, PVOID, PVOID, PVOID);

constexpr UCHAR IRP_MJ_CREATE = 0x00;
constexpr UCHAR IRP_MJ_CLOSE = 0x02;
constexpr UCHAR IRP_MJ_DEVICE_CONTROL = 0x0E;
constexpr UCHAR IRP_MJ_MAXIMUM_FUNCTION = 0x1B;

constexpr UCHAR SL_PENDING_RETURNED = 0x01;

struct DRIVER_OBJECT {
    PDEVICE_OBJECT DeviceObject; // first of the driver's devices
    PDRIVER_STARTIO DriverStartIo;
    PDRIVER_UNLOAD DriverUnload;
    PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
};

struct KDPC {
    PKDEFERRED_ROUTINE DeferredRoutine;
    PVOID DeferredContext;
    PVOID SystemArgument1;
    PVOID SystemArgument2;
    bool Inserted; // guarded by the stand-in's DPC queue lock
};

struct DEVICE_OBJECT {
    PDRIVER_OBJECT DriverObject;
    PDEVICE_OBJECT NextDevice;
    // The request StartIo is working on. Read by interrupt routines on another thread,
    // hence atomic.
    std::atomic<PIRP> CurrentIrp;
    ULONG DeviceType;
    ULONG Characteristics;
    PVOID DeviceExtension;
    KDPC Dpc;
    KDEVICE_QUEUE_STATE* DeviceQueue;
};

struct IO_STATUS_BLOCK {
    NTSTATUS Status;
    ULONG_PTR Information;
};

struct IO_STACK_LOCATION {
    UCHAR MajorFunction;
    UCHAR MinorFunction;
    UCHAR Control;
    union {
        struct {
            ULONG OutputBufferLength;
            ULONG InputBufferLength;
            ULONG IoControlCode;
        } DeviceIoControl;
    } Parameters;
    PDEVICE_OBJECT DeviceObject;
};
using PIO_STACK_LOCATION = IO_STACK_LOCATION*;

// No driver stacks here, so a request carries a single stack location.
struct IRP {
    IO_STATUS_BLOCK IoStatus;
    union {
        PVOID SystemBuffer;
    } AssociatedIrp;
    IO_STACK_LOCATION Stack;
    IRP_TRACKER* Tracker;
};

inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP irp) { return &irp->Stack; }
inline VOID IoMarkIrpPending(PIRP irp) { irp->Stack.Control |= SL_PENDING_RETURNED; }

// Resource lists as the claim reports them.
constexpr UCHAR CmResourceTypePort = 1;
constexpr UCHAR CmResourceTypeInterrupt = 2;
constexpr UCHAR CmResourceShareDeviceExclusive = 1;
constexpr UCHAR CmResourceShareDriverExclusive = 2;
constexpr USHORT CM_RESOURCE_PORT_IO = 0x0001;
constexpr USHORT CM_RESOURCE_INTERRUPT_LATCHED = 0x0001;

struct CM_PARTIAL_RESOURCE_DESCRIPTOR {
    UCHAR Type;
    UCHAR ShareDisposition;
    USHORT Flags;
    union {
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Port;
        struct {
            ULONG Level;
            ULONG Vector;
            KAFFINITY Affinity;
        } Interrupt;
    } u;
};

struct CM_PARTIAL_RESOURCE_LIST {
    USHORT Version;
    USHORT Revision;
    ULONG Count;
    CM_PARTIAL_RESOURCE_DESCRIPTOR PartialDescriptors[1]; // Count entries follow
};

struct CM_FULL_RESOURCE_DESCRIPTOR {
    INTERFACE_TYPE InterfaceType;
    ULONG BusNumber;
    CM_PARTIAL_RESOURCE_LIST PartialResourceList;
};

struct CM_RESOURCE_LIST {
    ULONG Count;
    CM_FULL_RESOURCE_DESCRIPTOR List[1]; // Count entries follow
};
using PCM_RESOURCE_LIST = CM_RESOURCE_LIST*;
