// Translation of errno values into last-error numbers, and the POSIX seam's
// own tests of what it opens.
#ifndef _WIN32

#include "platform/last_error.hpp"
#include "platform/os.hpp"
#include "platform/posix_errors.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Case {
  int errno_value;
  const char* name;
  LastError open_number;
  LastError io_number;
};

const Case kCases[] = {
    {ENOENT, "ENOENT", kErrorNotFound, kErrorNotFound},
    {ENOTDIR, "ENOTDIR", kErrorNotFound, kErrorNotFound},
    {ENAMETOOLONG, "ENAMETOOLONG", kErrorNotFound, kErrorNotFound},
    {ELOOP, "ELOOP", kErrorNotFound, kErrorNotFound},
    {EACCES, "EACCES", kErrorDenied, kErrorRefused},
    {EPERM, "EPERM", kErrorDenied, kErrorRefused},
    {EROFS, "EROFS", kErrorDenied, kErrorDenied},
    {ETXTBSY, "ETXTBSY", kErrorDenied, kErrorDenied},
    {EISDIR, "EISDIR", kErrorDenied, kErrorDenied},
    {EBADF, "EBADF", kErrorInvalid, kErrorRefused},
    {EMFILE, "EMFILE", kErrorTooManyFiles, kErrorTooManyFiles},
    {ENFILE, "ENFILE", kErrorTooManyFiles, kErrorTooManyFiles},
    {ENOSPC, "ENOSPC", kErrorDiskFull, kErrorDiskFull},
    {EDQUOT, "EDQUOT", kErrorDiskFull, kErrorDiskFull},
    {ENOMEM, "ENOMEM", kErrorNoMemory, kErrorNoMemory},
    {EINVAL, "EINVAL", kErrorInvalid, kErrorInvalid},
    {EIO, "EIO", kErrorInvalid, kErrorInvalid},
    {EEXIST, "EEXIST", kErrorInvalid, kErrorInvalid},
    {EFBIG, "EFBIG", kErrorInvalid, kErrorInvalid},
    {EPIPE, "EPIPE", kErrorInvalid, kErrorInvalid},
    {0, "0", kErrorInvalid, kErrorInvalid},
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
  std::string dir = std::filesystem::temp_directory_path().string() + "/tlf2pos-unit-XXXXXX";
  ASSERT_NE(::mkdtemp(dir.data()), nullptr);
  std::string name = dir + "/00100000.pos";
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
  ::rmdir(dir.c_str());

  EXPECT_FALSE(os_is_char_device(os_no_file));
  EXPECT_FALSE(os_close(os_no_file, &error));
  EXPECT_EQ(error, kErrorRefused);
}

} // namespace

#endif
