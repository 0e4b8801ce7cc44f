// Windows error codes -> last-error numbers, for opening and for I/O.
#include "platform/windows_errors.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

namespace {

struct Case {
  unsigned long code;
  int open;  // windows_open_error
  int io;    // windows_io_error
};

const Case kCases[] = {
    // Missing file, folder or drive; malformed or too long path.
    {ERROR_FILE_NOT_FOUND, 2, 2},
    {ERROR_PATH_NOT_FOUND, 2, 2},
    {ERROR_INVALID_DRIVE, 2, 2},
    {ERROR_BAD_PATHNAME, 2, 2},
    {ERROR_BAD_NETPATH, 2, 2},
    {ERROR_BAD_NET_NAME, 2, 2},
    {ERROR_FILENAME_EXCED_RANGE, 2, 2},
    // Refused: as an open it is "Permission denied", as a read or write
    // "Bad file descriptor".
    {ERROR_ACCESS_DENIED, 13, 9},
    {ERROR_INVALID_HANDLE, 22, 9},
    {ERROR_SHARING_VIOLATION, 13, 13},
    {ERROR_LOCK_VIOLATION, 13, 13},
    {ERROR_WRITE_PROTECT, 13, 13},
    {ERROR_NOT_READY, 13, 13},
    {ERROR_SHARING_BUFFER_EXCEEDED, 13, 13},
    {ERROR_NETWORK_ACCESS_DENIED, 13, 13},
    {ERROR_DRIVE_LOCKED, 13, 13},
    {ERROR_TOO_MANY_OPEN_FILES, 24, 24},
    {ERROR_DISK_FULL, 28, 28},
    {ERROR_HANDLE_DISK_FULL, 28, 28},
    {ERROR_NOT_ENOUGH_MEMORY, 12, 12},
    {ERROR_OUTOFMEMORY, 12, 12},
    {ERROR_NOT_ENOUGH_QUOTA, 12, 12},
    // Invalid name or parameter, and whatever has no closer entry.
    {ERROR_INVALID_NAME, 22, 22},
    {ERROR_INVALID_PARAMETER, 22, 22},
    {ERROR_FILE_EXISTS, 22, 22},
    {ERROR_DIR_NOT_EMPTY, 22, 22},
    {ERROR_BROKEN_PIPE, 22, 22},
    {ERROR_SUCCESS, 22, 22},
    {0xFFFFFFFFul, 22, 22},
    // Just outside the range of the medium's failures.
    {ERROR_WRITE_PROTECT - 1, 22, 22},
    {ERROR_SHARING_BUFFER_EXCEEDED + 1, 22, 22},
};

TEST(WindowsErrors, OpenAndIoNumbers) {
  for (const Case& c : kCases) {
    EXPECT_EQ(windows_open_error(c.code), c.open) << "error code " << c.code;
    EXPECT_EQ(windows_io_error(c.code), c.io) << "error code " << c.code;
  }
}

}  // namespace
