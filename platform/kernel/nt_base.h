// Basic types, status codes and counted strings of our user-space kernel stand-in.
// Only what the drivers built here use; the names follow the NT kernel's so that driver
// code reads as it would on the real system.
#pragma once
#include <cstddef>
#include <cstdint>

#ifndef NTKERNELAPI
#define NTKERNELAPI extern "C" __attribute__((visibility("default")))
#endif

using UCHAR = uint8_t;
using PUCHAR = UCHAR*;
using USHORT = uint16_t;
using CHAR = char;
using SHORT = int16_t;
using LONG = int32_t;
using ULONG = uint32_t;
using PULONG = ULONG*;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using ULONG_PTR = uintptr_t;
using BOOLEAN = uint8_t;
using PBOOLEAN = BOOLEAN*;
using PVOID = void*;
using VOID = void;
using WCHAR = char16_t;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using NTSTATUS = int32_t;
using KIRQL = UCHAR;
using PKIRQL = KIRQL*;
using KAFFINITY = ULONG_PTR;
using PKAFFINITY = KAFFINITY*;

constexpr BOOLEAN TRUE = 1;
constexpr BOOLEAN FALSE = 0;

union LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
using PHYSICAL_ADDRESS = LARGE_INTEGER;
using PPHYSICAL_ADDRESS = PHYSICAL_ADDRESS*;

// Status codes: severity in the top two bits, as the kernel reports them.
constexpr NTSTATUS NtStatus(uint32_t value) { return static_cast<NTSTATUS>(value); }
constexpr NTSTATUS STATUS_SUCCESS = NtStatus(0x00000000);
constexpr NTSTATUS STATUS_PENDING = NtStatus(0x00000103);
constexpr NTSTATUS STATUS_SOME_NOT_MAPPED = NtStatus(0x00000107);
constexpr NTSTATUS STATUS_DEVICE_BUSY = NtStatus(0x80000011);
constexpr NTSTATUS STATUS_UNSUCCESSFUL = NtStatus(0xC0000001);
constexpr NTSTATUS STATUS_INVALID_PARAMETER = NtStatus(0xC000000D);
constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = NtStatus(0xC0000010);
constexpr NTSTATUS STATUS_CONFLICTING_ADDRESSES = NtStatus(0xC0000018);
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = NtStatus(0xC0000023);
constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = NtStatus(0xC0000034);
constexpr NTSTATUS STATUS_OBJECT_NAME_COLLISION = NtStatus(0xC0000035);
constexpr NTSTATUS STATUS_PROCEDURE_NOT_FOUND = NtStatus(0xC000007A);
constexpr NTSTATUS STATUS_INSUFFICIENT_RESOURCES = NtStatus(0xC000009A);
constexpr NTSTATUS STATUS_IO_TIMEOUT = NtStatus(0xC00000B5);
constexpr NTSTATUS STATUS_NOT_SUPPORTED = NtStatus(0xC00000BB);
constexpr NTSTATUS STATUS_DLL_NOT_FOUND = NtStatus(0xC0000135);

constexpr bool NT_SUCCESS(NTSTATUS status) { return status >= 0; }

struct UNICODE_STRING {
    USHORT Length;        // bytes, without a terminator
    USHORT MaximumLength; // bytes, with the terminator
    PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;

enum INTERFACE_TYPE { Internal = 0, Isa = 1 };

enum POOL_TYPE { NonPagedPool = 0, PagedPool = 1 };

enum KINTERRUPT_MODE { LevelSensitive = 0, Latched = 1 };

// IRQL names; the stand-in does not model priority levels beyond naming them.
constexpr KIRQL PASSIVE_LEVEL = 0;
constexpr KIRQL DISPATCH_LEVEL = 2;

constexpr char IO_NO_INCREMENT = 0;

// Control-code layout: device type, access, function, transfer method.
constexpr ULONG CTL_CODE(ULONG deviceType, ULONG function, ULONG method, ULONG access)
{
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
constexpr ULONG METHOD_BUFFERED = 0;
constexpr ULONG FILE_ANY_ACCESS = 0;
constexpr ULONG FILE_DEVICE_UNKNOWN = 0x22;
