// Record lines to POS files.
#ifndef TLF2POS_DRIVER_RECORD_CONVERSION_HPP
#define TLF2POS_DRIVER_RECORD_CONVERSION_HPP

#include <cstdint>

#include "driver/console.hpp"
#include "input/line_reader.hpp"
#include "pos/pos_file.hpp"
#include "pos/pos_name.hpp"

/// The most prefix values a record line may carry: the size of the prefix
/// store. 228 is the capacity the converter has always had: the manual page
/// and the README promise it, and a header asking for more is refused whole
/// rather than cut. It is no limit of the files themselves (a POS name's
/// three digits would take 999, its length byte 254).
inline constexpr int kMaxPrefixLength = 228;

/// The stores the record loop refills for every record line and POS file.
struct RecordStores {
  std::uint8_t prefix[kMaxPrefixLength];
  char name[kPosNameSize];
  std::uint8_t bytes[pos_bytes_room(kMaxPrefixLength)];
};

/// What the record loop works with, all of it the run's.
struct RecordInput {
  /// The input, positioned on the first record line.
  LineReader* reader;
  /// The line store, kLineStore bytes.
  char* line;
  /// The context of the report when a POS file fails.
  const char* input_path;
  /// Record lines to convert; none if 0 or less.
  std::int32_t record_count;
  /// Prefix values per record line; at most kMaxPrefixLength.
  std::int32_t prefix_length;
  RecordStores* stores;
  /// Where the "output : " lines go.
  Console* console;
  /// The run's last-error number, set by every failure and range error.
  LastError* last_error;
};

/// Converts the record lines of `in`, writing one POS file per branch pair.
/// Returns false after a failure, which it has already reported.
bool convert_records(const RecordInput& in);

#endif
