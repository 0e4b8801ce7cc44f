// Windows side of the operating-system seam.
//
// Files are opened with CreateFile and read and written as raw bytes: the
// C runtime's text mode would apply its own CR LF and byte 26 rules, and
// the program keeps those rules in its own code so both platforms agree.
#include "platform/os.hpp"
#include "driver/error_text.hpp"
#include "platform/windows_errors.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Arguments reach the program exactly as the command line gives them:
// `tlf2pos *.tlf` names a file called *.tlf, as a batch script expects, and
// is not expanded by the C runtime into a list of files.
extern "C" {
int _dowildcard = 0;
}

const char os_line_end[] = "\r\n";

int windows_open_error(unsigned long e) {
  switch (e) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_DRIVE:
  case ERROR_BAD_PATHNAME:
  case ERROR_BAD_NETPATH:
  case ERROR_BAD_NET_NAME:
  case ERROR_FILENAME_EXCED_RANGE:
    return kErrorNotFound;
  case ERROR_ACCESS_DENIED:
  case ERROR_NETWORK_ACCESS_DENIED:
  case ERROR_CANNOT_MAKE:
  case ERROR_DRIVE_LOCKED:
    return kErrorDenied;
  case ERROR_TOO_MANY_OPEN_FILES:
    return kErrorTooManyFiles;
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL:
    return kErrorDiskFull;
  case ERROR_NOT_ENOUGH_MEMORY:
  case ERROR_OUTOFMEMORY:
  case ERROR_NOT_ENOUGH_QUOTA:
    return kErrorNoMemory;
  default:
    // The medium's own failures, from a write-protected disk to a sharing or
    // lock violation, all refuse access to the file.
    if (e >= ERROR_WRITE_PROTECT && e <= ERROR_SHARING_BUFFER_EXCEEDED)
      return kErrorDenied;
    return kErrorInvalid;
  }
}

int windows_io_error(unsigned long e) {
  switch (e) {
  case ERROR_ACCESS_DENIED:
  case ERROR_INVALID_HANDLE:
    return kErrorRefused;
  default:
    return windows_open_error(e);
  }
}

bool os_init() {
  // A path on an empty drive must fail like any other path, not stop a
  // batch script with a dialog box waiting for a disk.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Windows never hands a missing standard handle to a new file: writes to
  // it just fail, like any other console write.
  return true;
}

static os_file from_handle(HANDLE h) {
  return reinterpret_cast<os_file>(h);
}

static HANDLE to_handle(os_file f) { return reinterpret_cast<HANDLE>(f); }

// A process may start without a console or with a standard handle closed;
// its writes then fail quietly like any other console write.
os_file os_stdout() { return from_handle(GetStdHandle(STD_OUTPUT_HANDLE)); }
os_file os_stderr() { return from_handle(GetStdHandle(STD_ERROR_HANDLE)); }

bool os_is_console(os_file f) {
  // NUL is a character device too, but has no console mode.
  DWORD mode;
  return GetFileType(to_handle(f)) == FILE_TYPE_CHAR &&
         GetConsoleMode(to_handle(f), &mode) != 0;
}

bool os_is_char_device(os_file f) {
  return GetFileType(to_handle(f)) == FILE_TYPE_CHAR;
}

os_file os_open_read(const char* path, int* error) {
  if (path[0] == '\0') {
    *error = kErrorNotFound;
    return os_no_file;
  }
  // A folder fails here with access denied: it can only be opened with
  // FILE_FLAG_BACKUP_SEMANTICS.
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = windows_open_error(GetLastError());
    return os_no_file;
  }
  return from_handle(h);
}

os_file os_create(const char* name, int* error) {
  HANDLE h = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = windows_open_error(GetLastError());
    return os_no_file;
  }
  return from_handle(h);
}

long os_read(os_file f, void* buffer, std::size_t size, int* error) {
  // The reader's blocks are far below 2 GiB; the cap only keeps the
  // count exact in a long.
  DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD got = 0;
  if (ReadFile(to_handle(f), buffer, want, &got, nullptr))
    return static_cast<long>(got);
  DWORD e = GetLastError();
  // A pipe whose writer has gone is the end of what it had to say.
  if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF)
    return 0;
  *error = windows_io_error(e);
  return 0;
}

bool os_write_all(os_file f, const void* data, std::size_t size, int* error) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!WriteFile(to_handle(f), p, want, &done, nullptr)) {
      *error = windows_io_error(GetLastError());
      return false;
    }
    if (done == 0) {
      // Nothing taken and nothing said: retrying would spin for ever.
      *error = windows_io_error(ERROR_WRITE_FAULT);
      return false;
    }
    p += done;
    size -= done;
  }
  return true;
}

bool os_close(os_file f, int* error) {
  if (CloseHandle(to_handle(f)))
    return true;
  *error = windows_io_error(GetLastError());
  return false;
}

void os_remove_file(const char* name) {
  // A symbolic link or junction is a reparse point, judged as itself.
  DWORD a = GetFileAttributesA(name);
  if (a != INVALID_FILE_ATTRIBUTES &&
      (a & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY |
            FILE_ATTRIBUTE_DEVICE)) == 0)
    DeleteFileA(name);
}
