// Files that several programs share (two instances, a second rig on the same folder, a
// hand edit): telling whether a file is still the one a program last saw, and taking turns.
#pragma once
#include <cstdint>
#include <string>

struct stat;

namespace orvix {

// What tells one content of a file from the next: a rename over it, an edit in place or a
// change of its attributes changes at least one of these.
struct FileStamp {
    bool exists = false;
    uint64_t device = 0, inode = 0;
    int64_t size = 0, modifiedNs = 0, changedNs = 0;

    static FileStamp Of(const struct stat& s);
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file that `path` names (after links); one that does not exist when it
// cannot be looked at.
FileStamp StampOf(const std::string& path);

// flock(LOCK_EX) on `fd`, tried again until `timeoutMs` have passed: false with errno set
// (ETIMEDOUT at the deadline).
bool LockExclusively(int fd, int timeoutMs);

} // namespace orvix
