/* The benchmark workloads, shared by the TULO generator and the floor
 * program. The generator draws every number from one fixed-seed sequence
 * and can write, next to the TULO text, the byte each prefix and branch
 * value stands for; the floor writes its POS files from those bytes, so it
 * makes exactly what tlf2pos makes without scanning any text. */
#ifndef TLF2POS_BENCH_WORKLOAD_H
#define TLF2POS_BENCH_WORKLOAD_H

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* How the numbers of a workload are written: the ways the programs that
 * write TULO files print their values. */
enum number_format {
  FORMAT_BYTES,    /* integers 0..255 */
  FORMAT_FIXED6,   /* %.6f: -123.456789 */
  FORMAT_INTEGER,  /* integers of up to six digits: -123456 */
  FORMAT_NUMPY,    /* numpy savetxt's default %.18e: -1.234567890123456789e+02 */
  FORMAT_REPR,     /* Python repr, the shortest text that reads back the same
                      double: -123.45678901234567 */
  FORMAT_G,        /* C's %g across magnitudes: 1.23457e-07 */
  FORMAT_E6_WIDE,  /* %.6e with exponents up to 300 in size: 5.123456e+187 */
  FORMAT_FORTRAN,  /* Fortran list output of a double: -0.12345678901234D+03 */
};

/* One workload: its record lines and how their numbers look. */
struct workload {
  const char *name;
  int records;       /* record lines */
  int prefix_length; /* prefix values per record line */
  int pairs;         /* branch pairs per record line */
  enum number_format format;
  /* The second number of a pair: written like the values, or a small
   * integer. */
  int second_in_format;
};

static const struct workload kWorkloads[] = {
    /* 200,000 POS files from short lines: creating files is the work. */
    {"files", 20000, 5, 10, FORMAT_BYTES, 0},
    /* About 50 MB of six-decimal values, one POS file per line: scanning
     * numbers is the work. */
    {"parse", 20000, 228, 1, FORMAT_FIXED6, 0},
    /* The same shape written by different programs: 5,000 record lines of
     * 228 prefix values and one branch pair each. */
    {"fixed6", 5000, 228, 1, FORMAT_FIXED6, 1},
    {"integers", 5000, 228, 1, FORMAT_INTEGER, 1},
    {"numpy", 5000, 228, 1, FORMAT_NUMPY, 1},
    {"repr", 5000, 228, 1, FORMAT_REPR, 1},
    {"g", 5000, 228, 1, FORMAT_G, 1},
    {"e6wide", 5000, 228, 1, FORMAT_E6_WIDE, 1},
    {"fortran", 5000, 228, 1, FORMAT_FORTRAN, 1},
};

/* The workload called `name`, or NULL. */
static inline const struct workload *find_workload(const char *name) {
  for (size_t i = 0; i < sizeof kWorkloads / sizeof kWorkloads[0]; ++i)
    if (strcmp(kWorkloads[i].name, name) == 0)
      return &kWorkloads[i];
  return NULL;
}

/* splitmix64: small, fast and the same everywhere. */
static inline uint64_t next_random(uint64_t *state) {
  uint64_t z = (*state += 0x9e3779b97f4a7c15u);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
  return z ^ (z >> 31);
}

/* Every run of every program starts the sequence here. */
#define WORKLOAD_SEED 20240607u

/* A double drawn evenly from (-1000, 1000) with all 53 bits random. */
static inline double draw_double(uint64_t r) {
  return ldexp((double)(r >> 11), -53) * 2000.0 - 1000.0;
}

/* Writes one number of format `f`, drawn from the sequence, into `out`
 * (room for 40 bytes) and returns its length. */
static inline int format_value(char *out, uint64_t *state, enum number_format f) {
  uint64_t r = next_random(state);
  const char *minus = (r & 1u) ? "-" : "";
  switch (f) {
  case FORMAT_BYTES:
    return snprintf(out, 40, "%u", (unsigned)(r % 256u));
  case FORMAT_FIXED6:
    return snprintf(out, 40, "%s%u.%06u", minus, (unsigned)((r >> 1) % 1000u),
                    (unsigned)((r >> 11) % 1000000u));
  case FORMAT_INTEGER:
    return snprintf(out, 40, "%s%u", minus, (unsigned)((r >> 1) % 1000000u));
  case FORMAT_NUMPY:
    return snprintf(out, 40, "%.18e", draw_double(r));
  case FORMAT_REPR: {
    double x = draw_double(r);
    int n = 0;
    for (int digits = 1; digits <= 17; ++digits) {
      n = snprintf(out, 40, "%.*g", digits, x);
      if (strtod(out, NULL) == x)
        break;
    }
    return n;
  }
  case FORMAT_G: {
    /* A mantissa in [1, 10) and a power of ten from 10^-15 to 10^15. */
    double m = 1.0 + ldexp((double)(r >> 12), -52) * 9.0;
    int e = (int)((r >> 1) % 31u) - 15;
    return snprintf(out, 40, "%s%g", minus, m * pow(10.0, e));
  }
  case FORMAT_E6_WIDE:
    return snprintf(out, 40, "%s%u.%06ue%+03d", minus, (unsigned)((r >> 1) % 9u) + 1u,
                    (unsigned)((r >> 5) % 1000000u), (int)((r >> 25) % 601u) - 300);
  case FORMAT_FORTRAN: {
    /* 0.d1...d14 times a power of ten: %.13e's digits, its exponent + 1. */
    char e[40];
    snprintf(e, sizeof e, "%.13e", fabs(draw_double(r)));
    int exponent = atoi(strchr(e, 'e') + 1) + 1;
    return snprintf(out, 40, "%s0.%c%.13sD%c%02d", minus, e[0], e + 2,
                    exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
  }
  }
  return 0;
}

/* The byte a written number stands for: the number read as the nearest
 * double (a D marker read as e), truncated toward zero, low 8 bits; 0 from
 * 2^63 in size on. */
static inline uint8_t text_byte(const char *text) {
  char copy[48];
  size_t n = strlen(text);
  if (n >= sizeof copy)
    n = sizeof copy - 1;
  for (size_t i = 0; i < n; ++i)
    copy[i] = (text[i] == 'd' || text[i] == 'D') ? 'e' : text[i];
  copy[n] = '\0';
  double v = strtod(copy, NULL);
  if (!(v < 9223372036854775808.0 && v > -9223372036854775808.0))
    return 0;
  return (uint8_t)(uint64_t)(int64_t)v;
}

#endif
