// The text-mode line reader, fed through every pattern of read blocks.
#include "input/line_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kStore = 8192;
constexpr std::size_t kWhole = static_cast<std::size_t>(-1);

// Hands out `data` in blocks whose sizes repeat `sizes` (each also limited by
// what the reader asks for). With fail_at set, the read that would deliver
// the byte at that offset fails instead with error 9.
struct MemorySource {
  std::string data;
  const char* block_end = nullptr; // where the reader's block ends
  std::vector<std::size_t> sizes;
  std::size_t fail_at = kWhole;
  std::size_t pos = 0;
  std::size_t next_size = 0;
  int calls = 0;

  static long read(void* context, char* buffer, std::size_t size, LastError* error) {
    auto* s = static_cast<MemorySource*>(context);
    ++s->calls;
    EXPECT_LE(buffer + size, s->block_end);
    if (s->pos >= s->fail_at) {
      *error = kErrorRefused;
      return 0;
    }
    std::size_t n = std::min({size, s->sizes[s->next_size++ % s->sizes.size()],
                              s->data.size() - s->pos, s->fail_at - s->pos});
    std::memcpy(buffer, s->data.data() + s->pos, n);
    s->pos += n;
    return static_cast<long>(n);
  }
};

struct Reader {
  MemorySource source;
  LastError last_error = kErrorNone;
  std::unique_ptr<LineReader> reader = std::make_unique<LineReader>();

  Reader(std::string data, std::vector<std::size_t> sizes, bool char_device = false,
         std::size_t fail_at = kWhole) {
    source.data = std::move(data);
    source.sizes = std::move(sizes);
    source.fail_at = fail_at;
    source.block_end = reader->block + sizeof reader->block;
    // Stale bytes where a reused reader would have them: init sets all.
    std::memset(static_cast<void*>(reader.get()), 0xa5, sizeof *reader);
    line_reader_init(reader.get(), ByteSource{&MemorySource::read, &source}, char_device,
                     &last_error);
  }

  // Reads until no line comes; checks each line's count and NUL ending.
  std::vector<std::string> lines(int capacity = kStore) {
    std::vector<std::string> out;
    std::vector<char> store(static_cast<std::size_t>(capacity) + 1, '#');
    for (;;) {
      int n = read_line(reader.get(), store.data(), capacity);
      if (n == 0)
        break;
      EXPECT_GT(n, 0);
      EXPECT_LE(n, capacity - 1);
      EXPECT_EQ(store[static_cast<std::size_t>(n)], '\0');
      EXPECT_EQ(store[static_cast<std::size_t>(capacity)], '#'); // never past the store
      out.emplace_back(store.data(), static_cast<std::size_t>(n));
      if (out.size() > (1u << 22)) {
        ADD_FAILURE() << "reader does not stop";
        break;
      }
    }
    return out;
  }
};

std::vector<std::vector<std::size_t>> block_patterns() {
  std::vector<std::vector<std::size_t>> p = {{1}, {2}, {3}, {7}, {4096}, {kWhole}};
  std::mt19937 rng(4711);
  for (int i = 0; i < 6; ++i) {
    std::vector<std::size_t> sizes;
    std::size_t top = i % 2 == 0 ? 5 : 9000;
    for (int j = 0; j < 37; ++j)
      sizes.push_back(1 + rng() % top);
    p.push_back(sizes);
  }
  return p;
}

std::string describe(const std::vector<std::size_t>& sizes) {
  std::string s = "blocks";
  for (std::size_t i = 0; i < sizes.size() && i < 8; ++i)
    s += " " + (sizes[i] == kWhole ? std::string("whole") : std::to_string(sizes[i]));
  return s;
}

std::string xs(std::size_t n) { return std::string(n, 'x'); }

struct Case {
  const char* name;
  std::string input;
  std::vector<std::string> lines;
};

std::vector<Case> cases() {
  // A CR LF pair straddling the reader's own block.
  std::string straddle = xs(kReadBlock - 1) + "\r\n" + "tail\r";
  std::vector<std::string> straddle_lines;
  for (std::size_t left = kReadBlock - 1; left > 0; left -= std::min<std::size_t>(left, 8191))
    straddle_lines.push_back(xs(std::min<std::size_t>(left, 8191)));
  straddle_lines.back() += "\n";
  straddle_lines.push_back("tail\r");

  std::string cr_only;
  for (int i = 0; i < 3000; ++i)
    cr_only += "abcd\r";
  return {
      {"CR LF pairs", "1\r\n2\r\n", {"1\n", "2\n"}},
      {"LF alone", "1\n\n2\n", {"1\n", "\n", "2\n"}},
      {"no final line end", "a\nb", {"a\n", "b"}},
      {"CR CR LF", "a\r\r\nb", {"a\r\n", "b"}},
      {"lone CR kept", "a\rb\n", {"a\rb\n"}},
      {"CR last byte", "ab\r", {"ab\r"}},
      {"only a CR", "\r", {"\r"}},
      {"CR runs", "\r\r\r\n\r", {"\r\r\n", "\r"}},
      {"LF CR", "\n\r\n", {"\n", "\n"}},
      {"byte 26 ends the input",
       "ab\x1a"
       "cd\nef\n",
       {"ab"}},
      {"byte 26 after a line",
       "ab\n\x1a"
       "cd\n",
       {"ab\n"}},
      {"byte 26 first",
       "\x1a"
       "ab\n",
       {}},
      {"CR before byte 26", "a\r\x1a\n", {"a\r"}},
      {"NUL delivered",
       std::string("a\0b\n\0", 5),
       {std::string("a\0b\n", 4), std::string(1, '\0')}},
      {"empty input", "", {}},
      {"10000 characters", xs(10000) + "\n", {xs(8191), xs(1809) + "\n"}},
      {"8190 characters and CR LF", xs(8190) + "\r\n", {xs(8190) + "\n"}},
      {"8191 characters and CR LF", xs(8191) + "\r\nz", {xs(8191), "\n", "z"}},
      {"8191 characters and LF", xs(8191) + "\n", {xs(8191), "\n"}},
      {"8192 characters and CR LF", xs(8192) + "\r\n", {xs(8191), "x\n"}},
      {"8190 characters and CR CR", xs(8190) + "\r\r", {xs(8190) + "\r", "\r"}},
      {"lines ended by CR alone", cr_only, {cr_only.substr(0, 8191), cr_only.substr(8191, 6809)}},
      {"CR LF across the read block", straddle, straddle_lines},
  };
}

TEST(LineReader, SameLinesForEveryBlockPattern) {
  for (const Case& c : cases()) {
    for (const auto& sizes : block_patterns()) {
      SCOPED_TRACE(std::string(c.name) + ", " + describe(sizes));
      Reader r(c.input, sizes);
      EXPECT_EQ(r.lines(), c.lines);
      EXPECT_EQ(r.last_error, 0);
    }
  }
}

// What the text-mode rules say, applied to the whole input at once: CR LF
// is LF, byte 26 ends everything, then lines end after LF or when full.
std::vector<std::string> model(const std::string& in, int capacity) {
  std::string text;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == 26)
      break;
    if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n')
      continue;
    text += in[i];
  }
  std::vector<std::string> lines;
  std::string line;
  for (char ch : text) {
    line += ch;
    if (ch == '\n' || static_cast<int>(line.size()) == capacity - 1) {
      lines.push_back(line);
      line.clear();
    }
  }
  if (!line.empty())
    lines.push_back(line);
  return lines;
}

TEST(LineReader, RandomInputsMatchTheTextRules) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 400; ++i) {
    std::string in;
    std::size_t length = rng() % (i % 10 == 0 ? 140000 : 300);
    bool long_lines = i % 20 == 10; // LF rare: lines get cut when full
    for (std::size_t j = 0; j < length; ++j) {
      unsigned pick = rng() % 10;
      char ch = pick < 4 ? 'a' : pick < 6 ? '\r' : pick < 8 ? '\n' : pick < 9 ? '\0' : ' ';
      if (ch == '\n' && long_lines && rng() % 4000 != 0)
        ch = 'a';
      in += ch;
    }
    // A byte 26 in some inputs only, so that most run to their end.
    if (i % 4 == 3 && !in.empty())
      in[rng() % in.size()] = 26;
    int capacity = i % 3 == 0 ? 2 + static_cast<int>(rng() % 40) : kStore;
    std::vector<std::size_t> sizes;
    for (int j = 0; j < 11; ++j)
      sizes.push_back(1 + rng() % (i % 2 ? 4 : 70000));
    SCOPED_TRACE("input " + std::to_string(i) + ", capacity " + std::to_string(capacity) + ", " +
                 describe(sizes));
    Reader r(in, sizes);
    ASSERT_EQ(r.lines(capacity), model(in, capacity));
  }
}

TEST(LineReader, SmallCapacities) {
  Reader r("abcde\r\nf", {kWhole});
  EXPECT_EQ(r.lines(3), (std::vector<std::string>{"ab", "cd", "e\n", "f"}));
}

TEST(LineReader, CapacityZeroOrLessReadsNothing) {
  for (int capacity : {0, -1, -8192}) {
    Reader r("a\nb\n", {kWhole});
    char store[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(read_line(r.reader.get(), store, capacity), 0);
    EXPECT_EQ(r.source.calls, 0);
    EXPECT_EQ(store[0], '#');
    EXPECT_EQ(r.lines(), (std::vector<std::string>{"a\n", "b\n"}));
  }
}

TEST(LineReader, NothingAfterTheEnd) {
  struct Case {
    std::string input;
    int lines;
  };
  const Case cases[] = {{"", 0},
                        {"a\n", 1},
                        {"a\x1a"
                         "b\n",
                         1},
                        {"\x1a\n", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input));
    Reader r(c.input, {1});
    EXPECT_EQ(static_cast<int>(r.lines().size()), c.lines);
    char store[kStore];
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(read_line(r.reader.get(), store, kStore), 0);
    EXPECT_TRUE(r.reader->ended);
    EXPECT_EQ(r.last_error, 0);
  }
}

TEST(LineReader, ReadFailureEndsTheInputWithItsError) {
  struct Case {
    std::string input;
    std::size_t fail_at;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"ab\ncd\n", 0, {}},
      {"ab\ncd\n", 4, {"ab\n", "c"}},
      {"ab\ncd\n", 3, {"ab\n"}},
      {"a\r\nb", 2, {"a\r"}}, // the CR's partner never came
  };
  for (const Case& c : cases) {
    for (const auto& sizes : block_patterns()) {
      SCOPED_TRACE(::testing::PrintToString(c.input) + " failing at " + std::to_string(c.fail_at) +
                   ", " + describe(sizes));
      Reader r(c.input, sizes, false, c.fail_at);
      EXPECT_EQ(r.lines(), c.lines);
      EXPECT_EQ(r.last_error, 9);
      EXPECT_TRUE(r.reader->ended);
      int calls = r.source.calls;
      char store[kStore];
      EXPECT_EQ(read_line(r.reader.get(), store, kStore), 0);
      EXPECT_EQ(r.source.calls, calls);
    }
  }
}

// From a console a byte 26 ends only what was typed: it and the rest of its
// block go, and later blocks are read as before.
TEST(LineReader, CharacterDeviceDropsTheRestOfTheBlock) {
  struct Case {
    std::vector<std::string> blocks;
    std::vector<std::string> device_lines;
    std::vector<std::string> file_lines;
  };
  const Case cases[] = {
      {{"a\n",
        "\x1a"
        "xyz\n",
        "b\n"},
       {"a\n", "b\n"},
       {"a\n"}},
      {{"ab\x1a"
        "cd\n",
        "ef\n"},
       {"abef\n"},
       {"ab"}},
      {{"a\n\x1a", "b\x1a", "\x1a\x1a", "c\n"}, {"a\n", "bc\n"}, {"a\n"}},
      {{"\x1a"}, {}, {}},
      {{"a\r",
        "\n\x1a"
        "q",
        "\r\n"},
       {"a\n", "\n"},
       {"a\n"}},
  };
  for (const Case& c : cases) {
    std::string data;
    std::vector<std::size_t> sizes;
    for (const std::string& b : c.blocks) {
      data += b;
      sizes.push_back(b.size());
    }
    SCOPED_TRACE(::testing::PrintToString(c.blocks));
    Reader device(data, sizes, true);
    EXPECT_EQ(device.lines(), c.device_lines);
    Reader file(data, sizes, false);
    EXPECT_EQ(file.lines(), c.file_lines);
  }
}

} // namespace
