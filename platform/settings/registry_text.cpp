// The registry's text form (its grammar: docs/platform.md, "Settings file"): reading it without
// losing a line, and writing it so that what was read comes back the same.
#include "platform/settings/registry_tree.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>

#include "platform/text/codepage.h"

namespace orvix::registry {

namespace {

constexpr std::string_view kHeader = "ORVIX REGISTRY 1";
constexpr std::string_view kHeaderStart = "ORVIX REGISTRY";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }
char Byte(char high, char low) { return static_cast<char>(HexValue(high) * 16 + HexValue(low)); }

void AppendHex(std::string& out, unsigned char c)
{
    char buf[8];
    snprintf(buf, sizeof buf, "\\x%02X", c);
    out += buf;
}

// ---- Key paths ----

void AppendName(std::string& out, const std::string& name, bool afterSeparator)
{
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        // After a backslash, a quote or "x" and two hex digits would read as an escape.
        const bool looksEscaped = afterSeparator && i == 0
                                  && (c == '"' || (c == 'x' && name.size() > 2 && IsHex(name[1]) && IsHex(name[2])));
        if (c < 0x20 || c == 0x7F || c == ']' || c == '\\' || looksEscaped)
            AppendHex(out, c);
        else
            out += static_cast<char>(c);
    }
}

std::vector<std::string> DecodePath(std::string_view s)
{
    std::vector<std::string> names;
    std::string name;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            name += s[i];
        } else if (i + 3 < s.size() && s[i + 1] == 'x' && IsUpperHex(s[i + 2]) && IsUpperHex(s[i + 3])) {
            name += Byte(s[i + 2], s[i + 3]);
            i += 3;
        } else if (i + 1 < s.size() && s[i + 1] == '"') {
            name += '"';
            ++i;
        } else if (!name.empty()) {
            names.push_back(std::move(name));
            name.clear();
        }
    }
    if (!name.empty())
        names.push_back(std::move(name));
    return names;
}

// "\<kept>\<names>": the first `kept` names of the previous key's path, then the names from
// `rest` on. False for a whole path.
bool IsRelativePath(std::string_view s, size_t& kept, size_t& rest)
{
    if (s.size() < 2 || s[0] != '\\' || !IsDigit(s[1]))
        return false;
    size_t i = 1;
    kept = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i)
        kept = std::min<size_t>(kept * 10 + static_cast<size_t>(s[i] - '0'), size_t(1) << 40);
    rest = i;
    return i == s.size() || s[i] == '\\';
}

std::string_view StripCr(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

std::string_view TrimEnd(std::string_view line)
{
    const size_t end = line.find_last_not_of(kBlanks);
    return line.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

bool IsKeyLine(std::string_view line) { return line.size() >= 2 && line.front() == '[' && line.back() == ']'; }

// A line that was meant as a key's (it begins with a bracket), or that stood after a blank
// line: the lines after it are read as no key's until the next key line.
bool StartsBlock(std::string_view line)
{
    const size_t at = line.find_first_not_of(kBlanks);
    return !line.empty() && (line[0] == '\n' || (at != std::string_view::npos && line[at] == '['));
}

// ---- Quoted text ----

// The writer escapes a backslash and a quote, and every control byte (a line break too) as
// \xHH, so that a text it wrote holds no backslash but these escapes.
void AppendQuoted(std::string& out, const std::string& s)
{
    out += '"';
    for (unsigned char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            AppendHex(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

// The length of the escape at `at` (a backslash) when it is one this program ever wrote: \\,
// \", \xHH, and \n, which the previous version wrote for a line break. 0 for any other.
size_t EscapeLength(std::string_view s, size_t at)
{
    const char e = at + 1 < s.size() ? s[at + 1] : 0;
    if (e == '\\' || e == '"' || e == 'n')
        return 2;
    return e == 'x' && at + 3 < s.size() && IsHex(s[at + 2]) && IsHex(s[at + 3]) ? 4 : 0;
}

// The quoted text whose opening quote is at `at`, into `out`; returns where its closing quote
// is (npos when the line ends first: a text cut short keeps all it has). A text in which
// every backslash begins one of the escapes above is read with them. In any other a person
// typed the backslashes ("c:\data\new\xfiles"): each stands for itself, and the first quote
// closes the text. `lineBreak`: a "\n" was read as a line break.
size_t ReadQuoted(std::string_view line, size_t at, std::string& out, bool& lineBreak)
{
    size_t end = at + 1;
    bool escaped = true;
    for (; end < line.size() && line[end] != '"'; ++end) {
        const size_t length = line[end] == '\\' ? EscapeLength(line, end) : 1;
        if (length == 0) {
            escaped = false;
            break;
        }
        end += length - 1;
    }
    out.clear();
    lineBreak = false;
    if (!escaped) {
        end = line.find('"', at + 1);
        out.assign(line.substr(at + 1, end == std::string_view::npos ? end : end - at - 1));
        return end;
    }
    for (size_t i = at + 1; i < end; ++i) {
        const char c = line[i];
        if (c != '\\') {
            out += c;
        } else if (const char e = line[++i]; e == 'x') {
            out += Byte(line[i + 1], line[i + 2]);
            i += 2;
        } else {
            lineBreak = lineBreak || e == 'n';
            out += e == 'n' ? '\n' : e;
        }
    }
    return end < line.size() ? end : std::string_view::npos;
}

struct ValueLine {
    std::string name; // "" the default value
    std::string data;
    bool pathBreak = false; // "c:\new": a line break read where a path may have been typed
};

// A value line, @="text" or "name"="text", with nothing after the text's closing quote. False
// for any other line.
bool ReadValue(std::string_view line, ValueLine& value)
{
    bool lineBreak = false;
    size_t text = 2; // where the text's opening quote is
    value.name.clear();
    if (line.substr(0, 3) != "@=\"") {
        const size_t end = line.empty() || line[0] != '"' ? std::string_view::npos : ReadQuoted(line, 0, value.name, lineBreak);
        if (end == std::string_view::npos || end + 2 >= line.size() || line[end + 1] != '=' || line[end + 2] != '"')
            return false;
        text = end + 2;
    }
    const size_t end = ReadQuoted(line, text, value.data, lineBreak);
    if (end != std::string_view::npos && end + 1 != line.size())
        return false;
    const std::string_view typed = line.substr(text + 1);
    value.pathBreak = lineBreak && ((typed.size() > 1 && IsLetter(typed[0]) && typed[1] == ':') || typed.substr(0, 2) == "\\\\");
    return true;
}

// The key's values and, among them, the lines kept unread (in the file's own bytes). After a
// line that starts a block, the key's line comes again, so that the values after it stay
// with this key. `header` is the key's line as written.
void WriteValues(const Node& n, const std::vector<std::pair<size_t, std::string>>& unread, const std::string& header,
                 std::string& out)
{
    std::string line;
    if (n.hasDefault) {
        line = "@=";
        AppendQuoted(line, n.defaultValue);
        out += ToUtf8(line) + '\n';
    }
    size_t next = 0;
    for (size_t i = 0; i <= n.values.size(); ++i) {
        bool away = false;
        for (; next < unread.size() && (unread[next].first <= i || i == n.values.size()); ++next) {
            out += unread[next].second;
            out += '\n';
            away = away || StartsBlock(StripCr(unread[next].second));
        }
        if (i == n.values.size())
            break;
        if (away)
            out += header;
        line.clear();
        AppendQuoted(line, n.values[i].first);
        line += '=';
        AppendQuoted(line, n.values[i].second);
        out += ToUtf8(line) + '\n';
    }
}

// A key that holds nothing but keys is made by the paths of the keys below it.
bool NeedsSection(const Node& n)
{
    return n.hasDefault || !n.values.empty() || !n.unread.empty() || n.Children().empty();
}

// The file's text, its byte-order mark taken off, UTF-16 converted; `parsed` is told what
// keeps it from being read.
std::string_view Unmarked(const std::string& text, std::string& converted, ParsedText& parsed)
{
    std::string_view rest = text;
    const auto marked = [&](std::string_view mark) { return rest.substr(0, mark.size()) == mark; };
    if (marked({"\xFF\xFE\0\0", 4}) || marked({"\0\0\xFE\xFF", 4})) {
        parsed.unreadable = "UTF-32 text, which it does not read";
    } else if (marked("\xFF\xFE") || marked("\xFE\xFF")) { // Windows' "Unicode", as Notepad and regedit save it
        const bool big = rest[0] == '\xFE';
        parsed.converted = big ? "UTF-16 BE" : "UTF-16 LE";
        if (Utf16ToUtf8(rest.substr(2), big, converted))
            rest = converted;
        else
            parsed.unreadable = parsed.converted + " text that does not convert to UTF-8";
    } else if (marked(kByteOrderMark)) {
        rest.remove_prefix(kByteOrderMark.size()); // a Windows editor's mark, no setting
    }
    if (const size_t nul = rest.find('\0'); nul != std::string_view::npos && parsed.unreadable.empty())
        parsed.unreadable = "NUL bytes at line " + std::to_string(1 + std::count(rest.begin(), rest.begin() + nul, '\n'))
                            + ": a binary file, or text in an encoding it does not read";
    return rest;
}

} // namespace

ParsedText ParseText(const std::string& text)
{
    ParsedText parsed;
    std::string converted;
    std::string_view rest = Unmarked(text, converted, parsed);
    std::vector<Node*> path{&parsed.root}; // of the last key read, from the root
    Node* current = nullptr;               // the key that value lines go to
    Node* keeper = &parsed.root;           // the key that unread lines stay with
    bool pastHeader = false;               // the header or a key came: a header now is a stray line
    bool understood = false;               // a line was read
    bool afterBlank = false;               // since the last line that is not blank
    std::string decoded;
    ValueLine value;
    // The value lines read, by key and name ("" the default), so that a name given again
    // holds the later line's value and the earlier line can be named.
    struct Seen {
        size_t index, number;
        std::string_view raw;
    };
    std::map<const Node*, std::map<std::string, Seen, NameLess>> seen;
    for (size_t number = 1; !rest.empty(); ++number) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view raw = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        std::string_view line = StripCr(raw);
        if (line.find_first_not_of(kBlanks) == std::string_view::npos) {
            // A key's values stand right below its line: after a blank line, a value line
            // whose key line was lost belongs to no key.
            current = nullptr;
            afterBlank = true;
            continue;
        }
        // UTF-8, or a line of the code page's own bytes; a letter the code page lacks leaves
        // the line unread.
        const bool readable = DecodeText(line, decoded);
        if (readable)
            line = decoded;
        const std::string_view trimmed = TrimEnd(line);
        if (readable && trimmed.substr(0, kHeaderStart.size()) == kHeaderStart && (!pastHeader || trimmed != kHeader)) {
            // The header comes before the keys (comments may stand above it); another
            // version's, wherever it stands, keeps the file.
            if (trimmed != kHeader && parsed.unknownVersion.empty())
                parsed.unknownVersion = trimmed;
            pastHeader = understood = true;
            afterBlank = false;
            continue;
        }
        if (readable && IsKeyLine(trimmed)) {
            std::string_view inside = trimmed.substr(1, trimmed.size() - 2);
            size_t kept = 0, from = 0;
            if (!IsRelativePath(inside, kept, from)) {
                kept = 0;
                from = 0;
            }
            if (kept < path.size()) { // the short form of the previous version: resolved as it wrote it
                path.resize(kept + 1);
                for (const auto& name : DecodePath(inside.substr(from)))
                    path.push_back(&path.back()->MakeChild(name));
                current = keeper = path.back();
                pastHeader = understood = true;
                afterBlank = false;
                continue;
            }
        } else if (readable && current && ReadValue(line, value)) {
            understood = true;
            if (value.pathBreak)
                parsed.breaks.emplace_back(number, std::string(raw));
            // One name, one value: the later line holds, as an import of the file takes it.
            auto [was, first] = seen[current].try_emplace(value.name, Seen{current->values.size(), number, raw});
            if (!first) {
                parsed.passedOver.emplace_back(was->second.number, std::string(was->second.raw));
                was->second.number = number;
                was->second.raw = raw;
            }
            if (value.name.empty()) {
                current->hasDefault = true;
                current->defaultValue = std::move(value.data);
            } else if (first)
                current->values.emplace_back(std::move(value.name), std::move(value.data));
            else
                current->values[was->second.index].second = std::move(value.data);
            continue;
        }
        if (StartsBlock(line))
            current = nullptr; // its values must not go to another key
        // The top's lines stay before any key, where values are not read. A line after a
        // blank one keeps it, so that it is read as no key's again.
        keeper->unread.emplace_back(keeper == &parsed.root ? 0 : keeper->values.size(),
                                    afterBlank ? "\n" + std::string(raw) : std::string(raw));
        parsed.unread.emplace_back(number, std::string(raw));
        afterBlank = false;
    }
    if (!understood && !parsed.unread.empty() && parsed.unreadable.empty())
        parsed.unreadable = "none of its lines could be read";
    std::sort(parsed.passedOver.begin(), parsed.passedOver.end());
    return parsed;
}

std::string ToText(const Node& root)
{
    std::string out(kHeader);
    out += '\n';
    for (const auto& line : root.unread)
        out += line.second + '\n';
    if (root.hasDefault || !root.values.empty()) {
        out += "\n[]\n";
        WriteValues(root, {}, "[]\n", out);
    }
    // A walk in file order with a stack of its own (no recursion over the depth). Every key
    // line holds the key's whole path, so that no line depends on another.
    struct Step {
        const Node* node;
        size_t next = 0;   // child to visit next
        size_t length = 0; // of `path` up to this key
    };
    std::vector<Step> walk{{&root, 0, 0}};
    std::string path; // of the key visited, as written
    while (!walk.empty()) {
        Step& at = walk.back();
        if (at.next == at.node->Children().size()) {
            walk.pop_back();
            continue;
        }
        const Node& key = *at.node->Children()[at.next++];
        path.resize(at.length);
        if (walk.size() > 1)
            path += '\\';
        AppendName(path, key.name, walk.size() > 1);
        walk.push_back({&key, 0, path.size()});
        if (!NeedsSection(key))
            continue;
        std::string header = "[" + ToUtf8(path);
        if (header.back() == ' ')
            header.replace(header.size() - 1, 1, "\\x20"); // trailing blanks of a line do not count
        header += "]\n";
        out += "\n" + header;
        WriteValues(key, key.unread, header, out);
    }
    return out;
}

} // namespace orvix::registry
