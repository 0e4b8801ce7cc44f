// Windows error codes -> last-error numbers, for opening and for I/O.
#include "platform/windows_errors.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

namespace {

struct Case {
  unsigned long code;
  LastError open; // windows_open_error
  LastError io;   // windows_io_error
};

const Case kCases[] = {
    // Missing file, folder or drive; malformed or too long path.
    {ERROR_FILE_NOT_FOUND, kErrorNotFound, kErrorNotFound},
    {ERROR_PATH_NOT_FOUND, kErrorNotFound, kErrorNotFound},
    {ERROR_INVALID_DRIVE, kErrorNotFound, kErrorNotFound},
    {ERROR_BAD_PATHNAME, kErrorNotFound, kErrorNotFound},
    {ERROR_BAD_NETPATH, kErrorNotFound, kErrorNotFound},
    {ERROR_BAD_NET_NAME, kErrorNotFound, kErrorNotFound},
    {ERROR_FILENAME_EXCED_RANGE, kErrorNotFound, kErrorNotFound},
    // Refused: as an open it is "Permission denied", as a read or write
    // "Bad file descriptor".
    {ERROR_ACCESS_DENIED, kErrorDenied, kErrorRefused},
    {ERROR_INVALID_HANDLE, kErrorInvalid, kErrorRefused},
    {ERROR_SHARING_VIOLATION, kErrorDenied, kErrorDenied},
    {ERROR_LOCK_VIOLATION, kErrorDenied, kErrorDenied},
    {ERROR_WRITE_PROTECT, kErrorDenied, kErrorDenied},
    {ERROR_NOT_READY, kErrorDenied, kErrorDenied},
    {ERROR_SHARING_BUFFER_EXCEEDED, kErrorDenied, kErrorDenied},
    {ERROR_NETWORK_ACCESS_DENIED, kErrorDenied, kErrorDenied},
    {ERROR_DRIVE_LOCKED, kErrorDenied, kErrorDenied},
    {ERROR_TOO_MANY_OPEN_FILES, kErrorTooManyFiles, kErrorTooManyFiles},
    {ERROR_DISK_FULL, kErrorDiskFull, kErrorDiskFull},
    {ERROR_HANDLE_DISK_FULL, kErrorDiskFull, kErrorDiskFull},
    {ERROR_NOT_ENOUGH_MEMORY, kErrorNoMemory, kErrorNoMemory},
    {ERROR_OUTOFMEMORY, kErrorNoMemory, kErrorNoMemory},
    {ERROR_NOT_ENOUGH_QUOTA, kErrorNoMemory, kErrorNoMemory},
    // Invalid name or parameter, and whatever has no closer entry.
    {ERROR_INVALID_NAME, kErrorInvalid, kErrorInvalid},
    {ERROR_INVALID_PARAMETER, kErrorInvalid, kErrorInvalid},
    {ERROR_FILE_EXISTS, kErrorInvalid, kErrorInvalid},
    {ERROR_DIR_NOT_EMPTY, kErrorInvalid, kErrorInvalid},
    {ERROR_BROKEN_PIPE, kErrorInvalid, kErrorInvalid},
    {ERROR_SUCCESS, kErrorInvalid, kErrorInvalid},
    {0xFFFFFFFFul, kErrorInvalid, kErrorInvalid},
    // Just outside the range of the medium's failures.
    {ERROR_WRITE_PROTECT - 1, kErrorInvalid, kErrorInvalid},
    {ERROR_SHARING_BUFFER_EXCEEDED + 1, kErrorInvalid, kErrorInvalid},
};

TEST(WindowsErrors, OpenAndIoNumbers) {
  for (const Case& c : kCases) {
    EXPECT_EQ(windows_open_error(c.code), c.open) << "error code " << c.code;
    EXPECT_EQ(windows_io_error(c.code), c.io) << "error code " << c.code;
  }
}

} // namespace
