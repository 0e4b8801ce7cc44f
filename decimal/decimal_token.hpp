// A decimal number as a scanner found it in text: the input the decimal
// engine (decimal_value.hpp) turns into a double. Whatever syntax the
// caller reads fills it in; the engine knows none.
#ifndef TLF2POS_DECIMAL_DECIMAL_TOKEN_HPP
#define TLF2POS_DECIMAL_DECIMAL_TOKEN_HPP

#include <cstdint>

/// A decimal number as written: where it ends, its sign, its digits and its
/// exponent.
struct DecimalToken {
  /// Just past the number.
  const char* end;
  bool negative;
  /// The digits before and after the point, leading zeros included.
  const char* int_digits;
  int int_count;
  const char* frac_digits;
  int frac_count;
  /// The exponent as written, its size capped at 999999999.
  std::int64_t exponent;
};

#endif
