// libFuzzer target: the whole open of a data file through the document, as the program
// does it (a temporary file, Load Format on and off, then a merge of the same file). A
// failed open must end in a message, never a crash or a leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "document/orvixdoc.h"
#include "platform/settings/registry.h"
#include "platform/ui/ui.h"
#include "tests/common/tempdir.h"

using namespace orvix;

namespace {

std::string g_dir;

void WriteBytes(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        abort();
    if (size && fwrite(data, 1, size, f) != size)
        abort();
    fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // libFuzzer's own handlers take SIGINT and SIGTERM (they print its report) and end the run
    // with _Exit, as a crash does: no handler or destructor of ours would remove the folder.
    g_dir = orvix_test::MakeTempDirRemovedAtEnd("orvix-fuzz-open");
    setenv("ORVIX_REGISTRY", (g_dir + "/Orvix.reg").c_str(), 1);
    setenv("ORVIX_DRIVES", (g_dir + "/drives").c_str(), 1);
    ReloadRegistry();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CScriptedUI ui; // answers every question with its default button
    ui.messages.clear();
    const std::string path = g_dir + "/input.oxv";
    WriteBytes(path, data, size);
    for (int format = 0; format < 2; ++format) {
        COrvixDoc doc;
        doc.loadFormat = format;
        if (doc.OnOpenDocument(path) && format) {
            doc.OnFileMergingMode();
            doc.OnOpenDocument(path);
        }
    }
    return 0;
}
