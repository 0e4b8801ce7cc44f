// Decimal digits eight at a time: a word of eight text bytes, the length of
// the run of digits it starts with, and the value of that run.
//
// Words are read in text order on every CPU: the first byte lands in the
// lowest eight bits, so one piece of arithmetic serves little- and
// big-endian machines alike.
#ifndef TLF2POS_DECIMAL_DIGIT_RUNS_HPP
#define TLF2POS_DECIMAL_DIGIT_RUNS_HPP

#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little ||
                  std::endian::native == std::endian::big,
              "words of text bytes are put in text order for these two byte orders");

/// 10^0 to 10^19: every power of ten that fits in 64 bits.
inline constexpr std::uint64_t kPowersOfTen[20] = {1u,
                                                   10u,
                                                   100u,
                                                   1000u,
                                                   10000u,
                                                   100000u,
                                                   1000000u,
                                                   10000000u,
                                                   100000000u,
                                                   1000000000u,
                                                   10000000000u,
                                                   100000000000u,
                                                   1000000000000u,
                                                   10000000000000u,
                                                   100000000000000u,
                                                   1000000000000000u,
                                                   10000000000000000u,
                                                   100000000000000000u,
                                                   1000000000000000000u,
                                                   10000000000000000000u};

/// The eight bytes at `p` (all of them readable) as one word, the first
/// byte lowest, each XORed with '0': digits become 0 to 9, every other byte
/// something above 9.
inline std::uint64_t eight_bytes(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (std::endian::native == std::endian::big)
    w = __builtin_bswap64(w);
  return w ^ 0x3030303030303030u;
}

/// The same word with all eight bytes digits: the digits 9 at `p`.
inline constexpr std::uint64_t kEightNines = 0x0909090909090909u;

/// The top bit of each byte of `x` (from eight_bytes) that is not a digit;
/// every other bit 0.
inline std::uint64_t non_digit_bytes(std::uint64_t x) {
  // Adding 0x76 sets a byte's top bit exactly when its low seven bits are
  // above 9; masking them first keeps carries inside the byte, and or-ing x
  // catches the bytes whose top bit was set already.
  return (((x & 0x7f7f7f7f7f7f7f7fu) + 0x7676767676767676u) | x) & 0x8080808080808080u;
}

/// How many of the bytes of `x` (from eight_bytes), from the first, are
/// digits: 0 to 8.
inline unsigned digit_run(std::uint64_t x) {
  return static_cast<unsigned>(std::countr_zero(non_digit_bytes(x))) >> 3;
}

/// The value of the first `n` (0 to 8) bytes of `x` (from eight_bytes),
/// which must be digits; the other bytes do not matter.
inline std::uint64_t run_value(std::uint64_t x, unsigned n) {
  // The n digits go to the top bytes; the zero bytes shifted in below them
  // count as leading zeros, and with n = 0 the two shifts of 32 leave none
  // (one of 64 would be undefined). Then pairs, quads and all eight are
  // combined, the earlier digits weighted.
  assert(n <= 8); // a shift by a negative count is undefined
  x = (x << (32 - 4 * n)) << (32 - 4 * n);
  x = (x * (1 + (10u << 8)) >> 8) & 0x00ff00ff00ff00ffu;
  x = (x * (1 + (100u << 16)) >> 16) & 0x0000ffff0000ffffu;
  return (x * (1 + (10000ull << 32))) >> 32;
}

/// The value of the first `n` (0 to 4) bytes of `x` (from eight_bytes),
/// which must be digits; the other bytes do not matter. run_value in two
/// steps instead of three, for exponents.
inline std::uint32_t short_run_value(std::uint64_t x, unsigned n) {
  assert(n <= 4); // a shift by a negative count is undefined
  std::uint32_t y = static_cast<std::uint32_t>(x);
  y = (y << (16 - 4 * n)) << (16 - 4 * n);
  y = (y * (1 + (10u << 8)) >> 8) & 0x00ff00ffu;
  return (y * (1 + (100u << 16))) >> 16;
}

/// The value of the `n` (0 to 19) digits at `p`. Words of eight bytes are
/// read while they end at or before `readable_end`, which may therefore
/// lie up to seven bytes past the digits; the rest is read byte by byte, so
/// with `readable_end` at `p` only the digits themselves are read.
inline std::uint64_t digits_value(const char* p, unsigned n, const char* readable_end) {
  std::uint64_t v = 0;
  while (n > 0 && readable_end - p >= 8) {
    unsigned k = n < 8 ? n : 8;
    v = v * kPowersOfTen[k] + run_value(eight_bytes(p), k);
    p += k;
    n -= k;
  }
  for (; n > 0; --n)
    v = v * 10 + static_cast<unsigned>(*p++ - '0');
  return v;
}

#endif
