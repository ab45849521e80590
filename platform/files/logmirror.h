// The log's copy in a file: when ORVIX_LOG names one, every log line is appended to it, so
// that the log can be read without a control panel. Only a regular file of the user's own
// that the user may write is appended to (the rules of every write, writepath.h); anything
// else is said once on stderr and left as it is.
#pragma once
#include <string>

namespace orvix {

// `line` is the program's text; the file holds it as UTF-8. False when ORVIX_LOG names a file
// that did not take the line.
bool MirrorLogLine(const std::string& line);

} // namespace orvix
