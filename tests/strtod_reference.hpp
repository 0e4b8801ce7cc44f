// The reference for the values of record-line numbers: the C library's
// strtod, which rounds correctly, with the program's two range rules laid
// over it. It shares no code with the decimal engine it checks, so that the
// unit tests and the fuzz targets compare the engine with an answer found
// another way.
#ifndef TLF2POS_TESTS_STRTOD_REFERENCE_HPP
#define TLF2POS_TESTS_STRTOD_REFERENCE_HPP

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

/// What the reference gives for one number.
struct ReferenceValue {
  /// The double the number must become.
  double value;
  /// Whether the number is out of range (value an infinity or +0).
  bool range_error;
  /// Whether strtod took the whole text as the number.
  bool whole;
};

/// The number `text` (one decimal number, an exponent marker d or D read
/// as e) by strtod: its correctly rounded value, except that a result of
/// 2^1024 or more is an infinity with a range error and a non-zero number
/// below 2^-1022 is +0 with a range error.
inline ReferenceValue strtod_reference(const std::string& text) {
  std::string c = text;
  bool nonzero = false;
  bool in_exponent = false;
  for (char& ch : c) {
    if (ch == 'd' || ch == 'D' || ch == 'e' || ch == 'E') {
      ch = 'e';
      in_exponent = true;
    }
    if (!in_exponent && ch >= '1' && ch <= '9')
      nonzero = true;
  }
  char* stop = nullptr;
  double r = std::strtod(c.c_str(), &stop);
  bool whole = stop == c.c_str() + c.size();
  if (std::isinf(r))
    return ReferenceValue{r, true, whole};
  if (nonzero && std::fabs(r) < DBL_MIN)
    return ReferenceValue{0.0, true, whole};
  return ReferenceValue{r, false, whole};
}

#endif
