#include "platform/text/numbers.h"

#include <charconv>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <vector>

namespace orvix {

namespace {

locale_t CLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

// Switches this thread to the C locale for the lifetime of the object.
class CLocaleScope {
public:
    CLocaleScope() : previous_(uselocale(CLocale())) {}
    ~CLocaleScope() { uselocale(previous_); }
private:
    locale_t previous_;
};

} // namespace

double ParseDouble(const char* text)
{
    if (!text)
        return 0.0;
    // Only the decimal form is a number: blanks, sign, digits, point, digits, exponent. The
    // C library would also read "0x10" as 16 and "inf" or "nan" as numbers.
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const char* start = p;
    if (*p == '+' || *p == '-')
        ++p;
    const char* mantissa = p;
    while (*p >= '0' && *p <= '9')
        ++p;
    if (*p == '.')
        ++p;
    while (*p >= '0' && *p <= '9')
        ++p;
    if (p == mantissa || (p == mantissa + 1 && *mantissa == '.'))
        return 0.0;
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        if (*e == '+' || *e == '-')
            ++e;
        if (*e >= '0' && *e <= '9') {
            while (*e >= '0' && *e <= '9')
                ++e;
            p = e;
        }
    }
    return strtod_l(std::string(start, p).c_str(), nullptr, CLocale());
}

int ParseInt(const char* text)
{
    if (!text)
        return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::string Format(const char* format, ...)
{
    CLocaleScope scope;
    char small[256];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0)
        return std::string();
    if (static_cast<size_t>(n) < sizeof small)
        return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    va_start(args, format);
    vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    return std::string(big.data(), static_cast<size_t>(n));
}

char* FormatIntTo(char* out, long long value) { return std::to_chars(out, out + 20, value).ptr; }

void AppendInt(std::string& out, long long value)
{
    char text[24];
    out.append(text, static_cast<size_t>(FormatIntTo(text, value) - text));
}

namespace {

// Rounds to an integer in the current rounding mode (nearest, ties to even, as printf).
inline long long RoundToInteger(long double x)
{
#if defined(__x86_64__) || defined(__i386__)
    long long r;
    asm("fistpll %0" : "=m"(r) : "t"(x) : "st");
    return r;
#else
    return llrintl(x);
#endif
}

} // namespace

// The integer and the d decimals of a value scaled by 10^d, with constant divisors.
template <int D>
char* WriteScaled(char* p, unsigned long long scaled)
{
    constexpr unsigned long long kPower = D == 1 ? 10 : D == 2 ? 100 : D == 3 ? 1000 : 10000;
    p = std::to_chars(p, p + 20, scaled / kPower).ptr;
    *p++ = '.';
    unsigned long long fraction = scaled % kPower;
    for (int k = D - 1; k >= 0; --k) {
        p[k] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return p + D;
}

// Up to four decimals the fast way: a double times 10^d (d <= 4) is exact in the x87
// 80-bit format (53 + 10 significant bits), so rounding that product to an integer rounds
// the exact value, as printf does. Anything else goes to to_chars, which is specified as
// printf in the C locale.
char* FormatFixedTo(char* out, double value, int decimals)
{
    static_assert(std::numeric_limits<long double>::digits >= 64, "the fast path needs 64-bit significands");
    static const long double kScale[] = {1.0L, 10.0L, 100.0L, 1000.0L, 10000.0L};
    if (decimals >= 0 && decimals <= 4 && std::fabs(value) < 1e14) {
        const long long scaled = RoundToInteger(static_cast<long double>(value) * kScale[decimals]);
        const unsigned long long u = scaled < 0 ? 0ull - static_cast<unsigned long long>(scaled)
                                                : static_cast<unsigned long long>(scaled);
        char* p = out;
        if (std::signbit(value))
            *p++ = '-';
        switch (decimals) {
        case 0: return std::to_chars(p, p + 20, u).ptr;
        case 1: return WriteScaled<1>(p, u);
        case 2: return WriteScaled<2>(p, u);
        case 3: return WriteScaled<3>(p, u);
        default: return WriteScaled<4>(p, u);
        }
    }
    auto r = std::to_chars(out, out + FixedTextRoom(decimals), value, std::chars_format::fixed,
                           decimals < 0 ? 0 : decimals);
    if (r.ec == std::errc())
        return r.ptr;
    std::string text = Format("%.*f", decimals, value);
    size_t n = std::min(text.size(), FixedTextRoom(decimals));
    memcpy(out, text.data(), n);
    return out + n;
}

void AppendFixed(std::string& out, double value, int decimals)
{
    if (decimals >= 0 && decimals <= 4 && std::fabs(value) < 1e14) {
        char text[48];
        out.append(text, static_cast<size_t>(FormatFixedTo(text, value, decimals) - text));
        return;
    }
    std::vector<char> text(FixedTextRoom(decimals));
    out.append(text.data(), static_cast<size_t>(FormatFixedTo(text.data(), value, decimals) - text.data()));
}

// "%g": when the shortest text that reads back as the value has at most six significant
// digits and %g would not use an exponent (1e-4 <= |value| < 1e6), that text is the one
// printf gives (rounding to six digits cannot move a value that close to a six-digit
// decimal), and it is much cheaper to find than the rounding at a precision.
char* FormatGTo(char* out, double value)
{
    const double magnitude = std::fabs(value);
    if (magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e6)) {
        auto r = std::to_chars(out, out + 32, value, std::chars_format::fixed);
        if (r.ec == std::errc()) {
            int significant = 0;
            bool leading = true;
            for (const char* p = out; p < r.ptr; ++p) {
                if (*p < '0' || *p > '9')
                    continue;
                if (leading && *p == '0')
                    continue;
                leading = false;
                ++significant;
            }
            if (significant <= 6)
                return r.ptr;
        }
    }
    return std::to_chars(out, out + 32, value, std::chars_format::general, 6).ptr;
}

void AppendG(std::string& out, double value)
{
    char text[32];
    out.append(text, static_cast<size_t>(FormatGTo(text, value) - text));
}

int DoubleToInt(double value)
{
    if (std::isnan(value) || value >= 2147483648.0 || value <= -2147483649.0)
        return INT_MIN;
    return static_cast<int>(value);
}

bool CheckedDiv(int32_t a, int32_t b, int32_t& result)
{
    if (b == 0 || (a == INT32_MIN && b == -1))
        return false;
    result = a / b;
    return true;
}

bool CheckedMod(int32_t a, int32_t b, int32_t& result)
{
    if (b == 0 || (a == INT32_MIN && b == -1))
        return false;
    result = a % b;
    return true;
}

} // namespace orvix
