// The decimal syntax of record-line numbers: the one grammar.
#include "input/number_syntax.hpp"

#include "decimal/digit_runs.hpp"

static inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The end of the run of digits at p: eight bytes at a time while they end
// at or before readable_end, then byte by byte.
static inline const char* skip_digits(const char* p, const char* readable_end) {
  while (readable_end - p >= 8) {
    unsigned n = digit_run(eight_bytes(p));
    p += n;
    if (n < 8)
      return p;
  }
  while (is_digit(*p))
    ++p;
  return p;
}

bool scan_decimal_syntax(const char* p, const char* readable_end, DecimalToken* t) {
  while (is_tulo_space(*p))
    ++p;
  t->negative = false;
  if (*p == '+' || *p == '-') {
    t->negative = *p == '-';
    ++p;
  }
  t->int_digits = p;
  p = skip_digits(p, readable_end);
  t->int_count = static_cast<int>(p - t->int_digits);
  t->frac_digits = p;
  t->frac_count = 0;
  if (*p == '.') {
    const char* f = p + 1;
    const char* q = skip_digits(f, readable_end);
    if (t->int_count == 0 && q == f)
      return false; // a point alone is no number
    t->frac_digits = f;
    t->frac_count = static_cast<int>(q - f);
    p = q;
  } else if (t->int_count == 0) {
    return false;
  }

  // An exponent counts only with a digit after its marker and sign; "1e"
  // stops before the marker.
  t->exponent = 0;
  if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') {
    const char* q = p + 1;
    bool negative = false;
    if (*q == '+' || *q == '-') {
      negative = *q == '-';
      ++q;
    }
    if (is_digit(*q)) {
      std::int64_t e = 0;
      for (; is_digit(*q); ++q)
        e = e < 100000000 ? e * 10 + (*q - '0') : 999999999;
      t->exponent = negative ? -e : e;
      p = q;
    }
  }
  t->end = p;
  return true;
}
