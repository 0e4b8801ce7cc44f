// Scanning record-line numbers one after another, and the bytes they give.
#include "input/number_scan.hpp"

#include <gtest/gtest.h>

#include "platform/last_error.hpp"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// A last-error number from an earlier failure: a scan in range must leave
// it alone, an out-of-range one must replace it by kErrorRange.
constexpr LastError kEarlier = kErrorDiskFull;

int error_after(bool range_error) { return range_error ? kErrorRange : kEarlier; }

TEST(NumberScan, ValuesAndStopPositions) {
  struct Case {
    const char* text;
    double value;
    int end;
    bool range_error;
  };
  const Case cases[] = {
      {"7", 7, 1, false},
      {"  -12.5 3", -12.5, 7, false},
      {"1d2", 100, 3, false},
      {"1E2", 100, 3, false},
      {"1e", 1, 1, false},
      {"1e+x", 1, 1, false},
      {"5+3", 5, 1, false},
      {"0x10", 0, 1, false},
      {"5.", 5, 2, false},
      {".5", 0.5, 2, false},
      {"\t+.5e1\n", 5, 6, false},
      {"1e400 2", kInf, 5, true},
      {"-1e400", -kInf, 6, true},
      {"1e-400x", 0, 6, true},
      {"0e400", 0, 5, false},
      {"1e:", 1, 1, false},  // ':' follows '9' in ASCII
      {"1e5:", 1e5, 3, false},
      {"1e0000000001", 10, 12, false},  // ten exponent digits
      {"18446744073709551617", 18446744073709551617.0, 20, false},  // 2^64 + 1
      {"1.00000000000000000000", 1, 22, false},
      {"99999999999999.999999", 99999999999999.999999, 21, false},  // 20 digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LastError last_error = kEarlier;
    NumberScan s = scan_number(c.text, &last_error);
    EXPECT_EQ(s.end - c.text, c.end);
    EXPECT_EQ(s.value, c.value);
    EXPECT_EQ(last_error, error_after(c.range_error));
  }
}

TEST(NumberScan, FailureConsumesNothingNotEvenWhitespace) {
  const char* texts[] = {"", "   ", " \t\r\n\v\f", "  +", "\t-", " .", "+.",
                         "-.e5", "  e5", " x1", "inf", " nan", "\x08" "5",
                         "\x0e" "5", "\xa0" "5", "\x85" "5", ",5", "--5"};
  for (const char* text : texts) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    LastError last_error = kEarlier;
    NumberScan s = scan_number(text, &last_error);
    EXPECT_EQ(s.end, text);
    EXPECT_EQ(s.value, 0.0);
    EXPECT_EQ(last_error, kEarlier);
  }
}

TEST(NumberScan, NulEndsTheText) {
  const char text[] = "1\0" "23";
  LastError last_error = kErrorNone;
  NumberScan s = scan_number(text, &last_error);
  EXPECT_EQ(s.end, text + 1);
  EXPECT_EQ(s.value, 1.0);
  NumberScan next = scan_number(s.end, &last_error);
  EXPECT_EQ(next.end, s.end);
}

// The record-line walk: every scan starts where the previous one stopped,
// and a character that is no number stops every later scan.
std::vector<double> walk(const char* line, const char** stop) {
  std::vector<double> values;
  const char* p = line;
  LastError last_error = kErrorNone;
  for (;;) {
    NumberScan s = scan_number(p, &last_error);
    if (s.end == p)
      break;
    values.push_back(s.value);
    p = s.end;
  }
  *stop = p;
  return values;
}

TEST(NumberScan, SuccessiveScansOverALine) {
  struct Case {
    const char* line;
    std::vector<double> values;
    int stop;
  };
  const Case cases[] = {
      {"0 1 2 3 4 0 5 0\n", {0, 1, 2, 3, 4, 0, 5, 0}, 15},
      {"0 1 2 3 4 0 x 5 0\n", {0, 1, 2, 3, 4, 0}, 11},
      {"1-2+3", {1, -2, 3}, 5},
      {"1e2e3", {100}, 3},
      {"1.5.5", {1.5, 0.5}, 5},
      {"1e\n", {1}, 1},
      {"7 1 2\r\n", {7, 1, 2}, 5},
      {"  \n", {}, 0},
      {"", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.line)));
    const char* stop;
    EXPECT_EQ(walk(c.line, &stop), c.values);
    EXPECT_EQ(stop - c.line, c.stop);
  }
}

TEST(ByteReduction, TruncatesTowardZeroAndKeepsTheLowByte) {
  struct Case {
    double v;
    int byte;
  };
  const Case cases[] = {
      {0.0, 0},
      {-0.0, 0},
      {3.9, 3},
      {-0.7, 0},
      {0.999999, 0},
      {-1, 255},
      {-1.9, 255},
      {255, 255},
      {255.99, 255},
      {256, 0},
      {300, 44},
      {1e3, 232},
      {-255, 1},
      {-256, 0},
      {-257, 255},
      {10, 10},
      {1e-300, 0},
      {DBL_MIN, 0},
      {9007199254740994.0, 2},       // 2^53 + 2
      {-9007199254740994.0, 254},
      {18014398509481988.0, 4},      // 2^54 + 4
      {4611686018427387904.0 + 2048.0 * 3, 0},
      {9223372036854774784.0, 0},    // largest double below 2^63
      {-9223372036854774784.0, 0},
      {9223372036854775808.0, 0},    // 2^63
      {-9223372036854775808.0, 0},   // -2^63
      {1e19, 0},
      {-1e19, 0},
      {1e300, 0},
      {DBL_MAX, 0},
      {-DBL_MAX, 0},
      {kInf, 0},
      {-kInf, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v);
    EXPECT_EQ(byte_reduction(c.v), c.byte);
  }
}

// Out of the 64-bit range, what a CPU's conversion gives differs (x86 gives
// 2^63, whose low byte is 0 by chance; arm64 saturates); only the compiler
// refuses it outright.
static_assert(byte_reduction(1e19) == 0 && byte_reduction(-1e19) == 0 &&
              byte_reduction(9223372036854775808.0) == 0 &&
              byte_reduction(-kInf) == 0);

TEST(ByteReduction, EveryByteFromSmallIntegers) {
  for (int i = -1000; i <= 1000; ++i) {
    SCOPED_TRACE(i);
    int want = ((i % 256) + 256) % 256;
    EXPECT_EQ(byte_reduction(i), want);
    EXPECT_EQ(byte_reduction(i + (i >= 0 ? 0.75 : -0.75)), want);
  }
}

TEST(ByteReduction, OfScannedNumbers) {
  struct Case {
    const char* text;
    int byte;
  };
  const Case cases[] = {
      {"1d2", 100}, {"1E2", 100}, {"1e3", 232}, {"-1", 255}, {"300.7", 44},
      {"1e400", 0}, {"-1e400", 0}, {"-0.5", 0}, {"0x10", 0}, {"266e-1", 26},
      {"18446744073709551616e-6", 0xed}, // digits worth 2^64, then scaled down
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LastError last_error = kErrorNone;
    EXPECT_EQ(byte_reduction(scan_number(c.text, &last_error).value), c.byte);
  }
}

} // namespace
