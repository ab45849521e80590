// The log's copy in a file: when ORVIX_LOG names one, every log line is appended to it, so
// that the log can be read without a control panel.
#pragma once
#include <string>

namespace orvix {

void MirrorLogLine(const std::string& line);

} // namespace orvix
