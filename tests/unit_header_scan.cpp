// The header line: three integers, wrapping silently in 32 bits.
#include "input/header_scan.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace {

// Marks fields the scan must leave alone.
constexpr std::int32_t kUnset = 0x5a5a5a5a;

struct Case {
  std::string line; // may hold NUL bytes
  int matched;
  std::int32_t first, record_count, prefix_length;
};

const Case kCases[] = {
    {"3 10 5\n", 3, 3, 10, 5},
    {"3,10,5\n", 1, 3, kUnset, kUnset},
    {"3 -1 5\n", 3, 3, -1, 5},
    {"1-2-3", 3, 1, -2, -3},
    {"1+2+3", 3, 1, 2, 3},
    {"+5 +6 +7", 3, 5, 6, 7},
    {"\t1\v2\f3\r\n", 3, 1, 2, 3},
    {"  1  2   3 and more 4 5\n", 3, 1, 2, 3},
    {"1 2 3 4", 3, 1, 2, 3},
    {"1\n2\n3", 3, 1, 2, 3},
    // Leading zeros are decimal, never octal; no hexadecimal.
    {"010 08 0009", 3, 10, 8, 9},
    {"0x10 2 3", 1, 0, kUnset, kUnset},
    // Decimal forms of record lines do not belong here.
    {"1.5 2 3", 1, 1, kUnset, kUnset},
    {"1e3 2 3", 1, 1, kUnset, kUnset},
    // A sign needs a digit right after it, on any field.
    {"-", 0, kUnset, kUnset, kUnset},
    {"- 1 2 3", 0, kUnset, kUnset, kUnset},
    {"1 - 2 3", 1, 1, kUnset, kUnset},
    {"1 2 -", 2, 1, 2, kUnset},
    {"1 2 +", 2, 1, 2, kUnset},
    {"1 2 --3", 2, 1, 2, kUnset},
    {"-0 -0 -0", 3, 0, 0, 0},
    // No number at all.
    {"", 0, kUnset, kUnset, kUnset},
    {"   \n", 0, kUnset, kUnset, kUnset},
    {"x 1 2 3", 0, kUnset, kUnset, kUnset},
    {"1\xa0"
     "2 3",
     1, 1, kUnset, kUnset},
    {std::string("1 2\0 3", 6), 2, 1, 2, kUnset},
    {std::string("\0 1 2 3", 7), 0, kUnset, kUnset, kUnset},
    // Wrap-around modulo 2^32, on every field, the record count included.
    {"1 3000000000 5", 3, 1, -1294967296, 5},
    {"1 4294967296 5", 3, 1, 0, 5},
    {"1 4294967297 5", 3, 1, 1, 5},
    {"1 -4294967297 5", 3, 1, -1, 5},
    {"2147483647 2147483648 -2147483648", 3, INT32_MAX, INT32_MIN, INT32_MIN},
    {"4294967295 -4294967295 -3000000000", 3, -1, 1, 1294967296},
    {"99999999999999999999 -99999999999999999999 12345678901234567890123", 3, 1661992959,
     -1661992959, 1900168395},
    {"0000000000000000000000000000000042 1 2", 3, 42, 1, 2},
};

TEST(HeaderScan, FieldsAndMatchedCount) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.line));
    Header h{kUnset, kUnset, kUnset};
    EXPECT_EQ(scan_header(c.line.c_str(), &h), c.matched);
    EXPECT_EQ(h.first, c.first);
    EXPECT_EQ(h.record_count, c.record_count);
    EXPECT_EQ(h.prefix_length, c.prefix_length);
  }
}

// Only the whitespace bytes of the format separate fields.
TEST(HeaderScan, SeparatorBytes) {
  for (int b = 1; b < 256; ++b) {
    if ((b >= '0' && b <= '9') || b == '+' || b == '-')
      continue;
    SCOPED_TRACE(b);
    std::string line = "1";
    line += static_cast<char>(b);
    line += "2";
    bool space = b == 32 || (b >= 9 && b <= 13);
    Header h{kUnset, kUnset, kUnset};
    EXPECT_EQ(scan_header(line.c_str(), &h), space ? 2 : 1);
  }
}

} // namespace
