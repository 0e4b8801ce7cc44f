// The header line of a TULO file: three integers.
#ifndef TLF2POS_INPUT_HEADER_SCAN_HPP
#define TLF2POS_INPUT_HEADER_SCAN_HPP

#include <cstdint>

/// The fields of a header line, in their order.
struct Header {
  /// Scanned and not used.
  std::int32_t first;
  /// How many record lines follow; written as unsigned, used as signed.
  std::int32_t record_count;
  /// How many prefix values each record line carries.
  std::int32_t prefix_length;
};

/// Scans up to three integers from the NUL-terminated `line`: whitespace
/// (any run, none included), an optional sign and decimal digits, wrapping
/// modulo 2^32 without error. Stops at the first field that does not match.
/// Returns how many fields were stored in `*h` (0 to 3); the others are left
/// as they were.
int scan_header(const char* line, Header* h);

#endif
