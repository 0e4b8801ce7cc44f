// Values of record-line numbers: correct rounding and the two range rules,
// checked against the C library's strtod on the same digits.
#include "decimal/decimal_value.hpp"

#include <gtest/gtest.h>

#include "input/number_syntax.hpp"
#include "tests/strtod_reference.hpp"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct Value {
  double v;
  bool range_error;
};

// Scans `text`, which must be one number and nothing else, and converts it.
Value convert(const std::string& text) {
  DecimalToken t;
  bool ok = scan_decimal_syntax(text.c_str(), &t);
  EXPECT_TRUE(ok) << text;
  if (!ok)
    return {0, false};
  EXPECT_EQ(t.end, text.c_str() + text.size()) << text;
  DecimalResult r = decimal_value(t);
  return {r.value, r.out_of_range};
}

// What the converter must give: the reference's value and range error.
Value expected(const std::string& text) {
  ReferenceValue r = strtod_reference(text);
  return {r.value, r.range_error};
}

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

void expect_same(const std::string& text, Value got, Value want) {
  EXPECT_EQ(bits(got.v), bits(want.v))
      << "text " << (text.size() > 200 ? text.substr(0, 200) + "..." : text) << "\n got " << got.v
      << " want " << want.v;
  EXPECT_EQ(got.range_error, want.range_error) << text.substr(0, 200);
}

void expect_like_strtod(const std::string& text) {
  expect_same(text, convert(text), expected(text));
}

const double kInf = std::numeric_limits<double>::infinity();

TEST(DecimalValue, ExactCases) {
  struct Case {
    std::string text;
    double v;
    bool range_error;
  };
  const Case cases[] = {
      {"0", 0.0, false},
      {"-0", -0.0, false},
      {"-0.000", -0.0, false},
      {"0e999999999", 0.0, false},
      {"-0e999999999", -0.0, false},
      {"0.0e-999999999", 0.0, false},
      {"0." + std::string(9000, '0') + "e99999", 0.0, false},
      {std::string(30, '0') + "." + std::string(30, '0'), 0.0, false},
      {"5.", 5.0, false},
      {".5", 0.5, false},
      {"5.25", 5.25, false},
      {"1d2", 100.0, false},
      {"1E2", 100.0, false},
      {"1D-2", 0.01, false},
      {"-.5e1", -5.0, false},
      {"1e22", 1e22, false},
      {"1e23", 1e23, false},
      {"9007199254740992", 9007199254740992.0, false},
      // 2^53 + 1 is halfway: ties go to the even neighbour.
      {"9007199254740993", 9007199254740992.0, false},
      {"9007199254740993.000000000000000000000000000001", 9007199254740994.0, false},
      {"9007199254740992.999999999999999999999999999999", 9007199254740992.0, false},
      {"9007199254740995", 9007199254740996.0, false},
      // Past 2^63 doubles lie 2048 apart: 2^63 + 1024 is halfway, and a
      // lone digit 1 after the nineteenth puts the number above it.
      {"9223372036854776832.1", 9223372036854777856.0, false},
      {"1" + std::string(400, '0') + "e-400", 1.0, false},
      {"0." + std::string(399, '0') + "1e400", 1.0, false},
      {"1" + std::string(900, '0') + "e-900", 1.0, false},
      {"0." + std::string(5000, '0') + "15e5001", 1.5, false},
      // Largest double, and just above it: rounds down without error.
      {"1.7976931348623157e308", DBL_MAX, false},
      {"1.7976931348623158e308", DBL_MAX, false},
      {"-1.7976931348623158e308", -DBL_MAX, false},
      // Past the halfway point to 2^1024: infinity, with its sign.
      {"1.7976931348623159e308", kInf, true},
      {"-1.7976931348623159e308", -kInf, true},
      {"1e309", kInf, true},
      {"-1e400", -kInf, true},
      {"1e999999999", kInf, true},
      {"1e99999999999999999999", kInf, true},
      {"0.0000001e999999999", kInf, true},
      {std::string(400, '9'), kInf, true},
      // Smallest normal double and what lies below it: +0, never subnormal.
      {"2.2250738585072014e-308", DBL_MIN, false},
      {"-2.2250738585072014e-308", -DBL_MIN, false},
      {"2.2250738585072009e-308", 0.0, true},
      {"4.9406564584124654e-324", 0.0, true},
      {"1e-400", 0.0, true},
      {"-1e-400", 0.0, true},
      {"-2.2250738585072009e-308", 0.0, true},
      {"1e-999999999", 0.0, true},
      {"10000000e-999999999", 0.0, true},
      {"0." + std::string(400, '0') + "1", 0.0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    Value got = convert(c.text);
    expect_same(c.text, got, {c.v, c.range_error});
    // The oracle must agree, or the case itself is wrong.
    expect_same(c.text, expected(c.text), {c.v, c.range_error});
  }
}

TEST(DecimalValue, FormsAroundTheFastPath) {
  // Mantissas at and beyond 2^53 and 19 digits, exponents at and beyond 22.
  const char* texts[] = {
      "1",
      "123",
      "0.1",
      "0.3",
      "3.14159",
      "-123.456789",
      "1e-22",
      "1e-23",
      "9007199254740992e22",
      "9007199254740992e23",
      "9007199254740992e-22",
      "9007199254740993e-22",
      "9007199254740994e-23",
      "18014398509481984",
      "18014398509481985",
      "1234567890123456789",
      "12345678901234567890",
      "9999999999999999999",
      "99999999999999999999",
      "0.1234567890123456789e-5",
      "4.35679e-100",
      "7.2057594037927933e16",
      "8.589973e9",
      "2.2250738585072012e-308",
      "123456789012345678901234567890e-40",
      "1.00000000000000011102230246251565404e0",
      "1.00000000000000011102230246251565405e0",
      "1.00000000000000011102230246251565403e0",
      "5e-324",
      "1e-307",
      "1e-308",
      "3e-308",
      "1.5e308",
      "-0.00001",
      "+7e+7",
      "2.47032822920623272e-324",
      "6.6e-1",
      "1d1",
      "1D-1",
      "1E+0",
      // Leading zeros do not count among the 19 digits an integer holds.
      "000.000",
      "0.0012",
      "12.00",
      "00012.5",
      "18446744073709551615",
      "0.00000000001234567890123456789",
      "000000000000000000000000000001234567890123456789",
      "1234567890.123456789",
      "1234567890.1234567890",
      "123456789012345678901234567890",
      // Up to 19 digits beyond what doubles hold exactly, where the product
      // with the power of five decides: exactly halfway with an exact power
      // (ties to even, both ways), the ends of the table, near the largest
      // double and near 2^-1022 from both sides.
      "14411518807585592e1",
      "14411518807585596e1",
      "9223372036854776832",
      "9223372036854778880",
      "18014398509481990",
      "1844674407370955161500e-3",
      "9999999999999999999e-342",
      "1e-342",
      "1e-343",
      "9999999999999999999e308",
      "1e308",
      "1797693134862315708e290",
      "1797693134862315807e290",
      "1797693134862315808e290",
      "2225073858507201136e-326",
      "2225073858507201137e-326",
      "2225073858507200889e-326",
      "2225073858507201e-323",
      "4940656458412465441e-342",
      // Just below 2^-1023: 53 bits all ones, a binade under the one where
      // they round up to 2^-1022.
      "1112536929253600691e-326",
      "1234567890123456789e-300",
      "9007199254740993e22",
      "7.1e-2",
      "12345678901234567e-20",
      "9999999999999999e-22",
      "1.0000000000000002",
  };
  for (const char* text : texts)
    expect_like_strtod(text);
}

// Exact decimal form of k * 2^p: (digits, decimal exponent).
struct Decimal {
  std::string digits;
  long exponent;
};

Decimal exact_decimal(std::uint64_t k, int p) {
  // Little-endian base 10^9 big integer.
  std::vector<std::uint32_t> big;
  for (std::uint64_t x = k; x != 0; x /= 1000000000)
    big.push_back(static_cast<std::uint32_t>(x % 1000000000));
  auto times = [&](std::uint32_t f) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : big) {
      std::uint64_t v = std::uint64_t{limb} * f + carry;
      limb = static_cast<std::uint32_t>(v % 1000000000);
      carry = v / 1000000000;
    }
    if (carry != 0)
      big.push_back(static_cast<std::uint32_t>(carry));
  };
  // k * 2^p = k * 5^-p * 10^p for negative p.
  for (int i = 0; i < (p < 0 ? -p : p); ++i)
    times(p < 0 ? 5 : 2);
  std::string s = std::to_string(big.back());
  for (std::size_t i = big.size() - 1; i-- > 0;) {
    std::string limb = std::to_string(big[i]);
    s += std::string(9 - limb.size(), '0') + limb;
  }
  return {s, p < 0 ? p : 0};
}

std::string text_of(const Decimal& d, bool negative, char marker) {
  return (negative ? "-" : "") + d.digits + marker + std::to_string(d.exponent);
}

// The exact value d * 10^extra - 1 in the last place, i.e. a hair below d.
Decimal just_below(const Decimal& d, int extra) {
  std::string s = d.digits + std::string(static_cast<std::size_t>(extra), '0');
  std::size_t i = s.size();
  while (s[--i] == '0')
    s[i] = '9';
  --s[i];
  if (s[0] == '0' && s.size() > 1)
    s.erase(0, 1);
  return {s, d.exponent - extra};
}

Decimal just_above(const Decimal& d, int extra) {
  return {d.digits + std::string(static_cast<std::size_t>(extra - 1), '0') + "1",
          d.exponent - extra};
}

// For a positive normal double a: the exact midpoint to the next double up
// rounds to the even one of the two, anything below it to a, anything
// above it to the next one - however many digits it takes to tell.
void check_halfway(double a, bool negative, char marker) {
  int e2;
  double f = std::frexp(a, &e2); // a = f * 2^e2, f in [0.5, 1)
  std::uint64_t m = static_cast<std::uint64_t>(std::ldexp(f, 53));
  int p = e2 - 53; // a = m * 2^p
  Decimal mid = exact_decimal(2 * m + 1, p - 1);
  double up = a == DBL_MAX ? kInf : std::nextafter(a, kInf);
  bool up_error = a == DBL_MAX;
  double sign = negative ? -1.0 : 1.0;
  Value low{sign * a, false};
  Value high{sign * up, up_error};
  Value tie = m % 2 == 0 ? low : high;

  // Short extensions stay within the digits a double needs; long ones push
  // the deciding digit far past them.
  for (int extra : {1, 25, 1200}) {
    std::string below = text_of(just_below(mid, extra), negative, marker);
    std::string above = text_of(just_above(mid, extra), negative, marker);
    SCOPED_TRACE("a = " + std::to_string(a) + ", extra digits " + std::to_string(extra));
    expect_same(below, convert(below), low);
    expect_same(above, convert(above), high);
    expect_same(below, expected(below), low);
    expect_same(above, expected(above), high);
  }
  std::string exact = text_of(mid, negative, marker);
  expect_same(exact, convert(exact), tie);
  expect_same(exact, expected(exact), tie);
  // Zeros past the digits kept are no reason to round up.
  std::string padded =
      text_of({mid.digits + std::string(1200, '0'), mid.exponent - 1200}, negative, marker);
  expect_same(padded, convert(padded), tie);
  // Zeros before the first digit count for nothing either: led by 770 of
  // them, all the digits that decide still count, though exact rounding
  // keeps 800.
  std::string led = text_of({std::string(770, '0') + mid.digits, mid.exponent}, negative, marker);
  expect_same(led, convert(led), tie);
}

TEST(DecimalValue, HalfwayCasesRoundToEven) {
  const double chosen[] = {
      1.0,
      0.1,
      9007199254740992.0,
      1e23,
      DBL_MIN,
      std::nextafter(DBL_MIN, 1.0),
      std::nextafter(DBL_MAX, 0.0),
      DBL_MAX, // its upper midpoint is where infinity starts
      1e-300,
      1e300,
  };
  for (double a : chosen) {
    check_halfway(a, false, 'e');
    check_halfway(a, true, 'D');
  }

  std::mt19937_64 rng(20240601);
  const char markers[] = "eEdD";
  for (int i = 0; i < 300; ++i) {
    std::uint64_t b = rng();
    std::uint64_t exponent = 1 + b % 2046; // normal doubles only
    b = (b & ((std::uint64_t{1} << 52) - 1)) | (exponent << 52);
    check_halfway(std::bit_cast<double>(b), (rng() & 1) != 0, markers[rng() % 4]);
  }
}

TEST(DecimalValue, BoundaryBelowSmallestNormal) {
  // The midpoint between the largest subnormal and 2^-1022.
  Decimal mid = exact_decimal((std::uint64_t{1} << 53) - 1, -1075);
  for (int extra : {1, 30, 1000}) {
    std::string below = text_of(just_below(mid, extra), false, 'e');
    std::string above = text_of(just_above(mid, extra), false, 'e');
    expect_same(below, convert(below), {0.0, true});
    expect_same(above, convert(above), {DBL_MIN, false});
    std::string neg_below = "-" + below;
    expect_same(neg_below, convert(neg_below), {0.0, true});
  }
}

TEST(DecimalValue, RandomLongMantissasAgreeWithStrtod) {
  std::mt19937 rng(77);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto digits = [&](int n) {
    std::string s;
    int zeros = pick(0, 3) == 0 ? pick(0, n) : 0; // leading zeros sometimes
    for (int i = 0; i < n; ++i)
      s += i < zeros ? '0' : static_cast<char>('0' + pick(0, 9));
    return s;
  };
  auto length = [&]() {
    switch (pick(0, 3)) {
    case 0:
      return pick(0, 3);
    case 1:
      return pick(0, 20);
    case 2:
      return pick(0, 60);
    default:
      return pick(0, 400);
    }
  };
  const char signs[][2] = {"", "+", "-"};
  const char markers[] = "eEdD";
  for (int i = 0; i < 20000; ++i) {
    std::string int_part = digits(length());
    std::string frac_part = digits(length());
    if (int_part.empty() && frac_part.empty())
      int_part = "0";
    std::string text = signs[pick(0, 2)] + int_part;
    if (!frac_part.empty() || pick(0, 1) == 1)
      text += "." + frac_part;
    // Aim the magnitude across the whole range, past both ends at times.
    int target = pick(0, 9) == 0 ? pick(-5500, 5500) : pick(-345, 315);
    long exponent = target - static_cast<long>(int_part.size());
    if (exponent != 0 || pick(0, 1) == 1)
      text += markers[pick(0, 3)] + std::to_string(exponent);
    expect_like_strtod(text);
    if (HasFailure())
      break;
  }
}

} // namespace
