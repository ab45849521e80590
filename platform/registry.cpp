#include "platform/registry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomic_file.h"
#include "platform/registry_tree.h"
#include "platform/sharedfile.h"

namespace orvix {

struct RegHandle {
    std::vector<std::string> path; // key names from the root
    bool root = false;
};

namespace {

using registry::Change;
using registry::Node;

RegHandle g_rootHandle{{}, true};

// The file's tree and the stamp of what was read. Anything but a regular file reads as
// empty, and is never waited on (a FIFO in its place would block an ordinary open). `whole`
// becomes false (errno set) when there is a file that could not be read whole: writing the
// tree back would then lose what it holds.
Node ReadTree(const std::string& path, FileStamp& stamp, bool* whole = nullptr)
{
    stamp = FileStamp();
    bool ok = false;
    std::string text;
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat s;
    if (fd < 0) {
        ok = errno == ENOENT;
    } else if (fstat(fd, &s) != 0) {
        // errno tells
    } else if (!S_ISREG(s.st_mode)) {
        errno = EINVAL;
    } else {
        stamp = FileStamp::Of(s);
        char buf[65536];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                text.append(buf, static_cast<size_t>(n));
        ok = n == 0;
    }
    if (fd >= 0)
        close(fd);
    if (whole)
        *whole = ok;
    return registry::ParseText(text);
}

// The lock that orders the writes of all instances: flock on "<file>.lock" beside the file,
// which, unlike the file itself, no rename replaces. It is made private and must be the
// user's own regular file; a link, a FIFO or another user's file in its place refuses the
// write instead of being followed or waited on.
class WriteLock {
public:
    static constexpr int kDeadlineMs = 2000;
    enum State { Held, NoFolder, Refused };

    explicit WriteLock(const std::string& file) : path_(file + ".lock") { state_ = Take(); }
    ~WriteLock()
    {
        if (fd_ >= 0)
            close(fd_); // also releases the lock
    }
    State state() const { return state_; }
    const std::string& path() const { return path_; }

private:
    State Take()
    {
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd_ < 0)
            return errno == ENOENT ? NoFolder : Refused;
        struct stat s;
        if (fstat(fd_, &s) != 0 || !S_ISREG(s.st_mode) || s.st_uid != geteuid()) {
            errno = EPERM;
            return Refused;
        }
        return LockExclusively(fd_, kDeadlineMs) ? Held : Refused;
    }

    std::string path_;
    int fd_ = -1;
    State state_;
};

// This instance's view of the registry: the file as last read, with the changes not yet
// written on top. A change reaches the file by being made again, under the write lock, on
// the file as it is then, so that what other instances and hand edits put there stays.
class Store {
public:
    int transactionDepth = 0;

    // The view, read again first when the file changed since this instance last saw it.
    Node& View()
    {
        FileStamp now = StampOf(RegistryFilePath());
        if (!loaded_ || now != stamp_) {
            root_ = ReadTree(RegistryFilePath(), stamp_);
            loaded_ = true;
            for (const Change& c : pending_)
                registry::Apply(root_, c);
        }
        return root_;
    }

    Node* Resolve(const RegHandle* h) { return View().Find(h->path); }

    // Forgets the changes not written and reads the file.
    void Reset()
    {
        pending_.clear();
        loaded_ = false;
        View();
    }

    // Makes a change in the view and, outside a transaction, in the file.
    long Make(Change change)
    {
        registry::Apply(View(), change);
        pending_.push_back(std::move(change));
        return transactionDepth > 0 ? ERROR_SUCCESS : Commit();
    }

    // Writes the pending changes; a failed write puts the view back as the file holds it.
    long Commit()
    {
        if (pending_.empty())
            return ERROR_SUCCESS;
        const std::string path = RegistryFilePath();
        // Without the folder (NoFolder) there is no file either: nothing of others' to keep.
        WriteLock lock(path);
        if (lock.state() == WriteLock::Refused) {
            fprintf(stderr, "Orvix: the registry's lock \"%s\" cannot be taken: %s\n", lock.path().c_str(),
                    strerror(errno));
            Reset();
            return ERROR_WRITE_FAULT;
        }
        FileStamp read;
        bool whole = false;
        Node fresh = ReadTree(path, read, &whole);
        if (!whole) {
            fprintf(stderr, "Orvix: the registry \"%s\" cannot be read: %s\n", path.c_str(), strerror(errno));
            Reset();
            return ERROR_WRITE_FAULT;
        }
        for (const Change& c : pending_)
            registry::Apply(fresh, c);
        pending_.clear();
        if (!WriteFileAtomically(path, registry::ToText(fresh))) {
            Reset();
            return ERROR_WRITE_FAULT;
        }
        root_ = std::move(fresh);
        stamp_ = StampOf(path); // still under the lock: no other instance wrote since
        loaded_ = true;
        return ERROR_SUCCESS;
    }

private:
    Node root_;
    FileStamp stamp_;
    bool loaded_ = false;
    std::vector<Change> pending_;
};

Store& TheStore()
{
    static Store store;
    return store;
}

Node* ResolveHandle(HKEY h) { return h ? TheStore().Resolve(h) : nullptr; }

std::vector<std::string> JoinedPath(HKEY parent, const char* subKey)
{
    std::vector<std::string> path = parent->path;
    for (auto& part : registry::SplitPath(subKey ? subKey : ""))
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

void ReloadRegistry() { TheStore().Reset(); }

long RegCreateKeyEx(HKEY parent, const char* subKey, HKEY* result)
{
    if (!ResolveHandle(parent))
        return ERROR_INVALID_HANDLE;
    auto path = JoinedPath(parent, subKey);
    if (!TheStore().View().Find(path)) {
        long rc = TheStore().Make({Change::CreateKey, path, {}, {}});
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    *result = new RegHandle{path, false};
    return ERROR_SUCCESS;
}

long RegOpenKeyEx(HKEY parent, const char* subKey, HKEY* result)
{
    if (!ResolveHandle(parent))
        return ERROR_INVALID_HANDLE;
    auto path = JoinedPath(parent, subKey);
    if (!TheStore().View().Find(path))
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
    if (!ResolveHandle(key))
        return ERROR_INVALID_HANDLE;
    return TheStore().Make({Change::SetValue, key->path, name ? name : "", data});
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
    Node* n = TheStore().View().Find(path);
    if (!n)
        return ERROR_FILE_NOT_FOUND;
    if (!n->children.empty())
        return ERROR_ACCESS_DENIED;
    return TheStore().Make({Change::DeleteKey, path, {}, {}});
}

long RegDeleteValue(HKEY key, const char* name)
{
    if (!ResolveHandle(key))
        return ERROR_INVALID_HANDLE;
    if (RegQueryValueEx(key, name, nullptr) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    return TheStore().Make({Change::DeleteValue, key->path, name ? name : "", {}});
}

CRegistryTransaction::CRegistryTransaction()
{
    TheStore().View();
    ++TheStore().transactionDepth;
}

CRegistryTransaction::~CRegistryTransaction()
{
    if (!done_) {
        --TheStore().transactionDepth;
        if (TheStore().transactionDepth == 0)
            TheStore().Reset();
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
