// What programs see of the Trovik digital-I/O driver: its device name, its eight
// device-control codes and the sample record. Free of kernel declarations.
#pragma once
#include <cstdint>

namespace trovik {

// Opened by programs as "\\.\TROVIK".
constexpr const char* kWin32DeviceName = "\\\\.\\TROVIK";

// Device type 0x8300, buffered transfers, any access; functions 0x803 to 0x80A.
constexpr uint32_t Code(uint32_t function) { return (0x8300u << 16) | (function << 2); }

} // namespace trovik

constexpr uint32_t IOCTL_TROVIK_START = trovik::Code(0x803);
constexpr uint32_t IOCTL_TROVIK_STOP = trovik::Code(0x804);
constexpr uint32_t IOCTL_TROVIK_CLEAR = trovik::Code(0x805);
constexpr uint32_t IOCTL_TROVIK_READ_SAMPLES = trovik::Code(0x806);
constexpr uint32_t IOCTL_TROVIK_GET_KEY = trovik::Code(0x807);
constexpr uint32_t IOCTL_TROVIK_WRITE_A = trovik::Code(0x808);
constexpr uint32_t IOCTL_TROVIK_SET_TIME_BASE = trovik::Code(0x809);
constexpr uint32_t IOCTL_TROVIK_WRITE_B = trovik::Code(0x80A);

// One timed sample as IOCTL_TROVIK_READ_SAMPLES returns it: 8 bytes, little-endian, packed.
#pragma pack(push, 1)
struct TROVIK_SAMPLE {
    int16_t InputBC; // the 9-bit input, 0..511
    int16_t InputA;  // the 8-bit input, 0..255
    uint32_t Time;   // time base + ticks * 100 / 72
};
#pragma pack(pop)
static_assert(sizeof(TROVIK_SAMPLE) == 8);
