// The value of a scanned decimal number, rounded correctly to a double.
#ifndef TLF2POS_INPUT_DECIMAL_VALUE_HPP
#define TLF2POS_INPUT_DECIMAL_VALUE_HPP

#include "input/number_syntax.hpp"

/// The double nearest to the number `t` describes (ties to even). A
/// magnitude that rounds to 2^1024 or more gives infinity with the number's
/// sign; a non-zero magnitude that rounds below 2^-1022 gives +0 (subnormal
/// values are never produced). Both set `*range_error`; otherwise it is set
/// to false. Allocates nothing.
double decimal_value(const DecimalToken& t, bool* range_error);

/// The double nearest to `mantissa` x 10^`exponent`, negated if `negative`,
/// by the same rules: infinity or +0, and `*range_error` set, out of range;
/// `*range_error` cleared otherwise. For numbers whose significant digits
/// fit in 64 bits. Allocates nothing.
double scaled_value(std::uint64_t mantissa, std::int64_t exponent,
                    bool negative, bool* range_error);

#endif
