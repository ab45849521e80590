#include "platform/registry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomic_file.h"
#include "platform/codepage.h"
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

constexpr size_t kMostLevels = 512;
constexpr size_t kLongestName = 255;

// ---- Telling the user ----

// Each thing is told once, on stderr and to the reporter; what comes before there is a
// reporter waits for one (the first read comes before the document that shows the log).
struct Teller {
    std::set<std::string> told;
    const void* owner = nullptr;
    std::function<void(const std::string&)> report;
    std::vector<std::string> waiting;
};

Teller& TheTeller()
{
    static Teller teller;
    return teller;
}

// `key` tells what is the same thing; by default the text.
void Tell(const std::string& text, const std::string& key = {})
{
    Teller& t = TheTeller();
    if (!t.told.insert(key.empty() ? text : key).second)
        return;
    fprintf(stderr, "Orvix: %s\n", text.c_str());
    if (t.report)
        t.report(text);
    else if (t.waiting.size() < 32)
        t.waiting.push_back(text);
}

// A line of the file as the user may see it in a message: bytes that do not print as \xHH.
std::string Shown(const std::string& line)
{
    constexpr size_t kMost = 60;
    std::string out;
    char buf[8];
    for (size_t i = 0; i < line.size() && i < kMost; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return "\"" + out + (line.size() > kMost ? "...\"" : "\"");
}

// ---- The file ----

struct Closer {
    int& fd;
    ~Closer()
    {
        if (fd >= 0)
            close(fd);
    }
};

// What a read of the file gave. Only the user's own regular file is read; anything else
// reads as empty and is never waited on (a FIFO in its place would block an ordinary open).
struct FileRead {
    enum State { Read, Missing, Failed, NotUsed } state = Missing;
    registry::ParsedText parsed;
    FileStamp stamp;
    std::string why; // Failed, NotUsed
    std::string text; // the bytes read
    // Nothing may be written over the file: it is not the user's, or of another version.
    bool Kept() const { return state == NotUsed || !parsed.unknownVersion.empty(); }
};

// The whole file through `fd`, from its start whatever was read of it before; false (errno
// set) when a read failed, `text` then holding what came.
bool ReadWhole(int fd, std::string& text)
{
    char buf[65536];
    ssize_t n;
    for (off_t at = 0; (n = pread(fd, buf, sizeof buf, at)) > 0 || (n < 0 && errno == EINTR); at += n > 0 ? n : 0)
        if (n > 0)
            text.append(buf, static_cast<size_t>(n));
    return n == 0;
}

// `keep`, when given, takes the descriptor of a file read instead of its being closed.
FileRead ReadTree(const std::string& path, int* keep = nullptr)
{
    FileRead r;
    std::string text;
    int fd = OpenUsersFile(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat s;
    if (fd < 0) {
        r.state = errno == ENOENT ? FileRead::Missing : FileRead::Failed;
    } else if (fstat(fd, &s) != 0) {
        r.state = FileRead::Failed;
    } else if (!S_ISREG(s.st_mode) || s.st_uid != geteuid()) {
        r.state = FileRead::NotUsed;
        r.stamp = FileStamp::Of(s);
        r.why = !S_ISREG(s.st_mode) ? "it is not a regular file"
                                    : "it is another user's (uid " + std::to_string(s.st_uid) + ")";
    } else {
        r.stamp = FileStamp::Of(s);
        r.state = ReadWhole(fd, text) ? FileRead::Read : FileRead::Failed;
    }
    if (r.state == FileRead::Failed)
        r.why = fd < 0 && WriteWasRefused() ? WriteFailureText() : strerror(errno);
    if (fd >= 0 && keep && r.state == FileRead::Read)
        *keep = fd;
    else if (fd >= 0)
        close(fd);
    if (r.state == FileRead::Read)
        r.parsed = registry::ParseText(text);
    r.text = std::move(text);
    return r;
}

// Why a file that is kept as it is is not written, as a sentence.
std::string KeptWhy(const std::string& path, const FileRead& r)
{
    const std::string file = "The settings file \"" + path + "\"";
    if (r.state == FileRead::NotUsed)
        return file + " is not used: " + r.why + ".";
    return file + " is of a version this program does not know (" + Shown(r.parsed.unknownVersion)
           + "): it is never written.";
}

// Says what the user must know of a read: a file not used, or lines and versions this
// program does not know.
void TellAbout(const std::string& path, const FileRead& r)
{
    const std::string file = "The settings file \"" + path + "\"";
    if (r.state == FileRead::Failed)
        Tell(file + " cannot be read (" + r.why + "): its settings are not used and changes are not saved.");
    if (r.state == FileRead::NotUsed)
        Tell(file + " is not used: " + r.why + ". The program uses its defaults; changes of the settings are kept "
                    "only until it ends.");
    if (!r.parsed.unknownVersion.empty())
        Tell(file + " is of a version this program does not know (" + Shown(r.parsed.unknownVersion)
             + "): it is read as far as it can be and never written; changes of the settings are kept only until "
               "the program ends.");
    if (r.parsed.unread.empty())
        return;
    // The same lines are told once, wherever a write moved them to.
    std::string key = path, lines;
    for (size_t i = 0; i < r.parsed.unread.size(); ++i) {
        key += '\n' + r.parsed.unread[i].second;
        if (i < 5)
            lines += (i ? ", line " : "line ") + std::to_string(r.parsed.unread[i].first) + " "
                     + Shown(r.parsed.unread[i].second);
    }
    if (r.parsed.unread.size() > 5)
        lines += " and " + std::to_string(r.parsed.unread.size() - 5) + " more";
    Tell(file + " has " + std::to_string(r.parsed.unread.size())
             + " lines that this program does not understand; they are kept as they are: " + lines + ".",
         key);
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
    // Why it was refused.
    std::string Why() const
    {
        return "the lock \"" + path_ + "\" "
               + (error_ == ETIMEDOUT ? "was held by another program for " + std::to_string(kDeadlineMs / 1000) + " s"
                  : error_ == EPERM   ? "is not a regular file of the user's"
                  : !refusal_.empty() ? "cannot be taken: " + refusal_
                                      : std::string("cannot be taken: ") + strerror(error_));
    }

private:
    State Take()
    {
        fd_ = OpenUsersFile(path_, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        struct stat s;
        if (fd_ < 0) {
            error_ = errno;
            // A link the rule does not follow: its sentence says why, not just "Permission denied".
            if (WriteWasRefused())
                refusal_ = WriteFailureText();
        } else if (fstat(fd_, &s) != 0 || !S_ISREG(s.st_mode) || s.st_uid != geteuid())
            error_ = EPERM;
        else if (!LockExclusively(fd_, kDeadlineMs))
            error_ = errno;
        else
            return Held;
        return error_ == ENOENT ? NoFolder : Refused;
    }

    std::string path_;
    std::string refusal_;
    int fd_ = -1;
    int error_ = 0;
    State state_;
};

// This instance's view of the registry: the file as last read, with the changes not yet
// written on top. A change reaches the file by being made again, under the write lock, on
// the file as it is then, so that what other instances and hand edits put there stays. A
// file that must be kept as it is (another user's, another version) is never written: the
// changes then stay in the view for the rest of the run.
class Store {
public:
    int transactionDepth = 0;

    // What Commit returns when the file is kept as it is: the change holds in the view only.
    static constexpr long kKept = -1;

    // The view, read again first when the file changed since this instance last saw it. A
    // transaction works on one view: what others write meanwhile is met at its commit.
    Node& View()
    {
        if (!loaded_ || (transactionDepth == 0 && StampOf(RegistryFilePath()) != stamp_))
            TakeRead(ReadTree(RegistryFilePath()));
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
        const long rc = transactionDepth > 0 ? ERROR_SUCCESS : Commit();
        return rc == kKept ? ERROR_SUCCESS : rc;
    }

    // Why the last commit wrote nothing, as a sentence.
    const std::string& Why() const { return why_; }

    // Writes the pending changes; a failed write puts the view back as the file holds it.
    // kKept: the file is kept as it is (Why() says why).
    long Commit()
    {
        if (pending_.empty())
            return ERROR_SUCCESS;
        View();
        if (kept_) {
            why_ = keptWhy_;
            Keep();
            return kKept;
        }
        // Converted text only: after this no conversion of this thread fails.
        if (const std::string problem = TextConverterProblem(); !problem.empty())
            return Fail("Changes of the settings are not saved: " + problem);
        const std::string path = RegistryFilePath();
        // Without the folder (NoFolder) there is no file either: nothing of others' to keep.
        WriteLock lock(path);
        if (lock.state() == WriteLock::Refused)
            return Fail("Changes of the settings are not saved: " + lock.Why() + ".");
        // Hand edits take no lock: the file is looked at again before and after the rename,
        // and the write made again with what came meanwhile. What an edit added to the file
        // just replaced is in that file only: it goes into the next write (`added`), or, when
        // that file was all the write was made from, the next write is made from it (`whole`).
        std::string added, whole;
        FileStamp ours; // of the file written last
        // An editor that opened the file before the last write may write to it only now (it
        // is looked at until a write that takes it up stands).
        if (replaced_.fd >= 0 && EditedSince(replaced_.fd, replaced_.stamp)) {
            const std::string text = ReadFrom(replaced_.fd);
            added = text.compare(0, replaced_.text.size(), replaced_.text) == 0 ? text.substr(replaced_.text.size()) : text;
        }
        for (int attempt = 1;; ++attempt) {
            int fd = -1;
            FileRead fresh = ReadTree(path, &fd);
            const Closer closer{fd};
            if (fresh.state == FileRead::Failed)
                return Fail("Changes of the settings are not saved: \"" + path + "\" cannot be read (" + fresh.why
                            + ").");
            if (fresh.Kept()) {
                TakeRead(std::move(fresh));
                why_ = keptWhy_;
                Keep();
                return kKept;
            }
            const bool plain = added.empty();
            if (!whole.empty() && SameContent(fresh.stamp, ours))
                fresh.parsed = registry::ParseText(whole);
            else if (!plain) // after a blank line: nothing added is read into the key above it
                fresh.parsed = registry::ParseText(fresh.text + "\n" + added);
            TellAbout(path, fresh);
            Node& tree = fresh.parsed.root;
            for (const Change& c : unsaved_)
                registry::Apply(tree, c);
            for (const Change& c : pending_)
                registry::Apply(tree, c);
            const std::string text = registry::ToText(tree);
            CAtomicWrite write;
            if (!write.Begin(path, true) || !WriteAll(write.Fd(), text.data(), text.size()))
                return Fail("Changes of the settings are not saved to \"" + path + "\": " + WriteFailureText() + ".");
            const bool last = attempt == kAttempts;
            if (StampOf(path) != fresh.stamp) {
                write.Abandon();
                if (last)
                    return Fail(Unsettled(path));
                continue;
            }
            struct stat written;
            if (fstat(write.Fd(), &written) == 0)
                ours = FileStamp::Of(written);
            if (const int error = write.Commit()) {
                errno = error;
                return Fail("Changes of the settings are not saved to \"" + path + "\": " + WriteFailureText() + ".");
            }
            if (!last && EditedSince(fd, fresh.stamp)) { // else the next commit takes it up
                const std::string replaced = ReadFrom(fd);
                const bool appended = replaced.compare(0, fresh.text.size(), fresh.text) == 0;
                added = appended ? replaced.substr(fresh.text.size()) : replaced;
                whole = plain && appended ? replaced : "";
                continue;
            }
            pending_.clear();
            unsaved_.clear();
            root_ = std::move(tree);
            std::swap(replaced_.fd, fd); // the one before is closed
            replaced_.stamp = fresh.stamp;
            replaced_.text = std::move(fresh.text);
            // Still under the lock: no other instance wrote since; a hand edit since is read anew.
            stamp_ = StampOf(path);
            if (!SameContent(stamp_, ours))
                stamp_ = FileStamp();
            loaded_ = true;
            why_.clear();
            return ERROR_SUCCESS;
        }
    }

private:
    // Takes what a read gave as the base of the view.
    void TakeRead(FileRead r)
    {
        kept_ = r.Kept();
        keptWhy_ = kept_ ? KeptWhy(RegistryFilePath(), r) : "";
        root_ = std::move(r.parsed.root);
        stamp_ = r.stamp;
        loaded_ = true;
        for (const Change& c : unsaved_)
            registry::Apply(root_, c);
        for (const Change& c : pending_)
            registry::Apply(root_, c);
        TellAbout(RegistryFilePath(), r);
    }

    // The pending changes stay in the view only (TakeRead told why).
    void Keep()
    {
        for (Change& c : pending_)
            unsaved_.push_back(std::move(c));
        pending_.clear();
    }

    static constexpr int kAttempts = 20;

    static std::string Unsettled(const std::string& path)
    {
        return "Changes of the settings are not saved: \"" + path + "\" kept changing while they were written.";
    }

    // The same file with the same bytes (a rename changes only its change time).
    static bool SameContent(const FileStamp& a, const FileStamp& b)
    {
        return a.exists && b.exists && a.device == b.device && a.inode == b.inode && a.size == b.size
               && a.modifiedNs == b.modifiedNs;
    }

    // The file read through `fd` was written to after the read (its name has gone elsewhere
    // since, so only its size and time tell).
    static bool EditedSince(int fd, const FileStamp& read)
    {
        struct stat s;
        if (fd < 0 || fstat(fd, &s) != 0)
            return false;
        const FileStamp now = FileStamp::Of(s);
        return now.size != read.size || now.modifiedNs != read.modifiedNs;
    }

    // What the file through `fd` holds now (what came, when a read fails).
    static std::string ReadFrom(int fd)
    {
        std::string text;
        ReadWhole(fd, text);
        return text;
    }

    long Fail(const std::string& why)
    {
        why_ = why;
        Tell(why);
        Reset();
        return ERROR_WRITE_FAULT;
    }

    // The file the last write replaced, as it was read, kept open to look at again.
    struct Replaced {
        int fd = -1;
        FileStamp stamp;
        std::string text;
        Replaced() = default;
        Replaced& operator=(Replaced&& o) noexcept
        {
            std::swap(fd, o.fd);
            stamp = o.stamp;
            text = std::move(o.text);
            return *this;
        }
        ~Replaced()
        {
            if (fd >= 0)
                close(fd);
        }
    };

    Node root_;
    Replaced replaced_;
    FileStamp stamp_;
    bool loaded_ = false;
    bool kept_ = false;            // the file is never written
    std::string why_;              // the last commit wrote nothing: why
    std::string keptWhy_;          // why the file is kept
    std::vector<Change> unsaved_;  // made while the file was kept: held for the run
    std::vector<Change> pending_;  // not yet committed
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

void ReloadRegistry()
{
    TheTeller().told.clear();
    TheStore() = Store();
    TheStore().View();
}

void SetRegistryReporter(const void* owner, std::function<void(const std::string&)> report)
{
    Teller& t = TheTeller();
    t.owner = owner;
    t.report = std::move(report);
    for (const auto& text : t.waiting)
        t.report(text);
    t.waiting.clear();
}

void RemoveRegistryReporter(const void* owner)
{
    Teller& t = TheTeller();
    if (t.owner == owner) {
        t.owner = nullptr;
        t.report = nullptr;
    }
}

long RegCreateKeyEx(HKEY parent, const char* subKey, HKEY* result)
{
    if (!ResolveHandle(parent))
        return ERROR_INVALID_HANDLE;
    auto path = JoinedPath(parent, subKey);
    // The Windows registry's own limits, which keep the file's key lines short.
    if (path.size() > kMostLevels
        || std::any_of(path.begin(), path.end(), [](const std::string& n) { return n.size() > kLongestName; }))
        return ERROR_INVALID_PARAMETER;
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
        *subKeyCount = static_cast<uint32_t>(n->Children().size());
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
    const std::string wanted = name;
    for (const auto& [vn, vd] : n->values) {
        if (registry::SameName(vn, wanted)) {
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
    if (index >= n->Children().size())
        return ERROR_NO_MORE_ITEMS;
    if (name)
        *name = n->Children()[index]->name;
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
    if (!n->Children().empty())
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
        return failure_.empty();
    done_ = true;
    if (--TheStore().transactionDepth > 0)
        return true;
    if (TheStore().Commit() != ERROR_SUCCESS)
        failure_ = TheStore().Why();
    return failure_.empty();
}

} // namespace orvix
