#include "platform/registry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <strings.h>
#include <vector>

#include "platform/atomic_file.h"

namespace orvix {

struct RegHandle {
    std::vector<std::string> path; // key names from the root
    bool root = false;
};

namespace {

RegHandle g_rootHandle{{}, true};

struct Node {
    std::string name;
    bool hasDefault = false;
    std::string defaultValue;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::unique_ptr<Node>> children;

    Node* Child(const std::string& n)
    {
        for (auto& c : children)
            if (strcasecmp(c->name.c_str(), n.c_str()) == 0)
                return c.get();
        return nullptr;
    }
};

const char* kHeader = "ORVIX REGISTRY 1";

class Store {
public:
    Node root;
    bool loaded = false;
    int transactionDepth = 0;

    void EnsureLoaded()
    {
        if (!loaded)
            Load();
    }

    void Load()
    {
        root = Node();
        loaded = true;
        std::ifstream in(RegistryFilePath(), std::ios::binary);
        if (!in)
            return;
        std::string line;
        Node* current = nullptr;
        while (std::getline(in, line)) {
            if (line.empty() || line == kHeader)
                continue;
            if (line.front() == '[' && line.back() == ']') {
                current = &root;
                for (const auto& part : SplitPath(Unescape(line.substr(1, line.size() - 2)))) {
                    Node* child = current->Child(part);
                    if (!child) {
                        current->children.push_back(std::make_unique<Node>());
                        child = current->children.back().get();
                        child->name = part;
                    }
                    current = child;
                }
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
    }

    bool Save()
    {
        if (transactionDepth > 0)
            return true;
        std::string text = std::string(kHeader) + "\n";
        WriteNode(root, "", text);
        return WriteFileAtomically(RegistryFilePath(), text);
    }

    // Saves a change; a failed write puts the tree back as the file holds it.
    long Commit()
    {
        if (Save())
            return ERROR_SUCCESS;
        Load();
        return ERROR_WRITE_FAULT;
    }

    Node* Resolve(const RegHandle* h)
    {
        EnsureLoaded();
        Node* n = &root;
        for (const auto& part : h->path) {
            n = n->Child(part);
            if (!n)
                return nullptr;
        }
        return n;
    }

    static std::vector<std::string> SplitPath(const std::string& path)
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

private:
    static void WriteNode(const Node& n, const std::string& path, std::string& out)
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

    static std::string Escape(const std::string& s, bool keyPath)
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
    static std::string Unescape(const std::string& s)
    {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\\' && i + 3 < s.size() + 0 && s[i + 1] == 'x' && isxdigit(static_cast<unsigned char>(s[i + 2]))
                && isxdigit(static_cast<unsigned char>(s[i + 3]))) {
                out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                out += s[i];
            }
        }
        return out;
    }

    static size_t FindClosingQuote(const std::string& line)
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

    static std::string Unquote(const std::string& q)
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
            } else if (e == 'x' && i + 2 < q.size()) {
                out += static_cast<char>(std::stoi(q.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += e;
            }
        }
        return out;
    }
};

Store& TheStore()
{
    static Store store;
    return store;
}

Node* ResolveHandle(HKEY h)
{
    if (!h)
        return nullptr;
    return TheStore().Resolve(h);
}

std::vector<std::string> JoinedPath(HKEY parent, const char* subKey)
{
    std::vector<std::string> path = parent->path;
    for (auto& part : Store::SplitPath(subKey ? subKey : ""))
        path.push_back(part);
    return path;
}

} // namespace

const HKEY HKEY_CURRENT_USER = &g_rootHandle;

std::string RegistryFilePath()
{
    if (const char* p = getenv("ORVIX_REGISTRY"); p && *p)
        return p;
    std::string base;
    if (const char* x = getenv("XDG_CONFIG_HOME"); x && *x)
        base = x;
    else
        base = std::string(getenv("HOME") ? getenv("HOME") : "/tmp") + "/.config";
    return base + "/Morvane/Orvix.reg";
}

void ReloadRegistry() { TheStore().Load(); }

long RegCreateKeyEx(HKEY parent, const char* subKey, HKEY* result)
{
    Node* n = ResolveHandle(parent);
    if (!n)
        return ERROR_INVALID_HANDLE;
    bool created = false;
    for (const auto& part : Store::SplitPath(subKey ? subKey : "")) {
        Node* child = n->Child(part);
        if (!child) {
            n->children.push_back(std::make_unique<Node>());
            child = n->children.back().get();
            child->name = part;
            created = true;
        }
        n = child;
    }
    if (created) {
        long rc = TheStore().Commit();
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    *result = new RegHandle{JoinedPath(parent, subKey), false};
    return ERROR_SUCCESS;
}

long RegOpenKeyEx(HKEY parent, const char* subKey, HKEY* result)
{
    if (!ResolveHandle(parent))
        return ERROR_INVALID_HANDLE;
    auto path = JoinedPath(parent, subKey);
    RegHandle probe{path, false};
    if (!TheStore().Resolve(&probe))
        return ERROR_FILE_NOT_FOUND;
    *result = new RegHandle{path, false};
    return ERROR_SUCCESS;
}

long RegCloseKey(HKEY key)
{
    if (!key || key->root)
        return key ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}

long RegQueryInfoKey(HKEY key, uint32_t* subKeyCount, uint32_t* valueCount)
{
    Node* n = ResolveHandle(key);
    if (!n)
        return ERROR_INVALID_HANDLE;
    if (subKeyCount)
        *subKeyCount = static_cast<uint32_t>(n->children.size());
    if (valueCount)
        *valueCount = static_cast<uint32_t>(n->values.size());
    return ERROR_SUCCESS;
}

long RegEnumValue(HKEY key, uint32_t index, std::string* name, std::string* data)
{
    Node* n = ResolveHandle(key);
    if (!n)
        return ERROR_INVALID_HANDLE;
    if (index >= n->values.size())
        return ERROR_NO_MORE_ITEMS;
    if (name)
        *name = n->values[index].first;
    if (data)
        *data = n->values[index].second;
    return ERROR_SUCCESS;
}

long RegQueryValueEx(HKEY key, const char* name, std::string* data)
{
    Node* n = ResolveHandle(key);
    if (!n)
        return ERROR_INVALID_HANDLE;
    if (!name || !*name) {
        if (!n->hasDefault)
            return ERROR_FILE_NOT_FOUND;
        if (data)
            *data = n->defaultValue;
        return ERROR_SUCCESS;
    }
    for (const auto& [vn, vd] : n->values) {
        if (strcasecmp(vn.c_str(), name) == 0) {
            if (data)
                *data = vd;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

long RegSetValueEx(HKEY key, const char* name, const std::string& data)
{
    Node* n = ResolveHandle(key);
    if (!n)
        return ERROR_INVALID_HANDLE;
    if (!name || !*name) {
        n->hasDefault = true;
        n->defaultValue = data;
    } else {
        auto it = std::find_if(n->values.begin(), n->values.end(),
                               [&](const auto& v) { return strcasecmp(v.first.c_str(), name) == 0; });
        if (it != n->values.end())
            it->second = data;
        else
            n->values.emplace_back(name, data);
    }
    return TheStore().Commit();
}

long RegEnumKey(HKEY key, uint32_t index, std::string* name)
{
    Node* n = ResolveHandle(key);
    if (!n)
        return ERROR_INVALID_HANDLE;
    if (index >= n->children.size())
        return ERROR_NO_MORE_ITEMS;
    if (name)
        *name = n->children[index]->name;
    return ERROR_SUCCESS;
}

long RegDeleteKey(HKEY parent, const char* subKey)
{
    if (!ResolveHandle(parent))
        return ERROR_INVALID_HANDLE;
    auto path = JoinedPath(parent, subKey);
    if (path.empty())
        return ERROR_ACCESS_DENIED;
    RegHandle parentProbe{std::vector<std::string>(path.begin(), path.end() - 1), false};
    Node* p = TheStore().Resolve(&parentProbe);
    Node* n = p ? p->Child(path.back()) : nullptr;
    if (!n)
        return ERROR_FILE_NOT_FOUND;
    if (!n->children.empty())
        return ERROR_ACCESS_DENIED;
    p->children.erase(std::find_if(p->children.begin(), p->children.end(),
                                   [n](const auto& c) { return c.get() == n; }));
    return TheStore().Commit();
}

long RegDeleteValue(HKEY key, const char* name)
{
    Node* n = ResolveHandle(key);
    if (!n)
        return ERROR_INVALID_HANDLE;
    if (!name || !*name) {
        if (!n->hasDefault)
            return ERROR_FILE_NOT_FOUND;
        n->hasDefault = false;
        n->defaultValue.clear();
        return TheStore().Commit();
    }
    auto it = std::find_if(n->values.begin(), n->values.end(),
                           [&](const auto& v) { return strcasecmp(v.first.c_str(), name) == 0; });
    if (it == n->values.end())
        return ERROR_FILE_NOT_FOUND;
    n->values.erase(it);
    return TheStore().Commit();
}

CRegistryTransaction::CRegistryTransaction()
{
    TheStore().EnsureLoaded();
    ++TheStore().transactionDepth;
}

CRegistryTransaction::~CRegistryTransaction()
{
    if (!done_) {
        --TheStore().transactionDepth;
        if (TheStore().transactionDepth == 0)
            TheStore().Load();
    }
}

bool CRegistryTransaction::Commit()
{
    if (done_)
        return true;
    done_ = true;
    if (--TheStore().transactionDepth > 0)
        return true;
    return TheStore().Commit() == ERROR_SUCCESS;
}

} // namespace orvix
