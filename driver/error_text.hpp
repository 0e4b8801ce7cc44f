// The texts the error report prints for the last-error numbers
// (platform/last_error.hpp).
#ifndef TLF2POS_DRIVER_ERROR_TEXT_HPP
#define TLF2POS_DRIVER_ERROR_TEXT_HPP

#include "platform/last_error.hpp"

/// The text for last-error number `number`; "Unknown error" outside 0..42.
const char* error_text(int number);

#endif
