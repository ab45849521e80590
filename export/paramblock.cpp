#include "export/paramblock.h"

#include <algorithm>

#include "platform/text/numbers.h"

namespace orvix {

namespace {

size_t SizeOf(OdbcC c)
{
    switch (c) {
    case OdbcC::SLong: return sizeof(int32_t);
    case OdbcC::SShort: return sizeof(int16_t);
    case OdbcC::UShort: return sizeof(uint16_t);
    case OdbcC::UTinyInt: return sizeof(uint8_t);
    case OdbcC::SBigInt: return sizeof(int64_t);
    case OdbcC::Double: return sizeof(double);
    case OdbcC::Char: return 1;
    case OdbcC::WChar: return sizeof(char16_t);
    }
    return 1;
}

} // namespace

size_t CParamBlock::Add(OdbcC c, OdbcSql sql, size_t columnSize, int decimals, size_t textBytes)
{
    const bool text = c == OdbcC::Char || c == OdbcC::WChar;
    Param p{c, sql, columnSize, decimals, text ? (textBytes + 1) * SizeOf(c) : SizeOf(c), {}, {}};
    p.data.assign(p.stride * rows_, 0);
    p.lengths.assign(rows_, kOdbcNts);
    params_.push_back(std::move(p));
    return params_.size() - 1;
}

void CParamBlock::SetText(size_t param, size_t row, const char* text)
{
    Param& p = params_[param];
    unsigned char* slot = p.data.data() + row * p.stride;
    const char* t = text ? text : "";
    if (p.c == OdbcC::WChar) {
        // Each letter of the code page is one UTF-16 unit: the cut keeps whole letters.
        const size_t room = p.stride / sizeof(char16_t) - 1;
        // Converted in place: a block of rows costs no allocation.
        const size_t n = strnlen(t, room);
        auto* units = reinterpret_cast<char16_t*>(slot);
        if (!ToUtf16(std::string_view(t, n), units))
            throw COdbcError("Converting the text", TextConverterProblem(), "", 0);
        units[n] = u'\0';
        return;
    }
    size_t n = strnlen(t, p.stride - 1);
    std::memcpy(slot, t, n);
    slot[n] = '\0';
}

void CParamBlock::SetFixed(size_t param, size_t row, double value, int decimals)
{
    Param& p = params_[param];
    char* slot = reinterpret_cast<char*>(p.data.data() + row * p.stride);
    char text[FixedTextRoom(9)];
    char* end = FormatFixedTo(text, value, decimals);
    size_t n = static_cast<size_t>(end - text);
    if (n >= p.stride) // far beyond any decimal column: the data source says so
        n = static_cast<size_t>(FormatGTo(text, value) - text);
    n = std::min(n, p.stride - 1);
    std::memcpy(slot, text, n);
    slot[n] = '\0';
}

void CParamBlock::Bind(COdbcStatement& statement, size_t firstRow, int firstNumber)
{
    int number = firstNumber;
    for (Param& p : params_) {
        const bool text = p.c == OdbcC::Char || p.c == OdbcC::WChar;
        statement.BindParameter(number++, p.c, p.sql, p.columnSize, p.decimals, p.data.data() + firstRow * p.stride,
                                text ? static_cast<OdbcLen>(p.stride) : 0, text ? &p.lengths[firstRow] : nullptr);
    }
}

} // namespace orvix
