// Small text helpers of the C locale.
#pragma once
#include <string>

namespace orvix {

// The text without leading and trailing white space (blank, tab, CR, LF, FF, VT).
std::string Trim(const std::string& text);

} // namespace orvix
