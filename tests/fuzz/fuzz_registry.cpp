// libFuzzer target: the settings file's reader over arbitrary bytes. Whatever it reads must
// come back the same when written and read again: every key, value and line kept unread, in
// its place and order, and a second write gives the same text. A file of a version the
// reader does not know is only read, as the program never writes one.
//
// The same bytes also make a tree, which is written; lines of that file are then deleted,
// duplicated or edited, as a hand edit might. What the reader then finds may lose only the
// values of the key whose lines were touched, and no value may stand under a key it was not
// written to (its text names the value, so it can be told wherever it lands).
//
// An edit that reaches a file after a save read it is taken up as changes. Made on the file
// the edit was made on, they must give the edit's keys and values; made on any file, they
// must leave no key with a name twice.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/settings/registry_tree.h"

using orvix::registry::Node;
using Path = std::vector<std::string>;

namespace {

bool SameTree(const Node& a, const Node& b)
{
    std::vector<std::pair<const Node*, const Node*>> pending{{&a, &b}};
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        if (x->name != y->name || x->hasDefault != y->hasDefault || x->defaultValue != y->defaultValue
            || x->values != y->values || x->unread != y->unread || x->Children().size() != y->Children().size())
            return false;
        for (size_t i = 0; i < x->Children().size(); ++i)
            pending.emplace_back(x->Children()[i].get(), y->Children()[i].get());
    }
    return true;
}

void RoundTrip(const std::string& bytes)
{
    const auto first = orvix::registry::ParseText(bytes);
    if (!first.unknownVersion.empty() || !first.unreadable.empty())
        return;
    const std::string text = orvix::registry::ToText(first.root);
    const auto again = orvix::registry::ParseText(text);
    if (!again.unknownVersion.empty() || !SameTree(first.root, again.root) || again.unread.size() != first.unread.size()
        || orvix::registry::ToText(again.root) != text)
        abort(); // what this program writes, it must read back as it was
}

// ---- Late edits taken up ----

// The same keys with the same values, whatever their order and the case of their names.
bool SameValues(const Node& a, const Node& b)
{
    std::vector<std::pair<const Node*, const Node*>> pending{{&a, &b}};
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        if (x->hasDefault != y->hasDefault || x->defaultValue != y->defaultValue || x->values.size() != y->values.size()
            || x->Children().size() != y->Children().size())
            return false;
        for (const auto& [name, data] : x->values)
            if (const std::string* other = y->Value(name); !other || *other != data)
                return false;
        for (const auto& c : x->Children()) {
            const Node* d = y->Child(c->name);
            if (!d)
                return false;
            pending.emplace_back(c.get(), d);
        }
    }
    return true;
}

bool NoNameTwice(const Node& root)
{
    std::vector<const Node*> pending{&root};
    while (!pending.empty()) {
        const Node* n = pending.back();
        pending.pop_back();
        for (size_t i = 0; i < n->values.size(); ++i)
            if (n->values[i].first.empty() || n->Value(n->values[i].first) != &n->values[i].second)
                return false;
        for (const auto& c : n->Children())
            pending.push_back(c.get());
    }
    return true;
}

// What was done to the file `before` to make `after`, made on `onto` as a commit makes it.
void TakeUp(const std::string& before, const Node& after, const std::string& onto)
{
    auto merged = orvix::registry::ParseText(onto);
    for (const auto& change : orvix::registry::Changes(orvix::registry::ParseText(before).root, after))
        orvix::registry::Apply(merged.root, change);
    if (!NoNameTwice(merged.root) || (before == onto && !SameValues(merged.root, after)))
        abort(); // a late edit read twice, or not as it was made
}

// ---- Hand edits of a file this program wrote ----

struct Bytes {
    const uint8_t* at;
    size_t left;
    unsigned Next() { return left ? (--left, *at++) : 0; }
};

// Names with what the form must escape: blanks and tabs at the end, quotes, backslashes,
// brackets, "x" and hex digits, letters beyond ASCII, bytes the code page leaves unassigned.
std::string Name(Bytes& in)
{
    static const char* const kParts[] = {"a", "B", " ", "\t", "\"", "\\", "]", "[", "x4", "1", "\xE9", "\x81", "\x80", "="};
    std::string name = "k";
    for (unsigned n = in.Next() % 4; n-- > 0;)
        name += kParts[in.Next() % (sizeof kParts / sizeof *kParts)];
    return name;
}

bool SamePath(const Path& a, const Path& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!orvix::registry::SameName(a[i], b[i]))
            return false;
    return true;
}

struct PathSet {
    std::vector<Path> paths;
    bool all = false;
    bool Has(const Path& p) const
    {
        if (all)
            return true;
        for (const auto& q : paths)
            if (SamePath(p, q))
                return true;
        return false;
    }
};

// The key of a key line alone, {"\x01"} for any other line.
Path KeyOf(const std::string& line)
{
    if (line.empty() || line[0] != '[')
        return {"\x01"};
    const auto parsed = orvix::registry::ParseText("ORVIX REGISTRY 1\n" + line + "\n");
    Path path;
    for (const Node* n = &parsed.root; n->Children().size() == 1;) {
        n = n->Children()[0].get();
        path.push_back(n->name);
    }
    return path;
}

// Returns the edited file.
std::string HandEdits(Bytes in)
{
    // A tree whose every value says, by its text "#<n>", which it is.
    Node root;
    std::vector<std::pair<Node*, Path>> keys{{&root, {}}};
    std::vector<Path> written; // of value n
    std::vector<std::string> names;
    for (unsigned n = 1 + in.Next() % 24; n-- > 0;) {
        const auto& [parent, parentPath] = keys[in.Next() % keys.size()];
        Path path = parentPath;
        Node& key = parent->MakeChild(Name(in));
        path.push_back(key.name);
        keys.emplace_back(&key, path);
        for (unsigned v = in.Next() % 4; v-- > 0;) { // a key met again keeps the values it has
            const std::string data = "#" + std::to_string(written.size()), name = Name(in) + std::to_string(v);
            if (v == 0 && in.Next() % 2 && !key.hasDefault)
                key.hasDefault = true, key.defaultValue = data;
            else if (std::none_of(key.values.begin(), key.values.end(),
                                  [&](const auto& x) { return orvix::registry::SameName(x.first, name); }))
                key.values.emplace_back(name, data);
            else
                continue;
            written.push_back(path);
            names.push_back(key.hasDefault && key.defaultValue == data ? "" : name);
        }
    }
    std::vector<std::string> lines;
    const std::string text = orvix::registry::ToText(root);
    for (size_t at = 0, end; at < text.size(); at = end + 1)
        lines.push_back(text.substr(at, (end = text.find('\n', at)) - at));
    // The key whose section each line stands in (a key line: its own).
    std::vector<Path> section;
    Path current{"\x01"};
    for (const auto& line : lines) {
        if (!line.empty() && line[0] == '[')
            current = KeyOf(line);
        section.push_back(current);
    }

    // One line is touched: two (a key line and the blank line above it) may join two keys.
    PathSet owners, landing, open; // keys that may lose values; where those may go; where any may stand
    {
        const size_t i = in.Next() % lines.size();
        switch (in.Next() % 3) {
        case 0:
            owners.paths.push_back(section[i]);
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
            section.erase(section.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        case 1: { // the copy goes before line j, into the section of the line above it
            const size_t j = in.Next() % (lines.size() + 1);
            const Path into = j ? section[j - 1] : Path{"\x01"};
            owners.paths.push_back(into);
            open.paths.push_back(into);
            landing.paths.push_back(KeyOf(lines[i]));
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(j), lines[i]);
            section.insert(section.begin() + static_cast<std::ptrdiff_t>(j), into);
            break;
        }
        default:
            owners.paths.push_back(section[i]);
            open.paths.push_back(section[i]);
            landing.all = true;
            for (unsigned e = 1 + in.Next() % 3; e-- > 0;) {
                std::string& line = lines[i];
                const size_t p = in.Next() % (line.size() + 1);
                const char b = static_cast<char>(in.Next());
                switch (in.Next() % 3) {
                case 0: line.insert(p, 1, b); break;
                case 1: if (p < line.size()) line[p] = b; break;
                default: if (p < line.size()) line.erase(p, 1);
                }
            }
        }
    }
    std::string edited;
    for (const auto& line : lines)
        edited += line + '\n';

    // Every value read stands where it was written, or where the edits may have put it.
    const auto read = orvix::registry::ParseText(edited);
    std::vector<bool> found(written.size());
    std::vector<std::pair<Path, std::string>> standing; // every value read, by key and name
    std::vector<std::pair<const Node*, Path>> walk{{&read.root, {}}};
    while (!walk.empty()) {
        auto [n, path] = walk.back();
        walk.pop_back();
        auto values = n->values;
        if (n->hasDefault)
            values.emplace_back("", n->defaultValue);
        for (const auto& [name, data] : values) {
            standing.emplace_back(path, name);
            size_t id = written.size();
            if (data.size() > 1 && data[0] == '#' && data.find_first_not_of("0123456789", 1) == std::string::npos
                && data.size() < 8)
                id = std::stoul(data.substr(1));
            if (id < written.size() && SamePath(written[id], path)) {
                found[id] = true;
                continue;
            }
            if (!open.Has(path) && !(id < written.size() && owners.Has(written[id]) && landing.Has(path)))
                abort(); // a value under a key it was not written to
        }
        for (const auto& c : n->Children()) {
            Path below = path;
            below.push_back(c->name);
            walk.emplace_back(c.get(), std::move(below));
        }
    }
    // A value of a key that no edit touched is there, or one of the same name that an added
    // key line brought (whose text the check above has seen).
    for (size_t id = 0; id < written.size(); ++id)
        if (!found[id] && !owners.Has(written[id])
            && std::none_of(standing.begin(), standing.end(), [&](const auto& v) {
                   return SamePath(v.first, written[id]) && orvix::registry::SameName(v.second, names[id]);
               }))
            abort(); // a key lost values that no edit touched
    if (!NoNameTwice(read.root))
        abort();
    TakeUp(text, read.root, text);
    return edited;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    RoundTrip(bytes);
    const std::string edited = HandEdits({data, size});
    TakeUp(bytes, orvix::registry::ParseText(edited).root, bytes);
    TakeUp(edited, orvix::registry::ParseText(bytes).root, edited);
    TakeUp(bytes, orvix::registry::ParseText(edited).root, edited);
    return 0;
}
