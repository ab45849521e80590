#include "platform/files/fileattributes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/xattr.h>
#include <unistd.h>

namespace orvix {

namespace {

const char kAccessList[] = "system.posix_acl_access";

// What `get` (a listing of the attributes, or one attribute's value) gives: asked once for
// the size and once for the bytes, again while they grow between the two calls. False with
// errno set.
bool ReadGrowing(const std::function<ssize_t(char*, size_t)>& get, std::string& out)
{
    for (int tries = 0; tries < 8; ++tries) {
        ssize_t n = get(nullptr, 0);
        if (n < 0)
            return false;
        out.resize(static_cast<size_t>(n));
        n = get(out.data(), out.size());
        if (n >= 0) {
            out.resize(static_cast<size_t>(n));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// Copies every extended attribute that the user may read and set; the access list must
// come along (a file whose list kept some users out must not open to them), the others
// (a security label, trusted attributes of root's) where the system lets them.
bool CopyAttributes(int replaced, int fd)
{
    // The descriptor may be only a path; its name under /proc reaches that very file (also
    // when it has been renamed or removed since) without walking a path again.
    const std::string path = "/proc/self/fd/" + std::to_string(replaced);
    std::string names;
    if (!ReadGrowing([&](char* list, size_t size) { return listxattr(path.c_str(), list, size); }, names))
        return errno == ENOTSUP;
    for (size_t at = 0; at < names.size(); at += strlen(names.c_str() + at) + 1) {
        const char* attribute = names.c_str() + at;
        const bool needed = strcmp(attribute, kAccessList) == 0;
        std::string value;
        auto read = [&](char* bytes, size_t size) { return getxattr(path.c_str(), attribute, bytes, size); };
        if (!ReadGrowing(read, value) || fsetxattr(fd, attribute, value.data(), value.size(), 0) != 0) {
            if (needed)
                return false;
        }
    }
    return true;
}

} // namespace

mode_t CurrentUmask()
{
    if (FILE* f = fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask;
        while (fgets(line, sizeof line, f)) {
            if (sscanf(line, "Umask: %o", &mask) == 1) {
                fclose(f);
                return static_cast<mode_t>(mask & 0777);
            }
        }
        fclose(f);
    }
    // Without /proc: read it by setting it back at once.
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

bool TakeAttributes(int replaced, int fd)
{
    if (replaced < 0)
        return fchmod(fd, 0666 & ~CurrentUmask()) == 0;
    struct stat mine, theirs;
    if (fstat(fd, &mine) != 0 || fstat(replaced, &theirs) != 0)
        return false;
    const bool grouped = mine.st_gid == theirs.st_gid || fchown(fd, static_cast<uid_t>(-1), theirs.st_gid) == 0;
    if (!CopyAttributes(replaced, fd))
        return false;
    // After the access list: the group's bits are its mask. Set-id bits are not handed on.
    return fchmod(fd, theirs.st_mode & (grouped ? 01777 : 01707)) == 0;
}

} // namespace orvix
