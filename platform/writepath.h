// Where a write may go on a machine shared with other users. A path is walked one name at a
// time through folder descriptors, so that what was checked is what gets written:
// - a symbolic link is followed only where the kernel's protected-symlinks rule would follow
//   it for this user (outside a sticky folder that everyone may write, or when the link is
//   the user's or the folder owner's), whatever that rule's setting on this machine;
// - only a regular file that the user may write is replaced or appended to.
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
// platform), or without write permission for the user.
bool MayReplace(const WriteLocation& at);

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
