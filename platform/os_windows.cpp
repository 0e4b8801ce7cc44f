// Windows side of the operating-system seam.
//
// Files are opened with CreateFile and read and written as raw bytes: the
// C runtime's text mode would apply its own CR LF and byte 26 rules, and
// the program keeps those rules in its own code so both platforms agree.
#include "platform/os.hpp"
#include "platform/windows_errors.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

// Arguments reach the program exactly as the command line gives them:
// `tlf2pos *.tlf` names a file called *.tlf, as a batch script expects, and
// is not expanded by the C runtime into a list of files.
extern "C" {
int _dowildcard = 0;
}

const char os_line_end[] = "\r\n";

LastError windows_open_error(unsigned long e) {
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

LastError windows_io_error(unsigned long e) {
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

static os_file from_handle(HANDLE h) { return reinterpret_cast<os_file>(h); }

static HANDLE to_handle(os_file f) { return reinterpret_cast<HANDLE>(f); }

// A process may start without a console or with a standard handle closed;
// its writes then fail quietly like any other console write.
os_file os_stdout() { return from_handle(GetStdHandle(STD_OUTPUT_HANDLE)); }
os_file os_stderr() { return from_handle(GetStdHandle(STD_ERROR_HANDLE)); }

bool os_is_console(os_file f) {
  // NUL is a character device too, but has no console mode.
  DWORD mode;
  return GetFileType(to_handle(f)) == FILE_TYPE_CHAR && GetConsoleMode(to_handle(f), &mode) != 0;
}

bool os_is_char_device(os_file f) { return GetFileType(to_handle(f)) == FILE_TYPE_CHAR; }

// The file CreateFile gave, or os_no_file with `*last_error` set from its
// failure.
static os_file opened(HANDLE h, LastError* last_error) {
  if (h == INVALID_HANDLE_VALUE) {
    *last_error = windows_open_error(GetLastError());
    return os_no_file;
  }
  return from_handle(h);
}

// A folder fails to open for reading with access denied: it can only be
// opened with FILE_FLAG_BACKUP_SEMANTICS.
os_file os_open_read(const char* path, LastError* last_error) {
  if (path[0] == '\0') {
    *last_error = kErrorNotFound;
    return os_no_file;
  }
  return opened(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                last_error);
}

// msvcrt's wide argument list, split from GetCommandLineW by the same
// routine and rules as the narrow one main gets; the MinGW start-up code
// calls it for a wide main. Not in the MinGW headers.
namespace {
struct WideStartInfo {
  int new_mode;
};
} // namespace
extern "C" {
extern int _newmode;
int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int dowildcard,
                           WideStartInfo* info);
}

// True if `wide` comes out as exactly `narrow` in the ANSI code page, as
// Windows turns the command line into the narrow one: best-fit look-alikes,
// and the code page's default character ('?') for the rest.
static bool spelled_as(const wchar_t* wide, const char* narrow) {
  // One character at a time, so that no buffer need be as long as the
  // command line: a character's bytes do not depend on its neighbours, and
  // a surrogate pair is one character.
  while (*wide != L'\0') {
    int units = IS_HIGH_SURROGATE(wide[0]) && IS_LOW_SURROGATE(wide[1]) ? 2 : 1;
    char bytes[8];
    int n = WideCharToMultiByte(CP_ACP, 0, wide, units, bytes, static_cast<int>(sizeof bytes),
                                nullptr, nullptr);
    // The bytes hold no NUL, so the comparison stops at the end of a
    // shorter `narrow`.
    if (n <= 0 || std::strncmp(bytes, narrow, static_cast<std::size_t>(n)) != 0)
      return false;
    wide += units;
    narrow += n;
  }
  return *narrow == '\0';
}

os_file os_open_argument(int argc, const char* const* argv, int index, LastError* last_error) {
  // The narrow argument is the ANSI code page's spelling of the command
  // line: '?' stands for every character it has not got, so a Japanese name
  // on a Western system, or any emoji, would name no file. The same
  // argument from the wide command line names it in full. It is used only
  // if it is that very argument: a list of another length, or an argument
  // that the code page spells differently (a full-width quotation mark
  // becomes '"' in the narrow line and splits it otherwise), leaves the
  // narrow name, which opens exactly what it did before.
  int wide_count = -1;
  wchar_t** wide = nullptr;
  wchar_t** env = nullptr;
  WideStartInfo info{_newmode};
  if (argv[index][0] != '\0' && __wgetmainargs(&wide_count, &wide, &env, _dowildcard, &info) >= 0 &&
      wide != nullptr && wide_count == argc && spelled_as(wide[index], argv[index]))
    return opened(CreateFileW(wide[index], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                  last_error);
  return os_open_read(argv[index], last_error);
}

os_file os_create(const char* name, LastError* last_error) {
  return opened(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                last_error);
}

long os_read(os_file f, void* buffer, std::size_t size, LastError* last_error) {
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
  *last_error = windows_io_error(e);
  return 0;
}

bool os_write_all(os_file f, const void* data, std::size_t size, LastError* last_error) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!WriteFile(to_handle(f), p, want, &done, nullptr)) {
      *last_error = windows_io_error(GetLastError());
      return false;
    }
    if (done == 0) {
      // Nothing taken and nothing said: retrying would spin for ever.
      *last_error = windows_io_error(ERROR_WRITE_FAULT);
      return false;
    }
    p += done;
    size -= done;
  }
  return true;
}

bool os_close(os_file f, LastError* last_error) {
  if (CloseHandle(to_handle(f)))
    return true;
  *last_error = windows_io_error(GetLastError());
  return false;
}

void os_remove_file(const char* name) {
  // A symbolic link or junction is a reparse point, judged as itself.
  DWORD a = GetFileAttributesA(name);
  if (a != INVALID_FILE_ATTRIBUTES &&
      (a & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0)
    DeleteFileA(name);
}
