// Scanning one record-line number, and reducing it to the byte a POS file
// stores.
#ifndef TLF2POS_INPUT_NUMBER_SCAN_HPP
#define TLF2POS_INPUT_NUMBER_SCAN_HPP

#include <cstdint>

#include "platform/last_error.hpp"

/// The outcome of scan_number.
struct NumberScan {
  /// Just past the number; the position given if no number was found.
  const char* end;
  /// The number rounded to double precision; 0 if none was found.
  double value;
};

/// Scans one decimal number from `p` in NUL-terminated text. A failed scan
/// gives 0 and consumes nothing, not even the whitespace it skipped. A
/// number out of the range of doubles sets `*last_error` to kErrorRange at
/// once; otherwise `*last_error` is left alone. Only the tests and fuzz
/// targets use it, as the plain scan the faster ones below must match; the
/// program scans record lines in the line store.
NumberScan scan_number(const char* p, LastError* last_error);

/// The same scan for text held in a store that ends at `store_end`: the
/// result is exactly scan_number's, but bytes from `p` up to `store_end`
/// may be read, past the text's NUL too (their values never matter), so
/// that digits are taken eight at a time. For record lines in the line
/// store.
NumberScan scan_number_in_store(const char* p, const char* store_end,
                                LastError* last_error);

/// Scans `count` numbers (none if it is 0 or less) one after another with
/// scan_number_in_store, each from where the previous one stopped, and
/// stores the byte_reduction of each value in `bytes`. Returns where the
/// last scan stopped (`p` if none moved). Each number out of range sets
/// `*last_error` to kErrorRange as it is scanned.
const char* scan_bytes_in_store(const char* p, const char* store_end, int count,
                                std::uint8_t* bytes, LastError* last_error);

/// 2^63: from this magnitude on, a value's byte is 0.
inline constexpr double kTwoToThe63 = 9223372036854775808.0;

/// The byte a value stands for in a POS file: the value truncated toward
/// zero to a signed 64-bit integer, low 8 bits; 0 for a magnitude of
/// kTwoToThe63 or more, infinity included.
constexpr std::uint8_t byte_reduction(double v) {
  if (!(v < kTwoToThe63 && v > -kTwoToThe63))
    return 0;
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(v)));
}

#endif
