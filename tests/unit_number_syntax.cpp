// Where a record-line number lies and what digits it is made of.
#include "input/number_syntax.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct SyntaxCase {
  const char* text;
  bool ok;
  // Everything below is checked only when ok.
  int end;  // offset just past the number
  bool negative;
  const char* int_digits;
  const char* frac_digits;
  std::int64_t exponent;
};

const SyntaxCase kSyntax[] = {
    // Mantissa forms.
    {"5", true, 1, false, "5", "", 0},
    {"5.", true, 2, false, "5", "", 0},
    {".5", true, 2, false, "", "5", 0},
    {"5.25", true, 4, false, "5", "25", 0},
    {"007.500", true, 7, false, "007", "500", 0},
    {"+5", true, 2, false, "5", "", 0},
    {"-5", true, 2, true, "5", "", 0},
    {"-.5", true, 3, true, "", "5", 0},
    {"+0.", true, 3, false, "0", "", 0},
    {"-0", true, 2, true, "0", "", 0},
    // Exponent markers, signs and missing exponent digits.
    {"1e2", true, 3, false, "1", "", 2},
    {"1E2", true, 3, false, "1", "", 2},
    {"1d2", true, 3, false, "1", "", 2},
    {"1D2", true, 3, false, "1", "", 2},
    {"1e+2", true, 4, false, "1", "", 2},
    {"1D-2", true, 4, false, "1", "", -2},
    {"5.e3", true, 4, false, "5", "", 3},
    {".5e-3", true, 5, false, "", "5", -3},
    {"1e", true, 1, false, "1", "", 0},
    {"1e+", true, 1, false, "1", "", 0},
    {"1d-", true, 1, false, "1", "", 0},
    {"1e-x", true, 1, false, "1", "", 0},
    {"1ee5", true, 1, false, "1", "", 0},
    {"1e+-5", true, 1, false, "1", "", 0},
    {"1e 5", true, 1, false, "1", "", 0},
    {"1e5.5", true, 3, false, "1", "", 5},
    {"1e5e5", true, 3, false, "1", "", 5},
    {"1e0000000000000000000007", true, 24, false, "1", "", 7},
    {"1f2", true, 1, false, "1", "", 0},
    // A sign after the mantissa belongs to the next field.
    {"5+3", true, 1, false, "5", "", 0},
    {"5-3", true, 1, false, "5", "", 0},
    {"1.5-2", true, 3, false, "1", "5", 0},
    // No hexadecimal, no separators, only one point.
    {"0x10", true, 1, false, "0", "", 0},
    {"1,000", true, 1, false, "1", "", 0},
    {"1_000", true, 1, false, "1", "", 0},
    {"1.2.3", true, 3, false, "1", "2", 0},
    {"5..", true, 2, false, "5", "", 0},
    {"1 2", true, 1, false, "1", "", 0},
    // Leading whitespace is skipped and counted in the end position.
    {" \t\n\v\f\r7", true, 7, false, "7", "", 0},
    // No number at all.
    {"", false, 0, false, "", "", 0},
    {".", false, 0, false, "", "", 0},
    {"+", false, 0, false, "", "", 0},
    {"-", false, 0, false, "", "", 0},
    {"+.", false, 0, false, "", "", 0},
    {"-.e5", false, 0, false, "", "", 0},
    {"..5", false, 0, false, "", "", 0},
    {"--1", false, 0, false, "", "", 0},
    {"+-1", false, 0, false, "", "", 0},
    {"- 1", false, 0, false, "", "", 0},
    {"e5", false, 0, false, "", "", 0},
    {"inf", false, 0, false, "", "", 0},
    {"-inf", false, 0, false, "", "", 0},
    {"infinity", false, 0, false, "", "", 0},
    {"nan", false, 0, false, "", "", 0},
    {"NaN", false, 0, false, "", "", 0},
    {"x1", false, 0, false, "", "", 0},
    {"   ", false, 0, false, "", "", 0},
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
      {std::string("12\0" "3", 4), true, 2},
      {std::string("1.\0" "5", 4), true, 2},
      {std::string("1e\0" "5", 4), true, 1},
      {std::string("1e-\0" "5", 5), true, 1},
      {std::string(".\0" "5", 3), false, 0},
      {std::string("-\0" "5", 3), false, 0},
      {std::string(" \0" "5", 3), false, 0},
      {std::string("\0" "5", 2), false, 0},
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

// The integer of significant digits is what the fast conversion trusts: it
// must be exact whenever it claims to be (significant <= 19).
TEST(NumberSyntax, SignificantDigits) {
  struct Case {
    const char* text;
    int significant;
    std::uint64_t mantissa; // checked when significant <= 19
  };
  const Case cases[] = {
      {"0", 0, 0},
      {"000.000", 0, 0},
      {"0.0012", 2, 12},
      {"1200", 4, 1200},
      {"12.00", 4, 1200},
      {"00012.5", 3, 125},
      {"9007199254740993", 16, 9007199254740993u},
      {"1234567890123456789", 19, 1234567890123456789u},
      {"18446744073709551615", 20, 0},
      {"12345678901234567890", 20, 0},
      {"0.00000000001234567890123456789", 19, 1234567890123456789u},
      {"000000000000000000000000000001234567890123456789", 19, 1234567890123456789u},
      {"1234567890.123456789", 19, 1234567890123456789u},
      {"1234567890.1234567890", 20, 0},
      {"123456789012345678901234567890", 20, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DecimalToken t;
    ASSERT_TRUE(scan_decimal_syntax(c.text, &t));
    EXPECT_EQ(t.significant, c.significant);
    if (c.significant <= 19) {
      EXPECT_EQ(t.mantissa, c.mantissa);
    }
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
  EXPECT_EQ(t.significant, 20);
  EXPECT_EQ(t.end - text.c_str(), static_cast<long>(text.size()) - 2);
}

} // namespace
