// The text lines the control panel's lists show, built without widgets.
#pragma once
#include <string>
#include <vector>

#include "model/param.h"

namespace orvix {

// A parameter list line: the name, blanks to line the values up, a tab, the value text.
std::string ParamLine(CParam& param);
// A separator parameter (value ".") shows as a row of '='.
bool IsSeparator(CParam& param);
std::string SeparatorLine(int width);
// The part of a line after its first tab (the whole line without one).
std::string LineValue(const std::string& line);
// The part before the first tab without trailing blanks.
std::string LineName(const std::string& line);

// A line of the response list: trial number and the five response values.
std::string ResponseLine(int trialNumber, const int values[5]);

// The lines a log text adds: one per line break, plus the text after the last one.
std::vector<std::string> SplitLogText(const std::string& text);

// A line of the View list: "%03d: " with number then the text.
std::string ViewListLine(int number, const std::string& text);

} // namespace orvix
