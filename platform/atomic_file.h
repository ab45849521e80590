// Writing a whole file so that a failure never destroys the previous copy: the data go to
// a temporary file beside the target, which is flushed and then renamed over it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace orvix {

// Creates missing parent folders of `path`; a symbolic link there stays, and the file it names
// is replaced (WriteTarget). False when anything failed; the old file is then intact.
bool WriteFileAtomically(const std::string& path, const std::string& data);
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);
// The same, the data coming from `write`, which writes them to the temporary file's
// descriptor as it makes them and returns false (errno set) when a write failed.
bool WriteFileAtomically(const std::string& path, const std::function<bool(int fd)>& write);

// Writes all `size` bytes to the descriptor, again after an interruption or a short write;
// at `offset` when it is not negative (the descriptor's position then stays). False (errno
// set) when a write failed or wrote nothing.
bool WriteAll(int fd, const void* data, size_t size, int64_t offset = -1);

// The file that a write to `path` replaces: `path` itself, or, when it is a symbolic link
// (also a dangling one, or a chain), the file the link finally names, so that the link
// stays. "" with errno set (ELOOP) when the links do not end.
std::string WriteTarget(const std::string& path);

// The temporary files beside a target, "<target>.tmp-<pid>-XXXXXX" (the target's part cut
// short where the whole would not fit the file system's name limit), made exclusively and
// locked while their writer has them open. Creates one for `target` (its path in `temp`) and
// returns its descriptor, or -1 with errno set. The file gets the target's permission bits
// and, where the user may set it, its group; for a new target the bits that the umask
// leaves of 0666. First removes the temporaries in the target's folder that killed writers
// left: those whose process is gone and that nobody holds locked.
int CreateTemporaryBeside(const std::string& target, std::string& temp);
// Ends the writing of such a temporary (`fd` its descriptor, `temp` its path): when `commit`,
// flushes it to the disk, closes it and renames it over `target`; otherwise, or when any of
// that fails, closes and removes it. The temporary stays locked until it has been renamed.
// Returns 0, or the errno of the first failure (a failed close is one: the data may be lost).
int FinishTemporary(int fd, const std::string& temp, const std::string& target, bool commit);
// True for a file name of such a temporary (also of the older form without the pid), which a
// pattern of data files must not take for one.
bool IsTemporaryFileName(const std::string& name);

// Makes every atomic write fail (a full disk, a lost mount); for tests of failure paths.
void FailAtomicWritesForTesting(bool fail);
// Runs `hook` (when set) in every FinishTemporary between the close and the rename, with the
// temporary's path; for tests of what another process sees in that gap.
void BeforeRenamesForTesting(std::function<void(const std::string& temp)> hook);

} // namespace orvix
