// The kernel and HAL calls a driver of ours may make. Each one is implemented by the
// user-space stand-in in this folder; see kernel_control.h for what tests can observe.
#pragma once
#include "platform/kernel/nt_base.h"
#include "platform/kernel/nt_objects.h"

// Counted strings
NTKERNELAPI VOID RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source);

// Devices and names
NTKERNELAPI NTSTATUS IoCreateDevice(PDRIVER_OBJECT driver, ULONG extensionSize, PUNICODE_STRING name,
    ULONG deviceType, ULONG characteristics, BOOLEAN exclusive, PDEVICE_OBJECT* device);
NTKERNELAPI VOID IoDeleteDevice(PDEVICE_OBJECT device);
NTKERNELAPI NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING deviceName);
NTKERNELAPI NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING link);

// Resources. A list with Count 0 releases the driver's claim.
NTKERNELAPI NTSTATUS IoReportResourceUsage(PUNICODE_STRING driverClassName, PDRIVER_OBJECT driver,
    PCM_RESOURCE_LIST driverList, ULONG driverListSize, PDEVICE_OBJECT device,
    PCM_RESOURCE_LIST deviceList, ULONG deviceListSize, BOOLEAN overrideConflict,
    PBOOLEAN conflictDetected);
NTKERNELAPI ULONG HalGetInterruptVector(INTERFACE_TYPE bus, ULONG busNumber, ULONG level,
    ULONG vector, PKIRQL irql, PKAFFINITY affinity);
// addressSpace: 1 for I/O space on input and output.
NTKERNELAPI BOOLEAN HalTranslateBusAddress(INTERFACE_TYPE bus, ULONG busNumber,
    PHYSICAL_ADDRESS busAddress, PULONG addressSpace, PPHYSICAL_ADDRESS translated);

// Port I/O: the port "pointer" is an I/O-space address, never dereferenced.
NTKERNELAPI UCHAR READ_PORT_UCHAR(PUCHAR port);
NTKERNELAPI VOID WRITE_PORT_UCHAR(PUCHAR port, UCHAR value);

// Interrupts: the service routine runs on the interrupt's own thread, holding the
// interrupt's lock; KeSynchronizeExecution takes the same lock.
NTKERNELAPI NTSTATUS IoConnectInterrupt(PKINTERRUPT* interrupt, PKSERVICE_ROUTINE routine,
    PVOID context, PKSPIN_LOCK spinLock, ULONG vector, KIRQL irql, KIRQL synchronizeIrql,
    KINTERRUPT_MODE mode, BOOLEAN shareVector, KAFFINITY processors, BOOLEAN floatingSave);
NTKERNELAPI VOID IoDisconnectInterrupt(PKINTERRUPT interrupt);
NTKERNELAPI BOOLEAN KeSynchronizeExecution(PKINTERRUPT interrupt, PKSYNCHRONIZE_ROUTINE routine,
    PVOID context);

// Deferred procedure calls: run on the interrupt thread once its service routine returns.
NTKERNELAPI VOID KeInitializeDpc(PKDPC dpc, PKDEFERRED_ROUTINE routine, PVOID context);
NTKERNELAPI BOOLEAN KeInsertQueueDpc(PKDPC dpc, PVOID argument1, PVOID argument2);

// The device queue: one StartIo at a time per device.
NTKERNELAPI VOID IoStartPacket(PDEVICE_OBJECT device, PIRP irp, PULONG key, PDRIVER_CANCEL cancel);
NTKERNELAPI VOID IoStartNextPacket(PDEVICE_OBJECT device, BOOLEAN cancelable);
NTKERNELAPI VOID IoCompleteRequest(PIRP irp, CHAR priorityBoost);

// Pool memory
NTKERNELAPI PVOID ExAllocatePoolWithTag(POOL_TYPE type, size_t bytes, ULONG tag);
NTKERNELAPI VOID ExFreePool(PVOID block);
