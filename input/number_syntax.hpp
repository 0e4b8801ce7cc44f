// The syntax of the numbers on TULO record lines, apart from their value.
//
// Record lines use a decimal syntax: optional whitespace (bytes 9 to 13 and
// 32), an optional sign, digits with an optional point (at least one digit
// on either side), and an optional exponent marked e, E, d or D with at
// least one digit after the marker and its optional sign; without such a
// digit the number ends before the marker. No hexadecimal, no words, no
// separators. The scan only finds where the number lies and what its parts
// are; the decimal engine (decimal/decimal_value.hpp) turns them into a
// double.
//
// The grammar is scan_decimal_syntax, in number_syntax.cpp. Faster
// recognisers of the common forms, which leave every other form to it, are
// in number_recognisers.hpp, apart, so that only the number scanner takes
// in their SIMD code.
#ifndef TLF2POS_INPUT_NUMBER_SYNTAX_HPP
#define TLF2POS_INPUT_NUMBER_SYNTAX_HPP

#include "decimal/decimal_token.hpp"

/// True for the whitespace bytes of both TULO number syntaxes.
inline bool is_tulo_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/// Scans a decimal number at `p` by the grammar. Returns false, leaving `*t`
/// unspecified, if no number starts there after the whitespace. Words of
/// eight bytes are read while they end at or before `readable_end`, the
/// rest byte by byte up to the byte that ends the number, so with
/// `readable_end` at or before `p` nothing past the text's NUL is read.
bool scan_decimal_syntax(const char* p, const char* readable_end, DecimalToken* t);

/// The same for NUL-terminated text that may be read only up to its NUL.
/// Only the plain scan the tests compare with (scan_number) and the tests
/// use it; record lines are scanned in the line store.
inline bool scan_decimal_syntax(const char* p, DecimalToken* t) {
  return scan_decimal_syntax(p, p, t);
}

#endif
