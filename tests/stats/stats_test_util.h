// Helpers of the statistics tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "stats/mwarray.h"

namespace stats_test {

// The message of the library error that f raises, or "" when it raises none.
std::string ErrorOf(const std::function<void()>& f);

// True when message is expected, possibly followed by the place the run-time added.
bool MessageIs(const std::string& message, const std::string& expected);

tarsel::mwArray Row(const std::vector<double>& v);
tarsel::mwArray Col(const std::vector<double>& v);

} // namespace stats_test
