// One record-line number: where it lies (number_syntax.hpp), then its
// value (decimal_value.hpp) or the byte a POS file stores.
//
// Most bytes need no value at all: the integer part of the number can be
// read off its digits, and whether rounding to a double could carry it up
// to the next integer, or past the ends of the range of doubles, is told by
// a few digits and the exponent. The value is computed only where it could.
#include "input/number_scan.hpp"

#include "input/decimal_value.hpp"
#include "input/digit_runs.hpp"
#include "input/number_syntax.hpp"

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

// The byte of a number whose digits do not tell it: from its value. The
// token is taken by value, so that the inlined callers can keep theirs in
// registers.
[[gnu::noinline]] static std::uint8_t byte_of_value(DecimalToken t, const char* readable_end,
                                                    LastError* last_error) {
  return byte_reduction(decimal_value(t, readable_end, last_error));
}

// The value of the first `n` digits of t, which with its point (if that
// falls among them) lie in the word at its first digit: the bytes after
// the point move down over it. Bytes the move brings in past the n digits
// are not used.
static inline std::uint64_t digits_across_point(const DecimalToken& t, unsigned n) {
  std::uint64_t x = eight_bytes(t.int_digits);
  std::uint64_t before = (std::uint64_t{1} << (8 * t.int_count)) - 1;
  return run_value((x & before) | ((x >> 8) & ~before), n);
}

// The value of the digits before the point and the first `head` after it,
// at most eight together. From recognise_number the bytes may be read a
// word at a time, and where the point falls inside one word it is taken
// out of it.
template <bool kRecognised>
static inline std::uint64_t leading_digits(const DecimalToken& t, unsigned head,
                                           const char* readable_end) {
  unsigned int_count = static_cast<unsigned>(t.int_count);
  if constexpr (kRecognised) {
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
      v < 9223372036854775808.0 ? static_cast<std::uint64_t>(static_cast<std::int64_t>(v)) : 0;
  *byte = static_cast<std::uint8_t>(with_sign(whole, t.negative));
  return true;
}

// The numbers the mixed loop leaves to token_byte: out of line, so that the
// loop keeps what the few digits need in registers.
[[gnu::noinline]] static std::uint8_t mixed_token_byte(DecimalToken t, const char* readable_end,
                                                       LastError* last_error);

// The byte_reduction of the value of t, and its range error, where its
// integer part has more than eight digits or the value is far out: out of
// line, so that the loops keep what the common values need in registers.
[[gnu::noinline]] static std::uint8_t far_byte(DecimalToken t, const char* readable_end,
                                               LastError* last_error) {
  const std::int64_t count = std::int64_t{t.int_count} + t.frac_count;
  const std::int64_t n = t.int_count + t.exponent;
  if (t.exponent >= 0 && n >= 9 && n <= 19 && n >= count) {
    // An integer from 10^8 to 10^19.
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
  return byte_reduction(decimal_value(t, readable_end, last_error));
}

// The byte_reduction of the value of t, and its range error. A token from
// recognise_number (kRecognised) is shorter than 32 bytes, and words of
// eight bytes may be read from its digits.
template <bool kRecognised>
static inline std::uint8_t token_byte(const DecimalToken& t, const char* readable_end,
                                      LastError* last_error) {
  const std::int64_t count = std::int64_t{t.int_count} + t.frac_count;
  // The value is 0.d1d2d3... x 10^n: its integer part is the first n digits
  // (zeros past the last one).
  const std::int64_t n = t.int_count + t.exponent;
  // Tested without a branch on the exponent's sign, which follows no
  // pattern a predictor learns.
  if ((t.exponent >= 0) & (static_cast<std::uint64_t>(n - 1) < 8) &
      (kRecognised || count <= 300)) {
    // Below 10^8, and at least 10^-299 unless 0: never out of range. The
    // exponent moves `head` digits after the point into the integer part.
    unsigned frac_count = static_cast<unsigned>(t.frac_count);
    unsigned exponent = static_cast<unsigned>(t.exponent);
    unsigned head = exponent < frac_count ? exponent : frac_count;
    // Doubles below 10^8 lie at most 2^-26 apart: rounding carries the value
    // up to the next integer only if its fraction starts with eight nines.
    if (frac_count - head >= 8 && eight_nines(t.frac_digits + head))
      return byte_of_value(t, readable_end, last_error);
    std::uint64_t whole =
        leading_digits<kRecognised>(t, head, readable_end) * kPowersOfTen[exponent - head];
    return static_cast<std::uint8_t>(with_sign(whole, t.negative));
  }
  // Below 1 and at least 10^-307 unless 0, where only 0.99999999... could
  // round up to 1; or 10^19 > 2^63 and more but below 10^308, once the
  // leading digit is not 0. Exponents put many numbers there, either side,
  // in no order a predictor learns: one branch for both.
  const char lead = *(t.int_count != 0 ? t.int_digits : t.frac_digits);
  unsigned below_one = unsigned{n <= 0} & unsigned{count - n <= 307} &
                       ~(unsigned{n == 0} & unsigned{count >= 8} & unsigned{lead == '9'});
  unsigned too_large = unsigned{static_cast<std::uint64_t>(n - 20) <= 288} & unsigned{lead != '0'};
  if ((below_one | too_large) & 1u)
    return 0;
  return far_byte(t, readable_end, last_error);
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
  return NumberScan{t.end, decimal_value(t, store_end, last_error)};
}

NumberScan scan_number(const char* p, LastError* last_error) {
  DecimalToken t;
  if (!scan_decimal_syntax(p, &t))
    return NumberScan{p, 0.0};
  return NumberScan{t.end, decimal_value(t, last_error)};
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

// The same for every form recognise_number takes. Without kMixed, it stops
// after the first number whose form (with or without an exponent) is not
// that of the one before, so that a line of mixed forms goes on in the
// loop made for them.
template <bool kMixed>
[[gnu::noinline]] static Progress common_numbers(const char* p, const char* store_end, int k,
                                                 int count, std::uint8_t* bytes,
                                                 LastError* last_error) {
  Recognised last = Recognised::kNone;
  for (; k < count; ++k) {
    const char* q = skip_space(p);
    DecimalToken t;
    if (store_end - q < kRecogniseReach)
      break;
    Recognised form = recognise_number<kMixed>(q, &t);
    if (form == Recognised::kNone)
      break;
    if (!kMixed)
      bytes[k] = token_byte<true>(t, store_end, last_error);
    else if (!few_digits_byte(t, &bytes[k]))
      bytes[k] = mixed_token_byte(t, store_end, last_error);
    p = t.end;
    if (!kMixed && form != last && last != Recognised::kNone)
      return Progress{p, k + 1};
    last = form;
  }
  return Progress{p, k};
}

const char* scan_bytes_in_store(const char* p, const char* store_end, int count,
                                std::uint8_t* bytes, LastError* last_error) {
  // A line mostly holds numbers of one form. The shortest are taken by one
  // loop, the other common forms by another, which goes on with the short
  // ones too once it has started, and a third where forms with and without
  // an exponent mix; each number they leave goes to the grammar.
  int k = 0;
  while (k < count) {
    Progress r = short_numbers(p, store_end, k, count, bytes);
    r = common_numbers<false>(r.p, store_end, r.k, count, bytes, last_error);
    r = common_numbers<true>(r.p, store_end, r.k, count, bytes, last_error);
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
