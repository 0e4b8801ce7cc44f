// The powers of five to 128 bits, for turning m x 10^q into the nearest
// double with integer arithmetic: 10^q = 5^q x 2^q, and the power of two
// only moves the exponent.
#ifndef TLF2POS_DECIMAL_POWER_OF_FIVE_HPP
#define TLF2POS_DECIMAL_POWER_OF_FIVE_HPP

#include <array>

#include "decimal/wide_multiply.hpp"

/// The powers of ten in the table. With at most 20 significant digits, a
/// number below 10^kMinPowerOfTen is far below the smallest double and one
/// above 10^kMaxPowerOfTen far above the largest.
inline constexpr int kMinPowerOfTen = -342;
inline constexpr int kMaxPowerOfTen = 308;

/// floor(log2(10^q)) for q from kMinPowerOfTen to kMaxPowerOfTen (checked
/// against the table's own arithmetic where the table is made).
constexpr int floor_log2_power_of_ten(int q) { return (q * 217706) >> 16; }

/// Entry q - kMinPowerOfTen: 5^q times the power of two that puts it in
/// [2^127, 2^128), truncated to an integer. So 5^q = (entry + f) x
/// 2^(floor(log2(5^q)) - 127) with 0 <= f < 1, and f = 0 exactly for q from
/// 0 to 55.
extern const std::array<Wide, kMaxPowerOfTen - kMinPowerOfTen + 1> kPowersOfFive;

#endif
