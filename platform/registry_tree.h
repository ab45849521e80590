// The registry's tree as the file holds it, its text form, and the changes that the
// registry calls make to it. A change is kept as what the call meant (this value set, that
// key gone) so that it can be made again on a newer copy of the tree: what another program
// wrote to the file in the meantime then stays.
//
// The text form (docs/platform.md shows an example), UTF-8, a line that is not read as
// Windows-1252:
//   ORVIX REGISTRY 1              the header, the first line that is not blank; another
//                                 version's, wherever it stands, is read as far as it can be
//                                 and the file never written
//   [Software\Morvane\Orvix]      a key's whole path, its names separated by backslashes
//   @="text"                      the key's default value
//   "name"="text"                 a named value
//   []                            the root key, written when it holds values
// A key's values stand right below its line, up to the next blank line: a value line whose
// key line was lost belongs to no key. Files of the previous version may hold
// [\3\Deeper\Still] (the first 3 names of the previous key's path, then these), which is read.
// Trailing blanks and tabs of key lines and of the header do not count.
// In a key's path, a backslash, "x" and two upper-case hex digits stand for that byte and
// (as older versions wrote it) a backslash and a quote for a quote; any other backslash
// separates names. The writer escapes control bytes, 0x7F, "]", a blank at the end of the
// path, and, at the start of a name after a backslash, a quote and an "x" that two hex digits
// follow, so that older readers read the names right too. In quoted text, \\ \" \n and \xHH
// are escapes; any other backslash stands for itself. A key with neither values nor unread
// lines is written only when no key below it is. Lines end in LF; a CR before it is read as
// part of the line end. A line the reader does not understand is kept, as it was, with the
// key it follows (or at the top), and written back there among the key's values; a line that
// begins with a bracket and is no key, or that follows a blank line, starts a block of such
// lines that lasts until the next key line.
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

private:
    std::vector<std::unique_ptr<Node>> children_; // in creation order
    std::map<std::string, Node*, NameLess> index_;
};

struct Change {
    enum Kind { CreateKey, SetValue, DeleteValue, DeleteKey } kind;
    std::vector<std::string> path; // of the key, from the root
    std::string name;              // of the value; "" the default value
    std::string data;
};

// Makes the change on `root`. A key that the change needs is made, one that is already gone
// stays gone: so the change keeps its meaning on a tree that others changed since.
void Apply(Node& root, const Change& change);

// Key paths split at backslashes, empty parts dropped.
std::vector<std::string> SplitPath(const std::string& path);

struct ParsedText {
    Node root;
    // The first line when it names a version this reader does not know, else "".
    std::string unknownVersion;
    // The lines kept unread, with their numbers (from 1), for telling the user.
    std::vector<std::pair<size_t, std::string>> unread;
};

ParsedText ParseText(const std::string& text);
std::string ToText(const Node& root);

} // namespace orvix::registry
