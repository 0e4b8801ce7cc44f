// The last word on rounding a long decimal number: exact comparison with
// the points halfway between doubles, in big-integer arithmetic.
//
// The fast conversions leave a number undecided only when it lies within a
// hair of such a halfway point; then its digits, all of them, are compared
// with that point exactly. Slow, and needed about once in a billion
// numbers.
#ifndef TLF2POS_DECIMAL_EXACT_ROUNDING_HPP
#define TLF2POS_DECIMAL_EXACT_ROUNDING_HPP

#include <cstdint>

/// Bits of doubles, as exact_rounding and the conversions that call it tell
/// their results: the smallest normal double (2^-1022), the largest
/// subnormal one, and infinity.
inline constexpr std::uint64_t kSmallestNormalBits = std::uint64_t{1} << 52;
inline constexpr std::uint64_t kLargestSubnormalBits = kSmallestNormalBits - 1;
inline constexpr std::uint64_t kInfinityBits = std::uint64_t{0x7ff} << 52;

/// The most decimal digits exact_rounding takes.
inline constexpr int kExactDigits = 800;

/// The bits of the positive double nearest to D x 10^`exponent`, D being
/// the integer written by the `count` (1 to kExactDigits) decimal digits at
/// `digits`, the first not 0, and `exponent` such that D x 10^`exponent` is
/// at least 10^-400 and below 10^400. Ties go to the even neighbour.
/// Rounding follows the double grid, subnormal numbers included, and past
/// the largest double come the bits of infinity. Results at or below the
/// largest subnormal double are not told apart: its bits stand for all of
/// them. `candidate` (the bits of a non-negative double, or of infinity)
/// must lie within a few steps of the result on that grid; below the
/// smallest normal double it may lie anywhere. Allocates nothing.
std::uint64_t exact_rounding(const char* digits, int count, std::int64_t exponent,
                             std::uint64_t candidate);

#endif
