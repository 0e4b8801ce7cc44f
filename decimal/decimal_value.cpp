// Correctly rounded conversion of decimal digits.
//
// The digits become an integer of at most 19 significant digits and a power
// of ten. When both are exact doubles (integer at most 2^53, power at most
// 22 in size) one IEEE multiply or divide rounds the result correctly.
// Otherwise the integer is multiplied by a 128-bit power of five, which
// decides the rounding in all but the rarest cases (the Eisel-Lemire
// method); with more than 19 significant digits the integer is taken both
// cut off and one above, and the two must round alike. What stays
// undecided is decided by comparing all its digits with the halfway point
// exactly (exact_rounding.hpp).
#include "decimal/decimal_value.hpp"

#include <bit>
#include <cstdint>
#include <limits>

#include "decimal/digit_runs.hpp"
#include "decimal/exact_rounding.hpp"
#include "decimal/power_of_five.hpp"
#include "decimal/wide_multiply.hpp"

// The significant digits of a number as far as 64 bits hold them: the
// number is mantissa x 10^scale, or lies strictly between that and
// (mantissa + 1) x 10^scale when `more` tells that non-zero digits were
// cut off after the 19th.
struct Significand {
  std::uint64_t mantissa;
  std::int64_t scale;
  bool more;
};

// The significand of a number of more than 19 digits, leading zeros
// skipped.
static Significand long_significand(const DecimalToken& t) {
  Significand s{0, t.exponent - t.frac_count, false};
  int kept = 0;
  auto take = [&](const char* p, int n) {
    for (int i = 0; i < n; ++i) {
      unsigned d = static_cast<unsigned>(p[i] - '0');
      if (kept == 0 && d == 0)
        continue;
      if (kept < 19) {
        s.mantissa = s.mantissa * 10 + d;
        ++kept;
      } else {
        ++s.scale;
        s.more |= d != 0;
      }
    }
  };
  take(t.int_digits, t.int_count);
  take(t.frac_digits, t.frac_count);
  return s;
}

static inline Significand significand(const DecimalToken& t, const char* readable_end) {
  unsigned int_count = static_cast<unsigned>(t.int_count);
  unsigned frac_count = static_cast<unsigned>(t.frac_count);
  if (int_count + frac_count > 19)
    return long_significand(t);
  std::uint64_t m = digits_value(t.int_digits, int_count, readable_end) * kPowersOfTen[frac_count] +
                    digits_value(t.frac_digits, frac_count, readable_end);
  return Significand{m, t.exponent - t.frac_count, false};
}

namespace {

// The nearest double to m x 10^q by the range rules, as bits, or the range
// error it gives; or undecided. The bits are those of infinity for an
// overflow and 0 for an underflow; when undecided, those of a double a step
// or two from the answer.
enum class Rounding { kFinite, kOverflow, kUnderflow, kUndecided };
struct Rounded {
  Rounding kind;
  std::uint64_t bits;
};

constexpr std::uint64_t kSmallestNormalBits = std::uint64_t{1} << 52;
constexpr std::uint64_t kInfinityBits = std::uint64_t{0x7ff} << 52;
constexpr Rounded kOverflow{Rounding::kOverflow, kInfinityBits};
constexpr Rounded kUnderflow{Rounding::kUnderflow, 0};

} // namespace

// m (not 0) x 10^q by the 128-bit power of five. With w = m shifted up to
// its top bit and T the table entry, w x T is 10^q x m scaled by a power of
// two; its top 54 bits are the 53 the double keeps and the bit that rounds.
// The true product lies at or above the computed one (T is truncated), by
// less than one unit of the word below those taken.
static Rounded nearest_double(std::uint64_t m, std::int64_t q) {
  if (q > kMaxPowerOfTen)
    return kOverflow;
  if (q < kMinPowerOfTen)
    return kUnderflow;
  int shift = std::countl_zero(m);
  std::uint64_t w = m << shift;
  const Wide& power = kPowersOfFive[static_cast<std::size_t>(q - kMinPowerOfTen)];
  Wide x = multiply(w, power.high);
  // The product is at least 2^126: its top bit is bit 63 or 62 of x.high.
  unsigned lead = static_cast<unsigned>(x.high >> 63);
  std::uint64_t below = (std::uint64_t{1} << (9 + lead)) - 1; // under the rounding bit
  bool tie = false;
  bool undecided = false;
  if ((x.high & below) == below || (x.high & below) == 0) {
    // The low half of T may carry into the bits that decide, or the number
    // may lie exactly halfway: take it into account. The error is then less
    // than two units of x.low.
    Wide y = multiply(w, power.low);
    std::uint64_t low = x.low + y.high;
    x.high += low < x.low;
    x.low = low;
    lead = static_cast<unsigned>(x.high >> 63);
    below = (std::uint64_t{1} << (9 + lead)) - 1;
    undecided = (x.high & below) == below && x.low == ~std::uint64_t{0};
    // Exactly halfway only when the product is exact, T exact (q from 0 to
    // 55) and nothing left in the lowest word; otherwise the true number
    // lies above the computed one. No m and q give these bits all 0 with a
    // product that is not exact: scripts/exact_products.py searches every
    // power of the table for all 2^63 values of w.
    tie = (x.high & below) == 0 && x.low == 0;
  }
  std::uint64_t bits54 = x.high >> (9 + lead);
  int exponent = 63 + static_cast<int>(lead) - shift +
                 floor_log2_power_of_ten(static_cast<int>(q)); // of the leading bit
  // Far out of range whatever a carry would add: a carry from below only
  // raises the number, at most to the next power of two.
  if (exponent < -1023)
    return kUnderflow;
  if (exponent > 1023)
    return kOverflow;
  if (undecided) {
    // Just above the 53 bits taken, how far unknown: they, or the double
    // after them, are the answer. Below 2^-1022 (exponent -1023) these bits
    // are those of some subnormal double, and there exact rounding takes any
    // start.
    std::uint64_t near = static_cast<std::uint64_t>(exponent + 1023) << 52 |
                         ((bits54 >> 1) & (kSmallestNormalBits - 1));
    return Rounded{Rounding::kUndecided, near};
  }
  if (exponent < -1022) {
    // In [2^-1023, 2^-1022) a subnormal keeps 52 bits: only with those all
    // ones and the rounding bit set does the number round up to 2^-1022.
    if ((bits54 >> 1) == (std::uint64_t{1} << 53) - 1)
      return Rounded{Rounding::kFinite, kSmallestNormalBits};
    return kUnderflow;
  }
  // Round half up, except exactly halfway with an even kept part: down.
  std::uint64_t bits53 = tie && (bits54 & 3) == 1 ? bits54 >> 1 : (bits54 + 1) >> 1;
  // Rounded up to the next power of two, the bits below the 53rd are 0:
  // only the exponent moves.
  exponent += static_cast<int>(bits53 >> 53);
  if (exponent > 1023)
    return kOverflow;
  return Rounded{Rounding::kFinite, static_cast<std::uint64_t>(exponent + 1023) << 52 |
                                        (bits53 & (kSmallestNormalBits - 1))};
}

// The nearest double to a number that the power of five leaves undecided,
// from all its digits (up to kExactDigits significant ones; more than a
// double can need to round correctly, 767, and the rest matter only as
// "zero or not"). `near` is a step or two from the answer.
[[gnu::noinline]] static Rounded exact_value(const DecimalToken& t, std::uint64_t near) {
  char digits[kExactDigits];
  int kept = 0;
  std::int64_t dropped = 0;
  bool dropped_nonzero = false;
  auto take = [&](const char* p, int n) {
    for (int i = 0; i < n; ++i) {
      char c = p[i];
      if (kept == 0 && c == '0')
        continue;
      if (kept < kExactDigits - 1) {
        digits[kept++] = c;
      } else {
        ++dropped;
        dropped_nonzero |= c != '0';
      }
    }
  };
  take(t.int_digits, t.int_count);
  take(t.frac_digits, t.frac_count);
  // A digit 1 for those dropped keeps the number strictly between the kept
  // digits and one above them, as it is; no halfway point lies there.
  if (dropped_nonzero)
    digits[kept++] = '1', --dropped;

  std::uint64_t bits =
      exact_rounding(digits, kept, t.exponent - t.frac_count + dropped, near);
  if (bits >= kInfinityBits)
    return kOverflow;
  if (bits < kSmallestNormalBits)
    return kUnderflow;
  return Rounded{Rounding::kFinite, bits};
}

DecimalResult decimal_value(const DecimalToken& t, const char* readable_end) {
  Significand s = significand(t, readable_end);
  if (s.mantissa == 0)
    return DecimalResult{t.negative ? -0.0 : 0.0, false};
  // Digits cut off leave 19 kept, above 2^53: never taken here.
  if (s.mantissa <= (std::uint64_t{1} << 53) && s.scale >= -22 && s.scale <= 22) {
    double v = exact_product(s.mantissa, static_cast<int>(s.scale));
    return DecimalResult{t.negative ? -v : v, false};
  }
  Rounded r = nearest_double(s.mantissa, s.scale);
  if (s.more) {
    // Strictly between the cut-off digits and one above them: decided when
    // both round alike.
    Rounded above = nearest_double(s.mantissa + 1, s.scale);
    if (above.kind != r.kind || above.bits != r.bits)
      r.kind = Rounding::kUndecided;
  }
  if (r.kind == Rounding::kUndecided)
    r = exact_value(t, r.bits);
  if (r.kind == Rounding::kFinite)
    return DecimalResult{std::bit_cast<double>(r.bits | std::uint64_t{t.negative} << 63), false};
  if (r.kind == Rounding::kOverflow)
    return DecimalResult{t.negative ? -std::numeric_limits<double>::infinity()
                                    : std::numeric_limits<double>::infinity(),
                         true};
  return DecimalResult{0.0, true};
}
