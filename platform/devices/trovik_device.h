// "\\.\TROVIK": the digital-I/O driver, reached through the kernel stand-in that runs it.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/devices/devicecall.h"

namespace orvix {

inline const char* const kTrovikDevicePath = "\\\\.\\TROVIK";

// Opens the driver's device (loading the driver on first use); null with the Win32 error
// when the driver or its device cannot be had.
std::unique_ptr<IDevice> MakeTrovikDevice(uint32_t& error);

} // namespace orvix
