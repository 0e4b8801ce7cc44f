// The fast recognisers of the common forms of record-line numbers: they
// take a number from the classes of up to 32 bytes at once instead of one
// byte after another, and leave every other form to the grammar
// (number_syntax.hpp), giving exactly what it gives where they decide:
// recognise_short the shortest plain numbers, recognise_plain every number
// without an exponent up to 32 bytes, match_shape a number with an exponent
// laid out as the one before it (learn_shape), and recognise_number every
// common form, exponents and longer digit runs too. They read past the
// number, up to kRecogniseReach bytes, so they are for text in a store
// that long.
#ifndef TLF2POS_INPUT_NUMBER_RECOGNISERS_HPP
#define TLF2POS_INPUT_NUMBER_RECOGNISERS_HPP

#include <bit>
#include <cstdint>

#include "decimal/decimal_token.hpp"
#include "decimal/digit_runs.hpp"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TLF2POS_SIXTEEN_AT_A_TIME 1
#endif

/// The shortest common form: a sign, up to eight digits, a point and up to
/// eight digits (a digit somewhere), followed within sixteen bytes by
/// whitespace, the NUL or another byte up to 32, which continues no number.
struct ShortNumber {
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

/// Tells whether the number at `q` (the first byte after the whitespace)
/// has the short form, from one look at the sixteen bytes from `q`, which
/// must be readable: where the number ends then depends on that one load,
/// not on the bytes one after another. Returns false, having decided
/// nothing, for every other form, and where SSE2 is missing.
inline bool recognise_short(const char* q, ShortNumber* f) {
#if defined(TLF2POS_SIXTEEN_AT_A_TIME)
  __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  __m128i d = _mm_sub_epi8(c, _mm_set1_epi8('0'));
  auto mask = [](__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); };
  unsigned digits = mask(_mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d));
  unsigned points = mask(_mm_cmpeq_epi8(c, _mm_set1_epi8('.')));
  unsigned sign = *q == '-' || *q == '+';

  // The number runs up to the first byte that is neither a digit nor a
  // point (nor the sign in front). A byte up to 32 after it can continue no
  // number, so the number ends there whatever comes next.
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
  *f = ShortNumber{length, sign, point, whole, fraction};
  return true;
#else
  (void)q;
  (void)f;
  return false;
#endif
}

/// Which of sixteen bytes may belong to a number, bit i for byte i.
struct ByteClasses {
  /// Digits, points, signs and exponent markers.
  unsigned number;
  unsigned point;
  /// '+' and '-'.
  unsigned sign;
  /// e, E, d and D.
  unsigned marker;
};

/// The classes of the sixteen bytes at `q`, all readable, eight bytes at a
/// time in a word: for CPUs without SSE2, and a check on the SSE2 version.
inline ByteClasses classify_sixteen_in_words(const char* q) {
  // A class is the top bit of each byte, gathered into eight bits by one
  // multiply.
  auto gather = [](std::uint64_t top_bits) {
    return static_cast<unsigned>(((top_bits >> 7) * 0x0102040810204080u) >> 56);
  };
  // The bytes of w equal to b: the low seven bits plus 0x7f carry into the
  // top bit exactly when they are not all 0, and the top bit itself counts.
  auto equal = [](std::uint64_t w, unsigned char b) {
    std::uint64_t z = w ^ (0x0101010101010101u * b);
    return ~(((z & 0x7f7f7f7f7f7f7f7fu) + 0x7f7f7f7f7f7f7f7fu) | z) & 0x8080808080808080u;
  };
  ByteClasses r{0, 0, 0, 0};
  for (unsigned half = 0; half < 2; ++half) {
    std::uint64_t x = eight_bytes(q + 8 * half); // the bytes XORed with '0'
    std::uint64_t c = x ^ 0x3030303030303030u;
    std::uint64_t digit = ~non_digit_bytes(x) & 0x8080808080808080u;
    std::uint64_t point = equal(c, '.');
    std::uint64_t sign = equal(c, '+') | equal(c, '-');
    // e, E, d and D are the bytes that give 0x65 when 0x21 is or-ed in.
    std::uint64_t marker = equal(c | 0x2121212121212121u, 0x65);
    r.number |= gather(digit | point | sign | marker) << (8 * half);
    r.point |= gather(point) << (8 * half);
    r.sign |= gather(sign) << (8 * half);
    r.marker |= gather(marker) << (8 * half);
  }
  return r;
}

/// The classes of the sixteen bytes at `q`, all readable.
inline ByteClasses classify_sixteen(const char* q) {
#if defined(TLF2POS_SIXTEEN_AT_A_TIME)
  __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  __m128i d = _mm_sub_epi8(c, _mm_set1_epi8('0'));
  __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
  __m128i point = _mm_cmpeq_epi8(c, _mm_set1_epi8('.'));
  __m128i sign =
      _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('-')), _mm_cmpeq_epi8(c, _mm_set1_epi8('+')));
  // e, E, d and D are the bytes that give 0x65 when 0x21 is or-ed in.
  __m128i marker = _mm_cmpeq_epi8(_mm_or_si128(c, _mm_set1_epi8(0x21)), _mm_set1_epi8(0x65));
  __m128i number = _mm_or_si128(_mm_or_si128(digit, point), _mm_or_si128(sign, marker));
  auto bits = [](__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); };
  return ByteClasses{bits(number), bits(point), bits(sign), bits(marker)};
#else
  return classify_sixteen_in_words(q);
#endif
}

/// The bytes a recognise_number call may read from where it starts.
inline constexpr int kRecogniseReach = 48;

/// What recognise_number found.
enum class Recognised {
  /// Nothing is decided: the form is another one, or there is no number.
  kNone,
  /// A number without an exponent.
  kPlain,
  /// A number with an exponent.
  kExponent,
};

/// Recognises the common forms of a number at `q`, the first byte after
/// the whitespace, from the classes of at most 32 bytes: the run of bytes
/// that may belong to a number (digits, points, signs, exponent markers)
/// must be shorter than 32 bytes and be one whole number by the grammar,
/// with at most four exponent digits. Then `*t` is what
/// scan_decimal_syntax gives. Reads the kRecogniseReach bytes from `q`,
/// which must all be readable; their values past the number do not matter.
///
/// kMixed: whether there is an exponent is taken without a branch, for
/// lines where numbers with and without one follow in no order a predictor
/// learns; the same result, in more steps where all have one or none.
template <bool kMixed>
inline Recognised recognise_number(const char* q, DecimalToken* t) {
  ByteClasses c = classify_sixteen(q);
  if (c.number == 0xffffu) {
    ByteClasses next = classify_sixteen(q + 16);
    c.number |= next.number << 16;
    c.point |= next.point << 16;
    c.sign |= next.sign << 16;
    c.marker |= next.marker << 16;
  }
  // A byte that can continue no number ends the run, and the whole run is
  // the number, as the grammar's longest match would take it.
  unsigned length = static_cast<unsigned>(std::countr_zero(~c.number));
  if (length >= 32)
    return Recognised::kNone;
  std::uint64_t end_bit = std::uint64_t{1} << length;
  std::uint64_t point = c.point & (end_bit - 1);
  std::uint64_t sign = c.sign & (end_bit - 1);
  std::uint64_t marker = c.marker & (end_bit - 1);
  // The parts: a sign first (lead), the mantissa up to the first marker at
  // k (the end without one), then a sign and the exponent's digits.
  std::uint64_t lead = sign & 1u;
  bool has_exponent = marker != 0;
  unsigned k = static_cast<unsigned>(std::countr_zero(marker | end_bit));
  std::uint64_t has_point = point != 0;
  unsigned at = static_cast<unsigned>(std::countr_zero(point | (std::uint64_t{1} << k)));
  // Of the bytes that are not digits, one point at most and none from the
  // marker on, and a digit in the mantissa.
  unsigned bad = unsigned{(point >> at) > 1} | unsigned{k <= lead + has_point};
  // After the marker: an optional sign and one to four digits from e to
  // the end, n of them; no other sign anywhere. Without a marker e is the
  // end, n is 0 and so is the exponent (taken so only for kMixed).
  std::uint64_t e_sign = (sign >> (k + 1)) & 1u;
  unsigned e = k + unsigned{has_exponent} + static_cast<unsigned>(e_sign);
  unsigned n = length - e;
  if (kMixed || has_exponent)
    bad |= unsigned{sign != (lead | e_sign << (k + 1))} |
           unsigned{(marker & (marker - 1)) != 0} | (unsigned{has_exponent} & unsigned{n - 1 > 3});
  else
    bad |= unsigned{sign != lead};
  if (bad != 0)
    return Recognised::kNone;
  t->exponent = 0;
  if (kMixed || has_exponent) {
    std::uint64_t x = short_run_value(eight_bytes(q + e), n);
    std::uint64_t e_minus = 0 - (e_sign & std::uint64_t{q[k + 1] == '-'});
    t->exponent = static_cast<std::int64_t>((x ^ e_minus) - e_minus);
  }
  t->negative = q[0] == '-';
  t->end = q + length;
  t->int_digits = q + lead;
  t->int_count = static_cast<int>(at - lead);
  t->frac_digits = q + at + has_point;
  t->frac_count = static_cast<int>(k - at - has_point);
  return has_exponent ? Recognised::kExponent : Recognised::kPlain;
}

/// Which of 32 bytes are digits and which points, bit i for byte i.
struct DigitsAndPoints {
  std::uint32_t digits;
  std::uint32_t points;
};

/// The digits and points of the 32 bytes at `q` (all readable), eight
/// bytes at a time in a word: for CPUs without SSE2, and a check on the
/// SSE2 version.
inline DigitsAndPoints digits_and_points_in_words(const char* q) {
  auto gather = [](std::uint64_t top_bits, unsigned word) {
    return static_cast<std::uint32_t>(((top_bits >> 7) * 0x0102040810204080u) >> 56) << (8 * word);
  };
  DigitsAndPoints r{0, 0};
  for (unsigned word = 0; word < 4; ++word) {
    std::uint64_t x = eight_bytes(q + 8 * word);
    // A point is the byte that gives 0x1e once XORed with '0'; the low
    // seven bits plus 0x7f carry into the top bit exactly when they are not
    // all 0, and the top bit itself counts.
    std::uint64_t z = x ^ 0x1e1e1e1e1e1e1e1eu;
    std::uint64_t point = ~(((z & 0x7f7f7f7f7f7f7f7fu) + 0x7f7f7f7f7f7f7f7fu) | z);
    r.digits |= gather(~non_digit_bytes(x) & 0x8080808080808080u, word);
    r.points |= gather(point & 0x8080808080808080u, word);
  }
  return r;
}

/// The digits and points of the 32 bytes at `q`, all readable.
inline DigitsAndPoints digits_and_points(const char* q) {
#if defined(TLF2POS_SIXTEEN_AT_A_TIME)
  DigitsAndPoints r{0, 0};
  for (unsigned half = 0; half < 2; ++half) {
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * half));
    __m128i d = _mm_sub_epi8(c, _mm_set1_epi8('0'));
    __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
    __m128i point = _mm_cmpeq_epi8(c, _mm_set1_epi8('.'));
    r.digits |= static_cast<std::uint32_t>(_mm_movemask_epi8(digit)) << (16 * half);
    r.points |= static_cast<std::uint32_t>(_mm_movemask_epi8(point)) << (16 * half);
  }
  return r;
#else
  return digits_and_points_in_words(q);
#endif
}

/// The layout of a number with a point and a signed exponent of one to
/// four digits, as numpy, C's %e and Fortran print them ("1.25e+02"),
/// counted from its first byte after the sign, up to the exponent's
/// digits. Programs print the numbers of a line alike, so the next number
/// is first tried against the last one's layout: one look at its digits
/// and at its three other bytes replaces taking its classes apart.
struct ExponentShape {
  /// Bit i for each digit among the bytes 0 to `marker` + 1.
  std::uint32_t digits;
  /// Bits 0 to `marker` + 1.
  std::uint32_t window;
  unsigned point;
  /// The exponent marker; its sign follows, then the exponent's digits.
  unsigned marker;
  char marker_byte;
};

/// Takes the layout of `t`, a number with an exponent of at most 31 bytes,
/// into `*s` if it has one of the kind, and tells whether it has.
inline bool learn_shape(const DecimalToken& t, ExponentShape* s) {
  const char* r = t.int_digits;
  const char* marker = t.frac_digits + t.frac_count;
  unsigned marker_at = static_cast<unsigned>(marker - r);
  bool has_point = t.frac_digits != r + t.int_count;
  // The exponent's sign, if it has one, is the byte after the marker.
  bool has_sign = marker[1] == '+' || marker[1] == '-';
  // Four exponent digits and the byte after them must lie among the 32
  // bytes a look takes, after a sign too: then the first byte after the
  // exponent's digits that is not one ends the number.
  if (!has_point || !has_sign || marker_at + 2 + 4 >= 31)
    return false;
  std::uint32_t window = (std::uint32_t{4} << marker_at) - 1;
  std::uint32_t int_part = (std::uint32_t{1} << t.int_count) - 1;
  std::uint32_t frac_part = ((std::uint32_t{1} << t.frac_count) - 1) << (t.int_count + 1);
  *s = ExponentShape{int_part | frac_part, window, static_cast<unsigned>(t.int_count), marker_at,
                     *marker};
  return true;
}

/// Whether the number at `q` (the first byte after the whitespace) has the
/// layout `s`, with one to four exponent digits: then `*t` is what
/// scan_decimal_syntax gives. Reads the kRecogniseReach bytes from `q`, which must all be
/// readable.
inline bool match_shape(const char* q, const ExponentShape& s, DecimalToken* t) {
  unsigned lead = unsigned{q[0] == '-'} | unsigned{q[0] == '+'};
  const char* r = q + lead;
  // The bytes are looked at from q, so that the look need not wait for
  // the sign: the number lies in the first 32.
  std::uint32_t digits = digits_and_points(q).digits >> lead;
  unsigned e = s.marker + 2;
  unsigned n = static_cast<unsigned>(std::countr_zero(~(digits >> e)));
  unsigned e_sign = static_cast<unsigned char>(r[s.marker + 1] - '+');
  if (((digits & s.window) != s.digits) | (n - 1 > 3) | (r[s.point] != '.') |
      (r[s.marker] != s.marker_byte) | ((e_sign & ~2u) != 0))
    return false;
  // '-' lies two above '+'.
  std::uint64_t e_minus = 0 - std::uint64_t{e_sign >> 1};
  std::uint64_t x = short_run_value(eight_bytes(r + e), n);
  t->exponent = static_cast<std::int64_t>((x ^ e_minus) - e_minus);
  t->negative = q[0] == '-';
  t->end = r + e + n;
  t->int_digits = r;
  t->int_count = static_cast<int>(s.point);
  t->frac_digits = r + s.point + 1;
  t->frac_count = static_cast<int>(s.marker - s.point - 1);
  return true;
}

/// Recognises a number without an exponent at `q`, the first byte after
/// the whitespace, from which of the 32 bytes from it are digits and
/// points: a sign, digits, a point and digits (a digit somewhere), shorter
/// than 32 bytes, ending at a byte up to 32 (whitespace or the NUL). Then
/// `*t` is what scan_decimal_syntax gives. Where the number ends is told
/// by the one look, not by its parts one after another. Returns false,
/// having decided nothing, for every other form. Reads the kRecogniseReach
/// bytes from `q`, which must all be readable.
inline bool recognise_plain(const char* q, DecimalToken* t) {
  DigitsAndPoints c = digits_and_points(q);
  unsigned lead = unsigned{q[0] == '-'} | unsigned{q[0] == '+'};
  unsigned end = static_cast<unsigned>(std::countr_zero(~(c.digits | c.points | lead)));
  std::uint64_t points = c.points & ((std::uint64_t{1} << end) - 1);
  // a digits before the point (or the end), f after it.
  unsigned at = static_cast<unsigned>(std::countr_zero(points | std::uint64_t{1} << end));
  unsigned has_point = points != 0;
  if ((end - lead == has_point) | ((points & (points - 1)) != 0) | (end > 31) |
      (static_cast<unsigned char>(q[end]) > ' '))
    return false;
  t->exponent = 0;
  t->negative = q[0] == '-';
  t->end = q + end;
  t->int_digits = q + lead;
  t->int_count = static_cast<int>(at - lead);
  t->frac_digits = q + at + has_point;
  t->frac_count = static_cast<int>(end - at - has_point);
  return true;
}

#endif
