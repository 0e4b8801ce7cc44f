// One record-line number: syntax, then value.
//
// Record lines are almost all short plain numbers, so those are scanned in a
// single pass here: the digits are gathered into an integer while they are
// read, and when that integer and the power of ten are both exact doubles
// (at most 2^53, exponent at most 22 in size) one IEEE multiply or divide
// gives the correctly rounded value. Everything else (long mantissas, large
// exponents, no number at all) is scanned again from the start by the
// general path, which alone decides failures and range errors.
#include "input/number_scan.hpp"

#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TLF2POS_SIXTEEN_AT_A_TIME 1
#endif

#include "driver/error_text.hpp"
#include "input/decimal_value.hpp"
#include "input/number_syntax.hpp"

static const double kPow10[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

static const std::uint64_t kPow10Int[] = {1,      10,      100,      1000,
                                          10000,  100000,  1000000,  10000000,
                                          100000000};

// The rare paths are kept out of line, so that the common one needs no
// stack frame of its own.
#if defined(__GNUC__)
#define TLF2POS_RARE __attribute__((noinline))
#else
#define TLF2POS_RARE
#endif

TLF2POS_RARE static NumberScan general_scan(const char* p, int* last_error) {
  DecimalToken t;
  if (!scan_decimal_syntax(p, &t))
    return NumberScan{p, 0.0};
  bool range_error;
  NumberScan s{t.end, decimal_value(t, &range_error)};
  if (range_error)
    *last_error = kErrorRange;
  return s;
}

// The digit value of c, or something above 9.
static inline unsigned digit(char c) {
  return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0';
}

static constexpr bool kEightAtATime = std::endian::native == std::endian::little;

// Eight bytes of text with every byte XORed with '0': digits become 0 to 9,
// every other byte something above 9. The first byte is the lowest.
static inline std::uint64_t load_eight(const char* q) {
  std::uint64_t w;
  std::memcpy(&w, q, sizeof w);
  return w ^ 0x3030303030303030u;
}

// How many of the eight bytes of x, from the lowest, are digits (0 to 8).
static inline unsigned digit_run(std::uint64_t x) {
  // Adding 0x76 sets a byte's top bit exactly when its low seven bits are
  // above 9; masking them first keeps carries inside the byte.
  std::uint64_t above9 =
      ((x & 0x7f7f7f7f7f7f7f7fu) + 0x7676767676767676u) | x;
  return static_cast<unsigned>(std::countr_zero(above9 & 0x8080808080808080u)) >> 3;
}

// The value of the first n (0 to 8) digits of x.
static inline std::uint64_t run_value(std::uint64_t x, unsigned n) {
  if (n == 0)
    return 0;
  // The n digits go to the top bytes; the zero bytes below them count as
  // leading zeros. Then pairs, quads and all eight are combined, the earlier
  // digits weighted.
  x <<= 64 - 8 * n;
  x = (x * (1 + (10u << 8)) >> 8) & 0x00ff00ff00ff00ffu;
  x = (x * (1 + (100u << 16)) >> 16) & 0x0000ffff0000ffffu;
  return (x * (1 + (10000ull << 32))) >> 32;
}

// A mantissa as read: digits, an optional point and more digits.
struct Mantissa {
  /// Just past it.
  const char* end;
  /// Its digits as one integer; wraps beyond 19 digits.
  std::uint64_t m;
  /// How many digits, leading zeros included.
  std::size_t count;
  /// How many of them after the point.
  int fraction_digits;
};

// Reads a run of digits at q into *m and returns its end. Eight bytes are
// taken at a time while they lie before `limit`; bytes after the text's NUL
// may be read then, never used, since a NUL is no digit.
static inline const char* gather(const char* q, const char* limit,
                                 std::uint64_t* m) {
  std::uint64_t v = *m;
  if constexpr (kEightAtATime) {
    while (limit - q >= 8) {
      std::uint64_t x = load_eight(q);
      unsigned n = digit_run(x);
      v = v * kPow10Int[n] + run_value(x, n);
      q += n;
      if (n < 8) {
        *m = v;
        return q;
      }
    }
  }
  unsigned d;
  while ((d = digit(*q)) <= 9) {
    v = v * 10 + d;
    ++q;
  }
  *m = v;
  return q;
}

// Reads a mantissa of any length at q.
TLF2POS_RARE static Mantissa any_mantissa(const char* q, const char* store_end) {
  Mantissa r{q, 0, 0, 0};
  r.end = gather(q, store_end, &r.m);
  r.count = static_cast<std::size_t>(r.end - q);
  if (*r.end == '.') {
    const char* fraction = r.end + 1;
    r.end = gather(fraction, store_end, &r.m);
    r.fraction_digits = static_cast<int>(r.end - fraction);
    r.count += static_cast<std::size_t>(r.fraction_digits);
  }
  return r;
}

// The common form on record lines: a sign, up to eight digits, a point and
// up to eight digits, followed within sixteen bytes by whitespace, the NUL
// or another byte up to 32.
struct ShortForm {
  /// Bytes from the sign (or first digit) to the end.
  unsigned length;
  /// 1 if a sign comes first, else 0.
  unsigned sign;
  /// Where the point is, `length` if there is none.
  unsigned point;
  /// Digits before and after the point.
  unsigned whole;
  unsigned fraction;
};

// Tells whether the number at q (the first byte after the whitespace) has
// the short form, from one 16-byte look at the text: where the number ends
// then depends on that one load, not on the bytes one after another.
// Returns false, having decided nothing, for every other form.
static inline bool short_form(const char* q, const char* store_end,
                              ShortForm* f) {
#if defined(TLF2POS_SIXTEEN_AT_A_TIME)
  if (store_end - q < 24) // the loads of the digits reach 24 bytes past q
    return false;
  __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  __m128i d = _mm_sub_epi8(c, _mm_set1_epi8('0'));
  auto mask = [](__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); };
  unsigned digits = mask(_mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d));
  unsigned points = mask(_mm_cmpeq_epi8(c, _mm_set1_epi8('.')));
  unsigned sign = *q == '-' || *q == '+';

  // The number runs up to the first byte that is neither a digit nor a
  // point (nor the sign in front). A byte up to 32 after it (whitespace,
  // the NUL or another control character) can continue no number, so the
  // number ends there whatever comes next.
  unsigned length = static_cast<unsigned>(std::countr_zero(~(digits | points | sign)));
  if (length == 16 || static_cast<unsigned char>(q[length]) > ' ')
    return false;
  unsigned inside = (1u << length) - 1;
  points &= inside;
  // One point at most, and a digit somewhere.
  if ((points & (points - 1)) != 0 || (digits & inside) == 0)
    return false;
  unsigned point = points ? static_cast<unsigned>(std::countr_zero(points)) : length;
  unsigned whole = point - sign;
  unsigned fraction = points ? length - point - 1 : 0;
  if (whole > 8 || fraction > 8)
    return false;
  *f = ShortForm{length, sign, point, whole, fraction};
  return true;
#else
  (void)q;
  (void)store_end;
  (void)f;
  return false;
#endif
}

// The value of a number of the short form at q.
static inline double short_value(const char* q, const ShortForm& f) {
  // An end within sixteen bytes leaves room for fourteen digits at most, so
  // the integer is below 2^53 and converts exactly: only the division
  // rounds.
  std::uint64_t m =
      run_value(load_eight(q + f.sign), f.whole) * kPow10Int[f.fraction] +
      run_value(load_eight(q + f.point + 1), f.fraction);
  double v = static_cast<double>(m) / kPow10[f.fraction];
  // Signs follow no pattern a predictor learns: set the sign bit without a
  // branch.
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) |
                               (std::uint64_t{*q == '-'} << 63));
}

// The byte_reduction of short_value(q, f), from the digits before the point
// alone. The value is below 10^8, where doubles lie at most 2^-26 apart,
// and a fraction of at most eight digits is at least 10^-8 away from the
// next integer: rounding never carries it across one, so truncating the
// value gives the integer as written.
static inline std::uint8_t short_byte(const char* q, const ShortForm& f) {
  std::uint64_t whole = run_value(load_eight(q + f.sign), f.whole);
  // Negated without a branch: signs follow no pattern a predictor learns.
  std::uint64_t minus = std::uint64_t{0} - (*q == '-');
  return static_cast<std::uint8_t>((whole ^ minus) - minus);
}

// Every form but the short one: the number at p, whose whitespace ends at q.
TLF2POS_RARE static NumberScan other_number(const char* p, const char* q,
                                            const char* store_end,
                                            int* last_error) {
  bool negative = *q == '-';
  if (*q == '-' || *q == '+')
    ++q;

  Mantissa t = any_mantissa(q, store_end);
  // Up to 19 digits make an exact integer; with none at all, or with more,
  // the general path decides.
  if (t.count - 1 >= 19)
    return general_scan(p, last_error);

  // An exponent counts only with a digit after its marker and sign; "1e"
  // ends before the marker.
  const char* end = t.end;
  std::int64_t scale = -t.fraction_digits;
  char c = *end;
  if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
    const char* e = end + 1;
    bool e_negative = *e == '-';
    if (*e == '-' || *e == '+')
      ++e;
    if (digit(*e) <= 9) {
      std::int64_t x = 0;
      unsigned d;
      // Longer exponents are left to the general path, which caps them.
      for (int n = 0; (d = digit(*e)) <= 9; ++e, ++n) {
        if (n == 9)
          return general_scan(p, last_error);
        x = x * 10 + d;
      }
      scale += e_negative ? -x : x;
      end = e;
    }
  }
  bool range_error;
  NumberScan r{end, scaled_value(t.m, scale, negative, &range_error)};
  if (range_error)
    *last_error = kErrorRange;
  return r;
}

static inline const char* skip_space(const char* p) {
  // Most numbers on a line stand one blank apart.
  if (*p == ' ' && !is_tulo_space(p[1]))
    return p + 1;
  while (is_tulo_space(*p))
    ++p;
  return p;
}

static inline NumberScan scan_in_store(const char* p, const char* store_end,
                                       int* last_error) {
  const char* q = skip_space(p);
  ShortForm f;
  if (short_form(q, store_end, &f))
    return NumberScan{q + f.length, short_value(q, f)};
  return other_number(p, q, store_end, last_error);
}

NumberScan scan_number_in_store(const char* p, const char* store_end,
                                int* last_error) {
  return scan_in_store(p, store_end, last_error);
}

NumberScan scan_number(const char* p, int* last_error) {
  return scan_in_store(p, p, last_error);
}

const char* scan_bytes_in_store(const char* p, const char* store_end, int count,
                                std::uint8_t* bytes, int* last_error) {
  // One loop around the inlined scan keeps the position in a register from
  // one number to the next, and the short form needs no value at all.
  for (int k = 0; k < count; ++k) {
    const char* q = skip_space(p);
    ShortForm f;
    if (short_form(q, store_end, &f)) {
      bytes[k] = short_byte(q, f);
      p = q + f.length;
      continue;
    }
    NumberScan s = other_number(p, q, store_end, last_error);
    bytes[k] = byte_reduction(s.value);
    p = s.end;
  }
  return p;
}
