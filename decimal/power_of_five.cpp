// The 128-bit powers of five, computed by the compiler from exact big
// integers: 5^q by repeated multiplication for q >= 0, and
// floor(2^1000 / 5^n) by repeated division for q = -n < 0 (the floor of a
// floor divided by 5 is the floor of the quotient), each cut to its top 128
// bits.
#include "decimal/power_of_five.hpp"

#include <bit>
#include <cstdint>

namespace {

constexpr int kCount = kMaxPowerOfTen - kMinPowerOfTen + 1;

// A big integer in 32 32-bit limbs, lowest first.
struct Big {
  std::uint32_t limb[32];
};

constexpr void times_five(Big& b) {
  std::uint64_t carry = 0;
  for (std::uint32_t& l : b.limb) {
    std::uint64_t v = std::uint64_t{l} * 5 + carry;
    l = static_cast<std::uint32_t>(v);
    carry = v >> 32;
  }
}

constexpr void divide_by_five(Big& b) {
  std::uint64_t remainder = 0;
  for (int i = 31; i >= 0; --i) {
    std::uint64_t v = (remainder << 32) | b.limb[i];
    b.limb[i] = static_cast<std::uint32_t>(v / 5);
    remainder = v % 5;
  }
}

constexpr int bit_length(const Big& b) {
  for (int i = 31; i >= 0; --i)
    if (b.limb[i] != 0)
      return 32 * i + 32 - std::countl_zero(b.limb[i]);
  return 0;
}

// Limb i of b, 0 outside it.
constexpr std::uint64_t limb_at(const Big& b, int i) { return i >= 0 && i < 32 ? b.limb[i] : 0; }

// The 64 bits of b from bit `low` up.
constexpr std::uint64_t bits_from(const Big& b, int low) {
  int i = low >= 0 ? low / 32 : -((31 - low) / 32);
  int shift = low - 32 * i; // 0 to 31
  std::uint64_t lo = limb_at(b, i) | limb_at(b, i + 1) << 32;
  std::uint64_t hi = limb_at(b, i + 2);
  return shift == 0 ? lo : lo >> shift | hi << (64 - shift);
}

// The top 128 bits of b, truncated (zeros shifted in below a shorter b).
constexpr Wide top_bits(const Big& b) {
  int low = bit_length(b) - 128;
  return Wide{bits_from(b, low + 64), bits_from(b, low)};
}

// The table, and for each entry floor(log2(10^q)) as the big integers give
// it, to check floor_log2_power_of_ten.
struct Made {
  std::array<Wide, kCount> table;
  std::array<int, kCount> log2_power_of_ten;
  // The fewest bits a power had where its top 128 were taken.
  int shortest;
};

constexpr Made make() {
  Made m{};
  m.shortest = 1024;
  Big power{};
  power.limb[0] = 1;
  for (int q = 0; q <= kMaxPowerOfTen; ++q) {
    m.table[q - kMinPowerOfTen] = top_bits(power);
    m.log2_power_of_ten[q - kMinPowerOfTen] = bit_length(power) - 1 + q;
    times_five(power);
  }
  Big reciprocal{};
  reciprocal.limb[1000 / 32] = 1u << (1000 % 32);
  for (int q = -1; q >= kMinPowerOfTen; --q) {
    divide_by_five(reciprocal);
    // 5^q lies in [2^(L - 1001), 2^(L - 1000)) for the bit length L.
    m.table[q - kMinPowerOfTen] = top_bits(reciprocal);
    m.log2_power_of_ten[q - kMinPowerOfTen] = bit_length(reciprocal) - 1001 + q;
    if (bit_length(reciprocal) < m.shortest)
      m.shortest = bit_length(reciprocal);
  }
  return m;
}

constexpr Made kMade = make();

constexpr bool log2_formula_holds() {
  for (int q = kMinPowerOfTen; q <= kMaxPowerOfTen; ++q)
    if (floor_log2_power_of_ten(q) != kMade.log2_power_of_ten[q - kMinPowerOfTen])
      return false;
  return true;
}
static_assert(log2_formula_holds());

// The quotients keep more than the 128 bits taken, so each entry is the
// truncation of the exact scaled power (5^308 needs 716 bits, well inside
// Big's 1024).
static_assert(kMade.shortest > 128);

} // namespace

constexpr std::array<Wide, kCount> kPowersOfFive = kMade.table;
