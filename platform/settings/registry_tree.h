// The registry's tree as the file holds it, its text form, and the changes that the
// registry calls make to it. A change is kept as what the call meant (this value set, that
// key gone) so that it can be made again on a newer copy of the tree: what another program
// wrote to the file in the meantime then stays. What a hand edit did to a file is worked out
// as such changes too, so that it is taken up as what it did, never as a second copy.
//
// The text form: docs/platform.md ("Settings file") gives its grammar. In short: UTF-8 (a
// line that is not: Windows-1252; UTF-16 with a byte-order mark is converted), a header
// "ORVIX REGISTRY 1" before the first key (another version's, wherever it stands, keeps the
// file as it is), key lines "[whole\path]" each followed by its values "@=" and "name"=
// up to the next blank line, and the lines the reader does not understand, kept where they
// were. A name given twice under one key holds the later line's value.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvix::registry {

// Names match without regard to ASCII letter case, whatever the locale.
bool SameName(const std::string& a, const std::string& b);

struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

struct Node {
    std::string name;
    bool hasDefault = false;
    std::string defaultValue;
    std::vector<std::pair<std::string, std::string>> values;
    // Lines of the file that the reader did not understand, as they were (their CR kept; one
    // that followed a blank line begins with LF), each with the number of values before it.
    std::vector<std::pair<size_t, std::string>> unread;

    Node() = default;
    // A tree of any depth is freed without recursion.
    ~Node();
    Node(Node&&) noexcept = default;
    Node& operator=(Node&&) noexcept = default;

    const std::vector<std::unique_ptr<Node>>& Children() const { return children_; }
    Node* Child(const std::string& n) const;
    // The child of that name, made (last) when there is none.
    Node& MakeChild(const std::string& n);
    // Removes the child of that name with its tree; the unread lines of the tree move here.
    void RemoveChild(const std::string& n);
    // The node at `path` below this one, or null.
    Node* Find(const std::vector<std::string>& path);
    // The data of the value of that name (in any letter case), or null.
    const std::string* Value(const std::string& name) const;
    std::string* Value(const std::string& name) { return const_cast<std::string*>(std::as_const(*this).Value(name)); }
    // Whether the line is kept unread here.
    bool HasUnread(const std::string& line) const;

private:
    std::vector<std::unique_ptr<Node>> children_; // in creation order
    std::map<std::string, Node*, NameLess> index_;
};

struct Change {
    // KeepLine: the key keeps the line `data` unread (at its end, when it holds no such line);
    // DropLine: no line `data` stays unread in it.
    enum Kind { CreateKey, SetValue, DeleteValue, DeleteKey, KeepLine, DropLine } kind;
    std::vector<std::string> path; // of the key, from the root
    std::string name;              // of the value; "" the default value
    std::string data;
};

// Makes the change on `root`. A key that the change needs is made, one that is already gone
// stays gone: so the change keeps its meaning on a tree that others changed since. Made
// twice, a change gives what it gives once.
void Apply(Node& root, const Change& change);

// What was done to `before` to make `after`, key by key and value by value: keys made and
// deleted, values added, changed and deleted, unread lines added and removed.
std::vector<Change> Changes(const Node& before, const Node& after);

// Key paths split at backslashes, empty parts dropped.
std::vector<std::string> SplitPath(const std::string& path);

// A line of the file, by its number (from 1), for telling the user.
using Line = std::pair<size_t, std::string>;

struct ParsedText {
    Node root;
    // The header when it names a version this reader does not know, else "".
    std::string unknownVersion;
    // Why the file cannot be read, so that it must not be written over ("none of its lines
    // could be read", NUL bytes, an encoding this reader does not know), else "".
    std::string unreadable;
    // "UTF-16 LE" or "UTF-16 BE" for a file that was converted to be read, else "".
    std::string converted;
    std::vector<Line> unread;
    // A value line whose name a later line under the same key gave again: the later holds.
    std::vector<Line> passedOver;
    // A value that reads with a line break ("\n") where it looks like a typed path
    // ("c:\new", "\\server\new").
    std::vector<Line> breaks;
};

ParsedText ParseText(const std::string& text);
std::string ToText(const Node& root);

} // namespace orvix::registry
