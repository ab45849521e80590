// Inside the Trovik driver: the device extension, the board's registers and the routines.
#pragma once
#include <atomic>

#include "driver/trovik_ioctl.h"
#include "platform/kernel/ntkernel.h"

#define TROVIK_ROUTINE extern "C" __attribute__((visibility("hidden")))

constexpr ULONG kTrovikMaxSamples = 10000;
constexpr ULONG kTrovikSampleLimit = 9999; // the count stops here; later ticks overwrite the last slot

struct TROVIK_DEVICE_EXTENSION {
    PDEVICE_OBJECT DeviceObject;
    PKINTERRUPT Interrupt;
    ULONG PortBase;
    ULONG IoctlCode;    // set by StartIo from its own request, for trovikDoIo
    UCHAR LastKey;      // read without the lock: access through LoadLastKey/StoreLastKey
    ULONG SampleCount;
    SHORT InputBC[kTrovikMaxSamples];
    SHORT InputA[kTrovikMaxSamples];
    ULONG SampleTime[kTrovikMaxSamples];
    ULONG TickCount;
    LONG TimeBase;
    PVOID IoBuffer;     // set by StartIo from its own request, for trovikDoIo
    ULONG BytesToReturn;
    ULONG IoBufferLength; // output length of that request: the copy never goes past it
};
using PTROVIK_DEVICE_EXTENSION = TROVIK_DEVICE_EXTENSION*;

// Board registers, as offsets from PortBase.
namespace trovik_port {
constexpr ULONG EventFlags = 0x00;   // 8255 #1 A: latched event flags
constexpr ULONG EventClear = 0x01;   // 8255 #1 B
constexpr ULONG EventStatus = 0x02;  // 8255 #1 C
constexpr ULONG EventControl = 0x03;
constexpr ULONG SecondControl = 0x07; // 8255 #2
constexpr ULONG OutputA = 0x08;      // 8255 #3
constexpr ULONG OutputB = 0x09;
constexpr ULONG RunControl = 0x0A;
constexpr ULONG OutputControl = 0x0B;
constexpr ULONG InputA = 0x0C;       // 8255 #4, all inputs
constexpr ULONG InputBCLow = 0x0D;
constexpr ULONG InputBCHigh = 0x0E;
constexpr ULONG InputControl = 0x0F;
constexpr ULONG Counter0 = 0x10;     // 8254
constexpr ULONG Counter1 = 0x11;
constexpr ULONG TimerControl = 0x13;
constexpr ULONG InterruptControl1 = 0x14;
constexpr ULONG InterruptControl2 = 0x15;
} // namespace trovik_port

constexpr UCHAR kRunStopped = 1;
constexpr UCHAR kRunRunning = 3;
constexpr UCHAR kEventLatchStatus = 0x38; // INTR A, INTE A, IBF A
constexpr UCHAR kTimerTickFlag = 0x20;

inline UCHAR ReadBoard(PTROVIK_DEVICE_EXTENSION ext, ULONG offset)
{
    return READ_PORT_UCHAR(reinterpret_cast<PUCHAR>(static_cast<ULONG_PTR>(ext->PortBase + offset)));
}

inline VOID WriteBoard(PTROVIK_DEVICE_EXTENSION ext, ULONG offset, UCHAR value)
{
    WRITE_PORT_UCHAR(reinterpret_cast<PUCHAR>(static_cast<ULONG_PTR>(ext->PortBase + offset)), value);
}

// The key letter is a single byte that the service routine writes while dispatch routines
// read it without the interrupt lock.
inline UCHAR LoadLastKey(PTROVIK_DEVICE_EXTENSION ext)
{
    return std::atomic_ref<UCHAR>(ext->LastKey).load(std::memory_order_relaxed);
}

inline VOID StoreLastKey(PTROVIK_DEVICE_EXTENSION ext, UCHAR key)
{
    std::atomic_ref<UCHAR>(ext->LastKey).store(key, std::memory_order_relaxed);
}

inline PTROVIK_DEVICE_EXTENSION Extension(PDEVICE_OBJECT device)
{
    return static_cast<PTROVIK_DEVICE_EXTENSION>(device->DeviceExtension);
}

extern UCHAR LastEventFlags;

extern "C" __attribute__((visibility("default"))) NTSTATUS DriverEntry(PDRIVER_OBJECT driver,
    PUNICODE_STRING registryPath);
TROVIK_ROUTINE NTSTATUS trovikOpen(PDEVICE_OBJECT device, PIRP irp);
TROVIK_ROUTINE NTSTATUS trovikClose(PDEVICE_OBJECT device, PIRP irp);
TROVIK_ROUTINE NTSTATUS trovikDeviceControl(PDEVICE_OBJECT device, PIRP irp);
TROVIK_ROUTINE VOID trovikStartIo(PDEVICE_OBJECT device, PIRP irp);
TROVIK_ROUTINE VOID trovikUnload(PDRIVER_OBJECT driver);
TROVIK_ROUTINE BOOLEAN trovikInterruptServiceRoutine(PKINTERRUPT interrupt, PVOID context);
TROVIK_ROUTINE VOID trovikDpcRoutine(PKDPC dpc, PVOID context, PVOID argument1, PVOID argument2);
TROVIK_ROUTINE BOOLEAN trovikDoIo(PVOID extension);
TROVIK_ROUTINE BOOLEAN trovikReportUsage(PDRIVER_OBJECT driver, PDEVICE_OBJECT device,
    ULONG portLow, LONG portHigh, PBOOLEAN conflictDetected);
// Gives the claim of trovikReportUsage back.
TROVIK_ROUTINE VOID trovikReleaseUsage(PDRIVER_OBJECT driver);
