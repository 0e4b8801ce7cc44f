// The bytes of a POS file and writing one.
//
// A POS file holds the length byte (low 8 bits of the prefix length + 1),
// the prefix bytes and the branch byte, stored in the DOS text convention on
// every platform: each byte 10 becomes 13 10, nothing else changes and
// nothing is added.
#ifndef TLF2POS_POS_POS_FILE_HPP
#define TLF2POS_POS_POS_FILE_HPP

#include <cstddef>
#include <cstdint>

#include "platform/os.hpp"

/// Room for the stored bytes of a POS file with up to `max_prefix_length`
/// prefix values, every byte a 10.
constexpr std::size_t pos_bytes_room(int max_prefix_length) {
  return 2 * (static_cast<std::size_t>(max_prefix_length) + 2);
}

/// Writes the stored bytes of a POS file into `out`, which has room for
/// pos_bytes_room(prefix_length) bytes, and returns their count.
/// `prefix_length` may be negative: then no prefix byte is stored.
std::size_t pos_bytes(std::uint8_t* out, std::int32_t prefix_length, const std::uint8_t* prefix,
                      std::uint8_t branch);

/// Writes `size` stored bytes to the created POS file `f` and closes it.
/// Returns false if the write or the close failed, which sets `*last_error`;
/// the file is then closed, and removed if it is a regular file, so that no
/// short POS file stays (a symbolic link, FIFO or device at the name is left
/// alone).
bool pos_write_close(os_file f, const char* name, const std::uint8_t* bytes, std::size_t size,
                     LastError* last_error);

#endif
