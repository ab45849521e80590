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

// The kernel's protected-symlinks rule: in a sticky folder that everyone may write, only the
// user's own links and those of the folder's owner are followed.
bool MayFollow(int folder, const struct stat& link)
{
    struct stat st;
    if (fstat(folder, &st) != 0)
        return false;
    const bool shared = (st.st_mode & S_ISVTX) && (st.st_mode & S_IWOTH);
    return !shared || link.st_uid == geteuid() || link.st_uid == st.st_uid;
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
            if (!MayFollow(folder, st)) {
                close(folder);
                return Refuse(EACCES, "\"" + ShownText(Join(shown, name))
                                          + "\" is a symbolic link of another user in a folder that everyone may "
                                            "write; it is not followed");
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

bool MayReplace(const WriteLocation& at)
{
    if (!at.exists)
        return true;
    if (!RequireRegularFile(at.path, at.st.st_mode))
        return false;
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
