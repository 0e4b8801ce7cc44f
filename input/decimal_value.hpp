// The value of a scanned decimal number, rounded correctly to a double.
#ifndef TLF2POS_INPUT_DECIMAL_VALUE_HPP
#define TLF2POS_INPUT_DECIMAL_VALUE_HPP

#include <cfloat>
#include <cstdint>
#include <limits>

#include "input/number_syntax.hpp"
#include "platform/last_error.hpp"

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

/// The double nearest to the number `t` describes (ties to even). A
/// magnitude that rounds to 2^1024 or more gives infinity with the number's
/// sign; a non-zero magnitude that rounds below 2^-1022 (rounded as a
/// subnormal would be) gives +0: subnormal values are never produced. Both
/// set `*last_error` to kErrorRange; otherwise it is left alone. The digits
/// are read eight bytes at a time where such a word ends at or before
/// `readable_end`, byte by byte elsewhere (see digits_value). Allocates
/// nothing.
double decimal_value(const DecimalToken& t, const char* readable_end, LastError* last_error);

/// The same for a token of NUL-terminated text, read only up to its NUL.
inline double decimal_value(const DecimalToken& t, LastError* last_error) {
  return decimal_value(t, t.end, last_error);
}

#endif
