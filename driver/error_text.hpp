// The texts of the last-error numbers, as the error report prints them.
#ifndef TLF2POS_DRIVER_ERROR_TEXT_HPP
#define TLF2POS_DRIVER_ERROR_TEXT_HPP

/// The text for last-error number `number`; "Unknown error" outside 0..42.
const char* error_text(int number);

#endif
