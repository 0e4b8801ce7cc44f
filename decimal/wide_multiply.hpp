// The full 128-bit product of two 64-bit numbers.
#ifndef TLF2POS_DECIMAL_WIDE_MULTIPLY_HPP
#define TLF2POS_DECIMAL_WIDE_MULTIPLY_HPP

#include <cstdint>

/// A 128-bit number in two halves.
struct Wide {
  std::uint64_t high;
  std::uint64_t low;
};

/// a * b from four 32-bit products: for compilers without a 128-bit integer
/// type (32-bit targets), and a check on the one that has it.
constexpr Wide multiply_halves(std::uint64_t a, std::uint64_t b) {
  std::uint64_t a_lo = a & 0xffffffffu, a_hi = a >> 32;
  std::uint64_t b_lo = b & 0xffffffffu, b_hi = b >> 32;
  std::uint64_t lo_lo = a_lo * b_lo;
  std::uint64_t hi_lo = a_hi * b_lo;
  std::uint64_t lo_hi = a_lo * b_hi;
  std::uint64_t hi_hi = a_hi * b_hi;
  // The middle column: three terms below 2^32 each, so no carry is lost.
  std::uint64_t middle = (lo_lo >> 32) + (hi_lo & 0xffffffffu) + (lo_hi & 0xffffffffu);
  return Wide{hi_hi + (hi_lo >> 32) + (lo_hi >> 32) + (middle >> 32),
              (middle << 32) | (lo_lo & 0xffffffffu)};
}

/// a * b.
inline Wide multiply(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
  unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
  return Wide{static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
#else
  return multiply_halves(a, b);
#endif
}

#endif
