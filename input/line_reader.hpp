// Reads a TULO file as DOS text, one line at a time, into a caller's store.
//
// The text-mode rules are the program's own on every platform: CR LF becomes
// LF, any other CR is kept, a byte 26 ends the input for good, NUL is an
// ordinary byte. Where the underlying reads split the bytes never shows.
#ifndef TLF2POS_INPUT_LINE_READER_HPP
#define TLF2POS_INPUT_LINE_READER_HPP

#include <cstddef>

#include "platform/last_error.hpp"

/// Where the reader gets its bytes: `read` fills up to `size` bytes and
/// returns how many; 0 at the end of the input, and 0 after a failed read,
/// which sets `*last_error` to its last-error number. Either way the input has
/// ended.
struct ByteSource {
  long (*read)(void* context, char* buffer, std::size_t size, LastError* last_error);
  void* context;
};

/// The line store every reader of TULO lines in the program passes to
/// read_line: lines of up to 8191 characters and a NUL.
inline constexpr int kLineStore = 8192;

/// Size of one read from the byte source.
inline constexpr std::size_t kReadBlock = 64 * 1024;

/// One input stream. Owned by the run; holds its read block, no allocation.
struct LineReader {
  ByteSource source;
  /// A console or other character device: a byte 26 there ends what was
  /// typed (it and the rest of the block are dropped), not the input.
  bool char_device;
  /// No byte will come any more: end of input, byte 26 or a failed read.
  bool ended;
  /// Set to the last-error number of a failed read, at the moment it fails.
  LastError* last_error;
  std::size_t pos;
  std::size_t len;
  char block[kReadBlock];
};

/// Prepares `r` to read from `source`; a failed read sets `*last_error`.
void line_reader_init(LineReader* r, ByteSource source, bool char_device, LastError* last_error);

/// Reads one line into `store`: at most `capacity` - 1 characters, up to and
/// including an LF, then a NUL byte. Returns the number of characters stored
/// (a NUL inside the line counts), or 0 when no line came: the input ended or
/// failed before the first character, or `capacity` is 0 or less.
int read_line(LineReader* r, char* store, int capacity);

#endif
