// How a user's program reads one number of a TULO line with std::from_chars,
// which knows no D exponent marker: a token stopped at one is copied out
// with an e. Shared by the from_chars reference program and the
// micro-benchmarks.
#ifndef TLF2POS_BENCH_FROM_CHARS_NUMBER_HPP
#define TLF2POS_BENCH_FROM_CHARS_NUMBER_HPP

#include <charconv>
#include <cstddef>

/// Reads the number at `p` (no whitespace before it) into `*v`; returns
/// where it ends, `p` if there is none.
inline const char* from_chars_number(const char* p, const char* end, double* v) {
  auto r = std::from_chars(p, end, *v);
  if (r.ptr < end && (*r.ptr == 'd' || *r.ptr == 'D')) {
    char copy[64];
    std::size_t n = 0;
    for (const char* q = p; q < end && n < sizeof copy && *q > ' '; ++q)
      copy[n++] = *q == 'd' || *q == 'D' ? 'e' : *q;
    return p + (std::from_chars(copy, copy + n, *v).ptr - copy);
  }
  return r.ptr;
}

#endif
