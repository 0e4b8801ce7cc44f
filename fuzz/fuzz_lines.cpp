// Fuzz target: the line reader, fed with arbitrary read-block boundaries.
//
// Input layout: one control byte (low 3 bits: number of block sizes - 1;
// bit 3: the source ends with a failed read instead of the end of input;
// bits 4-5: number of line-store capacities - 1), then the block-size bytes,
// then the capacity bytes, then the file. The file is read three times: with
// the chosen block sizes in turn, one byte at a time, and all at once. The
// sequences of lines (length, bytes, error taken after the read) must be
// identical, and the lines must match a simple model of the text-mode rules
// built here from the bytes alone.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "input/line_reader.hpp"

#include "fuzz/fuzz_check.hpp"

namespace {

// Line-store capacities worth trying: tiny ones, and ones near the 8192 the
// program uses and near the reader's own block.
const int kCapacities[16] = {2,    3,    4,    5,    7,    8,     16,    100,
                             4095, 4096, 8191, 8192, 8193, 65535, 65536, 65537};

const LastError kReadFailure = kErrorRefused;

struct Feed {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
  const std::size_t* blocks;
  std::size_t block_count;
  std::size_t next_block;
  bool fail_at_end;
};

long feed_read(void* context, char* buffer, std::size_t size, LastError* error) {
  Feed* f = static_cast<Feed*>(context);
  // Asking for nothing would look like the end of the input.
  CHECK(size > 0);
  if (f->pos == f->size) {
    if (f->fail_at_end)
      *error = kReadFailure;
    return 0;
  }
  std::size_t n = f->blocks[f->next_block];
  f->next_block = (f->next_block + 1) % f->block_count;
  if (n > size)
    n = size;
  if (n > f->size - f->pos)
    n = f->size - f->pos;
  std::memcpy(buffer, f->data + f->pos, n);
  f->pos += n;
  return static_cast<long>(n);
}

struct Read {
  std::string bytes;
  int error;
  bool operator==(const Read& o) const { return bytes == o.bytes && error == o.error; }
};

// Large; one reader, re-initialised for every pass.
LineReader reader;
LastError last_error;

std::vector<Read> read_all(const std::uint8_t* data, std::size_t size, const std::size_t* blocks,
                           std::size_t block_count, bool fail_at_end, const int* capacities,
                           std::size_t capacity_count) {
  Feed feed{data, size, 0, blocks, block_count, 0, fail_at_end};
  last_error = kErrorNone;
  line_reader_init(&reader, ByteSource{feed_read, &feed}, false, &last_error);

  // A capacity with no room for a character reads nothing at all.
  char tiny[1] = {'x'};
  for (int capacity : {-1, 0, 1}) {
    CHECK(read_line(&reader, tiny, capacity) == 0);
    CHECK(last_error == 0);
  }
  CHECK(feed.pos == 0);

  // Stores exactly as large as their capacity, so an overrun is reported.
  std::vector<std::unique_ptr<char[]>> stores;
  for (std::size_t i = 0; i < capacity_count; ++i)
    stores.emplace_back(new char[static_cast<std::size_t>(capacities[i])]);

  std::vector<Read> out;
  for (std::size_t k = 0;; ++k) {
    int capacity = capacities[k % capacity_count];
    char* store = stores[k % capacity_count].get();
    int n = read_line(&reader, store, capacity);
    CHECK(n >= 0 && n < capacity);
    if (n > 0)
      CHECK(store[n] == '\0');
    out.push_back(Read{std::string(store, static_cast<std::size_t>(n)), last_error});
    last_error = kErrorNone;
    if (n == 0)
      break;
    CHECK(out.size() <= size + 1);
  }
  // The end stays the end.
  CHECK(read_line(&reader, stores[0].get(), capacities[0]) == 0);
  CHECK(last_error == 0);
  return out;
}

// The lines the text-mode rules make of `data`: CR LF is LF, a byte 26 ends
// everything, a line ends after its LF or when its store is full.
std::vector<std::string> model_lines(const std::uint8_t* data, std::size_t size,
                                     const int* capacities, std::size_t capacity_count) {
  std::string chars;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 26)
      break;
    if (data[i] == 13 && i + 1 < size && data[i + 1] == 10)
      continue; // the LF that follows stands for both
    chars += static_cast<char>(data[i]);
  }
  std::vector<std::string> lines;
  std::size_t pos = 0;
  for (std::size_t k = 0; pos < chars.size(); ++k) {
    std::size_t room = static_cast<std::size_t>(capacities[k % capacity_count]) - 1;
    std::size_t end = pos;
    while (end < chars.size() && end - pos < room) {
      if (chars[end++] == '\n')
        break;
    }
    lines.push_back(chars.substr(pos, end - pos));
    pos = end;
  }
  return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1)
    return -1;
  std::size_t block_count = (data[0] & 7u) + 1;
  bool fail_at_end = (data[0] & 8u) != 0;
  std::size_t capacity_count = ((data[0] >> 4) & 3u) + 1;
  if (size < 1 + block_count + capacity_count)
    return -1;

  std::size_t blocks[8];
  for (std::size_t i = 0; i < block_count; ++i) {
    unsigned b = data[1 + i];
    // Mostly small blocks, where the boundaries fall often; some large ones.
    blocks[i] = b < 200 ? b + 1 : (b - 199) * 1021u;
  }
  int capacities[4];
  for (std::size_t i = 0; i < capacity_count; ++i)
    capacities[i] = kCapacities[data[1 + block_count + i] & 15u];
  const std::uint8_t* file = data + 1 + block_count + capacity_count;
  std::size_t file_size = size - 1 - block_count - capacity_count;

  const std::size_t one[1] = {1};
  const std::size_t whole[1] = {static_cast<std::size_t>(-1)};
  std::vector<Read> chosen =
      read_all(file, file_size, blocks, block_count, fail_at_end, capacities, capacity_count);
  std::vector<Read> bytewise =
      read_all(file, file_size, one, 1, fail_at_end, capacities, capacity_count);
  std::vector<Read> at_once =
      read_all(file, file_size, whole, 1, fail_at_end, capacities, capacity_count);
  CHECK(chosen == bytewise);
  CHECK(chosen == at_once);

  // The lines are those of the model; the last read gives no line.
  std::vector<std::string> want = model_lines(file, file_size, capacities, capacity_count);
  CHECK(chosen.size() == want.size() + 1);
  for (std::size_t i = 0; i < want.size(); ++i)
    CHECK(chosen[i].bytes == want[i]);
  CHECK(chosen.back().bytes.empty());

  // A failed read is told exactly once, unless a byte 26 ended the input
  // before the source did.
  bool stopped_early = std::memchr(file, 26, file_size) != nullptr;
  int failures = 0;
  for (const Read& r : chosen) {
    if (r.error != 0) {
      CHECK(r.error == kReadFailure);
      ++failures;
    }
  }
  CHECK(failures == (fail_at_end && !stopped_early ? 1 : 0));
  return 0;
}
