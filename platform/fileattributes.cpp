#include "platform/fileattributes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/xattr.h>
#include <unistd.h>

namespace orvix {

namespace {

const char kAccessList[] = "system.posix_acl_access";

// The attribute's value, read again while it grows between the two calls.
bool ReadAttribute(const std::string& path, const char* name, std::string& value)
{
    for (int tries = 0; tries < 8; ++tries) {
        ssize_t n = lgetxattr(path.c_str(), name, nullptr, 0);
        if (n < 0)
            return false;
        value.resize(static_cast<size_t>(n));
        n = lgetxattr(path.c_str(), name, value.data(), value.size());
        if (n >= 0) {
            value.resize(static_cast<size_t>(n));
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
bool CopyAttributes(int folder, const std::string& name, int fd)
{
    // The folder's descriptor is only a path; its name under /proc reaches the file without
    // walking the path again.
    const std::string path = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
    std::string names;
    for (int tries = 0;; ++tries) {
        ssize_t n = llistxattr(path.c_str(), nullptr, 0);
        if (n >= 0) {
            names.resize(static_cast<size_t>(n));
            n = llistxattr(path.c_str(), names.data(), names.size());
        }
        if (n >= 0) {
            names.resize(static_cast<size_t>(n));
            break;
        }
        if (errno == ENOTSUP)
            return true;
        if (errno != ERANGE || tries == 8)
            return false;
    }
    for (size_t at = 0; at < names.size(); at += strlen(names.c_str() + at) + 1) {
        const char* attribute = names.c_str() + at;
        const bool needed = strcmp(attribute, kAccessList) == 0;
        std::string value;
        if (!ReadAttribute(path, attribute, value) || fsetxattr(fd, attribute, value.data(), value.size(), 0) != 0) {
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

bool TakeAttributes(int folder, const std::string& name, const struct stat* replaced, int fd)
{
    if (!replaced)
        return fchmod(fd, 0666 & ~CurrentUmask()) == 0;
    struct stat mine;
    if (fstat(fd, &mine) != 0)
        return false;
    const bool grouped = mine.st_gid == replaced->st_gid || fchown(fd, static_cast<uid_t>(-1), replaced->st_gid) == 0;
    if (!CopyAttributes(folder, name, fd))
        return false;
    // After the access list: the group's bits are its mask. Set-id bits are not handed on.
    return fchmod(fd, replaced->st_mode & (grouped ? 01777 : 01707)) == 0;
}

} // namespace orvix
