// Micro-benchmarks of the record-line number scanner, next to
// std::from_chars on the very same tokens, and of the line reader.
//
// Each token set is one long NUL-terminated line of blank-separated numbers,
// as record lines hold them, written the ways of the benchmark workloads;
// the throughput figures count its bytes. scan_prefix is the record loop's
// prefix scan, scan_line the value of each number, from_chars_line a user's
// program.
//
// The sets are large enough that no branch predictor learns them by heart
// (a few thousand numbers, run again and again, are learnt, and then the
// figures flatter the scanner): 2,048 record lines for scan_prefix, 262,144
// numbers for the others, several MB, as many as the whole program meets.
// "per_value" is the time per number, to set beside bench/run.sh's ns per
// value, which is the whole program's CPU beyond the floor's (the files,
// the line reading and the record loop's other work included) per number.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/from_chars_number.hpp"
#include "bench/workload.h"
#include "input/line_reader.hpp"
#include "input/number_scan.hpp"

namespace {

constexpr int kTokens = 262144;

// The token sets: the seven ways the benchmark workloads write numbers
// (bench/workload.h), and mantissas longer than 19 digits.
enum class Shape {
  kFixed6,
  kInteger,
  kNumpy,
  kRepr,
  kG,
  kE6Wide,
  kFortran,
  kLongMantissa
};

// One number of `shape` into `buf` (40 bytes).
void make_token(char* buf, Shape shape, std::uint64_t* state) {
  static const number_format kFormat[] = {FORMAT_FIXED6, FORMAT_INTEGER, FORMAT_NUMPY,
                                          FORMAT_REPR,   FORMAT_G,       FORMAT_E6_WIDE,
                                          FORMAT_FORTRAN};
  if (shape != Shape::kLongMantissa) {
    format_value(buf, state, kFormat[static_cast<int>(shape)]);
    return;
  }
  std::uint64_t r = next_random(state);
  std::snprintf(buf, 40, "%llu.%llu", static_cast<unsigned long long>(r % 1000000000000ull),
                static_cast<unsigned long long>(next_random(state) % 10000000000000000ull));
}

std::string make_line(Shape shape) {
  std::uint64_t state = WORKLOAD_SEED;
  std::string line;
  char buf[40];
  for (int i = 0; i < kTokens; ++i) {
    make_token(buf, shape, &state);
    if (i > 0)
      line += ' ';
    line += buf;
  }
  return line;
}

// The time per number, inverted from the rate of numbers.
void count_per_value(benchmark::State& state, std::int64_t values) {
  state.counters["per_value"] = benchmark::Counter(
      static_cast<double>(values),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The record loop's way: the line lies in a store that may be read to its
// end (here the string's own NUL).
void scan_line(benchmark::State& state, Shape shape) {
  const std::string line = make_line(shape);
  const char* store_end = line.c_str() + line.size() + 1;
  LastError last_error = kErrorNone;
  for (auto _ : state) {
    const char* p = line.c_str();
    double sum = 0;
    for (;;) {
      NumberScan s = scan_number_in_store(p, store_end, &last_error);
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
  count_per_value(state, kTokens);
}

// What a user's program does: std::from_chars on each token, a D exponent
// marker copied out as e (bench/from_chars.cpp).
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
      const char* q = from_chars_number(p, end, &v);
      if (q == p)
        break;
      sum += v;
      p = q;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(line.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kTokens);
  count_per_value(state, kTokens);
}

// The prefix values of record lines as the record loop scans them: lines of
// 228 values, 2,048 different ones so that no branch predictor learns them
// by heart, each in a line store of its own.
void scan_prefix(benchmark::State& state, Shape shape) {
  constexpr int kLines = 2048;
  constexpr int kValues = 228;
  constexpr std::size_t kStore = 8192;
  std::uint64_t seed = WORKLOAD_SEED;
  std::vector<char> stores(kLines * kStore, '\0');
  std::size_t bytes = 0;
  for (int i = 0; i < kLines; ++i) {
    std::string line;
    char buf[40];
    for (int k = 0; k < kValues; ++k) {
      make_token(buf, shape, &seed);
      line += ' ';
      line += buf;
    }
    line += "\r\n";
    std::memcpy(&stores[i * kStore], line.c_str(), line.size() + 1);
    bytes += line.size();
  }
  std::uint8_t prefix[kValues];
  for (auto _ : state) {
    for (int i = 0; i < kLines; ++i) {
      const char* store = &stores[i * kStore];
      LastError last_error = kErrorNone;
      const char* end = scan_bytes_in_store(store, store + kStore, kValues,
                                            prefix, &last_error);
      benchmark::DoNotOptimize(end);
      benchmark::DoNotOptimize(prefix);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLines *
                          kValues);
  count_per_value(state, std::int64_t{kLines} * kValues);
}

#define TLF2POS_SHAPE(name, shape)                                             \
  BENCHMARK_CAPTURE(scan_prefix, name, shape);                                 \
  BENCHMARK_CAPTURE(scan_line, name, shape);                                   \
  BENCHMARK_CAPTURE(from_chars_line, name, shape)

TLF2POS_SHAPE(fixed6, Shape::kFixed6);
TLF2POS_SHAPE(integers, Shape::kInteger);
TLF2POS_SHAPE(numpy, Shape::kNumpy);
TLF2POS_SHAPE(repr, Shape::kRepr);
TLF2POS_SHAPE(g, Shape::kG);
TLF2POS_SHAPE(e6wide, Shape::kE6Wide);
TLF2POS_SHAPE(fortran, Shape::kFortran);
TLF2POS_SHAPE(long_mantissa, Shape::kLongMantissa);

// The line reader over a text held in memory: record lines of 228
// six-decimal values ended by CR LF, handed out in 64 KiB blocks.
struct MemorySource {
  const std::string* text;
  std::size_t pos;
};

long memory_read(void* context, char* buffer, std::size_t size, LastError*) {
  auto* m = static_cast<MemorySource*>(context);
  std::size_t n = std::min(size, m->text->size() - m->pos);
  std::memcpy(buffer, m->text->data() + m->pos, n);
  m->pos += n;
  return static_cast<long>(n);
}

void read_lines(benchmark::State& state) {
  std::string line = make_line(Shape::kFixed6);
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
  LastError last_error = kErrorNone;
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
