#include "platform/settings/registry_tree.h"

#include <algorithm>

namespace orvix::registry {

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The node at `path`, made where it is missing.
Node& MakePath(Node& root, const std::vector<std::string>& path)
{
    Node* n = &root;
    for (const auto& part : path)
        n = &n->MakeChild(part);
    return *n;
}

} // namespace

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Folded(x) == Folded(y);
           });
}

bool NameLess::operator()(const std::string& a, const std::string& b) const
{
    // Any order serves an index: the shorter name first is the quicker one.
    if (a.size() != b.size())
        return a.size() < b.size();
    for (size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i]))
            return static_cast<unsigned char>(Folded(a[i])) < static_cast<unsigned char>(Folded(b[i]));
    return false;
}

Node::~Node()
{
    // Each node is freed with its children already taken away, so no destructor recurses.
    std::vector<std::unique_ptr<Node>> pending = std::move(children_);
    while (!pending.empty()) {
        std::unique_ptr<Node> n = std::move(pending.back());
        pending.pop_back();
        for (auto& c : n->children_)
            pending.push_back(std::move(c));
        n->children_.clear();
    }
}

Node* Node::Child(const std::string& n) const
{
    auto it = index_.find(n);
    return it == index_.end() ? nullptr : it->second;
}

Node& Node::MakeChild(const std::string& n)
{
    if (Node* c = Child(n))
        return *c;
    children_.push_back(std::make_unique<Node>());
    Node* c = children_.back().get();
    c->name = n;
    index_.emplace(n, c);
    return *c;
}

void Node::RemoveChild(const std::string& n)
{
    auto it = index_.find(n);
    if (it == index_.end())
        return;
    auto at = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.get() == it->second; });
    std::unique_ptr<Node> gone = std::move(*at);
    children_.erase(at);
    index_.erase(it);
    // What the reader kept unread goes to the key above, never away with the key.
    std::vector<const Node*> stack{gone.get()};
    while (!stack.empty()) {
        const Node* k = stack.back();
        stack.pop_back();
        for (const auto& line : k->unread)
            unread.emplace_back(values.size(), line.second);
        for (auto c = k->children_.rbegin(); c != k->children_.rend(); ++c)
            stack.push_back(c->get());
    }
}

Node* Node::Find(const std::vector<std::string>& path)
{
    Node* n = this;
    for (const auto& part : path)
        if (!(n = n->Child(part)))
            return nullptr;
    return n;
}

const std::string* Node::Value(const std::string& name) const
{
    for (const auto& [vn, vd] : values)
        if (SameName(vn, name))
            return &vd;
    return nullptr;
}

bool Node::HasUnread(const std::string& line) const
{
    return std::any_of(unread.begin(), unread.end(), [&](const auto& l) { return l.second == line; });
}

void Apply(Node& root, const Change& change)
{
    if (change.kind == Change::CreateKey) {
        MakePath(root, change.path);
    } else if (change.kind == Change::SetValue) {
        Node& n = MakePath(root, change.path);
        if (change.name.empty()) {
            n.hasDefault = true;
            n.defaultValue = change.data;
            return;
        }
        if (std::string* data = n.Value(change.name))
            *data = change.data;
        else
            n.values.emplace_back(change.name, change.data);
    } else if (change.kind == Change::DeleteValue) {
        Node* n = root.Find(change.path);
        if (!n)
            return;
        if (change.name.empty()) {
            n->hasDefault = false;
            n->defaultValue.clear();
            return;
        }
        // The lines kept unread stay beside the values they were beside.
        for (size_t i = n->values.size(); i-- > 0;) {
            if (!SameName(n->values[i].first, change.name))
                continue;
            n->values.erase(n->values.begin() + static_cast<std::ptrdiff_t>(i));
            for (auto& line : n->unread)
                line.first -= line.first > i;
        }
    } else if (change.kind == Change::KeepLine) {
        Node& n = MakePath(root, change.path);
        if (!n.HasUnread(change.data))
            n.unread.emplace_back(n.values.size(), change.data);
    } else if (change.kind == Change::DropLine) {
        if (Node* n = root.Find(change.path))
            std::erase_if(n->unread, [&](const auto& l) { return l.second == change.data; });
    } else if (!change.path.empty()) {
        // The key goes with whatever it holds now: a tree is deleted from its leaves up,
        // and a key that another program gave a subkey meanwhile would otherwise stay half.
        Node* parent = root.Find({change.path.begin(), change.path.end() - 1});
        if (parent)
            parent->RemoveChild(change.path.back());
    }
}

namespace {

// What changed in one key: `was` is null for a key that `now` added. A new key is made by
// its values, or by the keys below it; only one that holds nothing needs a change of its own.
void KeyChanges(const Node* was, const Node& now, const std::vector<std::string>& path, std::vector<Change>& out)
{
    static const Node kNone;
    const Node& before = was ? *was : kNone;
    if (!was && !now.hasDefault && now.values.empty() && now.unread.empty() && now.Children().empty())
        out.push_back({Change::CreateKey, path, {}, {}});
    if (now.hasDefault && (!before.hasDefault || before.defaultValue != now.defaultValue))
        out.push_back({Change::SetValue, path, {}, now.defaultValue});
    else if (before.hasDefault && !now.hasDefault)
        out.push_back({Change::DeleteValue, path, {}, {}});
    for (const auto& [name, data] : before.values)
        if (!now.Value(name))
            out.push_back({Change::DeleteValue, path, name, {}});
    for (const auto& [name, data] : now.values)
        if (const std::string* old = before.Value(name); !old || *old != data)
            out.push_back({Change::SetValue, path, name, data});
    for (const auto& [at, line] : before.unread)
        if (!now.HasUnread(line))
            out.push_back({Change::DropLine, path, {}, line});
    for (const auto& [at, line] : now.unread)
        if (!before.HasUnread(line))
            out.push_back({Change::KeepLine, path, {}, line});
}

} // namespace

std::vector<Change> Changes(const Node& before, const Node& after)
{
    std::vector<Change> out;
    std::vector<std::string> path; // of the key the walk stands at
    KeyChanges(&before, after, path, out);
    // A walk of `after` with a stack of its own (no recursion over the depth), each key beside
    // its namesake in `before`; a key of `before` that is gone is deleted with its tree.
    struct Step {
        const Node* was; // null: the key is new, and so is everything below it
        const Node* now;
        size_t next = 0;
    };
    std::vector<Step> walk{{&before, &after}};
    while (!walk.empty()) {
        Step& at = walk.back();
        if (at.next < at.now->Children().size()) {
            const Node& child = *at.now->Children()[at.next++];
            const Node* was = at.was ? at.was->Child(child.name) : nullptr;
            path.push_back(child.name);
            KeyChanges(was, child, path, out);
            walk.push_back({was, &child});
            continue;
        }
        for (size_t i = 0; at.was && i < at.was->Children().size(); ++i)
            if (const Node& gone = *at.was->Children()[i]; !at.now->Child(gone.name)) {
                path.push_back(gone.name);
                out.push_back({Change::DeleteKey, path, {}, {}});
                path.pop_back();
            }
        walk.pop_back();
        if (!walk.empty())
            path.pop_back();
    }
    return out;
}

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

} // namespace orvix::registry
