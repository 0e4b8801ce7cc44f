// Decimal syntax of record-line numbers.
#include "input/number_syntax.hpp"

static inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Adds the digits [p, end) to the significant-digit integer.
static inline void gather(const char* p, const char* end, DecimalToken* t) {
  std::uint64_t m = t->mantissa;
  int sig = t->significant;
  for (; p != end && sig <= 19; ++p) {
    unsigned d = static_cast<unsigned>(*p - '0');
    if (sig == 19) {
      // A twentieth significant digit: the integer is no longer the number.
      sig = 20;
      break;
    }
    m = m * 10 + d;
    if (m != 0)
      ++sig;
  }
  t->mantissa = m;
  t->significant = sig;
}

bool scan_decimal_syntax(const char* p, DecimalToken* t) {
  while (is_tulo_space(*p))
    ++p;
  t->negative = false;
  if (*p == '+' || *p == '-') {
    t->negative = *p == '-';
    ++p;
  }
  t->int_digits = p;
  while (is_digit(*p))
    ++p;
  t->int_count = static_cast<int>(p - t->int_digits);
  t->frac_digits = p;
  t->frac_count = 0;
  if (*p == '.') {
    const char* f = p + 1;
    const char* q = f;
    while (is_digit(*q))
      ++q;
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

  t->mantissa = 0;
  t->significant = 0;
  gather(t->int_digits, t->int_digits + t->int_count, t);
  gather(t->frac_digits, t->frac_digits + t->frac_count, t);
  return true;
}
