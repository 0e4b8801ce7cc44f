// POS file content and writing.
#include "pos/pos_file.hpp"

#include <cstring>

static inline std::uint8_t* put(std::uint8_t* out, std::uint8_t b) {
  if (b == 10)
    *out++ = 13;
  *out++ = b;
  return out;
}

std::size_t pos_bytes(std::uint8_t* out, std::int32_t prefix_length, const std::uint8_t* prefix,
                      std::uint8_t branch) {
  std::uint8_t* p = out;
  p = put(p, static_cast<std::uint8_t>(static_cast<std::uint32_t>(prefix_length) + 1u));
  if (prefix_length > 0) {
    // Only a 10 changes when stored: the bytes between tens are copied as
    // they are.
    const std::uint8_t* from = prefix;
    const std::uint8_t* end = prefix + prefix_length;
    while (from < end) {
      const void* ten = std::memchr(from, 10, static_cast<std::size_t>(end - from));
      const std::uint8_t* stop = ten ? static_cast<const std::uint8_t*>(ten) : end;
      std::size_t n = static_cast<std::size_t>(stop - from);
      std::memcpy(p, from, n);
      p += n;
      from = stop;
      if (ten) {
        *p++ = 13;
        *p++ = 10;
        ++from;
      }
    }
  }
  p = put(p, branch);
  return static_cast<std::size_t>(p - out);
}

bool pos_write_close(os_file f, const char* name, const std::uint8_t* bytes, std::size_t size,
                     LastError* last_error) {
  bool ok = os_write_all(f, bytes, size, last_error);
  ok = os_close(f, last_error) && ok;
  // A short POS file would pass for a good one; take it back.
  if (!ok)
    os_remove_file(name);
  return ok;
}
