// Exact rounding by big-integer comparison with halfway points.
#include "decimal/exact_rounding.hpp"

#include <cassert>
#include <cstddef>

namespace {

// Room for the largest integer compared. 800 digits are 2658 bits; a
// halfway point near 10^-400 meets them scaled by 5^1200 (2787 bits), its
// own 54 bits and a shift of a few hundred: all well inside 4096 bits.
constexpr int kLimbs = 128;

// A non-negative integer in 32-bit limbs, the lowest first: 32 x 32 bit
// products fit the 64 bits every target has.
struct Big {
  int size;
  std::uint32_t limb[kLimbs];
};

void set_small(Big* b, std::uint64_t v) {
  b->size = 0;
  while (v != 0) {
    b->limb[b->size++] = static_cast<std::uint32_t>(v);
    v >>= 32;
  }
}

// b = b * f + add.
void multiply_add(Big* b, std::uint32_t f, std::uint32_t add) {
  std::uint64_t carry = add;
  for (int i = 0; i < b->size; ++i) {
    std::uint64_t x = std::uint64_t{b->limb[i]} * f + carry;
    b->limb[i] = static_cast<std::uint32_t>(x);
    carry = x >> 32;
  }
  if (carry != 0) {
    assert(b->size < kLimbs);
    b->limb[b->size++] = static_cast<std::uint32_t>(carry);
  }
}

void multiply_power_of_five(Big* b, std::int64_t k) {
  constexpr std::uint32_t kFive13 = 1220703125; // 5^13, the largest in 32 bits
  for (; k >= 13; k -= 13)
    multiply_add(b, kFive13, 0);
  std::uint32_t rest = 1;
  for (; k > 0; --k)
    rest *= 5;
  multiply_add(b, rest, 0);
}

// b = b x 2^bits; b is not 0: both sides compared are at least 1 (the
// digits start with one that is not 0, and 2M + 1 is odd), so the shift
// needs no case for an empty integer and the top limb found below is never
// below limb[0].
void shift_left(Big* b, std::int64_t bits) {
  if (bits == 0)
    return;
  int words = static_cast<int>(bits / 32);
  int rest = static_cast<int>(bits % 32);
  // The top limb written is limb[size + words].
  assert(b->size > 0 && bits > 0 && b->size + words < kLimbs);
  b->limb[b->size] = 0;
  for (int i = b->size; i >= 0; --i) {
    std::uint32_t high = b->limb[i] << rest;
    std::uint32_t low = rest != 0 && i > 0 ? b->limb[i - 1] >> (32 - rest) : 0;
    b->limb[i + words] = high | low;
  }
  for (int i = 0; i < words; ++i)
    b->limb[i] = 0;
  b->size += words + 1;
  while (b->limb[b->size - 1] == 0)
    --b->size;
}

int compare(const Big& a, const Big& b) {
  if (a.size != b.size)
    return a.size < b.size ? -1 : 1;
  for (int i = a.size - 1; i >= 0; --i)
    if (a.limb[i] != b.limb[i])
      return a.limb[i] < b.limb[i] ? -1 : 1;
  return 0;
}

constexpr std::uint64_t kFractionBits = (std::uint64_t{1} << 52) - 1;
constexpr std::uint64_t kLargestSubnormal = kFractionBits;
constexpr std::uint64_t kInfinity = std::uint64_t{0x7ff} << 52;

// The sign of D x 10^e minus the point halfway between the double with
// bits `b` (finite) and the next one up: with b = M x 2^B, that point is
// (2M + 1) x 2^(B - 1).
int compare_with_halfway(const Big& digits, std::int64_t e, std::uint64_t b) {
  std::uint64_t biased = b >> 52;
  std::uint64_t m = b & kFractionBits;
  std::int64_t exponent = -1074;
  if (biased != 0) {
    m |= std::uint64_t{1} << 52;
    exponent = static_cast<std::int64_t>(biased) - 1075;
  }
  // D x 5^e x 2^e against (2M + 1) x 2^(B - 1): a negative power of five
  // moves to the other side, and then the smaller power of two.
  Big left = digits;
  Big right;
  set_small(&right, 2 * m + 1);
  if (e >= 0)
    multiply_power_of_five(&left, e);
  else
    multiply_power_of_five(&right, -e);
  std::int64_t twos = e - (exponent - 1);
  if (twos >= 0)
    shift_left(&left, twos);
  else
    shift_left(&right, -twos);
  return compare(left, right);
}

} // namespace

std::uint64_t exact_rounding(const char* digits, int count, std::int64_t exponent,
                             std::uint64_t candidate) {
  Big d;
  d.size = 0;
  // Nine digits at a time: 10^9 fits a limb.
  for (int i = 0; i < count;) {
    std::uint32_t chunk = 0;
    std::uint32_t scale = 1;
    for (int k = 0; k < 9 && i < count; ++k, ++i) {
      chunk = chunk * 10 + static_cast<std::uint32_t>(digits[i] - '0');
      scale *= 10;
    }
    multiply_add(&d, scale, chunk);
  }

  // Below the largest subnormal double every result counts alike.
  std::uint64_t b = candidate < kLargestSubnormal ? kLargestSubnormal : candidate;
  // Up while the number lies above the halfway point to the next double,
  // or on it with the next one even; then down likewise. The candidate is
  // near, so this takes a step or two.
  for (;;) {
    int c = b < kInfinity ? compare_with_halfway(d, exponent, b) : -1;
    if (c > 0 || (c == 0 && (b & 1) != 0)) {
      ++b;
      continue;
    }
    if (b == kLargestSubnormal)
      return b;
    c = compare_with_halfway(d, exponent, b - 1);
    if (c < 0 || (c == 0 && (b & 1) != 0)) {
      --b;
      continue;
    }
    return b;
  }
}
