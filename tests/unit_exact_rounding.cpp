// Exact rounding of long decimal numbers: the answer must not depend on
// which side of it the candidate lies, nor on how few digits there are.
#include "decimal/exact_rounding.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cstdint>
#include <string>

namespace {

constexpr std::uint64_t kLargestSubnormal = (std::uint64_t{1} << 52) - 1;
constexpr std::uint64_t kInfinity = std::uint64_t{0x7ff} << 52;

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

TEST(ExactRounding, SameAnswerFromCandidatesOnEitherSide) {
  const std::string nines(kExactDigits, '9');
  const std::string one_and_one = "1" + std::string(kExactDigits - 2, '0') + "1";
  struct Case {
    std::string digits;
    std::int64_t exponent;
    std::uint64_t want; // bits; the compiler rounds the literals correctly
  };
  const Case cases[] = {
      // One limb, shifted far to meet the halfway points.
      {"5", -1, bits(0.5)},
      {"3", 0, bits(3.0)},
      // Halfway points: ties to even.
      {"1", 23, bits(1e23)},
      {"9007199254740993", 0, bits(9007199254740993.0)},
      {"9007199254740995", 0, bits(9007199254740995.0)},
      // Around the smallest normal double, and below every subnormal.
      {"22250738585072011", -324, kLargestSubnormal},
      {"22250738585072012", -324, bits(DBL_MIN)},
      {"1", -330, kLargestSubnormal},
      // Around the largest double: its upper halfway point starts infinity.
      {"17976931348623157", 292, bits(DBL_MAX)},
      {"17976931348623159", 292, kInfinity},
      // The widest integers the contract allows.
      {nines, -1199, kLargestSubnormal},
      {nines, -401, kInfinity},
      {nines, -800, bits(1.0)},
      {one_and_one, -(kExactDigits - 1), bits(1.0)},
  };
  for (const Case& c : cases) {
    for (int step = -3; step <= 3; ++step) {
      std::uint64_t candidate = c.want + static_cast<std::uint64_t>(step);
      if (candidate > kInfinity)
        continue;
      EXPECT_EQ(
          exact_rounding(c.digits.data(), static_cast<int>(c.digits.size()), c.exponent, candidate),
          c.want)
          << c.digits.substr(0, 20) << "e" << c.exponent << " from candidate step " << step;
    }
  }
}

} // namespace
