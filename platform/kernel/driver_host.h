// The host through which the program reaches drivers that run over the kernel stand-in:
// it loads a driver's shared library, runs its DriverEntry, and sends the requests that
// opening, controlling and closing "\\.\NAME" make. Plain C++; every call is thread-safe.
//
// Typical use by a device-call layer:
//
//   auto& host = orvix::kernel::CDriverHost::Instance();
//   orvix::kernel::DeviceHandle h;
//   NTSTATUS s = host.Open("\\\\.\\TROVIK", &h);     // loads "trovik" on first use
//   if (!NT_SUCCESS(s)) error = orvix::kernel::Win32ErrorFromStatus(s);   // 2 or 50
//   ULONG got = 0;
//   s = host.DeviceControl(h, code, in, inLength, out, outLength, &got);
//   host.Close(h);
//
// Where a driver's library is looked for, first found wins:
//   1. the path given with SetLibraryPath(name, path);
//   2. lib<name>.so beside the running executable;
//   3. lib<name>.so in the build tree's driver folder;
//   4. lib<name>.so through the system's library search.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/kernel/nt_objects.h"

namespace orvix::kernel {

using DeviceHandle = uint64_t;
constexpr DeviceHandle kInvalidDeviceHandle = 0;

// How long a request may stay pending before the caller gives up on it.
constexpr int kRequestTimeoutMs = 10000;

// Win32 error codes for the statuses a device call can end with; 0 for success.
// Among them: 2 file not found (no such device), 50 not supported (no
// device-control interface), 122 insufficient buffer, 1 invalid function, 1460 time-out,
// 31 (general failure) for any other error status.
uint32_t Win32ErrorFromStatus(NTSTATUS status);

class CDriverHost {
public:
    static CDriverHost& Instance();
    ~CDriverHost();
    CDriverHost(const CDriverHost&) = delete;
    CDriverHost& operator=(const CDriverHost&) = delete;

    // The library file of driver `name` (e.g. "trovik"); an empty path restores the search.
    void SetLibraryPath(const std::string& name, const std::string& path);

    // Loads driver `name` and runs its DriverEntry; returns DriverEntry's status, or
    // STATUS_DLL_NOT_FOUND / STATUS_PROCEDURE_NOT_FOUND when there is nothing to run.
    // A driver whose entry returns anything but STATUS_SUCCESS is unloaded again, without
    // its unload routine. STATUS_SUCCESS when already loaded.
    NTSTATUS LoadDriver(const std::string& name);
    // Runs the driver's unload routine and unloads its library. STATUS_DEVICE_BUSY while
    // one of its devices is open; STATUS_OBJECT_NAME_NOT_FOUND when it is not loaded.
    NTSTATUS UnloadDriver(const std::string& name);
    bool IsLoaded(const std::string& name) const;

    // Opens "\\.\NAME" through the link "\DosDevices\NAME"; when no such link exists the
    // driver of the lower-case NAME is loaded first. Sends IRP_MJ_CREATE and returns its
    // status. STATUS_OBJECT_NAME_NOT_FOUND when no device answers to the name,
    // STATUS_NOT_SUPPORTED when its driver serves no device-control requests.
    NTSTATUS Open(const std::string& win32Path, DeviceHandle* handle);
    // A device-control request by the buffered method: the input is copied into the
    // request's system buffer, and on success min(reported, outLength) bytes are copied
    // back to `out` and counted in `*bytesReturned`.
    NTSTATUS DeviceControl(DeviceHandle handle, ULONG code, const void* in, ULONG inLength,
        void* out, ULONG outLength, ULONG* bytesReturned);
    // Sends IRP_MJ_CLOSE; the handle is gone afterwards whatever the status.
    NTSTATUS Close(DeviceHandle handle);

private:
    struct Driver;
    struct OpenDevice {
        std::string driver;
        PDEVICE_OBJECT device;
    };

    CDriverHost();
    NTSTATUS LoadLocked(const std::string& name);
    NTSTATUS UnloadLocked(const std::string& name);
    // Sends one request; `inFlight` of the device's driver keeps it loaded meanwhile.
    NTSTATUS Send(const OpenDevice& target, UCHAR major, ULONG code, const void* in,
        ULONG inLength, void* out, ULONG outLength, ULONG* bytesReturned);

    mutable std::mutex mutex_;
    std::map<std::string, std::string> libraryPaths_;
    std::map<std::string, std::unique_ptr<Driver>> drivers_;
    std::map<DeviceHandle, OpenDevice> handles_;
    DeviceHandle nextHandle_ = 1;
};

} // namespace orvix::kernel
