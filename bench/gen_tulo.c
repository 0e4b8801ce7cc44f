/* Writes the TULO input of a benchmark workload to standard output and,
 * if a second path is given, the bytes its POS files hold (workload.h):
 *   bench_gen_tulo WORKLOAD|tiny [bytes-file] > input.tlf
 * The same workload always gives the same bytes (fixed seed). The large
 * workloads end their lines with CR LF, as TULO files written under DOS and
 * Windows do. */
#include <stdio.h>
#include <string.h>

#include "workload.h"

/* The three-line example of examples/tulo005.tlf, byte for byte. */
static const char kTiny[] =
    "5 2 5\n"
    "0 1 2 3 4 5 10 0.5 11 1.5\n"
    "1 -1 300 3.9 1e3 10.25 12 0\n";

int main(int argc, char **argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: bench_gen_tulo WORKLOAD|tiny [bytes-file] > input.tlf\n");
    return 2;
  }
  static char buffer[1 << 16];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  if (strcmp(argv[1], "tiny") == 0) {
    fputs(kTiny, stdout);
    return fflush(stdout) == 0 ? 0 : 1;
  }
  const struct workload *w = find_workload(argv[1]);
  if (w == NULL) {
    fprintf(stderr, "gen_tulo: no workload %s\n", argv[1]);
    return 2;
  }
  FILE *bytes = NULL;
  if (argc == 3 && (bytes = fopen(argv[2], "wb")) == NULL) {
    perror(argv[2]);
    return 2;
  }
  uint64_t state = WORKLOAD_SEED;
  printf("%d %d %d\r\n", w->prefix_length, w->records, w->prefix_length);
  for (int i = 0; i < w->records; ++i) {
    printf("%d", i);
    for (int k = 0; k < w->prefix_length + w->pairs; ++k) {
      char text[40];
      format_value(text, &state, w->format);
      printf(" %s", text);
      if (bytes != NULL)
        putc(text_byte(text), bytes);
      if (k >= w->prefix_length) {
        if (w->second_in_format)
          format_value(text, &state, w->format);
        else
          snprintf(text, sizeof text, "%u", (unsigned)(next_random(&state) % 1000u));
        printf(" %s", text);
      }
    }
    fputs("\r\n", stdout);
  }
  if (bytes != NULL && fclose(bytes) != 0) {
    perror(argv[2]);
    return 2;
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
