// POS file names: "%03d%03d%02d.pos", written in full whatever the fields.
#include "pos/pos_name.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

// Builds the name in a store with guard bytes behind kPosNameSize.
std::string name_of(std::int32_t prefix_length, std::int32_t record, std::int32_t branch) {
  char store[kPosNameSize + 8];
  std::memset(store, '#', sizeof store);
  int n = pos_name(store, prefix_length, record, branch);
  EXPECT_GE(n, 0);
  EXPECT_LT(n, kPosNameSize);
  EXPECT_EQ(store[n], '\0');
  EXPECT_EQ(std::strlen(store), static_cast<std::size_t>(n));
  for (int i = n + 1; i < static_cast<int>(sizeof store); ++i)
    EXPECT_EQ(store[i], '#') << "byte " << i << " written";
  return std::string(store, static_cast<std::size_t>(n));
}

TEST(PosName, Examples) {
  struct Case {
    std::int32_t prefix_length, record, branch;
    const char* name;
  };
  const Case cases[] = {
      {5, 0, 0, "00500000.pos"},
      {5, 12, 3, "00501203.pos"},
      {60, 1234, 0, "060123400.pos"},
      {3, 1, 0, "00300100.pos"},
      {0, 0, 0, "00000000.pos"},
      {228, 999, 99, "22899999.pos"},
      // Once a field outgrows its width, names can collide.
      {5, 10001, 2, "0051000102.pos"},
      {5, 1000, 102, "0051000102.pos"},
      // A "-" goes first and the zeros fill up the width after it.
      {-1, 0, 0, "-0100000.pos"},
      {-1, -1, -1, "-01-01-1.pos"},
      {-12, 5, -5, "-12005-5.pos"},
      {-123, -1234, -12, "-123-1234-12.pos"},
      // The widest fields are written in full.
      {INT32_MIN, 0, 0, "-214748364800000.pos"},
      {INT32_MAX, INT32_MAX, INT32_MAX, "214748364721474836472147483647.pos"},
      {INT32_MIN, INT32_MIN, INT32_MIN, "-2147483648-2147483648-2147483648.pos"},
      {5, 1000000, 0, "005100000000.pos"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(name_of(c.prefix_length, c.record, c.branch), c.name);
  }
}

TEST(PosName, AgreesWithPrintfFormat) {
  std::mt19937 rng(99);
  auto field = [&]() -> std::int32_t {
    switch (rng() % 4) {
    case 0:
      return static_cast<std::int32_t>(rng() % 200) - 100;
    case 1:
      return static_cast<std::int32_t>(rng() % 100000);
    case 2:
      return static_cast<std::int32_t>(rng() % 2001) - 1000;
    default:
      return static_cast<std::int32_t>(rng());
    }
  };
  for (int i = 0; i < 100000; ++i) {
    std::int32_t a = field(), b = field(), c = field();
    char want[64];
    std::snprintf(want, sizeof want, "%03d%03d%02d.pos", a, b, c);
    ASSERT_EQ(name_of(a, b, c), want) << a << " " << b << " " << c;
  }
}

} // namespace
