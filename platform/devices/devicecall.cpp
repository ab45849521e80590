#include "platform/devices/devicecall.h"

#include <map>
#include <set>

#include "platform/devices/spikesim.h"
#include "platform/devices/trovik_device.h"

namespace orvix {

namespace {

struct OpenDevice {
    std::string name;
    std::unique_ptr<IDevice> device;
};

struct DeviceTable {
    std::map<std::string, DeviceFactory> factories;
    std::map<HANDLE, OpenDevice> open;
    HANDLE next = 0x100;
    bool initialised = false;
};

DeviceTable& Table()
{
    static DeviceTable table;
    if (!table.initialised) {
        table.initialised = true;
        table.factories[kSpikeDeviceName] = MakeSimulatedSpikeDevice;
        table.factories[kTrovikDevicePath] = MakeTrovikDevice;
    }
    return table;
}

thread_local uint32_t g_lastError = 0;

} // namespace

void RegisterDevice(const std::string& name, DeviceFactory factory)
{
    if (factory)
        Table().factories[name] = std::move(factory);
    else
        Table().factories.erase(name);
}

void UnregisterDevice(const std::string& name) { Table().factories.erase(name); }

void ResetDeviceRegistry()
{
    DeviceTable& t = Table();
    t.factories.clear();
    t.factories[kSpikeDeviceName] = MakeSimulatedSpikeDevice;
    t.factories[kTrovikDevicePath] = MakeTrovikDevice;
}

HANDLE CreateFile(const std::string& name)
{
    DeviceTable& t = Table();
    auto f = t.factories.find(name);
    if (f == t.factories.end()) {
        g_lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    for (const auto& [h, dev] : t.open) {
        if (dev.name == name) {
            g_lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
    }
    uint32_t error = ERROR_FILE_NOT_FOUND;
    std::unique_ptr<IDevice> device = f->second(error);
    if (!device) {
        g_lastError = error ? error : ERROR_GEN_FAILURE;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = t.next++;
    t.open[h] = OpenDevice{name, std::move(device)};
    g_lastError = 0;
    return h;
}

bool DeviceIoControl(HANDLE handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* returned)
{
    DeviceTable& t = Table();
    auto it = t.open.find(handle);
    uint32_t count = 0;
    if (returned)
        *returned = 0;
    if (it == t.open.end()) {
        g_lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if ((inSize && !in) || (outSize && !out)) {
        g_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    uint32_t error = it->second.device->DeviceIoControl(code, in, inSize, out, outSize, count);
    if (error) {
        g_lastError = error;
        return false;
    }
    if (returned)
        *returned = count;
    g_lastError = 0;
    return true;
}

bool CloseHandle(HANDLE handle)
{
    if (Table().open.erase(handle) == 0) {
        g_lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    return true;
}

uint32_t GetLastError() { return g_lastError; }
void SetLastError(uint32_t error) { g_lastError = error; }

} // namespace orvix
