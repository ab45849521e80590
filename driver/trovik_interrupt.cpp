// The interrupt service routine and the deferred procedure call.
#include "driver/trovik.h"

namespace {

// The key bits in priority order: bit 1, bit 0, bit 3, bit 2, bit 4.
UCHAR KeyLetter(UCHAR flags)
{
    if (flags & 0x02) return 'B';
    if (flags & 0x01) return 'F';
    if (flags & 0x08) return 'R';
    if (flags & 0x04) return 'L';
    if (flags & 0x10) return 'C';
    return 0;
}

// Counter 0 back to a 20000 rate generator, counter 1 to 65535 in mode 0.
VOID ReloadTimer(PTROVIK_DEVICE_EXTENSION ext)
{
    using namespace trovik_port;
    WriteBoard(ext, TimerControl, 0x70);
    WriteBoard(ext, TimerControl, 0x34);
    WriteBoard(ext, TimerControl, 0x70);
    WriteBoard(ext, TimerControl, 0x34);
    WriteBoard(ext, Counter0, 0x20);
    WriteBoard(ext, Counter0, 0x4E);
    WriteBoard(ext, Counter1, 0xFF);
    WriteBoard(ext, Counter1, 0xFF);
}

VOID TakeSample(PTROVIK_DEVICE_EXTENSION ext)
{
    using namespace trovik_port;
    ULONG i = ext->SampleCount;
    // Unsigned 32-bit arithmetic throughout: the product wraps, as the board's clock does.
    ext->SampleTime[i] = ext->TickCount * 100u / 72u + static_cast<ULONG>(ext->TimeBase);
    ext->TickCount++;
    UCHAR high = ReadBoard(ext, InputBCHigh);
    UCHAR low = ReadBoard(ext, InputBCLow);
    ext->InputBC[i] = static_cast<SHORT>((high & 1) * 256 + low);
    ext->InputA[i] = ReadBoard(ext, InputA);
    if (ext->SampleCount < kTrovikSampleLimit)
        ext->SampleCount++;
}

} // namespace

TROVIK_ROUTINE BOOLEAN trovikInterruptServiceRoutine(PKINTERRUPT interrupt, PVOID context)
{
    using namespace trovik_port;
    auto device = static_cast<PDEVICE_OBJECT>(context);
    PTROVIK_DEVICE_EXTENSION ext = Extension(device);

    UCHAR status = ReadBoard(ext, EventStatus);
    if ((status & kEventLatchStatus) != kEventLatchStatus) {
        // Not the event latch: the counters interrupted.
        ReloadTimer(ext);
    } else {
        LastEventFlags = ReadBoard(ext, EventFlags);
        WriteBoard(ext, EventClear, LastEventFlags);
        WriteBoard(ext, EventClear, LastEventFlags);
        if (UCHAR key = KeyLetter(LastEventFlags))
            StoreLastKey(ext, key);
        if (LastEventFlags & kTimerTickFlag)
            TakeSample(ext);
    }
    if (LastEventFlags != 0) {
        WriteBoard(ext, EventClear, 0);
        WriteBoard(ext, EventClear, 0);
    }
    KeInsertQueueDpc(&device->Dpc, device->CurrentIrp.load(), nullptr);
    return TRUE;
}

TROVIK_ROUTINE VOID trovikDpcRoutine(PKDPC dpc, PVOID context, PVOID argument1, PVOID argument2)
{
    // The request passed in may be completed already: StartIo completes every request it
    // starts, so there is nothing left to do here and the request is not touched.
}
