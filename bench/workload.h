/* The benchmark workloads, shared by the TULO generator and the floor
 * program. The generator draws every number from one fixed-seed sequence
 * and can write, next to the TULO text, the byte each prefix and branch
 * value stands for; the floor writes its POS files from those bytes, so it
 * makes exactly what tlf2pos makes without scanning any text. */
#ifndef TLF2POS_BENCH_WORKLOAD_H
#define TLF2POS_BENCH_WORKLOAD_H

#include <stdint.h>
#include <string.h>

/* One workload: its record lines and how their numbers look. */
struct workload {
  const char *name;
  int records;       /* record lines */
  int prefix_length; /* prefix values per record line */
  int pairs;         /* branch pairs per record line */
  int decimals;      /* prefix values as -123.456789 rather than 0..255 */
};

static const struct workload kWorkloads[] = {
    /* 200,000 POS files from short lines: creating files is the work. */
    {"files", 20000, 5, 10, 0},
    /* About 50 MB of six-decimal values, one POS file per line: scanning
     * numbers is the work. */
    {"parse", 20000, 228, 1, 1},
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

/* One number of a record line, as the generator writes it and as the floor
 * needs its byte: either the integer `whole` (0..255, never negative), or
 * the decimal [-]whole.fraction with six fraction digits. */
struct value {
  int negative;
  unsigned whole;
  unsigned fraction;
};

/* Draws a prefix value or branch value of workload `w`. */
static inline struct value draw_value(uint64_t *state,
                                      const struct workload *w) {
  uint64_t r = next_random(state);
  struct value v;
  if (w->decimals) {
    v.negative = (int)(r & 1u);
    v.whole = (unsigned)((r >> 1) % 1000u);
    v.fraction = (unsigned)((r >> 11) % 1000000u);
  } else {
    v.negative = 0;
    v.whole = (unsigned)(r % 256u);
    v.fraction = 0;
  }
  return v;
}

/* Draws the discarded second number of a branch pair: a small integer. */
static inline unsigned draw_second(uint64_t *state) {
  return (unsigned)(next_random(state) % 1000u);
}

/* The byte a value becomes: truncated toward zero, low 8 bits. The bytes
 * file holds, for each record line, its prefix bytes and then the branch
 * byte of each pair. */
static inline uint8_t value_byte(struct value v) {
  return (uint8_t)(v.negative ? 0u - v.whole : v.whole);
}

#endif
