#include "platform/settings/registry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/files/atomic_file.h"
#include "platform/files/descriptor.h"
#include "platform/files/sharedfile.h"
#include "platform/runtime/clock.h"
#include "platform/settings/registry_tree.h"
#include "platform/text/codepage.h"

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

// What a read of the file gave. Only the user's own regular file is read; anything else
// reads as empty and is never waited on (a FIFO in its place would block an ordinary open).
struct FileRead {
    enum State { Read, Missing, Failed, NotUsed } state = Missing;
    registry::ParsedText parsed;
    FileStamp stamp;
    std::string why; // Failed, NotUsed
    std::string text; // the bytes read
    // Nothing may be written over the file: it is not the user's, of another version, or
    // cannot be read.
    bool Kept() const
    {
        return state == NotUsed || !parsed.unknownVersion.empty() || !parsed.unreadable.empty();
    }
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

FileRead ReadTree(const std::string& path)
{
    FileRead r;
    const Descriptor file(OpenUsersFile(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int fd = file.fd;
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
        r.state = ReadWhole(fd, r.text) ? FileRead::Read : FileRead::Failed;
    }
    if (r.state == FileRead::Failed)
        r.why = fd < 0 && WriteWasRefused() ? WriteFailureText() : strerror(errno);
    if (r.state == FileRead::Read)
        r.parsed = registry::ParseText(r.text);
    return r;
}

// Why a file that is kept as it is is not written, as a sentence.
std::string KeptWhy(const std::string& path, const FileRead& r)
{
    const std::string file = "The settings file \"" + path + "\"";
    if (r.state == FileRead::NotUsed)
        return file + " is not used: " + r.why + ".";
    if (!r.parsed.unreadable.empty())
        return file + " is not one this program can read (" + r.parsed.unreadable + "): it is never written.";
    return file + " is of a version this program does not know (" + Shown(r.parsed.unknownVersion)
           + "): it is never written.";
}

// Tells `what` of the file once with the lines it is about (five of them, and how many
// more), wherever a write moved them to.
void TellLines(const std::string& path, const std::string& what, const std::vector<registry::Line>& lines)
{
    if (lines.empty())
        return;
    std::string key = path + '\n' + what, listed;
    for (size_t i = 0; i < lines.size(); ++i) {
        key += '\n' + lines[i].second;
        if (i < 5)
            listed += (i ? ", line " : "line ") + std::to_string(lines[i].first) + " " + Shown(lines[i].second);
    }
    if (lines.size() > 5)
        listed += " and " + std::to_string(lines.size() - 5) + " more";
    Tell("The settings file \"" + path + "\" " + what + listed + ".", key);
}

// Says what the user must know of a read: a file not used, or lines and versions this
// program does not know.
void TellAbout(const std::string& path, const FileRead& r)
{
    const std::string file = "The settings file \"" + path + "\"";
    const registry::ParsedText& p = r.parsed;
    if (r.state == FileRead::Failed)
        Tell(file + " cannot be read (" + r.why + "): its settings are not used and changes are not saved.");
    if (r.state == FileRead::NotUsed)
        Tell(file + " is not used: " + r.why + ". The program uses its defaults; changes of the settings are kept "
                    "only until it ends.");
    if (!p.unknownVersion.empty())
        Tell(file + " is of a version this program does not know (" + Shown(p.unknownVersion)
             + "): it is read as far as it can be and never written; changes of the settings are kept only until "
               "the program ends.");
    if (!p.unreadable.empty()) {
        Tell(file + " is not one this program can read (" + p.unreadable + "): it is never written; changes of the "
                    "settings are kept only until the program ends.");
        return; // its lines are all one thing
    }
    if (!p.converted.empty())
        Tell(file + " is " + p.converted + " text: it is read, and the next change of the settings writes it as UTF-8.");
    TellLines(path, "has " + std::to_string(p.unread.size()) + " lines that this program does not understand; they are "
              "kept as they are: ", p.unread);
    TellLines(path, "names a value twice under one key: the later line holds, and the next change of the settings "
              "writes it once. Passed over: ", p.passedOver);
    TellLines(path, "has values that read \"\\n\" as a line break where a path may have been typed (a path's "
              "backslashes are typed \"\\\\\" there): ", p.breaks);
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
        // A refusal that names the lock itself says it once.
        const std::string named = "\"" + ShownText(path_) + "\" ";
        if (refusal_.compare(0, named.size(), named) == 0)
            return "the lock " + refusal_;
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
// file that must be kept as it is (another user's, another version, one it cannot read) is
// never written: the changes then stay in the view for the rest of the run.
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

    // Writes the pending changes: read the file, merge, write, look at what the write
    // replaced; an edit found there is merged and the write made again. A failed write puts
    // the view back as the file holds it. kKept: the file is kept as it is (Why() says why).
    long Commit()
    {
        if (pending_.empty())
            return ERROR_SUCCESS;
        View();
        if (kept_)
            return Keep();
        // Converted text only: after this no conversion of this thread fails.
        if (const std::string problem = TextConverterProblem(); !problem.empty())
            return Fail("Changes of the settings are not saved: " + problem);
        const std::string path = RegistryFilePath();
        // Without the folder (NoFolder) there is no file either: nothing of others' to keep.
        WriteLock lock(path);
        if (lock.state() == WriteLock::Refused)
            return Fail("Changes of the settings are not saved: " + lock.Why() + ".");
        // Look: hand edits take no lock, and an editor that held a file that an earlier write
        // replaced may have written to it since.
        const uint32_t now = TickMs();
        LookAgain(now);
        std::vector<Replaced> replaced; // by this commit's writes
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            // Read.
            FileRead fresh = ReadTree(path);
            if (fresh.state == FileRead::Failed)
                return Fail("Changes of the settings are not saved: \"" + path + "\" cannot be read (" + fresh.why
                            + ").");
            if (fresh.Kept()) {
                TakeRead(std::move(fresh));
                return Keep();
            }
            TellAbout(path, fresh);
            // Merge: what others did that the file does not hold yet, then this program's own.
            Node tree = std::move(fresh.parsed.root);
            MakeChanges(tree);
            // Write, and look at the file the write replaced (and those of the attempts before):
            // what reached it since the read is not in this write, so it is taken up and the
            // write made again.
            Replaced& was = replaced.emplace_back();
            was.text = std::move(fresh.text);
            was.at = now;
            const std::string text = registry::ToText(tree);
            CAtomicWrite write;
            struct stat written;
            if (!write.Begin(path, true) || !WriteAll(write.Fd(), text.data(), text.size())
                || fstat(write.Fd(), &written) != 0 || (errno = write.Commit(&was.file.fd)) != 0)
                return Fail("Changes of the settings are not saved to \"" + path + "\": " + WriteFailureText() + ".");
            bool edited = false;
            for (Replaced& r : replaced)
                edited = TakeUp(r) || edited;
            if (!edited)
                return Written(std::move(tree), std::move(replaced), FileStamp::Of(written));
        }
        return Fail("Changes of the settings are not saved: \"" + path + "\" kept changing while they were written.");
    }

private:
    static constexpr int kAttempts = 20;
    // How long, and how many of, the files replaced are looked at again.
    static constexpr uint32_t kLookedAtMs = 1000;
    static constexpr std::ptrdiff_t kMostLookedAt = 16;

    // A file a write replaced, as the write's read found it, kept open to look at again.
    struct Replaced {
        Descriptor file;
        std::string text;
        uint32_t at = 0; // when it was replaced, TickMs
    };

    // Takes up what another program did to the file `r` since it was read: its changes are
    // made before this program's own. True when there were any. An empty file is being
    // written (an editor truncates before it writes), one that cannot be read gives nothing.
    bool TakeUp(Replaced& r)
    {
        std::string now;
        if (r.file.fd < 0 || !ReadWhole(r.file.fd, now) || now == r.text || now.empty())
            return false;
        const registry::ParsedText edited = registry::ParseText(now);
        if (!edited.unknownVersion.empty() || !edited.unreadable.empty())
            return false;
        for (Change& c : registry::Changes(registry::ParseText(r.text).root, edited.root))
            theirs_.push_back(std::move(c));
        r.text = std::move(now); // what is taken up is not taken again
        return true;
    }

    // Takes up what reached the files that earlier writes replaced. Each is looked at until a
    // commit a second after it.
    void LookAgain(uint32_t now)
    {
        for (Replaced& r : replaced_)
            TakeUp(r);
        std::erase_if(replaced_, [now](const Replaced& r) { return now - r.at > kLookedAtMs; });
    }

    // The file holds the view `tree`; `replaced` are to be looked at again.
    long Written(Node tree, std::vector<Replaced> replaced, const FileStamp& ours)
    {
        pending_.clear();
        unsaved_.clear();
        theirs_.clear();
        root_ = std::move(tree);
        for (Replaced& r : replaced)
            replaced_.push_back(std::move(r));
        if (replaced_.size() > kMostLookedAt)
            replaced_.erase(replaced_.begin(), replaced_.end() - kMostLookedAt);
        // Still under the lock: no other instance wrote since; a hand edit since is read anew.
        stamp_ = StampOf(RegistryFilePath());
        if (!SameContent(stamp_, ours))
            stamp_ = FileStamp();
        loaded_ = true;
        why_.clear();
        return ERROR_SUCCESS;
    }

    // What others did that the file may not hold yet, then this program's changes.
    void MakeChanges(Node& tree) const
    {
        for (const auto* list : {&theirs_, &unsaved_, &pending_})
            for (const Change& c : *list)
                registry::Apply(tree, c);
    }

    // Takes what a read gave as the base of the view.
    void TakeRead(FileRead r)
    {
        kept_ = r.Kept();
        keptWhy_ = kept_ ? KeptWhy(RegistryFilePath(), r) : "";
        root_ = std::move(r.parsed.root);
        stamp_ = r.stamp;
        loaded_ = true;
        MakeChanges(root_);
        TellAbout(RegistryFilePath(), r);
    }

    // The pending changes stay in the view only (TakeRead told why).
    long Keep()
    {
        for (Change& c : pending_)
            unsaved_.push_back(std::move(c));
        pending_.clear();
        why_ = keptWhy_;
        return kKept;
    }

    // The same file with the same bytes (a rename changes only its change time).
    static bool SameContent(const FileStamp& a, const FileStamp& b)
    {
        return a.exists && b.exists && a.device == b.device && a.inode == b.inode && a.size == b.size
               && a.modifiedNs == b.modifiedNs;
    }

    long Fail(const std::string& why)
    {
        why_ = why;
        Tell(why);
        Reset();
        return ERROR_WRITE_FAULT;
    }

    Node root_;
    std::vector<Replaced> replaced_; // by the last commit
    FileStamp stamp_;
    bool loaded_ = false;
    bool kept_ = false;            // the file is never written
    std::string why_;              // the last commit wrote nothing: why
    std::string keptWhy_;          // why the file is kept
    std::vector<Change> theirs_;   // hand edits found in replaced files, not yet written
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
    const std::string* value = n->Value(name);
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (data)
        *data = *value;
    return ERROR_SUCCESS;
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
