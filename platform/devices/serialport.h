// The eye tracker's serial line: a real termios port, or the simulated tracker under the
// name "SIM". Operations mirror the few comm calls the I/O layer makes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orvix {

class ISerialPort {
public:
    virtual ~ISerialPort() = default;
    // Raw 8N1 at the baud rate, no flow control; false when the line refused a setting.
    virtual bool Configure(int baud) = 0;
    // Drops whatever waits in either direction.
    virtual void Purge() = 0;
    // Raises or clears DTR; lines without modem control ignore it.
    virtual void SetDtr(bool on) = 0;
    // Bytes waiting to be read, or -1 on error (errno set).
    virtual long BytesWaiting() = 0;
    // Reads what is there, up to size, without waiting; -1 on error (errno set).
    virtual long Read(uint8_t* buffer, size_t size) = 0;
};

// The name of the simulated eye tracker, which produces 60 records per second: the simulated
// subject's gaze, or without one a gaze near the centre (raw 2560, 1280) with small jitter.
inline const char* const kSimulatedSerialPort = "SIM";

// Opens the port named as the user names it ("COM2", "/dev/ttyUSB0", "SIM"). Null on
// failure with errno set. With ORVIX_SIMULATED_EYE=1 every name opens the simulated tracker.
std::unique_ptr<ISerialPort> OpenSerialPort(const std::string& name);

} // namespace orvix
