// Where a write may go on a machine shared with other users. A path is walked one name at a
// time through descriptors, each name opened once, so that what was checked is what gets
// written:
// - a symbolic link is followed only when it is the user's own or root's, and in a sticky
//   folder that everyone may write only where the kernel's protected-symlinks rule would
//   follow it too (the user's link, or the folder owner's), whatever that rule's setting;
// - only a regular file that the user may write is replaced or appended to, and in a sticky
//   folder that everyone may write only one of the user's or the folder owner's (the
//   kernel's protected-regular rule), for root too;
// - no folder is made behind a link: a link is followed only to what exists.
// A refusal leaves a sentence for the user (WriteFailureText) naming the path concerned.
#pragma once
#include <functional>
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
    std::string link;   // where the target points, when it is a link that was not followed
};

// Walks `path` to the folder of the file that a write replaces (the file a link of the last
// name finally names; with `followLast` false, the last name itself, whatever it is), after
// releasing what `at` held. Missing folders of the path as given are made when `makeFolders`;
// a folder missing behind a link is refused, never made. False, with errno and
// WriteFailureText() set, when the path cannot be walked or a rule refuses it.
bool LocateWriteTarget(const std::string& path, bool makeFolders, WriteLocation& at, bool followLast = true);

// Refuses (false, with the text set) a target that exists and is not a regular file, or that
// the user may not write: read-only (for root too, as a read-only file is on the original
// platform), without write permission for the user, or another user's in a sticky folder
// that everyone may write (see above).
bool MayReplace(const WriteLocation& at);

// Opens the located name as openat(2) would with `flags`, never following a link there; a link
// or folder that took the name after the walk is refused as a change (RefuseChanged). The
// descriptor, or -1 with errno and WriteFailureText() set.
int OpenLocated(const WriteLocation& at, int flags, mode_t mode = 0);

// Opens a file that the program uses as the user's own (the settings file, its lock) as
// open(2) would with `flags`, reaching it through the same walk as a write, so that a read
// follows no link that a write would not; O_NOFOLLOW refuses a link of the last name, and a
// file of another user's that cannot be opened is refused as theirs. The descriptor, or -1
// with errno (and WriteFailureText()) set.
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
// Refuses (false, with the text set) a name at `path` that another object took between two
// steps of a write (someone who may write its folder swapped it): "... changed while it was
// being written; nothing was written" (being read, with `read`), and where a link now there
// points, when `linkTarget` is given.
bool RefuseChanged(const std::string& path, const std::string& linkTarget = std::string(), bool read = false);
// What the link of the descriptor `link` (O_PATH | O_NOFOLLOW) holds; "" (errno set) when it
// cannot be read.
std::string LinkTarget(int link);
// Runs `hook` (when set) in every walk between the look at a name and its use (a link's owner
// and its target; a folder made and its opening), with the name's path; for tests of a swap
// there.
void BetweenLooksForTesting(std::function<void(const std::string& path)> hook);
// Refuses (false, with the text set) a file of mode `mode` at `path` that is not a regular
// file: only regular files are ever replaced or appended to.
bool RequireRegularFile(const std::string& path, mode_t mode);

} // namespace orvix
