#include "platform/registry_tree.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <strings.h>

namespace orvix::registry {

namespace {

const char* kHeader = "ORVIX REGISTRY 1";

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

Node* AddChild(Node& parent, const std::string& name)
{
    parent.children.push_back(std::make_unique<Node>());
    parent.children.back()->name = name;
    return parent.children.back().get();
}

// The node at `path`, made where it is missing.
Node& MakePath(Node& root, const std::vector<std::string>& path)
{
    Node* n = &root;
    for (const auto& part : path) {
        Node* child = n->Child(part);
        n = child ? child : AddChild(*n, part);
    }
    return *n;
}

std::string Escape(const std::string& s, bool keyPath)
{
    std::string out;
    char buf[8];
    for (unsigned char c : s) {
        if (c == '\\' && keyPath) {
            out += '\\';
        } else if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F || (keyPath && c == ']')) {
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Key paths keep their single backslashes as separators; \xNN stands for one byte.
std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && isxdigit(static_cast<unsigned char>(s[i + 2]))
            && isxdigit(static_cast<unsigned char>(s[i + 3]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

size_t FindClosingQuote(const std::string& line)
{
    if (line.empty() || line[0] != '"')
        return std::string::npos;
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '"')
            return i;
    }
    return std::string::npos;
}

std::string Unquote(const std::string& q)
{
    std::string out;
    if (q.size() < 2 || q.front() != '"')
        return out;
    for (size_t i = 1; i + 1 < q.size(); ++i) {
        char c = q[i];
        if (c != '\\' || i + 2 >= q.size()) {
            out += c;
            continue;
        }
        char e = q[++i];
        if (e == 'n') {
            out += '\n';
        } else if (e == 'x' && i + 2 < q.size() && isxdigit(static_cast<unsigned char>(q[i + 1]))
                   && isxdigit(static_cast<unsigned char>(q[i + 2]))) {
            out += static_cast<char>(std::stoi(q.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += e;
        }
    }
    return out;
}

void WriteNode(const Node& n, const std::string& path, std::string& out)
{
    if (!path.empty()) {
        out += "\n[" + Escape(path, true) + "]\n";
        if (n.hasDefault)
            out += "@=\"" + Escape(n.defaultValue, false) + "\"\n";
        for (const auto& [name, data] : n.values)
            out += "\"" + Escape(name, false) + "\"=\"" + Escape(data, false) + "\"\n";
    }
    for (const auto& c : n.children)
        WriteNode(*c, path.empty() ? c->name : path + "\\" + c->name, out);
}

} // namespace

Node* Node::Child(const std::string& n) const
{
    for (const auto& c : children)
        if (SameName(c->name, n))
            return c.get();
    return nullptr;
}

Node* Node::Find(const std::vector<std::string>& path)
{
    Node* n = this;
    for (const auto& part : path)
        if (!(n = n->Child(part)))
            return nullptr;
    return n;
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
        auto it = std::find_if(n.values.begin(), n.values.end(),
                               [&](const auto& v) { return SameName(v.first, change.name); });
        if (it != n.values.end())
            it->second = change.data;
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
        std::erase_if(n->values, [&](const auto& v) { return SameName(v.first, change.name); });
    } else if (!change.path.empty()) {
        // The key goes with whatever it holds now: a tree is deleted from its leaves up,
        // and a key that another program gave a subkey meanwhile would otherwise stay half.
        Node* parent = root.Find({change.path.begin(), change.path.end() - 1});
        if (parent)
            std::erase_if(parent->children, [&](const auto& c) { return SameName(c->name, change.path.back()); });
    }
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

Node ParseText(const std::string& text)
{
    Node root;
    std::istringstream in(text);
    std::string line;
    Node* current = nullptr;
    while (std::getline(in, line)) {
        if (line.empty() || line == kHeader)
            continue;
        if (line.front() == '[' && line.back() == ']') {
            current = &MakePath(root, SplitPath(Unescape(line.substr(1, line.size() - 2))));
            continue;
        }
        if (!current)
            continue;
        if (line.rfind("@=", 0) == 0) {
            current->hasDefault = true;
            current->defaultValue = Unquote(line.substr(2));
            continue;
        }
        // "name"="data"
        size_t sep = FindClosingQuote(line);
        if (sep == std::string::npos || sep + 1 >= line.size() || line[sep + 1] != '=')
            continue;
        current->values.emplace_back(Unquote(line.substr(0, sep + 1)), Unquote(line.substr(sep + 2)));
    }
    return root;
}

std::string ToText(const Node& root)
{
    std::string text = std::string(kHeader) + "\n";
    WriteNode(root, "", text);
    return text;
}

} // namespace orvix::registry
