// libFuzzer target: the data-file reader over arbitrary bytes, in the three ways the
// document reads a file (with the format fields, without them, and merging). Every input
// must end in a clean result or in CArchiveException / DataFileTooNew; anything else
// (another exception, a crash, a leak, a huge allocation) is a finding. A file that reads
// must also survive being written again and read back.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "document/datafile_format.h"

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

bool Load(std::vector<uint8_t> bytes, DataFileContents& c, bool withFormat, bool forMerge)
{
    CArchive ar(std::move(bytes));
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
    const std::vector<uint8_t> bytes(data, data + size);
    DataFileContents merged;
    Load(bytes, merged, false, true);
    DataFileContents plain;
    Load(bytes, plain, false, false);
    DataFileContents c;
    if (!Load(bytes, c, true, false))
        return 0;

    CArchive out;
    StoreDataFileContents(out, c, {Pointers(c.expParams), Pointers(c.behavParams), Pointers(c.graphParams),
                                   Pointers(c.trials)});
    DataFileContents again;
    if (!Load(out.Buffer(), again, true, false))
        abort(); // what this program writes, it must read
    return 0;
}
