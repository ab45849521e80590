#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace orvix {
namespace {

// The bytes Windows-1252 leaves unassigned; Windows maps each to the C1 control of its value.
bool Unassigned(unsigned c) { return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D; }

bool Ascii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// One iconv descriptor per direction and thread: a descriptor keeps state and is not shared.
class CConverter {
public:
    CConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~CConverter()
    {
        if (cd_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd_);
    }
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;

    // Converts from `in` on, appending to `out`; returns the bytes of `in` taken, which stop
    // short only at a sequence the target cannot hold (or that is not valid input).
    size_t Convert(std::string_view in, std::string& out)
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            return 0;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t left = in.size();
        char buffer[4096];
        while (left > 0) {
            char* dst = buffer;
            size_t room = sizeof buffer;
            size_t done = iconv(cd_, &src, &left, &dst, &room);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (done == static_cast<size_t>(-1) && errno != E2BIG)
                break;
        }
        return in.size() - left;
    }

private:
    iconv_t cd_;
};

CConverter& ToUtf8Converter()
{
    thread_local CConverter converter("UTF-8", "CP1252");
    return converter;
}

CConverter& FromUtf8Converter()
{
    thread_local CConverter converter("CP1252", "UTF-8");
    return converter;
}

// The length of the UTF-8 sequence at `s[i]` and its code point; 0 when it is not valid
// (overlong, a surrogate, beyond U+10FFFF, cut short).
size_t Sequence(std::string_view s, size_t i, unsigned& codePoint)
{
    unsigned c = static_cast<unsigned char>(s[i]);
    size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > s.size())
        return 0;
    codePoint = length == 1 ? c : c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        unsigned next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    static const unsigned least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < least[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void Locate(std::string_view s, size_t at, TextRefusal& why)
{
    why.line = 1;
    why.column = 1;
    for (size_t i = 0; i < at; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\n') {
            ++why.line;
            why.column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++why.column;
        }
    }
}

} // namespace

bool IsUtf8(std::string_view bytes)
{
    unsigned codePoint = 0;
    for (size_t i = 0; i < bytes.size();) {
        size_t length = Sequence(bytes, i, codePoint);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string ToUtf8(std::string_view text)
{
    if (Ascii(text))
        return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    while (!text.empty()) {
        auto odd = std::find_if(text.begin(), text.end(), [](char c) { return Unassigned(static_cast<unsigned char>(c)); });
        size_t run = static_cast<size_t>(odd - text.begin());
        ToUtf8Converter().Convert(text.substr(0, run), out);
        if (run == text.size())
            break;
        out += '\xC2';
        out += text[run];
        text.remove_prefix(run + 1);
    }
    return out;
}

bool FromUtf8(std::string_view utf8, std::string& text, TextRefusal* why)
{
    if (Ascii(utf8)) {
        text.assign(utf8);
        return true;
    }
    std::string out;
    out.reserve(utf8.size());
    size_t at = 0;
    while (at < utf8.size()) {
        at += FromUtf8Converter().Convert(utf8.substr(at), out);
        if (at == utf8.size())
            break;
        unsigned codePoint = 0;
        size_t length = Sequence(utf8, at, codePoint);
        if (length != 0 && Unassigned(codePoint)) {
            out += static_cast<char>(codePoint);
            at += length;
            continue;
        }
        if (why) {
            Locate(utf8, at, *why);
            why->codePoint = length != 0 ? codePoint : static_cast<unsigned char>(utf8[at]);
            why->letter = length != 0 ? std::string(utf8.substr(at, length)) : std::string();
        }
        return false;
    }
    text = std::move(out);
    return true;
}

bool DecodeText(std::string_view bytes, std::string& text, TextRefusal* why)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (Ascii(bytes)) {
        text.assign(bytes);
        return true;
    }
    std::string out;
    out.reserve(bytes.size());
    size_t lineNumber = 1;
    while (!bytes.empty()) {
        size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end == std::string_view::npos ? bytes.size() : end + 1);
        bytes.remove_prefix(line.size());
        std::string converted;
        if (!IsUtf8(line)) {
            out.append(line);
        } else if (FromUtf8(line, converted, why)) {
            out += converted;
        } else {
            if (why)
                why->line = lineNumber;
            return false;
        }
        ++lineNumber;
    }
    text = std::move(out);
    return true;
}

bool Utf16ToUtf8(std::string_view utf16, bool bigEndian, std::string& utf8)
{
    thread_local CConverter little("UTF-8", "UTF-16LE"), big("UTF-8", "UTF-16BE");
    std::string out;
    if ((bigEndian ? big : little).Convert(utf16, out) != utf16.size())
        return false;
    utf8 = std::move(out);
    return true;
}

std::string ShownText(std::string_view utf8)
{
    std::string shown;
    if (FromUtf8(utf8, shown))
        return shown;
    shown.clear();
    char mark[16];
    for (size_t i = 0; i < utf8.size();) {
        unsigned codePoint = 0;
        size_t length = Sequence(utf8, i, codePoint);
        std::string letter;
        if (length == 0) {
            std::snprintf(mark, sizeof mark, "<%02X>", static_cast<unsigned char>(utf8[i]));
            shown += mark;
            ++i;
            continue;
        }
        if (FromUtf8(utf8.substr(i, length), letter)) {
            shown += letter;
        } else {
            std::snprintf(mark, sizeof mark, "<U+%04X>", codePoint);
            shown += mark;
        }
        i += length;
    }
    return shown;
}

std::string RefusalMessage(const TextRefusal& why, const std::string& where, bool withLine)
{
    char letter[32];
    std::snprintf(letter, sizeof letter, why.letter.empty() ? "The byte %02X" : "The letter U+%04X", why.codePoint);
    std::string message = letter;
    if (withLine)
        message += " at line " + std::to_string(why.line) + ", column " + std::to_string(why.column) + " of ";
    else
        message += " in ";
    message += where;
    message += why.letter.empty() ? " is not UTF-8" : " cannot be kept: the program's text holds only the letters of the code page Windows-1252";
    message += '.';
    return message;
}

} // namespace orvix
