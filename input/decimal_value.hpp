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

#endif
