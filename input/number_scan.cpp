// One record-line number: where it lies (number_syntax.hpp and the fast
// recognisers of number_recognisers.hpp), then its value (the decimal
// engine, decimal/decimal_value.hpp) or the byte a POS file stores.
//
// Most bytes need no value at all: the integer part of the number can be
// read off its digits, and whether rounding to a double could carry it up
// to the next integer, or past the ends of the range of doubles, is told by
// a few digits and the exponent. The value is computed only where it could.
//
// The byte is found on one of the paths below; each gives exactly the
// byte_reduction of the correctly rounded value, and sets the range error
// exactly where the engine would. n is the number of places before the
// point once the exponent is applied (the value is 0.d1d2... x 10^n), and
// count the number of digits written.
//
// | path | taken when | why its byte is exact |
// |---|---|---|
// | short_byte | recognise_short: a sign, up to 8 digits, a point, up to 8 digits | below 10^8 doubles lie at most 2^-26 apart, and a fraction of up to 8 digits is at least 10^-8 from the next integer: rounding never reaches it, so the digits before the point are the integer part. No range error: the value is 0 or at least 10^-8. |
// | few_digits_byte | mixed forms: up to 7 digits, times 10^-22 to 10^22 | digits and power of ten are exact doubles, so one multiply or divide gives the correctly rounded value itself. No range error. |
// | token_byte, integer part | exponent >= 0, n from 1 to kShortPlaces, count at most kShortPathDigits (always so from recognise_number) | as for short_byte, unless the fraction starts with eight nines: then value_byte. No range error: a non-zero value is at least 10^(1 - count). |
// | token_byte, zero | n <= 0, the last digit at most kBelowOnePlaces after the point, and not 0.99999999...; or a leading digit not 0 in place kHugePlace to kFinitePlaces | below 1 only 0.99999999... can round up to 1, and a non-zero value is at least the smallest normal double; from 10^19 (above 2^63) to below 10^308 (below the largest double) the byte is 0 and the value finite. |
// | integer_or_value_byte, integer | exponent >= 0, n from kShortPlaces + 1 to kLongPlaces, nothing after the point once the exponent is applied | the integer fits in 64 bits: exact up to 2^53, above that turned into a double in one rounding. |
// | shaped_numbers | a run of numbers with a point and a signed exponent, each laid out as the first (match_shape): the same digits, point, marker and exponent sign, one to four exponent digits | match_shape gives the grammar's token, and token_byte its byte by the paths here. |
// | plain_numbers | numbers without an exponent up to 31 bytes after the sign, ended by whitespace or the NUL (recognise_plain) | recognise_plain gives the grammar's token, and token_byte its byte by the paths here. |
// | mixed_numbers | numbers with and without exponents in any order (recognise_number) | the grammar's token, and few_digits_byte or token_byte its byte by the paths here. |
// | value_byte, and the rest of integer_or_value_byte | every other number | the engine's correctly rounded value, and its range error. |
#include "input/number_scan.hpp"

#include <cassert>
#include <limits>

#include "decimal/decimal_value.hpp"
#include "decimal/digit_runs.hpp"
#include "input/number_recognisers.hpp"
#include "input/number_syntax.hpp"

// The limits the paths rest on, in places before the point (n above): a
// number of n places lies below 10^n, and at or above 10^(n - 1) when its
// leading digit is not 0.

// Up to 8 places the value lies below 10^8 <= 2^27, where doubles are at
// most 2^-26 apart: rounding moves a value by at most 2^-27, less than the
// 10^-8 a fraction that does not start with eight nines keeps from the
// next integer.
constexpr int kShortPlaces = 8;
static_assert(1e8 <= 0x1p27 && 0x1p-27 < 1e-8);

// Up to 19 places the integer part fits in 64 bits, and in kPowersOfTen.
constexpr int kLongPlaces = 19;
static_assert(1e19 < 0x1p64 && sizeof kPowersOfTen / sizeof kPowersOfTen[0] == kLongPlaces + 1);

// From place 20 on, a number whose leading digit is not 0 is at least
// 10^19, above 2^63: its byte is 0.
constexpr int kHugePlace = 20;
static_assert(1e19 >= kTwoToThe63 && kHugePlace == kLongPlaces + 1);

// Up to place 308 the value lies below 10^308, below the largest double: it
// never overflows. The zero path takes places kHugePlace to kFinitePlaces,
// 288 places past the first.
constexpr int kFinitePlaces = std::numeric_limits<double>::max_exponent10;
static_assert(kFinitePlaces == 308 && 1e308 <= std::numeric_limits<double>::max());
constexpr int kHugeSpan = kFinitePlaces - kHugePlace;
static_assert(kHugeSpan == 288);

// Below 1, a last digit at most 307 places after the point keeps a
// non-zero value at or above 10^-307, the smallest power of ten that is a
// normal double: it never underflows. This bounds the place of the last
// digit, count - n, at the very limit of doubles, since n may lie far
// below 0.
constexpr int kBelowOnePlaces = -std::numeric_limits<double>::min_exponent10;
static_assert(kBelowOnePlaces == 307 && 1e-307 >= std::numeric_limits<double>::min());

// The integer-part path has n >= 1, so it may bound the count of digits
// alone, in one compare: with at most 300 digits the last one lies at most
// 299 places after the point, inside the 307 above. Any bound up to 308
// would do; 300 is a round one with room to spare. Tokens from
// recognise_number are shorter than 32 bytes and skip the compare.
constexpr int kShortPathDigits = 300;
static_assert(kShortPathDigits - 1 <= kBelowOnePlaces);

static inline const char* skip_space(const char* p) {
  // Most numbers on a line stand one blank apart.
  if (*p == ' ' && !is_tulo_space(p[1]))
    return p + 1;
  while (is_tulo_space(*p))
    ++p;
  return p;
}

// Whether the eight digits at p (digits of the number, so readable) are
// all 9.
static inline bool eight_nines(const char* p) { return eight_bytes(p) == kEightNines; }

// The value of t by the decimal engine. A number out of range sets the
// run's last-error number at once, as the scan meets it.
static inline double value_of(const DecimalToken& t, const char* readable_end,
                              LastError* last_error) {
  DecimalResult r = decimal_value(t, readable_end);
  if (r.out_of_range)
    *last_error = kErrorRange;
  return r.value;
}

// The byte of a number whose digits do not tell it: from its value. The
// token is taken by value, so that the inlined callers can keep theirs in
// registers.
[[gnu::noinline]] static std::uint8_t value_byte(DecimalToken t, const char* readable_end,
                                                 LastError* last_error) {
  return byte_reduction(value_of(t, readable_end, last_error));
}

// The value of the first `n` digits of t, which with its point (if that
// falls among them) lie in the word at its first digit: the bytes after
// the point move down over it. Bytes the move brings in past the n digits
// are not used.
static inline std::uint64_t digits_across_point(const DecimalToken& t, unsigned n) {
  // A shift by 64 would be undefined: the point lies inside the word.
  assert(t.int_count >= 0 && t.int_count < 8);
  std::uint64_t x = eight_bytes(t.int_digits);
  std::uint64_t before = (std::uint64_t{1} << (8 * t.int_count)) - 1;
  return run_value((x & before) | ((x >> 8) & ~before), n);
}

// The value of the digits before the point and the first `head` after it,
// at most eight together. With kShortInReach (a token from
// recognise_number) the bytes may be read a word at a time, and where the
// point falls inside one word it is taken out of it.
template <bool kShortInReach>
static inline std::uint64_t leading_digits(const DecimalToken& t, unsigned head,
                                           const char* readable_end) {
  unsigned int_count = static_cast<unsigned>(t.int_count);
  if constexpr (kShortInReach) {
    if (int_count + head < 8)
      return digits_across_point(t, int_count + head);
    return run_value(eight_bytes(t.int_digits), int_count) * kPowersOfTen[head] +
           run_value(eight_bytes(t.frac_digits), head);
  }
  return digits_value(t.int_digits, int_count, readable_end) * kPowersOfTen[head] +
         digits_value(t.frac_digits, head, readable_end);
}

// x negated modulo 2^64 if `negative`, without a branch: signs follow no
// pattern a predictor learns.
static inline std::uint64_t with_sign(std::uint64_t x, bool negative) {
  std::uint64_t minus = 0 - std::uint64_t{negative};
  return (x ^ minus) - minus;
}

// The byte_reduction of the value of a token whose digits, point included,
// fit in one word (at most seven digits) and whose value is those digits
// times a power of ten from 10^-22 to 10^22, if it is one: then the double
// itself, in one rounding, takes the same steps wherever the point and the
// exponent put the value (numbers printed with few digits have it on
// either side of 1, in no order a predictor learns). Reads the eight bytes
// from its first digit.
static inline bool few_digits_byte(const DecimalToken& t, std::uint8_t* byte) {
  const std::int64_t count = std::int64_t{t.int_count} + t.frac_count;
  const std::int64_t scale = t.exponent - t.frac_count;
  if (count > 7 || static_cast<std::uint64_t>(scale + 22) > 44)
    return false;
  std::uint64_t m = digits_across_point(t, static_cast<unsigned>(count));
  std::int64_t up = scale > 0 ? scale : 0;
  double v = static_cast<double>(m) * kExactPowersOfTen[up] / kExactPowersOfTen[up - scale];
  // The byte_reduction of the magnitude, then the sign, without a branch.
  std::uint64_t whole =
      v < kTwoToThe63 ? static_cast<std::uint64_t>(static_cast<std::int64_t>(v)) : 0;
  *byte = static_cast<std::uint8_t>(with_sign(whole, t.negative));
  return true;
}

// The numbers the mixed loop leaves to token_byte: out of line, so that the
// loop keeps what the few digits need in registers.
[[gnu::noinline]] static std::uint8_t mixed_token_byte(DecimalToken t, const char* readable_end,
                                                       LastError* last_error);

// The byte_reduction of the value of t, and its range error, where the
// digits alone do not tell it cheaply: an integer of kShortPlaces + 1 to
// kLongPlaces places (10^8 to below 10^19) is taken from its digits, every
// other number from its value. Out of line, so that the loops keep what the
// common values need in registers.
[[gnu::noinline]] static std::uint8_t integer_or_value_byte(DecimalToken t,
                                                            const char* readable_end,
                                                            LastError* last_error) {
  const std::int64_t count = std::int64_t{t.int_count} + t.frac_count;
  const std::int64_t n = t.int_count + t.exponent;
  if (t.exponent >= 0 && n > kShortPlaces && n <= kLongPlaces && n >= count) {
    // An integer from 10^8 to below 10^19.
    unsigned frac_count = static_cast<unsigned>(t.frac_count);
    std::uint64_t whole =
        (digits_value(t.int_digits, static_cast<unsigned>(t.int_count), readable_end) *
             kPowersOfTen[frac_count] +
         digits_value(t.frac_digits, frac_count, readable_end)) *
        kPowersOfTen[n - count];
    if (whole <= (std::uint64_t{1} << 53))
      return static_cast<std::uint8_t>(with_sign(whole, t.negative));
    // Not every such integer is a double: round it as a double.
    double v = static_cast<double>(whole);
    return byte_reduction(t.negative ? -v : v);
  }
  return byte_reduction(value_of(t, readable_end, last_error));
}

// The byte_reduction of the value of t, and its range error: the
// integer-part and zero paths of the table at the top, else
// integer_or_value_byte. With kShortInReach the token comes from
// recognise_number: it is shorter than 32 bytes, and words of eight bytes
// may be read from its digits.
template <bool kShortInReach>
static inline std::uint8_t token_byte(const DecimalToken& t, const char* readable_end,
                                      LastError* last_error) {
  const std::int64_t count = std::int64_t{t.int_count} + t.frac_count;
  // The value is 0.d1d2d3... x 10^n: its integer part is the first n digits
  // (zeros past the last one).
  const std::int64_t n = t.int_count + t.exponent;
  // Tested without a branch on the exponent's sign, which follows no
  // pattern a predictor learns.
  if ((t.exponent >= 0) & (static_cast<std::uint64_t>(n - 1) < kShortPlaces) &
      (kShortInReach || count <= kShortPathDigits)) {
    // Below 10^8, and at least 10^-299 unless 0: never out of range. The
    // exponent moves `head` digits after the point into the integer part.
    unsigned frac_count = static_cast<unsigned>(t.frac_count);
    unsigned exponent = static_cast<unsigned>(t.exponent);
    unsigned head = exponent < frac_count ? exponent : frac_count;
    // Doubles below 10^8 lie at most 2^-26 apart: rounding carries the value
    // up to the next integer only if its fraction starts with eight nines.
    if (frac_count - head >= 8 && eight_nines(t.frac_digits + head))
      return value_byte(t, readable_end, last_error);
    std::uint64_t whole =
        leading_digits<kShortInReach>(t, head, readable_end) * kPowersOfTen[exponent - head];
    return static_cast<std::uint8_t>(with_sign(whole, t.negative));
  }
  // Below 1 and at least 10^-307 unless 0, where only 0.99999999... could
  // round up to 1; or 10^19 > 2^63 and more but below 10^308, once the
  // leading digit is not 0. Exponents put many numbers there, either side,
  // in no order a predictor learns: one branch for both.
  const char lead = *(t.int_count != 0 ? t.int_digits : t.frac_digits);
  unsigned below_one = unsigned{n <= 0} & unsigned{count - n <= kBelowOnePlaces} &
                       ~(unsigned{n == 0} & unsigned{count >= 8} & unsigned{lead == '9'});
  unsigned too_large =
      unsigned{static_cast<std::uint64_t>(n - kHugePlace) <= kHugeSpan} & unsigned{lead != '0'};
  if ((below_one | too_large) & 1u)
    return 0;
  return integer_or_value_byte(t, readable_end, last_error);
}

static std::uint8_t mixed_token_byte(DecimalToken t, const char* readable_end,
                                     LastError* last_error) {
  return token_byte<true>(t, readable_end, last_error);
}

// The number at p, whose whitespace ends at q, by the grammar where it is
// not one of the common forms (or no number at all): stores its byte and
// returns its end, or returns p. Kept out of line so that the common forms
// need no token in memory.
[[gnu::noinline]] static const char* other_byte(const char* p, const char* q,
                                                const char* readable_end, std::uint8_t* byte,
                                                LastError* last_error) {
  DecimalToken t;
  if (!scan_decimal_syntax(q, readable_end, &t))
    return p;
  *byte = token_byte<false>(t, readable_end, last_error);
  return t.end;
}

NumberScan scan_number_in_store(const char* p, const char* store_end, LastError* last_error) {
  DecimalToken t;
  if (!scan_decimal_syntax(p, store_end, &t))
    return NumberScan{p, 0.0};
  return NumberScan{t.end, value_of(t, store_end, last_error)};
}

NumberScan scan_number(const char* p, LastError* last_error) {
  DecimalToken t;
  if (!scan_decimal_syntax(p, &t))
    return NumberScan{p, 0.0};
  return NumberScan{t.end, value_of(t, t.end, last_error)};
}

// The byte of a number of the short form at q, from the digits before the
// point alone. The value is below 10^8, where doubles lie at most 2^-26
// apart, and a fraction of at most eight digits is at least 10^-8 away
// from the next integer: rounding never carries it across one, so
// truncating the value gives the integer as written.
static inline std::uint8_t short_byte(const char* q, const ShortNumber& f) {
  std::uint64_t whole = run_value(eight_bytes(q + f.sign), f.whole);
  return static_cast<std::uint8_t>(with_sign(whole, *q == '-'));
}

// How far a run of numbers got: where the last one ended, and how many
// bytes are filled.
struct Progress {
  const char* p;
  int k;
};

// Takes numbers of the short form from p into bytes[k] on, up to count,
// until one is not. A loop of its own, so that it keeps all it needs in
// registers.
[[gnu::noinline]] static Progress short_numbers(const char* p, const char* store_end, int k,
                                                int count, std::uint8_t* bytes) {
  for (; k < count; ++k) {
    const char* q = skip_space(p);
    ShortNumber f;
    if (store_end - q < kRecogniseReach || !recognise_short(q, &f))
      break;
    bytes[k] = short_byte(q, f);
    p = q + f.length;
  }
  return Progress{p, k};
}

// Takes numbers of the layout `shape` from p into bytes[k] on, up to count,
// until one has another. A loop of its own, so that it keeps all it needs
// in registers. kOneBeforePoint: the layout has one digit before the point,
// as C's %e and numpy print it, which the compiler then folds in.
template <bool kOneBeforePoint>
[[gnu::noinline]] static Progress shaped_numbers(const char* p, const char* store_end, int k,
                                                 int count, std::uint8_t* bytes,
                                                 LastError* last_error, ExponentShape shape) {
  if constexpr (kOneBeforePoint)
    shape.point = 1;
  // A number may start up to here: then the bytes it reads lie in the
  // store.
  const std::uintptr_t last_start = reinterpret_cast<std::uintptr_t>(store_end) - kRecogniseReach;
  for (; k < count; ++k) {
    const char* q = skip_space(p);
    DecimalToken t;
    if (reinterpret_cast<std::uintptr_t>(q) > last_start || !match_shape(q, shape, &t))
      break;
    bytes[k] = token_byte<true>(t, store_end, last_error);
    p = t.end;
  }
  return Progress{p, k};
}

// token_byte for a number without an exponent from recognise_plain: its
// integer-part path taken first, where the integer part is the digits
// before the point as written.
static inline std::uint8_t plain_byte(const DecimalToken& t, const char* readable_end,
                                      LastError* last_error) {
  unsigned n = static_cast<unsigned>(t.int_count);
  if (n - 1 < kShortPlaces && !(t.frac_count >= 8 && eight_nines(t.frac_digits)))
    return static_cast<std::uint8_t>(
        with_sign(run_value(eight_bytes(t.int_digits), n), t.negative));
  return token_byte<true>(t, readable_end, last_error);
}

// Takes numbers without an exponent (recognise_plain) from p into bytes[k]
// on, up to count, until one is not. A loop of its own, so that it keeps
// all it needs in registers.
[[gnu::noinline]] static Progress plain_numbers(const char* p, const char* store_end, int k,
                                                int count, std::uint8_t* bytes,
                                                LastError* last_error) {
  // A number may start up to here: then the bytes it reads lie in the
  // store.
  const std::uintptr_t last_start = reinterpret_cast<std::uintptr_t>(store_end) - kRecogniseReach;
  for (; k < count; ++k) {
    const char* q = skip_space(p);
    DecimalToken t;
    if (reinterpret_cast<std::uintptr_t>(q) > last_start || !recognise_plain(q, &t))
      break;
    bytes[k] = plain_byte(t, store_end, last_error);
    p = t.end;
  }
  return Progress{p, k};
}

// Takes numbers of the common forms, with and without exponents in any
// order, from p into bytes[k] on, up to count, until one is not. Numbers
// printed with few digits take few_digits_byte. A loop of its own, so that
// it keeps all it needs in registers.
[[gnu::noinline]] static Progress mixed_numbers(const char* p, const char* store_end, int k,
                                                int count, std::uint8_t* bytes,
                                                LastError* last_error) {
  // A number may start up to here: then the bytes it reads lie in the
  // store.
  const std::uintptr_t last_start = reinterpret_cast<std::uintptr_t>(store_end) - kRecogniseReach;
  for (; k < count; ++k) {
    const char* q = skip_space(p);
    DecimalToken t;
    if (reinterpret_cast<std::uintptr_t>(q) > last_start)
      break;
    if (recognise_number<true>(q, &t) == Recognised::kNone)
      break;
    if (!few_digits_byte(t, &bytes[k]))
      bytes[k] = mixed_token_byte(t, store_end, last_error);
    p = t.end;
  }
  return Progress{p, k};
}

// The same for every form recognise_number takes. It stops after the first
// number whose form (with or without an exponent) is not that of the one
// before, so that a line of mixed forms goes on in mixed_numbers; and after
// its first number if shaped_numbers takes that number's layout, with the
// layout in `*shape` and `shape->window` not 0.
[[gnu::noinline]] static Progress common_numbers(const char* p, const char* store_end, int k,
                                                 int count, std::uint8_t* bytes,
                                                 LastError* last_error, ExponentShape* shape) {
  Recognised last = Recognised::kNone;
  for (; k < count; ++k) {
    const char* q = skip_space(p);
    DecimalToken t;
    if (store_end - q < kRecogniseReach)
      break;
    Recognised form = recognise_number<false>(q, &t);
    if (form == Recognised::kNone)
      break;
    bytes[k] = token_byte<true>(t, store_end, last_error);
    p = t.end;
    if (form != last) {
      if (last != Recognised::kNone)
        return Progress{p, k + 1};
      // The numbers after a first one with an exponent are likely laid out
      // alike: they are for shaped_numbers, from a call that keeps its
      // registers.
      if (form == Recognised::kExponent && learn_shape(t, shape))
        return Progress{p, k + 1};
    }
    last = form;
  }
  return Progress{p, k};
}

const char* scan_bytes_in_store(const char* p, const char* store_end, int count,
                                std::uint8_t* bytes, LastError* last_error) {
  // A line mostly holds numbers of one form, and each common form has a
  // loop of its own: the shortest, longer ones without an exponent, a run
  // of numbers with exponents laid out alike (which common_numbers finds),
  // and forms with and without an exponent in any order. Each number they
  // leave goes to the grammar.
  int k = 0;
  while (k < count) {
    Progress r = short_numbers(p, store_end, k, count, bytes);
    r = plain_numbers(r.p, store_end, r.k, count, bytes, last_error);
    ExponentShape shape;
    shape.window = 0;
    r = common_numbers(r.p, store_end, r.k, count, bytes, last_error, &shape);
    if (shape.window != 0) {
      Progress run = shape.point == 1
                         ? shaped_numbers<true>(r.p, store_end, r.k, count, bytes, last_error, shape)
                         : shaped_numbers<false>(r.p, store_end, r.k, count, bytes, last_error, shape);
      if (run.k > r.k) {
        p = run.p;
        k = run.k;
        continue;
      }
      // The next number is laid out otherwise: the line mixes forms.
    }
    r = mixed_numbers(r.p, store_end, r.k, count, bytes, last_error);
    p = r.p;
    k = r.k;
    if (k == count)
      break;
    const char* end = other_byte(p, skip_space(p), store_end, &bytes[k], last_error);
    if (end == p) {
      // Every later scan starts here too and fails alike.
      for (; k < count; ++k)
        bytes[k] = 0;
      break;
    }
    p = end;
    ++k;
  }
  return p;
}
