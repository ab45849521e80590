// Writing a whole file so that a failure never destroys the previous copy: the data go to
// a temporary file beside the target, which is flushed and then renamed over it. Where the
// write may go, and what it may replace, follows the rules of writepath.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/files/writepath.h"

namespace orvix {

// One such write. The temporary, "<target>.~orvix-tmp-<pid>-<12 letters or digits>" (the
// target's part cut short where the whole would not fit the file system's name limit), is
// made exclusively, private to the user and locked while it is written. At the commit it
// takes what the replaced file had (its permission bits, owner, group, access list and
// extended attributes; a new file gets what the umask leaves of 0666), and then replaces it.
// The commit looks at the target again: what has its name then must pass Begin's rules, and
// belong to the owner Begin gave the new file, so that a file swapped in meanwhile never
// gets the data nor lends them its rights.
// The first write into a folder in a run of the program removes the temporaries there that
// killed writers left: the user's own regular files of that form whose process is gone and
// that nobody holds locked.
class CAtomicWrite {
public:
    CAtomicWrite() = default;
    ~CAtomicWrite() { Abandon(); }
    CAtomicWrite(const CAtomicWrite&) = delete;
    CAtomicWrite& operator=(const CAtomicWrite&) = delete;

    // Locates `path` (making the missing folders of the path as given when `makeFolders`),
    // checks that it may be replaced and makes the temporary. False, with errno and
    // WriteFailureText() set, when any of that failed or was refused.
    bool Begin(const std::string& path, bool makeFolders);
    // Begins a new file, which never takes the place of anything: the commit gives it the
    // last name of `path` only while nothing has that name (not even a dangling link), else
    // the first such of the names that `nextName` gives in turn (names in the same folder;
    // "" gives up with EEXIST). Writers that choose names alike thus need no lock.
    bool BeginNew(const std::string& path, bool makeFolders, std::function<std::string()> nextName);
    // The temporary's descriptor while a write is begun, else -1.
    int Fd() const { return fd_; }
    // Flushes the temporary to the disk and renames it over the target. Returns 0, or the
    // errno of the first failure (a failed close is one: the data may be lost), the
    // temporary then removed and the target left as it was. The temporary stays locked
    // until it has been renamed.
    // With `replaced`, the rename exchanges the two files where the file system can, and
    // `replaced` gets a descriptor (read only) of the file replaced, or -1 (there was none, or
    // it is not the user's own regular file): whatever reached that file up to the rename can
    // be looked at. Elsewhere the target is opened just before the rename.
    int Commit(int* replaced = nullptr);
    // Removes the temporary; the target stays as it was.
    void Abandon();
    // The file that Commit replaces (or made, for a new file), as the walk reached it.
    const std::string& Target() const { return at_.path; }

private:
    // Forgets a write begun before; false (a failure recorded) while writes are made to fail.
    bool Restart();
    bool MakeTemporary();
    // The commit's last step for the temporary's descriptor `file`: replaces the target as it
    // is now, or claims a name for a new file. False, with the failure recorded.
    bool Settle(int file, int* replaced);
    bool Replace(int* replaced);
    bool Claim(int file);

    WriteLocation at_;
    int fd_ = -1;
    std::string temp_;
    int examined_ = -1; // the file Begin looked at, wherever it is now (-1: there was none)
    std::function<std::string()> nextName_; // set for a new file
};

// Writes `data` to `path` through a CAtomicWrite, making missing folders of the path. False
// when anything failed (errno and WriteFailureText() tell why); the old file is then intact.
bool WriteFileAtomically(const std::string& path, const std::string& data);
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);
// The same, the data coming from `write`, which writes them to the temporary file's
// descriptor as it makes them and returns false (errno set) when a write failed.
bool WriteFileAtomically(const std::string& path, const std::function<bool(int fd)>& write);
// The same for a new file under the first free of the names of `path` and `nextName`
// (CAtomicWrite::BeginNew).
bool WriteNewFileAtomically(const std::string& path, const std::function<bool(int fd)>& write,
                            std::function<std::string()> nextName);

// Writes all `size` bytes to the descriptor, again after an interruption or a short write;
// at `offset` when it is not negative (the descriptor's position then stays). False (errno
// set) when a write failed or wrote nothing.
bool WriteAll(int fd, const void* data, size_t size, int64_t offset = -1);

// True for a file name of such a temporary, also of the older forms "<target>.tmp-<pid>-XXXXXX"
// and "<target>.tmp-XXXXXX", which a pattern of data files must not take for one.
bool IsTemporaryFileName(const std::string& name);

// Makes every atomic write fail (a full disk, a lost mount); for tests of failure paths.
void FailAtomicWritesForTesting(bool fail);
// Runs `hook` (when set) in every Commit between the last look at the target and the rename,
// with the temporary's path; for tests of what another process sees or does in that gap.
void BeforeRenamesForTesting(std::function<void(const std::string& temp)> hook);
// Lets the next write into each folder remove killed writers' temporaries again.
void ForgetSweptFoldersForTesting();

} // namespace orvix
