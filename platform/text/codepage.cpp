#include "platform/text/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orvix {
namespace {

// The bytes Windows-1252 leaves unassigned; Windows maps each to the C1 control of its value.
bool Unassigned(unsigned c) { return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D; }

// Whether any byte passes `test`: in blocks without an early exit inside, which the compiler
// turns into wide operations (a megabyte in some tens of microseconds).
template <class Test>
bool AnyByte(std::string_view s, Test test)
{
    constexpr size_t kBlock = 256;
    size_t i = 0;
    for (; i + kBlock <= s.size(); i += kBlock) {
        unsigned char any = 0;
        for (size_t k = 0; k < kBlock; ++k)
            any |= test(static_cast<unsigned char>(s[i + k]));
        if (any)
            return true;
    }
    unsigned char any = 0;
    for (; i < s.size(); ++i)
        any |= test(static_cast<unsigned char>(s[i]));
    return any != 0;
}

} // namespace

bool IsAscii(std::string_view s)
{
    return !AnyByte(s, [](unsigned char c) { return c >= 0x80; });
}

namespace {

const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);

// One iconv descriptor per direction and thread: a descriptor keeps state and is not shared.
// One that cannot be opened is not kept: the next conversion tries again. `module`: the gconv
// module it needs; a `spare` one only makes a conversion faster, and its failure is not told.
class CConverter {
public:
    CConverter(const char* to, const char* from, const char* toName, const char* fromName, const char* module,
               bool spare = false)
        : to_(to), from_(from), toName_(toName), fromName_(fromName), module_(module), spare_(spare)
    {
    }
    ~CConverter()
    {
        if (cd_ != kClosed)
            iconv_close(cd_);
    }
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;

    // Open, and back in its initial state. The first failure of the process goes to stderr.
    bool Ready()
    {
        if (cd_ == kClosed) {
            cd_ = iconv_open(to_, from_);
            if (cd_ == kClosed) {
                error_ = errno;
                static std::atomic<bool> told{false};
                if (!spare_ && !told.exchange(true))
                    std::fprintf(stderr, "Orvix: %s\n", Problem().c_str());
                return false;
            }
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return true;
    }

    // Converts as far as it goes: true at the end of the input; false at a sequence the target
    // cannot hold or that is not valid input (errno says which), `src` standing on it.
    bool Run(const char*& src, size_t& left, char*& dst, size_t& room)
    {
        char* in = const_cast<char*>(src);
        const bool all = iconv(cd_, &in, &left, &dst, &room) != static_cast<size_t>(-1);
        src = in;
        return all;
    }

    std::string Problem() const
    {
        return std::string("iconv cannot open its converter from ") + fromName_ + " to " + toName_ + " ("
               + std::strerror(error_)
               + "): the C library's converter modules (gconv, " + module_
               + ") are missing or broken, so no letter beyond ASCII is converted, and what would read or write one "
                 "is refused.";
    }

private:
    const char* to_;
    const char* from_;
    const char* toName_;
    const char* fromName_;
    const char* module_;
    bool spare_;
    iconv_t cd_ = kClosed;
    int error_ = 0;
};

CConverter& ToUtf8Converter()
{
    thread_local CConverter converter("UTF-8", "CP1252", "UTF-8", "Windows-1252", "CP1252");
    return converter;
}

// Latin-1 is the code page but for the bytes 80-9F; glibc's converter of it takes three
// quarters of the time. Where it cannot be opened, the code page's converter serves.
CConverter& Latin1ToUtf8Converter()
{
    thread_local CConverter converter("UTF-8", "ISO-8859-1", "UTF-8", "ISO-8859-1", "ISO8859-1", true);
    return converter;
}

CConverter& FromUtf8Converter()
{
    thread_local CConverter converter("CP1252", "UTF-8", "Windows-1252", "UTF-8", "CP1252");
    return converter;
}

CConverter& ToUtf16Converter()
{
    thread_local CConverter converter(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE", "CP1252",
                                      "UTF-16", "Windows-1252", "CP1252");
    return converter;
}

// The code page's text at `dst`, which has room for all of it: one call of iconv per run
// between unassigned bytes, each of which `put` writes as its C1 control.
template <class Put>
bool FromCodePage(CConverter& converter, std::string_view text, char*& dst, size_t room, Put put)
{
    if (!converter.Ready())
        return false;
    const char* src = text.data();
    size_t left = text.size();
    while (!converter.Run(src, left, dst, room)) {
        if (errno != EILSEQ || !Unassigned(static_cast<unsigned char>(*src)))
            return false;
        put(static_cast<unsigned char>(*src), dst, room);
        ++src;
        --left;
    }
    return true;
}

// The code page's text as UTF-8 at `dst`, which has room for three bytes a letter. The
// unassigned bytes all lie in 80-9F, where the code page and Latin-1 differ: a text without
// that range is Latin-1.
bool CodePageToUtf8(std::string_view text, char*& dst)
{
    CConverter& latin1 = Latin1ToUtf8Converter();
    const bool c1 = AnyByte(text, [](unsigned char c) { return (c & 0xE0) == 0x80; });
    CConverter& converter = !c1 && latin1.Ready() ? latin1 : ToUtf8Converter();
    return FromCodePage(converter, text, dst, text.size() * 3, [](unsigned c, char*& d, size_t& room) {
        *d++ = '\xC2';
        *d++ = static_cast<char>(c);
        room -= 2;
    });
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

void NoConverter(const CConverter& converter, TextRefusal* why)
{
    if (why) {
        *why = TextRefusal();
        why->problem = converter.Problem();
    }
}

// UTF-8 at the end of `out` as the code page's text (never longer): one call of iconv per run
// between C1 controls. False, `out` as it was, with `why`.
bool AppendFromUtf8(std::string_view utf8, std::string& out, TextRefusal* why)
{
    CConverter& converter = FromUtf8Converter();
    if (!converter.Ready()) {
        NoConverter(converter, why);
        return false;
    }
    const size_t old = out.size();
    out.resize(old + utf8.size());
    char* dst = out.data() + old;
    size_t room = utf8.size();
    const char* src = utf8.data();
    size_t left = utf8.size();
    while (!converter.Run(src, left, dst, room)) {
        const size_t at = static_cast<size_t>(src - utf8.data());
        unsigned codePoint = 0;
        const size_t length = Sequence(utf8, at, codePoint);
        if (length != 0 && Unassigned(codePoint)) {
            *dst++ = static_cast<char>(codePoint);
            --room;
            src += length;
            left -= length;
            continue;
        }
        if (why) {
            *why = TextRefusal();
            Locate(utf8, at, *why);
            why->codePoint = length != 0 ? codePoint : static_cast<unsigned char>(utf8[at]);
            why->letter = length != 0 ? std::string(utf8.substr(at, length)) : std::string();
        }
        out.resize(old);
        return false;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return true;
}

} // namespace

std::string TextConverterProblem()
{
    for (CConverter* converter : {&ToUtf8Converter(), &FromUtf8Converter(), &ToUtf16Converter()})
        if (!converter->Ready())
            return converter->Problem();
    return std::string();
}

char* CTextBuffer::Room(size_t bytes)
{
    if (capacity_ - size_ < bytes) {
        const size_t capacity = std::max(size_ + bytes, capacity_ * 2);
        std::unique_ptr<char[]> larger(new char[capacity]);
        if (size_)
            std::memcpy(larger.get(), data_.get(), size_);
        data_ = std::move(larger);
        capacity_ = capacity;
    }
    return data_.get() + size_;
}

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

bool AppendUtf8(std::string_view text, CTextBuffer& out)
{
    if (IsAscii(text)) {
        std::memcpy(out.Room(text.size()), text.data(), text.size());
        out.Added(text.size());
        return true;
    }
    // No letter of the code page takes more than three bytes.
    char* const start = out.Room(text.size() * 3);
    char* dst = start;
    if (!CodePageToUtf8(text, dst))
        return false;
    out.Added(static_cast<size_t>(dst - start));
    return true;
}

bool ToUtf8(std::string_view text, std::string& utf8)
{
    if (IsAscii(text)) {
        utf8.assign(text);
        return true;
    }
    std::string out(text.size() * 3, '\0');
    char* dst = out.data();
    if (!CodePageToUtf8(text, dst))
        return false;
    out.resize(static_cast<size_t>(dst - out.data()));
    utf8 = std::move(out);
    return true;
}

std::string ToUtf8(std::string_view text)
{
    std::string utf8;
    if (ToUtf8(text, utf8))
        return utf8;
    char mark[8];
    for (unsigned char c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            std::snprintf(mark, sizeof mark, "<%02X>", c);
            utf8 += mark;
        }
    }
    return utf8;
}

bool ToUtf16(std::string_view text, char16_t* out)
{
    if (IsAscii(text)) {
        std::transform(text.begin(), text.end(), out, [](char c) { return static_cast<char16_t>(c); });
        return true;
    }
    char* dst = reinterpret_cast<char*>(out);
    return FromCodePage(ToUtf16Converter(), text, dst, text.size() * sizeof(char16_t),
                        [](unsigned c, char*& d, size_t& room) {
                            const char16_t unit = static_cast<char16_t>(c);
                            std::memcpy(d, &unit, sizeof unit);
                            d += sizeof unit;
                            room -= sizeof unit;
                        });
}

bool FromUtf8(std::string_view utf8, std::string& text, TextRefusal* why)
{
    if (IsAscii(utf8)) {
        text.assign(utf8);
        return true;
    }
    std::string out;
    if (!AppendFromUtf8(utf8, out, why))
        return false;
    text = std::move(out);
    return true;
}

bool DecodeText(std::string_view bytes, std::string& text, TextRefusal* why)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (IsAscii(bytes)) {
        text.assign(bytes);
        return true;
    }
    std::string out;
    out.reserve(bytes.size());
    // The lines that are UTF-8 since the last one that is not, converted together.
    size_t runStart = 0, runLine = 1;
    auto convertRun = [&](size_t end) {
        if (end == runStart || AppendFromUtf8(bytes.substr(runStart, end - runStart), out, why))
            return true;
        if (why && why->problem.empty())
            why->line += runLine - 1;
        return false;
    };
    size_t lineNumber = 1;
    for (size_t at = 0; at < bytes.size(); ++lineNumber) {
        size_t end = bytes.find('\n', at);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const std::string_view line = bytes.substr(at, end - at);
        if (!IsUtf8(line)) {
            if (!convertRun(at))
                return false;
            out.append(line);
            runStart = end;
            runLine = lineNumber + 1;
        }
        at = end;
    }
    if (!convertRun(bytes.size()))
        return false;
    text = std::move(out);
    return true;
}

bool Utf16ToUtf8(std::string_view utf16, bool bigEndian, std::string& utf8)
{
    thread_local CConverter little("UTF-8", "UTF-16LE", "UTF-8", "UTF-16LE", "UTF-16"),
        big("UTF-8", "UTF-16BE", "UTF-8", "UTF-16BE", "UTF-16");
    CConverter& converter = bigEndian ? big : little;
    if (!converter.Ready())
        return false;
    // A unit gives at most three bytes (a pair of them, four).
    std::string out(utf16.size() / 2 * 3, '\0');
    const char* src = utf16.data();
    size_t left = utf16.size(), room = out.size();
    char* dst = out.data();
    if (!converter.Run(src, left, dst, room))
        return false;
    out.resize(static_cast<size_t>(dst - out.data()));
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
    if (!why.problem.empty())
        return "The text of " + where + " cannot be converted: " + why.problem;
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
