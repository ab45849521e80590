#include "platform/kernel/driver_host.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

#include "platform/kernel/kernel_state.h"
#include "platform/kernel/ntkernel.h"
#include "platform/kernel/sim_board.h"

namespace orvix::kernel {

namespace {

// Completes requests for major functions a driver does not serve.
NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp)
{
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
        [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

bool Exists(const std::string& path) { return !path.empty() && access(path.c_str(), R_OK) == 0; }

std::string ExecutableFolder()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    return path.substr(0, path.find_last_of('/'));
}

} // namespace

uint32_t Win32ErrorFromStatus(NTSTATUS status)
{
    switch (status) {
    case STATUS_SUCCESS: return 0;
    case STATUS_OBJECT_NAME_NOT_FOUND: return 2; // ERROR_FILE_NOT_FOUND
    case STATUS_DLL_NOT_FOUND: return 126;      // ERROR_MOD_NOT_FOUND
    case STATUS_NOT_SUPPORTED: return 50;       // ERROR_NOT_SUPPORTED
    case STATUS_INVALID_DEVICE_REQUEST: return 1; // ERROR_INVALID_FUNCTION
    case STATUS_BUFFER_TOO_SMALL: return 122;   // ERROR_INSUFFICIENT_BUFFER
    case STATUS_INVALID_PARAMETER: return 87;   // ERROR_INVALID_PARAMETER
    case STATUS_DEVICE_BUSY: return 170;        // ERROR_BUSY
    case STATUS_IO_TIMEOUT: return 1460;        // ERROR_TIMEOUT
    case STATUS_INSUFFICIENT_RESOURCES: return 1450; // ERROR_NO_SYSTEM_RESOURCES
    default: return NT_SUCCESS(status) ? 0 : 31; // ERROR_GEN_FAILURE
    }
}

struct CDriverHost::Driver {
    void* library = nullptr;
    DRIVER_OBJECT object{};
    int openHandles = 0;
    int inFlight = 0;
};

CDriverHost& CDriverHost::Instance()
{
    static CDriverHost host;
    return host;
}

CDriverHost::CDriverHost()
{
    // Construct what drivers use first, so that it is destroyed after the host.
    Counts();
    Board();
}

CDriverHost::~CDriverHost()
{
    std::vector<DeviceHandle> open;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [handle, device] : handles_)
            open.push_back(handle);
    }
    for (DeviceHandle handle : open)
        Close(handle);
    std::lock_guard lock(mutex_);
    while (!drivers_.empty())
        if (!NT_SUCCESS(UnloadLocked(drivers_.begin()->first)))
            drivers_.erase(drivers_.begin()); // cannot unload: leave its library mapped
}

void CDriverHost::SetLibraryPath(const std::string& name, const std::string& path)
{
    std::lock_guard lock(mutex_);
    if (path.empty())
        libraryPaths_.erase(name);
    else
        libraryPaths_[name] = path;
}

NTSTATUS CDriverHost::LoadDriver(const std::string& name)
{
    std::lock_guard lock(mutex_);
    return LoadLocked(name);
}

NTSTATUS CDriverHost::LoadLocked(const std::string& name)
{
    if (drivers_.count(name))
        return STATUS_SUCCESS;
    std::string file = "lib" + name + ".so";
    std::vector<std::string> candidates;
    if (auto it = libraryPaths_.find(name); it != libraryPaths_.end())
        candidates.push_back(it->second);
    candidates.push_back(ExecutableFolder() + "/" + file);
#ifdef ORVIX_DRIVER_BUILD_DIR
    candidates.push_back(std::string(ORVIX_DRIVER_BUILD_DIR) + "/" + file);
#endif
    void* library = nullptr;
    for (const std::string& path : candidates)
        if (Exists(path) && (library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)))
            break;
    if (!library && !(library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)))
        return STATUS_DLL_NOT_FOUND;
    auto entry = reinterpret_cast<PDRIVER_INITIALIZE>(dlsym(library, "DriverEntry"));
    if (!entry) {
        dlclose(library);
        return STATUS_PROCEDURE_NOT_FOUND;
    }

    auto driver = std::make_unique<Driver>();
    driver->library = library;
    std::fill(std::begin(driver->object.MajorFunction), std::end(driver->object.MajorFunction),
        &InvalidDeviceRequest);
    std::u16string registryPath = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + Widen(name);
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, registryPath.c_str());
    NTSTATUS status = entry(&driver->object, &path);
    // Informational statuses such as STATUS_SOME_NOT_MAPPED report a load that failed too.
    if (status != STATUS_SUCCESS) {
        dlclose(library);
        return status;
    }
    drivers_[name] = std::move(driver);
    return status;
}

NTSTATUS CDriverHost::UnloadDriver(const std::string& name)
{
    std::lock_guard lock(mutex_);
    return UnloadLocked(name);
}

NTSTATUS CDriverHost::UnloadLocked(const std::string& name)
{
    auto it = drivers_.find(name);
    if (it == drivers_.end())
        return STATUS_OBJECT_NAME_NOT_FOUND;
    Driver& driver = *it->second;
    if (driver.openHandles || driver.inFlight)
        return STATUS_DEVICE_BUSY;
    if (!driver.object.DriverUnload)
        return STATUS_INVALID_DEVICE_REQUEST; // a driver without unload stays
    driver.object.DriverUnload(&driver.object);
    dlclose(driver.library);
    drivers_.erase(it);
    return STATUS_SUCCESS;
}

bool CDriverHost::IsLoaded(const std::string& name) const
{
    std::lock_guard lock(mutex_);
    return drivers_.count(name) != 0;
}

NTSTATUS CDriverHost::Open(const std::string& win32Path, DeviceHandle* handle)
{
    *handle = kInvalidDeviceHandle;
    static const std::string prefix = "\\\\.\\";
    if (win32Path.compare(0, prefix.size(), prefix) != 0 || win32Path.size() == prefix.size())
        return STATUS_OBJECT_NAME_NOT_FOUND;
    std::string name = win32Path.substr(prefix.size());
    std::u16string link = u"\\DosDevices\\" + Widen(name);

    OpenDevice target;
    {
        std::lock_guard lock(mutex_);
        std::u16string deviceName = ResolveSymbolicLink(link);
        if (deviceName.empty() && NT_SUCCESS(LoadLocked(Lower(name))))
            deviceName = ResolveSymbolicLink(link);
        PDEVICE_OBJECT device = deviceName.empty() ? nullptr : FindDevice(deviceName);
        if (!device)
            return STATUS_OBJECT_NAME_NOT_FOUND;
        auto owner = std::find_if(drivers_.begin(), drivers_.end(),
            [&](const auto& d) { return &d.second->object == device->DriverObject; });
        if (owner == drivers_.end())
            return STATUS_OBJECT_NAME_NOT_FOUND;
        if (owner->second->object.MajorFunction[IRP_MJ_DEVICE_CONTROL] == &InvalidDeviceRequest)
            return STATUS_NOT_SUPPORTED;
        target = {owner->first, device};
        ++owner->second->inFlight; // keeps the driver loaded until the handle exists
    }
    ULONG ignored;
    NTSTATUS status = Send(target, IRP_MJ_CREATE, 0, nullptr, 0, nullptr, 0, &ignored);
    std::lock_guard lock(mutex_);
    Driver& driver = *drivers_.at(target.driver);
    --driver.inFlight;
    if (!NT_SUCCESS(status))
        return status;
    *handle = nextHandle_++;
    handles_[*handle] = target;
    ++driver.openHandles;
    return status;
}

NTSTATUS CDriverHost::DeviceControl(DeviceHandle handle, ULONG code, const void* in,
    ULONG inLength, void* out, ULONG outLength, ULONG* bytesReturned)
{
    *bytesReturned = 0;
    OpenDevice target;
    {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end())
            return STATUS_INVALID_PARAMETER;
        target = it->second;
    }
    return Send(target, IRP_MJ_DEVICE_CONTROL, code, in, inLength, out, outLength, bytesReturned);
}

NTSTATUS CDriverHost::Close(DeviceHandle handle)
{
    OpenDevice target;
    {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end())
            return STATUS_INVALID_PARAMETER;
        target = it->second;
        handles_.erase(it);
        // Still counted as in flight until the close request is done.
        Driver& driver = *drivers_.at(target.driver);
        --driver.openHandles;
        ++driver.inFlight;
    }
    ULONG ignored;
    NTSTATUS status = Send(target, IRP_MJ_CLOSE, 0, nullptr, 0, nullptr, 0, &ignored);
    std::lock_guard lock(mutex_);
    --drivers_.at(target.driver)->inFlight;
    return status;
}

NTSTATUS CDriverHost::Send(const OpenDevice& target, UCHAR major, ULONG code, const void* in,
    ULONG inLength, void* out, ULONG outLength, ULONG* bytesReturned)
{
    *bytesReturned = 0;
    {
        std::lock_guard lock(mutex_);
        auto it = drivers_.find(target.driver);
        if (it == drivers_.end())
            return STATUS_INVALID_PARAMETER;
        ++it->second->inFlight;
    }
    IRP_TRACKER* request = detail::NewRequest(target.device, major, code, in, inLength, outLength);
    NTSTATUS status = detail::CallDriver(&request, kRequestTimeoutMs);
    if (request) {
        ULONG_PTR reported = request->Irp()->IoStatus.Information;
        if (NT_SUCCESS(status) && out && outLength) {
            if (reported > outLength)
                ++detail::CKernel::Get().bufferOverruns; // the driver claims more than was asked
            ULONG copied = static_cast<ULONG>(std::min<ULONG_PTR>(reported, outLength));
            std::memcpy(out, request->buffer.data(), copied);
            *bytesReturned = copied;
        }
        detail::FreeRequest(request);
    }
    std::lock_guard lock(mutex_);
    --drivers_.at(target.driver)->inFlight;
    return status;
}

} // namespace orvix::kernel
