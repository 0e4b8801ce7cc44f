// Translation of errno values into last-error numbers, and the POSIX seam's
// own tests of what it opens.
#ifndef _WIN32

#include "platform/os.hpp"
#include "platform/posix_errors.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Case {
  int errno_value;
  const char* name;
  int open_number;
  int io_number;
};

const Case kCases[] = {
    {ENOENT, "ENOENT", 2, 2},
    {ENOTDIR, "ENOTDIR", 2, 2},
    {ENAMETOOLONG, "ENAMETOOLONG", 2, 2},
    {ELOOP, "ELOOP", 2, 2},
    {EACCES, "EACCES", 13, 9},
    {EPERM, "EPERM", 13, 9},
    {EROFS, "EROFS", 13, 13},
    {ETXTBSY, "ETXTBSY", 13, 13},
    {EISDIR, "EISDIR", 13, 13},
    {EBADF, "EBADF", 22, 9},
    {EMFILE, "EMFILE", 24, 24},
    {ENFILE, "ENFILE", 24, 24},
    {ENOSPC, "ENOSPC", 28, 28},
    {EDQUOT, "EDQUOT", 28, 28},
    {ENOMEM, "ENOMEM", 12, 12},
    {EINVAL, "EINVAL", 22, 22},
    {EIO, "EIO", 22, 22},
    {EEXIST, "EEXIST", 22, 22},
    {EFBIG, "EFBIG", 22, 22},
    {EPIPE, "EPIPE", 22, 22},
    {0, "0", 22, 22},
};

TEST(PosixErrors, OpenAndReadWriteNumbers) {
  for (const Case& c : kCases) {
    EXPECT_EQ(posix_open_error(c.errno_value), c.open_number) << c.name;
    EXPECT_EQ(posix_io_error(c.errno_value), c.io_number) << c.name;
  }
}

// Only a character device makes the line reader treat a byte 26 as the end
// of what was typed rather than the end of the input. A descriptor that is
// not open is none, and closing it is refused.
TEST(PosixSeam, CharacterDevicesNewFilesAndBadDescriptors) {
  const std::pair<const char*, bool> cases[] = {{"/dev/null", true},
                                                {"/proc/self/exe", false}};
  for (const auto& [path, char_device] : cases) {
    LastError error = kErrorNone;
    os_file f = os_open_read(path, &error);
    ASSERT_NE(f, os_no_file) << path;
    EXPECT_EQ(os_is_char_device(f), char_device) << path;
    EXPECT_TRUE(os_close(f, &error)) << path;
    EXPECT_EQ(error, 0) << path;
  }
  // A new POS file may be read and written as far as the umask allows, and
  // run by no one.
  char dir[] = "/tmp/tlf2pos-unit-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  std::string name = std::string(dir) + "/00100000.pos";
  LastError error = kErrorNone;
  mode_t umask_before = ::umask(0);
  os_file f = os_create(name.c_str(), &error);
  ::umask(umask_before);
  ASSERT_NE(f, os_no_file);
  struct stat st;
  ASSERT_EQ(::fstat(static_cast<int>(f), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_TRUE(os_close(f, &error));
  ::unlink(name.c_str());
  ::rmdir(dir);

  EXPECT_FALSE(os_is_char_device(os_no_file));
  EXPECT_FALSE(os_close(os_no_file, &error));
  EXPECT_EQ(error, 9);
}

} // namespace

#endif
