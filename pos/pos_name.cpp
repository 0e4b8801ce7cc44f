// POS file names.
#include "pos/pos_name.hpp"

// Appends v as "%0*d" with the given width and returns the new end.
static char* put_field(char* out, std::int32_t v, int width) {
  std::uint32_t u = static_cast<std::uint32_t>(v);
  if (v < 0) {
    *out++ = '-';
    u = 0u - u; // exact for INT32_MIN too
    --width;    // the sign takes a place within the width
  }
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  for (int i = n; i < width; ++i)
    *out++ = '0';
  while (n > 0)
    *out++ = digits[--n];
  return out;
}

int pos_name(char* name, std::int32_t prefix_length, std::int32_t record_index,
             std::int32_t branch_index) {
  char* p = put_field(name, prefix_length, 3);
  p = put_field(p, record_index, 3);
  p = put_field(p, branch_index, 2);
  const char ext[] = ".pos";
  for (char c : ext)
    *p++ = c;
  return static_cast<int>(p - name) - 1;
}
