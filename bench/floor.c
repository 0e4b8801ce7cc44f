/* The floor of a workload: what converting its generated input costs at the
 * least on this file system. It reads the input through once without
 * looking at it, then writes the very POS files tlf2pos writes (same names,
 * same stored bytes, same order) with one open, one write and one close per
 * file, and prints the same progress lines into a 4096-byte buffer. The
 * bytes come ready-made from the generator's bytes file, not from the text.
 *   bench_floor WORKLOAD input.tlf bytes-file */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "workload.h"

static char out_buffer[4096];
static size_t out_used;

static void out_flush(void) {
  if (out_used > 0 && write(STDOUT_FILENO, out_buffer, out_used) < 0)
    perror("floor: stdout");
  out_used = 0;
}

static void out_text(const char *s, size_t n) {
  while (n > 0) {
    size_t room = sizeof out_buffer - out_used;
    size_t k = n < room ? n : room;
    memcpy(out_buffer + out_used, s, k);
    out_used += k;
    s += k;
    n -= k;
    if (out_used == sizeof out_buffer)
      out_flush();
  }
}

/* Appends the non-negative v zero-filled to `width` digits. */
static char *put_field(char *p, unsigned v, int width) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = (char)('0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (int i = n; i < width; ++i)
    *p++ = '0';
  while (n > 0)
    *p++ = digits[--n];
  return p;
}

/* Appends one stored byte: 10 is stored as 13 10. */
static uint8_t *put_byte(uint8_t *p, uint8_t b) {
  if (b == 10)
    *p++ = 13;
  *p++ = b;
  return p;
}

int main(int argc, char **argv) {
  const struct workload *w = argc == 4 ? find_workload(argv[1]) : NULL;
  if (w == NULL) {
    fprintf(stderr, "usage: bench_floor WORKLOAD input.tlf bytes-file\n");
    return 2;
  }

  int in_bytes = open(argv[3], O_RDONLY | O_CLOEXEC);
  if (in_bytes < 0) {
    perror(argv[3]);
    return 2;
  }
  size_t per_record = (size_t)(w->prefix_length + w->pairs);

  int in = open(argv[2], O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    perror(argv[2]);
    return 2;
  }
  static char block[64 * 1024];
  ssize_t got;
  while ((got = read(in, block, sizeof block)) > 0) {
  }
  if (got < 0 || close(in) != 0) {
    perror(argv[2]);
    return 2;
  }
  out_text("input : ", 8);
  out_text(argv[2], strlen(argv[2]));
  out_text("\n", 1);

  /* The bytes file is read in blocks, as tlf2pos reads its input. */
  static uint8_t values[64 * 1024];
  size_t have = 0, used = 0;
  for (int i = 0; i < w->records; ++i) {
    if (have - used < per_record) {
      memmove(values, values + used, have - used);
      have -= used;
      used = 0;
      while (have < per_record) {
        ssize_t got = read(in_bytes, values + have, sizeof values - have);
        if (got <= 0) {
          fprintf(stderr, "floor: %s is too short\n", argv[3]);
          return 2;
        }
        have += (size_t)got;
      }
    }
    const uint8_t *prefix = values + used;
    used += per_record;
    for (int b = 0; b < w->pairs; ++b) {
      uint8_t branch = prefix[w->prefix_length + b];

      char name[32];
      char *n = put_field(name, (unsigned)w->prefix_length, 3);
      n = put_field(n, (unsigned)i, 3);
      n = put_field(n, (unsigned)b, 2);
      memcpy(n, ".pos", 5);
      size_t name_length = (size_t)(n - name) + 4;

      uint8_t bytes[2 * 258];
      uint8_t *p = put_byte(bytes, (uint8_t)(w->prefix_length + 1));
      for (int k = 0; k < w->prefix_length; ++k)
        p = put_byte(p, prefix[k]);
      p = put_byte(p, branch);

      int f = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      if (f < 0) {
        perror(name);
        return 2;
      }
      out_text("output : ", 9);
      out_text(name, name_length);
      out_text("\n", 1);
      size_t size = (size_t)(p - bytes);
      if (write(f, bytes, size) != (ssize_t)size) {
        perror(name);
        return 2;
      }
      if (close(f) != 0) {
        perror(name);
        return 2;
      }
    }
  }
  out_flush();
  close(in_bytes);
  return 0;
}
