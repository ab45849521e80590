// The program's text and Linux's. Inside, text is 8-bit in one encoding, the original's code
// page (Windows-1252), which the data files, the dBASE files and the renderer's packets carry
// byte for byte. Linux reads and writes UTF-8: text is converted once, where it crosses.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace orvix {

// A letter that the code page cannot hold, and where it stood.
struct TextRefusal {
    std::string letter;  // the letter itself, in UTF-8 ("Ω")
    unsigned codePoint = 0;
    size_t line = 1;     // 1-based, counted by LF in the text converted
    size_t column = 1;   // 1-based, in letters of its line
};

// The code page's text as UTF-8. Every byte has a letter: the five that Windows-1252 leaves
// unassigned (81, 8D, 8F, 90, 9D) become U+0081... as Windows itself maps them, so any bytes a
// data file holds come back unchanged through FromUtf8.
std::string ToUtf8(std::string_view text);

// UTF-8 as the code page's text. False, with the first letter the code page cannot hold (or
// the first byte that is not UTF-8) in `why`, and `text` untouched.
bool FromUtf8(std::string_view utf8, std::string& text, TextRefusal* why = nullptr);

bool IsUtf8(std::string_view bytes);

// Bytes from a file a person writes with Linux tools (a command file, a task file, a scene's
// parameters): each line that is valid UTF-8 is read as UTF-8, any other line is taken as the
// code page's own bytes, as the original system wrote them. A byte-order mark at the start is
// dropped. False, with `why`, for a UTF-8 line holding a letter the code page cannot hold.
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
std::string RefusalMessage(const TextRefusal& why, const std::string& where, bool withLine = true);

} // namespace orvix
