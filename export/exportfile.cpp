#include "export/exportfile.h"

#include <cerrno>
#include <cstring>

#include "platform/files/atomic_file.h"
#include "platform/text/codepage.h"

namespace orvix {

CExportFile::~CExportFile() { Discard(); }

void CExportFile::Fail(int err, bool explained)
{
    if (!error_.empty())
        return;
    error_ = explained ? WriteFailureText() : strerror(err ? err : EIO);
    refused_ = explained && WriteWasRefused();
}

bool CExportFile::Open(const std::string& path)
{
    Discard();
    error_.clear();
    refused_ = false;
    size_ = 0;
    // Through a symbolic link the file it names is replaced, and the link stays.
    if (!write_.Begin(path, false)) {
        Fail(errno, true);
        return false;
    }
    return true;
}

void CExportFile::Write(const void* data, size_t size)
{
    if (write_.Fd() < 0 || Failed())
        return;
    if (!WriteAll(write_.Fd(), data, size)) {
        Fail(errno);
        return;
    }
    size_ += size;
}

void CExportFile::WriteText(std::string_view text)
{
    if (write_.Fd() < 0 || Failed())
        return;
    if (IsAscii(text)) {
        Write(text.data(), text.size());
        return;
    }
    // Into memory that outlives the file: after the first block of the first export, a
    // conversion costs no allocation and touches no new page (the largest block's size, a
    // few MB, stays). Text that cannot be converted fails the file, which is then never
    // committed.
    thread_local CTextBuffer utf8;
    utf8.Clear();
    if (!AppendUtf8(text, utf8)) {
        error_ = TextConverterProblem();
        if (error_.empty()) // the converter opened again meanwhile: still, this text was not written
            error_ = "the text could not be converted to UTF-8";
        else if (error_.back() == '.') // the caller's message goes on after it
            error_.pop_back();
        return;
    }
    Write(utf8.View().data(), utf8.View().size());
}

void CExportFile::WriteAt(uint64_t offset, const void* data, size_t size)
{
    if (write_.Fd() < 0 || Failed())
        return;
    if (!WriteAll(write_.Fd(), data, size, static_cast<int64_t>(offset)))
        Fail(errno);
}

bool CExportFile::Commit()
{
    if (write_.Fd() < 0)
        return false;
    if (Failed())
        write_.Abandon();
    else if (int error = write_.Commit())
        Fail(error, true);
    return !Failed();
}

void CExportFile::Discard() { write_.Abandon(); }

} // namespace orvix
