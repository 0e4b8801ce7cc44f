// Correctly rounded conversion of decimal digits.
//
// Most TULO numbers have few digits and a small exponent; both then convert
// exactly to doubles and one IEEE multiply or divide rounds the result
// correctly. Everything else is rewritten as plain digits and an exponent and
// handed to std::from_chars, which rounds correctly for any length: digits
// that fit in 64 bits straight from the integer, longer ones copied.
#include "input/decimal_value.hpp"

#include <cfloat>
#include <charconv>
#include <cstdint>
#include <limits>

static const double kPow10[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// More significant digits than a double can need to round correctly (767);
// the rest only matter as "zero or not".
static constexpr int kMaxDigits = 800;

// Room for the digits handed to std::from_chars and an exponent after them.
static constexpr int kDigitsRoom = kMaxDigits + 24;

// The value of the digits [digits, end) (no leading zero, at least one
// digit) times 10^e, with the range rules, by std::from_chars, which rounds
// correctly for any length. [digits, end) must lie in a buffer of
// kDigitsRoom bytes, which gets the exponent appended; the syntax caps the
// written exponent, so `e` stays far inside 11 digits.
static double correctly_rounded(char* digits, char* end, std::int64_t e,
                                bool negative, bool* range_error) {
  std::int64_t kept = end - digits;
  *end++ = 'e';
  end = std::to_chars(end, digits + kDigitsRoom, e).ptr;

  double v = 0;
  auto r = std::from_chars(digits, end, v, std::chars_format::scientific);
  bool overflow = false;
  bool underflow = false;
  if (r.ec == std::errc::result_out_of_range) {
    // Overflow needs a magnitude near 1e309, underflow one below 1e-323:
    // the position of the leading digit tells them apart.
    if (e + kept > 0)
      overflow = true;
    else
      underflow = true;
  } else if (v < DBL_MIN) {
    underflow = true; // subnormal, or rounded to zero
  }
  if (overflow) {
    *range_error = true;
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  if (underflow) {
    *range_error = true;
    return 0.0;
  }
  return negative ? -v : v;
}

// The value of a number of 20 significant digits or more.
static double slow_value(const DecimalToken& t, bool* range_error) {
  char buf[kDigitsRoom];
  int kept = 0;
  std::int64_t dropped = 0;
  bool dropped_nonzero = false;
  auto take = [&](const char* p, int n) {
    for (int i = 0; i < n; ++i) {
      char c = p[i];
      if (kept == 0 && c == '0')
        continue;
      if (kept < kMaxDigits - 1) {
        buf[kept++] = c;
      } else {
        ++dropped;
        dropped_nonzero |= c != '0';
      }
    }
  };
  take(t.int_digits, t.int_count);
  take(t.frac_digits, t.frac_count);
  if (dropped_nonzero)
    buf[kept++] = '1', --dropped; // a sticky digit keeps "just above" exact

  // value = digits * 10^e
  return correctly_rounded(buf, buf + kept, t.exponent - t.frac_count + dropped,
                           t.negative, range_error);
}

double scaled_value(std::uint64_t mantissa, std::int64_t exponent,
                    bool negative, bool* range_error) {
  *range_error = false;
  if (mantissa == 0)
    return negative ? -0.0 : 0.0;
  if (mantissa <= (std::uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
    double m = static_cast<double>(mantissa);
    double v = exponent >= 0 ? m * kPow10[exponent] : m / kPow10[-exponent];
    return negative ? -v : v;
  }
  char buf[kDigitsRoom];
  char* end = std::to_chars(buf, buf + 20, mantissa).ptr;
  return correctly_rounded(buf, end, exponent, negative, range_error);
}

double decimal_value(const DecimalToken& t, bool* range_error) {
  if (t.significant <= 19)
    return scaled_value(t.mantissa, t.exponent - t.frac_count, t.negative,
                        range_error);
  *range_error = false;
  return slow_value(t, range_error);
}
