// libFuzzer target: the data-file reader over arbitrary bytes, in the three ways the
// document reads a file (with the format fields, without them, and merging). Every input
// must end in a clean result or in CArchiveException / DataFileTooNew; anything else
// (another exception, a crash, a leak, a huge allocation) is a finding. A file that reads
// must also survive being written again and read back. The bytes stream from a file in
// memory through the archive's window, as the document's open and save stream them.
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "document/datafile_format.h"
#include "platform/files/atomic_file.h"

using namespace orvix;

namespace {

template <class T>
std::vector<const T*> Pointers(const std::vector<std::unique_ptr<T>>& list)
{
    std::vector<const T*> out;
    for (const auto& p : list)
        out.push_back(p.get());
    return out;
}

// An anonymous file, gone when it is closed.
struct MemoryFile {
    int fd = memfd_create("fuzz_datafile", MFD_CLOEXEC);
    MemoryFile()
    {
        if (fd < 0)
            abort();
    }
    ~MemoryFile() { close(fd); }
};

bool Load(const MemoryFile& file, DataFileContents& c, bool withFormat, bool forMerge)
{
    struct stat st;
    if (fstat(file.fd, &st) != 0 || lseek(file.fd, 0, SEEK_SET) != 0)
        abort();
    CArchive ar = CArchive::LoadingFrom(file.fd, static_cast<uint64_t>(st.st_size));
    try {
        LoadDataFileContents(ar, c, withFormat, forMerge);
        return true;
    } catch (const CArchiveException&) {
    } catch (const DataFileTooNew&) {
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryFile in;
    if (!WriteAll(in.fd, data, size))
        abort();
    DataFileContents merged;
    Load(in, merged, false, true);
    DataFileContents plain;
    Load(in, plain, false, false);
    DataFileContents c;
    if (!Load(in, c, true, false))
        return 0;

    MemoryFile out;
    CArchive ar = CArchive::StoringTo(out.fd);
    StoreDataFileContents(ar, c, {Pointers(c.expParams), Pointers(c.behavParams), Pointers(c.graphParams),
                                  Pointers(c.trials)});
    DataFileContents again;
    if (!ar.Flush() || !Load(out, again, true, false))
        abort(); // what this program writes, it must read
    return 0;
}
