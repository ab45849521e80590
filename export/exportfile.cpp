#include "export/exportfile.h"

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"

namespace orvix {

CExportFile::~CExportFile() { Discard(); }

void CExportFile::Fail(int err)
{
    if (error_.empty())
        error_ = strerror(err ? err : EIO);
}

bool CExportFile::Open(const std::string& path)
{
    Discard();
    error_.clear();
    size_ = 0;
    // Through a symbolic link the file it names is replaced, and the link stays.
    path_ = WriteTarget(path);
    fd_ = path_.empty() ? -1 : CreateTemporaryBeside(path_, temp_);
    if (fd_ < 0) {
        Fail(errno);
        temp_.clear();
        return false;
    }
    return true;
}

void CExportFile::Write(const void* data, size_t size)
{
    if (fd_ < 0 || Failed())
        return;
    if (!WriteAll(fd_, data, size)) {
        Fail(errno);
        return;
    }
    size_ += size;
}

void CExportFile::WriteAt(uint64_t offset, const void* data, size_t size)
{
    if (fd_ < 0 || Failed())
        return;
    if (!WriteAll(fd_, data, size, static_cast<int64_t>(offset)))
        Fail(errno);
}

bool CExportFile::Commit()
{
    if (fd_ < 0)
        return false;
    if (int error = FinishTemporary(fd_, temp_, path_, !Failed()))
        Fail(error);
    fd_ = -1;
    temp_.clear();
    return !Failed();
}

void CExportFile::Discard()
{
    if (fd_ >= 0)
        FinishTemporary(fd_, temp_, path_, false);
    fd_ = -1;
    temp_.clear();
}

} // namespace orvix
