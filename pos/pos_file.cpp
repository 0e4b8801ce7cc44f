// POS file content and writing.
#include "pos/pos_file.hpp"

#include <cstring>

static inline std::uint8_t* put(std::uint8_t* out, std::uint8_t b) {
  if (b == 10)
    *out++ = 13;
  *out++ = b;
  return out;
}

std::size_t pos_bytes(std::uint8_t* out, std::int32_t prefix_length,
                      const std::uint8_t* prefix, std::uint8_t branch) {
  std::uint8_t* p = out;
  p = put(p, static_cast<std::uint8_t>(static_cast<std::uint32_t>(prefix_length) + 1u));
  if (prefix_length > 0) {
    // Prefix values of 10 are rare: most prefixes are stored as they are.
    std::size_t n = static_cast<std::size_t>(prefix_length);
    if (std::memchr(prefix, 10, n) == nullptr) {
      std::memcpy(p, prefix, n);
      p += n;
    } else {
      for (std::size_t i = 0; i < n; ++i)
        p = put(p, prefix[i]);
    }
  }
  p = put(p, branch);
  return static_cast<std::size_t>(p - out);
}

int pos_write_close(os_file f, const char* name, const std::uint8_t* bytes,
                    std::size_t size) {
  int error = 0;
  bool written = os_write_all(f, bytes, size, &error);
  int close_error = 0;
  bool closed = os_close(f, &close_error);
  if (written && closed)
    return 0;
  // A short POS file would pass for a good one; take it back.
  os_remove(name);
  return written ? close_error : error;
}
