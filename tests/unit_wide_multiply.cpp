// The full 128-bit product of two 64-bit numbers, both ways the engine
// can take it.
#include "decimal/wide_multiply.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

namespace {

// The 128-bit product from 32-bit halves (for compilers without a 128-bit
// integer) against the one that has it.
TEST(WideMultiply, HalvesGiveTheFullProduct) {
  const std::uint64_t edges[] = {0,
                                 1,
                                 2,
                                 0xffffffffu,
                                 0x100000000u,
                                 0xfffffffffffffffeu,
                                 0xffffffffffffffffu,
                                 0x8000000000000000u,
                                 0x7fffffffffffffffu,
                                 0xcccccccccccccccdu,
                                 0x0000000100000001u};
  std::mt19937_64 rng(128);
  std::vector<std::uint64_t> values(std::begin(edges), std::end(edges));
  for (int i = 0; i < 2000; ++i)
    values.push_back(rng() >> (rng() % 64));
  for (std::uint64_t a : values) {
    for (std::uint64_t b : {values[0], values[2], values[3], values[6], rng(), rng() >> 32}) {
      Wide got = multiply_halves(a, b);
#if defined(__SIZEOF_INT128__)
      unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
      ASSERT_EQ(got.high, static_cast<std::uint64_t>(p >> 64)) << a << " * " << b;
      ASSERT_EQ(got.low, static_cast<std::uint64_t>(p)) << a << " * " << b;
#endif
      // Whatever the compiler: the low half is the product modulo 2^64.
      ASSERT_EQ(got.low, a * b);
      Wide m = multiply(a, b);
      ASSERT_EQ(m.high, got.high);
      ASSERT_EQ(m.low, got.low);
    }
  }
  static_assert(multiply_halves(0xffffffffffffffffu, 0xffffffffffffffffu).high ==
                    0xfffffffffffffffeu &&
                multiply_halves(0xffffffffffffffffu, 0xffffffffffffffffu).low == 1);
}

} // namespace
