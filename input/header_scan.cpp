// Header integers: decimal, signed, silently wrapping in 32 bits.
#include "input/header_scan.hpp"

#include "input/number_syntax.hpp"

// Scans one integer at *p. On success stores it, moves *p past it and
// returns true; a sign without digits, or no digit, fails.
static bool scan_integer(const char** p, std::int32_t* out) {
  const char* q = *p;
  while (is_tulo_space(*q))
    ++q;
  bool negative = false;
  if (*q == '+' || *q == '-') {
    negative = *q == '-';
    ++q;
  }
  if (*q < '0' || *q > '9')
    return false;
  std::uint32_t v = 0;
  for (; *q >= '0' && *q <= '9'; ++q)
    v = v * 10u + static_cast<std::uint32_t>(*q - '0');
  if (negative)
    v = 0u - v;
  *out = static_cast<std::int32_t>(v);
  *p = q;
  return true;
}

int scan_header(const char* line, Header* h) {
  std::int32_t* fields[] = {&h->first, &h->record_count, &h->prefix_length};
  int n = 0;
  while (n < 3 && scan_integer(&line, fields[n]))
    ++n;
  return n;
}
