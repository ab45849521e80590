// An output file of an export. The bytes go to a temporary file beside the target, which
// Commit renames over it, so that a failed or abandoned export never leaves half a file
// and never destroys the previous one. Write errors (a full disk, a lost mount) are kept,
// not thrown: the caller asks once, at Commit, and reports the first one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files/atomic_file.h"

namespace orvix {

class CExportFile {
public:
    CExportFile() = default;
    ~CExportFile();
    CExportFile(const CExportFile&) = delete;
    CExportFile& operator=(const CExportFile&) = delete;

    // Creates the temporary file for `path` (a path of this machine; a symbolic link is
    // followed to the file it names where the rules of writing allow it). False when its
    // folder cannot take it or the target may not be replaced; Error() says why.
    bool Open(const std::string& path);
    bool IsOpen() const { return write_.Fd() >= 0; }

    // Appends at the end.
    void Write(const void* data, size_t size);
    void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
    // The program's text (the code page) as a text file of Linux holds it: UTF-8. Without a
    // converter the file fails (Error() says what is missing): no text is left out of it.
    void WriteText(std::string_view text);
    // Overwrites bytes at an offset (a header rewritten at the end); later writes still
    // append.
    void WriteAt(uint64_t offset, const void* data, size_t size);

    // Flushes to the disk, closes and renames over the target. False when anything failed
    // since Open: the temporary file is then removed and the target left as it was.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

    bool Failed() const { return !error_.empty(); }
    // Why the first failure happened, "" while there is none.
    const std::string& Error() const { return error_; }
    // True when a rule of writing refused the file (a link not followed, not a regular file,
    // read-only): a message then adds Error(), which a system error's own text explains.
    bool Refused() const { return refused_; }
    // The file that Commit replaces.
    const std::string& Path() const { return write_.Target(); }
    uint64_t Size() const { return size_; }

private:
    // `explained`: the write's own sentence (a refusal) rather than the system's text.
    void Fail(int err, bool explained = false);

    CAtomicWrite write_;
    uint64_t size_ = 0;
    std::string error_;
    bool refused_ = false;
};

} // namespace orvix
