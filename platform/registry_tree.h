// The registry's tree as the file holds it, its text form, and the changes that the
// registry calls make to it. A change is kept as what the call meant (this value set, that
// key gone) so that it can be made again on a newer copy of the tree: what another program
// wrote to the file in the meantime then stays.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvix::registry {

struct Node {
    std::string name;
    bool hasDefault = false;
    std::string defaultValue;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::unique_ptr<Node>> children;

    // Names match without regard to letter case.
    Node* Child(const std::string& n) const;
    // The node at `path` below this one, or null.
    Node* Find(const std::vector<std::string>& path);
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

Node ParseText(const std::string& text);
std::string ToText(const Node& root);

} // namespace orvix::registry
