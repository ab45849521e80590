// The program's text and Linux's. Inside, text is 8-bit in one encoding, the original's code
// page (Windows-1252), which the data files, the dBASE files and the renderer's packets carry
// byte for byte. Linux reads and writes UTF-8: text is converted once, where it crosses.
//
// The library (iconv) converts. It can fail only when it cannot open a converter: a broken
// installation, the C library's gconv modules missing. That is said once on stderr, the
// program's start shows it in a message box, and whatever would read or write such text
// refuses, naming what is missing; no conversion ever gives an empty or shortened text in
// its place. A converter that could not be opened is tried again at the next conversion.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace orvix {

// A letter that the code page cannot hold, and where it stood; or, with `problem`, a text
// that could not be converted at all.
struct TextRefusal {
    std::string letter;  // the letter itself, in UTF-8 ("Ω")
    unsigned codePoint = 0;
    size_t line = 1;     // 1-based, counted by LF in the text converted
    size_t column = 1;   // 1-based, in letters of its line
    std::string problem; // not empty: no converter (TextConverterProblem's sentence)
};

// "" when this thread's converters open (then no conversion in this thread fails), else the
// sentence that says which one iconv cannot open and what is missing. Opened again at each
// call until they open. The program calls it at its start.
std::string TextConverterProblem();

// Where large conversions write (an export's blocks, a file read): memory kept from one
// conversion to the next, never cleared in advance, so that a block costs no allocation.
class CTextBuffer {
public:
    std::string_view View() const { return {data_.get(), size_}; }
    void Clear() { size_ = 0; }
    // Room for `bytes` more at the end; Added then counts what was written there.
    char* Room(size_t bytes);
    void Added(size_t bytes) { size_ += bytes; }

private:
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// The code page's text as UTF-8, at the end of `out`: one conversion of each run between the
// code page's unassigned bytes. Every byte has a letter: the five that Windows-1252 leaves
// unassigned (81, 8D, 8F, 90, 9D) become U+0081... as Windows itself maps them, so any bytes a
// data file holds come back unchanged through FromUtf8. False, `out` as it was, only when the
// converter cannot be opened.
bool AppendUtf8(std::string_view text, CTextBuffer& out);
// The same into a string (replaced), for what a file or a database is given.
bool ToUtf8(std::string_view text, std::string& utf8);
// The same as a value, for what is only shown (a widget, a line on stderr): without a
// converter, a letter beyond ASCII is shown as "<E9>", never dropped.
std::string ToUtf8(std::string_view text);
// The code page's text as UTF-16 into `out`, which holds text.size() units: each letter is
// one unit. False when the converter cannot be opened.
bool ToUtf16(std::string_view text, char16_t* out);

// UTF-8 as the code page's text. False, with the first letter the code page cannot hold (or
// the first byte that is not UTF-8, or the missing converter) in `why`, and `text` untouched.
bool FromUtf8(std::string_view utf8, std::string& text, TextRefusal* why = nullptr);

bool IsUtf8(std::string_view bytes);
// No byte above 7F: the same text in the code page and in UTF-8.
bool IsAscii(std::string_view bytes);

// Bytes from a file a person writes with Linux tools (a command file, a task file, a scene's
// parameters): each line that is valid UTF-8 is read as UTF-8, any other line is taken as the
// code page's own bytes, as the original system wrote them. A byte-order mark at the start is
// dropped. False, with `why`, for a UTF-8 line holding a letter the code page cannot hold.
// Each run of UTF-8 lines is converted at once.
bool DecodeText(std::string_view bytes, std::string& text, TextRefusal* why = nullptr);

// UTF-16 text (its byte-order mark taken off) as UTF-8. False when it does not convert whole
// (a lone surrogate, an odd byte at the end).
bool Utf16ToUtf8(std::string_view utf16, bool bigEndian, std::string& utf8);

// UTF-8 shown in a message of the program's, where nothing is kept (a path, a driver's
// diagnostics): a letter the code page cannot hold is written as "<U+03A9>", a byte that is
// not UTF-8 as "<FF>", so that nothing is lost from sight and nothing becomes "?".
std::string ShownText(std::string_view utf8);

// The refusal as the program's text, for a message box or the log: "The letter U+03A9 at line 3,
// column 7 of <where> cannot be kept: the program's text holds only the letters of the code page
// Windows-1252." The letter goes by its code point, as the code page cannot show it. `where`
// names the file or the field (program text); the line and column are named when asked.
// Without a converter: "The text of <where> cannot be converted: " and the problem.
std::string RefusalMessage(const TextRefusal& why, const std::string& where, bool withLine = true);

} // namespace orvix
