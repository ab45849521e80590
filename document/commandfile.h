// Stimulus commands: the lines of a command file (".oxq") turned into rows of named
// values, and the columns of the trial-parameter table that follow from them.
#pragma once
#include <string>
#include <vector>

#include "model/param.h"

namespace orvix {

using CommandRow = std::vector<CParam>;

// No orientation offset for "OR2" items.
constexpr float kNoAngleOffset = -1000.0f;

// One line: items separated by ','; in each, the name runs to the first blank and the
// value (kept as text) is the rest, blanks trimmed; an item without a blank is skipped.
// With an offset, an item "OR2" becomes the real "OR" = value + offset in [0, 360).
CommandRow ParseCommandLine(const std::string& line, float angleOffset);

// The rows of all lines. When the rows disagree in their parameters, `error` receives the
// message to show and the result is empty.
std::vector<CommandRow> ParseCommandLines(const std::vector<std::string>& lines, float angleOffset,
                                          std::string& error);

// Names and type codes of the trial-parameter table for these rows: one column per
// parameter of the first row (integer, real or text by what every row holds), then
// "Status", "RTime", "V1", "V2", "V3" (integer), "Resp" and "Resp0".."Resp7" (real).
// Nothing when there are no rows.
void AnalysisColumns(const std::vector<CommandRow>& rows, std::vector<std::string>& names, std::vector<int>& types);

} // namespace orvix
