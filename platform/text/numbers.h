// Locale-free number text: parsing as atof/atoi do in the C locale, and printf-style
// formatting in the C locale. Qt sets the C library's locale from the environment; a
// decimal comma would corrupt files, packets and exports, so nothing here uses it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvix {

// As atof: leading blanks skipped, the longest valid prefix taken, 0.0 when there is none.
// Decimal only: no hexadecimal, infinity or NaN forms.
double ParseDouble(const char* text);
inline double ParseDouble(const std::string& text) { return ParseDouble(text.c_str()); }

// As atoi: leading blanks skipped, optional sign, decimal digits; 0 when there are none.
// Values beyond the int range are held at INT_MIN / INT_MAX.
int ParseInt(const char* text);
inline int ParseInt(const std::string& text) { return ParseInt(text.c_str()); }

// printf in the C locale. The format must be a literal of the program, never outside text.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline std::string FormatInt(int value) { return Format("%d", value); }
inline std::string FormatG(double value) { return Format("%g", value); }

// For writers of millions of numbers (the exports): the text of "%lld", "%.*f" and "%g"
// appended to out, the same as Format gives, without its per-call locale switch.
void AppendInt(std::string& out, long long value);
void AppendFixed(std::string& out, double value, int decimals);
void AppendG(std::string& out, double value);
// The same texts written at `out`, returning their end; for the innermost loops. An int
// needs 20 characters of room, a fixed-point value FixedTextRoom(decimals).
char* FormatIntTo(char* out, long long value);
char* FormatFixedTo(char* out, double value, int decimals);
// "%g" at `out`: 32 characters of room.
char* FormatGTo(char* out, double value);
constexpr size_t FixedTextRoom(int decimals) { return 312 + static_cast<size_t>(decimals > 0 ? decimals : 0); }

// Double to int with a defined answer for every input, as the x86 conversion gives it:
// truncation toward zero; NaN and values outside the int range give INT_MIN.
int DoubleToInt(double value);

// 32-bit integer arithmetic that wraps as two's complement.
inline int32_t WrapAdd(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t WrapSub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t WrapMul(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
inline int32_t WrapNeg(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }

// Integer division and remainder that never reach the CPU with a zero divisor or
// INT_MIN / -1: false when the operation is undefined, the result untouched.
bool CheckedDiv(int32_t a, int32_t b, int32_t& result);
bool CheckedMod(int32_t a, int32_t b, int32_t& result);

} // namespace orvix
