// The registry's text form (registry_tree.h describes it): reading it without losing a line,
// and writing it so that what was read comes back the same.
#include "platform/registry_tree.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace orvix::registry {

namespace {

constexpr std::string_view kHeader = "ORVIX REGISTRY 1";
constexpr std::string_view kHeaderStart = "ORVIX REGISTRY";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// A key's path up to this length is written whole, which older readers understand; a longer
// one after the names it shares with the key before it, so that a deep tree does not repeat
// its paths.
constexpr size_t kWholePathLimit = 256;

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
        if (c < 0x20 || c >= 0x7F || c == ']' || c == '\\' || looksEscaped)
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

bool IsHeader(std::string_view line) { return line.size() >= 2 && line.front() == '[' && line.back() == ']'; }

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
        } else if (c < 0x20 || c >= 0x7F) {
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
        } else {
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

// The key's values and, among them, the lines kept unread. After a line in brackets (a key
// the reader could not find) the key's header comes again, so that the values after it
// stay with this key.
void WriteValues(const Node& n, const std::vector<std::pair<size_t, std::string>>& unread, const std::string& header,
                 std::string& out)
{
    if (n.hasDefault) {
        out += "@=";
        AppendQuoted(out, n.defaultValue);
        out += '\n';
    }
    size_t next = 0;
    for (size_t i = 0; i <= n.values.size(); ++i) {
        bool away = false;
        for (; next < unread.size() && (unread[next].first <= i || i == n.values.size()); ++next) {
            const std::string& line = unread[next].second;
            out += line;
            out += '\n';
            away = away || IsHeader(StripCr(line));
        }
        if (i == n.values.size())
            break;
        if (away)
            out += header;
        AppendQuoted(out, n.values[i].first);
        out += '=';
        AppendQuoted(out, n.values[i].second);
        out += '\n';
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
    for (size_t number = 1; !rest.empty(); ++number) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view raw = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        const std::string_view line = StripCr(raw);
        if (line.find_first_not_of(" \t") == std::string_view::npos)
            continue;
        if (number == 1 && line.substr(0, kHeaderStart.size()) == kHeaderStart) {
            if (line != kHeader)
                parsed.unknownVersion = line;
            continue;
        }
        if (IsHeader(line)) {
            std::string_view inside = line.substr(1, line.size() - 2);
            size_t kept = 0, from = 0;
            if (!IsRelativePath(inside, kept, from)) {
                kept = 0;
                from = 0;
            }
            if (kept < path.size()) {
                path.resize(kept + 1);
                for (const auto& name : DecodePath(inside.substr(from)))
                    path.push_back(&path.back()->MakeChild(name));
                current = keeper = path.back();
                continue;
            }
            current = nullptr; // its values must not go to another key
        } else if (current && ReadValue(line, *current)) {
            continue;
        }
        // The top's lines stay before any key, where values are not read.
        keeper->unread.emplace_back(keeper == &parsed.root ? 0 : keeper->values.size(), raw);
        parsed.unread.emplace_back(number, std::string(raw));
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
    // A walk in file order with a stack of its own (no recursion over the depth). `shared`:
    // how many names of the walk's path the last key written shares with it.
    struct Step {
        const Node* node;
        size_t next = 0;    // child to visit next
        size_t pathLength;  // of the path to it, as written whole
    };
    std::vector<Step> walk{{&root, 0, 0}};
    size_t shared = 0;
    while (!walk.empty()) {
        Step& at = walk.back();
        if (at.next == at.node->Children().size()) {
            walk.pop_back();
            shared = std::min(shared, walk.empty() ? 0 : walk.size() - 1);
            continue;
        }
        const Node& key = *at.node->Children()[at.next++];
        std::string name;
        AppendName(name, key.name, true);
        walk.push_back({&key, 0, at.pathLength + 1 + name.size()});
        if (!NeedsSection(key))
            continue;
        const size_t depth = walk.size() - 1;
        const bool whole = shared == 0 || walk.back().pathLength <= kWholePathLimit;
        std::string header = "[";
        if (!whole)
            header += "\\" + std::to_string(shared);
        for (size_t i = whole ? 1 : shared + 1; i <= depth; ++i) {
            if (i > 1 || !whole)
                header += '\\';
            AppendName(header, walk[i].node->name, i > 1 || !whole);
        }
        header += "]\n";
        out += "\n" + header;
        WriteValues(key, key.unread, header, out);
        shared = depth;
    }
    return out;
}

} // namespace orvix::registry
