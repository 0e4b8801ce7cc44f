// The syntax of the numbers on TULO lines, apart from their value.
//
// Record lines use a decimal syntax: optional whitespace (bytes 9 to 13 and
// 32), an optional sign, digits with an optional point (at least one digit
// on either side), and an optional exponent marked e, E, d or D with at
// least one digit. No hexadecimal, no words, no separators. The scan only
// finds where the number lies and gathers its digits; decimal_value.hpp
// turns them into a double.
#ifndef TLF2POS_INPUT_NUMBER_SYNTAX_HPP
#define TLF2POS_INPUT_NUMBER_SYNTAX_HPP

#include <cstdint>

/// True for the whitespace bytes of both TULO number syntaxes.
inline bool is_tulo_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

/// A decimal number as written: sign, digits and exponent.
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
  /// Up to 19 significant digits as an integer; valid when
  /// `significant` <= 19, which is when mantissa * 10^(exponent - frac_count)
  /// is exactly the number.
  std::uint64_t mantissa;
  /// Significant digits (leading zeros not counted), capped at 20.
  int significant;
};

/// Scans a decimal number at `p`, which must point into NUL-terminated
/// text. Returns false, leaving `*t` unspecified, if no number starts there
/// after the whitespace; the scan never reads past the NUL.
bool scan_decimal_syntax(const char* p, DecimalToken* t);

#endif
