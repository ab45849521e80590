#include "platform/numbers.h"

#include <charconv>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
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

void AppendInt(std::string& out, long long value)
{
    char text[24];
    auto r = std::to_chars(text, text + sizeof text, value);
    out.append(text, r.ptr);
}

// to_chars is specified as printf in the C locale with the same precision; a value whose
// text does not fit the buffer (huge values with many decimals) takes the printf path.
void AppendFixed(std::string& out, double value, int decimals)
{
    char text[400];
    auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (r.ec == std::errc())
        out.append(text, r.ptr);
    else
        out += Format("%.*f", decimals, value);
}

void AppendG(std::string& out, double value)
{
    char text[32];
    auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    out.append(text, r.ptr);
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
