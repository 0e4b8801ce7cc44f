// Micro-benchmarks of the record-line number scanner, next to
// std::from_chars on the very same tokens, and of the line reader.
//
// Each token set is one long NUL-terminated line of blank-separated numbers,
// as record lines hold them; the throughput figures count its bytes.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "input/line_reader.hpp"
#include "input/number_scan.hpp"

namespace {

constexpr int kTokens = 4096;

enum class Shape { kShortInteger, kSixDecimals, kExponent, kLongMantissa };

std::string make_line(Shape shape) {
  std::mt19937_64 rng(12345);
  std::string line;
  char buf[64];
  for (int i = 0; i < kTokens; ++i) {
    std::uint64_t r = rng();
    switch (shape) {
    case Shape::kShortInteger:
      std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(r % 256));
      break;
    case Shape::kSixDecimals:
      std::snprintf(buf, sizeof buf, "%s%u.%06u", (r & 1) ? "-" : "",
                    static_cast<unsigned>((r >> 1) % 1000),
                    static_cast<unsigned>((r >> 11) % 1000000));
      break;
    case Shape::kExponent:
      // e and E only: std::from_chars knows no d marker.
      std::snprintf(buf, sizeof buf, "%u.%03u%c%s%u",
                    static_cast<unsigned>(r % 10),
                    static_cast<unsigned>((r >> 4) % 1000),
                    (r & 0x10000) ? 'e' : 'E', (r & 0x20000) ? "-" : "",
                    static_cast<unsigned>((r >> 20) % 300));
      break;
    case Shape::kLongMantissa:
      std::snprintf(buf, sizeof buf, "%llu.%llu",
                    static_cast<unsigned long long>(r % 1000000000000ull),
                    static_cast<unsigned long long>(rng() % 10000000000000000ull));
      break;
    }
    if (i > 0)
      line += ' ';
    line += buf;
  }
  return line;
}

// The record loop's way: the line lies in a store that may be read to its
// end (here the string's own NUL).
void scan_line(benchmark::State& state, Shape shape) {
  const std::string line = make_line(shape);
  const char* store_end = line.c_str() + line.size() + 1;
  for (auto _ : state) {
    const char* p = line.c_str();
    double sum = 0;
    for (;;) {
      NumberScan s = scan_number_in_store(p, store_end);
      if (s.end == p)
        break;
      sum += s.value;
      p = s.end;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(line.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kTokens);
}

void from_chars_line(benchmark::State& state, Shape shape) {
  const std::string line = make_line(shape);
  const char* end = line.data() + line.size();
  for (auto _ : state) {
    const char* p = line.data();
    double sum = 0;
    while (p < end) {
      while (*p == ' ')
        ++p;
      double v = 0;
      auto r = std::from_chars(p, end, v);
      if (r.ptr == p)
        break;
      sum += v;
      p = r.ptr;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(line.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kTokens);
}

BENCHMARK_CAPTURE(scan_line, short_integer, Shape::kShortInteger);
BENCHMARK_CAPTURE(from_chars_line, short_integer, Shape::kShortInteger);
BENCHMARK_CAPTURE(scan_line, six_decimals, Shape::kSixDecimals);
BENCHMARK_CAPTURE(from_chars_line, six_decimals, Shape::kSixDecimals);
BENCHMARK_CAPTURE(scan_line, exponent, Shape::kExponent);
BENCHMARK_CAPTURE(from_chars_line, exponent, Shape::kExponent);
BENCHMARK_CAPTURE(scan_line, long_mantissa, Shape::kLongMantissa);
BENCHMARK_CAPTURE(from_chars_line, long_mantissa, Shape::kLongMantissa);

// The prefix values of record lines as the record loop scans them: lines of
// 228 six-decimal values, 64 different ones so that no branch predictor
// learns them by heart, each in a line store of its own.
void scan_prefix(benchmark::State& state) {
  constexpr int kLines = 64;
  constexpr int kValues = 228;
  constexpr std::size_t kStore = 8192;
  std::mt19937_64 rng(777);
  std::vector<char> stores(kLines * kStore, '\0');
  std::size_t bytes = 0;
  for (int i = 0; i < kLines; ++i) {
    std::string line;
    char buf[32];
    for (int k = 0; k < kValues; ++k) {
      std::uint64_t r = rng();
      std::snprintf(buf, sizeof buf, " %s%u.%06u", (r & 1) ? "-" : "",
                    static_cast<unsigned>((r >> 1) % 1000),
                    static_cast<unsigned>((r >> 11) % 1000000));
      line += buf;
    }
    line += '\n';
    std::memcpy(&stores[i * kStore], line.c_str(), line.size() + 1);
    bytes += line.size();
  }
  std::uint8_t prefix[kValues];
  for (auto _ : state) {
    for (int i = 0; i < kLines; ++i) {
      const char* store = &stores[i * kStore];
      bool range_error;
      const char* end = scan_bytes_in_store(store, store + kStore, kValues,
                                            prefix, &range_error);
      benchmark::DoNotOptimize(end);
      benchmark::DoNotOptimize(prefix);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLines *
                          kValues);
}
BENCHMARK(scan_prefix);

// The line reader over a text held in memory: record lines of 228
// six-decimal values ended by CR LF, handed out in 64 KiB blocks.
struct MemorySource {
  const std::string* text;
  std::size_t pos;
};

long memory_read(void* context, char* buffer, std::size_t size, int*) {
  auto* m = static_cast<MemorySource*>(context);
  std::size_t n = std::min(size, m->text->size() - m->pos);
  std::memcpy(buffer, m->text->data() + m->pos, n);
  m->pos += n;
  return static_cast<long>(n);
}

void read_lines(benchmark::State& state) {
  std::string line = make_line(Shape::kSixDecimals);
  std::string text;
  for (std::size_t start = 0; text.size() < (8u << 20);) {
    // Lines of about 2.6 KB, as the parse workload has.
    std::size_t cut = line.find(' ', start + 2600);
    if (cut == std::string::npos)
      start = 0, cut = line.find(' ', 2600);
    text.append(line, start, cut - start).append("\r\n");
    start = cut + 1;
  }
  static LineReader reader;
  static char store[8192];
  int last_error = 0;
  for (auto _ : state) {
    MemorySource source{&text, 0};
    line_reader_init(&reader, ByteSource{memory_read, &source}, false, &last_error);
    long lines = 0;
    while (read_line(&reader, store, sizeof store) > 0)
      ++lines;
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK(read_lines);

} // namespace

BENCHMARK_MAIN();
