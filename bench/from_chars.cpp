// The second reference: the plain program a user could write instead of
// tlf2pos for well-formed TULO files. It maps the file, reads each number
// with std::from_chars (a D exponent marker copied out as e), reduces each
// value to a byte as tlf2pos does and writes the same POS files and progress
// lines.
//   bench_from_chars input.tlf
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "from_chars_number.hpp"

static const char *p, *end;

static double number() {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\r'))
    ++p;
  double v = 0;
  p = from_chars_number(p, end, &v);
  return v;
}

static std::uint8_t byte_of(double v) {
  if (!(v < 9223372036854775808.0 && v > -9223372036854775808.0))
    return 0;
  return static_cast<std::uint8_t>(static_cast<std::int64_t>(v));
}

static bool line_has_more() {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\r'))
    ++p;
  return p < end && *p != '\n';
}

int main(int argc, char** argv) {
  int fd = argc == 2 ? open(argv[1], O_RDONLY) : -1;
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    std::perror(argc == 2 ? argv[1] : "usage: bench_from_chars input.tlf");
    return 2;
  }
  void* map = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) {
    std::perror(argv[1]);
    return 2;
  }
  p = static_cast<const char*>(map);
  end = p + st.st_size;
  std::printf("input : %s\n", argv[1]);
  number();
  int records = static_cast<int>(number());
  int prefix_length = static_cast<int>(number());
  std::uint8_t prefix[228];
  if (prefix_length > 228) {
    std::fprintf(stderr, "from_chars: prefix length above 228\n");
    return 2;
  }
  for (int i = 0; i < records; ++i) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))) + 1;
    number(); // the record key
    for (int k = 0; k < prefix_length; ++k)
      prefix[k] = byte_of(number());
    for (int b = 0; line_has_more(); ++b) {
      std::uint8_t branch = byte_of(number());
      number(); // the pair's second number
      char name[48];
      std::snprintf(name, sizeof name, "%03d%03d%02d.pos", prefix_length, i, b);
      std::uint8_t bytes[2 * 230];
      std::size_t n = 0;
      auto put = [&](std::uint8_t x) {
        if (x == 10)
          bytes[n++] = 13;
        bytes[n++] = x;
      };
      put(static_cast<std::uint8_t>(prefix_length + 1));
      for (int k = 0; k < prefix_length; ++k)
        put(prefix[k]);
      put(branch);
      int f = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (f < 0 || write(f, bytes, n) != static_cast<ssize_t>(n) || close(f) != 0) {
        std::perror(name);
        return 2;
      }
      std::printf("output : %s\n", name);
    }
  }
  return 0;
}
