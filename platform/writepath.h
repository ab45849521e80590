// Where a write may go on a machine shared with other users. A path is walked one name at a
// time through folder descriptors, so that what was checked is what gets written:
// - a symbolic link is followed only when it is the user's own or root's, and in a sticky
//   folder that everyone may write only where the kernel's protected-symlinks rule would
//   follow it too (the user's link, or the folder owner's), whatever that rule's setting;
// - only a regular file that the user may write is replaced or appended to, and in a sticky
//   folder that everyone may write only one of the user's or the folder owner's (the
//   kernel's protected-regular rule), for root too.
// A refusal leaves a sentence for the user (WriteFailureText) naming the path concerned.
#pragma once
#include <string>
#include <sys/stat.h>

namespace orvix {

// The folder (an O_PATH descriptor) and name of a write's target.
struct WriteLocation {
    WriteLocation() = default;
    ~WriteLocation();
    WriteLocation(const WriteLocation&) = delete;
    WriteLocation& operator=(const WriteLocation&) = delete;
    void Reset();

    int folder = -1;
    std::string name;
    std::string path;  // the target as reached, for messages
    bool exists = false;
    struct stat st {};  // the target's own, when it exists
};

// Walks `path` to the folder of the file that a write replaces (the file a link of the last
// name finally names; with `followLast` false, the last name itself, whatever it is). Missing
// folders of the path as given are made when `makeFolders`; those of a link's target never
// are. False, with errno and WriteFailureText() set, when the path cannot be walked or a rule
// refuses it.
bool LocateWriteTarget(const std::string& path, bool makeFolders, WriteLocation& at, bool followLast = true);

// Refuses (false, with the text set) a target that exists and is not a regular file, or that
// the user may not write: read-only (for root too, as a read-only file is on the original
// platform), without write permission for the user, or another user's in a sticky folder
// that everyone may write (see above).
bool MayReplace(const WriteLocation& at);

// Opens a file that the program uses as the user's own (the settings file, its lock) as
// open(2) would with `flags`, reaching it through the same walk as a write, so that a read
// follows no link that a write would not; O_NOFOLLOW refuses a link of the last name. The
// descriptor, or -1 with errno (and WriteFailureText()) set.
int OpenUsersFile(const std::string& path, int flags, mode_t mode = 0);

// Why the last write of this thread failed: the rule's sentence when one refused it,
// otherwise the system's text for the errno of the failure.
std::string WriteFailureText();
// True when that failure was a rule's refusal rather than a system error.
bool WriteWasRefused();
// Records a failure: `text` empty for a plain system error (errno `error`).
void SetWriteFailure(int error, const std::string& text = std::string());
// Records the system error `error` as the failure and sets errno to it; false, to return.
bool WriteFailed(int error);
// Refuses (false, with the text set) a file of mode `mode` at `path` that is not a regular
// file: only regular files are ever replaced or appended to.
bool RequireRegularFile(const std::string& path, mode_t mode);

} // namespace orvix
