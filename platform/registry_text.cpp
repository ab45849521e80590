// The registry's text form (registry_tree.h describes it): reading it without losing a line,
// and writing it so that what was read comes back the same.
#include "platform/registry_tree.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "platform/codepage.h"

namespace orvix::registry {

namespace {

constexpr std::string_view kHeader = "ORVIX REGISTRY 1";
constexpr std::string_view kHeaderStart = "ORVIX REGISTRY";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
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

void AppendQuoted(std::string& out, const std::string& s)
{
    out += '"';
    for (unsigned char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            AppendHex(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

// Where the quoted text that starts at `at` ends (at its closing quote), or npos.
size_t ClosingQuote(std::string_view line, size_t at)
{
    for (size_t i = at + 1; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '"')
            return i;
    }
    return std::string_view::npos;
}

// The quoted text from `at` (its opening quote) to the line's end. False when something
// follows its closing quote. A text that was cut short keeps every character it has.
bool DecodeQuoted(std::string_view line, size_t at, std::string& out)
{
    out.clear();
    for (size_t i = at + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            return i + 1 == line.size();
        if (c != '\\' || i + 1 == line.size()) {
            out += c;
            continue;
        }
        const char e = line[++i];
        if (e == 'n') {
            out += '\n';
        } else if (e == 'x' && i + 2 < line.size() && IsHex(line[i + 1]) && IsHex(line[i + 2])) {
            out += Byte(line[i + 1], line[i + 2]);
            i += 2;
        } else if (e == '\\' || e == '"') {
            out += e;
        } else { // not ours: a hand-typed path such as c:\data\rig2
            out += '\\';
            out += e;
        }
    }
    return true;
}

// Reads one line into the key `current`: false when it is not a value line.
bool ReadValue(std::string_view line, Node& current)
{
    std::string name, data;
    if (line.size() > 2 && line.substr(0, 3) == "@=\"") {
        if (!DecodeQuoted(line, 2, data))
            return false;
        current.hasDefault = true;
        current.defaultValue = std::move(data);
        return true;
    }
    const size_t end = line.empty() || line[0] != '"' ? std::string_view::npos : ClosingQuote(line, 0);
    if (end == std::string_view::npos || end + 2 >= line.size() || line[end + 1] != '=' || line[end + 2] != '"')
        return false;
    DecodeQuoted(line.substr(0, end + 1), 0, name);
    if (!DecodeQuoted(line, end + 2, data))
        return false;
    current.values.emplace_back(std::move(name), std::move(data));
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

} // namespace

ParsedText ParseText(const std::string& text)
{
    ParsedText parsed;
    std::string_view rest = text;
    if (rest.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        rest.remove_prefix(kByteOrderMark.size()); // a Windows editor's mark, no setting
    std::vector<Node*> path{&parsed.root}; // of the last key read, from the root
    Node* current = nullptr;               // the key that value lines go to
    Node* keeper = &parsed.root;           // the key that unread lines stay with
    bool headed = false;                   // a line that is not blank came
    bool afterBlank = false;               // since the last line that is not blank
    std::string decoded;
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
        if (readable && trimmed.substr(0, kHeaderStart.size()) == kHeaderStart && (!headed || trimmed != kHeader)) {
            // The first line is the header; another version's, wherever it stands, keeps the file.
            if (trimmed != kHeader && parsed.unknownVersion.empty())
                parsed.unknownVersion = trimmed;
            headed = true;
            afterBlank = false;
            continue;
        }
        headed = true;
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
                afterBlank = false;
                continue;
            }
        } else if (readable && current && ReadValue(line, *current)) {
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
