// Open, close, device control, StartIo and the work done under the interrupt lock.
#include <algorithm>
#include <bit>
#include <cstring>

#include "driver/trovik.h"

static_assert(std::endian::native == std::endian::little, "sample records are little-endian");

namespace {

NTSTATUS CompleteNow(PIRP irp, NTSTATUS status, ULONG bytes)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = bytes;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS Queue(PDEVICE_OBJECT device, PIRP irp)
{
    IoMarkIrpPending(irp);
    IoStartPacket(device, irp, nullptr, nullptr);
    return STATUS_PENDING;
}

// Every reset of the sample state takes the interrupt lock, so that it never interleaves
// with a sample being taken.
BOOLEAN ResetForOpen(PVOID context)
{
    auto ext = static_cast<PTROVIK_DEVICE_EXTENSION>(context);
    ext->SampleCount = 0;
    StoreLastKey(ext, 'C');
    return TRUE;
}

BOOLEAN ResetForClose(PVOID context)
{
    static_cast<PTROVIK_DEVICE_EXTENSION>(context)->SampleCount = 0;
    return TRUE;
}

BOOLEAN ResetForStart(PVOID context)
{
    auto ext = static_cast<PTROVIK_DEVICE_EXTENSION>(context);
    ext->SampleCount = 0;
    ext->TickCount = 0;
    ext->TimeBase = 0;
    return TRUE;
}

struct SampleCountQuery {
    PTROVIK_DEVICE_EXTENSION ext;
    ULONG count;
};

BOOLEAN ReadSampleCount(PVOID context)
{
    auto query = static_cast<SampleCountQuery*>(context);
    query->count = query->ext->SampleCount;
    return TRUE;
}

// Copies as many stored samples as fit the request's buffer. Samples that arrived after
// the dispatch-time size check and do not fit are kept for the next read.
VOID CopySamples(PTROVIK_DEVICE_EXTENSION ext)
{
    ULONG fit = std::min<ULONG>(ext->SampleCount, ext->IoBufferLength / sizeof(TROVIK_SAMPLE));
    auto out = static_cast<UCHAR*>(ext->IoBuffer);
    for (ULONG i = 0; i < fit; ++i) {
        TROVIK_SAMPLE record{ext->InputBC[i], ext->InputA[i], ext->SampleTime[i]};
        std::memcpy(out + i * sizeof record, &record, sizeof record);
    }
    ULONG kept = ext->SampleCount - fit;
    std::memmove(ext->InputBC, ext->InputBC + fit, kept * sizeof ext->InputBC[0]);
    std::memmove(ext->InputA, ext->InputA + fit, kept * sizeof ext->InputA[0]);
    std::memmove(ext->SampleTime, ext->SampleTime + fit, kept * sizeof ext->SampleTime[0]);
    ext->SampleCount = kept;
    ext->BytesToReturn = fit * sizeof(TROVIK_SAMPLE);
}

} // namespace

TROVIK_ROUTINE NTSTATUS trovikOpen(PDEVICE_OBJECT device, PIRP irp)
{
    using namespace trovik_port;
    PTROVIK_DEVICE_EXTENSION ext = Extension(device);
    WriteBoard(ext, InterruptControl1, 0);
    WriteBoard(ext, InterruptControl2, 0);
    KeSynchronizeExecution(ext->Interrupt, ResetForOpen, ext);
    // Counter 0: rate generator, 20000. Counter 1: mode 0, 65535.
    WriteBoard(ext, TimerControl, 0x34);
    WriteBoard(ext, Counter0, 0x20);
    WriteBoard(ext, Counter0, 0x4E);
    WriteBoard(ext, TimerControl, 0x70);
    WriteBoard(ext, Counter1, 0xFF);
    WriteBoard(ext, Counter1, 0xFF);
    WriteBoard(ext, InterruptControl1, 1);
    WriteBoard(ext, InterruptControl2, 7);
    WriteBoard(ext, EventClear, 0xFF);
    WriteBoard(ext, EventClear, 0x00);
    // 8255 #1 and #2: strobed input on A with its interrupt enabled (PC4).
    WriteBoard(ext, EventControl, 0xB9);
    WriteBoard(ext, EventControl, 0x09);
    WriteBoard(ext, SecondControl, 0xB9);
    WriteBoard(ext, SecondControl, 0x09);
    WriteBoard(ext, OutputControl, 0x80);
    WriteBoard(ext, InputControl, 0x9B);
    WriteBoard(ext, RunControl, kRunStopped);
    WriteBoard(ext, OutputA, 0);
    return CompleteNow(irp, STATUS_SUCCESS, 0);
}

TROVIK_ROUTINE NTSTATUS trovikClose(PDEVICE_OBJECT device, PIRP irp)
{
    using namespace trovik_port;
    PTROVIK_DEVICE_EXTENSION ext = Extension(device);
    // Control words without counts stop both counters.
    WriteBoard(ext, TimerControl, 0x30);
    WriteBoard(ext, TimerControl, 0x70);
    WriteBoard(ext, InterruptControl1, 0);
    WriteBoard(ext, InterruptControl2, 0);
    KeSynchronizeExecution(ext->Interrupt, ResetForClose, ext);
    WriteBoard(ext, TimerControl, 0x34);
    WriteBoard(ext, TimerControl, 0x70);
    WriteBoard(ext, InterruptControl1, 1);
    WriteBoard(ext, InterruptControl2, 7);
    WriteBoard(ext, EventClear, 0xFF);
    WriteBoard(ext, EventClear, 0x00);
    WriteBoard(ext, RunControl, kRunStopped);
    WriteBoard(ext, OutputA, 0);
    return CompleteNow(irp, STATUS_SUCCESS, 0);
}

TROVIK_ROUTINE NTSTATUS trovikDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    PTROVIK_DEVICE_EXTENSION ext = Extension(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    auto buffer = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);

    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_TROVIK_START:
        KeSynchronizeExecution(ext->Interrupt, ResetForStart, ext);
        WriteBoard(ext, trovik_port::RunControl, kRunRunning);
        return CompleteNow(irp, STATUS_SUCCESS, 0);
    case IOCTL_TROVIK_STOP:
        WriteBoard(ext, trovik_port::RunControl, kRunStopped);
        return CompleteNow(irp, STATUS_SUCCESS, 0);
    case IOCTL_TROVIK_CLEAR:
        return Queue(device, irp);
    case IOCTL_TROVIK_READ_SAMPLES: {
        SampleCountQuery query{ext, 0};
        KeSynchronizeExecution(ext->Interrupt, ReadSampleCount, &query);
        if (outLength / sizeof(TROVIK_SAMPLE) < query.count)
            return CompleteNow(irp, STATUS_BUFFER_TOO_SMALL, 0);
        return Queue(device, irp);
    }
    case IOCTL_TROVIK_GET_KEY:
        if (outLength < 1)
            return CompleteNow(irp, STATUS_BUFFER_TOO_SMALL, 0);
        buffer[0] = LoadLastKey(ext);
        return CompleteNow(irp, STATUS_SUCCESS, 1);
    case IOCTL_TROVIK_WRITE_A:
        if (inLength < 1)
            return CompleteNow(irp, STATUS_BUFFER_TOO_SMALL, 0);
        WriteBoard(ext, trovik_port::OutputA, buffer[0]);
        return CompleteNow(irp, STATUS_SUCCESS, 0);
    case IOCTL_TROVIK_SET_TIME_BASE:
        if (inLength < sizeof(LONG))
            return CompleteNow(irp, STATUS_BUFFER_TOO_SMALL, 0);
        return Queue(device, irp);
    case IOCTL_TROVIK_WRITE_B:
        if (inLength < 1)
            return CompleteNow(irp, STATUS_BUFFER_TOO_SMALL, 0);
        WriteBoard(ext, trovik_port::OutputB, buffer[0]);
        return CompleteNow(irp, STATUS_SUCCESS, 0);
    default:
        return CompleteNow(irp, STATUS_SUCCESS, 0);
    }
}

TROVIK_ROUTINE VOID trovikStartIo(PDEVICE_OBJECT device, PIRP irp)
{
    PTROVIK_DEVICE_EXTENSION ext = Extension(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    // Taken from this request, not from its dispatch: other requests may have been
    // dispatched since. StartIo runs one request at a time, so the slot is ours here.
    ext->IoctlCode = stack->Parameters.DeviceIoControl.IoControlCode;
    ext->IoBuffer = irp->AssociatedIrp.SystemBuffer;
    ext->IoBufferLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    KeSynchronizeExecution(ext->Interrupt, trovikDoIo, ext);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = ext->BytesToReturn;
    IoStartNextPacket(device, FALSE);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

TROVIK_ROUTINE BOOLEAN trovikDoIo(PVOID context)
{
    auto ext = static_cast<PTROVIK_DEVICE_EXTENSION>(context);
    switch (ext->IoctlCode) {
    case IOCTL_TROVIK_CLEAR:
        ext->SampleCount = 0;
        ext->TimeBase = 0;
        ext->TickCount = 0;
        ext->BytesToReturn = 0;
        break;
    case IOCTL_TROVIK_READ_SAMPLES:
        CopySamples(ext);
        break;
    case IOCTL_TROVIK_SET_TIME_BASE:
        std::memcpy(&ext->TimeBase, ext->IoBuffer, sizeof ext->TimeBase);
        ext->TickCount = 0;
        ext->BytesToReturn = 0;
        break;
    default:
        ext->BytesToReturn = 0;
        break;
    }
    return TRUE;
}
