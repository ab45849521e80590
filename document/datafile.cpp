// Opening data files.
#include "document/orvixdoc.h"

#include <unistd.h>

#include "platform/ui.h"

namespace orvix {

bool COrvixDoc::OnOpenDocument(const std::string& path)
{
    if (access(path.c_str(), R_OK) != 0) {
        MessageBox("File \"" + path + "\" doesn't exist or couldn't be opened!");
        return false;
    }
    MessageBox("Reading data files is not available in this build: \"" + path + "\".");
    return false;
}

} // namespace orvix
