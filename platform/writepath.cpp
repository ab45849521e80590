#include "platform/writepath.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <unistd.h>

#include "platform/codepage.h"

namespace orvix {

namespace {

thread_local int t_error = 0;
thread_local std::string t_text;

bool Refuse(int error, const std::string& text)
{
    SetWriteFailure(error, text);
    errno = error;
    return false;
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string ReadLink(int folder, const std::string& name)
{
    std::string target(256, '\0');
    for (;;) {
        ssize_t n = readlinkat(folder, name.c_str(), target.data(), target.size());
        if (n < 0)
            return std::string();
        if (static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// A walk's names, each with whether a missing folder of that name may be made.
using Names = std::deque<std::pair<std::string, bool>>;

void PushFront(Names& names, const std::string& path, bool makeFolders)
{
    Names parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        parts.emplace_back(path.substr(start, end - start), makeFolders);
        start = end + 1;
    }
    names.insert(names.begin(), parts.begin(), parts.end());
}

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

} // namespace

WriteLocation::~WriteLocation() { Reset(); }

void WriteLocation::Reset()
{
    if (folder >= 0)
        close(folder);
    folder = -1;
    name.clear();
    path.clear();
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
    return S_ISREG(mode) || Refuse(EINVAL, "\"" + ShownText(path) + "\" is not a regular file; it stays as it is");
}

bool LocateWriteTarget(const std::string& path, bool makeFolders, WriteLocation& at, bool followLast)
{
    if (path.empty())
        return WriteFailed(ENOENT);
    const bool absolute = path[0] == '/';
    int folder = open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return WriteFailed(errno);
    std::string shown = absolute ? "/" : "";
    Names names;
    PushFront(names, path, makeFolders);
    int links = 0;
    auto fail = [&](int error) {
        close(folder);
        return WriteFailed(error);
    };
    while (!names.empty()) {
        auto [name, make] = names.front();
        names.pop_front();
        const bool last = names.empty();
        if (name.empty() || name == ".") {
            if (last)
                return fail(EISDIR);
            continue;
        }
        struct stat st;
        if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT || (!last && !make))
                return fail(errno);
            if (last) {
                at.folder = folder;
                at.name = name;
                at.path = Join(shown, name);
                at.exists = false;
                return true;
            }
            if ((mkdirat(folder, name.c_str(), 0777) != 0 && errno != EEXIST)
                || fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                return fail(errno);
        }
        if (S_ISLNK(st.st_mode) && (followLast || !last)) {
            if (++links > 40)
                return fail(ELOOP);
            if (const std::string why = NotFollowed(folder, st); !why.empty()) {
                close(folder);
                return Refuse(EACCES, "\"" + ShownText(Join(shown, name)) + "\" " + why);
            }
            errno = 0;
            const std::string target = ReadLink(folder, name);
            if (target.empty())
                return fail(errno ? errno : ENOENT);
            // The folders of a link's target are not made: a link to a missing folder names
            // a place that is not there.
            PushFront(names, target, make && !last);
            if (target[0] == '/') {
                const int root = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
                if (root < 0)
                    return fail(errno);
                close(folder);
                folder = root;
                shown = "/";
            }
            continue;
        }
        if (last) {
            at.folder = folder;
            at.name = name;
            at.path = Join(shown, name);
            at.exists = true;
            at.st = st;
            return true;
        }
        if (!S_ISDIR(st.st_mode))
            return fail(ENOTDIR);
        const int next = openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0)
            return fail(errno);
        close(folder);
        folder = next;
        shown = Join(shown, name);
    }
    return fail(EISDIR);
}

int OpenUsersFile(const std::string& path, int flags, mode_t mode)
{
    WriteLocation at;
    if (!LocateWriteTarget(path, false, at, !(flags & O_NOFOLLOW)))
        return -1;
    const int fd = openat(at.folder, at.name.c_str(), flags | O_NOFOLLOW, mode);
    if (fd < 0)
        SetWriteFailure(errno);
    return fd;
}

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
        return Refuse(EACCES, "\"" + ShownText(at.path)
                                  + "\" belongs to another user, in a folder that everyone may write; it is not "
                                    "written");
    // faccessat tells for everyone but root, to whom it grants everything.
    if ((at.st.st_mode & 0222) == 0
        || (geteuid() != 0 && faccessat(at.folder, at.name.c_str(), W_OK, AT_EACCESS) != 0)) {
        if (at.st.st_uid == geteuid() || (at.st.st_mode & 0222) == 0)
            return Refuse(EACCES, "\"" + ShownText(at.path) + "\" is read-only");
        return Refuse(EACCES, "You may not write \"" + ShownText(at.path) + "\"");
    }
    return true;
}

} // namespace orvix
