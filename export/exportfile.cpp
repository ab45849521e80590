#include "export/exportfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/codepage.h"

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

void CExportFile::WriteText(const std::string& text)
{
    // Most exports are ASCII through and through: no copy then.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        Write(text);
    else
        Write(ToUtf8(text));
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
