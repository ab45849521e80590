// Loading and unloading: the device, the resource claim, the interrupt and the link.
#include <cstddef>
#include <cstring>

#include "driver/trovik.h"

namespace {

constexpr ULONG kIsaPortAddress = 0x180;
constexpr ULONG kIsaInterrupt = 5;
constexpr ULONG kClaimedPorts = 4;
constexpr ULONG kPoolTag = 0x6B766F54; // "Tovk"

const WCHAR kDeviceName[] = u"\\Device\\Trovik";
const WCHAR kLinkName[] = u"\\DosDevices\\TROVIK";

CM_PARTIAL_RESOURCE_DESCRIPTOR* PartialDescriptor(PCM_RESOURCE_LIST list, ULONG index)
{
    constexpr size_t first = offsetof(CM_RESOURCE_LIST, List)
        + offsetof(CM_FULL_RESOURCE_DESCRIPTOR, PartialResourceList.PartialDescriptors);
    auto* bytes = reinterpret_cast<UCHAR*>(list) + first + index * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
    return reinterpret_cast<CM_PARTIAL_RESOURCE_DESCRIPTOR*>(bytes);
}

} // namespace

UCHAR LastEventFlags = 0;

TROVIK_ROUTINE BOOLEAN trovikReportUsage(PDRIVER_OBJECT driver, PDEVICE_OBJECT device,
    ULONG portLow, LONG portHigh, PBOOLEAN conflictDetected)
{
    *conflictDetected = FALSE;
    // One full descriptor with two partial ones; the list type holds the first already.
    ULONG size = sizeof(CM_RESOURCE_LIST) + sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
    auto list = static_cast<PCM_RESOURCE_LIST>(ExAllocatePoolWithTag(PagedPool, size, kPoolTag));
    if (!list)
        return FALSE;
    std::memset(list, 0, size);
    list->Count = 1;
    list->List[0].InterfaceType = Isa;
    list->List[0].BusNumber = 0;
    list->List[0].PartialResourceList.Count = 2;

    CM_PARTIAL_RESOURCE_DESCRIPTOR* port = PartialDescriptor(list, 0);
    port->Type = CmResourceTypePort;
    port->ShareDisposition = CmResourceShareDriverExclusive;
    port->Flags = CM_RESOURCE_PORT_IO;
    port->u.Port.Start.u.LowPart = portLow;
    port->u.Port.Start.u.HighPart = portHigh;
    port->u.Port.Length = kClaimedPorts;

    CM_PARTIAL_RESOURCE_DESCRIPTOR* interrupt = PartialDescriptor(list, 1);
    interrupt->Type = CmResourceTypeInterrupt;
    interrupt->ShareDisposition = CmResourceShareDriverExclusive;
    interrupt->Flags = CM_RESOURCE_INTERRUPT_LATCHED;
    interrupt->u.Interrupt.Level = kIsaInterrupt;
    interrupt->u.Interrupt.Vector = kIsaInterrupt;
    interrupt->u.Interrupt.Affinity = 0;

    NTSTATUS status = IoReportResourceUsage(nullptr, driver, list, size, nullptr, nullptr, 0, FALSE,
        conflictDetected);
    ExFreePool(list);
    // A report that fails outright claims nothing either.
    return NT_SUCCESS(status) && !*conflictDetected;
}

TROVIK_ROUTINE VOID trovikReleaseUsage(PDRIVER_OBJECT driver)
{
    CM_RESOURCE_LIST empty{};
    BOOLEAN conflict;
    IoReportResourceUsage(nullptr, driver, &empty, sizeof empty, nullptr, nullptr, 0, FALSE, &conflict);
}

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    LastEventFlags = 0;
    KIRQL irql;
    KAFFINITY affinity;
    ULONG vector = HalGetInterruptVector(Isa, 0, kIsaInterrupt, kIsaInterrupt, &irql, &affinity);

    PHYSICAL_ADDRESS busAddress;
    busAddress.QuadPart = kIsaPortAddress;
    ULONG addressSpace = 1; // I/O space
    PHYSICAL_ADDRESS portBase;
    if (!HalTranslateBusAddress(Isa, 0, busAddress, &addressSpace, &portBase))
        return STATUS_SOME_NOT_MAPPED;

    UNICODE_STRING deviceName;
    RtlInitUnicodeString(&deviceName, kDeviceName);
    PDEVICE_OBJECT device;
    NTSTATUS status = IoCreateDevice(driver, sizeof(TROVIK_DEVICE_EXTENSION), &deviceName,
        FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;

    driver->MajorFunction[IRP_MJ_CREATE] = trovikOpen;
    driver->MajorFunction[IRP_MJ_CLOSE] = trovikClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = trovikDeviceControl;
    driver->DriverUnload = trovikUnload;
    driver->DriverStartIo = trovikStartIo;

    BOOLEAN conflict = FALSE;
    if (!trovikReportUsage(driver, device, portBase.u.LowPart, portBase.u.HighPart, &conflict) || conflict) {
        IoDeleteDevice(device);
        return STATUS_INSUFFICIENT_RESOURCES;
    }

    KeInitializeDpc(&device->Dpc, trovikDpcRoutine, device);

    PTROVIK_DEVICE_EXTENSION ext = Extension(device);
    ext->DeviceObject = device;
    ext->PortBase = portBase.u.LowPart;
    ext->SampleCount = 0;
    ext->TickCount = 0;
    ext->TimeBase = 0;
    ext->LastKey = 'C';

    status = IoConnectInterrupt(&ext->Interrupt, trovikInterruptServiceRoutine, device, nullptr,
        vector, irql, irql, Latched, FALSE, affinity, FALSE);
    if (!NT_SUCCESS(status)) {
        trovikReleaseUsage(driver);
        IoDeleteDevice(device);
        return status;
    }

    UNICODE_STRING linkName;
    RtlInitUnicodeString(&linkName, kLinkName);
    status = IoCreateSymbolicLink(&linkName, &deviceName);
    if (!NT_SUCCESS(status)) {
        IoDisconnectInterrupt(ext->Interrupt);
        trovikReleaseUsage(driver);
        IoDeleteDevice(device);
        return status;
    }
    return STATUS_SUCCESS;
}

TROVIK_ROUTINE VOID trovikUnload(PDRIVER_OBJECT driver)
{
    PDEVICE_OBJECT device = driver->DeviceObject;
    IoDisconnectInterrupt(Extension(device)->Interrupt);
    trovikReleaseUsage(driver);
    UNICODE_STRING linkName;
    RtlInitUnicodeString(&linkName, kLinkName);
    IoDeleteSymbolicLink(&linkName);
    IoDeleteDevice(device);
}
