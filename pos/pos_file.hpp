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

/// The most prefix values a record line may carry.
inline constexpr int kMaxPrefixLength = 228;

/// Room for the stored bytes of the largest POS file, every byte a 10.
inline constexpr std::size_t kPosBytesSize = 2 * (kMaxPrefixLength + 2);

/// Writes the stored bytes of a POS file into `out` (kPosBytesSize bytes)
/// and returns their count. `prefix_length` may be negative (then no prefix
/// byte is stored) and must not exceed kMaxPrefixLength.
std::size_t pos_bytes(std::uint8_t* out, std::int32_t prefix_length,
                      const std::uint8_t* prefix, std::uint8_t branch);

/// Writes `size` stored bytes to the created POS file `f` and closes it. On
/// failure the file is closed and removed, so no short file stays, and the
/// last-error number of the failure is returned; 0 on success.
int pos_write_close(os_file f, const char* name, const std::uint8_t* bytes,
                    std::size_t size);

#endif
