// The decimal engine: decimal numbers, as digits and a power of ten, turned
// into doubles. It knows no text syntax and no caller's error numbers: a
// scanner hands it a DecimalToken, and it answers with a double and whether
// that double stands for a number out of range.
//
// What it promises, for every token:
// - Correct rounding: the result is the double nearest to the exact decimal
//   value of all its digits, however many, never a neighbour of it.
// - Ties to even: a value exactly halfway between two doubles gives the one
//   whose last bit is 0.
// - The range rules: a magnitude that rounds to 2^1024 or more gives
//   infinity with the number's sign; a non-zero magnitude that rounds below
//   2^-1022 gives +0, as no subnormal double is ever produced. Both are
//   told as out of range; nothing else is. Zero keeps its sign.
// - No allocation, and no reads outside the token's digits and the bytes
//   up to `readable_end` the caller allows.
#ifndef TLF2POS_DECIMAL_DECIMAL_VALUE_HPP
#define TLF2POS_DECIMAL_DECIMAL_VALUE_HPP

#include <cfloat>
#include <cstdint>
#include <limits>

#include "decimal/decimal_token.hpp"

static_assert(std::numeric_limits<double>::is_iec559 && DBL_MANT_DIG == 53,
              "IEEE doubles");
static_assert(FLT_EVAL_METHOD == 0,
              "exact_product needs each double operation rounded once, to double");

/// 10^0 to 10^22: the powers of ten that doubles hold exactly.
inline constexpr double kExactPowersOfTen[23] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

/// The double nearest to `m` x 10^`scale`, for `m` at most 2^53 and `scale`
/// from -22 to 22: both are exact doubles, and one IEEE multiply or divide
/// rounds the product once, correctly.
inline double exact_product(std::uint64_t m, int scale) {
  double d = static_cast<double>(m);
  return scale >= 0 ? d * kExactPowersOfTen[scale] : d / kExactPowersOfTen[-scale];
}

/// A double and whether the range rules gave it.
struct DecimalResult {
  double value;
  /// True if the number rounds past the largest double (`value` is then an
  /// infinity) or below the smallest normal one (`value` is then +0).
  bool out_of_range;
};

/// The double nearest to the number `t` describes (ties to even), by the
/// range rules above. The digits are read eight bytes at a time where such
/// a word ends at or before `readable_end`, byte by byte elsewhere (see
/// digits_value). Allocates nothing.
DecimalResult decimal_value(const DecimalToken& t, const char* readable_end);

/// The same for a token of NUL-terminated text, read only up to its NUL.
/// Only the tests use it.
inline DecimalResult decimal_value(const DecimalToken& t) { return decimal_value(t, t.end); }

#endif
