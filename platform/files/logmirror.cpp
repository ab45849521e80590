#include "platform/files/logmirror.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "platform/files/writepath.h"
#include "platform/text/codepage.h"

namespace orvix {

namespace {

// The file is opened for each line (another program may rotate it), under the rules of every
// write: a planted link is not followed, and only a regular file is appended to; a FIFO is
// never opened for writing, which would block the program until a reader came. What is
// appended to must be the user's own, as the opened file tells: a file that another user
// made (a 0666 one in a sticky folder, say) would hand them every line.
int OpenMirror(const char* path)
{
    WriteLocation at;
    if (!LocateWriteTarget(path, false, at) || !MayReplace(at))
        return -1;
    const int fd = OpenLocated(at, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0)
        st.st_mode = 0; // unknown: refused as what is not a regular file
    if (!RequireRegularFile(at.path, st.st_mode)) {
        close(fd);
        return -1;
    }
    if (st.st_uid != geteuid()) {
        close(fd);
        SetWriteFailure(EPERM, "\"" + ShownText(at.path) + "\" belongs to another user; it stays as it is");
        return -1;
    }
    return fd;
}

} // namespace

bool MirrorLogLine(const std::string& line)
{
    const char* path = getenv("ORVIX_LOG");
    if (!path || !*path)
        return true;
    // A line that cannot be converted is not written at all (the converter's problem was
    // said on stderr), never written without its letters.
    std::string text;
    if (!ToUtf8(line, text))
        return false;
    text += '\n';
    const int fd = OpenMirror(path);
    if (fd < 0) {
        // Said once: the log has nowhere else to go when no panel shows it.
        static std::once_flag told;
        std::call_once(told, [&] {
            fprintf(stderr, "orvix: log lines are not written to \"%s\": %s.\n", path, ToUtf8(WriteFailureText()).c_str());
        });
        return false;
    }
    // One write, so that lines of two writers never interleave. The line is the program's
    // text; the file is read with Linux tools: UTF-8.
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return written;
}

} // namespace orvix
