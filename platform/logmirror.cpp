#include "platform/logmirror.h"

#include <cstdio>
#include <cstdlib>

namespace orvix {

void MirrorLogLine(const std::string& line)
{
    const char* path = getenv("ORVIX_LOG");
    if (!path || !*path)
        return;
    if (FILE* f = fopen(path, "ab")) {
        fwrite(line.data(), 1, line.size(), f);
        fputc('\n', f);
        fclose(f);
    }
}

} // namespace orvix
