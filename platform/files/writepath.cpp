#include "platform/files/writepath.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/files/descriptor.h"
#include "platform/text/codepage.h"

namespace orvix {

namespace {

thread_local int t_error = 0;
thread_local std::string t_text;
std::function<void(const std::string&)> g_betweenLooks;

bool Refuse(int error, const std::string& text)
{
    SetWriteFailure(error, text);
    errno = error;
    return false;
}

std::string Quoted(const std::string& path) { return "\"" + ShownText(path) + "\""; }

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// A name still to be walked, with the link whose target named it (an index into the walk's
// links; -1 for a name of the path as given).
struct Step {
    std::string name;
    int via;
};
using Steps = std::deque<Step>;

void PushFront(Steps& steps, const std::string& path, int via)
{
    Steps parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        parts.push_back({path.substr(start, end - start), via});
        start = end + 1;
    }
    steps.insert(steps.begin(), parts.begin(), parts.end());
}

// A link followed on the way: where it was reached, and what it holds.
struct Link {
    std::string path, target;
};

// Whether a folder is sticky and everyone may write it (/tmp): there anyone can make a name
// first, and only the sticky bit keeps the others' names apart.
bool SharedSticky(const struct stat& folder)
{
    return (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
}

// A link is followed only when it is the user's own or root's (the system's own): one that
// another user made, in any folder they may write, would send the user's data wherever the
// user may write. In a sticky folder that everyone may write the kernel's protected-symlinks
// rule holds too, so root's link there is followed only in root's folder. Empty: followed;
// otherwise the reason, for the refusal.
std::string NotFollowed(int folder, const struct stat& link)
{
    if (link.st_uid == geteuid())
        return std::string();
    if (link.st_uid != 0)
        return "is a symbolic link of another user; it is not followed";
    struct stat st;
    if (fstat(folder, &st) != 0 || (SharedSticky(st) && st.st_uid != 0))
        return "is a symbolic link of another user in a folder that everyone may write; it is not followed";
    return std::string();
}

void BetweenLooks(const std::string& path)
{
    if (g_betweenLooks)
        g_betweenLooks(path);
}

// Whether opening the located name failed because another object has it now than the one the
// walk saw: a link (O_NOFOLLOW) or a folder.
bool Swapped(const WriteLocation& at, int error)
{
    const mode_t was = at.exists ? at.st.st_mode & S_IFMT : 0;
    return (error == ELOOP && was != S_IFLNK) || (error == EISDIR && was != S_IFDIR);
}

} // namespace

WriteLocation::~WriteLocation() { Reset(); }

void WriteLocation::Reset()
{
    if (folder >= 0)
        close(folder);
    folder = -1;
    name.clear();
    path.clear();
    link.clear();
    exists = false;
}

std::string WriteFailureText()
{
    return t_text.empty() ? std::string(strerror(t_error ? t_error : EIO)) : t_text;
}

bool WriteWasRefused() { return !t_text.empty(); }

void SetWriteFailure(int error, const std::string& text)
{
    t_error = error;
    t_text = text;
}

bool WriteFailed(int error)
{
    SetWriteFailure(error);
    errno = error;
    return false;
}

bool RequireRegularFile(const std::string& path, mode_t mode)
{
    return S_ISREG(mode) || Refuse(EINVAL, Quoted(path) + " is not a regular file; it stays as it is");
}

bool RefuseChanged(const std::string& path, const std::string& linkTarget, bool read)
{
    const std::string now = linkTarget.empty() ? "" : " (it is now a symbolic link to " + Quoted(linkTarget) + ")";
    return Refuse(EAGAIN, Quoted(path)
                              + (read ? " changed while it was being read; nothing was read"
                                      : " changed while it was being written; nothing was written")
                              + now);
}

std::string LinkTarget(int link)
{
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = readlinkat(link, "", target.data(), target.size());
        if (n < 0)
            return std::string();
        if (static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// Each name is opened once (O_PATH | O_NOFOLLOW), and what is decided about it (a link's
// owner, a folder's being one) and what is then used (the link's target, the folder entered)
// come from that descriptor: whoever renames names meanwhile cannot have the decision made on
// one object and the write go through another.
bool LocateWriteTarget(const std::string& path, bool makeFolders, WriteLocation& at, bool followLast)
{
    at.Reset();
    if (path.empty())
        return WriteFailed(ENOENT);
    const bool absolute = path[0] == '/';
    Descriptor folder(open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0)
        return WriteFailed(errno);
    std::string shown = absolute ? "/" : "";
    Steps steps;
    PushFront(steps, path, -1);
    std::vector<Link> links;
    while (!steps.empty()) {
        const Step step = steps.front();
        steps.pop_front();
        const bool last = steps.empty();
        if (step.name.empty() || step.name == ".") {
            if (last)
                return WriteFailed(EISDIR);
            continue;
        }
        const std::string here = Join(shown, step.name);
        Descriptor object(openat(folder.fd, step.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        const bool made = object.fd < 0 && errno == ENOENT && !last;
        if (made) {
            // Behind a link only what exists is followed: a link to a missing folder (a share
            // not mounted) names a place that is not there, and a folder made there would
            // hide the files from the place once it is back.
            if (step.via >= 0)
                return Refuse(ENOENT, Quoted(links[step.via].path) + " is a link to " + Quoted(links[step.via].target)
                                          + ", which does not exist; it is not made");
            if (!makeFolders)
                return WriteFailed(ENOENT);
            if (mkdirat(folder.fd, step.name.c_str(), 0777) != 0 && errno != EEXIST)
                return WriteFailed(errno);
            BetweenLooks(here);
            object.Reset(openat(folder.fd, step.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
            if (object.fd < 0 && errno == ENOENT)
                return RefuseChanged(here);
        }
        const bool exists = object.fd >= 0;
        struct stat st {};
        if ((!exists && (errno != ENOENT || !last)) || (exists && fstat(object.fd, &st) != 0))
            return WriteFailed(errno);
        if (S_ISLNK(st.st_mode) && (followLast || !last)) {
            if (links.size() >= 40)
                return WriteFailed(ELOOP);
            BetweenLooks(here);
            errno = 0;
            const std::string target = LinkTarget(object.fd);
            if (target.empty())
                return WriteFailed(errno ? errno : ENOENT);
            if (const std::string why = NotFollowed(folder.fd, st); !why.empty())
                return Refuse(EACCES, Quoted(here) + " " + why + " (it points to " + Quoted(target) + ")");
            links.push_back({here, target});
            PushFront(steps, target, static_cast<int>(links.size()) - 1);
            if (target[0] == '/') {
                folder.Reset(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                if (folder.fd < 0)
                    return WriteFailed(errno);
                shown = "/";
            }
            continue;
        }
        if (!last) {
            if (!S_ISDIR(st.st_mode))
                return made ? RefuseChanged(here) : WriteFailed(ENOTDIR);
            folder.Reset(object.Release());
            shown = here;
            continue;
        }
        at.folder = folder.Release();
        at.name = step.name;
        at.path = here;
        at.exists = exists;
        if (exists)
            at.st = st;
        if (S_ISLNK(st.st_mode))
            at.link = LinkTarget(object.fd);
        return true;
    }
    return WriteFailed(EISDIR);
}

int OpenLocated(const WriteLocation& at, int flags, mode_t mode)
{
    const int fd = openat(at.folder, at.name.c_str(), flags | O_NOFOLLOW, mode);
    if (fd < 0 && Swapped(at, errno))
        RefuseChanged(at.path, std::string(), (flags & O_ACCMODE) == O_RDONLY);
    else if (fd < 0)
        SetWriteFailure(errno);
    return fd;
}

int OpenUsersFile(const std::string& path, int flags, mode_t mode)
{
    WriteLocation at;
    if (!LocateWriteTarget(path, false, at, !(flags & O_NOFOLLOW)))
        return -1;
    if (at.exists && S_ISLNK(at.st.st_mode)) {
        Refuse(ELOOP,
               Quoted(at.path) + " is a symbolic link; it is not followed (it points to " + Quoted(at.link) + ")");
        return -1;
    }
    const int fd = OpenLocated(at, flags, mode);
    if (fd < 0 && errno == EACCES && at.exists && at.st.st_uid != geteuid())
        Refuse(EACCES, Quoted(at.path) + " belongs to another user; it is not used");
    return fd;
}

void BetweenLooksForTesting(std::function<void(const std::string& path)> hook) { g_betweenLooks = std::move(hook); }

bool MayReplace(const WriteLocation& at)
{
    if (!at.exists)
        return true;
    if (!RequireRegularFile(at.path, at.st.st_mode))
        return false;
    // The kernel's protected-regular rule, whatever its setting here, and for root too: in a
    // sticky folder that everyone may write, a file of neither the user nor the folder's owner
    // is one that another user made first under the name, to be handed the data.
    struct stat folder;
    if (fstat(at.folder, &folder) != 0)
        return WriteFailed(errno);
    if (SharedSticky(folder) && at.st.st_uid != geteuid() && at.st.st_uid != folder.st_uid)
        return Refuse(EACCES, Quoted(at.path)
                                  + " belongs to another user, in a folder that everyone may write; it is not written");
    // faccessat tells for everyone but root, to whom it grants everything.
    if ((at.st.st_mode & 0222) == 0
        || (geteuid() != 0 && faccessat(at.folder, at.name.c_str(), W_OK, AT_EACCESS) != 0)) {
        if (at.st.st_uid == geteuid() || (at.st.st_mode & 0222) == 0)
            return Refuse(EACCES, Quoted(at.path) + " is read-only");
        return Refuse(EACCES, "You may not write " + Quoted(at.path));
    }
    return true;
}

} // namespace orvix
