// The missing value of the trial-parameter table: the quiet NaN with the bits
// FFF8000000000000.
#pragma once
#include <bit>
#include <cstdint>

namespace orvix {

inline const double kMissingValue = std::bit_cast<double>(static_cast<uint64_t>(0xFFF8000000000000ull));

} // namespace orvix
