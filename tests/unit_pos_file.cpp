// The stored bytes of a POS file, and writing them out.
#include "pos/pos_file.hpp"

#include "driver/record_conversion.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// Room for the largest POS file the record loop writes.
constexpr std::size_t kPosBytesSize = pos_bytes_room(kMaxPrefixLength);

// Stored bytes, with guard bytes behind kPosBytesSize.
Bytes stored(std::int32_t prefix_length, const Bytes& prefix, std::uint8_t branch) {
  std::vector<std::uint8_t> out(kPosBytesSize + 8, 0xEE);
  std::size_t n = pos_bytes(out.data(), prefix_length, prefix.data(), branch);
  EXPECT_LE(n, kPosBytesSize);
  for (std::size_t i = kPosBytesSize; i < out.size(); ++i)
    EXPECT_EQ(out[i], 0xEE) << "byte " << i << " written";
  out.resize(n);
  return out;
}

TEST(PosBytes, Contents) {
  struct Case {
    const char* what;
    std::int32_t prefix_length;
    Bytes prefix;
    std::uint8_t branch;
    Bytes bytes;
  };
  const Case cases[] = {
      {"five prefix bytes", 5, {1, 2, 3, 4, 5}, 6, {6, 1, 2, 3, 4, 5, 6}},
      {"worked example", 3, {7, 8, 9}, 6, {4, 7, 8, 9, 6}},
      {"no prefix", 0, {}, 7, {1, 7}},
      {"branch 0", 0, {}, 0, {1, 0}},
      {"LF as CR LF", 2, {10, 1}, 10, {3, 13, 10, 1, 13, 10}},
      {"CR, 26 and 0 unchanged", 3, {13, 26, 0}, 13, {4, 13, 26, 0, 13}},
      {"CR LF as logical bytes", 2, {13, 10}, 255, {3, 13, 13, 10, 255}},
      {"prefix length 9", 9, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 200,
       {13, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 200}},
      // A negative prefix length stores the length byte and the branch only.
      {"prefix length -1", -1, {}, 5, {0, 5}},
      {"prefix length -2", -2, {}, 5, {255, 5}},
      {"prefix length -5", -5, {}, 5, {252, 5}},
      {"prefix length -247", -247, {}, 10, {13, 10, 13, 10}},
      {"prefix length INT32_MIN", INT32_MIN, {}, 26, {1, 26}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(stored(c.prefix_length, c.prefix, c.branch), c.bytes);
  }
}

TEST(PosBytes, LargestFileAllTens) {
  Bytes prefix(kMaxPrefixLength, 10);
  Bytes want = {229};
  for (int i = 0; i < kMaxPrefixLength + 1; ++i) {
    want.push_back(13);
    want.push_back(10);
  }
  EXPECT_EQ(stored(kMaxPrefixLength, prefix, 10), want);

  // The length byte 229 is no LF, so all tens but it fill the whole room.
  Bytes got = stored(kMaxPrefixLength, prefix, 10);
  EXPECT_EQ(got.size(), kPosBytesSize - 1);
}

TEST(PosBytes, EveryByteValue) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    std::uint8_t v = static_cast<std::uint8_t>(b);
    Bytes want = b == 10 ? Bytes{2, 13, 10, 13, 10} : Bytes{2, v, v};
    EXPECT_EQ(stored(1, {v}, v), want);
  }
}

#ifndef _WIN32

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PosWrite : public ::testing::Test {
protected:
  void SetUp() override {
    // In TMPDIR, as every scratch folder of the tests.
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/tlf2pos_unit_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string path(const char* name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(PosWrite, WritesTheBytesAndCloses) {
  std::string name = path("00300000.pos");
  LastError error = kErrorNone;
  os_file f = os_create(name.c_str(), &error);
  ASSERT_NE(f, os_no_file) << error;
  const std::uint8_t bytes[] = {4, 13, 10, 0, 26, 13};
  EXPECT_TRUE(pos_write_close(f, name.c_str(), bytes, sizeof bytes, &error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(read_file(name), std::string("\x04\r\n\0\x1a\r", 6));
}

// A full disk behind a symbolic link: the failure is told, and the link,
// which the run did not make, stays.
TEST_F(PosWrite, FullDiskKeepsTheLink) {
  if (access("/dev/full", W_OK) != 0)
    GTEST_SKIP() << "no /dev/full on this system";
  std::string name = path("00300000.pos");
  ASSERT_EQ(symlink("/dev/full", name.c_str()), 0);
  LastError error = kErrorNone;
  os_file f = os_create(name.c_str(), &error);
  ASSERT_NE(f, os_no_file) << error;
  const std::uint8_t bytes[] = {2, 1, 1};
  EXPECT_FALSE(pos_write_close(f, name.c_str(), bytes, sizeof bytes, &error));
  EXPECT_EQ(error, 28);
  struct stat st;
  ASSERT_EQ(lstat(name.c_str(), &st), 0) << "the link is gone";
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(access("/dev/full", W_OK), 0);
}

// A FIFO whose reader went away: the write fails, and the FIFO stays.
TEST_F(PosWrite, FifoWithoutReaderStays) {
  std::string name = path("00300000.pos");
  ASSERT_EQ(mkfifo(name.c_str(), 0666), 0);
  int reader = open(name.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  LastError error = kErrorNone;
  os_file f = os_create(name.c_str(), &error);
  ASSERT_NE(f, os_no_file) << error;
  ASSERT_EQ(close(reader), 0);
  // The program ignores SIGPIPE from the start; so must this process here.
  void (*before)(int) = std::signal(SIGPIPE, SIG_IGN);
  const std::uint8_t bytes[] = {2, 1, 1};
  EXPECT_FALSE(pos_write_close(f, name.c_str(), bytes, sizeof bytes, &error));
  std::signal(SIGPIPE, before);
  EXPECT_EQ(error, 22);
  struct stat st;
  ASSERT_EQ(lstat(name.c_str(), &st), 0) << "the FIFO is gone";
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(PosWrite, RefusedWriteTakesTheFileBack) {
  // A file open for reading only refuses writes, for root as well.
  std::string name = path("00300000.pos");
  { std::ofstream(name) << "old"; }
  LastError error = kErrorNone;
  os_file f = os_open_read(name.c_str(), &error);
  ASSERT_NE(f, os_no_file) << error;
  const std::uint8_t bytes[] = {2, 1, 1};
  EXPECT_FALSE(pos_write_close(f, name.c_str(), bytes, sizeof bytes, &error));
  EXPECT_EQ(error, 9);
  EXPECT_NE(access(name.c_str(), F_OK), 0);
}

// A close that fails (here: of a descriptor already closed, with nothing
// left to write) fails the file too, and takes it back, if it is there.
TEST_F(PosWrite, RefusedCloseTakesTheFileBack) {
  for (bool present : {true, false}) {
    SCOPED_TRACE(present ? "file present" : "file gone");
    std::string name = path("00300000.pos");
    LastError error = kErrorNone;
    os_file f = os_create(name.c_str(), &error);
    ASSERT_NE(f, os_no_file) << error;
    ASSERT_EQ(close(static_cast<int>(f)), 0);
    if (!present) {
      ASSERT_EQ(unlink(name.c_str()), 0);
    }
    const std::uint8_t none[1] = {0};
    EXPECT_FALSE(pos_write_close(f, name.c_str(), none, 0, &error));
    EXPECT_EQ(error, 9);
    EXPECT_NE(access(name.c_str(), F_OK), 0);
  }
}

#endif

} // namespace
