// Device calls with the open / device-control / close meaning of the original platform and
// its error codes. Devices are named ("\\.\SPIKE"); each name is served by a registered
// factory. Nothing registered under a name: opening it fails with ERROR_FILE_NOT_FOUND.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/settings/registry.h"

namespace orvix {

using HANDLE = intptr_t;
constexpr HANDLE INVALID_HANDLE_VALUE = -1;

// ERROR_FILE_NOT_FOUND (2), ERROR_ACCESS_DENIED (5), ERROR_INVALID_HANDLE (6) and
// ERROR_INVALID_PARAMETER (87) come with the registry's codes.
enum : uint32_t {
    ERROR_GEN_FAILURE = 31,
    ERROR_NOT_SUPPORTED = 50,
    ERROR_INSUFFICIENT_BUFFER = 122,
};

// One open device. DeviceIoControl fills the output buffer and says how many bytes it wrote;
// on failure it returns the error code (not 0).
class IDevice {
public:
    virtual ~IDevice() = default;
    virtual uint32_t DeviceIoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                                     uint32_t outSize, uint32_t& returned) = 0;
};

// Makes a device for one open. A null result fails the open with `error`
// (ERROR_FILE_NOT_FOUND, ERROR_NOT_SUPPORTED, ...).
using DeviceFactory = std::function<std::unique_ptr<IDevice>(uint32_t& error)>;

// Serves the name from now on (replacing an earlier factory); an empty factory removes it.
void RegisterDevice(const std::string& name, DeviceFactory factory);
void UnregisterDevice(const std::string& name);
// Back to the built-in set: the simulated "\\.\SPIKE" and the "\\.\TROVIK" driver.
void ResetDeviceRegistry();

// Opens a device exclusively: a second open of a name that is held fails with
// ERROR_ACCESS_DENIED. INVALID_HANDLE_VALUE on failure, GetLastError() says why.
HANDLE CreateFile(const std::string& name);
bool DeviceIoControl(HANDLE handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* returned);
bool CloseHandle(HANDLE handle);

uint32_t GetLastError();
void SetLastError(uint32_t error);

} // namespace orvix
