#include "platform/devices/trovik_device.h"

#include "platform/kernel/driver_host.h"

namespace orvix {

namespace {

class CTrovikDevice : public IDevice {
public:
    explicit CTrovikDevice(kernel::DeviceHandle handle) : handle_(handle) {}
    ~CTrovikDevice() override { kernel::CDriverHost::Instance().Close(handle_); }

    uint32_t DeviceIoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                             uint32_t& returned) override
    {
        ::ULONG got = 0;
        ::NTSTATUS status =
            kernel::CDriverHost::Instance().DeviceControl(handle_, code, in, inSize, out, outSize, &got);
        returned = got;
        return kernel::Win32ErrorFromStatus(status);
    }

private:
    kernel::DeviceHandle handle_;
};

} // namespace

std::unique_ptr<IDevice> MakeTrovikDevice(uint32_t& error)
{
    kernel::DeviceHandle handle = kernel::kInvalidDeviceHandle;
    ::NTSTATUS status = kernel::CDriverHost::Instance().Open(kTrovikDevicePath, &handle);
    error = kernel::Win32ErrorFromStatus(status);
    if (error != 0 || handle == kernel::kInvalidDeviceHandle) {
        if (error == 0)
            error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return std::make_unique<CTrovikDevice>(handle);
}

} // namespace orvix
