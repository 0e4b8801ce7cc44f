// Where a record-line number lies and what digits it is made of.
#include "input/number_recognisers.hpp"
#include "input/number_syntax.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Which recogniser must take a form (each takes the forms of the one
// before it too): none leaves it to the grammar.
enum Fast { kNone, kShort, kCommon };

struct SyntaxCase {
  const char* text;
  bool ok;
  // Everything below is checked only when ok.
  int end; // offset just past the number
  bool negative;
  const char* int_digits;
  const char* frac_digits;
  std::int64_t exponent;
  Fast fast;
};

const SyntaxCase kSyntax[] = {
    // Mantissa forms.
    {"5", true, 1, false, "5", "", 0, kShort},
    {"5.", true, 2, false, "5", "", 0, kShort},
    {".5", true, 2, false, "", "5", 0, kShort},
    {"5.25", true, 4, false, "5", "25", 0, kShort},
    {"007.500", true, 7, false, "007", "500", 0, kShort},
    {"+5", true, 2, false, "5", "", 0, kShort},
    {"-5", true, 2, true, "5", "", 0, kShort},
    {"-.5", true, 3, true, "", "5", 0, kShort},
    {"+0.", true, 3, false, "0", "", 0, kShort},
    {"-0", true, 2, true, "0", "", 0, kShort},
    // Exponent markers, signs and missing exponent digits.
    {"1e2", true, 3, false, "1", "", 2, kCommon},
    {"1E2", true, 3, false, "1", "", 2, kCommon},
    {"1d2", true, 3, false, "1", "", 2, kCommon},
    {"1D2", true, 3, false, "1", "", 2, kCommon},
    {"1e+2", true, 4, false, "1", "", 2, kCommon},
    {"1D-2", true, 4, false, "1", "", -2, kCommon},
    {"5.e3", true, 4, false, "5", "", 3, kCommon},
    {".5e-3", true, 5, false, "", "5", -3, kCommon},
    {"1e", true, 1, false, "1", "", 0, kNone},
    {"1e+", true, 1, false, "1", "", 0, kNone},
    {"1d-", true, 1, false, "1", "", 0, kNone},
    {"1e-x", true, 1, false, "1", "", 0, kNone},
    {"1ee5", true, 1, false, "1", "", 0, kNone},
    {"1e+-5", true, 1, false, "1", "", 0, kNone},
    {"1e 5", true, 1, false, "1", "", 0, kNone},
    {"1e5.5", true, 3, false, "1", "", 5, kNone},
    {"1e5e5", true, 3, false, "1", "", 5, kNone},
    {"1e0000000000000000000007", true, 24, false, "1", "", 7, kNone},
    {"1f2", true, 1, false, "1", "", 0, kCommon},
    // A sign after the mantissa belongs to the next field.
    {"5+3", true, 1, false, "5", "", 0, kNone},
    {"5-3", true, 1, false, "5", "", 0, kNone},
    {"1.5-2", true, 3, false, "1", "5", 0, kNone},
    // No hexadecimal, no separators, only one point.
    {"0x10", true, 1, false, "0", "", 0, kCommon},
    {"1,000", true, 1, false, "1", "", 0, kCommon},
    {"1_000", true, 1, false, "1", "", 0, kCommon},
    {"1.2.3", true, 3, false, "1", "2", 0, kNone},
    {"5..", true, 2, false, "5", "", 0, kNone},
    {"1 2", true, 1, false, "1", "", 0, kShort},
    // The forms programs write, and the limits of the fast recognisers.
    {"-123456", true, 7, true, "123456", "", 0, kShort},
    {"12345678.123456", true, 15, false, "12345678", "123456", 0, kShort},
    {"12345678.1234567", true, 16, false, "12345678", "1234567", 0, kCommon},
    {"123456789", true, 9, false, "123456789", "", 0, kCommon},
    {"-1.234567890123456789e+02", true, 25, true, "1", "234567890123456789", 2, kCommon},
    {"-0.12345678901234D+03", true, 21, true, "0", "12345678901234", 3, kCommon},
    {"5.123456e+187", true, 13, false, "5", "123456", 187, kCommon},
    {"1.23457e-07", true, 11, false, "1", "23457", -7, kCommon},
    {"1e1234", true, 6, false, "1", "", 1234, kCommon},
    {"1e-12345", true, 8, false, "1", "", -12345, kNone},
    {"1e123456789", true, 11, false, "1", "", 123456789, kNone},
    {"1234567890123456789012345678901", true, 31, false, "1234567890123456789012345678901", "", 0,
     kCommon},
    {"12345678901234567890123456789012", true, 32, false, "12345678901234567890123456789012", "", 0,
     kNone},
    // Leading whitespace is skipped and counted in the end position.
    {" \t\n\v\f\r7", true, 7, false, "7", "", 0, kShort},
    // No number at all.
    {"", false, 0, false, "", "", 0, kNone},
    {".", false, 0, false, "", "", 0, kNone},
    {"+", false, 0, false, "", "", 0, kNone},
    {"-", false, 0, false, "", "", 0, kNone},
    {"+.", false, 0, false, "", "", 0, kNone},
    {"-.e5", false, 0, false, "", "", 0, kNone},
    {"..5", false, 0, false, "", "", 0, kNone},
    {"--1", false, 0, false, "", "", 0, kNone},
    {"+-1", false, 0, false, "", "", 0, kNone},
    {"- 1", false, 0, false, "", "", 0, kNone},
    {"e5", false, 0, false, "", "", 0, kNone},
    {"inf", false, 0, false, "", "", 0, kNone},
    {"-inf", false, 0, false, "", "", 0, kNone},
    {"infinity", false, 0, false, "", "", 0, kNone},
    {"nan", false, 0, false, "", "", 0, kNone},
    {"NaN", false, 0, false, "", "", 0, kNone},
    {"x1", false, 0, false, "", "", 0, kNone},
    {"   ", false, 0, false, "", "", 0, kNone},
};

TEST(NumberSyntax, FormsAndStopPositions) {
  for (const SyntaxCase& c : kSyntax) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    DecimalToken t;
    bool ok = scan_decimal_syntax(c.text, &t);
    ASSERT_EQ(ok, c.ok);
    if (!ok)
      continue;
    EXPECT_EQ(t.end - c.text, c.end);
    EXPECT_EQ(t.negative, c.negative);
    EXPECT_EQ(std::string(t.int_digits, t.int_count), c.int_digits);
    EXPECT_EQ(std::string(t.frac_digits, t.frac_count), c.frac_digits);
    EXPECT_EQ(t.exponent, c.exponent);
  }
}

// What recognise_short, recognise_number<false>, recognise_number<true> and
// recognise_plain give for the text at q (after its whitespace), in a store
// with `fill` after its NUL, each against what the grammar gives.
void expect_recognisers_agree(const std::string& text, char fill, Fast fast) {
  std::vector<char> store(text.begin(), text.end());
  store.push_back('\0');
  store.resize(store.size() + kRecogniseReach, fill);
  const char* q = store.data();
  while (is_tulo_space(*q))
    ++q;
  DecimalToken want;
  bool ok = scan_decimal_syntax(q, &want);
  auto same = [&](const DecimalToken& got, const char* who) {
    EXPECT_TRUE(ok) << who;
    if (!ok)
      return;
    EXPECT_EQ(got.end, want.end) << who;
    EXPECT_EQ(got.negative, want.negative) << who;
    EXPECT_EQ(std::string(got.int_digits, got.int_count),
              std::string(want.int_digits, want.int_count))
        << who;
    EXPECT_EQ(std::string(got.frac_digits, got.frac_count),
              std::string(want.frac_digits, want.frac_count))
        << who;
    EXPECT_EQ(got.exponent, want.exponent) << who;
  };
  ShortNumber f;
  bool short_ok = recognise_short(q, &f);
  if (short_ok) {
    DecimalToken got{q + f.length,
                     *q == '-',
                     q + f.sign,
                     static_cast<int>(f.whole),
                     q + f.point + (f.point < f.length),
                     static_cast<int>(f.fraction),
                     0};
    same(got, "recognise_short");
  }
  DecimalToken plain;
  Recognised p = recognise_number<false>(q, &plain);
  if (p != Recognised::kNone) {
    same(plain, "recognise_number");
    EXPECT_EQ(p == Recognised::kExponent, want.end != want.frac_digits + want.frac_count);
  }
  DecimalToken mixed;
  Recognised m = recognise_number<true>(q, &mixed);
  EXPECT_EQ(m, p);
  if (m != Recognised::kNone)
    same(mixed, "recognise_number<kMixed>");
  // recognise_plain takes what the others take without an exponent, where
  // whitespace or the NUL ends it.
  bool spaced = ok && static_cast<unsigned char>(*want.end) <= ' ';
  DecimalToken plain_digits;
  bool plain_ok = recognise_plain(q, &plain_digits);
  EXPECT_EQ(plain_ok, spaced && p == Recognised::kPlain);
  if (plain_ok)
    same(plain_digits, "recognise_plain");
  if (fast != kNone) {
#if defined(TLF2POS_SIXTEEN_AT_A_TIME)
    EXPECT_EQ(short_ok, fast == kShort);
#endif
    EXPECT_NE(p, Recognised::kNone);
  } else {
    EXPECT_FALSE(short_ok);
    EXPECT_EQ(p, Recognised::kNone);
  }
}

TEST(NumberSyntax, RecognisersTakeTheCommonFormsAsTheGrammarDoes) {
  for (const SyntaxCase& c : kSyntax) {
    for (char fill : {'\0', '5', ' ', 'e', '.', '-'}) {
      SCOPED_TRACE(std::string("text \"") + c.text + "\" fill " + fill);
      expect_recognisers_agree(c.text, fill, c.fast);
    }
  }
}

// A recogniser's token for text in the same store as the grammar's.
void expect_same_token(const DecimalToken& got, const DecimalToken& want) {
  EXPECT_EQ(got.end, want.end);
  EXPECT_EQ(got.negative, want.negative);
  EXPECT_EQ(got.int_digits, want.int_digits);
  EXPECT_EQ(got.int_count, want.int_count);
  EXPECT_EQ(got.frac_digits, want.frac_digits);
  EXPECT_EQ(got.frac_count, want.frac_count);
  EXPECT_EQ(got.exponent, want.exponent);
}

TEST(NumberSyntax, RecognisersAgreeWithTheGrammarOnRandomText) {
  const char alphabet[] = "0123456789012345678901234567890123456789"
                          "..--++eEdD  \t\r\nx,/:\xb0\xb9";
  std::mt19937 rng(2024);
  for (int round = 0; round < 20000 && !HasFailure(); ++round) {
    std::string text;
    std::size_t length = rng() % 40;
    for (std::size_t i = 0; i < length; ++i)
      text += alphabet[rng() % (sizeof alphabet - 1)];
    SCOPED_TRACE(::testing::PrintToString(text));
    std::vector<char> store(text.begin(), text.end());
    store.push_back('\0');
    store.resize(store.size() + kRecogniseReach, 'e');
    // Only agreement is asked here: which recogniser takes a text is the
    // table's business.
    const char* q = store.data();
    while (is_tulo_space(*q))
      ++q;
    DecimalToken want;
    bool ok = scan_decimal_syntax(q, &want);
    ShortNumber f;
    if (recognise_short(q, &f)) {
      ASSERT_TRUE(ok);
      EXPECT_EQ(q + f.length, want.end);
    }
    for (int who = 0; who < 3; ++who) {
      DecimalToken got;
      Recognised r = who == 0                   ? recognise_number<false>(q, &got)
                     : who == 1                 ? recognise_number<true>(q, &got)
                     : recognise_plain(q, &got) ? Recognised::kPlain
                                                : Recognised::kNone;
      if (r == Recognised::kNone)
        continue;
      ASSERT_TRUE(ok);
      expect_same_token(got, want);
    }
  }
}

// A store holding `text`, its NUL, and `fill` as far as a recogniser reads.
std::vector<char> store_of(const std::string& text, char fill) {
  std::vector<char> store(text.begin(), text.end());
  store.push_back('\0');
  store.resize(store.size() + kRecogniseReach, fill);
  return store;
}

// A layout learnt from the first number, and whether match_shape must take
// the second by it; what it takes must be what the grammar gives.
TEST(NumberSyntax, LayoutsLearntAndMatched) {
  struct Case {
    const char* first;
    const char* second;
    bool learnt;
    bool taken;
  };
  const Case cases[] = {
      {"1.5e+02", "-2.5e-03", true, true},
      {"-1.234567890123456789e+02", "9.876543210987654321e-00", true, true},
      {"-0.12345678901234D+03", "+0.98765432109876D-99", true, true},
      {".5e+03", "-.7e-3", true, true},
      {"15.25d-07", "99.99d+0123", true, true},
      {"1.5e+02", "1.5e+0234", true, true},
      {"1.5e+02", "1.5e+02345", true, false},
      {"1.5e+02", "1.5e+", true, false},
      {"1.5e+02", "1.5E+02", true, false},
      {"1.5e+02", "1.5e.02", true, false},
      {"1.5e+02", "1,5e+02", true, false},
      {"1.5e+02", "1.55e+02", true, false},
      {"1.5e+02", "12.5e+02", true, false},
      {"1.5e+02", "1.5x+02", true, false},
      {"1.2345678901234567890123e+02", "-9.8765432109876543210987e-0234", true, true},
      {"1.23456789012345678901234e+02", "1.23456789012345678901234e+02", false, false},
      {"1.5e02", "1.5e02", false, false},
      {"1e+02", "2e+02", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " then " + c.second);
    std::vector<char> first = store_of(c.first, ' ');
    DecimalToken t;
    ASSERT_EQ(recognise_number<false>(first.data(), &t), Recognised::kExponent);
    ExponentShape shape{0, 0, 0, 0, 0};
    ASSERT_EQ(learn_shape(t, &shape), c.learnt);
    if (!c.learnt)
      continue;
    std::vector<char> second = store_of(c.second, '7');
    DecimalToken got;
    ASSERT_EQ(match_shape(second.data(), shape, &got), c.taken);
    if (!c.taken)
      continue;
    DecimalToken want;
    ASSERT_TRUE(scan_decimal_syntax(second.data(), &want));
    expect_same_token(got, want);
  }
}

// The classes taken a word at a time (CPUs without SSE2) must be those of
// SSE2: every byte value at every place among the sixteen, and the digits
// and points of 32 bytes likewise.
TEST(NumberSyntax, ClassesInWordsAreTheClasses) {
  for (int b = 0; b < 256; ++b) {
    for (int at = 0; at < 32; ++at) {
      char bytes[32];
      std::memset(bytes, '7', sizeof bytes);
      bytes[at] = static_cast<char>(b);
      bytes[(at + 5) % 32] = static_cast<char>(255 - b);
      ByteClasses want = classify_sixteen(bytes);
      ByteClasses got = classify_sixteen_in_words(bytes);
      ASSERT_EQ(got.number, want.number) << b << " at " << at;
      ASSERT_EQ(got.point, want.point) << b << " at " << at;
      ASSERT_EQ(got.sign, want.sign) << b << " at " << at;
      ASSERT_EQ(got.marker, want.marker) << b << " at " << at;
      DigitsAndPoints words = digits_and_points_in_words(bytes);
      DigitsAndPoints sse2 = digits_and_points(bytes);
      ASSERT_EQ(words.digits, sse2.digits) << b << " at " << at;
      ASSERT_EQ(words.points, sse2.points) << b << " at " << at;
    }
  }
  // And the classes themselves, for the bytes that matter.
  const char text[] = "+-.09eEdD/:x ,Ff";
  ByteClasses c = classify_sixteen(text);
  EXPECT_EQ(c.number, 0x01ffu);
  EXPECT_EQ(c.point, 0x0004u);
  EXPECT_EQ(c.sign, 0x0003u);
  EXPECT_EQ(c.marker, 0x01e0u);
}

TEST(NumberSyntax, WhitespaceIsTabToCarriageReturnAndBlankOnly) {
  for (int b = 1; b < 256; ++b) {
    SCOPED_TRACE("byte " + std::to_string(b));
    std::string text(1, static_cast<char>(b));
    text += "42";
    bool space = b == 32 || (b >= 9 && b <= 13);
    EXPECT_EQ(is_tulo_space(static_cast<char>(b)), space);
    DecimalToken t;
    bool ok = scan_decimal_syntax(text.c_str(), &t);
    if (b >= '0' && b <= '9') {
      EXPECT_TRUE(ok);
    } else if (b == '.' || b == '+' || b == '-') {
      EXPECT_TRUE(ok); // ".42", "+42", "-42"
    } else {
      ASSERT_EQ(ok, space);
      if (ok) {
        EXPECT_EQ(t.end - text.c_str(), 3);
      }
    }
  }
  EXPECT_FALSE(is_tulo_space('\0'));
}

TEST(NumberSyntax, NulEndsTheText) {
  struct Case {
    std::string bytes; // may hold NUL bytes inside
    bool ok;
    int end;
  };
  const Case cases[] = {
      {std::string("12\0"
                   "3",
                   4),
       true, 2},
      {std::string("1.\0"
                   "5",
                   4),
       true, 2},
      {std::string("1e\0"
                   "5",
                   4),
       true, 1},
      {std::string("1e-\0"
                   "5",
                   5),
       true, 1},
      {std::string(".\0"
                   "5",
                   3),
       false, 0},
      {std::string("-\0"
                   "5",
                   3),
       false, 0},
      {std::string(" \0"
                   "5",
                   3),
       false, 0},
      {std::string("\0"
                   "5",
                   2),
       false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    DecimalToken t;
    ASSERT_EQ(scan_decimal_syntax(c.bytes.c_str(), &t), c.ok);
    if (c.ok) {
      EXPECT_EQ(t.end - c.bytes.c_str(), c.end);
    }
  }
}

TEST(NumberSyntax, ExponentSizeIsCapped) {
  struct Case {
    const char* text;
    std::int64_t exponent;
  };
  const Case cases[] = {
      {"1e999999999", 999999999},
      {"1e1000000000", 999999999},
      {"1e-99999999999999999999999999", -999999999},
      {"1e123456789", 123456789},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DecimalToken t;
    ASSERT_TRUE(scan_decimal_syntax(c.text, &t));
    EXPECT_EQ(*t.end, '\0'); // all exponent digits are consumed
    EXPECT_EQ(t.exponent, c.exponent);
  }
}

TEST(NumberSyntax, LongMantissaIsScannedWhole) {
  std::string text = "-" + std::string(5000, '7') + "." + std::string(3000, '3') + "e-12 9";
  DecimalToken t;
  ASSERT_TRUE(scan_decimal_syntax(text.c_str(), &t));
  EXPECT_TRUE(t.negative);
  EXPECT_EQ(t.int_count, 5000);
  EXPECT_EQ(t.frac_count, 3000);
  EXPECT_EQ(t.exponent, -12);
  EXPECT_EQ(t.end - text.c_str(), static_cast<long>(text.size()) - 2);
}

} // namespace
